#include "app/win/Companions.h"
#include "framework/ShellStart.h"

#include "app/core/globals.h"
#include "app/core/setting_choices.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

namespace kelvo {

namespace {
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"Kelvo Dozaz";

HKEY OpenRunKey(REGSAM access)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

std::wstring FullImagePath(HANDLE process)
{
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!::QueryFullProcessImageNameW(process, 0, path, &size))
        return {};
    return std::wstring(path, size);
}

// The long form of a path, so that a short 8.3 spelling compares equal.
std::wstring LongPath(const std::wstring& path)
{
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD n = ::GetLongPathNameW(path.c_str(), buf, MAX_PATH * 2);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(buf, n) : path;
}
} // namespace

bool StartCompanion(const std::wstring& name, const std::wstring& parameters, int show, bool asDesktopUser)
{
    const std::wstring folder = ModuleFolder();
    const std::wstring file = folder + name;
    if (asDesktopUser)
        return StartAsDesktopUser(file, parameters.empty() ? std::vector<std::wstring>() : std::vector<std::wstring>{parameters},
                                  folder, show) > 32;
    const INT_PTR r = reinterpret_cast<INT_PTR>(::ShellExecuteW(
        nullptr, L"open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(), folder.c_str(), show));
    return r > 32;
}

namespace {
struct ProcessWindows {
    DWORD pid;
    int asked;
};

BOOL CALLBACK AskToClose(HWND h, LPARAM param)
{
    auto* p = reinterpret_cast<ProcessWindows*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    // Hidden windows too: a tray program's window is never shown.
    if (pid == p->pid && ::PostMessageW(h, WM_CLOSE, 0, 0))
        ++p->asked;
    return TRUE;
}

} // namespace

bool CloseOrEndProcess(HANDLE process, DWORD pid, DWORD closeWaitMs)
{
    ProcessWindows windows{pid, 0};
    ::EnumWindows(AskToClose, reinterpret_cast<LPARAM>(&windows));
    if (windows.asked > 0 && ::WaitForSingleObject(process, closeWaitMs) == WAIT_OBJECT_0)
        return true;
    if (!::TerminateProcess(process, 0) && ::WaitForSingleObject(process, 0) != WAIT_OBJECT_0)
        return false;
    // Ended before a new Dozaz may look for its single-copy mutex.
    ::WaitForSingleObject(process, 5000);
    return false;
}

int StopInstallationDozaz(DWORD closeWaitMs, int* closed)
{
    if (closed)
        *closed = 0;
    const std::wstring folder = LongPath(ModuleFolder());
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    int stopped = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self || !IsDozazName(entry.szExeFile))
            continue;
        HANDLE process = ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                       entry.th32ProcessID);
        if (!process)
            continue;
        // Read from the opened handle: it is the process that would be ended,
        // even if the snapshot's PID has since been given to another.
        const std::wstring path = FullImagePath(process);
        if (IsInstallationDozaz(entry.szExeFile, path.empty() ? path : LongPath(path), folder)) {
            if (CloseOrEndProcess(process, entry.th32ProcessID, closeWaitMs) && closed)
                ++*closed;
            if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
                ++stopped;
        }
        ::CloseHandle(process);
    }
    ::CloseHandle(snapshot);
    return stopped;
}

bool DozazRunValuePresent()
{
    HKEY key = OpenRunKey(KEY_QUERY_VALUE);
    if (!key)
        return false;
    BYTE data[256];
    DWORD size = sizeof data, type = REG_NONE;
    const LONG status = ::RegQueryValueExW(key, kRunValue, nullptr, &type, data, &size);
    ::RegCloseKey(key);
    return RunValuePresent(status, type, data, status == ERROR_SUCCESS ? size : 0);
}

void RegisterDozazAtLogon()
{
    if (DozazRunValuePresent())
        return;
    HKEY key = OpenRunKey(KEY_SET_VALUE);
    if (!key)
        return;
    // Quoted: unquoted, a path with spaces ("Program Files (x86)") lets the
    // system start "C:\Program.exe" or "C:\Program Files.exe" instead.
    const std::wstring path = L"\"" + ModuleFolder() + L"Dozaz.exe\"";
    ::RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void UnregisterDozazAtLogon()
{
    HKEY key = OpenRunKey(KEY_SET_VALUE);
    if (!key)
        return;
    ::RegDeleteValueW(key, kRunValue);
    ::RegCloseKey(key);
}

} // namespace kelvo
