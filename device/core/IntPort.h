#pragma once
// CIntPort: the serial channel to the scan tool. One short-lived object per
// exchange, opened exclusively. The transaction logic is portable; the port
// itself is Win32 (IntPort_win.cpp) or termios (IntPort_posix.cpp).
#include <cstdint>
#include <string>

class CIntPort {
public:
    CIntPort() = default;
    ~CIntPort();
    CIntPort(const CIntPort&) = delete;
    CIntPort& operator=(const CIntPort&) = delete;

    int Open(int port);      // 1 on success, 0 on failure
    int Close();             // always 1
    int Write(const uint8_t* data, int count);  // count, or -1 (a short write fails)
    int Read(uint8_t* buffer);                  // buffer of 2048; bytes read, 0, or -1; never waits
    // Read, but sleeping up to waitMs until the first byte is there.
    int ReadWait(uint8_t* buffer, uint32_t waitMs);
    // Command and reply with purge, time-out and three attempts; the reply
    // buffer holds 2048 bytes. Length of the reply, 0 for none, -1 refused.
    int Transact(const uint8_t* command, int length, uint32_t timeoutMs, uint8_t* reply);

    bool IsOpen() const { return m_bOpen != 0; }

    // For a channel that writes firmware: once the port is gone (a read or a
    // write of it fails, or the tool has been reported absent since Open),
    // Transact gives up at once with -1 instead of polling out its time-out,
    // so that the port is freed while the tool is still being plugged back in.
    void SetGiveUpWhenGone(bool giveUp) { m_bGiveUpWhenGone = giveUp; }
    bool Gone() const;

    // Diagnostics go to this window (WM_USER + 123) when one is set; Open clears it.
    void SetOwner(void* ownerWindow) { m_hOwner = ownerWindow; }

    enum { kMaxRead = 2048, kQueueSize = 3072 };

#ifndef _WIN32
    // The native build has no COM numbers: tests say which device path port n is.
    static void MapPort(int port, const std::string& devicePath);
    static void UnmapPort(int port);
#endif

private:
    void Diagnostic(const char* what, unsigned long error);
    // Back-end primitives (one file per system).
    bool SysOpen(int port);
    void SysClose();
    int SysWrite(const uint8_t* data, int count, unsigned long* error);
    int SysQueued(unsigned long* error);  // bytes waiting, -1 on failure
    int SysRead(uint8_t* buffer, int count, unsigned long* error);
    // Waits up to waitMs (at least 1) for input without using the processor
    // and reads what has arrived, at most count bytes, as soon as the first
    // byte is there: the count read, 0 when nothing came, -1 on failure.
    int SysReadWait(uint8_t* buffer, int count, uint32_t waitMs, unsigned long* error);
    void SysPurgeInput();

    void* m_hOwner = nullptr;
    intptr_t m_hPort = 0;  // HANDLE on Windows, fd + 1 on POSIX; 0 none
    int m_bOpen = 0;
    int m_nPort = -1;      // the port this object holds in the process-wide set
    bool m_bGiveUpWhenGone = false;
    bool m_bFailed = false;        // a read or write of the port failed
    unsigned m_removalsAtOpen = 0; // ToolRemovals() when opened
};

namespace kelvo {
// Process-wide register of held ports: a port held by one channel cannot be
// opened by another, whatever the driver allows.
bool ClaimPort(int port);
void ReleasePort(int port);

// A thread that writes a package keeps its port from every other thread for
// the whole package, the pause between two images included: while reserved,
// only channels of the reserving thread can claim the port. False when
// another thread holds the reservation. Unreserving a port this thread does
// not hold does nothing.
bool ReservePort(int port);
void UnreservePort(int port);

// A channel of this process holds the port, or a thread has reserved it.
bool PortHeldHere(int port);

// The main window counts every scan that finds the tool absent; a channel
// opened before such a scan knows its tool has been pulled out.
void NoteToolRemoved();
unsigned ToolRemovals();
} // namespace kelvo
