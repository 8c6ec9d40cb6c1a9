// The gallery and the manual page hosted in a real dialog: the slide show's
// timer, hover pause and clicks, its paint; the manual folder's listing and
// the fallback to the shipped reader when no program opens PDF files.
#include "test_controls_support.h"

#include "app/core/TextNumbers.h"
#include "support/remove_tree_win.h"

#include "app/core/globals.h"
#include "app/core/platform.h"
#include "app/core/texts.h"
#include "device/core/DeviceState.h"
#include "dtc/win/SearchDtcPage.h"
#include "ui/win/MannualPage.h"
#include "ui/win/PicturePage.h"
#include "update/win/UpdatePage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

using namespace kelvo::test;

namespace {

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

// ---------------------------------------------------------------- CPicturePage

class PicturePageTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetCursorPos(5, 5);  // keep the real mouse off the page
        ASSERT_TRUE(m_host.Open());
        m_page.SetBackgroundSource(&m_host);
        ASSERT_TRUE(m_page.Create(CPicturePage::IDD, &m_host));
        m_page.MoveWindow(10, 10, 200, 320);
        m_page.ShowWindow(SW_SHOW);
        m_page.UpdateWindow();  // the first paint measures the page
        ASSERT_EQ(200, m_page.m_clientWidth);
    }
    void Tick() { m_page.SendMessage(WM_TIMER, CPicturePage::kTimerId); }

    CHostDialog m_host;
    CPicturePage m_page;
};

TEST_F(PicturePageTest, HoldsTheFourteenProducts)
{
    ASSERT_EQ(14, m_page.PictureCount());
    ASSERT_EQ(14u, m_page.m_modelNames.size());
    EXPECT_EQ(L"QB120", m_page.m_modelNames[0]);
    EXPECT_EQ(L"QB345", m_page.m_modelNames[3]);
    EXPECT_EQ(L"MZR710", m_page.m_modelNames[10]);
    EXPECT_EQ(L"QB1010", m_page.m_modelNames[13]);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(156 + i, m_page.m_pictureIds[static_cast<size_t>(i)]);
    EXPECT_EQ(0, m_page.CurrentIndex());
}

TEST_F(PicturePageTest, TheModelNameIsWrittenInTheSkinsTextColour)
{
    // A dark skin: the name must stand out in the skin's light text colour.
    m_host.m_background = RGB(0x1E, 0x1F, 0x22);
    m_host.m_text = RGB(255, 255, 255);
    RepaintNow(m_page.m_hWnd);
    RECT c;
    m_page.GetClientRect(&c);
    int light = 0;
    for (int y = CPicturePage::kPictureHeight; y < c.bottom; ++y)
        for (int x = 0; x < c.right; x += 2)
            light += GetRValue(PixelAt(m_page.m_hWnd, x, y)) > 200;
    EXPECT_GT(light, 20) << "the model name in white on the dark frame";
}

TEST_F(PicturePageTest, TimerCyclesThroughAllPicturesAndWraps)
{
    for (int i = 1; i <= 13; ++i) {
        Tick();
        ASSERT_EQ(i, m_page.CurrentIndex());
    }
    Tick();
    EXPECT_EQ(0, m_page.CurrentIndex());
}

TEST_F(PicturePageTest, AdvancesByItselfEveryTwoSeconds)
{
    DWORD start = GetTickCount();
    ASSERT_TRUE(PumpUntil([&] { return m_page.CurrentIndex() == 1; }, 5000));
    DWORD first = GetTickCount() - start;
    EXPECT_GE(first, 1800u);
    ASSERT_TRUE(PumpUntil([&] { return m_page.CurrentIndex() == 2; }, 5000));
    DWORD second = GetTickCount() - start - first;
    EXPECT_GE(second, 1800u);
    EXPECT_LE(second, 3000u);
}

TEST_F(PicturePageTest, HoverPausesAndLeavingResumes)
{
    Tick();
    ASSERT_EQ(1, m_page.CurrentIndex());
    m_page.SendMessage(WM_MOUSEMOVE, 0, Point(150, 40));
    EXPECT_TRUE(m_page.m_hovering);
    EXPECT_TRUE(m_page.m_tracking);
    Tick();
    Tick();
    EXPECT_EQ(1, m_page.CurrentIndex()) << "paused while the mouse is over the page";
    m_page.SendMessage(WM_MOUSELEAVE);
    EXPECT_FALSE(m_page.m_hovering);
    Tick();
    EXPECT_EQ(2, m_page.CurrentIndex()) << "resumes from the picture shown";
}

