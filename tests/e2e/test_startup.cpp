// Start-up of Kelvo.exe under Wine: the main window, one running copy, the
// language check and the language index rules.
#include "e2e/support/driver.h"
#include "support/installed_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace kelvo::e2e;

namespace {

const DWORD kStartMs = 60000;  // generous: a loaded machine starts Wine programs slowly

std::string ConfigWithLanguage(int language)
{
    return kelvo::test::InstalledSettings(language, "http://127.0.0.1:9/Update/");
}

void CloseMainWindow(KelvoProcess& kelvo, HWND main)
{
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u) << "ExitInstance's result is the exit code";
}

} // namespace

TEST(Startup, OpensItsBorderlessMainWindowAndClosesWithExitCode1)
{
    Installation inst;
    KelvoProcess kelvo(inst);
    ASSERT_TRUE(kelvo.Started());
    HWND main = kelvo.WaitMainWindow(kStartMs);
    ASSERT_NE(main, nullptr) << "no main window";
    EXPECT_FALSE(WindowText(main).empty()) << "the title comes from text 0";
    LONG style = ::GetWindowLongW(main, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_NE(style & WS_CAPTION, WS_CAPTION) << "no caption bar";
    EXPECT_FALSE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX) << "its taskbar button minimises it";
    // Centred on the monitor under the pointer, inside its work area.
    RECT wr{}, work{};
    ::GetWindowRect(main, &wr);
    POINT cursor{};
    ::GetCursorPos(&cursor);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &mi));
    work = mi.rcWork;
    EXPECT_GE(wr.left, work.left);
    EXPECT_GE(wr.top, work.top);
    EXPECT_LE(wr.right, work.right);
    EXPECT_LE(wr.bottom, work.bottom);
    EXPECT_LE(std::abs((wr.left - work.left) - (work.right - wr.right)), 1);
    EXPECT_LE(std::abs((wr.top - work.top) - (work.bottom - wr.bottom)), 1);
    ::Sleep(500);
    Screenshot(main, L"startup-main-window");
    // What the taskbar button sends: minimised, and restored by the next click.
    ::PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitFor([&] { return ::IsIconic(main) != FALSE; }, 5000)) << "minimised";
    ::PostMessageW(main, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsIconic(main); }, 5000)) << "restored";
    CloseMainWindow(kelvo, main);
}

TEST(Startup, SecondCopyBringsTheFirstForwardRestoredAndEndsWithExitCode1)
{
    Installation inst;
    KelvoProcess first(inst);
    HWND main = first.WaitMainWindow(kStartMs);
    ASSERT_NE(main, nullptr);
    ::Sleep(500);
    ::ShowWindow(main, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return ::IsIconic(main) != FALSE; }, 5000));

    KelvoProcess second(inst);
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitExit(kStartMs), 1u);
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(TopWindows(second.Pid()).size(), 0u);
    EXPECT_EQ(TopWindows(first.Pid()).size(), 1u);
    EXPECT_TRUE(WaitFor([&] { return !::IsIconic(main); }, 5000)) << "restored";
    EXPECT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == main; }, 5000)) << "in front";
    CloseMainWindow(first, main);
}

TEST(Startup, MissingTableOfTheChosenLanguageStopsWithLanguageError)
{
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", ConfigWithLanguage(9));
    inst.Remove(L"language\\ru_TEXT.cbf");
    KelvoProcess kelvo(inst);
    HWND box = WaitWindow(kelvo.Pid(), L"ERROR", kStartMs);
    ASSERT_NE(box, nullptr) << "no message box with the caption ERROR";
    EXPECT_NE(ChildTexts(box).find(L"Language error"), std::wstring::npos) << "box texts: " << ChildTexts(box).size();
    Screenshot(box, L"startup-language-error");
    EXPECT_EQ(kelvo.WaitMainWindow(500), nullptr) << "no main window before the box is answered";
    PressButton(box, IDOK);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    EXPECT_EQ(TopWindows(kelvo.Pid()).size(), 0u);
}

TEST(Startup, MissingEnglishTableStopsWithLanguageErrorToo)
{
    Installation inst;
    inst.Remove(L"language\\en_TEXT.cbf");
    KelvoProcess kelvo(inst);
    HWND box = WaitWindow(kelvo.Pid(), L"ERROR", kStartMs);
    ASSERT_NE(box, nullptr);
    PressButton(box, IDOK);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}

TEST(Startup, RussianTablePresentStartsInRussian)
{
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", ConfigWithLanguage(9));
    KelvoProcess kelvo(inst);
    HWND main = kelvo.WaitMainWindow(kStartMs);
    ASSERT_NE(main, nullptr);
    std::wstring title = WindowText(main);
    bool cyrillic = false;
    for (wchar_t c : title)
        cyrillic |= c >= 0x0400 && c <= 0x04FF;
    // The Russian title may be the brand name alone; the status text is Russian for sure.
    std::wstring all = title + ChildTexts(main);
    for (wchar_t c : all)
        cyrillic |= c >= 0x0400 && c <= 0x04FF;
    EXPECT_TRUE(cyrillic) << "texts are converted with code page 1251";
    ::Sleep(500);
    Screenshot(main, L"startup-main-window-ru");
    CloseMainWindow(kelvo, main);
}

namespace {
// An English table whose title holds byte 0x80: the euro sign in code page
// 1252, the control character U+0080 in 28591.
bool WriteEuroTable(const Installation& inst)
{
    const std::wstring bin = Env(L"KELVO_BIN");
    std::wstring out = inst.Path(L"language\\en_TEXT.cbf");
    ::DeleteFileW(out.c_str());
    inst.WriteFile(L"euro.txt", "@codepage 1252\n0\tKelvo \xE2\x82\xAC\n58\tNo scan tool connected\n");
    const std::string unixSrc = UnixPathOf(inst.Path(L"euro.txt"));
    const std::string unixOut = UnixPathOf(inst.Path(L"language"));
    if (unixSrc.empty() || unixOut.empty())
        return false;
    RunUnix(std::string(bin.begin(), bin.end()) + "/bin/kelvo-textc '" + unixSrc + "' '" + unixOut + "/en_TEXT.cbf'");
    return WaitFor([&] { return ::GetFileAttributesW(out.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
}
} // namespace

TEST(Startup, LanguageOutsideTheTableKeepsEnglishWithCodePage28591)
{
    Installation inst;
    ASSERT_TRUE(WriteEuroTable(inst));
    {
        inst.WriteFile(L"Kelvo.cfg", ConfigWithLanguage(12));
        KelvoProcess kelvo(inst);
        HWND main = kelvo.WaitMainWindow(kStartMs);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(WindowText(main), std::wstring(L"Kelvo \u0080")) << "byte 0x80 read as ISO 8859-1";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }
    {
        inst.WriteFile(L"Kelvo.cfg", ConfigWithLanguage(0));
        KelvoProcess kelvo(inst);
        HWND main = kelvo.WaitMainWindow(kStartMs);
        ASSERT_NE(main, nullptr);
        const UINT acp = ::GetACP();
        if (acp == 1252) {
            EXPECT_EQ(WindowText(main), std::wstring(L"Kelvo \u20AC")) << "English uses the system ANSI code page";
        }
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }
}
