#include "cli/sysfs.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

namespace kelvo::cli {
namespace {

std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> out;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                out.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The first line of a small attribute file, without its line end.
std::string Attribute(const std::string& path)
{
    std::string value;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        char buf[64] = {};
        if (std::fgets(buf, sizeof buf, f))
            value = buf;
        std::fclose(f);
    }
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r' || value.back() == ' '))
        value.pop_back();
    return value;
}

bool EqualsNoCase(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::vector<std::string> FindToolTtys(const std::string& sysfsRoot)
{
    std::vector<std::string> ttys;
    const std::string devices = sysfsRoot + "/bus/usb/devices";
    for (const std::string& dev : Entries(devices)) {
        // Interfaces ("1-2:1.0") carry no ids of their own; devices do.
        if (dev.find(':') != std::string::npos)
            continue;
        const std::string base = devices + "/" + dev;
        if (!EqualsNoCase(Attribute(base + "/idVendor"), kToolVendor) ||
            !EqualsNoCase(Attribute(base + "/idProduct"), kToolProduct))
            continue;
        // The CDC data interface holds the tty: <dev>:<config>.<if>/tty/ttyACMn.
        for (const std::string& iface : Entries(devices)) {
            if (iface.compare(0, dev.size() + 1, dev + ":") != 0)
                continue;
            for (const std::string& tty : Entries(devices + "/" + iface + "/tty"))
                ttys.push_back(tty);
        }
    }
    return ttys;
}

std::string LockFileName(const std::string& devicePath)
{
    std::string rest = devicePath;
    if (rest.compare(0, 5, "/dev/") == 0)
        rest = rest.substr(5);
    else if (auto slash = rest.rfind('/'); slash != std::string::npos)
        rest = rest.substr(slash + 1);
    std::replace(rest.begin(), rest.end(), '/', '_');
    return "LCK.." + rest;
}

PortLock::~PortLock() { Release(); }

namespace {

// The pid a lock file names, as text or, from older programs, as the four
// bytes of a binary int; 0 when it names none (yet).
long LockOwner(const std::string& path)
{
    char bytes[32] = {};
    size_t n = 0;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        n = std::fread(bytes, 1, sizeof bytes - 1, f);
        std::fclose(f);
    }
    long pid = 0;
    if (std::sscanf(bytes, "%ld", &pid) == 1)
        return pid;
    if (n == sizeof(int)) {
        int binary = 0;
        std::memcpy(&binary, bytes, sizeof binary);
        return binary;
    }
    return 0;
}

// A pid that does not fit a pid_t names no process (and must not become -1,
// which kill() takes for every process).
bool Alive(long pid)
{
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() &&
           (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

} // namespace

void PortLock::Release()
{
    // Only a lock that still names this process is ours to remove.
    if (!m_path.empty() && LockOwner(m_path) == static_cast<long>(::getpid()))
        ::unlink(m_path.c_str());
    m_path.clear();
}

PortLock::Result PortLock::Acquire(const std::string& lockDir, const std::string& devicePath, long* heldBy)
{
    Release();
    struct stat st;
    if (::stat(lockDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(lockDir.c_str(), W_OK) != 0)
        return kNoLockDir;
    // Named after the device itself, so that a link to it (/dev/serial/by-id/...)
    // and its own name take the same lock.
    std::string device = devicePath;
    if (char* real = ::realpath(devicePath.c_str(), nullptr)) {
        device = real;
        std::free(real);
    }
    const std::string path = lockDir + "/" + LockFileName(device);
    // The lock is written whole under a name of our own, then linked into
    // place, so another program never sees it half-written. (Two programs
    // taking over the same stale lock at the same moment can still both
    // succeed, as with every lock of this convention.)
    const std::string mine = path + "." + std::to_string(static_cast<long>(::getpid()));
    // Made afresh: the lock folder is shared, and a name planted there
    // (a link, say) is never followed.
    ::unlink(mine.c_str());
    int fd = ::open(mine.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return kNoLockDir;
    // The format of the convention: the pid as ten characters and a line feed.
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
    const bool written = ::write(fd, text, static_cast<size_t>(n)) == n;
    ::close(fd);
    if (!written) {
        ::unlink(mine.c_str());
        return kNoLockDir;
    }
    Result result = kHeld;
    long owner = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::link(mine.c_str(), path.c_str()) == 0) {
            m_path = path;
            result = kLocked;
            break;
        }
        if (errno != EEXIST) {
            result = kNoLockDir;
            break;
        }
        owner = LockOwner(path);
        if (Alive(owner))
            break;
        if (owner == 0) {
            // A lock another program has just made may not hold its pid yet:
            // only an old one naming nobody is stale.
            struct stat ls;
            if (::stat(path.c_str(), &ls) == 0 && ::time(nullptr) - ls.st_mtime < 10)
                break;
        }
        ::unlink(path.c_str());
    }
    ::unlink(mine.c_str());
    if (result == kHeld && heldBy)
        *heldBy = owner;
    return result;
}

std::string PortAccessProblem(const std::string& devicePath, bool* missing)
{
    if (missing)
        *missing = false;
    struct stat st;
    if (::stat(devicePath.c_str(), &st) != 0) {
        if (missing)
            *missing = errno == ENOENT;
        return devicePath + ": " + std::strerror(errno);
    }
    if (::access(devicePath.c_str(), R_OK | W_OK) == 0)
        return std::string();
    std::string text = devicePath + ": permission denied";
    if (const group* g = ::getgrgid(st.st_gid))
        text += std::string("; add yourself to the group '") + g->gr_name + "' (sudo usermod -aG " + g->gr_name +
                " $USER, then log in again) or install tools/udev/60-kelvo-qb345.rules";
    return text;
}

} // namespace kelvo::cli