TEST_F(PicturePageTest, HalvesAndWrappingClicks)
{
    m_page.SendMessage(WM_MOUSEMOVE, 0, Point(10, 40));
    EXPECT_EQ(1, m_page.m_side);
    m_page.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 40));
    EXPECT_EQ(13, m_page.CurrentIndex()) << "left half of picture 0 shows the last";
    m_page.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 40));
    EXPECT_EQ(12, m_page.CurrentIndex());

    m_page.SendMessage(WM_MOUSEMOVE, 0, Point(100, 40));
    EXPECT_EQ(1, m_page.m_side) << "the middle belongs to the left half";
    m_page.SendMessage(WM_MOUSEMOVE, 0, Point(101, 40));
    EXPECT_EQ(2, m_page.m_side);
    m_page.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(101, 40));
    EXPECT_EQ(13, m_page.CurrentIndex());
    m_page.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(101, 40));
    EXPECT_EQ(0, m_page.CurrentIndex()) << "right half of the last shows picture 0";
}

TEST_F(PicturePageTest, ClickBeforeAnyMoveOnlyRepaints)
{
    ValidateRect(m_page.m_hWnd, nullptr);
    m_page.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 40));
    EXPECT_EQ(0, m_page.CurrentIndex());
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(m_page.m_hWnd, &update, FALSE)) << "the page was invalidated";
}

TEST_F(PicturePageTest, PaintsTheHostsBackgroundAndTheModelName)
{
    RepaintNow(m_page.m_hWnd);
    // The test program has no product pictures: the background shows there.
    EXPECT_EQ(m_host.m_background, PixelAt(m_page.m_hWnd, 5, 5));
    EXPECT_EQ(m_host.m_background, PixelAt(m_page.m_hWnd, 195, 315));
    auto darkPixelsBelowPicture = [&] {
        int n = 0;
        for (int y = 260; y < 300; ++y)
            for (int x = 0; x < 200; x += 2)
                if (GetRValue(PixelAt(m_page.m_hWnd, x, y)) < 60)
                    ++n;
        return n;
    };
    EXPECT_GT(darkPixelsBelowPicture(), 20) << "model name drawn under the picture";

    m_host.m_background = RGB(0xB6, 0xB6, 0xB6);
    RepaintNow(m_page.m_hWnd);
    EXPECT_EQ(RGB(0xB6, 0xB6, 0xB6), PixelAt(m_page.m_hWnd, 5, 5)) << "follows the host's colour";
}

TEST_F(PicturePageTest, EnterAndEscapeAreSwallowed)
{
    MSG m{m_page.m_hWnd, WM_KEYDOWN, VK_RETURN, 0};
    EXPECT_TRUE(m_page.PreTranslateMessage(&m));
    m.wParam = VK_ESCAPE;
    EXPECT_TRUE(m_page.PreTranslateMessage(&m));
    m.wParam = 'A';
    EXPECT_FALSE(m_page.PreTranslateMessage(&m));
}

// ---------------------------------------------------------------- CMannualPage

std::wstring TestProgramFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << "cannot write a test file";
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

