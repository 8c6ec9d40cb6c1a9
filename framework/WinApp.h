#pragma once
// CWinApp: the program object. The entry point runs InitInstance; when it
// returns FALSE (or after the main window's loop) ExitInstance's result is the
// exit code.
#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp() = default;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    // Runs a message loop for programs whose InitInstance returns TRUE.
    virtual int Run();

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// Dialog programs of the framework call this; our dialogs need no container.
inline void AfxEnableControlContainer() {}
