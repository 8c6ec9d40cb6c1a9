#include "installer/win/InstallLog.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace kelvo::install {

namespace {

std::mutex g_lock;
HANDLE g_file = INVALID_HANDLE_VALUE;
ULONGLONG g_start = 0;

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

bool OpenInstallLog(const std::wstring& path)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_file != INVALID_HANDLE_VALUE)
        ::CloseHandle(g_file);
    // Never through a link someone left at that name.
    g_file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    g_start = ::GetTickCount64();
    if (g_file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ::WriteFile(g_file, "\xEF\xBB\xBF", 3, &written, nullptr);
    return true;
}

void CloseInstallLog()
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_file != INVALID_HANDLE_VALUE) {
        ::FlushFileBuffers(g_file);
        ::CloseHandle(g_file);
    }
    g_file = INVALID_HANDLE_VALUE;
}

void Log(const std::wstring& line)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_file == INVALID_HANDLE_VALUE)
        return;
    const ULONGLONG ms = ::GetTickCount64() - g_start;
    wchar_t stamp[32];
    ::wsprintfW(stamp, L"[%5lu.%03lu] ", static_cast<unsigned long>(ms / 1000), static_cast<unsigned long>(ms % 1000));
    const std::string bytes = Utf8(stamp + line + L"\r\n");
    DWORD written = 0;
    ::WriteFile(g_file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace kelvo::install
