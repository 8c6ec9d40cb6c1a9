#include "e2e/support/companions.h"

#include <tlhelp32.h>

namespace kelvo::e2e {

namespace {
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"Kelvo Dozaz";
} // namespace

std::vector<DWORD> ProcessesOf(const std::wstring& name, const std::wstring& path)
{
    std::vector<DWORD> out;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    for (BOOL more = ::Process32FirstW(snap, &e); more; more = ::Process32NextW(snap, &e)) {
        if (::lstrcmpiW(e.szExeFile, name.c_str()) != 0)
            continue;
        if (!path.empty()) {
            HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.th32ProcessID);
            if (!p)
                continue;
            wchar_t image[MAX_PATH * 2] = {};
            DWORD size = MAX_PATH * 2;
            const bool same = ::QueryFullProcessImageNameW(p, 0, image, &size) && ::lstrcmpiW(image, path.c_str()) == 0;
            ::CloseHandle(p);
            if (!same)
                continue;
        }
        out.push_back(e.th32ProcessID);
    }
    ::CloseHandle(snap);
    return out;
}

void KillAll(const std::wstring& name)
{
    for (DWORD pid : ProcessesOf(name)) {
        HANDLE p = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!p)
            continue;
        ::TerminateProcess(p, 9);
        ::WaitForSingleObject(p, 5000);
        ::CloseHandle(p);
    }
}

bool RunValue(std::wstring* data, DWORD* type)
{
    wchar_t buf[2048] = {};
    DWORD bytes = sizeof buf - sizeof(wchar_t), t = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, RRF_RT_ANY | RRF_NOEXPAND, &t, buf, &bytes) !=
        ERROR_SUCCESS)
        return false;
    if (data)
        *data = buf;
    if (type)
        *type = t;
    return true;
}

void SetRunValue(DWORD type, const void* data, DWORD bytes)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key, kRunValue, 0, type, static_cast<const BYTE*>(data), bytes);
    ::RegCloseKey(key);
}

void DeleteRunValue()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueW(key, kRunValue);
    ::RegCloseKey(key);
}

bool PlaceProbe(const std::wstring& path)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring probe = self;
    probe = probe.substr(0, probe.find_last_of(L'\\') + 1) + L"kelvo_probe.exe";
    ::DeleteFileW((path + L".ran").c_str());
    return ::CopyFileW(probe.c_str(), path.c_str(), FALSE) != 0;
}

std::wstring ProbeRecord(const std::wstring& path)
{
    const std::string bytes = ReadWholeFile(path + L".ran");
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

StartedProgram::StartedProgram(const std::wstring& exe, const std::wstring& cwd, const std::wstring& arguments)
{
    std::wstring cmd = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW si = {sizeof si};
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &si, &m_pi))
        m_pi = {};
}

StartedProgram::~StartedProgram()
{
    if (!m_pi.hProcess)
        return;
    if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_pi.hProcess, 9);
        ::WaitForSingleObject(m_pi.hProcess, 5000);
    }
    ::CloseHandle(m_pi.hProcess);
    ::CloseHandle(m_pi.hThread);
}

DWORD StartedProgram::WaitExit(DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    if (m_pi.hProcess &&
        WaitFor([&] { return ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }, ms))
        ::GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

HWND FindTopWindow(const std::wstring& title, const wchar_t* className)
{
    struct Ctx {
        const std::wstring* title;
        const wchar_t* cls;
        HWND found;
    } ctx{&title, className, nullptr};
    struct Cb {
        static BOOL CALLBACK Each(HWND h, LPARAM lp)
        {
            auto* c = reinterpret_cast<Ctx*>(lp);
            if (::IsWindowVisible(h) && WindowText(h) == *c->title && (!c->cls || ClassOf(h) == c->cls)) {
                c->found = h;
                return FALSE;
            }
            return TRUE;
        }
    };
    ::EnumWindows(&Cb::Each, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

} // namespace kelvo::e2e
