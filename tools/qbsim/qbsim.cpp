#include "tools/qbsim/qbsim.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace qbsim {

namespace {
const uint8_t kRefusal = 0xE1;

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
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return {};
    const char* name = ::ptsname(m_master);
    if (!name)
        return {};
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
            std::fprintf(stderr, "qbsim: cannot link %s\n", m_opt.link.c_str());
    }
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
    return m_slave;
}

void Simulator::Unplug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_opt.link.empty())
        ::unlink(m_opt.link.c_str());
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

void Simulator::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    Unplug();
}

void Simulator::Send(const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_master >= 0 && !bytes.empty()) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
    }
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

void Simulator::Log(const std::string& dir, const std::vector<uint8_t>& bytes)
{
    std::string line = dir + " " + Hex(bytes);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (dir == "<")
            m_frames.push_back(Hex(bytes));
    }
    if (!m_opt.logFile.empty()) {
        std::ofstream log(m_opt.logFile, std::ios::app);
        log << line << "\n";
    }
}

void Simulator::Reply(int key, const std::vector<uint8_t>& bytes)
{
    if (m_opt.silent.count(key))
        return;
    auto delay = m_opt.delayMs.find(key);
    if (delay != m_opt.delayMs.end())
        std::this_thread::sleep_for(std::chrono::milliseconds(delay->second));
    if (m_opt.garbage.count(key)) {
        std::vector<uint8_t> noise = {0x13, 0x37, 0x00, 0x5A, 0xA5};
        Log(">", noise);
        Send(noise);
        return;
    }
    Log(">", bytes);
    Send(bytes);
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

void Simulator::Handle(const std::vector<uint8_t>& f, int key)
{
    Log("<", f);
    if (key == kData) {
        const int len = static_cast<int>(f.size()) - 6;
        const uint8_t* sum = &f[static_cast<size_t>(len)];
        uint32_t expected = 0;
        for (int i = 0; i < len; ++i)
            expected += f[static_cast<size_t>(i)];
        const uint32_t index = (static_cast<uint32_t>(sum[4]) << 8) | sum[5];
        if (Le32(sum) != expected || index != m_nextIndex)
            return Refuse(key);
        if (m_opt.silentFromBlock >= 0 && static_cast<int>(index) >= m_opt.silentFromBlock)
            return;
        m_image.insert(m_image.end(), f.begin(), f.begin() + len);
        ++m_nextIndex;
        return Status(key, 0x84);
    }
    switch (f[2]) {
    case 0xC9:
    case 0xCA: {
        std::string id = "zendrix-" + m_opt.model;
        std::vector<uint8_t> r(id.begin(), id.end());
        r.push_back(0);
        return Reply(f[2], r);
    }
    case 0xC0: {
        static const uint8_t mainSel[5] = {1, 2, 3, 4, 5}, secondSel[5] = {5, 4, 3, 2, 1};
        if (f[8] != 0xFF)
            return Refuse(f[2]);
        if (std::memcmp(&f[3], mainSel, 5) == 0)
            m_main = true;
        else if (std::memcmp(&f[3], secondSel, 5) == 0)
            m_main = false;
        else
            return Refuse(f[2]);
        m_step = Step::kStarted;
        m_image.clear();
        return Status(f[2], 0x81);
    }
    case 0xC2: {
        const uint32_t address = Le32(&f[3]);
        const uint8_t code = f[7];
        const bool ok = m_step == Step::kStarted && f[8] == 0xFF &&
                        (m_main ? address == 0x08004000 && (code == 0xF2 || code == 0x32)
                                : address == 0 && code == 0x00);
        if (!ok)
            return Refuse(f[2]);
        m_start = address;
        m_nextIndex = 0;
        m_step = Step::kErased;
        return Status(f[2], 0x83);
    }
    case 0xC1: {
        const uint32_t address = Le32(&f[3]);
        const int announced = f[7] | (f[8] << 8);
        if (m_opt.unplugAtBlock >= 0 && static_cast<int>(m_nextIndex) >= m_opt.unplugAtBlock) {
            Unplug();
            return;
        }
        if (m_step != Step::kErased || f[9] != 0xFF || address != m_start + 2048u * m_nextIndex || announced < 7 ||
            announced > 2048 + 6)
            return Refuse(f[2]);
        if (m_opt.silentFromBlock >= 0 && static_cast<int>(m_nextIndex) >= m_opt.silentFromBlock) {
            m_pendingData = announced;
            return;
        }
        m_pendingData = announced;
        return Status(f[2], 0x82);
    }
    case 0xC3: {
        if (m_step != Step::kErased || f[3] != 0xFF)
            return Refuse(f[2]);
        m_step = Step::kIdle;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_images.push_back(m_image);
        }
        if (!m_opt.imagePrefix.empty()) {
            std::ofstream out(m_opt.imagePrefix + std::to_string(m_imageCount) + ".bin", std::ios::binary);
            out.write(reinterpret_cast<const char*>(m_image.data()), static_cast<std::streamsize>(m_image.size()));
        }
        ++m_imageCount;
        return Status(f[2], 0x85);
    }
    default:
        return Refuse(f[2]);
    }
}

