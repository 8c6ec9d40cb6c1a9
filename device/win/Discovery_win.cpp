// USB presence of the scan tool and the USB serial port map, from the system.
#include "device/core/DeviceHost.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cwchar>

namespace {
const GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
const DWORD kDetailBytes = 1024;
const DWORD kRegDataBytes = 80;
} // namespace

ToolPresence DetectScanTool()
{
    HDEVINFO set = ::SetupDiGetClassDevsW(&kUsbDeviceInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return ToolPresence::kUnavailable;
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(::GlobalAlloc(GPTR, kDetailBytes));
    ToolPresence result = ToolPresence::kAbsent;
    if (detail) {
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbDeviceInterface, index, &data))
                break;
            ::ZeroMemory(detail, kDetailBytes);
            // The fixed part only: 6 in a 32-bit program, 8 in a 64-bit one.
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            static_assert(sizeof(void*) != 4 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 6,
                          "the fixed part of the detail structure is 6 bytes in a 32-bit program");
            if (!::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, kDetailBytes, nullptr, nullptr))
                break;
            const size_t maxChars = (kDetailBytes - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
            const std::wstring path(detail->DevicePath, wcsnlen(detail->DevicePath, maxChars));
            if (IsScanToolPath(path)) {
                result = ToolPresence::kPresent;
                break;
            }
        }
        ::GlobalFree(detail);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return result;
}

int ListToolPorts(std::vector<int>& ports)
{
    ports.clear();
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM\\", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    // Data that fills the 80 bytes need not end in a zero: it is read by length.
    wchar_t data[kRegDataBytes / sizeof(wchar_t)];
    for (int n = 0; n < 200; ++n) {
        wchar_t name[32];
        _snwprintf(name, 32, L"\\Device\\USBSER%03d", n);
        name[31] = 0;
        ::ZeroMemory(data, sizeof data);
        DWORD size = kRegDataBytes;
        DWORD type = 0;
        if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
            continue;
        const DWORD chars = (size < kRegDataBytes ? size : kRegDataBytes) / sizeof(wchar_t);
        ports.push_back(PortFromMapEntry(data, chars));
    }
    ::RegCloseKey(key);
    return static_cast<int>(ports.size());
}
