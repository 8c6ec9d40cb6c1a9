#pragma once
// CKelvoInstallApp: the installer's application object.
#include "framework/afx.h"

#include <windows.h>

class CKelvoInstallApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

    ULONG_PTR m_gdiplusToken = 0;
    HANDLE m_installMutex = nullptr;
    int m_exitCode = 1602;  // kExitCancelled until an installation ends
};
