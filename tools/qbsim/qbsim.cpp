#include "tools/qbsim/qbsim.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace qbsim {

namespace {
// A frame that stops arriving half-way is dropped after this long.
const int64_t kIncompleteMs = 300;
// Bytes the PC does not take within this long are given up (Send).
const int64_t kSendGiveUpMs = 5000;

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Length of the command frame that starts with `cmd`, 0 for an unknown one.
size_t CommandLength(uint8_t cmd)
{
    switch (cmd) {
    case 0xC9:
    case 0xCA: return 3;
    case 0xC0:
    case 0xC2: return 9;
    case 0xC1: return 10;
    case 0xC3: return 4;
    default: return 0;
    }
}
} // namespace

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string s;
    s.reserve(bytes.size() * 3);
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

Simulator::Simulator(Options options) : m_opt(std::move(options)) {}

Simulator::~Simulator() { Stop(); }

std::string Simulator::Start()
{
    if (m_running || m_master >= 0)
        return m_slave;
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return {};
    const char* name = nullptr;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 || !(name = ::ptsname(m_master))) {
        ::close(m_master);
        m_master = -1;
        return {};
    }
    // The answering thread must never block on a PC that does not read.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    m_slave = name;
    // Raw bytes both ways: no echo, no line discipline.
    int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::close(slave);
    }
    if (!m_opt.link.empty()) {
        ::unlink(m_opt.link.c_str());
        if (::symlink(name, m_opt.link.c_str()) != 0)
            std::fprintf(stderr, "kelvo-qbsim: cannot link %s: %s\n", m_opt.link.c_str(), std::strerror(errno));
    }
    if (!m_opt.reportFile.empty()) {
        std::ifstream in(m_opt.reportFile, std::ios::binary);
        if (!in)
            std::fprintf(stderr, "kelvo-qbsim: cannot read report %s\n", m_opt.reportFile.c_str());
        m_report.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (m_opt.reportChunk < 1)
            m_opt.reportChunk = 1;
        if (m_opt.reportAtOnce)
            m_reportNext = NowMs() + std::max(0, m_opt.reportDelayMs);
    }
    m_stop = false;
    m_unplugged = false;
    m_unplugRequest = false;
    m_running = true;
    m_thread = std::thread([this] { Run(); });
    return m_slave;
}

void Simulator::ClosePty()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Only our own link: a simulator started after us may own the name now.
    char target[256];
    const ssize_t n = m_opt.link.empty() ? -1 : ::readlink(m_opt.link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == m_slave)
        ::unlink(m_opt.link.c_str());
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
        m_unplugged = true;
    }
    m_closed.notify_all();
}

void Simulator::Unplug()
{
    // The answering thread polls the descriptor: it closes it itself, so that
    // the number is never reused under its feet.
    if (m_running && std::this_thread::get_id() != m_thread.get_id()) {
        m_unplugRequest = true;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_closed.wait(lock, [this] { return m_master < 0 || !m_running; });
        return;
    }
    ClosePty();
}

void Simulator::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    ClosePty();
}

size_t Simulator::WriteSome(const uint8_t* data, size_t n)
{
    if (m_master < 0)
        return 0;
    ssize_t w = ::write(m_master, data, n);
    return w > 0 ? static_cast<size_t>(w) : 0;
}

bool Simulator::Send(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    const int64_t giveUp = NowMs() + kSendGiveUpMs;
    while (done < bytes.size()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_master < 0)
                return false;
            done += WriteSome(bytes.data() + done, bytes.size() - done);
        }
        if (done < bytes.size()) {
            if (m_stop || NowMs() > giveUp)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

std::vector<std::vector<uint8_t>> Simulator::Images() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_images;
}

std::vector<std::string> Simulator::Frames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

bool Simulator::ExpectationsMet() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mismatches == 0 && m_images.size() >= m_opt.expect.size();
}

void Simulator::LogNote(const std::string& text)
{
    if (m_opt.logFile.empty())
        return;
    if (FILE* f = std::fopen(m_opt.logFile.c_str(), "a")) {
        std::fprintf(f, "%s\n", text.c_str());
        std::fclose(f);
    }
}

void Simulator::Log(const std::string& dir, const std::vector<uint8_t>& bytes)
{
    if (dir == "<") {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frames.push_back(Hex(bytes));
    }
    LogNote(dir + " " + Hex(bytes));
}

