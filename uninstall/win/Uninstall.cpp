// Uninstall.exe: removes what KelvoInstall made. It asks once (and whether to
// keep the settings and downloaded packages; /S asks nothing and keeps them
// unless /PURGE); then, only when the folder it runs from is a
// "...\ZENDRIX\Kelvo" folder holding Kelvo.exe (or the uninstall entry names
// this very program), it stops that folder's Dozaz and removes the folder;
// links and junctions inside are removed as links, never followed. Only when
// nothing is left over do the Run value, the uninstall entry, the shortcuts
// and the Start-menu folders left empty go too, and only when, besides, the
// uninstall entry names this very program: a stray copy never takes the real
// installation's away. Its own file goes last, once it has ended. Elsewhere,
// or while Kelvo runs, it removes nothing, and says so. Exit codes as
// KelvoInstall's (installer/core/Switches.h).
#include "platform/win/SystemDll.h"
#include "app/core/globals.h"
#include "app/core/profile.h"
#include "app/core/texts.h"
#include "platform/win/FileSecurity.h"
#include "platform/win/Processes.h"
#include "installer/core/InstallTexts.h"
#include "installer/core/Switches.h"
#include "uninstall/core/UninstallRules.h"
#include "uninstall/win/RemoveTree.h"
#include "platform/win/Shortcuts.h"

#include <windows.h>
#include <shlobj.h>

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

// The same file by its identity, whatever the spelling (case, short names).
bool SameFile(const std::wstring& a, const std::wstring& b)
{
    if (a.empty() || b.empty())
        return false;
    if (kelvo::SamePath(a, b))
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

// Every process whose program file is `exe` ends, at once: the uninstaller
// asks no questions of the installation's helpers.
void StopProgram(const std::wstring& exe)
{
    kelvo::ForEachProcess(PROCESS_TERMINATE | SYNCHRONIZE, nullptr, [&](DWORD pid, HANDLE p, const std::wstring& image) {
        if (kelvo::SamePath(image, exe))
            kelvo::StopProcess(p, pid, kelvo::StopPolicy{kelvo::AskWindows::None, 0, true});
    });
}

bool IsRunning(const std::wstring& exe)
{
    bool running = false;
    kelvo::ForEachProcess(0, nullptr, [&](DWORD, HANDLE, const std::wstring& image) {
        running = running || kelvo::SamePath(image, exe);
    });
    return running;
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// This program cannot delete its own file while it runs: a small batch in the
// temporary folder waits until it can, removes the folders left empty, and
// then itself. The paths reach it in its environment. The batch is a new file
// of a name nobody can foresee, that only this account can open: nobody can
// put other commands in it for this elevated process to run.
void RemoveSelfAfterExit(const std::wstring& self, const std::wstring& folder)
{
    wchar_t temp[MAX_PATH] = {};
    if (!::GetTempPathW(MAX_PATH, temp))
        return;
    const std::wstring parent = folder.substr(0, folder.rfind(L'\\'));
    // The batch text is ASCII: the console reads it in the ANSI code page.
    const std::wstring text = kelvo::uninstall::SelfRemovalBatch();
    const std::string bytes(text.begin(), text.end());
    std::wstring batch;
    HANDLE h = kelvo::CreateOwnerOnlyFile(temp, L"kelvo-uninstall-", L".bat", &batch);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    ::FlushFileBuffers(h);
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
    // The outer quotes are cmd's to take off; the inner ones keep the path whole.
    std::wstring line = Quoted(cmd) + L" /c " + Quoted(Quoted(batch));
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

// A message box, unless the run is silent.
void Say(bool silent, const std::wstring& text, UINT icon)
{
    if (!silent)
        ::MessageBoxW(nullptr, text.c_str(), L"Kelvo", MB_OK | icon);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // Before anything can load a DLL (platform/win/SystemDll.h).
    kelvo::RestrictDllSearch();
    using namespace kelvo::install;

    UninstallSwitches switches;
    if (!ParseUninstallSwitches(CommandTail(::GetCommandLineW()), &switches)) {
        Say(false, L"Unknown switch: " + switches.error + L"\n\nUninstall [/S] [/PURGE]", MB_ICONERROR);
        return kExitBadSwitch;
    }
    const bool silent = switches.silent;

    const std::wstring self = ModulePath();
    const std::wstring folder = kelvo::uninstall::WithoutTrailingSlash(self.substr(0, self.rfind(L'\\')));
    // The installation's language; its tables go with the folder, so every
    // text is taken now.
    kelvo::ApplyLanguageIndex(CProfile::GetInt(folder + L"\\Kelvo.cfg", L"Setting", L"Language", 0));
    const std::wstring textRemoved = Text(kTextRemoved), textKeptIn = Text(kTextRemovedKeptIn),
                       textPartly = Text(kTextRemovedPartly);

    if (!silent && ::MessageBoxW(nullptr, Text(kTextUninstallAsk).c_str(), L"Kelvo", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return kExitCancelled;

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
        Say(silent, Text(kTextUninstallNotHere), MB_ICONINFORMATION);
        return kExitFailed;
    }

    // A running Kelvo holds its files: nothing is removed while it runs.
    if (IsRunning(folder + L"\\Kelvo.exe")) {
        Say(silent, Text(kTextUninstallKelvoRuns), MB_ICONEXCLAMATION);
        return kExitKelvoRunning;
    }

    // The user's settings and downloaded packages stay unless the user (or
    // /PURGE in a silent run) says otherwise.
    const std::wstring settings = folder + L"\\Kelvo.cfg", downloads = folder + L"\\update";
    bool keepUserData = !switches.purge;
    if (!silent && (Exists(settings) || Exists(downloads)))
        keepUserData = ::MessageBoxW(nullptr, Text(kTextKeepUserData).c_str(), L"Kelvo",
                                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) != IDNO;

    StopProgram(folder + L"\\Dozaz.exe");
    StopProgram(folder + L"\\AidletStart.exe");
    std::vector<std::wstring> keep = {self};
    if (keepUserData) {
        keep.push_back(settings);
        keep.push_back(downloads);
    }
    // The folder first: what stays locked keeps the entry and the shortcuts,
    // so that the removal can be run again.
    const std::vector<std::wstring> left = kelvo::uninstall::RemoveTreeExcept(folder, keep);
    if (!left.empty()) {
        std::wstring names;
        for (size_t i = 0; i < left.size() && i < 8; ++i)
            names += L"\n" + left[i];
        if (left.size() > 8)
            names += L"\n(+" + std::to_wstring(left.size() - 8) + L")";
        Say(silent, FillIn(textPartly, {names}), MB_ICONEXCLAMATION);
        return kExitFailed;
    }
    // The shortcuts, the Run value and the entry belong to the installation the
    // entry names: another one's (installed later elsewhere) stay.
    if (registered) {
        RemoveShortcuts();
        RemoveRegistry();
    }
    const bool kept = keepUserData && (Exists(settings) || Exists(downloads));
    RemoveSelfAfterExit(self, folder);
    Say(silent, kept ? FillIn(textKeptIn, {folder}) : textRemoved, MB_ICONINFORMATION);
    return kExitOk;
}
