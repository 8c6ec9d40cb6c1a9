#include "report/core/ReportLibrary.h"

#include "app/core/filebytes.h"
#include "app/core/platform.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <tuple>

namespace kelvo::report {

bool Stamp::operator<(const Stamp& o) const
{
    return std::tie(year, month, day, hour, minute, second) <
           std::tie(o.year, o.month, o.day, o.hour, o.minute, o.second);
}

bool Stamp::operator==(const Stamp& o) const
{
    return std::tie(year, month, day, hour, minute, second) ==
           std::tie(o.year, o.month, o.day, o.hour, o.minute, o.second);
}

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsUpper(wchar_t c) { return c >= L'A' && c <= L'Z'; }
bool IsAlnum(wchar_t c) { return IsDigit(c) || IsUpper(c) || (c >= L'a' && c <= L'z'); }
wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

// Transliteration of the check-digit calculation (ISO 3779 / 49 CFR 565).
int VinValue(wchar_t c)
{
    if (IsDigit(c))
        return c - L'0';
    static const int kLetters[26] = {1, 2, 3, 4, 5, 6, 7, 8, -1, 1, 2, 3, 4, 5, -1, 7, -1, 9, 2, 3, 4, 5, 6, 7, 8, 9};
    return IsUpper(c) ? kLetters[c - L'A'] : -1;
}

// The word that ends right before `end` on the same line (upper-cased), and
// where it begins; empty when only separators or a line start come first.
std::wstring WordBefore(const std::wstring& text, size_t end, size_t* begin, bool separatorsAllowed)
{
    size_t i = end;
    while (i > 0) {
        const wchar_t c = text[i - 1];
        const bool separator = c == L' ' || c == L'\t' || (separatorsAllowed && (c == L':' || c == L'=' ||
                                                                                  c == L'#' || c == L'.' || c == L'-'));
        if (!separator)
            break;
        --i;
    }
    size_t j = i;
    while (j > 0 && IsAlnum(text[j - 1]))
        --j;
    *begin = j;
    std::wstring word;
    for (size_t k = j; k < i; ++k)
        word.push_back(Upper(text[k]));
    return word;
}

bool Labelled(const std::wstring& text, size_t at)
{
    size_t begin = 0;
    std::wstring word = WordBefore(text, at, &begin, true);
    if (word == L"VIN")
        return true;
    if (word == L"NO" || word == L"NR" || word == L"NUMBER") {
        size_t before = 0;
        const std::wstring previous = WordBefore(text, begin, &before, false);
        if (previous == L"VIN")
            return true;
        if (word == L"NUMBER" && previous == L"IDENTIFICATION") {
            size_t first = 0;
            return WordBefore(text, before, &first, false) == L"VEHICLE";
        }
    }
    return false;
}

bool IsCandidate(const std::wstring& run)
{
    if (run.size() != 17)
        return false;
    for (wchar_t c : run)
        if (!IsVinCharacter(c))
            return false;
    if (!IsUpper(run[0]) && !IsUpper(run[1]) && !IsUpper(run[2]))
        return false;
    for (size_t i = 13; i < 17; ++i)
        if (!IsDigit(run[i]))
            return false;
    return true;
}

std::wstring Two(int v)
{
    wchar_t buf[8];
    std::swprintf(buf, 8, L"%02d", v < 0 || v > 99 ? 0 : v);
    return buf;
}

// Reads exactly `n` digits at `at`.
bool Digits(const std::wstring& s, size_t at, size_t n, int* value)
{
    if (at + n > s.size())
        return false;
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (!IsDigit(s[i]))
            return false;
        v = v * 10 + (s[i] - L'0');
    }
    *value = v;
    return true;
}

} // namespace

bool IsVinCharacter(wchar_t c) { return IsDigit(c) || (IsUpper(c) && c != L'I' && c != L'O' && c != L'Q'); }

