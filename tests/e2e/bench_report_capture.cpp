// Benchmark, not a test: a 10 MB report streamed by the simulated QB345 as
// fast as it can send, into the report page of the real Kelvo.exe under Wine.
// Prints the throughput, whether the box holds the report byte for byte, the
// slowest answer of the main window to a message during the capture, and the
// CPU time Kelvo takes while the capture idles afterwards.
//   wine bench_report_capture.exe [megabytes]   (KELVO_BIN, KELVO_DIST, WINEPREFIX set)
#include "e2e/support/scenario.h"

#include <cstdio>
#include <cstdlib>

using namespace kelvo::e2e;

namespace {

std::wstring BoxText(HWND box)
{
    DWORD_PTR len = 0;
    ::SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 60000, &len);
    std::vector<wchar_t> buf(len + 2, 0);
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(box, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_NORMAL, 60000,
                          &got);
    return std::wstring(buf.data(), got);
}

DWORD_PTR Length(HWND box)
{
    DWORD_PTR len = 0;
    ::SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 60000, &len);
    return len;
}

} // namespace

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 10;
    // Numbered lines, so that a line lost, doubled or out of order shows.
    std::string report;
    report.reserve(static_cast<size_t>(megabytes) * 1048576 + 64);
    for (int i = 0; report.size() < static_cast<size_t>(megabytes) * 1048576; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "%08d P0420 catalyst efficiency below threshold bank 1 \xB0\xE9\r\n", i);
        report += line;
    }
    ScratchFolder dir("bench-report");
    {
        FILE* f = _wfopen(dir.Windows("report.bin").c_str(), L"wb");
        if (!f)
            return 2;
        fwrite(report.data(), 1, report.size(), f);
        fclose(f);
    }
    Installation inst;
    kelvo::plug::CSimulatedTool tool;
    if (!PlugTool(tool, 6, {"--report", dir.Unix() + "/report.bin", "--report-on-demand", "--report-delay", "0",
                            "--chunk", "4096", "--pace", "0"}))
        return 2;
    KelvoWithTool kelvo;
    std::string why;
    if (!kelvo.Start(inst, &why)) {
        std::printf("%s\n", why.c_str());
        return 2;
    }
    RECT c;
    ::GetClientRect(kelvo.Main(), &c);
    const int d = (c.right - 100) / 5;
    ClickClient(kelvo.Main(), 20 + (d + 15) + d / 2, 120);
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = FindDescendant(kelvo.Main(), 1034)) && ::IsWindowVisible(box); }, 10000))
        return 2;
    ::Sleep(2000);

    std::wstring want;
    want.reserve(report.size());
    for (unsigned char b : report)
        want.push_back(static_cast<wchar_t>(b));
    tool.StartReport();
    const DWORD start = ::GetTickCount();
    DWORD slowest = 0;
    DWORD_PTR len = 0;
    while ((len = Length(box)) < want.size() && ::GetTickCount() - start < 600000) {
        // How long the window takes to answer, as a click would wait.
        const DWORD t0 = ::GetTickCount();
        DWORD_PTR r = 0;
        ::SendMessageTimeoutW(kelvo.Main(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
        slowest = std::max<DWORD>(slowest, ::GetTickCount() - t0);
        ::Sleep(50);
    }
    const DWORD ms = ::GetTickCount() - start;
    const std::wstring got = BoxText(box);
    const bool exact = got == want;
    if (!exact) {
        size_t same = 0;
        while (same < got.size() && same < want.size() && got[same] == want[same])
            ++same;
        std::printf("box: %u characters against %u, the same up to %u: '%s'\n", unsigned(got.size()),
                    unsigned(want.size()), unsigned(same), Narrow(got.substr(same > 20 ? same - 20 : 0, 60)).c_str());
    }
    std::printf("report: %d MB (%u bytes) in %lu ms: %.0f KB/s; box %s\n", megabytes, unsigned(report.size()),
                static_cast<unsigned long>(ms), report.size() / 1024.0 / (ms / 1000.0),
                exact ? "holds it byte for byte" : "DIFFERS");
    std::printf("slowest answer of the main window during the capture: %lu ms\n", static_cast<unsigned long>(slowest));

    // The Unix process's own account (Wine's process times of another process are empty).
    const std::string folder = Narrow(inst.Folder());
    const std::string tag = folder.substr(folder.find("kelvo-e2e-"), folder.size() - folder.find("kelvo-e2e-") - 1);
    const std::string out = dir.Unix() + "/cpu";
    const std::string ticks = "p=$(pgrep -f '" + tag + ".Kelvo.exe' | head -n 1); awk '{print $14+$15}' /proc/$p/stat";
    RunUnixAndWait("(" + ticks + "; sleep 10; " + ticks + "; getconf CLK_TCK) > " + out);
    const std::string cpu = ReadWholeFile(dir.Windows("cpu"));
    long t0 = 0, t1 = 0, hz = 100;
    if (std::sscanf(cpu.c_str(), "%ld %ld %ld", &t0, &t1, &hz) == 3 && hz > 0)
        std::printf("idle capture afterwards: %.2f %% of a core\n", (t1 - t0) * 100.0 / hz / 10.0);
    else
        std::printf("idle capture afterwards: not measured (%s)\n", cpu.c_str());
    kelvo.Close();
    return exact ? 0 : 1;
}
