#include "installer/win/Integration.h"

#include "app/core/profile.h"
#include "installer/core/Batch.h"
#include "installer/core/Folders.h"
#include "installer/core/Upgrade.h"
#include "ui/core/VersionFile.h"
#include "uninstall/win/Shortcuts.h"

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
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
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

void IntegrateInstallation(const std::wstring& target, const ShellLinks& links)
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
    const bool autoUpdate =
        CProfile::GetInt(ProgramFile(target, L"Kelvo.cfg"), L"Setting", L"AutoUpdate", 1) != 0;
    HKEY run = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        if (haveDozaz && autoUpdate)
            SetString(run, L"Kelvo Dozaz", RunCommand(dozaz));
        else
            ::RegDeleteValueW(run, L"Kelvo Dozaz");
        ::RegCloseKey(run);
    }
    if (haveDozaz && autoUpdate)
        ::ShellExecuteW(nullptr, L"open", dozaz.c_str(), nullptr, nullptr, SW_HIDE);

    // For every user of the machine, as the program folder and the Run value
    // are; those an older installer made for its own account go.
    RemovePerUserShortcuts();
    if (haveKelvo)
        SaveShortcut(CSIDL_COMMON_PROGRAMS, L"Kelvo.lnk", true, links.program);
    if (haveUninstaller)
        SaveShortcut(CSIDL_COMMON_PROGRAMS, L"Uninstall.lnk", true, links.uninstaller);
    if (haveKelvo)
        SaveShortcut(CSIDL_COMMON_DESKTOPDIRECTORY, L"Kelvo.lnk", false, links.program);

    if (haveUninstaller) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            SetString(key, L"DisplayIcon", kelvo);
            // A command line to Windows: quoted, as the path may hold spaces.
            SetString(key, L"UninstallString", RunCommand(uninstaller));
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

    const wchar_t* batchName = DriverBatchForThisSystem();
    const std::wstring batch = batchName ? ProgramFile(target, batchName) : std::wstring();
    if (batchName && IsFile(batch))
        ::ShellExecuteW(nullptr, L"open", batch.c_str(), nullptr, ProgramFolder(target).c_str(), SW_SHOW);
}

} // namespace kelvo::install
