#pragma once
// AidletStart's command line: the one request it answers.
#include <string>
#include <vector>

namespace aidletstart {

// Exit codes of AidletStart.exe.
enum : int {
    kExitStarted = 0,    // Kelvo ended and was started again
    kExitGaveUp = 1,     // Kelvo still ran after the wait, or would not start
    kExitBadRequest = 2, // anything but "zendrix reboot": nothing started
};

// The arguments after the program's own name are exactly "zendrix" and
// "reboot", case included.
bool IsRebootRequest(const std::vector<std::wstring>& arguments);

} // namespace aidletstart
