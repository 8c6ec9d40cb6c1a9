#include "cli/english_texts.h"

#include "tools/textc/text_source.h"

#include <map>

namespace kelvo::cli {

std::wstring EnglishText(int number)
{
    static const std::map<int, std::wstring> texts = [] {
        std::map<int, std::wstring> m;
        textc::Source source;
        std::string error;
        if (textc::ParseSource("en.txt", EnglishTextSource(), source, error))
            for (const auto& t : source.texts)
                m[t.number] = t.text;
        return m;
    }();
    auto it = texts.find(number);
    return it == texts.end() ? std::wstring() : it->second;
}

} // namespace kelvo::cli
