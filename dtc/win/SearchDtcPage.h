#pragma once
// CSearchDtcPage: the trouble-code page (template 130). Every code of the
// table in a two-column list, and an editable drop-down box: typing searches
// as the user types, codes typed in full are kept in the settings file and
// offered again in the drop-down list. Text that is not shaped like a code
// searches the descriptions: the list then shows the matching rows only.
#include "dtc/core/DtcHistory.h"
#include "dtc/core/DtcTable.h"
#include "dtc/core/DtcWords.h"
#include "framework/Controls.h"
#include "ui/controls/Page.h"
#include "ui/win/PageHosts.h"

class CSearchDtcPage : public CPage, public IDtcPage, public CDtcTable {
public:
    enum : UINT { IDD = 130, IDC_CODE_LIST = 1001, IDC_CODE_BOX = 1030 };

    explicit CSearchDtcPage(CWnd* parent = nullptr) : CPage(IDD, parent) {}

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // Fills the table and appends one list row per entry.
    void LoadDtcFile(int languageIndex) override;

    void OnEditChangeCode();
    void OnSelChangeHistory();
    // Selects row r (clearing the page's own last selection) and scrolls it
    // to the top of the list when enough rows follow it.
    void SelectRow(int32_t r);

    CListCtrl m_codeList;
    CComboBox m_codeBox;
    CWnd m_codeField;  // the box's own text field, named for screen readers
    kelvo::DtcHistory m_history;
    kelvo::DtcWordIndex m_words;
    int32_t m_lastRow = -1;
    // The entry of each list row while a word search shows some rows only;
    // empty while the list shows every entry (row = entry number).
    std::vector<int32_t> m_shownEntries;
    bool m_wordSearch = false;

protected:
    bool WantsKey(const MSG& msg) const override;

private:
    void OnSize(int cx, int cy);
    // The list with these entries only, best first, the first selected.
    void ShowWordMatches(const std::vector<int32_t>& entries);
    // The whole list again, after a word search.
    void ShowAllEntries();
    // The list's row count after the rows it shows changed; no row selected.
    void ResetRows();
    // The entry a list row shows, or -1.
    int32_t EntryOfRow(int row) const;
    void OnGetDispInfo(NMLVDISPINFOW* info) const;
    // No row selected, by the page or the user.
    void ClearSelection();
    // Escape or Enter for the code box while its drop-down list is open.
    bool DropDownKey(const MSG& msg) const;
    bool m_writingBack = false;  // the search's own change of the box text
};
