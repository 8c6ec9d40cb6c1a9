// AidletStart.exe: restarts Kelvo after a change of language. Given
// "zendrix reboot" it waits until the running Kelvo has ended (its mutex is
// gone), at most 30 seconds, then starts Kelvo.exe from its own folder.
#include "app/core/SingleCopy.h"
#include "platform/win/SystemDll.h"
#include "aidletstart/core/RebootRequest.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

const DWORD kWaitMs = 30000;
const DWORD kPollMs = 100;

std::wstring OwnFolder()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            std::wstring p(path.data(), n);
            const size_t slash = p.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : p.substr(0, slash + 1);
        }
        path.resize(path.size() * 2);
    }
}

bool KelvoRunning()
{
    HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, kKelvoMutex);
    if (!mutex)
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // it exists, but not for us
    ::CloseHandle(mutex);
    return true;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything can load a DLL (platform/win/SystemDll.h).
    kelvo::RestrictDllSearch();
    std::vector<std::wstring> arguments;
    int argc = 0;
    if (wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc)) {
        for (int i = 1; i < argc; ++i)
            arguments.emplace_back(argv[i]);
        ::LocalFree(argv);
    }
    if (!aidletstart::IsRebootRequest(arguments))
        return aidletstart::kExitBadRequest;

    const DWORD start = ::GetTickCount();
    while (KelvoRunning()) {
        if (::GetTickCount() - start >= kWaitMs)
            return aidletstart::kExitGaveUp;
        ::Sleep(kPollMs);
    }

    // Through the shell, so that Kelvo's request for administrator rights is honoured.
    const std::wstring folder = OwnFolder();
    const std::wstring exe = folder + L"Kelvo.exe";
    const INT_PTR r = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
    return r > 32 ? aidletstart::kExitStarted : aidletstart::kExitGaveUp;
}
