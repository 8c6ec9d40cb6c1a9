// The report page under Wine with the simulated QB345 sending its report, and
// printing on the test run's own cups-pdf printer: what arrives in the box,
// leaving and coming back, the keyboard, the clipboard, the printed PDF, and
// closing Kelvo while a report streams in.
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <regex>

using namespace kelvo::e2e;
using kelvo::plug::CSimulatedTool;

namespace {

constexpr int kIdBox = 1034, kIdPrint = 1035, kIdClear = 1036, kIdCopy = 1037;

std::wstring Latin1(const std::string& bytes)
{
    std::wstring w;
    for (unsigned char c : bytes)
        if (c)
            w.push_back(static_cast<wchar_t>(c));
    return w;
}

// The whole text of a window of another process.
std::wstring BoxText(HWND box)
{
    DWORD_PTR len = 0;
    if (!::SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &len))
        return L"?";
    std::vector<wchar_t> buf(len + 2, 0);
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(box, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_NORMAL, 20000,
                          &got);
    return std::wstring(buf.data(), got);
}

int ThreadsOf(DWORD pid)
{
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    int n = 0;
    for (BOOL ok = ::Thread32First(snap, &te); ok; ok = ::Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == pid)
            ++n;
    ::CloseHandle(snap);
    return n;
}

// Report lines of every byte from 0x80 to 0xFF, some zero bytes among them.
std::string Report(int lines, int width = 40)
{
    std::string r;
    int high = 0x80;
    for (int i = 0; i < lines; ++i) {
        char head[32];
        std::snprintf(head, sizeof head, "%04d P0%03d ", i, i % 1000);
        std::string line = head;
        while (static_cast<int>(line.size()) < width) {
            line.push_back(static_cast<char>(high));
            high = high == 0xFF ? 0x80 : high + 1;
        }
        if (i % 7 == 3)
            line.insert(6, std::string(1, '\0'));
        r += line + "\r\n";
    }
    return r;
}

// Kelvo with the simulated tool that sends `report` on demand, its report page shown.
class ReportRun {
public:
    bool Start(const std::string& report, int chunk, std::string* why, int paceMs = 1)
    {
        m_file = m_dir.Unix() + "/report.bin";
        {
            const std::wstring w = m_dir.Windows("report.bin");
            FILE* f = _wfopen(w.c_str(), L"wb");
            if (!f) {
                *why = "cannot write the report file";
                return false;
            }
            fwrite(report.data(), 1, report.size(), f);
            fclose(f);
        }
        if (!PlugTool(m_tool, 6, {"--report", m_file, "--report-on-demand", "--report-delay", "0", "--chunk",
                                  std::to_string(chunk), "--pace", std::to_string(paceMs)})) {
            *why = "the simulator did not start";
            return false;
        }
        if (!m_kelvo.Start(m_inst, why))
            return false;
        ShowReportPage();
        m_box = FindDescendant(Main(), kIdBox);
        if (!m_box || !WaitFor([&] { return ::IsWindowVisible(m_box) != FALSE; }, 10000)) {
            *why = "the report page did not appear";
            return false;
        }
        return true;
    }
    void ShowTab(int tab)
    {
        RECT c;
        ::GetClientRect(Main(), &c);
        const int d = (c.right - 100) / 5;
        ClickClient(Main(), 20 + tab * (d + 15) + d / 2, 120);
    }
    void ShowReportPage() { ShowTab(1); }
    // The tool sends its report; true once the box holds `text`.
    bool Receives(const std::wstring& text, DWORD ms = 60000)
    {
        m_tool.StartReport();
        return WaitFor([&] { return BoxText(m_box) == text; }, ms, 100);
    }
    void Click(int id)
    {
        HWND b = FindDescendant(Main(), id);
        RECT r;
        ::GetClientRect(b, &r);
        ClickClient(b, r.right / 2, r.bottom / 2);
    }
    HWND Main() const { return m_kelvo.Main(); }
    HWND Box() const { return m_box; }
    KelvoWithTool& Kelvo() { return m_kelvo; }
    CSimulatedTool& Tool() { return m_tool; }

private:
    Installation m_inst;
    ScratchFolder m_dir{"report"};
    std::string m_file;
    CSimulatedTool m_tool;
    KelvoWithTool m_kelvo;
    HWND m_box = nullptr;
};

} // namespace

TEST(ReportPage, AReportArrivesExactlyInOneBytePiecesAndIn4096BytePieces)
{
    const std::string report = Report(60);
    for (int chunk : {1, 4096}) {
        ReportRun run;
        std::string why;
        ASSERT_TRUE(run.Start(report, chunk, &why)) << why;
        EXPECT_EQ(BoxText(run.Box()), L"") << "nothing before the tool sends";
        EXPECT_TRUE(run.Receives(Latin1(report))) << "pieces of " << chunk << ": "
                                                   << BoxText(run.Box()).size() << " of " << Latin1(report).size();
        ::Sleep(300);
        Screenshot(run.Main(), chunk == 1 ? L"report-received-1-byte-pieces" : L"report-received-4096-byte-pieces");
        EXPECT_EQ(run.Kelvo().Close(), 1u);
    }
}

