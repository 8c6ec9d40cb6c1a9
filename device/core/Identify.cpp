// Identification of the scan tool over the USB serial ports.
#include "app/core/codepage.h"
#include "device/core/Frames.h"
#include "app/core/textutil.h"
#include "device/core/Discovery.h"
#include "device/core/Identify.h"
#include "device/core/IntPort.h"
#include "app/core/platform.h"

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

IdentityScan FindIdentityReply(const uint8_t* data, size_t n, size_t* begin, size_t* end, std::wstring* model)
{
    const size_t prefix = size_t(kelvo::frames::kIdentityPrefixLength);
    const size_t maxName = 260;
    IdentityScan result = IdentityScan::kNone;
    for (size_t at = 0; at < n; ++at) {
        const size_t have = n - at;
        const size_t compare = have < prefix ? have : prefix;
        if (std::memcmp(data + at, kelvo::frames::kIdentityPrefix, compare) != 0)
            continue;
        if (have < prefix) {
            result = IdentityScan::kPartial;  // the bytes end in the middle of the prefix
            break;
        }
        size_t zero = at + prefix;
        while (zero < n && data[zero] && zero - at - prefix <= maxName)
            ++zero;
        if (zero - at - prefix > maxName)
            continue;  // report text that happens to hold the prefix
        if (zero == n) {
            result = IdentityScan::kPartial;  // the name goes on beyond what arrived
            break;
        }
        std::wstring name;
        ParseIdentification(data + at, int(zero - at + 1), &name);
        *begin = at;
        *end = zero + 1;
        if (model)
            *model = name;
        return IdentityScan::kFound;
    }
    return result;
}

std::wstring IdentifySendingTool(CIntPort& channel, std::vector<uint8_t>* report, uint32_t timeoutMs)
{
    std::vector<uint8_t> bytes;
    uint8_t buf[CIntPort::kMaxRead];
    for (int n; (n = channel.Read(buf)) > 0;)
        bytes.insert(bytes.end(), buf, buf + n);
    const size_t before = bytes.size();  // the reply cannot lie in what came before the request
    const uint8_t identify[3] = {kelvo::frames::kMark0, kelvo::frames::kMark1, kelvo::frames::kIdentify};
    std::wstring model;
    bool found = false;
    size_t searchFrom = before;
    for (int attempt = 0; attempt < 3 && !found; ++attempt) {
        if (channel.Write(identify, 3) <= 0) {
            kelvo::SleepMs(100);
            continue;
        }
        uint32_t start = kelvo::TickCount();
        bool extended = false;
        for (;;) {
            size_t b = 0, e = 0;
            const IdentityScan scan =
                FindIdentityReply(bytes.data() + searchFrom, bytes.size() - searchFrom, &b, &e, &model);
            if (scan == IdentityScan::kFound) {
                bytes.erase(bytes.begin() + long(searchFrom + b), bytes.begin() + long(searchFrom + e));
                found = true;
                break;
            }
            uint32_t elapsed = kelvo::TickCount() - start;
            if (elapsed > timeoutMs) {
                // A reply cut by the time-out gets one more time-out to end.
                if (scan != IdentityScan::kPartial || extended)
                    break;
                extended = true;
                start = kelvo::TickCount();
                elapsed = 0;
            }
            const int n = channel.ReadWait(buf, timeoutMs - elapsed + 1);
            if (n < 0)
                break;
            bytes.insert(bytes.end(), buf, buf + n);
        }
    }
    if (report)
        report->insert(report->end(), bytes.begin(), bytes.end());
    return found ? model : std::wstring();
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
