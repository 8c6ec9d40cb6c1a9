#pragma once
// Trouble codes found by the words of their descriptions. Text shaped like a
// code (P, C, B or U and hexadecimal digits) keeps the code search; any other
// text is a word search: every typed word must begin a word of the
// description (any case, any order). Abbreviations count as their words both
// ways ("O2" and "oxygen", "MAF" and "mass air flow"), from a table file in
// the code folder ("dtc\abbreviations.txt": "ABBREVIATION = words" a line).
#include "dtc/core/DtcTable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {

// P, C, B or U (either case) followed by nothing but hexadecimal digits.
bool IsCodeShaped(const std::wstring& text);

// The words of a text, folded to upper case (ASCII and ISO 8859-1 letters):
// runs of letters and digits; everything else separates them.
std::vector<std::wstring> DescriptionWords(const std::wstring& text);

class DtcWordIndex {
public:
    // The abbreviation table's path relative to the working directory.
    static const wchar_t* AbbreviationFile() { return L"dtc\\abbreviations.txt"; }

    // Reads "ABBREVIATION = words" lines (ISO 8859-1; "#" starts a comment;
    // other lines are skipped). Call before Build. Returns the entries read.
    int LoadAbbreviations(const std::string& bytes);
    bool LoadAbbreviationFile(const std::wstring& path);

    // Indexes every entry of the table (row = entry number).
    void Build(const CDtcTable& table);

    // The rows whose description holds every typed word, best first: rows
    // where every typed word is a whole word, before rows where one only
    // begins a word; then rows where more of the typed neighbours stand side
    // by side in the description in the same order ("bank 2"); then file
    // order. Empty when the text holds no word.
    std::vector<int32_t> Search(const std::wstring& typed) const;

    size_t Abbreviations() const { return m_abbreviations.size(); }

private:
    struct Abbreviation {
        std::wstring word;                 // "MAF"
        std::vector<std::wstring> phrase;  // "MASS", "AIR", "FLOW"
    };
    struct Entry {
        std::vector<std::wstring> sequence;  // the description's own words, in order
        std::vector<std::wstring> words;     // sorted, unique, with abbreviations both ways
    };
    std::vector<Abbreviation> m_abbreviations;
    std::vector<Entry> m_entries;
};

} // namespace kelvo
