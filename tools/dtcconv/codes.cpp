#include "tools/dtcconv/codes.h"

#include <algorithm>
#include <map>

namespace dtcconv {
namespace {

const char kLetters[] = "PCBU";
const char* const kObjects[4] = {"PCODES", "CCODES", "BCODES", "UCODES"};

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Letter P, C, B or U; 0 to 3; three hexadecimal digits.
bool IsObdCode(const std::string& s)
{
    return s.size() == 5 && std::string("PCBU").find(s[0]) != std::string::npos && s[1] >= '0' && s[1] <= '3' &&
           IsHex(s[2]) && IsHex(s[3]) && IsHex(s[4]);
}

// Printable ISO 8859-1: no control characters (C0, DEL, C1), nothing empty.
bool IsLatin1Text(const std::string& s)
{
    if (s.empty())
        return false;
    for (unsigned char c : s)
        if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            return false;
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> f;
    size_t pos = 0;
    for (;;) {
        size_t tab = line.find('\t', pos);
        f.push_back(line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
        if (tab == std::string::npos)
            return f;
        pos = tab + 1;
    }
}

bool Fail(std::string* error, size_t offset, const std::string& what)
{
    *error = "offset " + std::to_string(offset) + ": " + what;
    return false;
}

int LetterIndex(char c) { return static_cast<int>(std::string(kLetters).find(c)); }

} // namespace

bool CollectGenericCodes(const std::vector<DataObject>& objects, CodeSet* set, std::string* error)
{
    *set = CodeSet();
    std::map<std::string, size_t> seenAt;  // code -> offset of its line
    std::vector<CodeEntry> found;

    for (const char* name : kObjects) {
        const DataObject* obj = nullptr;
        for (const DataObject& o : objects)
            if (o.name == name) {
                if (obj)
                    return Fail(error, o.offset, std::string("a second object ") + name);
                obj = &o;
            }
        if (!obj)
            return Fail(error, 0, std::string("no object ") + name);

        const std::string& b = obj->bytes;
        size_t pos = 0;
        while (pos < b.size()) {
            size_t end = b.find('\n', pos);
            if (end == std::string::npos)
                end = b.size();
            const std::string line = b.substr(pos, end - pos);
            const size_t at = obj->offset + pos;
            pos = end + 1;
            if (line.empty())
                continue;
            std::vector<std::string> f = SplitTabs(line);
            if (f.size() < 3)
                return Fail(error, at, std::string(name) + ": a line without CODE<TAB>Maker<TAB>Description");
            // Only the generic codes: a maker's own description under a
            // generic code would mislead.
            if (f[1] != "Generic")
                continue;
            std::vector<std::pair<std::string, std::string>> here;  // code, description
            here.emplace_back(f[0], f[2]);
            // Two entries run together: "...Description<CODE><TAB>Description".
            // The second lost its maker field; it shares the first's.
            size_t i = 3;
            while (i < f.size()) {
                std::string& last = here.back().second;
                const std::string joined = last.size() > 5 ? last.substr(last.size() - 5) : std::string();
                if (!IsObdCode(joined))
                    return Fail(error, at, std::string(name) + ": " + f[0] + " has more than three fields");
                last.resize(last.size() - 5);
                set->repairs.push_back("offset " + std::to_string(at) + ": " + f[0] + " ran into " + joined +
                                       "; split into two entries");
                here.emplace_back(joined, f[i]);
                ++i;
            }
            for (auto& [code, description] : here) {
                if (!IsObdCode(code))
                    return Fail(error, at, std::string(name) + ": \"" + code + "\" is not an OBD-II code");
                if (!IsLatin1Text(description))
                    return Fail(error, at, std::string(name) + ": the description of " + code +
                                               " is not ISO 8859-1 text");
                auto seen = seenAt.find(code);
                if (seen != seenAt.end())
                    return Fail(error, at, code + " is given twice (first at offset " + std::to_string(seen->second) + ")");
                seenAt[code] = at;
                found.push_back(CodeEntry{code, description});
            }
        }
    }

    std::stable_sort(found.begin(), found.end(), [](const CodeEntry& a, const CodeEntry& b) {
        const int la = LetterIndex(a.code[0]), lb = LetterIndex(b.code[0]);
        return la != lb ? la < lb : a.code < b.code;
    });
    for (const CodeEntry& e : found)
        ++set->count[LetterIndex(e.code[0])];
    set->entries = std::move(found);
    return true;
}

std::string FormatCodeFile(const CodeSet& set)
{
    std::string out;
    for (const CodeEntry& e : set.entries)
        out += e.code + " " + e.description + "\r\n";
    return out;
}

bool ConvertDatafile(const std::string& fileName, const std::string& bytes, CodeSet* set, std::string* error)
{
    std::vector<DataObject> objects;
    std::string why;
    if (!ReadDatafile(bytes, &objects, &why) || !CollectGenericCodes(objects, set, &why)) {
        *error = fileName + ": " + why;
        return false;
    }
    for (std::string& r : set->repairs)
        r = fileName + ": " + r;
    return true;
}

} // namespace dtcconv
