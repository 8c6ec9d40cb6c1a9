// The report page under Wine with the simulated QB345 sending its report, and
// printing on the test run's own cups-pdf printer: what arrives in the box,
// leaving and coming back, the keyboard, the clipboard, the printed PDF, and
// closing Kelvo while a report streams in.
#include "e2e/support/scenario.h"
#include "support/remove_tree_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <regex>

using namespace kelvo::e2e;
using kelvo::plug::CSimulatedTool;

namespace {

constexpr int kIdBox = 1034, kIdPrint = 1035, kIdClear = 1036, kIdCopy = 1037, kIdOpen = 1038;

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
    // A silent serial device listed before the tool (USBSER000 = COM5, the tool
    // USBSER001) when `otherPortFirst`.
    bool Start(const std::string& report, int chunk, std::string* why, int paceMs = 1, bool otherPortFirst = false)
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
        if (otherPortFirst &&
            !m_other.Plug("QB345", 5, 0, {"--silent", "C9", "--report", m_file, "--report-on-demand", "--report-delay",
                                           "0"}, false, false)) {
            *why = "the other serial device did not start";
            return false;
        }
        m_options = {"--report", m_file, "--report-on-demand", "--report-delay", "0", "--chunk", std::to_string(chunk),
                     "--pace", std::to_string(paceMs)};
        if (!m_tool.Plug("QB345", 6, otherPortFirst ? 1 : 0, m_options, true, false)) {
            *why = "the simulator did not start";
            return false;
        }
        if (!m_kelvo.Start(m_inst, why))
            return false;
        const int identified = Identifications();
        ShowReportPage();
        // The page is made by the click.
        if (!WaitFor([&] { return (m_box = FindDescendant(Main(), kIdBox)) && ::IsWindowVisible(m_box); }, 10000)) {
            *why = "the report page did not appear";
            return false;
        }
        // The page identifies the tool before its reader starts.
        if (!WaitFor([&] { return Identifications() > identified; }, 10000)) {
            *why = "the report page did not identify the tool";
            return false;
        }
        Settle();
        return true;
    }
    // Identify requests the tool has received.
    int Identifications() const
    {
        const std::string log = m_tool.ReadLog();
        int n = 0;
        for (size_t at = 0; (at = log.find("< 46 58 C9", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }
    // Until no identification has come for a second (the clicks are handled).
    void Settle()
    {
        int last = Identifications();
        for (int quiet = 0; quiet < 10;) {
            ::Sleep(100);
            const int now = Identifications();
            quiet = now == last ? quiet + 1 : 0;
            last = now;
        }
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
        if (WaitFor([&] { return BoxText(m_box) == text; }, ms, 100))
            return true;
        const std::wstring got = BoxText(m_box);
        size_t same = 0;
        while (same < got.size() && same < text.size() && got[same] == text[same])
            ++same;
        std::printf("box: %u characters against %u, the same up to %u\n", unsigned(got.size()), unsigned(text.size()),
                    unsigned(same));
        return false;
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
    CSimulatedTool& Other() { return m_other; }
    // The tool's cable out and in again, unnoticed by Kelvo (no device change).
    bool Replug() { return m_tool.Plug("QB345", 6, 0, m_options, true, false); }
    // Kelvo closed and started again, its report page shown.
    bool Restart(std::string* why)
    {
        if (m_kelvo.Close() != 1u)
            return *why = "Kelvo did not close", false;
        if (!m_kelvo.Start(m_inst, why))
            return false;
        const int identified = Identifications();
        ShowReportPage();
        if (!WaitFor([&] { return (m_box = FindDescendant(Main(), kIdBox)) && ::IsWindowVisible(m_box); }, 10000))
            return *why = "the report page did not appear", false;
        WaitFor([&] { return Identifications() > identified; }, 10000);
        Settle();
        return true;
    }

private:
    Installation m_inst;
    ScratchFolder m_dir{"report"};
    std::string m_file;
    std::vector<std::string> m_options;
    CSimulatedTool m_other;
    CSimulatedTool m_tool;
    KelvoWithTool m_kelvo;
    HWND m_box = nullptr;
};

} // namespace

TEST(ReportPage, AReportArrivesExactlyInOneBytePiecesAndIn4096BytePieces)
{
    for (int chunk : {1, 4096}) {
        // The larger one is beyond an edit box's default limit (and 64 KB).
        const std::string report = Report(chunk == 1 ? 60 : 2000);
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

TEST(ReportPage, AReportSurvivesAVisitToAnotherPageAndOneReaderRuns)
{
    const std::string report = Report(30);
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 64, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    const DWORD pid = run.Kelvo().Process().Pid();
    ::Sleep(500);
    const int capturing = ThreadsOf(pid);

    // A code of the report looked up on the codes page, then back.
    run.ShowTab(2);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(run.Box()); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return ThreadsOf(pid) == capturing - 1; }, 5000)) << "the reader ended";
    run.ShowReportPage();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(run.Box()) != FALSE; }, 5000));
    run.Settle();
    EXPECT_EQ(BoxText(run.Box()), Latin1(report)) << "the report is kept";
    Screenshot(run.Main(), L"report-kept-after-a-visit");
    run.Click(kIdClear);
    ASSERT_TRUE(WaitFor([&] { return BoxText(run.Box()).empty(); }, 5000)) << "the user empties it";

    run.ShowTab(0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(run.Box()); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return ThreadsOf(pid) == capturing - 1; }, 5000)) << "the reader ended";
    // Back and forth quickly, as a user clicking about does.
    for (int i = 0; i < 3; ++i) {
        run.ShowReportPage();
        run.ShowTab(0);
    }
    run.ShowReportPage();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(run.Box()) != FALSE; }, 5000));
    run.Settle();
    EXPECT_EQ(ThreadsOf(pid), capturing) << "one reader";
    EXPECT_TRUE(run.Receives(Latin1(report))) << "the report once, nothing of the earlier capture";
    Screenshot(run.Main(), L"report-after-coming-back");

    // Leaving while a report streams in: what came before the switch stays,
    // nothing read after it is added.
    run.Click(kIdClear);
    ASSERT_TRUE(WaitFor([&] { return BoxText(run.Box()).empty(); }, 5000));
    run.Tool().StartReport();
    ::Sleep(20);
    run.Tool().StartReport();
    ASSERT_TRUE(WaitFor([&] { return BoxText(run.Box()).size() > 200; }, 10000));
    run.ShowTab(0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(run.Box()); }, 5000));
    const std::wstring kept = BoxText(run.Box());
    ::Sleep(1500);
    EXPECT_GE(kept.size(), 200u) << "what came before the switch stays";
    EXPECT_EQ(BoxText(run.Box()), kept) << "nothing is added while another page is current";
    EXPECT_EQ(run.Kelvo().Close(), 1u);
}

