#pragma once
// The simulated QB345: a pseudo-terminal that answers the tool's protocol
// strictly, records what was written into it, and injects faults on request.
#include <atomic>
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

struct Options {
    std::string model = "QB345";
    std::string link;          // symlink made to the pty's slave side (removed at stop)
    std::string imagePrefix;   // each received image is written to <prefix><n>.bin
    std::string logFile;       // every frame in hex
    std::map<int, int> silent;        // command -> 1: never answered
    std::map<int, int> refuse;        // command -> refusal status (0xE0..0xEF)
    std::map<int, int> wrongStatus;   // command -> status byte sent instead
    std::map<int, int> delayMs;       // command -> delay before the reply
    std::map<int, int> garbage;       // command -> 1: a reply of noise
    int silentFromBlock = -1;  // no answer to block headers/data from this index on
    int unplugAtBlock = -1;    // pty closed when the header of this block arrives
    std::string reportFile;    // report mode: stream this file ...
    int reportChunk = 64;      // ... in chunks of this many bytes
    int reportPaceMs = 20;     // ... one chunk per this many milliseconds
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
    // Closes the pty as an unplug does.
    void Unplug();

    // Queues raw bytes to the PC side (tests).
    void Send(const std::vector<uint8_t>& bytes);

    std::vector<std::vector<uint8_t>> Images() const;  // completed images, in order
    std::vector<std::string> Frames() const;           // every frame received, hex
    int Refusals() const { return m_refusals; }
    std::string SlavePath() const { return m_slave; }

private:
    void Run();
    void Handle(const std::vector<uint8_t>& frame, int key);
    void Reply(int key, const std::vector<uint8_t>& bytes);
    void Status(int key, uint8_t status);
    void Refuse(int key);
    void Log(const std::string& dir, const std::vector<uint8_t>& bytes);
    void StreamReport();

    Options m_opt;
    int m_master = -1;
    std::string m_slave;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::vector<uint8_t>> m_images;
    std::vector<std::string> m_frames;
    std::atomic<int> m_refusals{0};

    // Firmware sequence state.
    enum class Step { kIdle, kStarted, kErased } m_step = Step::kIdle;
    bool m_main = true;
    uint32_t m_start = 0;
    uint32_t m_nextIndex = 0;
    int m_pendingData = 0;  // length of the data frame the last header announced
    std::vector<uint8_t> m_image;
    int m_imageCount = 0;
};

std::string Hex(const std::vector<uint8_t>& bytes);

} // namespace qbsim
