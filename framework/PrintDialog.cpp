#include "framework/PrintDialog.h"

CPrintDialog::CPrintDialog(BOOL printSetupOnly, DWORD flags, CWnd* parent)
{
    m_pd.lStructSize = sizeof m_pd;
    m_pd.hwndOwner = parent ? parent->m_hWnd : nullptr;
    m_pd.Flags = flags | (printSetupOnly ? PD_PRINTSETUP : PD_RETURNDC);
    m_pd.nCopies = 1;
}

CPrintDialog::~CPrintDialog()
{
    // The device context belongs to whoever took it; the settings are ours.
    if (m_pd.hDevMode)
        ::GlobalFree(m_pd.hDevMode);
    if (m_pd.hDevNames)
        ::GlobalFree(m_pd.hDevNames);
}

INT_PTR CPrintDialog::DoModal() { return ::PrintDlgW(&m_pd) ? IDOK : IDCANCEL; }
