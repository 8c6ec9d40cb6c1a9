// Benchmark (not a test): the firmware transfer of a 1 MiB image against the
// simulated QB345 over a pty, from the user's confirmation (the worker's call)
// to its success report, set against the frames alone: Start, Erase, per
// 2048-byte block the header and data exchanges, End, through the same
// channel with nothing else in between. Natively the simulator runs in this
// process; the MinGW build plugs kelvo-qbsim in as COM48 and goes through the
// Win32 channel under Wine.
#include "app/core/platform.h"
#include "device/core/DeviceState.h"
#include "device/core/IntPort.h"
#include "update/core/Package.h"
#include "update/core/Transfer.h"
#include "update/core/Workers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include "tools/plug/plug.h"
#else
#include "tools/qbsim/qbsim.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kImageBytes = 1u << 20;
constexpr uint32_t kBlocks = kImageBytes / kelvo::kBlockSize;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string List(const std::vector<double>& v)
{
    std::string s;
    char buf[32];
    for (double x : v) {
        std::snprintf(buf, sizeof buf, "%s%.0f", s.empty() ? "" : " ", x);
        s += buf;
    }
    return s;
}

// Stands in for the update list: keeps the reports cheap and stamps the moment
// the worker reports success.
class TimingHost : public kelvo::IWorkerHost {
public:
    void Progress(int, int percent) override { lastPercent = percent; }
    void Status(int, const std::wstring&) override {}
    void Flashing(int) override {}
    void Failed() override { failed = true; }
    void Done() override
    {
        doneAt = Clock::now();
        done = true;
    }
    void End(int) override {}
    int Tell(int, unsigned) override { return 0; }

    void Reset()
    {
        done = failed = false;
        lastPercent = -1;
    }
    Clock::time_point doneAt;
    bool done = false, failed = false;
    int lastPercent = -1;
};

