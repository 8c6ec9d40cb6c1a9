// Identification of the scan tool over the USB serial ports.
#include "app/core/codepage.h"
#include "device/core/Frames.h"
#include "app/core/textutil.h"
#include "device/core/DeviceHost.h"
#include "device/core/IntPort.h"

#include <cstdint>
#include <cstring>

bool ParseIdentification(const uint8_t* reply, int n, std::wstring* name)
{
    if (n <= kelvo::frames::kIdentityPrefixLength)
        return false;
    // A zero-terminated string within the reply; the buffer holds 2048 bytes.
    int len = 0;
    while (len < n && len < CIntPort::kMaxRead && reply[len])
        ++len;
    std::string text(reinterpret_cast<const char*>(reply), static_cast<size_t>(len));
    std::wstring wide = kelvo::ToWide(0, text);
    const size_t from = kelvo::frames::kIdentityPrefixLength;
    *name = kelvo::AsciiUpper(wide.size() > from ? wide.substr(from, 260) : std::wstring());
    return true;
}

bool ParseToolReply(const uint8_t* reply, int n, std::wstring* name, int* used)
{
    if (used)
        *used = 0;
    const int prefix = kelvo::frames::kIdentityPrefixLength;
    if (n <= prefix || std::memcmp(reply, kelvo::frames::kIdentityPrefix, size_t(prefix)) != 0 ||
        !ParseIdentification(reply, n, name))
        return false;
    int len = 0;
    while (len < n && reply[len])
        ++len;
    if (used)
        *used = len < n ? len + 1 : len;
    return true;
}

void IdentifyDevice(IDeviceHost& host, int keep, int variant)
{
    std::vector<int> ports;
    ListToolPorts(ports);
    IdentifyDevice(host, keep, variant, ports);
}

void IdentifyDevice(IDeviceHost& host, int keep, int variant, const std::vector<int>& ports)
{
    const uint8_t identify[3] = {kelvo::frames::kMark0, kelvo::frames::kMark1,
                                 variant ? kelvo::frames::kIdentifyVariant : kelvo::frames::kIdentify};
    uint8_t reply[CIntPort::kMaxRead];
    for (int port : ports) {
        // Our own transfer or report reader has the tool's port: the tool we
        // hold is still the tool, whatever else was plugged in meanwhile.
        if (port == g_nDevicePort && !host.GetDeviceName().empty() && kelvo::PortHeldHere(port)) {
            host.OnIdentificationEnded();
            return;
        }
        CIntPort channel;
        if (!channel.Open(port))
            continue;
        int n = channel.Transact(identify, 3, 100, reply);
        std::wstring name;
        if (n > kelvo::frames::kIdentityPrefixLength && ParseIdentification(reply, n, &name)) {
            host.SetDeviceName(name);
            g_nDevicePort = port;
            host.OnIdentificationEnded();
            channel.Close();
            return;
        }
        channel.Close();
    }
    if (keep && !host.GetDeviceName().empty())
        return;
    host.SetDeviceName(L"");
    g_nDevicePort = -1;
    host.OnIdentificationEnded();
}
