#include "platform/win/Companions.h"
#include "platform/win/Processes.h"
#include "platform/win/ShellStart.h"

#include "app/core/globals.h"
#include "app/core/setting_choices.h"

#include <windows.h>
#include <shellapi.h>

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

bool CloseOrEndProcess(HANDLE process, DWORD pid, DWORD closeWaitMs)
{
    return StopProcess(process, pid, StopPolicy{AskWindows::All, closeWaitMs, true}) == Stopped::OnRequest;
}

int StopInstallationDozaz(DWORD closeWaitMs, int* closed)
{
    if (closed)
        *closed = 0;
    const std::wstring folder = LongPath(ModuleFolder());
    int stopped = 0;
    ForEachProcess(
        PROCESS_TERMINATE | SYNCHRONIZE, [](const wchar_t* name) { return IsDozazName(name); },
        [&](DWORD pid, HANDLE process, const std::wstring& image) {
            const size_t slash = image.find_last_of(L'\\');
            const std::wstring name = slash == std::wstring::npos ? image : image.substr(slash + 1);
            if (!IsInstallationDozaz(name, image.empty() ? image : LongPath(image), folder))
                return;
            if (CloseOrEndProcess(process, pid, closeWaitMs) && closed)
                ++*closed;
            if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
                ++stopped;
        });
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
