#include "installer/win/Integration.h"

#include "app/core/profile.h"
#include "installer/core/Batch.h"
#include "installer/core/Folders.h"
#include "installer/core/Upgrade.h"
#include "ui/core/VersionFile.h"
#include "platform/win/Shortcuts.h"
#include "platform/win/ShellStart.h"
#include "installer/core/InstallTexts.h"
#include "installer/win/InstallLog.h"

#include <shellapi.h>

namespace kelvo::install {

namespace {

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvo";

bool IsFile(const std::wstring& path)
{
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    const LONG r = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    Log(std::wstring(r == ERROR_SUCCESS ? L"Registry value " : L"Registry value NOT set (error " +
                                                                   std::to_wstring(r) + L"): ") +
        name + L" = " + value);
}

// Creates `folder` unless a search finds something in it.
void EnsureFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*.*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        ::FindClose(h);
        return;
    }
    ::CreateDirectoryW(folder.c_str(), nullptr);
}

Wow64Answer AskWow64()
{
    typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, PBOOL);
    auto fn = reinterpret_cast<IsWow64Fn>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "IsWow64Process"));
    if (!fn)
        return Wow64Answer::NoFunction;
    BOOL wow64 = FALSE;
    if (!fn(::GetCurrentProcess(), &wow64))
        return Wow64Answer::Failed;
    return wow64 ? Wow64Answer::Yes : Wow64Answer::No;
}

void SetNumber(HKEY key, const wchar_t* name, DWORD value)
{
    ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    Log(std::wstring(L"Registry value ") + name + L" = " + std::to_wstring(value));
}

uint64_t FolderBytes(const std::wstring& folder)
{
    uint64_t total = 0;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;  // not ours to count
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            total += FolderBytes(folder + L"\\" + name);
        else
            total += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return total;
}

} // namespace

unsigned long WindowsMajorVersion()
{
    // The system's own answer: GetVersionEx tells a program without a
    // manifest entry for Windows 10 that it runs on 8.
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW*);
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto fn = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                          reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "RtlGetVersion")))
                    : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (fn && fn(&info) == 0)
        return info.dwMajorVersion;
    return 0;
}

DriverOutcome RunDriverBatch(const std::wstring& folder, const std::wstring& batch, DWORD waitMs)
{
    DriverOutcome out;
    out.batch = batch;
    if (!IsFile(folder + L"\\" + batch)) {
        out.kind = DriverStepKind::Missing;
        return out;
    }
    wchar_t system[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        out.kind = DriverStepKind::NotStarted;
        return out;
    }
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    // No console and no window: the batch asks nothing; its exit code says how
    // it went. By its bare name in its folder: cmd would take the quotes off a
    // path with "(x86)" in it and run "C:\Program".
    std::wstring line = L"\"" + cmd + L"\" /d /c " + batch;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(cmd.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(), &si,
                          &pi)) {
        out.kind = DriverStepKind::NotStarted;
        out.exitCode = ::GetLastError();
        return out;
    }
    ::CloseHandle(pi.hThread);
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(pi.hProcess, waitMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hProcess);
    out.kind = code == STILL_ACTIVE ? DriverStepKind::StillRunning : DriverStepKind::Ran;
    out.exitCode = code;
    return out;
}

DriverOutcome DriverStep(const std::wstring& target, bool noDriver)
{
    DriverOutcome out;
    const wchar_t* batch = DriverBatchForThisSystem();
    if (noDriver)
        out.kind = DriverStepKind::LeftAlone;
    else if (InboxDriverServes(WindowsMajorVersion()))
        out.kind = DriverStepKind::Inbox;
    else if (!batch)
        out.kind = DriverStepKind::NoBatch;
    else
        out = RunDriverBatch(ProgramFolder(target), batch, 180000);
    Log(L"Driver step: " + DriverOutcomeText(out));
    return out;
}

const wchar_t* DriverBatchForThisSystem()
{
    typedef BOOL(WINAPI * IsWow64Fn2)(HANDLE, USHORT*, USHORT*);
    auto fn = reinterpret_cast<IsWow64Fn2>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "IsWow64Process2"));
    USHORT process = 0, native = 0;
    if (fn && fn(::GetCurrentProcess(), &process, &native))
        return DriverBatchForMachine(native);
    return DriverBatchFile(AskWow64());
}

void RemovePerUserShortcuts()
{
    uninstall::RemoveShortcutsIn(CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY);
}

IShellLinkW* CreateProgramLink(const std::wstring& path, const std::wstring& description)
{
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))) ||
        !link)
        return nullptr;
    link->SetPath(path.c_str());
    link->SetWorkingDirectory(FolderOfPath(path).c_str());
    link->SetDescription(description.c_str());
    return link;
}

int SaveShortcut(int csidl, const std::wstring& name, bool inSubFolder, IShellLinkW* link)
{
    if (!link)
        return 0;
    wchar_t folder[MAX_PATH] = {};
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &item)) || !item)
        return 0;
    const BOOL got = ::SHGetPathFromIDListW(item, folder);
    ::CoTaskMemFree(item);
    if (!got || !folder[0])
        return 0;
    std::wstring file = folder;
    if (inSubFolder) {
        EnsureFolder(file + L"\\ZENDRIX");
        EnsureFolder(file + L"\\ZENDRIX\\Kelvo");
        file += L"\\ZENDRIX\\Kelvo\\" + name;
    } else {
        file += L"\\" + name;
    }
    IPersistFile* persist = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) || !persist)
        return 0;
    const HRESULT saved = persist->Save(file.c_str(), TRUE);
    persist->Release();
    return SUCCEEDED(saved) ? 1 : 0;
}

