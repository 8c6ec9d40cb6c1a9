#pragma once
// Dispatches this thread's messages for `ms` milliseconds (window tests).
#include <windows.h>

namespace kelvo::test {

inline void Pump(DWORD ms)
{
    const DWORD start = ::GetTickCount();
    do {
        MSG m;
        while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
        ::Sleep(10);
    } while (::GetTickCount() - start < ms);
}

} // namespace kelvo::test
