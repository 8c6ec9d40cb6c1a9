// USB presence of the scan tool and the USB serial port map, from the system.
#include "device/core/Discovery.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
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
    // Another device whose entry cannot be read says nothing about the tool:
    // it is skipped, and when the tool is not found among the rest the answer
    // is "cannot tell", never "absent" (which would cut a running write).
    bool unreadable = detail == nullptr;
    bool found = false;
    if (detail) {
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbDeviceInterface, index, &data)) {
                if (::GetLastError() != ERROR_NO_MORE_ITEMS)
                    unreadable = true;
                break;
            }
            ::ZeroMemory(detail, kDetailBytes);
            // The fixed part only: 6 in a 32-bit program, 8 in a 64-bit one.
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            static_assert(sizeof(void*) != 4 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 6,
                          "the fixed part of the detail structure is 6 bytes in a 32-bit program");
            if (!::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, kDetailBytes, nullptr, nullptr)) {
                unreadable = true;
                continue;
            }
            const size_t maxChars = (kDetailBytes - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
            const std::wstring path(detail->DevicePath, wcsnlen(detail->DevicePath, maxChars));
            if (IsScanToolPath(path)) {
                found = true;
                break;
            }
        }
        ::GlobalFree(detail);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return found ? ToolPresence::kPresent : unreadable ? ToolPresence::kUnavailable : ToolPresence::kAbsent;
}

namespace {

// A REG_SZ value read into the 80-byte buffer; chars is how many of its
// characters came (the data need not end in a zero). False when unreadable.
bool ReadPortValue(HKEY key, const wchar_t* name, wchar_t (&data)[kRegDataBytes / sizeof(wchar_t)], DWORD* chars)
{
    ::ZeroMemory(data, sizeof data);
    DWORD size = kRegDataBytes;
    DWORD type = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return false;
    *chars = (size < kRegDataBytes ? size : kRegDataBytes) / sizeof(wchar_t);
    return true;
}

// The COM ports Windows gave the scan tool's own USB device: PortName of
// every instance of 0483:5740. False when no such value can be read.
bool ReadToolPortNames(std::vector<int>& ports)
{
    HKEY usb = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0483&PID_5740", 0, KEY_READ,
                        &usb) != ERROR_SUCCESS)
        return false;
    bool read = false;
    for (DWORD i = 0;; ++i) {
        wchar_t instance[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(usb, i, instance, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::wstring sub = std::wstring(instance, length) + L"\\Device Parameters";
        HKEY params = nullptr;
        if (::RegOpenKeyExW(usb, sub.c_str(), 0, KEY_READ, &params) != ERROR_SUCCESS)
            continue;
        wchar_t data[kRegDataBytes / sizeof(wchar_t)];
        DWORD chars = 0;
        if (ReadPortValue(params, L"PortName", data, &chars)) {
            read = true;
            const int port = PortFromMapEntry(data, chars);
            if (port > 0 && std::find(ports.begin(), ports.end(), port) == ports.end())
                ports.push_back(port);
        }
        ::RegCloseKey(params);
    }
    ::RegCloseKey(usb);
    return read;
}

// Every port the serial port map publishes now, whatever its driver.
std::vector<int> PublishedPorts(HKEY map)
{
    std::vector<int> ports;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[kRegDataBytes / sizeof(wchar_t)];
        ::ZeroMemory(data, sizeof data);
        DWORD size = kRegDataBytes;
        DWORD type = 0;
        const LONG r = ::RegEnumValueW(map, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS)
            continue;  // too long a name or data: not a port name
        ports.push_back(PortFromMapEntry(data, (size < kRegDataBytes ? size : kRegDataBytes) / sizeof(wchar_t)));
    }
    return ports;
}

} // namespace

int ListToolPorts(std::vector<int>& ports)
{
    ports.clear();
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM\\", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    // Opening a port raises DTR, which resets many boards, printers and
    // modems: where Windows says which ports are the scan tool's own, only
    // those that are present now are listed.
    std::vector<int> own;
    if (ReadToolPortNames(own)) {
        const std::vector<int> present = PublishedPorts(key);
        for (int port : own)
            if (std::find(present.begin(), present.end(), port) != present.end())
                ports.push_back(port);
        ::RegCloseKey(key);
        return static_cast<int>(ports.size());
    }
    // No such word from Windows: every USB serial port is a candidate.
    wchar_t data[kRegDataBytes / sizeof(wchar_t)];
    for (int n = 0; n < 200; ++n) {
        wchar_t name[32];
        _snwprintf(name, 32, L"\\Device\\USBSER%03d", n);
        name[31] = 0;
        DWORD chars = 0;
        if (ReadPortValue(key, name, data, &chars))
            ports.push_back(PortFromMapEntry(data, chars));
    }
    ::RegCloseKey(key);
    return static_cast<int>(ports.size());
}