// On the wizard's thread, whose COM InitInstance started.
void PrepareShellLinks(const std::wstring& target, ShellLinks* links)
{
    links->program = CreateProgramLink(ProgramFile(target, L"Kelvo.exe"), L"Launch Kelvo");
    links->uninstaller = CreateProgramLink(ProgramFile(target, L"Uninstall.exe"), L"Uninstall Kelvo");
}

void ReleaseShellLinks(ShellLinks* links)
{
    for (IShellLinkW** link : {&links->program, &links->uninstaller}) {
        if (*link) {
            (*link)->Release();
            *link = nullptr;
        }
    }
}

void IntegrateInstallation(const std::wstring& target, const ShellLinks& links, bool noAutostart)
{
    const std::wstring dozaz = ProgramFile(target, L"Dozaz.exe");
    const std::wstring kelvo = ProgramFile(target, L"Kelvo.exe");
    const std::wstring uninstaller = ProgramFile(target, L"Uninstall.exe");
    const bool haveDozaz = IsFile(dozaz), haveKelvo = IsFile(kelvo);
    // The uninstaller acts only in a folder holding Kelvo.exe: without it, its
    // shortcut and the entry would offer a removal that does nothing.
    const bool haveUninstaller = haveKelvo && IsFile(uninstaller);

    // The user's choice in the settings (the package's for a first install):
    // Dozaz runs and starts at logon only when it is on, as Settings shows it.
    // /NOAUTOSTART leaves it off, and says so in the settings, whatever they held.
    if (noAutostart && IsFile(ProgramFile(target, L"Kelvo.cfg")))
        CProfile::SetInt(ProgramFile(target, L"Kelvo.cfg"), L"Setting", L"AutoUpdate", 0);
    const bool autoUpdate =
        !noAutostart && CProfile::GetInt(ProgramFile(target, L"Kelvo.cfg"), L"Setting", L"AutoUpdate", 1) != 0;
    HKEY run = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        if (haveDozaz && autoUpdate)
            SetString(run, L"Kelvo Dozaz", RunCommand(dozaz));
        else if (::RegDeleteValueW(run, L"Kelvo Dozaz") == ERROR_SUCCESS)
            Log(L"Registry value removed: Kelvo Dozaz");
        ::RegCloseKey(run);
    }
    // With the user's own rights, so that Explorer can talk to its tray icon.
    if (haveDozaz && autoUpdate) {
        const bool started = StartAsDesktopUser(dozaz, {}, ProgramFolder(target), SW_HIDE) > 32;
        Log((started ? L"Started: " : L"Could not start: ") + dozaz);
    }

    // For every user of the machine, as the program folder and the Run value
    // are; those an older installer made for its own account go.
    RemovePerUserShortcuts();
    auto shortcut = [](int csidl, const wchar_t* name, bool sub, IShellLinkW* link) {
        const int saved = SaveShortcut(csidl, name, sub, link);
        Log(std::wstring(saved ? L"Shortcut saved: " : L"Shortcut NOT saved: ") +
            (csidl == CSIDL_COMMON_DESKTOPDIRECTORY ? L"desktop\\" : L"Start menu\\ZENDRIX\\Kelvo\\") + name);
    };
    if (haveKelvo)
        shortcut(CSIDL_COMMON_PROGRAMS, L"Kelvo.lnk", true, links.program);
    if (haveUninstaller)
        shortcut(CSIDL_COMMON_PROGRAMS, L"Uninstall.lnk", true, links.uninstaller);
    if (haveKelvo)
        shortcut(CSIDL_COMMON_DESKTOPDIRECTORY, L"Kelvo.lnk", false, links.program);

    if (haveUninstaller) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            SetString(key, L"DisplayIcon", kelvo);
            // A command line to Windows: quoted, as the path may hold spaces.
            SetString(key, L"UninstallString", RunCommand(uninstaller));
            // For deployment tools: the removal without a question or a window.
            SetString(key, L"QuietUninstallString", RunCommand(uninstaller) + L" /S");
            // The version the program itself shows; none rather than a wrong one.
            const std::wstring version = kelvo::ReadVersionFile(ProgramFile(target, L"version.txt"));
            if (!version.empty())
                SetString(key, L"DisplayVersion", version);
            else
                ::RegDeleteValueW(key, L"DisplayVersion");
            SetString(key, L"DisplayName", L"Kelvo");
            SetString(key, L"Publisher", L"Zendrix");
            SetString(key, L"InstallLocation", ProgramFolder(target));
            SetNumber(key, L"EstimatedSize", SizeInKb(FolderBytes(ProgramFolder(target))));
            SetNumber(key, L"NoModify", 1);
            SetNumber(key, L"NoRepair", 1);
            ::RegCloseKey(key);
        }
    }
}

} // namespace kelvo::install