void Simulator::StreamReport()
{
    std::ifstream in(m_opt.reportFile, std::ios::binary);
    std::vector<uint8_t> all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t pos = 0; pos < all.size() && !m_stop; pos += static_cast<size_t>(m_opt.reportChunk)) {
        size_t n = std::min(all.size() - pos, static_cast<size_t>(m_opt.reportChunk));
        Send(std::vector<uint8_t>(all.begin() + static_cast<long>(pos), all.begin() + static_cast<long>(pos + n)));
        std::this_thread::sleep_for(std::chrono::milliseconds(m_opt.reportPaceMs));
    }
}

void Simulator::Run()
{
    if (!m_opt.reportFile.empty())
        return StreamReport();
    std::vector<uint8_t> buf;
    int64_t lastByte = NowMs();
    while (!m_stop) {
        int fd;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            fd = m_master;
        }
        if (fd < 0)
            return;
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, 20);
        if (r > 0 && (p.revents & POLLIN)) {
            uint8_t tmp[4096];
            ssize_t n = ::read(fd, tmp, sizeof tmp);
            if (n > 0) {
                buf.insert(buf.end(), tmp, tmp + n);
                lastByte = NowMs();
            }
        } else if (r > 0 && (p.revents & (POLLHUP | POLLERR))) {
            // Nobody holds the port: wait for the next open.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (!buf.empty() && NowMs() - lastByte > 300) {
            // A frame that never completes: drop it and refuse.
            Log("< (incomplete)", buf);
            buf.clear();
            m_pendingData = 0;
            Refuse(0);
        }
        // Take every complete frame from the buffer.
        for (;;) {
            if (m_pendingData > 0) {
                if (buf.size() < static_cast<size_t>(m_pendingData))
                    break;
                std::vector<uint8_t> f(buf.begin(), buf.begin() + m_pendingData);
                buf.erase(buf.begin(), buf.begin() + m_pendingData);
                m_pendingData = 0;
                Handle(f, kData);
                continue;
            }
            if (buf.size() < 3)
                break;
            size_t len = (buf[0] == 0x46 && buf[1] == 0x58) ? CommandLength(buf[2]) : 0;
            if (len == 0) {
                Log("< (unknown)", buf);
                buf.clear();
                Refuse(0);
                break;
            }
            if (buf.size() < len)
                break;
            std::vector<uint8_t> f(buf.begin(), buf.begin() + static_cast<long>(len));
            buf.erase(buf.begin(), buf.begin() + static_cast<long>(len));
            Handle(f, f[2]);
        }
    }
}

} // namespace qbsim
