// Stands in for a program that another one starts: writes its working
// directory and its command line to "<its own path>.ran" and ends, or, while
// "<its own path>.stay" exists (at most two minutes), keeps running.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t cwd[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    const std::wstring text = std::wstring(cwd) + L"\n" + ::GetCommandLineW();
    const std::wstring out = std::wstring(self) + L".ran";
    HANDLE f = ::CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    ::WriteFile(f, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(f);
    const std::wstring stay = std::wstring(self) + L".stay";
    for (int i = 0; i < 1200 && ::GetFileAttributesW(stay.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(100);
    return 0;
}
