#pragma once
// Who the scan tool is: the identification on its ports, as the main window
// and the update page use it, and the reading of its replies.
#include "device/core/DeviceState.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the identification reports to: the main window implements it.
class IDeviceHost {
public:
    virtual std::wstring GetDeviceName() const = 0;
    virtual void SetDeviceName(const std::wstring& name) = 0;
    // An identification has ended: the tool answered on g_nDevicePort, or
    // (g_nDevicePort -1) no port answered and the name is cleared.
    virtual void OnIdentificationEnded() = 0;

protected:
    ~IDeviceHost() = default;
};

// Finds the port on which the tool answers and learns its model name; the port
// list comes from ListToolPorts unless one is given.
void IdentifyDevice(IDeviceHost& host, int keep, int variant);
void IdentifyDevice(IDeviceHost& host, int keep, int variant, const std::vector<int>& ports);

// The model name in an identification reply of n bytes (text from index 8,
// upper case, up to the first zero byte); false when the reply is no identification.
bool ParseIdentification(const uint8_t* reply, int n, std::wstring* name);
// The same for a reply that must come from the tool itself: it starts with
// "zendrix-". *used (when given) is how many bytes of the reply the
// identification took, its zero byte included; what follows is not part of it.
bool ParseToolReply(const uint8_t* reply, int n, std::wstring* name, int* used = nullptr);

class CIntPort;

// Where an identification reply ("zendrix-", the model, a zero byte) lies in
// bytes that may hold report text around it: kFound with [*begin, *end) and
// the model; kPartial when the bytes end inside what may still become one.
enum class IdentityScan { kNone, kPartial, kFound };
IdentityScan FindIdentityReply(const uint8_t* data, size_t n, size_t* begin, size_t* end, std::wstring* model);

// Identification on an open channel to a tool that may already be sending
// its report: nothing is purged, and the reply is taken out of the bytes
// wherever it lands among them. Every other byte that arrived goes to
// *report, in order (report bytes with 0xE0..0xEF at any place included).
// The model, or empty when the tool did not identify itself.
std::wstring IdentifySendingTool(CIntPort& channel, std::vector<uint8_t>* report, uint32_t timeoutMs = 100);
