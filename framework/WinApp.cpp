#include "framework/WinApp.h"

namespace {
CWinApp* g_app = nullptr;
} // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp* AfxGetApp() { return g_app; }

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}

