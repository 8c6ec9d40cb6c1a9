// termios back end of the serial channel (native build and tests).
#include "device/core/IntPort.h"

#include "app/core/platform.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <mutex>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
std::mutex& MapMutex()
{
    static std::mutex m;
    return m;
}
std::map<int, std::string>& PortMap()
{
    static std::map<int, std::string> m;
    return m;
}
int Fd(intptr_t h) { return static_cast<int>(h) - 1; }
} // namespace

void SendDiagnosticToOwner(void*, const wchar_t*) {}

void CIntPort::MapPort(int port, const std::string& devicePath)
{
    std::lock_guard<std::mutex> lock(MapMutex());
    PortMap()[port] = devicePath;
}

void CIntPort::UnmapPort(int port)
{
    std::lock_guard<std::mutex> lock(MapMutex());
    PortMap().erase(port);
}

bool CIntPort::SysOpen(int port)
{
    std::string path;
    {
        std::lock_guard<std::mutex> lock(MapMutex());
        auto it = PortMap().find(port);
        if (it == PortMap().end())
            return false;
        path = it->second;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Other processes are kept out too.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~(PARENB | CSTOPB | CSIZE);
        tio.c_cflag |= CS8;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    m_hPort = fd + 1;
    return true;
}

void CIntPort::SysClose()
{
    if (m_hPort)
        ::close(Fd(m_hPort));
}

int CIntPort::SysWrite(const uint8_t* data, int count, unsigned long* error)
{
    // A tool that takes nothing must not hold the caller for ever: like the
    // Win32 write time-out (1 ms a byte), give up and report what went out.
    const uint32_t start = kelvo::TickCount();
    const uint32_t limit = static_cast<uint32_t>(count) + 20;
    int done = 0;
    while (done < count) {
        ssize_t n = ::write(Fd(m_hPort), data + done, static_cast<size_t>(count - done));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                if (kelvo::TickCount() - start > limit)
                    return done;
                usleep(200);
                continue;
            }
            *error = static_cast<unsigned long>(errno);
            return -1;
        }
        done += static_cast<int>(n);
    }
    return done;
}

int CIntPort::SysQueued(unsigned long* error)
{
    int n = 0;
    if (::ioctl(Fd(m_hPort), FIONREAD, &n) != 0) {
        *error = static_cast<unsigned long>(errno);
        return -1;
    }
    return n;
}

int CIntPort::SysRead(uint8_t* buffer, int count, unsigned long* error)
{
    ssize_t n = ::read(Fd(m_hPort), buffer, static_cast<size_t>(count));
    if (n < 0) {
        if (errno == EAGAIN)
            return 0;
        *error = static_cast<unsigned long>(errno);
        return -1;
    }
    return static_cast<int>(n);
}

int CIntPort::SysReadWait(uint8_t* buffer, int count, uint32_t waitMs, unsigned long* error)
{
    pollfd p{};
    p.fd = Fd(m_hPort);
    p.events = POLLIN;
    const int ready = ::poll(&p, 1, waitMs > 0x7FFFFFFFu ? 0x7FFFFFFF : int(waitMs));
    if (ready < 0) {
        if (errno == EINTR)
            return 0;  // a signal: the caller looks at the clock and waits again
        *error = static_cast<unsigned long>(errno);
        return -1;
    }
    if (ready == 0)
        return 0;
    int queued = SysQueued(error);
    if (queued < 0)
        return -1;
    if (queued == 0) {
        // Woken with nothing to read: the other side is gone (a pty whose
        // tool end closed reports a hang-up for ever; waiting again would spin).
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            *error = EIO;
            return -1;
        }
        return 0;
    }
    return SysRead(buffer, queued < count ? queued : count, error);
}

void CIntPort::SysPurgeInput() { ::tcflush(Fd(m_hPort), TCIFLUSH); }
