// The portable rules of discovery: which device path is the scan tool, and
// which COM number a serial port map entry names.
#include "device/core/Discovery.h"

bool IsScanToolPath(const std::wstring& devicePath)
{
    std::wstring path = devicePath;
    for (auto& c : path)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return path.find(L"#vid_0483&pid_5740#") != std::wstring::npos;
}

int PortFromMapEntry(const wchar_t* data, size_t maxChars)
{
    size_t len = 0;
    while (len < maxChars && data[len])
        ++len;
    // "COM7": the name's first three characters are skipped, the digits after
    // them counted; none gives 0, which no port has.
    long long port = 0;
    for (size_t i = 3; i < len && data[i] >= L'0' && data[i] <= L'9'; ++i) {
        port = port * 10 + (data[i] - L'0');
        if (port > kMaxPortNumber)
            return 0;  // no such port: kept as 0 rather than overflowing
    }
    return static_cast<int>(port);
}
