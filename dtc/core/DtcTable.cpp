#include "dtc/core/DtcTable.h"

#include "app/core/globals.h"
#include "app/core/platform.h"
#include "app/core/textutil.h"

#include <cstdio>
#include <cstring>

const wchar_t* CDtcTable::FileName(int languageIndex)
{
    static const wchar_t* const kFiles[] = {
        L"dtc\\en_OBDII.txt", L"dtc\\fr_OBDII.txt", L"dtc\\es_OBDII.txt",
        L"dtc\\de_OBDII.txt", L"dtc\\pl_OBDII.txt", L"dtc\\pt_OBDII.txt",
    };
    if (languageIndex < 0 || languageIndex >= static_cast<int>(sizeof kFiles / sizeof kFiles[0]))
        return kFiles[0];
    return kFiles[languageIndex];
}

void CDtcTable::Clear()
{
    m_codes.clear();
    m_descByCode.clear();
    m_rowByCode.clear();
    m_groupStartP = m_groupStartC = m_groupStartB = m_groupStartU = -1;
    m_entryCount = 0;
}

namespace {

bool ReadWhole(const std::wstring& path, std::string* out)
{
    FILE* f = kelvo::OpenFile(path, "rb");
    if (!f)
        return false;
    out->clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->append(buf, n);
    // A read error keeps what was read: the page stays usable with it.
    std::fclose(f);
    return true;
}

// Each byte is the character of the same value (ISO 8859-1).
std::wstring Latin1(const char* p, size_t n)
{
    std::wstring w(n, L'\0');
    for (size_t i = 0; i < n; ++i)
        w[i] = static_cast<unsigned char>(p[i]);
    return w;
}

} // namespace

bool CDtcTable::LoadFile(int languageIndex, const EntrySink& sink)
{
    std::string bytes;
    if (!ReadWhole(kelvo::InstalledPath(FileName(languageIndex)), &bytes) &&
        !ReadWhole(kelvo::InstalledPath(FileName(0)), &bytes)) {
        Clear();
        return false;
    }
    LoadBytes(bytes, sink);
    return true;
}

void CDtcTable::LoadBytes(const std::string& bytes, const EntrySink& sink)
{
    Clear();
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        const size_t next = end == std::string::npos ? bytes.size() : end + 1;
        if (end == std::string::npos)
            end = bytes.size();
        // CR LF and a lone LF end a line; a CR elsewhere is text.
        if (end > pos && bytes[end - 1] == '\r' && end < bytes.size())
            --end;
        const char* line = bytes.data() + pos;
        const size_t length = end - pos;
        pos = next;

        const void* space = length ? std::memchr(line, ' ', length) : nullptr;
        if (!space)
            continue;
        const size_t split = static_cast<const char*>(space) - line;
        const std::wstring code = Latin1(line, split);
        const std::wstring description = Latin1(line + split + 1, length - split - 1);

        const int32_t n = static_cast<int32_t>(m_codes.size());
        m_codes.push_back(code);
        if (!code.empty()) {
            int32_t* start = code[0] == L'P' ? &m_groupStartP
                           : code[0] == L'C' ? &m_groupStartC
                           : code[0] == L'B' ? &m_groupStartB
                           : code[0] == L'U' ? &m_groupStartU
                                             : nullptr;
            if (start && *start == -1)
                *start = n;
        }
        m_descByCode[code] = description;
        m_rowByCode[code] = n;
        if (sink)
            sink(n, code, description);
    }
    m_entryCount = static_cast<int32_t>(m_codes.size());
}

void CDtcTable::GroupRange(wchar_t letter, int32_t* begin, int32_t* end) const
{
    *begin = *end = 0;
    const int32_t starts[4] = {m_groupStartP, m_groupStartC, m_groupStartB, m_groupStartU};
    const wchar_t letters[4] = {L'P', L'C', L'B', L'U'};
    int32_t start = -1;
    for (int i = 0; i < 4; ++i)
        if (letters[i] == letter)
            start = starts[i];
    if (start < 0)
        return;
    // A group runs to the nearest start of another present group after it,
    // whatever its letter: a missing or out-of-order group cannot cut it short.
    int32_t stop = m_entryCount;
    for (int32_t s : starts)
        if (s > start && s < stop)
            stop = s;
    *begin = start;
    *end = stop;
}

std::wstring CDtcTable::ResolveDtcText(const std::wstring& text) const
{
    if (text.empty())
        return text;
    int32_t begin, end;
    GroupRange(text[0], &begin, &end);
    for (int32_t n = begin; n < end; ++n) {
        const std::wstring& code = m_codes[static_cast<size_t>(n)];
        if (code.size() >= text.size() && code.compare(0, text.size(), text) == 0)
            return code;
    }
    return text;
}

bool CDtcTable::FindDtc(const std::wstring& code, std::wstring* description, int32_t* row) const
{
    auto it = m_descByCode.find(code);
    if (it == m_descByCode.end() || it->second.empty())
        return false;
    if (description)
        *description = it->second;
    if (row) {
        auto r = m_rowByCode.find(code);
        *row = r == m_rowByCode.end() ? -1 : r->second;
    }
    return true;
}

namespace kelvo {

DtcSearch SearchDtc(const CDtcTable& table, const std::wstring& typed)
{
    DtcSearch s;
    s.text = AsciiUpper(typed);
    // An empty box is no search: it would reach a line whose code is empty.
    if (s.text.empty())
        return s;
    s.code = table.ResolveDtcText(s.text);
    s.found = table.FindDtc(s.code, nullptr, &s.row);
    s.remember = s.found && s.text.size() > 4;
    return s;
}

} // namespace kelvo
