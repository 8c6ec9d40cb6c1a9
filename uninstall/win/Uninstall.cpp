// Uninstall.exe: removes what KelvoInstall made. It asks once; then, only when
// the folder it runs from is a "...\ZENDRIX\Kelvo" folder holding Kelvo.exe
// (or the uninstall entry names this very program),
// it stops that folder's Dozaz and removes the folder; links and junctions
// inside are removed as links, never followed. The Run value, the uninstall
// entry, the three shortcuts and the Start-menu folders left empty go too when,
// besides, the uninstall entry names this very program: a stray copy never
// takes the real installation's away. Its own file goes last, once it has ended.
// Elsewhere, or while Kelvo runs, it removes nothing, and says so.
#include "uninstall/core/UninstallRules.h"
#include "uninstall/win/RemoveTree.h"
#include "uninstall/win/Shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace {

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvo";

std::wstring ModulePath()
{
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size())
            return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The same file by its identity, whatever the spelling (case, short names).
bool SameFile(const std::wstring& a, const std::wstring& b)
{
    if (a.empty() || b.empty())
        return false;
    if (SamePath(a, b))
        return true;
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::wstring* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        HANDLE h = ::CreateFileW(paths[i]->c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const BOOL got = ::GetFileInformationByHandle(h, &info[i]);
        ::CloseHandle(h);
        if (!got)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// Calls `visit` with a handle (opened with `access` too) of every other
// process whose program file is `exe`.
template <typename Visit>
void ForEachProcessOf(const std::wstring& exe, DWORD access, Visit visit)
{
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = ::Process32FirstW(snap, &pe); more; more = ::Process32NextW(snap, &pe)) {
        if (pe.th32ProcessID == ::GetCurrentProcessId())
            continue;
        HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | access, FALSE, pe.th32ProcessID);
        if (!p)
            continue;
        wchar_t image[MAX_PATH * 2] = {};
        DWORD size = MAX_PATH * 2;
        if (::QueryFullProcessImageNameW(p, 0, image, &size) && SamePath(image, exe))
            visit(p);
        ::CloseHandle(p);
    }
    ::CloseHandle(snap);
}

// Every process whose program file is `exe` ends.
void StopProgram(const std::wstring& exe)
{
    ForEachProcessOf(exe, PROCESS_TERMINATE | SYNCHRONIZE, [](HANDLE p) {
        ::TerminateProcess(p, 0);
        ::WaitForSingleObject(p, 5000);
    });
}

bool IsRunning(const std::wstring& exe)
{
    bool running = false;
    ForEachProcessOf(exe, 0, [&](HANDLE) { running = true; });
    return running;
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// This program cannot delete its own file while it runs: a small batch in the
// temporary folder waits until it can, removes the folders left empty, and
// then itself. The paths reach it in its environment.
void RemoveSelfAfterExit(const std::wstring& self, const std::wstring& folder)
{
    wchar_t temp[MAX_PATH] = {};
    if (!::GetTempPathW(MAX_PATH, temp))
        return;
    const std::wstring batch = std::wstring(temp) + L"kelvo-uninstall-" + std::to_wstring(::GetCurrentProcessId()) + L".bat";
    const std::wstring parent = folder.substr(0, folder.rfind(L'\\'));
    // The batch text is ASCII: the console reads it in the ANSI code page.
    const std::wstring text = kelvo::uninstall::SelfRemovalBatch();
    const std::string bytes(text.begin(), text.end());
    HANDLE h = ::CreateFileW(batch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    if (!ok || written != bytes.size()) {
        ::DeleteFileW(batch.c_str());
        return;
    }
    // Inherited by cmd: this process ends right after.
    ::SetEnvironmentVariableW(kelvo::uninstall::kBatchSelfVariable, self.c_str());
    ::SetEnvironmentVariableW(kelvo::uninstall::kBatchFolderVariable, folder.c_str());
    ::SetEnvironmentVariableW(kelvo::uninstall::kBatchParentVariable, parent.c_str());
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    std::wstring line = Quoted(cmd) + L" /c " + Quoted(batch);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(cmd.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW | IDLE_PRIORITY_CLASS, nullptr,
                         temp, &si, &pi)) {
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    } else {
        ::DeleteFileW(batch.c_str());
    }
}

// The all-users shortcuts, and those an older installer saved for its own account.
void RemoveShortcuts()
{
    kelvo::uninstall::RemoveShortcutsIn(CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY);
    kelvo::uninstall::RemoveShortcutsIn(CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY);
}

void RemoveRegistry()
{
    HKEY run = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        ::RegDeleteValueW(run, L"Kelvo Dozaz");
        ::RegCloseKey(run);
    }
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
}

// The uninstall entry's UninstallString, or empty.
std::wstring RegisteredUninstaller()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    std::vector<wchar_t> buf(MAX_PATH * 4 + 1, L'\0');
    DWORD type = 0, size = static_cast<DWORD>((buf.size() - 1) * sizeof(wchar_t));
    const LONG r = ::RegQueryValueExW(key, L"UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
    ::RegCloseKey(key);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    std::wstring value(buf.data(), size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0')
        value.pop_back();
    if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
        value = value.substr(1, value.size() - 2);
    return value;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    if (::MessageBoxW(nullptr, L"Do you want to remove Kelvo and all of its components?", L"Kelvo",
                      MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 1;

    const std::wstring self = ModulePath();
    const std::wstring folder = kelvo::uninstall::WithoutTrailingSlash(self.substr(0, self.rfind(L'\\')));

    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    const DWORD program = ::GetFileAttributesW((folder + L"\\Kelvo.exe").c_str());
    const bool haveKelvo = program != INVALID_FILE_ATTRIBUTES && !(program & FILE_ATTRIBUTE_DIRECTORY);
    // The registered uninstaller is this very program: its installation,
    // even when Kelvo.exe is gone (deleted, or taken by a virus scanner).
    const bool registered = !self.empty() && SameFile(RegisteredUninstaller(), self);
    const bool ours = !self.empty() && kelvo::uninstall::IsInstallationFolderName(folder) &&
                      attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                      (haveKelvo || registered);
    if (!ours) {
        // A stray copy: neither the folder nor the system's entries are its own.
        ::MessageBoxW(nullptr,
                      L"Nothing was removed: this uninstaller is not in a folder where Kelvo is installed "
                      L"(a ZENDRIX\\Kelvo folder holding Kelvo.exe).",
                      L"Kelvo", MB_OK | MB_ICONINFORMATION);
        return 0;
    }

    // A running Kelvo holds its files: removing the entries and then failing on
    // the folder would leave an installation nothing can uninstall.
    if (IsRunning(folder + L"\\Kelvo.exe")) {
        ::MessageBoxW(nullptr, L"Kelvo is running. Close Kelvo, then uninstall it again: nothing was removed.", L"Kelvo",
                      MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    StopProgram(folder + L"\\Dozaz.exe");
    // The shortcuts, the Run value and the entry belong to the installation the
    // entry names: another one's (installed later elsewhere) stay.
    if (registered) {
        RemoveRegistry();
        RemoveShortcuts();
    }
    kelvo::uninstall::RemoveTree(folder, self);
    RemoveSelfAfterExit(self, folder);
    return 0;
}