TEST(ReportPage, TheCaptureReadsTheIdentifiedToolsPortNotTheFirstListed)
{
    const std::string report = Report(20);
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 64, &why, 1, true)) << why;
    ASSERT_NE(StatusText(run.Main()).find(L" --- QB345"), std::wstring::npos);
    run.Other().StartReport();
    EXPECT_TRUE(run.Receives(Latin1(report))) << "the tool's report, and only it";
    EXPECT_EQ(run.Kelvo().Close(), 1u);
}

TEST(ReportPage, AReaderWhosePortDiedOpensItAgain)
{
    const std::string report = Report(20);
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 64, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    run.Tool().Unplug(false);
    ::Sleep(500);
    ASSERT_TRUE(run.Replug());
    ::Sleep(1500);
    const std::wstring twice = Latin1(report) + Latin1(report);
    EXPECT_TRUE(run.Receives(twice)) << "the report of the tool plugged in again follows the first";
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
    // The same as Unicode text: the report's bytes are ISO 8859-1 characters,
    // whatever the system's code page can hold.
    auto unicode = [] {
        std::wstring text = L"<closed>";
        if (::OpenClipboard(nullptr)) {
            text.clear();
            if (HANDLE h = ::GetClipboardData(CF_UNICODETEXT)) {
                if (const wchar_t* p = static_cast<const wchar_t*>(::GlobalLock(h))) {
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
    EXPECT_EQ(unicode(), Latin1(report)) << "CF_UNICODETEXT holds the report";

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

    // Characters of the report that the ANSI code page lacks (bytes 0x80 to
    // 0x9F are U+0080 to U+009F) are copied as they are, not as "?".
    const std::wstring beyond = L"P0135 \u0080\u0085\u009F caf\u00E9 a\u00F1o \u00FCber";
    DWORD_PTR done = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(run.Box(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(beyond.c_str()), SMTO_NORMAL,
                                      10000, &done));
    run.Click(kIdCopy);
    EXPECT_TRUE(WaitFor([&] { return unicode() == beyond; }, 5000)) << Narrow(unicode());
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

namespace {

// A grey-scale page that pdftoppm wrote (binary PGM).
struct Gray {
    int w = 0, h = 0;
    std::string px;
    bool Load(const std::string& bytes)
    {
        int maxval = 0, used = 0;
        if (std::sscanf(bytes.c_str(), "P5 %d %d %d%n", &w, &h, &maxval, &used) != 3 || maxval != 255)
            return false;
        px = bytes.substr(static_cast<size_t>(used) + 1);
        return px.size() >= static_cast<size_t>(w) * static_cast<size_t>(h);
    }
    bool Dark(int x, int y) const { return static_cast<unsigned char>(px[static_cast<size_t>(y) * w + x]) < 128; }
    int DarkInRow(int y, int x0, int x1) const
    {
        int n = 0;
        for (int x = x0; x < x1; ++x)
            n += Dark(x, y);
        return n;
    }
};

// Bands of consecutive rows for which `row` holds, as (first, last) pairs.
std::vector<std::pair<int, int>> Bands(int y0, int y1, const std::function<bool(int)>& row)
{
    std::vector<std::pair<int, int>> out;
    for (int y = y0; y < y1; ++y) {
        if (!row(y))
            continue;
        if (!out.empty() && out.back().second == y - 1)
            out.back().second = y;
        else
            out.push_back({y, y});
    }
    return out;
}

std::vector<std::string> Split(const std::string& text, char sep)
{
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == sep)
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(' ');
    const size_t b = s.find_last_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

} // namespace

TEST(ReportPage, PrintMakesAPdfWithTitleRulesWrappedLinesFooterAndPageNumbers)
{
    const std::string pdfDir = Narrow(Env(L"KELVO_PDF_DIR"));
    ASSERT_FALSE(pdfDir.empty()) << "the test run has no printer: " << Narrow(Env(L"KELVO_NO_PRINTER"));
    const std::string longLine =
        "Freeze frame: engine load 41 %, coolant 90 C, short term fuel trim bank 1 -3.1 %, long term fuel trim "
        "bank 1 +2.4 %, intake pressure 38 kPa, engine speed 812 rpm, vehicle speed 0 km/h, timing advance 9.5";
    std::string report = "\r\nQB345 REPORT\r\n" + longLine + "\r\nCoolant 90\xB0\r\n\r\n";
    for (int i = 1; i <= 100; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "Line %03d P0%03d stored\r\n", i, 100 + i);
        report += line;
    }
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 4096, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    RunUnixAndWait("rm -f '" + pdfDir + "'/*.pdf");

    run.Click(kIdPrint);
    HWND dialog = WaitWindow(run.Kelvo().Process().Pid(), L"Print", 20000);
    ASSERT_NE(dialog, nullptr) << "the print dialog";
    ::Sleep(500);
    Screenshot(dialog, L"report-print-dialog");
    KeyPress(dialog, VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog); }, 10000));

    // cups-pdf writes the file when the job is done.
    const std::string work = Narrow(Env(L"KELVO_BIN")) + "/e2e";
    std::string pdf;
    ASSERT_TRUE(WaitFor(
        [&] {
            RunUnixAndWait("ls -t '" + pdfDir + "'/*.pdf 2>/dev/null | head -n 1 > '" + work + "/report-pdf-name'");
            pdf = Trim(Split(ReadWholeFile(WindowsPathOf(work + "/report-pdf-name")), '\n')[0]);
            return !pdf.empty();
        },
        60000, 500))
        << "no PDF in " << pdfDir;
    ::Sleep(1000);
    ASSERT_TRUE(RunUnixAndWait("cp '" + pdf + "' '" + work + "/report-printed.pdf' && pdftotext -layout '" + work +
                               "/report-printed.pdf' '" + work + "/report-printed.txt' && pdftoppm -r 100 -gray '" +
                               work + "/report-printed.pdf' '" + work + "/report-page' && pdftoppm -r 50 -png '" +
                               work + "/report-printed.pdf' '" + work + "/report-page'"));
    std::string text = ReadWholeFile(WindowsPathOf(work + "/report-printed.txt"));
    // pdftotext gives the hyphen as a soft hyphen.
    for (size_t at; (at = text.find("\xC2\xAD")) != std::string::npos;)
        text.replace(at, 2, "-");
    std::vector<std::string> pages = Split(text, '\f');
    while (!pages.empty() && Trim(pages.back()).empty())
        pages.pop_back();
    ASSERT_EQ(pages.size(), 3u) << text;

    // Every page: the title first, the date and time and its number last.
    // (pdftotext drops the spaces of "- 1 -".)
    const std::regex footer("^(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}) +- ?(\\d+) ?-$");
    std::string time;
    std::vector<std::vector<std::string>> bodies;
    for (size_t p = 0; p < pages.size(); ++p) {
        std::vector<std::string> lines;
        for (const std::string& l : Split(pages[p], '\n'))
            lines.push_back(Trim(l));
        while (!lines.empty() && lines.back().empty())
            lines.pop_back();
        ASSERT_GE(lines.size(), 3u);
        size_t first = 0;
        while (lines[first].empty())
            ++first;
        EXPECT_EQ(lines[first], "Kelvo") << "page " << p + 1;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines.back(), m, footer)) << "page " << p + 1 << ": " << lines.back();
        EXPECT_EQ(std::stoi(m[2]), static_cast<int>(p + 1));
        if (time.empty())
            time = m[1];
        EXPECT_EQ(m[1], time) << "one time on every page";
        bodies.emplace_back(lines.begin() + static_cast<long>(first) + 1, lines.end() - 1);
    }
    // The body: no leading empty line, the long line broken after a word,
    // the degree sign on its own line, the empty line kept.
    std::vector<std::string> body;
    for (auto& b : bodies) {
        while (!b.empty() && b.front().empty())
            b.erase(b.begin());
        body.insert(body.end(), b.begin(), b.end());
    }
    ASSERT_GE(body.size(), 6u);
    EXPECT_EQ(body[0], "QB345 REPORT");
    // Broken after spaces only: its pieces joined by one space give it back.
    std::string joined = body[1];
    size_t k = 2;
    for (; k < body.size() && joined.size() < longLine.size(); ++k)
        joined += " " + body[k];
    EXPECT_GT(k, 3u) << "the long line is broken";
    EXPECT_EQ(joined, longLine);
    EXPECT_EQ(body[k], "Coolant 90\xC2\xB0") << "the degree sign does not take the line end with it";
    std::vector<std::string> rest;
    for (size_t i = k + 1; i < body.size(); ++i)
        if (!body[i].empty())
            rest.push_back(body[i]);
    ASSERT_EQ(rest.size(), 100u);
    EXPECT_EQ(rest.front(), "Line 001 P0101 stored");
    EXPECT_EQ(rest.back(), "Line 100 P0200 stored");
    const size_t coolant = k;  // its index among the non-empty lines of page 1 (none before it is empty)

    // In pixels: two rules across the page between the margins, the body's
    // left edge at the margin, as many text lines on page 1 as the text has.
    for (int p = 1; p <= 3; ++p) {
        Gray g;
        ASSERT_TRUE(g.Load(ReadWholeFile(WindowsPathOf(work + "/report-page-" + std::to_string(p) + ".pgm"))));
        const int margin = 100 * 25 * 4 / 300;  // 25 points at the printer's 300 dpi, here at 100 dpi
        const auto rules = Bands(0, g.h, [&](int y) {
            return g.DarkInRow(y, margin + 5, g.w - margin - 5) > (g.w - 2 * margin - 10) * 95 / 100;
        });
        ASSERT_EQ(rules.size(), 2u) << "page " << p;
        EXPECT_LT(rules[0].second, g.h / 10) << "the title's rule";
        EXPECT_GT(rules[1].first, g.h * 9 / 10) << "the footer's rule";
        for (const auto& r : rules) {
            EXPECT_LE(r.second - r.first + 1, 5) << "10 printer pixels thick";
            EXPECT_FALSE(g.Dark(margin - 3, (r.first + r.second) / 2)) << "starts at the margin";
            EXPECT_FALSE(g.Dark(g.w - margin + 3, (r.first + r.second) / 2)) << "ends at the margin";
        }
        const int top = rules[0].second + 5, bottom = rules[1].first - 5;
        int left = g.w;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < left; ++x)
                if (g.Dark(x, y))
                    left = x;
        EXPECT_GE(left, margin - 1) << "page " << p;
        EXPECT_LE(left, margin + 3) << "page " << p;
        const auto textLines = Bands(top, bottom, [&](int y) { return g.DarkInRow(y, 0, g.w) > 0; });
        size_t expected = 0;
        for (const auto& l : bodies[static_cast<size_t>(p - 1)])
            expected += !l.empty();
        EXPECT_EQ(textLines.size(), expected) << "page " << p;
        if (p == 1) {
            // The empty line after "Coolant": one line pitch more than the others.
            ASSERT_GT(textLines.size(), coolant + 2) << "page 1 holds the lines after \"Coolant\"";
            const int pitch = textLines[coolant + 2].first - textLines[coolant + 1].first;
            const int gap = textLines[coolant + 1].first - textLines[coolant].first;
            EXPECT_NEAR(gap, 2 * pitch, 2);
        }
    }
    EXPECT_EQ(run.Kelvo().Close(), 1u);
}

