// The portable part of the serial channel: open/close book-keeping, reads
// capped at 2048 bytes, and the command/reply transaction.
#include "device/core/IntPort.h"

#include "app/core/platform.h"
#include "device/core/DeviceState.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

std::atomic<int> g_nDevicePort{-1};

// Defined by the back end: hands a diagnostic text to the owner window.
void SendDiagnosticToOwner(void* owner, const wchar_t* text);

namespace kelvo {

namespace {
std::mutex& HeldMutex()
{
    static std::mutex m;
    return m;
}
std::set<int>& Held()
{
    static std::set<int> s;
    return s;
}
std::map<int, std::thread::id>& Reserved()
{
    static std::map<int, std::thread::id> m;
    return m;
}
std::atomic<unsigned> g_toolRemovals{0};
} // namespace

bool ClaimPort(int port)
{
    std::lock_guard<std::mutex> lock(HeldMutex());
    auto r = Reserved().find(port);
    if (r != Reserved().end() && r->second != std::this_thread::get_id())
        return false;
    return Held().insert(port).second;
}

void ReleasePort(int port)
{
    std::lock_guard<std::mutex> lock(HeldMutex());
    Held().erase(port);
}

bool ReservePort(int port)
{
    std::lock_guard<std::mutex> lock(HeldMutex());
    auto r = Reserved().find(port);
    if (r != Reserved().end())
        return r->second == std::this_thread::get_id();
    Reserved()[port] = std::this_thread::get_id();
    return true;
}

void UnreservePort(int port)
{
    std::lock_guard<std::mutex> lock(HeldMutex());
    auto r = Reserved().find(port);
    if (r != Reserved().end() && r->second == std::this_thread::get_id())
        Reserved().erase(r);
}

bool PortHeldHere(int port)
{
    std::lock_guard<std::mutex> lock(HeldMutex());
    return Held().count(port) != 0 || Reserved().count(port) != 0;
}

void NoteToolRemoved() { ++g_toolRemovals; }
unsigned ToolRemovals() { return g_toolRemovals.load(); }

} // namespace kelvo

CIntPort::~CIntPort()
{
    if (m_bOpen)
        Close();
}

int CIntPort::Open(int port)
{
    m_hOwner = nullptr;
    if (m_bOpen)
        return 1;
    // Exclusive within the process even where the driver would share the port.
    if (!kelvo::ClaimPort(port))
        return 0;
    if (!SysOpen(port)) {
        kelvo::ReleasePort(port);
        return 0;
    }
    m_nPort = port;
    m_bOpen = 1;
    m_bFailed = false;
    m_removalsAtOpen = kelvo::ToolRemovals();
    return 1;
}

bool CIntPort::Gone() const { return m_bFailed || (m_bOpen && kelvo::ToolRemovals() != m_removalsAtOpen); }

int CIntPort::Close()
{
    if (m_bOpen || m_hPort) {
        SysClose();
        m_hPort = 0;
        if (m_nPort >= 0 || m_bOpen)
            kelvo::ReleasePort(m_nPort);
    }
    m_bOpen = 0;
    m_nPort = -1;
    return 1;
}

int CIntPort::Write(const uint8_t* data, int count)
{
    if (!m_bOpen || !m_hPort)
        return -1;
    unsigned long error = 0;
    int n = SysWrite(data, count, &error);
    if (n < 0) {
        m_bFailed = true;
        Diagnostic("WriteFile failed, error = %d", error);
    } else if (n < count) {
        // A frame cut short is garbage to the tool: the write failed, and the
        // channel counts as gone like after any other failed write.
        m_bFailed = true;
        Diagnostic("WriteFile timed out after %d bytes", static_cast<unsigned long>(n));
        return -1;
    }
    return n;
}

int CIntPort::Read(uint8_t* buffer)
{
    if (!m_bOpen || !m_hPort)
        return -1;
    unsigned long error = 0;
    int queued = SysQueued(&error);
    if (queued < 0) {
        m_bFailed = true;
        Diagnostic("ClearCommError failed, error = %d", error);
        return -1;
    }
    if (queued == 0)
        return 0;
    int n = SysRead(buffer, queued < kMaxRead ? queued : kMaxRead, &error);
    if (n < 0) {
        m_bFailed = true;
        Diagnostic("ReadFile failed, error = %d", error);
    }
    return n;
}

int CIntPort::ReadWait(uint8_t* buffer, uint32_t waitMs)
{
    if (!m_bOpen || !m_hPort)
        return -1;
    unsigned long error = 0;
    int n = SysReadWait(buffer, kMaxRead, waitMs, &error);
    if (n < 0) {
        m_bFailed = true;
        Diagnostic("ReadFile failed, error = %d", error);
    }
    return n;
}

namespace {
// A wait for the reply is cut into slices of at most this long, so that a
// channel that gives up when its tool is gone notices a removal reported
// meanwhile; waking this seldom costs nothing worth measuring.
constexpr uint32_t kWaitSliceMs = 100;
// After a failed read a port is not waited on: it is tried again this often.
constexpr uint32_t kRetryPauseMs = 10;
} // namespace

int CIntPort::Transact(const uint8_t* command, int length, uint32_t timeoutMs, uint8_t* reply)
{
    int last = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::memset(reply, 0, kMaxRead);
        if (m_bOpen && m_hPort)
            SysPurgeInput();
        if (Write(command, length) <= 0) {
            if (m_bGiveUpWhenGone && Gone())
                return -1;
            kelvo::SleepMs(100);
            continue;
        }
        const uint32_t start = kelvo::TickCount();
        // Looks at least once, even with a time-out of 0; then sleeps in the
        // system until the first bytes arrive or the time is out, so waiting
        // (for an erase of many seconds, say) costs no processor time and a
        // reply is taken the moment it is there.
        last = Read(reply);
        for (;;) {
            if (m_bGiveUpWhenGone && Gone())
                return -1;
            if (last > 0) {
                if (last > 2 && (reply[2] & 0xF0) == 0xE0)
                    return -1;  // the tool refused the command
                kelvo::SleepMs(1);
                return last;
            }
            const uint32_t elapsed = static_cast<uint32_t>(kelvo::TickCount() - start);
            if (elapsed > timeoutMs)
                break;
            uint32_t wait = timeoutMs - elapsed + 1;  // up to just past the time-out
            if (wait > kWaitSliceMs)
                wait = kWaitSliceMs;
            if (last < 0) {
                kelvo::SleepMs(wait < kRetryPauseMs ? wait : kRetryPauseMs);
                last = Read(reply);
            } else {
                last = ReadWait(reply, wait);
            }
        }
    }
    return last;
}

void CIntPort::Diagnostic(const char* what, unsigned long error)
{
    if (!m_hOwner)
        return;
    char text[128];
    std::snprintf(text, sizeof text, what, static_cast<int>(error));
    wchar_t wide[128];
    size_t i = 0;
    for (; text[i] && i < 127; ++i)
        wide[i] = static_cast<unsigned char>(text[i]);
    wide[i] = 0;
    SendDiagnosticToOwner(m_hOwner, wide);
}
