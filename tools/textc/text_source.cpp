#include "tools/textc/text_source.h"

#include "app/core/codepage.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace textc {

namespace {

std::string At(const std::string& name, int line, const std::string& what)
{
    return name + ":" + std::to_string(line) + ": " + what;
}

// Strict UTF-8 (no overlongs, no surrogates); false on any bad sequence.
bool DecodeUtf8(const std::string& s, std::u32string& out)
{
    out.clear();
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<uint8_t>(s[i]);
        uint32_t cp;
        int extra;
        if (b < 0x80) {
            cp = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(extra) >= s.size() && extra > 0)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (c & 0x3F);
        }
        static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

std::string Utf8Of(uint32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        s.push_back(static_cast<char>(0xC0 | cp >> 6));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        s.push_back(static_cast<char>(0xE0 | cp >> 12));
        s.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        s.push_back(static_cast<char>(0xF0 | cp >> 18));
        s.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return s;
}

std::string Describe(uint32_t cp)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0))
        return hex;
    return "'" + Utf8Of(cp) + "' (" + hex + ")";
}

bool ParseNumber(const std::string& s, long max, long& value)
{
    if (s.empty() || s.size() > 6)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    value = std::strtol(s.c_str(), nullptr, 10);
    return value <= max;
}

} // namespace

bool ParseSource(const std::string& name, const std::string& content, Source& out, std::string& error)
{
    out = Source();
    std::set<int> seen;
    size_t pos = 0;
    int line = 0;
    // A byte-order mark at the start is allowed and skipped.
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    while (pos < content.size()) {
        ++line;
        size_t end = content.find('\n', pos);
        if (end == std::string::npos)
            end = content.size();
        std::string raw = content.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        if (raw.empty() || raw[0] == '#')
            continue;
        if (raw[0] == '@') {
            const std::string kDirective = "@codepage ";
            long cp = 0;
            if (raw.compare(0, kDirective.size(), kDirective) != 0 ||
                !ParseNumber(raw.substr(kDirective.size()), 65535, cp)) {
                error = At(name, line, "unknown directive (only \"@codepage NUMBER\")");
                return false;
            }
            std::wstring probe;
            if (!kelvo::TableToWide(static_cast<unsigned>(cp), "", probe)) {
                error = At(name, line, "code page " + std::to_string(cp) + " is not supported (1250, 1251, 1252, 28591)");
                return false;
            }
            if (out.codePage != 0 || !out.texts.empty()) {
                error = At(name, line, "@codepage must come once, before the texts");
                return false;
            }
            out.codePage = static_cast<unsigned>(cp);
            continue;
        }
        const size_t tab = raw.find('\t');
        long number = 0;
        if (tab == std::string::npos || !ParseNumber(raw.substr(0, tab), 65535, number)) {
            error = At(name, line, "expected NUMBER<TAB>text");
            return false;
        }
        if (out.codePage == 0) {
            error = At(name, line, "text before the @codepage line");
            return false;
        }
        if (!seen.insert(static_cast<int>(number)).second) {
            error = At(name, line, "text " + std::to_string(number) + " is defined twice");
            return false;
        }
        std::u32string chars;
        if (!DecodeUtf8(raw.substr(tab + 1), chars)) {
            error = At(name, line, "not valid UTF-8");
            return false;
        }
        std::wstring text;
        for (size_t i = 0; i < chars.size(); ++i) {
            uint32_t c = chars[i];
            if (c == '\\') {
                if (i + 1 >= chars.size()) {
                    error = At(name, line, "backslash at the end of the line");
                    return false;
                }
                const uint32_t e = chars[++i];
                if (e == 'n')
                    c = '\n';
                else if (e == 'r')
                    c = '\r';
                else if (e == 't')
                    c = '\t';
                else if (e == '\\')
                    c = '\\';
                else {
                    error = At(name, line, "unknown escape \\" + Utf8Of(e));
                    return false;
                }
            } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
                error = At(name, line, "control character " + Describe(c) + " (use an escape)");
                return false;
            }
            if (c > 0xFFFF) {
                error = At(name, line, "character " + Describe(c) + " is not in code page " + std::to_string(out.codePage));
                return false;
            }
            text.push_back(static_cast<wchar_t>(c));
        }
        out.texts.push_back(SourceText{static_cast<int>(number), line, text});
    }
    if (out.codePage == 0) {
        error = name + ": no @codepage line";
        return false;
    }
    return true;
}

bool EncodeSource(const std::string& name, const Source& source, std::vector<EncodedText>& out, std::string& error)
{
    out.clear();
    for (const SourceText& t : source.texts) {
        std::string bytes;
        bool lossless = true;
        kelvo::TableFromWide(source.codePage, t.text, bytes, &lossless);
        if (!lossless) {
            for (wchar_t c : t.text) {
                std::string one;
                bool ok = true;
                kelvo::TableFromWide(source.codePage, std::wstring(1, c), one, &ok);
                if (!ok) {
                    error = At(name, t.line, "character " + Describe(static_cast<uint32_t>(c)) + " is not in code page " +
                                                 std::to_string(source.codePage));
                    return false;
                }
            }
        }
        bytes.push_back('\0');
        if (bytes.size() > kMaxTextBytes) {
            error = At(name, t.line, "text longer than " + std::to_string(kMaxTextBytes - 1) + " bytes");
            return false;
        }
        out.push_back(EncodedText{t.number, bytes});
    }
    return true;
}

} // namespace textc
