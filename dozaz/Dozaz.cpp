// Dozaz.exe: the tray program of the AutoUpdate setting. One copy per user
// session; a tray icon whose menu opens Kelvo or ends Dozaz; at its start and
// then every few hours it asks the update server whether a newer firmware
// package exists for the models recorded in Kelvo.cfg, and says so in a tray
// notification. It writes nothing, and a server out of reach is silence.
#include "platform/win/SystemDll.h"

#include "app/core/TextNumbers.h"
#include "app/core/globals.h"
#include "app/core/profile.h"
#include "app/core/SingleCopy.h"
#include "app/core/texts.h"
#include "dozaz/core/UpdateCheck.h"
#include "update/core/Catalogue.h"
#include "platform/win/WinInetClient.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t kClass[] = L"KelvoDozaz";
const wchar_t kMutex[] = L"Kelvo Dozaz";
const UINT WM_TRAY = WM_APP + 1;
const UINT WM_CHECK_DONE = WM_APP + 2;
const UINT kIdOpenKelvo = 1;
const UINT kIdExit = 2;
const UINT kIconId = 1;
// The last notification, in a hidden child of the window, so that it can be
// read back (accessibility tools, tests).
const int kIdLastNotice = 100;
const UINT_PTR kCheckTimer = 1;
const UINT kCheckEveryMs = 4u * 60u * 60u * 1000u;

HWND g_window = nullptr;
UINT g_taskbarCreated = 0;
bool g_checking = false;

struct CheckRequest {
    std::wstring settingsFile;
    std::wstring language;
};

// Kelvo's language, as Kelvo.cfg holds it now (it may change while we run).
void FollowKelvoLanguage()
{
    const std::wstring before = g_strLanguageCode;
    kelvo::ApplyLanguageIndex(
        CProfile::GetInt(kelvo::ModuleFolder() + kelvo::kSettingsFile, L"Setting", L"Language", 0));
    if (g_strLanguageCode != before)
        ClearTextCache();
}

std::wstring TipText()
{
    const std::wstring what = GetText(kelvo::kTextDozazChecks);
    return what.empty() ? L"Dozaz" : L"Dozaz - " + what;
}

// An elevated Dozaz (started by an elevated program) gets no message from
// the unelevated Explorer unless it lets the two through: the icon's clicks
// and the taskbar's restart. ChangeWindowMessageFilterEx is Windows 7's; the
// process-wide ChangeWindowMessageFilter is Vista's; neither exists before.
bool AllowShellMessages(HWND window)
{
    typedef BOOL(WINAPI * FilterExFn)(HWND, UINT, DWORD, void*);
    typedef BOOL(WINAPI * FilterFn)(UINT, DWORD);
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    if (!user)
        return false;
    const DWORD kAllow = 1;  // MSGFLT_ALLOW (Ex), MSGFLT_ADD (process-wide)
    bool ok = true;
    if (auto ex = reinterpret_cast<FilterExFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(user, "ChangeWindowMessageFilterEx")))) {
        for (UINT message : {WM_TRAY, g_taskbarCreated})
            ok = ex(window, message, kAllow, nullptr) && ok;
        return ok;
    }
    if (auto plain = reinterpret_cast<FilterFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(user, "ChangeWindowMessageFilter")))) {
        for (UINT message : {WM_TRAY, g_taskbarCreated})
            ok = plain(message, kAllow) && ok;
        return ok;
    }
    return false;
}

void AddIcon()
{
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = g_window;
    nid.uID = kIconId;
    nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    nid.uCallbackMessage = WM_TRAY;
    nid.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    FollowKelvoLanguage();
    lstrcpynW(nid.szTip, TipText().c_str(), ARRAYSIZE(nid.szTip));
    ::Shell_NotifyIconW(NIM_ADD, &nid);
}

void RemoveIcon()
{
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = g_window;
    nid.uID = kIconId;
    ::Shell_NotifyIconW(NIM_DELETE, &nid);
}

void Notify(const std::wstring& title, const std::wstring& text)
{
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = g_window;
    nid.uID = kIconId;
    nid.uFlags = NIF_INFO;
    lstrcpynW(nid.szInfoTitle, title.c_str(), ARRAYSIZE(nid.szInfoTitle));
    lstrcpynW(nid.szInfo, text.c_str(), ARRAYSIZE(nid.szInfo));
    nid.dwInfoFlags = NIIF_INFO;
    ::Shell_NotifyIconW(NIM_MODIFY, &nid);
    ::SetDlgItemTextW(g_window, kIdLastNotice, (title + L"\n" + text).c_str());
}

void OpenKelvo();

