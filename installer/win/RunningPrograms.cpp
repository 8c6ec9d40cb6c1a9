#include "installer/win/RunningPrograms.h"

#include "app/win/Companions.h"

#include <tlhelp32.h>

#include <vector>

namespace kelvo::install {

namespace {

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring ImageOf(HANDLE process)
{
    wchar_t image[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    return ::QueryFullProcessImageNameW(process, 0, image, &size) ? std::wstring(image, size) : std::wstring();
}

// Ids of the other processes whose program file passes `match`.
template <typename Match>
std::vector<DWORD> ProcessesWhere(Match match)
{
    std::vector<DWORD> out;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = ::Process32FirstW(snap, &pe); more; more = ::Process32NextW(snap, &pe)) {
        if (pe.th32ProcessID == ::GetCurrentProcessId())
            continue;
        HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pe.th32ProcessID);
        if (!p)
            continue;
        if (match(ImageOf(p)))
            out.push_back(pe.th32ProcessID);
        ::CloseHandle(p);
    }
    ::CloseHandle(snap);
    return out;
}

BOOL CALLBACK CloseIfVisibleAndOwnedBy(HWND h, LPARAM pid)
{
    DWORD owner = 0;
    ::GetWindowThreadProcessId(h, &owner);
    if (owner == static_cast<DWORD>(pid) && !::GetWindow(h, GW_OWNER) && ::IsWindowVisible(h))
        ::PostMessageW(h, WM_CLOSE, 0, 0);
    return TRUE;
}

// WM_CLOSE to the visible top-level windows of a process, leaving out the
// hidden helper windows a dialog program has.
void CloseWindowsOf(DWORD pid)
{
    ::EnumWindows(CloseIfVisibleAndOwnedBy, static_cast<LPARAM>(pid));
}

// Waits for `done` up to `ms`, dispatching this thread's messages meanwhile.
template <typename Done>
bool WaitPumping(DWORD ms, Done done)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (::GetTickCount() - start >= ms)
            return done();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

bool IsKelvoImage(const std::wstring& image)
{
    const size_t slash = image.find_last_of(L"\\/");
    return SamePath(slash == std::wstring::npos ? image : image.substr(slash + 1), L"Kelvo.exe");
}

} // namespace

bool KelvoIsRunning()
{
    HANDLE m = ::OpenMutexW(SYNCHRONIZE, FALSE, kKelvoMutex);
    if (!m)
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to open
    ::CloseHandle(m);
    return true;
}

bool CloseKelvo(DWORD waitMs)
{
    for (DWORD pid : ProcessesWhere(IsKelvoImage))
        CloseWindowsOf(pid);
    return WaitPumping(waitMs, [] { return !KelvoIsRunning(); });
}

int StopProgramAt(const std::wstring& exe, DWORD graceMs)
{
    const std::vector<DWORD> pids = ProcessesWhere([&](const std::wstring& image) { return SamePath(image, exe); });
    for (DWORD pid : pids) {
        if (HANDLE p = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
            CloseOrEndProcess(p, pid, graceMs);
            ::CloseHandle(p);
        }
    }
    return static_cast<int>(pids.size());
}

} // namespace kelvo::install