wchar_t VinCheckDigit(const std::wstring& vin)
{
    static const int kWeights[17] = {8, 7, 6, 5, 4, 3, 2, 10, 0, 9, 8, 7, 6, 5, 4, 3, 2};
    if (vin.size() != 17)
        return 0;
    int sum = 0;
    for (size_t i = 0; i < 17; ++i) {
        const int v = VinValue(vin[i]);
        if (v < 0 || !IsVinCharacter(vin[i]))
            return 0;
        sum += v * kWeights[i];
    }
    const int r = sum % 11;
    return r == 10 ? L'X' : static_cast<wchar_t>(L'0' + r);
}

std::wstring FindVin(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size()) {
        if (!IsAlnum(text[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < text.size() && IsAlnum(text[j]))
            ++j;
        const std::wstring run = text.substr(i, j - i);
        if (IsCandidate(run)) {
            const bool checked = VinCheckDigit(run) == run[8];
            const bool mustCheck = (run[0] >= L'1' && run[0] <= L'5') || run[0] == L'L';
            const bool labelled = Labelled(text, i);
            // Unlabelled, a hex run would pass its check digit one time in
            // eleven: it needs a letter beyond F and a model-year character.
            const bool vinLike = std::any_of(run.begin(), run.end(), [](wchar_t c) { return c > L'F'; }) &&
                                 run[9] != L'0' && run[9] != L'U' && run[9] != L'Z';
            if (labelled ? (checked || !mustCheck) : (checked && vinLike))
                return run;
        }
        i = j;
    }
    return std::wstring();
}

std::wstring ModelForFileName(const std::wstring& model)
{
    std::wstring out;
    for (wchar_t c : model) {
        const bool bad = c < 0x20 || c == 0x7F || std::wcschr(L"\\/:*?\"<>| \t", c) != nullptr;
        out.push_back(bad ? L'-' : c);
    }
    while (!out.empty() && (out.back() == L'.' || out.back() == L'-'))
        out.pop_back();  // Windows drops a trailing dot; a name ends in the model proper
    return out.empty() ? L"Report" : out;
}

std::wstring ReportFileName(const Stamp& when, const std::wstring& model, const std::wstring& vin, int copy)
{
    wchar_t year[8];
    std::swprintf(year, 8, L"%04d", when.year < 0 || when.year > 9999 ? 0 : when.year);
    std::wstring name = std::wstring(year) + L"-" + Two(when.month) + L"-" + Two(when.day) + L" " + Two(when.hour) +
                        L"-" + Two(when.minute) + L"-" + Two(when.second) + L" " + ModelForFileName(model);
    if (!vin.empty())
        name += L" " + vin;
    if (copy > 1)
        name += L" (" + std::to_wstring(copy) + L")";
    return name + L".txt";
}

bool ParseReportFileName(const std::wstring& name, SavedReport* out)
{
    // "YYYY-MM-DD HH-MM-SS " is 20 characters; ".txt" ends it.
    if (name.size() < 25 || name.compare(name.size() - 4, 4, L".txt") != 0)
        return false;
    SavedReport r;
    static const size_t kAt[6] = {0, 5, 8, 11, 14, 17};
    static const size_t kLen[6] = {4, 2, 2, 2, 2, 2};
    int* fields[6] = {&r.when.year, &r.when.month, &r.when.day, &r.when.hour, &r.when.minute, &r.when.second};
    for (int f = 0; f < 6; ++f)
        if (!Digits(name, kAt[f], kLen[f], fields[f]))
            return false;
    if (name[4] != L'-' || name[7] != L'-' || name[10] != L' ' || name[13] != L'-' || name[16] != L'-' ||
        name[19] != L' ')
        return false;
    if (r.when.month < 1 || r.when.month > 12 || r.when.day < 1 || r.when.day > 31 || r.when.hour > 23 ||
        r.when.minute > 59 || r.when.second > 60)
        return false;
    std::wstring rest = name.substr(20, name.size() - 24);
    // A copy number of a second report in the same second.
    if (rest.size() > 4 && rest.back() == L')') {
        const size_t open = rest.rfind(L" (");
        if (open != std::wstring::npos && open + 3 < rest.size()) {
            bool digits = true;
            for (size_t k = open + 2; k + 1 < rest.size(); ++k)
                digits = digits && IsDigit(rest[k]);
            if (digits && rest.size() - open < 8) {
                r.copy = std::stoi(rest.substr(open + 2, rest.size() - open - 3));
                rest.erase(open);
            }
        }
    }
    const size_t space = rest.find(L' ');
    r.model = rest.substr(0, space);
    if (r.model.empty())
        return false;
    if (space != std::wstring::npos) {
        r.vin = rest.substr(space + 1);
        if (r.vin.size() != 17 || !std::all_of(r.vin.begin(), r.vin.end(), IsVinCharacter))
            return false;
    }
    r.fileName = name;
    *out = r;
    return true;
}

std::vector<SavedReport> ListReports(const std::wstring& folder)
{
    std::vector<SavedReport> out;
    for (const FolderFile& f : ListFolderFiles(folder)) {
        SavedReport r;
        if (ParseReportFileName(f.name, &r)) {
            r.size = f.size;
            out.push_back(r);
        }
    }
    std::sort(out.begin(), out.end(), [](const SavedReport& a, const SavedReport& b) {
        if (!(a.when == b.when))
            return b.when < a.when;
        if (a.copy != b.copy)
            return a.copy > b.copy;
        return b.fileName < a.fileName;
    });
    return out;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty())
        return name;
    const wchar_t last = folder.back();
    if (last == L'\\' || last == L'/')
        return folder + name;
    // The folder's own separator, so that a POSIX path stays one.
    return folder + (folder.find(L'\\') != std::wstring::npos ? L"\\" : L"/") + name;
}

