// A stand-in for devcon in the driver batch tests: it records its arguments
// and ends with the exit code in KELVO_FAKE_DEVCON_EXIT.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    wchar_t code[16] = {};
    ::GetEnvironmentVariableW(L"KELVO_FAKE_DEVCON_EXIT", code, 16);
    std::wprintf(L"fake devcon:");
    for (int i = 1; i < argc; ++i)
        std::wprintf(L" [%ls]", argv[i]);
    std::wprintf(L"\n");
    return static_cast<int>(std::wcstol(code, nullptr, 10));
}
