#pragma once
// CKelvoInstallApp: the installer's application object.
#include "framework/afx.h"

#include <windows.h>

class CKelvoInstallApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

    ULONG_PTR m_gdiplusToken = 0;
};
