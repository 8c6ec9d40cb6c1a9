#pragma once
// The simulated QB345: a pseudo-terminal that answers the tool's protocol
// strictly, records what was written into it, and injects faults on request.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qbsim {

// Command keys for fault options: the command byte (0xC0..0xC3, 0xC9, 0xCA),
// or kData for block data frames.
constexpr int kData = 0x100;
// Status byte of a refused frame.
constexpr uint8_t kRefusal = 0xE1;

struct Options {
    std::string model = "QB345";
    std::string link;          // symlink made to the pty's slave side (removed at stop)
    std::string imagePrefix;   // each received image is written to <prefix><n>.bin
    std::vector<std::string> expect;  // image n is compared with expect[n]
    std::string logFile;       // every frame in hex
    std::map<int, int> silent;        // command -> 1: received, never answered, no effect
    std::map<int, int> refuse;        // command -> refusal status (0xE0..0xEF)
    std::map<int, int> wrongStatus;   // command -> status byte sent instead
    std::map<int, int> delayMs;       // command -> delay before the reply
    std::map<int, int> garbage;       // command -> 1: a reply of noise
    std::map<int, std::vector<uint8_t>> fixedReply;  // command -> these bytes instead, no effect
    int eraseCode = -1;        // size code the main image's erase must carry; -1: F2 or 32
    int silentFromBlock = -1;  // the tool hangs at the header of this block: nothing answered any more
    int unplugAtBlock = -1;    // pty closed and link removed when the header of this block arrives
    std::string reportFile;    // report mode: stream this file ...
    int reportChunk = 64;      // ... in chunks of this many bytes
    int reportPaceMs = 20;     // ... one chunk per this many milliseconds
    int reportDelayMs = 300;   // ... starting this long after the first identification
    bool reportAtOnce = false; // ... or this long after the start, identified or not
    int reportOnIdentify = 1;  // ... or after this identification (2: the second one)
    bool reportOnDemand = false;  // ... or only when StartReport is called
};

class Simulator {
public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the pty and starts answering; returns the slave path ("" on failure).
    std::string Start();
    void Stop();
    // Closes the pty and removes the link, as pulling the cable does.
    void Unplug();
    bool Unplugged() const { return m_unplugged; }

    // Queues raw bytes to the PC side (tests); false when they could not all go.
    bool Send(const std::vector<uint8_t>& bytes);

    std::vector<std::vector<uint8_t>> Images() const;  // completed images, in order
    std::vector<std::string> Frames() const;           // every frame received, hex
    int Refusals() const { return m_refusals; }
    int Answers() const { return m_answers; }          // replies sent, refusals included
    // Every expected image arrived and matched.
    bool ExpectationsMet() const;
    size_t ReportSent() const { return m_reportPos; }
    // Sends the report (again) from its beginning, after the report delay.
    void StartReport() { m_reportRequest = true; }
    int Identifications() const { return m_identifications; }
    std::string SlavePath() const { return m_slave; }

private:
    void Run();
    void Consume(std::vector<uint8_t>& buf);
    void Handle(const std::vector<uint8_t>& frame, int key);
    void Reply(int key, const std::vector<uint8_t>& bytes);
    void Status(int key, uint8_t status);
    void Refuse(int key);
    void FinishImage();
    void Log(const std::string& dir, const std::vector<uint8_t>& bytes);
    void LogNote(const std::string& text);
    void ClosePty();
    void ReportTick();
    size_t WriteSome(const uint8_t* data, size_t n);

    Options m_opt;
    int m_master = -1;  // closed only by the answering thread while it runs
    std::string m_slave;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_unplugRequest{false};
    std::atomic<bool> m_unplugged{false};
    mutable std::mutex m_mutex;  // m_master for writers, the records below
    std::condition_variable m_closed;
    std::vector<std::vector<uint8_t>> m_images;
    std::vector<std::string> m_frames;
    std::atomic<int> m_refusals{0};
    std::atomic<int> m_answers{0};
    std::atomic<int> m_mismatches{0};

    // Firmware sequence state (answering thread only).
    enum class Step { kIdle, kStarted, kErased } m_step = Step::kIdle;
    bool m_main = true;
    bool m_hung = false;
    bool m_lastBlockShort = false;  // a short block ends the image: only End may follow
    uint32_t m_start = 0;
    uint32_t m_nextIndex = 0;
    int m_pendingData = 0;  // length of the data frame the last header announced
    std::vector<uint8_t> m_image;
    int m_imageCount = 0;

    // Report stream (answering thread only).
    std::vector<uint8_t> m_report;
    std::atomic<size_t> m_reportPos{0};
    int64_t m_reportNext = -1;  // time of the next chunk, -1 not started
    std::atomic<bool> m_reportRequest{false};
    std::atomic<int> m_identifications{0};
};

std::string Hex(const std::vector<uint8_t>& bytes);

} // namespace qbsim
