#include "platform/win/Processes.h"

#include <tlhelp32.h>

namespace kelvo {

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring ProcessImage(HANDLE process)
{
    wchar_t image[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    return ::QueryFullProcessImageNameW(process, 0, image, &size) ? std::wstring(image, size) : std::wstring();
}

void ForEachProcess(DWORD access, const std::function<bool(const wchar_t* fileName)>& named,
                    const std::function<void(DWORD pid, HANDLE process, const std::wstring& image)>& visit)
{
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snap, &entry); more; more = ::Process32NextW(snap, &entry)) {
        if (entry.th32ProcessID == self || (named && !named(entry.szExeFile)))
            continue;
        HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | access, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        visit(entry.th32ProcessID, process, ProcessImage(process));
        ::CloseHandle(process);
    }
    ::CloseHandle(snap);
}

namespace {
struct Asking {
    DWORD pid;
    AskWindows ask;
    int asked;
};

BOOL CALLBACK AskOne(HWND h, LPARAM param)
{
    auto* a = reinterpret_cast<Asking*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(h, &owner);
    if (owner != a->pid)
        return TRUE;
    if (a->ask == AskWindows::VisibleUnowned && (::GetWindow(h, GW_OWNER) || !::IsWindowVisible(h)))
        return TRUE;
    if (::PostMessageW(h, WM_CLOSE, 0, 0))
        ++a->asked;
    return TRUE;
}
} // namespace

int AskProcessToClose(DWORD pid, AskWindows ask)
{
    if (ask == AskWindows::None)
        return 0;
    Asking a{pid, ask, 0};
    ::EnumWindows(AskOne, reinterpret_cast<LPARAM>(&a));
    return a.asked;
}

Stopped StopProcess(HANDLE process, DWORD pid, const StopPolicy& policy)
{
    if (AskProcessToClose(pid, policy.ask) > 0 && ::WaitForSingleObject(process, policy.askWaitMs) == WAIT_OBJECT_0)
        return Stopped::OnRequest;
    if (!policy.terminate)
        return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0 ? Stopped::OnRequest : Stopped::StillRunning;
    if (!::TerminateProcess(process, 0) && ::WaitForSingleObject(process, 0) != WAIT_OBJECT_0)
        return Stopped::StillRunning;
    ::WaitForSingleObject(process, 5000);
    return Stopped::Terminated;
}

} // namespace kelvo
