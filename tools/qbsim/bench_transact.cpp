// Benchmark (not a test): median round-trip time of one Transact (Identify)
// against the simulated QB345 over a pty. Natively the simulator runs in this
// process; the MinGW build plugs kelvo-qbsim in as COM47 and goes through the
// Win32 channel under Wine.
#include "app/core/platform.h"
#include "device/core/IntPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#ifdef _WIN32
#include "tools/plug/plug.h"
#else
#include "tools/qbsim/qbsim.h"
#endif

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const int port = 47;
#ifdef _WIN32
    kelvo::plug::CSimulatedTool tool;
    if (!tool.Plug("QB345", port, -1, {}, false, false)) {
        std::fprintf(stderr, "cannot plug the simulated tool (KELVO_BIN, WINEPREFIX?)\n");
        return 1;
    }
    const char* where = "Win32 channel under Wine";
#else
    qbsim::Simulator sim(qbsim::Options{});
    const std::string path = sim.Start();
    if (path.empty()) {
        std::fprintf(stderr, "cannot open a pty\n");
        return 1;
    }
    CIntPort::MapPort(port, path);
    const char* where = "termios channel, native";
#endif
    CIntPort channel;
    if (!channel.Open(port)) {
        std::fprintf(stderr, "cannot open port %d\n", port);
        return 1;
    }
    const uint8_t identify[3] = {0x46, 0x58, 0xC9};
    uint8_t reply[CIntPort::kMaxRead];
    std::vector<double> us;
    us.reserve(static_cast<size_t>(rounds));
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const int n = channel.Transact(identify, 3, 100, reply);
        const auto t1 = std::chrono::steady_clock::now();
        if (n <= 8)
            ++failures;
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    channel.Close();
    std::sort(us.begin(), us.end());
    std::printf("Transact round trip (%s): median %.0f us, p90 %.0f us, min %.0f us over %d rounds, %d without reply\n",
                where, us[us.size() / 2], us[us.size() * 9 / 10], us.front(), rounds, failures);
    return failures ? 2 : 0;
}
