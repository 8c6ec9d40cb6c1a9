// Win32 back end of the serial channel.
#include "device/core/IntPort.h"

#include <windows.h>

// The channel's port settings (exposed for the Windows-side tests).
void ConfigureChannelDcb(DCB& dcb);

void SendDiagnosticToOwner(void* owner, const wchar_t* text)
{
    ::SendMessageW(static_cast<HWND>(owner), WM_USER + 123, reinterpret_cast<WPARAM>(text), 0);
}

namespace {
HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The channel's own time-outs: a read takes what is queued and returns.
COMMTIMEOUTS ChannelTimeouts()
{
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 11000 / 115200 + 1;
    t.ReadTotalTimeoutConstant = 40;
    t.WriteTotalTimeoutMultiplier = 11000 / 115200 + 1;
    // A tool that takes nothing (a stalled driver, a full queue) must not hold
    // the writer for ever: the write ends short, which the channel counts as failed.
    t.WriteTotalTimeoutConstant = 500;
    return t;
}
} // namespace

void ConfigureChannelDcb(DCB& dcb)
{
    // Every field the link depends on, whatever the driver or a previous
    // program left: 115200 8N1, binary, no flow control of any kind (the tool
    // sends without handshake), DTR and RTS raised as the tool's USB serial
    // function expects, and no byte ever replaced, dropped or turned into an
    // error that stops the port.
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
}

bool CIntPort::SysOpen(int port)
{
    wchar_t name[32];
    _snwprintf(name, 32, L"\\\\.\\COM%d", port);
    name[31] = 0;
    HANDLE h = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;

    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    ::GetCommState(h, &dcb);
    ConfigureChannelDcb(dcb);
    if (!::SetCommState(h, &dcb) || !::SetupComm(h, kQueueSize, kQueueSize)) {
        m_hPort = reinterpret_cast<intptr_t>(h);
        Diagnostic("SetCommState failed, error = %d", ::GetLastError());
        ::CloseHandle(h);
        m_hPort = 0;
        return false;
    }
    COMMTIMEOUTS t = ChannelTimeouts();
    if (!::SetCommTimeouts(h, &t)) {
        Diagnostic("SetCommTimeouts failed, error = %d", ::GetLastError());
        ::CloseHandle(h);
        return false;
    }
    m_hPort = reinterpret_cast<intptr_t>(h);
    return true;
}

void CIntPort::SysClose()
{
    if (m_hPort)
        ::CloseHandle(H(m_hPort));
}

int CIntPort::SysWrite(const uint8_t* data, int count, unsigned long* error)
{
    DWORD written = 0;
    if (!::WriteFile(H(m_hPort), data, static_cast<DWORD>(count), &written, nullptr)) {
        *error = ::GetLastError();
        return -1;
    }
    return static_cast<int>(written);
}

int CIntPort::SysQueued(unsigned long* error)
{
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(H(m_hPort), &errors, &stat)) {
        *error = ::GetLastError();
        return -1;
    }
    return static_cast<int>(stat.cbInQue);
}

int CIntPort::SysRead(uint8_t* buffer, int count, unsigned long* error)
{
    DWORD got = 0;
    if (!::ReadFile(H(m_hPort), buffer, static_cast<DWORD>(count), &got, nullptr)) {
        *error = ::GetLastError();
        return -1;
    }
    return static_cast<int>(got);
}

int CIntPort::SysReadWait(uint8_t* buffer, int count, uint32_t waitMs, unsigned long* error)
{
    // A read of one byte with only ReadTotalTimeoutConstant set sleeps until
    // that byte arrives or the time is out; what came with it is queued by
    // then and read at once. (Asking for more than one byte would wait for
    // all of them, and MAXDWORD in the other two fields is not honoured
    // alike by every driver.) The channel's own time-outs are put back.
    COMMTIMEOUTS wait = ChannelTimeouts();
    wait.ReadIntervalTimeout = 0;
    wait.ReadTotalTimeoutMultiplier = 0;
    wait.ReadTotalTimeoutConstant = waitMs == 0 ? 1 : (waitMs >= MAXDWORD ? MAXDWORD - 1 : waitMs);
    if (!::SetCommTimeouts(H(m_hPort), &wait)) {
        *error = ::GetLastError();
        return -1;
    }
    DWORD got = 0;
    const BOOL ok = ::ReadFile(H(m_hPort), buffer, 1, &got, nullptr);
    const DWORD readError = ok ? 0 : ::GetLastError();
    COMMTIMEOUTS own = ChannelTimeouts();
    ::SetCommTimeouts(H(m_hPort), &own);
    if (!ok) {
        *error = readError;
        return -1;
    }
    if (got == 0 || count <= 1)
        return static_cast<int>(got);
    const int queued = SysQueued(error);
    if (queued <= 0)
        return queued < 0 ? -1 : 1;
    const int more = SysRead(buffer + 1, queued < count - 1 ? queued : count - 1, error);
    return more < 0 ? -1 : 1 + more;
}

void CIntPort::SysPurgeInput() { ::PurgeComm(H(m_hPort), PURGE_RXCLEAR); }
