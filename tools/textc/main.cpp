// kelvo-textc: compiles one language source (see text_source.h for its format)
// into its text table.
//
//   kelvo-textc [--plain] SOURCE OUTPUT
//
// The default output is the scrambled form the program ships with; --plain
// writes the unscrambled form (version 256), for tests. The same source always
// gives the same bytes. On any error nothing is left at OUTPUT, the message
// names the source file and line, and the exit code is 1.
#include "tools/textc/table_writer.h"
#include "tools/textc/text_source.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

int Fail(const std::string& message, const char* output)
{
    std::fprintf(stderr, "kelvo-textc: %s\n", message.c_str());
    if (output)
        std::remove(output);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    bool plain = false;
    const char* source = nullptr;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--plain") == 0)
            plain = true;
        else if (!source)
            source = argv[i];
        else if (!output)
            output = argv[i];
        else
            source = nullptr, i = argc;
    }
    if (!source || !output) {
        std::fprintf(stderr, "usage: kelvo-textc [--plain] SOURCE OUTPUT\n");
        return 2;
    }

    std::ifstream in(source, std::ios::binary);
    if (!in)
        return Fail(std::string(source) + ": cannot be read", output);
    std::ostringstream content;
    content << in.rdbuf();

    textc::Source parsed;
    std::vector<textc::EncodedText> texts;
    std::string error;
    if (!textc::ParseSource(source, content.str(), parsed, error) || !textc::EncodeSource(source, parsed, texts, error))
        return Fail(error, output);

    std::vector<textc::Record> records;
    for (const textc::EncodedText& t : texts)
        records.push_back(textc::Record{textc::TextKey(t.number), {t.bytes}});
    textc::TableOptions options;
    options.scrambled = !plain;
    std::string table;
    if (!textc::BuildTable(records, options, table, error))
        return Fail(std::string(source) + ": " + error, output);

    // Written beside the target first, so that a failed write leaves no half file.
    const std::string temp = std::string(output) + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(table.data(), static_cast<std::streamsize>(table.size()));
        if (!out.flush())
            return Fail(temp + ": cannot be written", temp.c_str());
    }
    if (std::rename(temp.c_str(), output) != 0)
        return Fail(std::string(output) + ": cannot be written", temp.c_str());
    return 0;
}