SaveOutcome SaveReport(const std::wstring& folder, const Stamp& when, const std::wstring& model,
                       const std::wstring& text, std::wstring* savedPath)
{
    if (text.empty())
        return SaveOutcome::kNothingToSave;
    if (!MakeFolder(folder))
        return SaveOutcome::kNoFolder;
    const std::wstring vin = FindVin(text);
    std::wstring path;
    for (int copy = 1; copy < 1000; ++copy) {
        path = JoinPath(folder, ReportFileName(when, model, vin, copy));
        if (!FileExists(path))
            break;
        path.clear();
    }
    if (path.empty())
        return SaveOutcome::kWriteFailed;
    const std::string bytes = WideToUtf8(text);
    FILE* f = OpenFile(path, "wb");
    if (!f)
        return SaveOutcome::kWriteFailed;
    const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!whole || !closed) {
        RemoveFile(path);
        return SaveOutcome::kWriteFailed;
    }
    if (savedPath)
        *savedPath = path;
    return SaveOutcome::kSaved;
}

bool LoadReport(const std::wstring& path, std::wstring* text)
{
    // Far beyond any report the tool sends: a file put here by hand that is
    // larger is refused rather than loaded whole.
    std::string bytes;
    if (ReadWholeFile(path, kMaxReportBytes, &bytes) != FileRead::kRead)
        return false;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    *text = Utf8ToWide(bytes);
    return true;
}

void ReportKeeper::Add(const std::wstring& chunk, uint32_t now, const Stamp& when, const std::wstring& model)
{
    if (chunk.empty())
        return;
    if (m_text.empty())
        m_when = when;
    if (!model.empty())
        m_model = model;
    m_text += chunk;
    m_last = now;
}

bool ReportKeeper::Due(uint32_t now) const
{
    return !m_text.empty() && static_cast<uint32_t>(now - m_last) >= kQuietMs;
}

ReportKeeper::Report ReportKeeper::Take()
{
    Report r{std::move(m_text), m_when, m_model};
    m_text.clear();
    return r;
}

} // namespace kelvo::report
