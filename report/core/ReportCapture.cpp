#include "report/core/ReportCapture.h"

#include "app/core/platform.h"
#include "device/core/Frames.h"
#include "device/core/IntPort.h"

#include <algorithm>
#include <cstring>

namespace kelvo::report {

void ReportCapture::Hand(uint32_t id, const uint8_t* bytes, size_t n)
{
    bool wake = false;
    if (m_queue.Push(id, BytesToText(bytes, n), &wake) && wake && m_wake && !m_wake())
        m_queue.WakeLost();
}

bool ReportCapture::WaitReaderEnded(uint32_t ms) const
{
    const uint32_t start = kelvo::TickCount();
    while (m_readers.load() != 0) {
        if (static_cast<uint32_t>(kelvo::TickCount() - start) > ms)
            return false;
        kelvo::SleepMs(1);
    }
    return true;
}

bool ReportCapture::Stop()
{
    m_port = -1;
    m_stop = 1;
    m_queue.End();
    return WaitReaderEnded(m_timing.joinWaitMs);
}

void ReportCapture::Identify(int port, uint32_t id, IDeviceHost* host)
{
    CIntPort channel;
    if (!channel.Open(port))
        return;
    // A tool that is already sending: what waits and what arrives around the
    // reply is report text, and only the reply itself is taken out of it.
    std::vector<uint8_t> report;
    const std::wstring name = IdentifySendingTool(channel, &report);
    if (!name.empty() && host)
        host->SetDeviceName(name);
    if (!report.empty())
        Hand(id, report.data(), report.size());
    channel.Close();
}

bool ReportCapture::Connect(const std::vector<int>& ports, int devicePort, IDeviceHost* host, const StartThread& start)
{
    if (ports.empty()) {
        m_port = -1;
        m_stop = 1;
        return false;
    }
    if (m_port != -1)
        return false;  // a capture runs
    // The reader of an earlier capture may still be on its way out: never two.
    m_stop = 1;
    if (!WaitReaderEnded(m_timing.joinWaitMs))
        return false;
    const int port =
        devicePort != -1 && std::find(ports.begin(), ports.end(), devicePort) != ports.end() ? devicePort : ports[0];
    const uint32_t id = m_queue.Begin();
    m_port = port;
    m_stop = 0;
    Identify(port, id, host);
    ++m_readers;
    if (!start || !start(this, id)) {
        --m_readers;
        m_port = -1;
        m_stop = 1;
        m_queue.End();
        return false;
    }
    return true;
}

void ReportCapture::RunReader(uint32_t id)
{
    uint8_t buf[CIntPort::kMaxRead];
    // A pause that a stop cuts short.
    auto pause = [&](uint32_t ms) {
        const uint32_t start = kelvo::TickCount();
        while (m_stop == 0 && static_cast<uint32_t>(kelvo::TickCount() - start) < ms)
            kelvo::SleepMs(std::min<uint32_t>(ms, 10));
    };
    while (m_stop == 0) {
        CIntPort channel;
        if (!channel.Open(m_port)) {
            pause(m_timing.reopenPauseMs);
            continue;
        }
        while (m_stop == 0) {
            std::memset(buf, 0, sizeof buf);
            const int n = channel.Read(buf);
            if (n < 0)
                break;  // a dead handle: closed, and opened again after a pause
            if (n == 0) {
                // A wake-up lost to a full queue is tried again while the tool is quiet.
                if (m_wake && m_queue.NeedsWake() && !m_wake())
                    m_queue.WakeLost();
                kelvo::SleepMs(m_timing.idleSleepMs);
                continue;
            }
            Hand(id, buf, static_cast<size_t>(n));
        }
        channel.Close();
        if (m_stop == 0)
            pause(m_timing.reopenPauseMs);
    }
    --m_readers;
}

} // namespace kelvo::report