namespace {

// The report library of the user running the tests (the Wine prefix's
// Documents folder), emptied for each scenario.
std::wstring Library()
{
    wchar_t docs[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, docs);
    return std::wstring(docs) + L"\\Kelvo Reports";
}

void EmptyLibrary()
{
    const std::wstring lib = Library();
    const DWORD a = ::GetFileAttributesW(lib.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY))
        ::DeleteFileW(lib.c_str());
    else
        kelvo::test::RemoveTree(lib);
}

// Names of the library's files, sorted.
std::vector<std::wstring> LibraryFiles()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((Library() + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(fd.cFileName);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

std::string LibraryFile(const std::wstring& name)
{
    std::string bytes;
    FILE* f = _wfopen((Library() + L"\\" + name).c_str(), L"rb");
    if (!f)
        return bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    fclose(f);
    return bytes;
}

std::string Utf8(const std::wstring& w)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring FromUtf8(const std::string& s)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

// A report holding a VIN among bytes of every kind.
std::string VinReport(int lines)
{
    return "QB345 SCAN REPORT\r\nVIN: 1HGCM82633A004352\r\n" + Report(lines);
}

// "YYYY-MM-DD HH-MM-SS " and then `rest`.
bool NamedLike(const std::wstring& name, const std::wstring& rest)
{
    if (name.size() != 20 + rest.size() || name.compare(20, std::wstring::npos, rest) != 0)
        return false;
    for (size_t i = 0; i < 19; ++i) {
        const wchar_t c = name[i];
        const bool sep = i == 4 || i == 7 || i == 13 || i == 16;
        if (i == 10 ? c != L' ' : sep ? c != L'-' : !(c >= L'0' && c <= L'9'))
            return false;
    }
    return true;
}

} // namespace

TEST(ReportLibrary, AReportIsSavedWhenThePageIsLeftAndOpenLoadsItAfterARestart)
{
    EmptyLibrary();
    // An older report, made by hand: the new one must be listed before it.
    ASSERT_TRUE(::CreateDirectoryW(Library().c_str(), nullptr));
    {
        FILE* f = _wfopen((Library() + L"\\2020-01-02 03-04-05 QB345.txt").c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        fputs("an older report\r\n", f);
        fclose(f);
    }
    const std::string report = VinReport(40);
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 64, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    EXPECT_EQ(LibraryFiles().size(), 1u) << "nothing saved while the report may go on";

    run.ShowTab(0);
    ASSERT_TRUE(WaitFor([&] { return LibraryFiles().size() == 2; }, 10000)) << "saved when the page is left";
    std::vector<std::wstring> files = LibraryFiles();
    const std::wstring saved = files[1];
    EXPECT_TRUE(NamedLike(saved, L"QB345 1HGCM82633A004352.txt")) << Narrow(saved);
    EXPECT_EQ(LibraryFile(saved), Utf8(Latin1(report))) << "the text as the box shows it, in UTF-8";
    run.ShowReportPage();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(run.Box()) != FALSE; }, 5000));
    run.ShowTab(0);
    ::Sleep(1500);
    EXPECT_EQ(LibraryFiles().size(), 2u) << "never saved twice";

    ASSERT_TRUE(run.Restart(&why)) << why;
    run.Click(kIdClear);
    ASSERT_TRUE(WaitFor([&] { return BoxText(run.Box()).empty(); }, 5000));
    run.Click(kIdOpen);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (menu = ::FindWindowW(L"#32768", nullptr)) && ::IsWindowVisible(menu); }, 10000))
        << "the list of saved reports";
    ::Sleep(500);
    Screenshot(run.Main(), L"report-open-list");
    KeyPress(run.Main(), VK_DOWN);
    KeyPress(run.Main(), VK_RETURN);
    EXPECT_TRUE(WaitFor([&] { return BoxText(run.Box()) == FromUtf8(LibraryFile(saved)); }, 10000))
        << "the newest report loaded, as saved: " << BoxText(run.Box()).size();
    Screenshot(run.Main(), L"report-opened-from-the-library");
    run.ShowTab(0);
    ::Sleep(1500);
    EXPECT_EQ(LibraryFiles().size(), 2u) << "a loaded report is not saved again";

    // A live report arriving while a saved one is shown is captured and saved too.
    run.ShowReportPage();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(run.Box()) != FALSE; }, 5000));
    run.Settle();
    run.Click(kIdOpen);
    ASSERT_TRUE(WaitFor([&] { return (menu = ::FindWindowW(L"#32768", nullptr)) && ::IsWindowVisible(menu); }, 10000));
    KeyPress(run.Main(), VK_DOWN);
    KeyPress(run.Main(), VK_DOWN);
    KeyPress(run.Main(), VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return BoxText(run.Box()) == L"an older report\r\n"; }, 10000))
        << "the second of the list is the older one";
    EXPECT_TRUE(run.Receives(Latin1(report))) << "the live report takes the box";
    EXPECT_EQ(run.Kelvo().Close(), 1u);
    EXPECT_EQ(LibraryFiles().size(), 3u) << "saved when Kelvo closes";
    EmptyLibrary();
}