TEST(ReportPage, LeavingAndComingBackEmptiesTheBoxAndLeavesOneReader)
{
    const std::string report = Report(30);
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 64, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    const DWORD pid = run.Kelvo().Process().Pid();
    ::Sleep(500);
    const int capturing = ThreadsOf(pid);

    run.ShowTab(0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(run.Box()); }, 5000));
    EXPECT_EQ(BoxText(run.Box()), L"") << "leaving empties the box";
    EXPECT_TRUE(WaitFor([&] { return ThreadsOf(pid) == capturing - 1; }, 5000)) << "the reader ended";
    // Back and forth quickly, as a user clicking about does.
    for (int i = 0; i < 3; ++i) {
        run.ShowReportPage();
        run.ShowTab(0);
    }
    run.ShowReportPage();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(run.Box()) != FALSE; }, 5000));
    ::Sleep(1500);
    EXPECT_EQ(ThreadsOf(pid), capturing) << "one reader";
    EXPECT_TRUE(run.Receives(Latin1(report))) << "the report once, nothing of the earlier capture";
    Screenshot(run.Main(), L"report-after-coming-back");
    EXPECT_EQ(run.Kelvo().Close(), 1u);
}

TEST(ReportPage, EnterMakesANewLineInTheBoxAndNowhereElse)
{
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start("x", 64, &why)) << why;
    // Print with an empty box does nothing, and leaves the focus on its button.
    run.Click(kIdPrint);
    KeyPress(run.Main(), VK_RETURN);
    KeyPress(run.Main(), VK_ESCAPE);
    ::Sleep(1500);
    EXPECT_EQ(WaitWindow(run.Kelvo().Process().Pid(), L"Print", 500), nullptr) << "no print dialog";
    EXPECT_TRUE(::IsWindowVisible(run.Box())) << "Escape does not hide the page";

    RECT r;
    ::GetClientRect(run.Box(), &r);
    ClickClient(run.Box(), 20, 20);
    KeyPress(run.Box(), 'A');
    KeyPress(run.Box(), VK_RETURN);
    KeyPress(run.Box(), 'B');
    EXPECT_TRUE(WaitFor([&] { return BoxText(run.Box()) == L"a\r\nb"; }, 5000)) << Narrow(BoxText(run.Box()));
    Screenshot(run.Main(), L"report-enter-new-line");
    EXPECT_EQ(run.Kelvo().Close(), 1u);
}

TEST(ReportPage, CopyPutsTheExactTextOnTheClipboardAndAnEmptyBoxLeavesItAlone)
{
    // Printable characters of the ANSI code page, each its own byte there.
    std::string report;
    for (int i = 0; i < 8; ++i) {
        for (int c = 0x20; c < 0x7F; ++c)
            report.push_back(static_cast<char>(c));
        for (int c = 0xA0; c <= 0xFF; ++c)
            report.push_back(static_cast<char>(c));
        report += "\r\n";
    }
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 100, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    auto clipboard = [] {
        std::string text = "<closed>";
        if (::OpenClipboard(nullptr)) {
            text.clear();
            if (HANDLE h = ::GetClipboardData(CF_TEXT)) {
                if (const char* p = static_cast<const char*>(::GlobalLock(h))) {
                    text = p;
                    ::GlobalUnlock(h);
                }
            }
            ::CloseClipboard();
        }
        return text;
    };
    run.Click(kIdCopy);
    EXPECT_TRUE(WaitFor([&] { return clipboard() == report; }, 5000)) << clipboard().size();

    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, 9);
    std::memcpy(::GlobalLock(block), "sentinel", 9);
    ::GlobalUnlock(block);
    ::SetClipboardData(CF_TEXT, block);
    ::CloseClipboard();
    run.Click(kIdClear);
    ASSERT_TRUE(WaitFor([&] { return BoxText(run.Box()).empty(); }, 5000));
    run.Click(kIdCopy);
    ::Sleep(1000);
    EXPECT_EQ(clipboard(), "sentinel");
    EXPECT_EQ(run.Kelvo().Close(), 1u);
}

TEST(ReportPage, ClosingKelvoWhileAReportStreamsInEndsCleanlyTwentyTimes)
{
    const std::string report = Report(3000, 60);
    for (int i = 0; i < 20; ++i) {
        ReportRun run;
        std::string why;
        ASSERT_TRUE(run.Start(report, 64, &why)) << "round " << i << ": " << why;
        run.Tool().StartReport();
        ASSERT_TRUE(WaitFor([&] { return BoxText(run.Box()).size() > 500; }, 20000)) << "round " << i;
        ::Sleep(static_cast<DWORD>(37 * i % 300));
        EXPECT_EQ(run.Kelvo().Close(), 1u) << "round " << i;
    }
}
