#include "cli/sysfs.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
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

void PortLock::Release()
{
    if (!m_path.empty())
        ::unlink(m_path.c_str());
    m_path.clear();
}

PortLock::Result PortLock::Acquire(const std::string& lockDir, const std::string& devicePath, long* heldBy)
{
    Release();
    struct stat st;
    if (::stat(lockDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(lockDir.c_str(), W_OK) != 0)
        return kNoLockDir;
    const std::string path = lockDir + "/" + LockFileName(devicePath);
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            // The format of the convention: the pid as ten characters and a line feed.
            char text[16];
            int n = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
            bool ok = ::write(fd, text, static_cast<size_t>(n)) == n;
            ::close(fd);
            if (!ok) {
                ::unlink(path.c_str());
                return kNoLockDir;
            }
            m_path = path;
            return kLocked;
        }
        if (errno != EEXIST)
            return kNoLockDir;
        long pid = 0;
        if (FILE* f = std::fopen(path.c_str(), "r")) {
            if (std::fscanf(f, "%ld", &pid) != 1)
                pid = 0;
            std::fclose(f);
        }
        // A lock whose owner is gone (or that names nobody) is stale.
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
            if (heldBy)
                *heldBy = pid;
            return kHeld;
        }
        ::unlink(path.c_str());
    }
    return kHeld;
}

std::string PortAccessProblem(const std::string& devicePath)
{
    struct stat st;
    if (::stat(devicePath.c_str(), &st) != 0)
        return devicePath + ": " + std::strerror(errno);
    if (::access(devicePath.c_str(), R_OK | W_OK) == 0)
        return std::string();
    std::string text = devicePath + ": permission denied";
    if (const group* g = ::getgrgid(st.st_gid))
        text += std::string("; add yourself to the group '") + g->gr_name + "' (sudo usermod -aG " + g->gr_name +
                " $USER, then log in again) or install tools/udev/60-kelvo-qb345.rules";
    return text;
}

} // namespace kelvo::cli
