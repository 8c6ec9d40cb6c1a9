#pragma once
// CKelvoApp: the application object of Kelvo.exe.
#include "framework/afx.h"
#include "ui/controls/Drawing.h"

#include <gdiplus.h>

class CKelvoApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

    HANDLE m_hMutex = nullptr;
    ULONG_PTR m_gdiplusToken = 0;
    bool m_comStarted = false;
};