std::wstring ReadWide(const std::wstring& path)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return {};
    std::wstring out(GetFileSize(f, nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    ReadFile(f, out.data(), static_cast<DWORD>(out.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(f);
    return out;
}


// Runs a program of the prefix and waits for it.
DWORD RunAndWait(std::wstring commandLine)
{
    STARTUPINFOW si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return static_cast<DWORD>(-1);
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// An installation folder of its own as the program's folder, and the working
// directory another, empty folder (a console, a scheduler or a launcher
// starts the program anywhere).
class ManualPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH, temp);
        static int serial = 0;
        m_folder = std::wstring(temp) + L"kelvo-manual-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++serial);
        m_cwd = m_folder + L"-cwd";
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(m_cwd.c_str(), nullptr));
        wchar_t cwd[MAX_PATH + 1];
        GetCurrentDirectoryW(MAX_PATH, cwd);
        m_oldCwd = cwd;
        SetCurrentDirectoryW(m_cwd.c_str());
        kelvo::SetModuleFolder(m_folder + L"\\");
        kelvo::SetMessageSink([this](const std::wstring& text, unsigned flags) {
            m_messages.emplace_back(text, flags);
            return kelvo::kIdOk;
        });
        ASSERT_TRUE(m_host.Open());
    }
    void TearDown() override
    {
        kelvo::SetMessageSink(nullptr);
        kelvo::SetModuleFolder(std::wstring());
        SetCurrentDirectoryW(m_oldCwd.c_str());
        EXPECT_TRUE(CwdEntries().empty()) << "nothing is made in the working directory";
        RemoveTree(m_folder);
        RemoveTree(m_cwd);
    }
    std::wstring Path(const std::wstring& relative) const { return m_folder + L"\\" + relative; }
    std::vector<std::wstring> CwdEntries() const
    {
        std::vector<std::wstring> out;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((m_cwd + L"\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return out;
        do {
            if (lstrcmpW(fd.cFileName, L".") && lstrcmpW(fd.cFileName, L".."))
                out.push_back(fd.cFileName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return out;
    }
    // The manual folder as shipped: one PDF manual and the reader, plus a few
    // things that must not be listed.
    void MakeManualFolder(const wchar_t* readerName)
    {
        CreateDirectoryW(Path(L"manual").c_str(), nullptr);
        WriteBytes(Path(L"manual\\QB345 User Manual.pdf"), "%PDF-1.4\n%%EOF\n");
        WriteBytes(Path(L"manual\\a.pd"), "short name");
        WriteBytes(Path(L"manual\\Release notes.txt"), "notes");
        CreateDirectoryW(Path(L"manual\\Older manuals").c_str(), nullptr);
        if (readerName) {
            ASSERT_TRUE(CopyFileW((TestProgramFolder() + L"test_controls_reader.exe").c_str(),
                                  Path(std::wstring(L"manual\\") + readerName).c_str(), FALSE))
                << "the stand-in reader is built beside this program";
        }
    }
    void OpenPage()
    {
        ASSERT_TRUE(m_page.Create(CMannualPage::IDD, &m_host));
        m_page.MoveWindow(0, 0, 600, 400);
        m_page.ShowWindow(SW_SHOW);
        m_page.UpdateWindow();
    }
    std::vector<std::wstring> Items() const
    {
        std::vector<std::wstring> out;
        for (int i = 0; i < m_page.m_manualList.GetItemCount(); ++i)
            out.push_back(m_page.m_manualList.GetItemText(i, 0));
        return out;
    }
    // Double-clicks item `index` of the list (or empty space for -1), as the mouse does.
    void DoubleClick(int index)
    {
        POINT p{590, 390};
        if (index >= 0) {
            RECT r{};
            r.left = LVIR_ICON;
            m_page.m_manualList.SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
            p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        } else {
            RECT c;
            m_page.m_manualList.GetClientRect(&c);
            p = {c.right - 5, c.bottom - 5};
        }
        HWND list = m_page.m_manualList.m_hWnd;
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(p.x, p.y));
        SendMessageW(list, WM_LBUTTONUP, 0, Point(p.x, p.y));
    }

    std::wstring m_folder, m_cwd, m_oldCwd;
    std::vector<std::pair<std::wstring, unsigned>> m_messages;
    CHostDialog m_host;
    CMannualPage m_page;
};

TEST_F(ManualPageTest, ListsTheDocumentsAndRemembersTheReader)
{
    MakeManualFolder(L"Reader.EXE");
    OpenPage();
    // The list shows the names in the reverse order of the folder's enumeration.
    std::vector<std::wstring> expected;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Path(L"manual\\*.*").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    do {
        std::wstring n = fd.cFileName;
        if (n == L"QB345 User Manual.pdf" || n == L"Release notes.txt")
            expected.insert(expected.begin(), n);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    EXPECT_EQ(expected, Items()) << "no reader, no a.pd, no folder";
    EXPECT_EQ(L"Reader.EXE", m_page.m_readerName) << "upper-case .EXE is the reader too";
    EXPECT_NE(nullptr, reinterpret_cast<HIMAGELIST>(m_page.m_manualList.SendMessage(LVM_GETIMAGELIST, LVSIL_NORMAL)));

    // The list follows the page's size.
    m_page.MoveWindow(0, 0, 500, 300);
    RECT r;
    m_page.m_manualList.GetWindowRect(&r);
    MapWindowPoints(nullptr, m_page.m_hWnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(20, r.left);
    EXPECT_EQ(10, r.top);
    EXPECT_EQ(480, r.right);
    EXPECT_EQ(290, r.bottom);
}

TEST_F(ManualPageTest, FreeAreaDragsTheTopLevelWindowAndKeysAreSwallowed)
{
    OpenPage();
    RECT list{};
    m_page.m_manualList.GetWindowRect(&list);
    POINT below{list.left, list.bottom + 5};
    ::ScreenToClient(m_page.m_hWnd, &below);
    SendMessageW(m_page.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, Point(below.x, below.y));
    EXPECT_EQ(m_host.m_captionPresses, 1) << "a press on the page is one on the top-level window's caption";

    MSG m{m_page.m_manualList.m_hWnd, WM_KEYDOWN, VK_RETURN, 0};
    EXPECT_TRUE(m_page.PreTranslateMessage(&m));
    m.wParam = VK_ESCAPE;
    EXPECT_TRUE(m_page.PreTranslateMessage(&m));
    m.wParam = VK_DOWN;
    EXPECT_FALSE(m_page.PreTranslateMessage(&m));
}

TEST_F(ManualPageTest, LowerCaseReaderAndLaterReaderWins)
{
    MakeManualFolder(nullptr);
    std::wstring reader = TestProgramFolder() + L"test_controls_reader.exe";
    ASSERT_TRUE(CopyFileW(reader.c_str(), Path(L"manual\\viewer.exe").c_str(), FALSE));
    OpenPage();
    EXPECT_EQ(L"viewer.exe", m_page.m_readerName);
    for (const std::wstring& item : Items())
        EXPECT_NE(L"viewer.exe", item);
}

TEST_F(ManualPageTest, MissingFolderLeavesTheListEmpty)
{
    OpenPage();
    EXPECT_EQ(0, m_page.m_manualList.GetItemCount());
    EXPECT_TRUE(m_page.m_readerName.empty());
    DoubleClick(-1);
    Pump(100);
    EXPECT_TRUE(m_messages.empty());
}

// "No program opens PDF files": the prefix's association is removed for these
// tests and put back afterwards.
class ManualPageNoAssociationTest : public ManualPageTest {
protected:
    static void SetUpTestSuite()
    {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH, temp);
        s_saved = std::wstring(temp) + L"kelvo-pdf-association-" + std::to_wstring(GetCurrentProcessId()) + L".reg";
        HKEY key;
        s_hadKey = RegOpenKeyExW(HKEY_CLASSES_ROOT, L".pdf", 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (s_hadKey) {
            RegCloseKey(key);
            s_exported = RunAndWait(L"reg.exe export HKEY_CLASSES_ROOT\\.pdf \"" + s_saved + L"\" /y") == 0;
            if (s_exported)
                RegDeleteTreeW(HKEY_CLASSES_ROOT, L".pdf");
        }
    }
    static void TearDownTestSuite()
    {
        if (s_hadKey && s_exported) {
            RunAndWait(L"reg.exe import \"" + s_saved + L"\"");
            DeleteFileW(s_saved.c_str());
        }
    }
    void SetUp() override
    {
        ManualPageTest::SetUp();
        if (s_hadKey && !s_exported)
            GTEST_SKIP() << "the PDF association could not be saved, so it is left alone";
    }

    static std::wstring s_saved;
    static bool s_hadKey, s_exported;
};
std::wstring ManualPageNoAssociationTest::s_saved;
bool ManualPageNoAssociationTest::s_hadKey = false;
bool ManualPageNoAssociationTest::s_exported = false;

TEST_F(ManualPageNoAssociationTest, StartsTheReaderWithBothPaths)
{
    MakeManualFolder(L"Reader.EXE");
    OpenPage();
    std::vector<std::wstring> items = Items();
    auto it = std::find(items.begin(), items.end(), L"QB345 User Manual.pdf");
    ASSERT_NE(items.end(), it);
    DoubleClick(static_cast<int>(it - items.begin()));
    const std::wstring record = Path(L"manual\\cmdline.txt");
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000))
        << "the reader was not started";
    Pump(300);  // let it finish writing
    // Both by full path: the working directory is not the installation.
    EXPECT_EQ(L"\"" + Path(L"manual\\Reader.EXE") + L"\" \"" + Path(L"manual\\QB345 User Manual.pdf") + L"\"",
              ReadWide(record));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ManualPageNoAssociationTest, EnterOnTheSelectedManualOpensIt)
{
    MakeManualFolder(L"Reader.EXE");
    OpenPage();
    std::vector<std::wstring> items = Items();
    auto it = std::find(items.begin(), items.end(), L"QB345 User Manual.pdf");
    ASSERT_NE(items.end(), it);
    HWND list = m_page.m_manualList.m_hWnd;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(it - items.begin()), reinterpret_cast<LPARAM>(&state));
    SetFocus(list);
    ASSERT_EQ(GetFocus(), list);
    // Enter as the program's loop offers it: the page takes it from every
    // dialog, and the list gets it.
    MSG enter{list, WM_KEYDOWN, VK_RETURN, 0x001C0001, GetTickCount(), {}};
    EXPECT_TRUE(m_page.PreTranslateMessage(&enter)) << "no dialog sees Enter";
    const std::wstring record = Path(L"manual\\cmdline.txt");
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000))
        << "Enter did not open the selected manual";
    Pump(300);
    EXPECT_NE(ReadWide(record).find(L"QB345 User Manual.pdf"), std::wstring::npos);
    EXPECT_TRUE(IsWindowVisible(m_page.m_hWnd));
}

