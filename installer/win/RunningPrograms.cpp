#include "installer/win/RunningPrograms.h"

#include "platform/win/Processes.h"

namespace kelvo::install {

namespace {

// Waits for `done` up to `ms`, dispatching this thread's messages meanwhile.
template <typename Done>
bool WaitPumping(DWORD ms, Done done)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (::GetTickCount() - start >= ms)
            return done();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

bool IsKelvoImage(const std::wstring& image)
{
    const size_t slash = image.find_last_of(L"\\/");
    return SamePath(slash == std::wstring::npos ? image : image.substr(slash + 1), L"Kelvo.exe");
}

} // namespace

bool KelvoIsRunning()
{
    HANDLE m = ::OpenMutexW(SYNCHRONIZE, FALSE, kKelvoMutex);
    if (!m)
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to open
    ::CloseHandle(m);
    return true;
}

bool CloseKelvo(DWORD waitMs)
{
    // Its main window only, as its own close button: the hidden helper
    // windows of a dialog program are left alone.
    ForEachProcess(0, nullptr, [](DWORD pid, HANDLE, const std::wstring& image) {
        if (IsKelvoImage(image))
            AskProcessToClose(pid, AskWindows::VisibleUnowned);
    });
    return WaitPumping(waitMs, [] { return !KelvoIsRunning(); });
}

int StopProgramAt(const std::wstring& exe, DWORD graceMs)
{
    int found = 0;
    ForEachProcess(0, nullptr, [&](DWORD pid, HANDLE, const std::wstring& image) {
        if (!SamePath(image, exe))
            return;
        ++found;
        // Opened again with the rights to end it; a process that will not
        // let us is counted all the same.
        if (HANDLE p = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
            StopProcess(p, pid, StopPolicy{AskWindows::All, graceMs, true});
            ::CloseHandle(p);
        }
    });
    return found;
}

} // namespace kelvo::install
