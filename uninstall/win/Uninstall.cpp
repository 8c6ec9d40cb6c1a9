// Uninstall.exe: removes what KelvoInstall made. It asks once; then it stops
// the installation's Dozaz, deletes the Run value, the uninstall entry, the
// three shortcuts and the Start-menu folders that are left empty, and the
// installation folder itself, but only when that is the "...\ZENDRIX\Kelvo"
// folder it runs from and holds Kelvo.exe; links and junctions inside are
// removed as links, never followed. Its own file goes last, once it has ended.
#include "uninstall/core/UninstallRules.h"

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

std::wstring SpecialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}

// Every process whose program file is `exe` ends.
void StopProgram(const std::wstring& exe)
{
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = ::Process32FirstW(snap, &pe); more; more = ::Process32NextW(snap, &pe)) {
        if (pe.th32ProcessID == ::GetCurrentProcessId())
            continue;
        HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                 pe.th32ProcessID);
        if (!p)
            continue;
        wchar_t image[MAX_PATH * 2] = {};
        DWORD size = MAX_PATH * 2;
        if (::QueryFullProcessImageNameW(p, 0, image, &size) && SamePath(image, exe)) {
            ::TerminateProcess(p, 0);
            ::WaitForSingleObject(p, 5000);
        }
        ::CloseHandle(p);
    }
    ::CloseHandle(snap);
}

// Removes a folder's contents and the folder, except `keep`. A link or
// junction is removed itself; what it points at is not touched.
void RemoveTree(const std::wstring& folder, const std::wstring& keep)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            const bool dir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (SamePath(path, keep))
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                ::SetFileAttributesW(path.c_str(), fd.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            if (dir && !link)
                RemoveTree(path, keep);
            else if (dir)
                ::RemoveDirectoryW(path.c_str());
            else
                ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(folder.c_str());
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// This program cannot delete its own file while it runs: a small batch in the
// temporary folder waits until it can, removes the folders left empty, and
// then itself.
void RemoveSelfAfterExit(const std::wstring& self, const std::wstring& folder)
{
    wchar_t temp[MAX_PATH] = {};
    if (!::GetTempPathW(MAX_PATH, temp))
        return;
    const std::wstring batch = std::wstring(temp) + L"kelvo-uninstall-" + std::to_wstring(::GetCurrentProcessId()) + L".bat";
    const std::wstring parent = folder.substr(0, folder.rfind(L'\\'));
    // Bounded: a file that never goes (no right to delete it) ends the wait after some minutes.
    const std::wstring text = L"@echo off\r\n"
                              L"set n=0\r\n"
                              L":wait\r\n"
                              L"del /f /q " + Quoted(self) + L" >nul 2>nul\r\n"
                              L"if not exist " + Quoted(self) + L" goto gone\r\n"
                              L"set /a n+=1\r\n"
                              L"if %n% lss 20000 goto wait\r\n"
                              L":gone\r\n"
                              L"rmdir " + Quoted(folder) + L" >nul 2>nul\r\n"
                              L"rmdir " + Quoted(parent) + L" >nul 2>nul\r\n"
                              L"del /f /q \"%~f0\"\r\n";
    HANDLE h = ::CreateFileW(batch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    // The console reads the batch in the ANSI code page.
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    if (!ok) {
        ::DeleteFileW(batch.c_str());
        return;
    }
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

void RemoveShortcuts()
{
    const std::wstring programs = SpecialFolder(CSIDL_PROGRAMS);
    const std::wstring desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
    if (!programs.empty()) {
        ::DeleteFileW((programs + L"\\ZENDRIX\\Kelvo\\Kelvo.lnk").c_str());
        ::DeleteFileW((programs + L"\\ZENDRIX\\Kelvo\\Uninstall.lnk").c_str());
        // Only empty folders go: another program of the maker may share them.
        ::RemoveDirectoryW((programs + L"\\ZENDRIX\\Kelvo").c_str());
        ::RemoveDirectoryW((programs + L"\\ZENDRIX").c_str());
    }
    if (!desktop.empty())
        ::DeleteFileW((desktop + L"\\Kelvo.lnk").c_str());
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

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    if (::MessageBoxW(nullptr, L"Do you want to remove Kelvo and all of its components?", L"Kelvo",
                      MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 1;

    const std::wstring self = ModulePath();
    const std::wstring folder = kelvo::uninstall::WithoutTrailingSlash(self.substr(0, self.rfind(L'\\')));

    StopProgram(folder + L"\\Dozaz.exe");
    RemoveRegistry();
    RemoveShortcuts();

    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    const DWORD program = ::GetFileAttributesW((folder + L"\\Kelvo.exe").c_str());
    const bool ours = kelvo::uninstall::IsInstallationFolderName(folder) && attributes != INVALID_FILE_ATTRIBUTES &&
                      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && program != INVALID_FILE_ATTRIBUTES &&
                      !(program & FILE_ATTRIBUTE_DIRECTORY);
    if (ours) {
        RemoveTree(folder, self);
        RemoveSelfAfterExit(self, folder);
    }
    return 0;
}