TEST_F(ManualPageNoAssociationTest, DoubleClickOnEmptySpaceDoesNothing)
{
    MakeManualFolder(L"Reader.EXE");
    OpenPage();
    DoubleClick(-1);
    Pump(1500);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Path(L"manual\\cmdline.txt").c_str()));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ManualPageNoAssociationTest, WithoutAReaderTheFailureIsShown)
{
    MakeManualFolder(nullptr);
    OpenPage();
    ASSERT_TRUE(m_page.m_readerName.empty());
    m_page.OpenDocument(L"QB345 User Manual.pdf");
    ASSERT_EQ(1u, m_messages.size());
    const std::wstring& text = m_messages[0].first;
    const std::wstring suffix = L" : 1155";
    ASSERT_GE(text.size(), suffix.size());
    EXPECT_EQ(suffix, text.substr(text.size() - suffix.size())) << "text 61, then the error number";
    EXPECT_TRUE(m_messages[0].second & kelvo::kMbIconError);
}

TEST_F(ManualPageTest, ADocumentThatCannotBeOpenedForAnotherReasonIsToldToo)
{
    MakeManualFolder(L"Reader.EXE");
    OpenPage();
    // Listed, then removed before the double-click: the file is not found,
    // which no associated program and no reader changes.
    ASSERT_TRUE(DeleteFileW(Path(L"manual\\QB345 User Manual.pdf").c_str()));
    m_page.OpenDocument(L"QB345 User Manual.pdf");
    Pump(300);
    ASSERT_EQ(1u, m_messages.size()) << "the failure is shown";
    const std::wstring& text = m_messages[0].first;
    const size_t colon = text.rfind(L" : ");
    ASSERT_NE(std::wstring::npos, colon) << "text 61, then the error number";
    const int number = _wtoi(text.c_str() + colon + 3);
    EXPECT_TRUE(number == ERROR_FILE_NOT_FOUND || number == ERROR_PATH_NOT_FOUND) << number;
    EXPECT_TRUE(m_messages[0].second & kelvo::kMbIconError);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Path(L"manual\\cmdline.txt").c_str()))
        << "the reader is for a missing association only";
}

