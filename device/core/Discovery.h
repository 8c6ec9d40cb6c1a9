#pragma once
// Where the scan tool is: its USB presence and its serial ports, read from
// the system by the back end (device/win, device/posix); the parsing of what
// the system says is portable.
#include "device/core/DeviceState.h"

#include <cstddef>
#include <string>
#include <vector>

// kUnavailable: the system could not say (no device list, or an entry that
// could not be read and no tool among the others) -- never a removal.
enum class ToolPresence { kPresent, kAbsent, kUnavailable };

// USB presence of the scan tool (vendor 0483, product 5740); Windows only.
ToolPresence DetectScanTool();
// COM numbers of the USB serial ports, in the order of their USBSER index.
int ListToolPorts(std::vector<int>& ports);

// A device path of the scan tool: contains "#vid_0483&pid_5740#", in any case.
bool IsScanToolPath(const std::wstring& devicePath);
// The COM number a serial port map entry ("COM7") names, reading at most
// maxChars characters (the data need not end in a zero); 0 when it has no
// digits or names a number beyond any port.
enum { kMaxPortNumber = 99999 };
int PortFromMapEntry(const wchar_t* data, size_t maxChars);
