// devcon install INF HWID: stages the driver package INF and updates the
// drivers of the devices present with that hardware id. The driver batch
// files run it; no device present is still success (the system picks the
// staged driver when the tool is plugged in). Exit codes: 0 done, 1 failed,
// 2 bad arguments, 3 the INF was refused (Windows would not stage it: an
// unsigned package on 64-bit Windows 8 and later), 4 done but Windows must
// restart to finish; each with one line of output. The driver batch tells
// its user by them.
#include "platform/win/SystemDll.h"
#include "installer/core/InfCheck.h"

#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Say(int code, const std::wstring& line)
{
    std::fwprintf(code == 0 ? stdout : stderr, L"%ls\n", line.c_str());
    return code;
}

bool ReadWhole(const std::wstring& path, std::string* bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = ::GetFileSizeEx(h, &size) && size.QuadPart < (16 << 20);
    if (ok) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes->empty() || (::ReadFile(h, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &got, nullptr) &&
                                got == bytes->size());
    }
    ::CloseHandle(h);
    return ok;
}

// Setup API errors that MinGW's headers lack.
constexpr DWORD kDriverStoreAddFailed = APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x247;
constexpr DWORD kDriverInstallBlocked = APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x248;

// Errors of a driver package that Windows will not accept as it is.
bool RefusedPackage(DWORD error)
{
    switch (error) {
    case ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED:
    case ERROR_AUTHENTICODE_PUBLISHER_NOT_TRUSTED:
    case ERROR_AUTHENTICODE_DISALLOWED:
    case static_cast<DWORD>(TRUST_E_NOSIGNATURE):
    case static_cast<DWORD>(TRUST_E_BAD_DIGEST):
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case ERROR_NO_CATALOG_FOR_OEM_INF:
    case kDriverStoreAddFailed:
    case kDriverInstallBlocked:
        return true;
    default:
        return false;
    }
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return path;
    std::vector<wchar_t> buf(n + 1);
    const DWORD got = ::GetFullPathNameW(path.c_str(), n + 1, buf.data(), nullptr);
    return got > 0 && got <= n ? std::wstring(buf.data(), got) : path;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    kelvo::RestrictDllSearch();
    if (argc != 4 || std::wstring(argv[1]) != L"install")
        return Say(2, L"usage: devcon install INF HWID");
    const std::wstring inf = FullPath(argv[2]);
    const std::wstring hwid = argv[3];

    std::string bytes;
    if (!ReadWhole(inf, &bytes))
        return Say(1, L"devcon: cannot read " + inf);
    if (!kelvo::install::InfNamesHardwareId(kelvo::install::InfText(bytes), hwid))
        return Say(1, L"devcon: " + inf + L" does not name " + hwid);

    if (!::SetupCopyOEMInfW(inf.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr))
        return Say(3, L"devcon: Windows refused the driver package (error " + std::to_wstring(::GetLastError()) + L")");

    // newdev.dll is no KnownDLL: from the system folder only.
    typedef BOOL(WINAPI * UpdateDriverFn)(HWND, LPCWSTR, LPCWSTR, DWORD, PBOOL);
    HMODULE newdev = kelvo::LoadSystemDll(L"newdev.dll");
    auto updateDriver = newdev ? reinterpret_cast<UpdateDriverFn>(reinterpret_cast<void (*)()>(
                                     ::GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesW")))
                               : nullptr;
    if (!updateDriver)
        return Say(1, L"devcon: newdev.dll of the system cannot be loaded");
    BOOL reboot = FALSE;
    if (!updateDriver(nullptr, hwid.c_str(), inf.c_str(), INSTALLFLAG_FORCE, &reboot)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_NO_SUCH_DEVINST)
            return Say(RefusedPackage(error) ? 3 : 1,
                       L"devcon: the devices could not be updated (error " + std::to_wstring(error) + L")");
        return Say(0, L"devcon: driver staged for " + hwid + L"; no such device present");
    }
    return reboot ? Say(4, L"devcon: driver installed for " + hwid + L"; restart Windows to finish")
                  : Say(0, L"devcon: driver installed for " + hwid);
}