// ---------------------------------------------------------------- CSearchDtcPage

// The trouble-code page with a small code file and the settings file in the
// installation folder (the working directory is elsewhere).
class DtcPageTest : public ManualPageTest {
protected:
    void SetUp() override
    {
        ManualPageTest::SetUp();
        CreateDirectoryW(Path(L"dtc").c_str(), nullptr);
        WriteBytes(Path(L"dtc\\en_OBDII.txt"), "P0001 Fuel Volume Regulator\r\nP0100 Mass Air Flow\r\n"
                                                "P0135 O2 Sensor Heater\r\nC0035 Left Front Wheel Speed\r\n");
        WriteBytes(Path(L"Kelvo.cfg"), "[DTC]\r\nHistoryNum= 1\r\nHistoryNum01 = P0135\r\n");
        ASSERT_TRUE(m_page.Create(CSearchDtcPage::IDD, &m_host));
        m_page.MoveWindow(0, 0, 600, 400);
        m_page.ShowWindow(SW_SHOW);
        m_page.LoadDtcFile(0);
        m_edit = FindWindowExW(m_page.m_codeBox.m_hWnd, nullptr, L"Edit", nullptr);
        ASSERT_NE(nullptr, m_edit);
    }
    // Types into the box's edit field as the keyboard does.
    void Type(const std::wstring& text)
    {
        for (wchar_t c : text)
            SendMessageW(m_edit, WM_CHAR, c, 1);
    }
    std::vector<int> SelectedRows() const
    {
        std::vector<int> rows;
        for (int i = -1; (i = static_cast<int>(m_page.m_codeList.SendMessage(LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0;)
            rows.push_back(i);
        return rows;
    }
    bool Dropped() const { return m_page.m_codeBox.SendMessage(CB_GETDROPPEDSTATE) != 0; }
    BOOL Key(HWND target, WPARAM key)
    {
        MSG m{target, WM_KEYDOWN, key, 1};
        return m_page.PreTranslateMessage(&m);
    }

    CSearchDtcPage m_page;
    HWND m_edit = nullptr;
};

TEST_F(DtcPageTest, TheCodeFileAndHistoryComeFromTheInstallationFolder)
{
    EXPECT_EQ(4, m_page.m_codeList.GetItemCount()) << "the installation's code file";
    EXPECT_EQ(1, m_page.m_codeBox.SendMessage(CB_GETCOUNT)) << "its history";
}

TEST_F(DtcPageTest, ACodeThatIsNotInTheTableClearsTheSelection)
{
    Type(L"p0001");
    EXPECT_EQ(std::vector<int>{0}, SelectedRows());
    // Back to "P" and on to a code the table does not hold.
    for (int i = 0; i < 4; ++i)
        SendMessageW(m_edit, WM_CHAR, VK_BACK, 1);
    Type(L"1234");
    EXPECT_EQ(L"P1234", m_page.m_codeBox.GetWindowText());
    EXPECT_TRUE(SelectedRows().empty()) << "P0001 is not the code typed";
    EXPECT_EQ(-1, m_page.m_lastRow);

    // A row the user picked with the mouse goes too; a known code selects again.
    m_page.m_codeList.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
    Type(L"5");
    EXPECT_TRUE(SelectedRows().empty());
    m_page.m_codeBox.SetWindowText(L"");
    Type(L"C0035");
    EXPECT_EQ(std::vector<int>{3}, SelectedRows());
    // An emptied box names no code: the list stays as it is.
    for (int i = 0; i < 5; ++i)
        SendMessageW(m_edit, WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(L"", m_page.m_codeBox.GetWindowText());
    EXPECT_EQ(std::vector<int>{3}, SelectedRows());
}

TEST_F(DtcPageTest, WordsShowTheMatchingRowsOnlyAndAnEmptiedBoxTheWholeListAgain)
{
    Type(L"heater o2");
    EXPECT_EQ(L"heater o2", m_page.m_codeBox.GetWindowText()) << "words are not upper-cased";
    ASSERT_EQ(1, m_page.m_codeList.GetItemCount());
    EXPECT_EQ(L"P0135", m_page.m_codeList.GetItemText(0, 0));
    EXPECT_EQ(L"O2 Sensor Heater", m_page.m_codeList.GetItemText(0, 1));
    EXPECT_EQ(std::vector<int>{0}, SelectedRows()) << "the best match selected";
    Type(L"x");
    EXPECT_EQ(0, m_page.m_codeList.GetItemCount()) << "no description has all the words";
    EXPECT_TRUE(SelectedRows().empty());
    for (int i = 0; i < 10; ++i)
        SendMessageW(m_edit, WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(4, m_page.m_codeList.GetItemCount()) << "emptied: the whole list";
    EXPECT_EQ(L"C0035", m_page.m_codeList.GetItemText(3, 0));
    EXPECT_TRUE(SelectedRows().empty());

    // Words, then a code: the code search over the whole list, its row numbers those of the file.
    Type(L"speed");
    ASSERT_EQ(1, m_page.m_codeList.GetItemCount());
    EXPECT_EQ(L"C0035", m_page.m_codeList.GetItemText(0, 0));
    m_page.m_codeBox.SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
    Type(L"p01");
    EXPECT_EQ(L"P01", m_page.m_codeBox.GetWindowText());
    EXPECT_EQ(4, m_page.m_codeList.GetItemCount());
    EXPECT_EQ(std::vector<int>{1}, SelectedRows());
}

TEST_F(DtcPageTest, EscapeAndEnterCloseTheOpenDropDownListAndAreSwallowedOtherwise)
{
    for (WPARAM key : {WPARAM(VK_ESCAPE), WPARAM(VK_RETURN)}) {
        m_page.m_codeBox.SendMessage(CB_SHOWDROPDOWN, TRUE);
        ASSERT_TRUE(Dropped());
        EXPECT_TRUE(Key(m_edit, key));
        Pump(100);
        EXPECT_FALSE(Dropped()) << "key " << key << " closes the list";
        EXPECT_TRUE(IsWindowVisible(m_page.m_hWnd)) << "and nothing else";
    }
    // Closed: swallowed, nothing happens; other keys take the normal path.
    EXPECT_TRUE(Key(m_edit, VK_ESCAPE));
    EXPECT_TRUE(Key(m_edit, VK_RETURN));
    EXPECT_TRUE(IsWindowVisible(m_page.m_hWnd));
    EXPECT_FALSE(Key(m_edit, 'P'));
}

// ---------------------------------------------------------------- CUpdatePage

// The main window as the update page sees it: presence and model are the
// test's; the identification changes nothing.
class FakeMainWindow : public IMainWindow {
public:
    COLORREF BackgroundColour() const override { return RGB(255, 255, 255); }
    void SetSkinColour(int) override {}
    BOOL IsDevicePresent() const override { return m_present; }
    void SetUpdateBusy(BOOL busy) override { m_busy.push_back(busy); }
    BOOL IsUpdateBusy() const override { return !m_busy.empty() && m_busy.back(); }
    void Identify(int, int) override { ++m_identifications; }
    std::wstring DeviceName() const override { return m_name; }
    void ShowStatusNote(const std::wstring&) override {}

    BOOL m_present = FALSE;
    std::wstring m_name;
    std::vector<BOOL> m_busy;
    int m_identifications = 0;
};

} // namespace

// The update page's own state, for the tests only.
class CUpdatePageTestPeer {
public:
    static int& Mode(CUpdatePage& p) { return p.m_nMode; }
    static CProListCtrl& List(CUpdatePage& p) { return p.m_list; }
    static bool LocalEnabled(CUpdatePage& p) { return p.m_btnLocal.IsWindowEnabled(); }
    static bool OnlineEnabled(CUpdatePage& p) { return p.m_btnOnline.IsWindowEnabled(); }
    static std::wstring& DownloadLink(CUpdatePage& p) { return p.m_strDownloadLink; }
};

namespace {
using Peer = CUpdatePageTestPeer;

class UpdatePageTest : public ManualPageTest {
protected:
    void SetUp() override
    {
        ManualPageTest::SetUp();
        kelvo::SetMessageSink([this](const std::wstring& text, unsigned flags) -> int {
            m_messages.emplace_back(text, flags);
            m_boxThreads.push_back(GetCurrentThreadId());
            if (m_onQuestion && (flags & 0xF) == kelvo::kMbYesNo)
                m_onQuestion();
            if ((flags & 0xF) == kelvo::kMbYesNo && m_answer >= 0)
                return m_answer;
            return (flags & 0xF) == kelvo::kMbYesNo ? kelvo::kIdYes : kelvo::kIdOk;
        });
        m_update.SetHost(&m_main);
        ASSERT_TRUE(m_update.Create(CUpdatePage::IDD, &m_host));
        m_update.MoveWindow(0, 0, 700, 300);
        m_update.ShowWindow(SW_SHOW);
    }
    void Click(int id) { m_update.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // Firmware 2.34 for the QB345, from the server's list or a local one.
    static kelvo::PackageRow Qb345Row(bool local)
    {
        kelvo::PackageRow row;
        row.number = L"001";
        row.model = L"QB345";
        row.version = L"V2.34";
        row.languages = L"EN/FR/ES/DE/IT";
        row.release = L"2019/10/23";
        row.local = local;
        return row;
    }

    FakeMainWindow m_main;
    CUpdatePage m_update;
    std::function<void()> m_onQuestion;
    int m_answer = -1;  // what a question returns; -1: Yes
    std::vector<DWORD> m_boxThreads;  // the thread that showed each box
};

TEST_F(UpdatePageTest, WithoutAToolTheListButtonsDoNothing)
{
    CreateDirectoryW(Path(L"update").c_str(), nullptr);
    Click(CUpdatePage::IDC_LOCAL);
    Click(CUpdatePage::IDC_ONLINE);
    EXPECT_TRUE(m_messages.empty()) << "neither 79 nor 70";
    EXPECT_EQ(0, m_main.m_identifications);
    EXPECT_EQ(CUpdatePage::kNoList, Peer::Mode(m_update));
    EXPECT_TRUE(Peer::LocalEnabled(m_update));
    EXPECT_TRUE(Peer::OnlineEnabled(m_update)) << "both usable once the tool is plugged in";

    // After an identification the button of the list shown stays disabled.
    Peer::Mode(m_update) = CUpdatePage::kLocalList;
    m_update.OnIdentificationEnded();
    EXPECT_FALSE(Peer::LocalEnabled(m_update));
    EXPECT_TRUE(Peer::OnlineEnabled(m_update));
    Peer::Mode(m_update) = CUpdatePage::kServerList;
    m_update.OnIdentificationEnded();
    EXPECT_TRUE(Peer::LocalEnabled(m_update));
    EXPECT_FALSE(Peer::OnlineEnabled(m_update));
}

TEST_F(UpdatePageTest, AToolThatDoesNotAnswerIsNotConnectedRatherThanWithoutPackages)
{
    CreateDirectoryW(Path(L"update").c_str(), nullptr);
    m_main.m_present = TRUE;  // on USB, but silent to all three identifications
    g_nDevicePort = -1;
    Click(CUpdatePage::IDC_LOCAL);
    // The identifications and their waits run on a worker: the click returns
    // at once, with the checking line in the list meanwhile.
    EXPECT_TRUE(m_update.Listing());
    EXPECT_EQ(Peer::List(m_update).Note(), GetText(kelvo::kTextChecking));
    for (int i = 0; i < 200 && m_update.Listing(); ++i)
        Pump(25);
    ASSERT_FALSE(m_update.Listing());
    EXPECT_TRUE(Peer::List(m_update).Note().empty());
    EXPECT_EQ(3, m_main.m_identifications);
    ASSERT_EQ(1u, m_messages.size());
    EXPECT_EQ(m_messages[0].first, GetText(58)) << "the tool is not connected";
    EXPECT_EQ(m_messages[0].second & 0xF0, static_cast<unsigned>(kelvo::kMbIconWarning)) << "not 79's information";
    EXPECT_EQ(CUpdatePage::kNoList, Peer::Mode(m_update)) << "nothing listed";
    EXPECT_TRUE(Peer::LocalEnabled(m_update)) << "to be tried again";
    EXPECT_TRUE(Peer::OnlineEnabled(m_update));
}

TEST_F(UpdatePageTest, AFailedDownloadUnticksItsRowSoThatOneTickTriesAgain)
{
    CreateDirectoryW(Path(L"update").c_str(), nullptr);
    m_main.m_present = TRUE;
    m_main.m_name = L"QB345";
    Peer::DownloadLink(m_update) = L"http://127.0.0.1:1/Update/";  // nothing answers there
    Peer::Mode(m_update) = CUpdatePage::kServerList;  // a server list is shown
    m_update.AddRow(Qb345Row(false));
    Peer::List(m_update).SetCheck(0, TRUE);
    for (int i = 0; i < 300 && (m_main.m_busy.empty() || m_main.m_busy.back()); ++i)
        Pump(50);
    ASSERT_EQ(m_main.m_busy, (std::vector<BOOL>{TRUE, FALSE})) << "one worker, and it ended";
    for (int i = 0; i < 40 && Peer::List(m_update).GetCheck(0); ++i)
        Pump(50);
    EXPECT_FALSE(Peer::List(m_update).GetCheck(0)) << "the failed download's row is unticked";
    EXPECT_TRUE(Peer::OnlineEnabled(m_update) || Peer::LocalEnabled(m_update));
}

TEST_F(UpdatePageTest, ToolPulledOutWhileTheConfirmationIsOpenStartsNothing)
{
    m_main.m_present = TRUE;
    m_main.m_name = L"QB345";
    Peer::Mode(m_update) = CUpdatePage::kLocalList;  // a local list is shown
    m_update.AddRow(Qb345Row(true));
    // The main window's handling of the unplug, while the box is open.
    m_onQuestion = [this] { m_update.OnToolRemoved(); };
    Peer::List(m_update).SetCheck(0, TRUE);
    Pump(500);
    ASSERT_EQ(1u, m_messages.size()) << "the confirmation, and no worker's message after it";
    EXPECT_TRUE(m_main.m_busy.empty()) << "no worker was started";
    EXPECT_EQ(0, Peer::List(m_update).GetItemCount());
}

TEST_F(UpdatePageTest, OnlyAYesToTheConfirmationStartsAWrite)
{
    m_main.m_present = TRUE;
    m_main.m_name = L"QB345";
    Peer::Mode(m_update) = CUpdatePage::kLocalList;
    m_update.AddRow(Qb345Row(true));
    // 0: the box could not be shown at all; IDCANCEL, IDOK: no answer to the question.
    for (int answer : {0, 2 /* IDCANCEL */, 1 /* IDOK */}) {
        m_messages.clear();
        m_answer = answer;
        Peer::List(m_update).SetCheck(0, TRUE);
        Pump(300);
        EXPECT_EQ(1u, m_messages.size()) << answer;
        EXPECT_TRUE(m_main.m_busy.empty()) << "no worker was started on " << answer;
        EXPECT_FALSE(Peer::List(m_update).GetCheck(0)) << "the row is unticked again on " << answer;
    }
}

TEST_F(UpdatePageTest, AWorkersMessageBoxIsShownOnTheWindowsOwnThread)
{
    m_main.m_present = TRUE;
    m_main.m_name = L"QB345";
    Peer::Mode(m_update) = CUpdatePage::kLocalList;
    m_update.AddRow(Qb345Row(true));  // its file is not there: the worker's read fails
    Peer::List(m_update).SetCheck(0, TRUE);
    for (int i = 0; i < 300 && (m_main.m_busy.empty() || m_main.m_busy.back()); ++i)
        Pump(50);
    ASSERT_EQ(m_main.m_busy, (std::vector<BOOL>{TRUE, FALSE})) << "one worker, and it ended";
    ASSERT_EQ(2u, m_messages.size()) << "the confirmation, then the worker's";
    EXPECT_EQ(m_messages[1].first, GetText(63)) << "the package file cannot be read";
    for (DWORD thread : m_boxThreads)
        EXPECT_EQ(thread, GetCurrentThreadId()) << "every box on the window's thread, none on the worker";
}

// ---------------------------------------------------------------- modal loop

// A page that takes Enter, as the report page's text box needs to.
class EnterTakingPage : public CDialog {
public:
    EnterTakingPage() : CDialog(CMannualPage::IDD) {}
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
            ++m_taken;
            return TRUE;
        }
        return FALSE;
    }
    int m_taken = 0;
};

// A modal dialog that swallows Enter, as the main window does, and hosts the page.
class SwallowingHost : public CDialog {
public:
    SwallowingHost() : CDialog(kHostTemplate) {}
    BOOL OnInitDialog() override
    {
        m_page.Create(CMannualPage::IDD, this);
        // Enter for a control of the page (not one of ours), then the end.
        ::PostMessageW(::GetDlgItem(m_page.m_hWnd, 1027), WM_KEYDOWN, VK_RETURN, 1);
        ::PostMessageW(m_hWnd, WM_APP, 0, 0);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
            ++m_swallowed;
            return TRUE;
        }
        return FALSE;
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_APP) {
            EndDialog(IDOK);
            return 0;
        }
        return CDialog::WindowProc(msg, wParam, lParam);
    }
    EnterTakingPage m_page;
    int m_swallowed = 0;
};

TEST(ModalLoop, APageTakesAKeyBeforeTheDialogAboveIt)
{
    SwallowingHost host;
    EXPECT_EQ(IDOK, host.DoModal());
    EXPECT_EQ(1, host.m_page.m_taken) << "offered to the page holding the control";
    EXPECT_EQ(0, host.m_swallowed) << "taken there, so never seen by the dialog";
}

} // namespace
