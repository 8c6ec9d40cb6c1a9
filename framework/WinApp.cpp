#include "framework/WinApp.h"

#include "app/core/platform.h"

#include <string>

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

int AfxMessageBox(const wchar_t* text, UINT type) { return kelvo::ShowMessage(text ? text : L"", type); }

