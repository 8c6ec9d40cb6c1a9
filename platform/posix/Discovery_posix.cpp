// The native build has no USB device list or serial port map: tests give the
// port list to IdentifyDevice themselves.
#include "device/core/Discovery.h"
#include "device/core/Identify.h"

ToolPresence DetectScanTool() { return ToolPresence::kUnavailable; }

int ListToolPorts(std::vector<int>& ports)
{
    ports.clear();
    return 0;
}
