#include "ui/win/PlaceholderPages.h"

std::atomic<int> g_reportPort{-1};
std::atomic<int> g_reportStop{0};

void CPrintPage::ClearReportBox()
{
    if (m_hWnd)
        SetDlgItemText(1034, L"");
}