// The running Kelvo shows its update page; without one, Kelvo starts, on
// that page. The notification said a newer firmware exists: that is where the
// user goes next.
void OpenKelvoOnUpdatePage()
{
    HANDLE running = ::OpenMutexW(SYNCHRONIZE, FALSE, kKelvoMutex);
    // An elevated Kelvo's mutex may refuse us access: it is there all the same.
    if (!running && ::GetLastError() != ERROR_ACCESS_DENIED) {
        OpenKelvo();
        return;
    }
    if (running)
        ::CloseHandle(running);
    // The user just clicked us, so we may hand the foreground on.
    ::AllowSetForegroundWindow(ASFW_ANY);
    ::PostMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(L"Kelvo show update page"), 0, 0);
}

void OpenKelvo()
{
    // Through the shell, so that Kelvo's request for administrator rights is honoured.
    const std::wstring folder = kelvo::ModuleFolder();
    const std::wstring exe = folder + L"Kelvo.exe";
    ::ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
}

DWORD WINAPI CheckThread(LPVOID param)
{
    std::unique_ptr<CheckRequest> request(static_cast<CheckRequest*>(param));
    const std::wstring base = kelvo::ReadIniString(request->settingsFile, L"Setting", L"DownloadLink",
                                                   kelvo::kDefaultDownloadLink, 255);
    auto* found = new std::vector<kelvo::NewerPackage>;
    if (std::unique_ptr<kelvo::IHttpClient> http = kelvo::NewWinInetClient())
        *found = kelvo::FindNewerPackages(*http, request->settingsFile, base, request->language);
    if (!::PostMessageW(g_window, WM_CHECK_DONE, 0, reinterpret_cast<LPARAM>(found)))
        delete found;
    return 0;
}

void StartCheck()
{
    if (g_checking)
        return;
    // The language may have changed in Kelvo since the last check.
    auto* request = new CheckRequest;
    request->settingsFile = kelvo::ModuleFolder() + kelvo::kSettingsFile;
    FollowKelvoLanguage();
    request->language = g_strLanguageCode;
    HANDLE thread = ::CreateThread(nullptr, 0, CheckThread, request, 0, nullptr);
    if (!thread) {
        delete request;
        return;
    }
    ::CloseHandle(thread);
    g_checking = true;
}

void ShowMenu()
{
    HMENU menu = ::CreatePopupMenu();
    FollowKelvoLanguage();
    const std::wstring open = GetText(kelvo::kTextDozazOpenKelvo), exit = GetText(kelvo::kTextDozazExit);
    ::AppendMenuW(menu, MF_STRING, kIdOpenKelvo, open.empty() ? L"Open Kelvo" : open.c_str());
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kIdExit, exit.empty() ? L"Exit" : exit.c_str());
    ::SetMenuDefaultItem(menu, kIdOpenKelvo, FALSE);
    POINT p;
    ::GetCursorPos(&p);
    // The menu closes when the user clicks elsewhere only if we are in front.
    ::SetForegroundWindow(g_window);
    ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, p.x, p.y, 0, g_window, nullptr);
    ::PostMessageW(g_window, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
}

LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 0, 0, h,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdLastNotice)), nullptr, nullptr);
        return 0;
    case WM_TRAY:
        switch (LOWORD(lp)) {
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            ShowMenu();
            break;
        case WM_LBUTTONDBLCLK:
            OpenKelvo();
            break;
        case NIN_BALLOONUSERCLICK:
            OpenKelvoOnUpdatePage();
            break;
        }
        return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == kIdOpenKelvo)
            OpenKelvo();
        else if (LOWORD(wp) == kIdExit)
            ::DestroyWindow(h);
        return 0;
    case WM_TIMER:
        if (wp == kCheckTimer)
            StartCheck();
        return 0;
    case WM_CHECK_DONE: {
        std::unique_ptr<std::vector<kelvo::NewerPackage>> found(reinterpret_cast<std::vector<kelvo::NewerPackage>*>(lp));
        g_checking = false;
        if (found && !found->empty())
            Notify(kelvo::NotificationTitle(), kelvo::NotificationText(*found));
        return 0;
    }
    case WM_DESTROY:
        ::KillTimer(h, kCheckTimer);
        RemoveIcon();
        ::PostQuitMessage(0);
        return 0;
    default:
        // The shell was restarted: the icon must be added again.
        if (msg == g_taskbarCreated && g_taskbarCreated != 0) {
            AddIcon();
            return 0;
        }
        return ::DefWindowProcW(h, msg, wp, lp);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Before anything can load a DLL (platform/win/SystemDll.h).
    kelvo::RestrictDllSearch();
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kMutex);
    if (!mutex || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (mutex)
            ::CloseHandle(mutex);
        return 0;
    }

    g_taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.lpszClassName = kClass;
    ::RegisterClassExW(&wc);
    // A hidden top-level window: the tray icon's owner.
    g_window = ::CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"Dozaz", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                                 nullptr);
    if (!g_window) {
        ::CloseHandle(mutex);
        return 1;
    }
    if (g_taskbarCreated)
        AllowShellMessages(g_window);
    AddIcon();
    StartCheck();
    ::SetTimer(g_window, kCheckTimer, kCheckEveryMs, nullptr);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::CloseHandle(mutex);
    return 0;
}