void Simulator::Reply(int key, const std::vector<uint8_t>& bytes)
{
    auto delay = m_opt.delayMs.find(key);
    if (delay != m_opt.delayMs.end()) {
        // Busy, as a slow erase is; a stop still ends the wait.
        const int64_t until = NowMs() + delay->second;
        while (!m_stop && NowMs() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (m_opt.garbage.count(key)) {
        const std::vector<uint8_t> noise = {0x13, 0x37, 0x00, 0x5A, 0xA5};
        Log(">", noise);
        Send(noise);
        ++m_answers;
        return;
    }
    Log(">", bytes);
    Send(bytes);
    ++m_answers;
}

void Simulator::Status(int key, uint8_t status)
{
    auto refuse = m_opt.refuse.find(key);
    if (refuse != m_opt.refuse.end())
        status = static_cast<uint8_t>(refuse->second);
    auto wrong = m_opt.wrongStatus.find(key);
    if (wrong != m_opt.wrongStatus.end())
        status = static_cast<uint8_t>(wrong->second);
    Reply(key, {0x46, 0x58, status});
}

void Simulator::Refuse(int key)
{
    ++m_refusals;
    m_step = Step::kIdle;
    m_pendingData = 0;
    Reply(key, {0x46, 0x58, kRefusal});
}

void Simulator::FinishImage()
{
    const int n = m_imageCount++;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_images.push_back(m_image);
    }
    if (!m_opt.imagePrefix.empty()) {
        const std::string path = m_opt.imagePrefix + std::to_string(n) + ".bin";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(m_image.data()), static_cast<std::streamsize>(m_image.size()));
    }
    if (static_cast<size_t>(n) < m_opt.expect.size()) {
        std::ifstream in(m_opt.expect[static_cast<size_t>(n)], std::ios::binary);
        std::vector<uint8_t> want((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.eof() && !in)
            want.clear();
        if (want == m_image) {
            LogNote("= image " + std::to_string(n) + " matches " + m_opt.expect[static_cast<size_t>(n)]);
        } else {
            ++m_mismatches;
            size_t at = 0;
            while (at < want.size() && at < m_image.size() && want[at] == m_image[at])
                ++at;
            LogNote("! image " + std::to_string(n) + " differs from " + m_opt.expect[static_cast<size_t>(n)] + ": " +
                    std::to_string(m_image.size()) + " bytes against " + std::to_string(want.size()) +
                    ", first difference at byte " + std::to_string(at));
        }
    }
}

void Simulator::Handle(const std::vector<uint8_t>& f, int key)
{
    Log("<", f);
    if (m_opt.silent.count(key)) {
        // Lost on the way: no answer and no effect. A data frame stays
        // expected, so that its repetitions are taken as data again.
        if (key == kData)
            m_pendingData = static_cast<int>(f.size());
        return;
    }
    auto fixed = m_opt.fixedReply.find(key);
    if (fixed != m_opt.fixedReply.end()) {
        if (key == kData)
            m_pendingData = 0;
        return Reply(key, fixed->second);
    }
    if (key == kData) {
        const int len = static_cast<int>(f.size()) - 6;
        const uint8_t* tail = &f[static_cast<size_t>(len)];
        uint32_t sum = 0;
        for (int i = 0; i < len; ++i)
            sum += f[static_cast<size_t>(i)];
        const uint32_t index = (static_cast<uint32_t>(tail[4]) << 8) | tail[5];
        if (len < 1 || Le32(tail) != sum || index != m_nextIndex)
            return Refuse(key);
        m_image.insert(m_image.end(), f.begin(), f.begin() + len);
        ++m_nextIndex;
        m_lastBlockShort = len < 2048;
        return Status(key, 0x84);
    }
    switch (f[2]) {
    case 0xC9:
    case 0xCA: {
        auto refuse = m_opt.refuse.find(key);
        if (refuse != m_opt.refuse.end())
            return Reply(key, {0x46, 0x58, static_cast<uint8_t>(refuse->second)});
        std::string id = "zendrix-" + m_opt.model;
        std::vector<uint8_t> r(id.begin(), id.end());
        r.push_back(0);
        const int nth = ++m_identifications;
        if (!m_report.empty() && m_reportNext < 0 && !m_opt.reportAtOnce && !m_opt.reportOnDemand &&
            nth >= m_opt.reportOnIdentify)
            m_reportNext = NowMs() + std::max(0, m_opt.reportDelayMs);
        return Reply(key, r);
    }
    case 0xC0: {
        static const uint8_t mainSel[5] = {1, 2, 3, 4, 5}, secondSel[5] = {5, 4, 3, 2, 1};
        if (f[8] != 0xFF)
            return Refuse(key);
        if (std::memcmp(&f[3], mainSel, 5) == 0)
            m_main = true;
        else if (std::memcmp(&f[3], secondSel, 5) == 0)
            m_main = false;
        else
            return Refuse(key);
        m_step = Step::kStarted;
        m_image.clear();
        return Status(key, 0x81);
    }
    case 0xC2: {
        const uint32_t address = Le32(&f[3]);
        const uint8_t code = f[7];
        const bool codeOk = m_opt.eraseCode >= 0 ? code == m_opt.eraseCode : (code == 0xF2 || code == 0x32);
        const bool ok = m_step == Step::kStarted && f[8] == 0xFF &&
                        (m_main ? address == 0x08004000 && codeOk : address == 0 && code == 0x00);
        if (!ok)
            return Refuse(key);
        m_start = address;
        m_nextIndex = 0;
        m_lastBlockShort = false;
        m_step = Step::kErased;
        return Status(key, 0x83);
    }
    case 0xC1: {
        const uint32_t address = Le32(&f[3]);
        const int announced = f[7] | (f[8] << 8);
        if (m_step == Step::kErased && m_opt.unplugAtBlock >= 0 &&
            static_cast<int>(m_nextIndex) >= m_opt.unplugAtBlock) {
            LogNote("- unplugged at block " + std::to_string(m_nextIndex));
            ClosePty();
            return;
        }
        if (m_step == Step::kErased && m_opt.silentFromBlock >= 0 &&
            static_cast<int>(m_nextIndex) >= m_opt.silentFromBlock) {
            LogNote("- silent from block " + std::to_string(m_nextIndex));
            m_hung = true;
            return;
        }
        if (m_step != Step::kErased || f[9] != 0xFF || m_lastBlockShort ||
            address != m_start + 2048u * m_nextIndex || announced < 7 || announced > 2048 + 6)
            return Refuse(key);
        m_pendingData = announced;
        return Status(key, 0x82);
    }
    case 0xC3: {
        if (m_step != Step::kErased || f[3] != 0xFF)
            return Refuse(key);
        m_step = Step::kIdle;
        FinishImage();
        return Status(key, 0x85);
    }
    default:
        return Refuse(key);
    }
}

// Takes every complete frame from the buffer; a data frame is as long as its
// header announced, a command as long as its command byte says.
void Simulator::Consume(std::vector<uint8_t>& buf)
{
    while (!buf.empty() && m_master >= 0) {
        if (m_hung) {
            Log("< (ignored)", buf);
            buf.clear();
            return;
        }
        if (m_pendingData > 0) {
            if (buf.size() < static_cast<size_t>(m_pendingData))
                return;
            std::vector<uint8_t> f(buf.begin(), buf.begin() + m_pendingData);
            buf.erase(buf.begin(), buf.begin() + m_pendingData);
            m_pendingData = 0;
            Handle(f, kData);
            continue;
        }
        if (buf.size() >= 2 && !(buf[0] == 0x46 && buf[1] == 0x58)) {
            Log("< (unknown)", buf);
            buf.clear();
            Refuse(0);
            return;
        }
        if (buf.size() < 3)
            return;
        const size_t len = CommandLength(buf[2]);
        if (len == 0) {
            Log("< (unknown)", buf);
            buf.clear();
            Refuse(0);
            return;
        }
        if (buf.size() < len)
            return;
        std::vector<uint8_t> f(buf.begin(), buf.begin() + static_cast<long>(len));
        buf.erase(buf.begin(), buf.begin() + static_cast<long>(len));
        Handle(f, f[2]);
    }
}

void Simulator::ReportTick()
{
    if (m_reportRequest.exchange(false) && !m_report.empty()) {
        m_reportPos = 0;
        m_reportNext = NowMs() + std::max(0, m_opt.reportDelayMs);
        LogNote("- report started");
    }
    if (m_report.empty() || m_reportNext < 0 || m_reportPos >= m_report.size() || NowMs() < m_reportNext)
        return;
    const size_t pos = m_reportPos;
    const size_t n = std::min(m_report.size() - pos, static_cast<size_t>(m_opt.reportChunk));
    size_t written;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        written = WriteSome(m_report.data() + pos, n);
    }
    m_reportPos = pos + written;
    if (written)
        LogNote("> (report) " + std::to_string(written) + " bytes, " + std::to_string(m_reportPos) + " of " +
                std::to_string(m_report.size()));
    // A full pty is tried again soon; otherwise at the given pace.
    m_reportNext = NowMs() + (written == n ? std::max(0, m_opt.reportPaceMs) : 5);
}

void Simulator::Run()
{
    std::vector<uint8_t> buf;
    int64_t lastByte = NowMs();
    while (!m_stop) {
        if (m_unplugRequest.exchange(false)) {
            LogNote("- unplugged");
            ClosePty();
        }
        const int fd = m_master;
        if (fd < 0)
            break;
        int wait = 20;
        if (m_reportNext >= 0 && m_reportPos < m_report.size())
            wait = static_cast<int>(std::clamp<int64_t>(m_reportNext - NowMs(), 0, 20));
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r > 0 && (p.revents & POLLIN)) {
            uint8_t tmp[4096];
            const ssize_t n = ::read(fd, tmp, sizeof tmp);
            if (n > 0) {
                buf.insert(buf.end(), tmp, tmp + n);
                lastByte = NowMs();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        } else if (r > 0) {
            // Nobody holds the port (hang-up): wait for the next open.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Consume(buf);
        if (!buf.empty() && NowMs() - lastByte > kIncompleteMs) {
            // A frame that never completes: dropped and refused.
            Log("< (incomplete)", buf);
            buf.clear();
            Refuse(m_pendingData > 0 ? kData : 0);
        }
        ReportTick();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
    m_closed.notify_all();
}

} // namespace qbsim