TEST(ReportLibrary, TwoReportsFifteenSecondsApartAreTwoFiles)
{
    EmptyLibrary();
    const std::string report = VinReport(10);
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 64, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    ::Sleep(15000);
    EXPECT_EQ(LibraryFiles().size(), 1u) << "saved after ten silent seconds";
    ASSERT_TRUE(run.Receives(Latin1(report) + Latin1(report)));
    ASSERT_TRUE(WaitFor([&] { return LibraryFiles().size() == 2; }, 15000)) << "the second report on its own";
    for (const std::wstring& name : LibraryFiles())
        EXPECT_EQ(LibraryFile(name), Utf8(Latin1(report))) << Narrow(name);
    run.ShowTab(0);
    ::Sleep(1500);
    EXPECT_EQ(LibraryFiles().size(), 2u) << "leaving saves nothing more";
    EXPECT_EQ(run.Kelvo().Close(), 1u);
    EmptyLibrary();
}

TEST(ReportLibrary, AReportIsSavedWhenTheSessionEndsAndWhenTheToolIsUnplugged)
{
    EmptyLibrary();
    const std::string report = VinReport(10);
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 64, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    // Windows ends the session: the process may end without its windows being destroyed.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(run.Main(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &answer));
    ASSERT_EQ(LibraryFiles().size(), 1u) << "saved before the answer";
    EXPECT_EQ(LibraryFile(LibraryFiles()[0]), Utf8(Latin1(report)));

    // A second report, and the tool unplugged.
    ASSERT_TRUE(run.Receives(Latin1(report) + Latin1(report)));
    run.Tool().Unplug(false);
    run.Kelvo().TellDeviceChange();
    ASSERT_TRUE(WaitFor([&] { return LibraryFiles().size() == 2; }, 8000)) << "saved when the tool went away";
    for (const std::wstring& name : LibraryFiles()) {
        EXPECT_EQ(LibraryFile(name), Utf8(Latin1(report))) << Narrow(name);
        EXPECT_TRUE(NamedLike(name, L"QB345 1HGCM82633A004352.txt") ||
                    NamedLike(name, L"QB345 1HGCM82633A004352 (2).txt"))
            << "the model known before the unplug: " << Narrow(name);
    }
    EXPECT_EQ(BoxText(run.Box()), Latin1(report) + Latin1(report)) << "the box keeps both";
    EXPECT_EQ(run.Kelvo().Close(), 1u);
    EXPECT_EQ(LibraryFiles().size(), 2u) << "nothing saved again at the close";
    EmptyLibrary();
}

TEST(ReportLibrary, ALibraryThatCannotBeWrittenIsSaidAndTheBoxKeepsTheReport)
{
    EmptyLibrary();
    // A file where the folder should be: nothing can be written there.
    {
        FILE* f = _wfopen(Library().c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        fputs("in the way", f);
        fclose(f);
    }
    const std::string report = VinReport(20);
    ReportRun run;
    std::string why;
    ASSERT_TRUE(run.Start(report, 64, &why)) << why;
    ASSERT_TRUE(run.Receives(Latin1(report)));
    run.ShowTab(2);
    EXPECT_TRUE(WaitFor([&] { return StatusText(run.Main()).find(L"could not be saved") != std::wstring::npos; },
                        10000))
        << Narrow(StatusText(run.Main()));
    Screenshot(run.Main(), L"report-library-not-writable");
    run.ShowReportPage();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(run.Box()) != FALSE; }, 5000));
    run.Settle();
    EXPECT_EQ(BoxText(run.Box()), Latin1(report)) << "the report is still in the box";
    EXPECT_EQ(run.Kelvo().Close(), 1u);
    EmptyLibrary();
}
