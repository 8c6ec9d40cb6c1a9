#pragma once
// CPrintPage: the report page (template 200). While it is the current page a
// reader thread holds the tool's port open and every byte that arrives is
// appended to the report box, which the user edits, empties, copies or prints.
// Every report is also kept in the report library ("Kelvo Reports" in the
// user's documents), from which Open loads it into the box again.
#include "framework/Controls.h"
#include "report/core/ReportCapture.h"
#include "report/core/ReportLibrary.h"
#include "report/win/DiagSystemPrinter.h"
#include "ui/controls/Page.h"
#include "ui/win/PageHosts.h"

#include <memory>
#include <string>
#include <vector>

// The reader's wake-up of the page: report text waits in the hand-off.
const UINT WM_REPORT_DATA = WM_USER + 850;

class CPrintPage : public CPage, public IReportPage {
public:
    enum : UINT { IDD = 200, IDC_REPORT = 1034, IDC_PRINT = 1035, IDC_CLEAR = 1036, IDC_COPY = 1037, IDC_OPEN = 1038 };

    // The user's report library: "Kelvo Reports" in the documents folder.
    static std::wstring LibraryFolder();

    CPrintPage();
    ~CPrintPage() override;

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // IReportPage
    void ConnectReportReader() override;
    void LeaveReportPage() override;
    void ReportToolGone() override;
    // What the capture read so far goes to the box and the library now.
    void KeepReportNow();

    void OnSize(int cx, int cy);
    void OnPrint();
    void OnClear();
    void OnCopy();
    void OnReportData();
    void OnOpen();
    // Saves the report the keeper holds, if any; a failure is said in the status row.
    void SaveReport();

    std::unique_ptr<CDiagSystemPrinter> m_printer;
    CEdit m_edit;

protected:
    bool WantsKey(const MSG& msg) const override;

private:
    static UINT ReaderThread(LPVOID param);
    void StopReader();

    kelvo::report::ReportCapture m_capture;
    kelvo::report::ReportKeeper m_keeper;
    bool m_showingSaved = false;  // the box holds a report loaded from the library

    // The Open menu's items, drawn in the page's font: date, model, VIN columns.
    struct MenuRow {
        std::wstring when, model, vin;
    };
    std::vector<MenuRow> m_menuRows;
    int m_menuColumns[3] = {0, 0, 0};  // left edge of the model and VIN columns, and the width
    int m_menuRowHeight = 0;
    void MeasureMenuRows();
    bool OnMeasureMenuItem(MEASUREITEMSTRUCT* mis) const;
    bool OnDrawMenuItem(const DRAWITEMSTRUCT* dis) const;
};
