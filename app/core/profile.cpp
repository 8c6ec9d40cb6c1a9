// The settings format: sections, "key = value" lines, "//" comments, keys
// matched as substrings, and rewrites that keep every other byte of the file.
#include "app/core/profile.h"

#include "app/core/codepage.h"
#include "app/core/textutil.h"
#include "app/core/platform.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <new>
#include <vector>

namespace kelvo {
namespace {
ProfileFaultHook& FaultHook()
{
    static ProfileFaultHook hook;
    return hook;
}

bool StepOk(ProfileStep step) { return !FaultHook() || FaultHook()(step); }
} // namespace

void SetProfileFaultHook(ProfileFaultHook hook) { FaultHook() = std::move(hook); }
} // namespace kelvo

namespace {

// A line converted to more UTF-16 characters than this (the size of the
// conversion buffer the format was made with) is neither a header nor a key
// line: lookups pass over it and rewrites copy it back byte for byte, so the
// rest of the file stays intact.
const size_t kMaxLineChars = 4096;

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

using kelvo::IsBlank;

// One line as the grammar sees it.
struct Line {
    bool header = false;
    bool keyLine = false;
    std::wstring name;      // header: text between the first "[" and the first "]"
    std::wstring keyPart;   // key line: text before the first "="
    std::wstring value;     // key line: trimmed text after "=" up to "//"
};

Line Parse(const std::string& bytes)
{
    Line line;
    std::wstring text = kelvo::ToWide(0, bytes);
    if (text.size() > kMaxLineChars)
        return line;
    const size_t comment = text.find(L"//");
    const size_t open = text.find(L'[');
    const size_t close = text.find(L']');
    if (open != std::wstring::npos && close != std::wstring::npos && open < close &&
        (comment == std::wstring::npos || close < comment)) {
        line.header = true;
        line.name = text.substr(open + 1, close - open - 1);
    }
    const size_t eq = text.find(L'=');
    if (eq != std::wstring::npos && (comment == std::wstring::npos || eq < comment)) {
        line.keyLine = true;
        line.keyPart = text.substr(0, eq);
        const size_t end = text.find(L"//", eq + 1);
        line.value = kelvo::TrimBlanks(text.substr(eq + 1, end == std::wstring::npos ? std::wstring::npos : end - eq - 1));
    }
    return line;
}

bool Matches(const Line& line, const std::wstring& key, CProfile::KeyMatch match)
{
    if (!line.keyLine)
        return false;
    if (match == CProfile::KeyMatch::kExact)
        return kelvo::TrimBlanks(line.keyPart) == key;
    return line.keyPart.find(key) != std::wstring::npos;
}

std::string Ansi(const std::wstring& s) { return kelvo::FromWide(0, s); }

// A CR, LF or NUL in a name or value would write lines of its own into the
// file (or end its content), so such a write is refused.
bool WritableText(const std::wstring& s) { return s.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos; }

// The new content of the file: the key set to the value in the first section
// of that name, every other byte as it was.
std::string Rewrite(CProfile::CTextFile& text, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value, CProfile::KeyMatch match)
{
    const std::string newValue = Ansi(value);
    std::string out;
    out.reserve(text.Length() + section.size() + key.size() + newValue.size() + 16);
    bool open = false;
    bool done = false;
    for (std::string raw = text.ReadLine(); !raw.empty(); raw = text.ReadLine()) {
        const Line line = Parse(raw);
        if (!open) {
            out += raw;
            open = line.header && line.name == section;
            continue;
        }
        // The header test comes first, as in GetString: a line such as
        // "[Next] a=1" closes the section for the writer as for the reader.
        if (line.header) {
            out += Ansi(key) + " = " + newValue + "\r\n";
            out += raw;
            done = true;
        } else if (Matches(line, key, match)) {
            // Keep the bytes in front of "=" exactly as they were.
            out.append(raw, 0, raw.find('='));
            out += "= " + newValue + "\r\n";
            done = true;
        } else {
            out += raw;
        }
        if (done) {
            out.append(text.Data() + text.Position(), text.Length() - text.Position());
            break;
        }
    }
    if (!done) {
        // A last line without a line end is ended first, so that the new
        // line does not run on from it.
        if (text.Length() > 0 && !IsLineEnd(text.Data()[text.Length() - 1]))
            out += "\r\n";
        if (!open)
            out += "\r\n[" + Ansi(section) + "]\r\n";
        out += Ansi(key) + " = " + newValue + "\r\n";
    }
    out += text.Tail();
    return out;
}

// A name in the folder of `file` that no file holds yet.
std::wstring TempNameBeside(const std::wstring& file)
{
    for (unsigned i = 0; i < 1000; ++i) {
        std::wstring name = file + L".~" + std::to_wstring((kelvo::TickCount() + i) % 100000u) + L".tmp";
        if (!kelvo::FileExists(name))
            return name;
    }
    return {};
}

// Writes `bytes` beside `file` and puts them in its place in one step.
bool ReplaceContent(const std::wstring& file, const std::string& bytes)
{
    const std::wstring temp = TempNameBeside(file);
    if (temp.empty() || !kelvo::StepOk(kelvo::ProfileStep::CreateTemp))
        return false;
    FILE* f = kelvo::OpenFile(temp, "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    // On the disk before it takes the settings file's place.
    ok = kelvo::FlushToDisk(f) && ok;
    ok = std::ferror(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    ok = ok && kelvo::StepOk(kelvo::ProfileStep::WriteTemp);
    ok = ok && kelvo::StepOk(kelvo::ProfileStep::Replace) && kelvo::ReplaceWith(temp, file);
    if (!ok)
        kelvo::RemoveFile(temp);
    return ok;
}

} // namespace

bool CProfile::CTextFile::Load(const std::wstring& file)
{
    m_content.reset();
    m_size = m_length = m_position = 0;
    FILE* f = kelvo::OpenFile(file, "rb");
    if (!f)
        return false;
    std::vector<char> bytes;
    bool ok = true;
    try {
        char chunk[16384];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
            if (bytes.size() + n >= UINT32_MAX) {
                ok = false;
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        ok = ok && !std::ferror(f);
        if (ok) {
            m_content.reset(new char[bytes.size() + 1]);
            std::copy(bytes.begin(), bytes.end(), m_content.get());
            m_content[bytes.size()] = '\0';
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    std::fclose(f);
    if (!ok || !kelvo::StepOk(kelvo::ProfileStep::Load)) {
        m_content.reset();
        return false;
    }
    m_size = static_cast<uint32_t>(bytes.size());
    m_length = 0;
    while (m_length < m_size && m_content[m_length] != '\0')
        ++m_length;
    return true;
}

bool CProfile::CTextFile::Assign(const std::string& bytes)
{
    m_content.reset();
    m_size = m_length = m_position = 0;
    if (bytes.size() >= UINT32_MAX)
        return false;
    try {
        m_content.reset(new char[bytes.size() + 1]);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), m_content.get());
    m_content[bytes.size()] = '\0';
    m_size = static_cast<uint32_t>(bytes.size());
    while (m_length < m_size && m_content[m_length] != '\0')
        ++m_length;
    return true;
}

std::string CProfile::CTextFile::ReadLine()
{
    if (!m_content || m_position >= m_length)
        return {};
    const char* p = m_content.get();
    uint32_t end = m_position;
    while (end < m_length && !IsLineEnd(p[end]))
        ++end;
    // The first CR or LF and, when it follows at once, one more of either.
    for (int i = 0; i < 2 && end < m_length && IsLineEnd(p[end]); ++i)
        ++end;
    std::string line(p + m_position, end - m_position);
    m_position = end;
    return line;
}

std::string CProfile::CTextFile::Tail() const
{
    if (!m_content)
        return {};
    return std::string(m_content.get() + m_length, m_size - m_length);
}

namespace {

// GetString's search on a loaded content.
std::atomic<uint64_t> g_parses{0};

std::wstring Lookup(CProfile::CTextFile& text, const std::wstring& section, const std::wstring& key,
                    const std::wstring& def, CProfile::KeyMatch match)
{
    ++g_parses;
    bool open = false;
    for (std::string raw = text.ReadLine(); !raw.empty(); raw = text.ReadLine()) {
        const Line line = Parse(raw);
        if (!open) {
            open = line.header && line.name == section;
            continue;
        }
        if (line.header)
            return def;
        if (Matches(line, key, match))
            return line.value;
    }
    return def;
}

// GetInt's reading of a value: leading white space, an optional sign, then
// the digits up to the first other character; no digits gives 0.
// Out-of-range values stop at the ends of the int range.
int ParseInt(const std::wstring& value)
{
    const std::string s = Ansi(value);
    size_t i = 0;
    while (i < s.size() && IsBlank(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    long long n = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        n = n * 10 + (s[i] - '0');
        if (n > static_cast<long long>(INT_MAX) + 1)
            n = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        n = -n;
    if (n > INT_MAX)
        return INT_MAX;
    if (n < INT_MIN)
        return INT_MIN;
    return static_cast<int>(n);
}

} // namespace

std::wstring CProfile::GetString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                                 const std::wstring& def, KeyMatch match)
{
    CTextFile text;
    if (!text.Load(file))
        return def;
    return Lookup(text, section, key, def, match);
}

int CProfile::GetInt(const std::wstring& file, const std::wstring& section, const std::wstring& key, int def,
                     KeyMatch match)
{
    return ParseInt(GetString(file, section, key, std::to_wstring(def), match));
}

bool CProfile::SetString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                         const std::wstring& value, KeyMatch match)
{
    if (!WritableText(section) || !WritableText(key) || !WritableText(value)) {
        kelvo::ShowMessage(L"Write Error", kelvo::kMbOk);
        return false;
    }
    // The file must exist and take writes; it is never created here. A file
    // that opens for writing but cannot be read whole is left alone as well.
    FILE* probe = kelvo::FileExists(file) ? kelvo::OpenFile(file, "r+b") : nullptr;
    if (probe)
        std::fclose(probe);
    CTextFile text;
    if (!probe || !text.Load(file)) {
        kelvo::ShowMessage(L"Write error", kelvo::kMbOk);
        return false;
    }
    // The new content goes into a file beside the old one, which it then
    // replaces: a failure on the way leaves the old content whole.
    if (!ReplaceContent(file, Rewrite(text, section, key, value, match))) {
        kelvo::ShowMessage(L"Write Error", kelvo::kMbOk);
        return false;
    }
    return true;
}

bool CProfile::SetInt(const std::wstring& file, const std::wstring& section, const std::wstring& key, int value,
                      KeyMatch match)
{
    return SetString(file, section, key, std::to_wstring(value), match);
}

namespace kelvo {

std::wstring ProfileStringIn(const std::string& content, const std::wstring& section, const std::wstring& key,
                             const std::wstring& def)
{
    CProfile::CTextFile text;
    if (!text.Assign(content))
        return def;
    return Lookup(text, section, key, def, CProfile::KeyMatch::kSubstring);
}

int ProfileIntIn(const std::string& content, const std::wstring& section, const std::wstring& key, int def)
{
    return ParseInt(ProfileStringIn(content, section, key, std::to_wstring(def)));
}

uint64_t ProfileParses() { return g_parses.load(); }

CParsedProfile::CParsedProfile(const std::string& content)
{
    ++g_parses;
    CProfile::CTextFile text;
    if (!text.Assign(content))
        return;
    for (std::string raw = text.ReadLine(); !raw.empty(); raw = text.ReadLine()) {
        Line line = Parse(raw);
        if (line.header || line.keyLine)
            m_lines.push_back(Entry{line.header, line.keyLine, std::move(line.name), std::move(line.keyPart),
                                    std::move(line.value)});
    }
}

CParsedProfile CParsedProfile::FromFile(const std::wstring& file)
{
    CProfile::CTextFile text;
    if (!text.Load(file))
        return CParsedProfile(std::string());
    return CParsedProfile(std::string(text.Data(), text.Length()));
}

std::wstring CParsedProfile::GetString(const std::wstring& section, const std::wstring& key,
                                       const std::wstring& def) const
{
    // Lookup's walk over lines already parsed.
    bool open = false;
    for (const Entry& e : m_lines) {
        if (!open) {
            open = e.header && e.name == section;
            continue;
        }
        if (e.header)
            return def;
        if (e.keyLine && e.keyPart.find(key) != std::wstring::npos)
            return e.value;
    }
    return def;
}

int CParsedProfile::GetInt(const std::wstring& section, const std::wstring& key, int def) const
{
    return ParseInt(GetString(section, key, std::to_wstring(def)));
}

std::vector<std::wstring> ProfileKeys(const std::wstring& file, const std::wstring& section)
{
    std::vector<std::wstring> keys;
    CProfile::CTextFile text;
    if (!text.Load(file))
        return keys;
    bool open = false;
    for (std::string raw = text.ReadLine(); !raw.empty(); raw = text.ReadLine()) {
        const Line line = Parse(raw);
        if (!open) {
            open = line.header && line.name == section;
            continue;
        }
        if (line.header)
            break;
        if (line.keyLine) {
            const std::wstring key = kelvo::TrimBlanks(line.keyPart);
            if (!key.empty())
                keys.push_back(key);
        }
    }
    return keys;
}

} // namespace kelvo
