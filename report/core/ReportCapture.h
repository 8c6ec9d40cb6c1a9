#pragma once
// The report capture: connect (identify the tool, start one reader) and the
// reader loop, which holds the tool's port open and hands what arrives to the
// page. Start and stop are two words shared with the host: the port the reader
// uses (-1 none) and the stop flag.
#include "device/core/Discovery.h"
#include "device/core/Identify.h"
#include "report/core/ReportHandoff.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kelvo::report {

struct ReaderTiming {
    uint32_t idleSleepMs = 5;     // after a read that found nothing
    uint32_t reopenPauseMs = 100; // after a failed open or read, before the next open
    uint32_t joinWaitMs = 5000;   // how long connect and stop wait for an earlier reader
};

class ReportCapture {
public:
    // Starts the reader thread with this capture and its id; false when it
    // could not be started. The thread calls RunReader(id).
    using StartThread = std::function<bool(ReportCapture* capture, uint32_t id)>;
    // Wakes the page (posts its message); false when that failed.
    using Wake = std::function<bool()>;

    ReportCapture(std::atomic<int>& port, std::atomic<int>& stop) : m_port(port), m_stop(stop) {}
    ~ReportCapture() { Stop(); }
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    void SetTiming(const ReaderTiming& t) { m_timing = t; }
    void SetWake(Wake wake) { m_wake = std::move(wake); }

    // UI thread. `ports` as ListToolPorts gives them; `host` (may be null)
    // receives the model name. Returns true when a reader was started.
    bool Connect(const std::vector<int>& ports, int devicePort, IDeviceHost* host, const StartThread& start);
    // Ends the capture and waits (bounded) for its reader: nothing of it
    // reaches the page afterwards. True when no reader runs any more.
    bool Stop();
    // The host emptied the box: what waits of this capture is dropped.
    void DropPending() { m_queue.End(); }
    // Waits up to ms for the reader to end; true when none runs.
    bool WaitReaderEnded(uint32_t ms) const;
    bool ReaderRunning() const { return m_readers.load() != 0; }

    // The reader thread's body.
    void RunReader(uint32_t id);

    ChunkQueue& Queue() { return m_queue; }

private:
    void Hand(uint32_t id, const uint8_t* bytes, size_t n);
    void Identify(int port, uint32_t id, IDeviceHost* host);

    std::atomic<int>& m_port;
    std::atomic<int>& m_stop;
    ChunkQueue m_queue;
    ReaderTiming m_timing;
    Wake m_wake;
    std::atomic<int> m_readers{0};
};

} // namespace kelvo::report
