#pragma once
// CPrintDialog: the system's print dialog. Unless it is for the printer setup
// only, a confirmed dialog leaves a device context of the chosen printer,
// which the caller takes over (GetPrinterDC).
#include "framework/Wnd.h"

#include <commdlg.h>

class CPrintDialog {
public:
    explicit CPrintDialog(BOOL printSetupOnly, DWORD flags = 0, CWnd* parent = nullptr);
    ~CPrintDialog();
    CPrintDialog(const CPrintDialog&) = delete;
    CPrintDialog& operator=(const CPrintDialog&) = delete;

    // IDOK when the user confirmed, IDCANCEL otherwise.
    INT_PTR DoModal();
    HDC GetPrinterDC() const { return m_pd.hDC; }

    PRINTDLGW m_pd{};
};