// A folder of our own below the system's temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder()
    {
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        if (ec)
            return;
        std::random_device rd;
        for (int i = 0; i < 20 && m_path.empty(); ++i) {
            fs::path p = base / ("kelvo-bench-flash-" + std::to_string(rd()));
            if (fs::create_directory(p, ec) && !ec)
                m_path = p;
        }
    }
    ~TempFolder()
    {
        if (!m_path.empty()) {
            std::error_code ec;
            fs::remove_all(m_path, ec);
        }
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

bool WriteWhole(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = kelvo::OpenFile(path, "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// The frames of one main-image transfer, built before any clock runs.
struct Frames {
    uint8_t start[9], erase[9];
    std::vector<std::vector<uint8_t>> headers, data;
    uint8_t end[4] = {0x46, 0x58, 0xC3, 0xFF};

    explicit Frames(const std::vector<uint8_t>& image)
    {
        kelvo::MakeStartCommand(true, start);
        kelvo::MakeEraseCommand(true, false, erase);
        for (uint32_t k = 0; k < kBlocks; ++k) {
            headers.emplace_back(10);
            kelvo::MakeBlockHeader(kelvo::kMainImageAddress + k * kelvo::kBlockSize, kelvo::kBlockSize,
                                   headers.back().data());
            data.emplace_back(kelvo::kBlockSize + 6);
            kelvo::MakeBlockData(image.data() + size_t(k) * kelvo::kBlockSize, kelvo::kBlockSize, k,
                                 data.back().data());
        }
    }
};

bool Exchange(CIntPort& port, const uint8_t* frame, size_t length, uint32_t timeoutMs, uint8_t status)
{
    uint8_t reply[CIntPort::kMaxRead];
    const int n = port.Transact(frame, int(length), timeoutMs, reply);
    return n > 2 && reply[2] == status;
}

// The protocol's own cost: every frame of the transfer, one Transact each
// (so with the channel's pause after each reply). Milliseconds, or -1 when
// the tool did not acknowledge a frame.
double TimeFramesAlone(int portNumber, const Frames& f)
{
    CIntPort port;
    if (!port.Open(portNumber))
        return -1;
    const auto t0 = Clock::now();
    bool ok = Exchange(port, f.start, sizeof f.start, kelvo::kCommandTimeoutMs, 0x81) &&
              Exchange(port, f.erase, sizeof f.erase, kelvo::kEraseTimeoutMs, 0x83);
    for (uint32_t k = 0; ok && k < kBlocks; ++k)
        ok = Exchange(port, f.headers[k].data(), f.headers[k].size(), kelvo::kCommandTimeoutMs, 0x82) &&
             Exchange(port, f.data[k].data(), f.data[k].size(), kelvo::kCommandTimeoutMs, 0x84);
    ok = ok && Exchange(port, f.end, sizeof f.end, kelvo::kCommandTimeoutMs, 0x85);
    const auto t1 = Clock::now();
    port.Close();
    return ok ? Ms(t0, t1) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int portNumber = 48;

    std::vector<uint8_t> image(kImageBytes);
    {
        std::mt19937 rng(std::random_device{}());
        std::uniform_int_distribution<int> byte(0, 255);
        for (auto& b : image)
            b = uint8_t(byte(rng));
    }
    TempFolder folder;
    if (folder.path().empty()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const std::wstring packagePath = (folder.path() / "QB345_EN_1MiB.bin").wstring();
    if (!WriteWhole(packagePath, kelvo::BuildPackage(kelvo::kPackageMain, image))) {
        std::fprintf(stderr, "cannot write the package\n");
        return 1;
    }

#ifdef _WIN32
    kelvo::plug::CSimulatedTool tool;
    if (!tool.Plug("QB345", portNumber, -1, {}, false, false)) {
        std::fprintf(stderr, "cannot plug the simulated tool (KELVO_BIN, WINEPREFIX?)\n");
        return 1;
    }
    const char* where = "Win32 channel under Wine, simulator logging every frame";
    auto received = [&](int n) {
        const std::string got = kelvo::plug::ReadWholeFile(tool.ImagePath(n));
        return got.size() == image.size() && std::equal(image.begin(), image.end(), got.begin(),
                                                         [](uint8_t a, char b) { return a == uint8_t(b); });
    };
#else
    qbsim::Simulator sim(qbsim::Options{});
    const std::string path = sim.Start();
    if (path.empty()) {
        std::fprintf(stderr, "cannot open a pty\n");
        return 1;
    }
    CIntPort::MapPort(portNumber, path);
    const char* where = "termios channel, native";
    auto received = [&](int n) {
        const auto images = sim.Images();
        return images.size() == size_t(n) + 1 && images.back() == image;
    };
#endif

    // No message boxes and no language tables: a failure is printed, and the
    // texts are what a loaded table's cache would hand out.
    kelvo::SetMessageSink([](const std::wstring& text, unsigned) {
        std::fprintf(stderr, "message box: %s\n", kelvo::WideToUtf8(text).c_str());
        return kelvo::kIdOk;
    });
    kelvo::SetUpdateTextSource([](int n) { return L"text " + std::to_wstring(n); });
    g_nDevicePort = portNumber;

    const Frames frames(image);
    TimingHost host;
    kelvo::WorkerJob job;
    job.row = 0;
    job.path = packagePath;
    job.model = L"QB345";
    std::vector<double> flash, minimum;
    int images = 0;
    int status = 0;
    for (int r = 0; r < rounds && status == 0; ++r) {
        host.Reset();
        const auto t0 = Clock::now();
        kelvo::RunFlashWorker(host, job);
        if (!host.done || host.failed || host.lastPercent != 100) {
            std::fprintf(stderr, "round %d: the transfer did not succeed\n", r + 1);
            status = 2;
            break;
        }
        flash.push_back(Ms(t0, host.doneAt));
        if (!received(images++)) {
            std::fprintf(stderr, "round %d: the tool did not receive exactly the image\n", r + 1);
            status = 2;
            break;
        }

        const double ms = TimeFramesAlone(portNumber, frames);
        if (ms < 0) {
            std::fprintf(stderr, "round %d: a frame of the minimum run was not acknowledged\n", r + 1);
            status = 3;
            break;
        }
        minimum.push_back(ms);
        if (!received(images++)) {
            std::fprintf(stderr, "round %d: the minimum run did not deliver exactly the image\n", r + 1);
            status = 3;
            break;
        }
    }

    kelvo::SetUpdateTextSource({});
    kelvo::SetMessageSink({});
#ifndef _WIN32
    CIntPort::UnmapPort(portNumber);
    sim.Stop();
#endif
    if (status != 0)
        return status;

    const double f = Median(flash), m = Median(minimum);
    std::printf("1 MiB firmware image, %u blocks of %d bytes, %s, %d rounds\n", kBlocks, kelvo::kBlockSize, where,
                rounds);
    std::printf("flash (RunFlashWorker, call to Done, incl. the 1000 ms pause after the image): median %.0f ms "
                "(rounds: %s)\n",
                f, List(flash).c_str());
    std::printf("protocol minimum (Start, Erase, %u x header + data, End, one Transact each): median %.0f ms "
                "(rounds: %s)\n",
                kBlocks, m, List(minimum).c_str());
    std::printf("ratio flash / minimum: %.2f\n", f / m);
    // The pause after the image is the design's own, not the transfer's cost.
    std::printf("ratio (pause excluded): %.3f\n", (f - kelvo::kPauseBetweenImagesMs) / m);
    return 0;
}
