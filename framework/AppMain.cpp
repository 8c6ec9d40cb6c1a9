// Entry point of a program built on the framework (linked into the programs only).
#include "platform/win/SystemDll.h"
#include "framework/WinApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    // Before anything can load a DLL (platform/win/SystemDll.h).
    kelvo::RestrictDllSearch();
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = instance;
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
