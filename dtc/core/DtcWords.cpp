#include "dtc/core/DtcWords.h"

#include "app/core/filebytes.h"
#include "app/core/platform.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace kelvo {

namespace {

bool IsHex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f'); }

// Letters and digits of ASCII and ISO 8859-1 (without the two signs × and ÷).
bool IsWordChar(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') ||
           (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7);
}

wchar_t Fold(wchar_t c)
{
    if (c >= L'a' && c <= L'z')
        return static_cast<wchar_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<wchar_t>(c - 32);
    return c;
}

bool StartsWith(const std::wstring& word, const std::wstring& prefix)
{
    return word.size() >= prefix.size() && word.compare(0, prefix.size(), prefix) == 0;
}

// 0 no match, 1 begins a word, 2 is a whole word.
int MatchIn(const std::vector<std::wstring>& sorted, const std::wstring& q)
{
    auto it = std::lower_bound(sorted.begin(), sorted.end(), q);
    if (it == sorted.end() || !StartsWith(*it, q))
        return 0;
    return *it == q ? 2 : 1;
}

} // namespace

bool IsCodeShaped(const std::wstring& text)
{
    if (text.empty())
        return false;
    const wchar_t first = Fold(text[0]);
    if (first != L'P' && first != L'C' && first != L'B' && first != L'U')
        return false;
    return std::all_of(text.begin() + 1, text.end(), IsHex);
}

std::vector<std::wstring> DescriptionWords(const std::wstring& text)
{
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : text) {
        if (IsWordChar(c)) {
            word.push_back(Fold(c));
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

int DtcWordIndex::LoadAbbreviations(const std::string& bytes)
{
    int read = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos)
            end = bytes.size();
        std::wstring line;
        for (size_t i = pos; i < end; ++i)
            line.push_back(static_cast<unsigned char>(bytes[i]));
        pos = end + 1;
        const size_t hash = line.find(L'#');
        if (hash != std::wstring::npos)
            line.erase(hash);
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        const std::vector<std::wstring> left = DescriptionWords(line.substr(0, eq));
        const std::vector<std::wstring> right = DescriptionWords(line.substr(eq + 1));
        // One abbreviation for one or more words; anything else is no entry.
        if (left.size() != 1 || right.empty() || (right.size() == 1 && right[0] == left[0]))
            continue;
        m_abbreviations.push_back({left[0], right});
        ++read;
    }
    return read;
}

bool DtcWordIndex::LoadAbbreviationFile(const std::wstring& path)
{
    std::string bytes;
    // A table larger than any sensible one is read only so far.
    const FileRead read = ReadWholeFile(path, 1u << 20, &bytes);
    if (read == FileRead::kCannotOpen)
        return false;
    LoadAbbreviations(bytes);
    return true;
}

void DtcWordIndex::Build(const CDtcTable& table)
{
    m_entries.clear();
    m_entries.resize(table.m_codes.size());
    for (size_t row = 0; row < table.m_codes.size(); ++row) {
        Entry& e = m_entries[row];
        // A code stored twice shows its later description on both rows, as the look-up does.
        auto it = table.m_descByCode.find(table.m_codes[row]);
        if (it == table.m_descByCode.end() || it->second.empty())
            continue;
        e.sequence = DescriptionWords(it->second);
        e.words = e.sequence;
        // Both ways, and once more so that an abbreviation of an abbreviation's words counts.
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<std::wstring> added;
            for (const Abbreviation& a : m_abbreviations) {
                if (std::find(e.words.begin(), e.words.end(), a.word) != e.words.end())
                    added.insert(added.end(), a.phrase.begin(), a.phrase.end());
                if (std::search(e.sequence.begin(), e.sequence.end(), a.phrase.begin(), a.phrase.end()) !=
                        e.sequence.end() ||
                    (a.phrase.size() == 1 &&
                     std::find(e.words.begin(), e.words.end(), a.phrase[0]) != e.words.end()))
                    added.push_back(a.word);
            }
            e.words.insert(e.words.end(), added.begin(), added.end());
            std::sort(e.words.begin(), e.words.end());
            e.words.erase(std::unique(e.words.begin(), e.words.end()), e.words.end());
        }
    }
}

std::vector<int32_t> DtcWordIndex::Search(const std::wstring& typed) const
{
    const std::vector<std::wstring> query = DescriptionWords(typed);
    std::vector<int32_t> rows;
    if (query.empty())
        return rows;
    struct Hit {
        int whole;     // 1 when every typed word is a whole word
        int together;  // typed neighbours side by side in the description
        int32_t row;
    };
    std::vector<Hit> hits;
    for (size_t row = 0; row < m_entries.size(); ++row) {
        const Entry& e = m_entries[row];
        if (e.words.empty())
            continue;
        bool all = true, whole = true;
        for (const std::wstring& q : query) {
            const int m = MatchIn(e.words, q);
            if (m == 0) {
                all = false;
                break;
            }
            whole = whole && m == 2;
        }
        if (!all)
            continue;
        int together = 0;
        for (size_t i = 0; i + 1 < query.size(); ++i) {
            for (size_t k = 0; k + 1 < e.sequence.size(); ++k) {
                if (StartsWith(e.sequence[k], query[i]) && StartsWith(e.sequence[k + 1], query[i + 1])) {
                    ++together;
                    break;
                }
            }
        }
        hits.push_back({whole ? 1 : 0, together, static_cast<int32_t>(row)});
    }
    std::sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
        return std::make_tuple(-a.whole, -a.together, a.row) < std::make_tuple(-b.whole, -b.together, b.row);
    });
    rows.reserve(hits.size());
    for (const Hit& h : hits)
        rows.push_back(h.row);
    return rows;
}

} // namespace kelvo
