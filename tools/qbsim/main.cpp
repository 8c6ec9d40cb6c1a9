// kelvo-qbsim: the simulated QB345 as a command (see README.md).
#include "tools/qbsim/qbsim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {
volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_report = 0;
void OnSignal(int) { g_stop = 1; }
void OnReportSignal(int) { g_report = 1; }

int CommandKey(const std::string& s)
{
    if (s == "data")
        return qbsim::kData;
    return static_cast<int>(std::strtol(s.c_str(), nullptr, 16));
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: kelvo-qbsim [--model M] [--link PATH] [--path-file F] [--images PREFIX]\n"
                 "  [--expect FILE]... [--log F] [--erase-code HEX]\n"
                 "  [--silent CMD] [--refuse CMD[:STATUS]] [--wrong-status CMD[:STATUS]] [--delay CMD:MS]\n"
                 "  [--garbage CMD] [--reply CMD:HEX] [--silent-from-block N] [--unplug-at-block N]\n"
                 "  [--report FILE [--chunk N] [--pace MS] [--report-delay MS]\n"
                 "   [--report-at-once | --report-on-identify N | --report-on-demand]]\n"
                 "  [--seconds N]\n"
                 "CMD is a command byte in hex (C0 C1 C2 C3 C9 CA) or 'data'. See README.md.\n");
}
} // namespace

int main(int argc, char** argv)
{
    qbsim::Options o;
    std::string pathFile;
    int seconds = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        // CMD[:VALUE]; statuses are hex, delays decimal.
        auto keyValue = [&](std::map<int, int>& m, int def, int base) {
            std::string v = next();
            size_t colon = v.find(':');
            m[CommandKey(v.substr(0, colon))] =
                colon == std::string::npos ? def : static_cast<int>(std::strtol(v.c_str() + colon + 1, nullptr, base));
        };
        if (a == "--model") o.model = next();
        else if (a == "--link") o.link = next();
        else if (a == "--path-file") pathFile = next();
        else if (a == "--images") o.imagePrefix = next();
        else if (a == "--log") o.logFile = next();
        else if (a == "--expect") o.expect.push_back(next());
        else if (a == "--erase-code") o.eraseCode = static_cast<int>(std::strtol(next().c_str(), nullptr, 16));
        else if (a == "--silent") keyValue(o.silent, 1, 10);
        else if (a == "--refuse") keyValue(o.refuse, 0xE5, 16);
        else if (a == "--wrong-status") keyValue(o.wrongStatus, 0x99, 16);
        else if (a == "--delay") keyValue(o.delayMs, 3000, 10);
        else if (a == "--garbage") keyValue(o.garbage, 1, 10);
        else if (a == "--reply") {
            // CMD:HEXBYTES, e.g. C9:46E3 for a two-byte answer to Identify.
            std::string v = next();
            size_t colon = v.find(':');
            std::vector<uint8_t> bytes;
            std::string hex = colon == std::string::npos ? "" : v.substr(colon + 1);
            for (size_t k = 0; k + 1 < hex.size(); k += 2)
                bytes.push_back(static_cast<uint8_t>(std::strtol(hex.substr(k, 2).c_str(), nullptr, 16)));
            o.fixedReply[CommandKey(v.substr(0, colon))] = bytes;
        }
        else if (a == "--silent-from-block") o.silentFromBlock = std::atoi(next().c_str());
        else if (a == "--unplug-at-block") o.unplugAtBlock = std::atoi(next().c_str());
        else if (a == "--report") o.reportFile = next();
        else if (a == "--chunk") o.reportChunk = std::atoi(next().c_str());
        else if (a == "--pace") o.reportPaceMs = std::atoi(next().c_str());
        else if (a == "--report-delay") o.reportDelayMs = std::atoi(next().c_str());
        else if (a == "--report-at-once") o.reportAtOnce = true;
        else if (a == "--report-on-identify") o.reportOnIdentify = std::atoi(next().c_str());
        else if (a == "--report-on-demand") o.reportOnDemand = true;
        else if (a == "--seconds") seconds = std::atoi(next().c_str());
        else {
            Usage();
            return 2;
        }
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    // SIGUSR1 sends the report (again), as pressing print on the tool does.
    std::signal(SIGUSR1, OnReportSignal);
    qbsim::Simulator sim(o);
    std::string slave = sim.Start();
    if (slave.empty()) {
        std::fprintf(stderr, "kelvo-qbsim: cannot open a pty\n");
        return 1;
    }
    std::printf("%s\n", slave.c_str());
    std::fflush(stdout);
    if (!pathFile.empty()) {
        std::ofstream(pathFile + ".tmp") << slave << "\n";
        std::rename((pathFile + ".tmp").c_str(), pathFile.c_str());
    }
    int waited = 0;
    // Runs until stopped, for the given time, or until unplugged by a fault.
    while (!g_stop && !sim.Unplugged() && (seconds == 0 || waited < seconds * 100)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (g_report) {
            g_report = 0;
            sim.StartReport();
        }
        ++waited;
    }
    sim.Stop();
    // Gone with the link: whoever waits for this simulator to end watches it.
    if (!pathFile.empty())
        std::remove(pathFile.c_str());
    // With --expect: 0 only when every expected image arrived and matched.
    return sim.ExpectationsMet() ? 0 : 3;
}
