#pragma once
// Finding the scan tool on Linux: its USB ids in sysfs, the ttyACM node of its
// CDC interface, and a UUCP lock on that node.
#include <string>
#include <vector>

namespace kelvo::cli {

constexpr char kToolVendor[] = "0483";
constexpr char kToolProduct[] = "5740";

// Names of the tty nodes ("ttyACM0") of every attached scan tool, in a stable
// order, read below `sysfsRoot` (normally "/sys").
std::vector<std::string> FindToolTtys(const std::string& sysfsRoot);

// A UUCP-style lock file (LCK..name with the owner's pid) in `lockDir`, the
// convention other serial programs honour. A lock of a process that no longer
// runs is taken over. Released when the object goes.
class PortLock {
public:
    PortLock() = default;
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    enum Result { kLocked, kHeld, kNoLockDir };
    // `heldBy` receives the owner's pid when kHeld.
    Result Acquire(const std::string& lockDir, const std::string& devicePath, long* heldBy);
    void Release();
    // The lock file held, empty when none.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The lock file's name for a device path: "LCK.." and the path below /dev
// with "/" as "_" ("/dev/ttyACM0" -> "LCK..ttyACM0", "/dev/pts/3" -> "LCK..pts_3").
std::string LockFileName(const std::string& devicePath);

// Why a device cannot be opened, for the user: empty when it can be opened
// for reading and writing; with a hint naming the group that owns the device
// when permission is the reason. `missing` tells whether there is no such device.
std::string PortAccessProblem(const std::string& devicePath, bool* missing = nullptr);

} // namespace kelvo::cli
