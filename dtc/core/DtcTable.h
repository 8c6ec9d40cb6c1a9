#pragma once
// The trouble-code table: codes and descriptions read from a code file
// ("dtc\xx_OBDII.txt"), the prefix search over one letter group and the exact
// lookup. Portable; the trouble-code page derives from it and adds its list.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CDtcTable {
public:
    // Called once per stored entry, in file order (row = entry number).
    using EntrySink = std::function<void(int32_t row, const std::wstring& code, const std::wstring& description)>;

    // The code file of a language index, relative to the working directory.
    // The table is the loader's own (4 is Polish, 5 Portuguese); any other
    // index has no file of its own and uses the English one.
    static const wchar_t* FileName(int languageIndex);

    // Reads the language's file, or the English file when that cannot be
    // opened; false (table empty) when neither can. Replaces any earlier table.
    bool LoadFile(int languageIndex, const EntrySink& sink = nullptr);
    // The same rules on a file's bytes (ISO 8859-1, CR LF or LF lines).
    void LoadBytes(const std::string& bytes, const EntrySink& sink = nullptr);

    // The first code of the text's letter group (file order) that begins with
    // the text, or the text itself when none does.
    std::wstring ResolveDtcText(const std::wstring& text) const;
    // True when the code is present with a non-empty description.
    bool FindDtc(const std::wstring& code, std::wstring* description = nullptr, int32_t* row = nullptr) const;

    std::vector<std::wstring> m_codes;
    std::map<std::wstring, std::wstring> m_descByCode;
    std::map<std::wstring, int32_t> m_rowByCode;
    int32_t m_groupStartP = -1;
    int32_t m_groupStartC = -1;
    int32_t m_groupStartB = -1;
    int32_t m_groupStartU = -1;
    int32_t m_entryCount = 0;

private:
    void Clear();
    // [begin, end) of the entries of the text's letter group; empty when none.
    void GroupRange(wchar_t letter, int32_t* begin, int32_t* end) const;
};

namespace kelvo {

// What one change of the code box's text leads to.
struct DtcSearch {
    std::wstring text;      // the typed text with a-z upper-cased (what the box shows)
    bool found = false;     // a known code was reached: select its row
    std::wstring code;
    int32_t row = -1;
    bool remember = false;  // typed in full (five characters or more): add to the history
};
DtcSearch SearchDtc(const CDtcTable& table, const std::wstring& typed);

} // namespace kelvo
