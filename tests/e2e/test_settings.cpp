// The settings page under Wine: its language list, a skin that recolours the
// program at once, Apply with Dozaz on and off (real Dozaz processes and the
// real Run value), and a new language restarting Kelvo through AidletStart,
// or, during a transfer, waiting for the next start.
#include "e2e/support/companions.h"
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace kelvo::e2e;

namespace {

constexpr int kIdLanguageList = 1021;
constexpr int kIdSkinList = 1012;
constexpr int kIdDozazBox = 1023;
constexpr int kIdApply = 1031;

// Dialog colours of two installed skins (skinhu/skins).
const COLORREF kITuneDialog = RGB(0xB6, 0xB6, 0xB6);
const COLORREF kBlackDialog = RGB(0x1E, 0x1F, 0x22);
const COLORREF kBlackButton = RGB(0x3A, 0x3D, 0x42);

std::string Config(int language, int skin, int autoUpdate)
{
    return "[Update]\r\nQB345= V1.04\r\n\r\n[DTC]\r\nHistoryNum= 1\r\n\r\nHistoryNum01 = P0135\r\n[Setting]\r\n"
           "Language = " + std::to_string(language) + "\r\nSkin = " + std::to_string(skin) +
           "\r\nAutoUpdate = " + std::to_string(autoUpdate) + "\r\nDownloadLink = http://127.0.0.1:9/Update/\r\n";
}

// The value of a [Setting] key as the file holds it, -1 when absent.
int Saved(const Installation& inst, const std::string& key)
{
    const std::string cfg = inst.ReadFile(L"Kelvo.cfg");
    const size_t at = cfg.find("\r\n" + key + " = ");
    return at == std::string::npos ? -1 : std::atoi(cfg.c_str() + at + key.size() + 5);
}

// Kelvo with its settings page shown.
struct SettingsPage {
    HWND main = nullptr;
    HWND page = nullptr;
    HWND languages = nullptr;
    HWND skins = nullptr;
    HWND box = nullptr;
    HWND apply = nullptr;

    bool Open(HWND mainWindow)
    {
        main = mainWindow;
        RECT c;
        ::GetClientRect(main, &c);
        const int d = (c.right - 100) / 5;
        ::Sleep(500);
        ClickClient(main, 20 + 4 * (d + 15) + d / 2, 190);
        if (!WaitFor([&] {
                languages = FindDescendant(main, kIdLanguageList);
                return languages && ::IsWindowVisible(languages);
            }, 10000))
            return false;
        page = ::GetParent(languages);
        skins = FindDescendant(main, kIdSkinList);
        box = FindDescendant(main, kIdDozazBox);
        apply = FindDescendant(main, kIdApply);
        ::Sleep(300);
        return skins && box && apply;
    }
    static int Selected(HWND list) { return static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)); }
    // A real click on an entry (scrolled into view first).
    static void ClickEntry(HWND list, int index)
    {
        const int h = static_cast<int>(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
        int top = static_cast<int>(::SendMessageW(list, LB_GETTOPINDEX, 0, 0));
        RECT c;
        ::GetClientRect(list, &c);
        if (index < top || (index - top + 1) * h > c.bottom) {
            ::SendMessageW(list, LB_SETTOPINDEX, index, 0);
            top = static_cast<int>(::SendMessageW(list, LB_GETTOPINDEX, 0, 0));
            ::Sleep(200);
        }
        ClickClient(list, 60, (index - top) * h + h / 2);
        ::Sleep(300);
    }
    void Apply() const { ClickClient(apply, 40, 20); }
    void ClickBox() const { ClickClient(box, 12, 15); ::Sleep(300); }
    bool Ticked() const { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // A free spot of the page, between the two lists.
    COLORREF Background() const
    {
        RECT lr;
        ::GetWindowRect(languages, &lr);
        POINT p{lr.right + 17, lr.top + 15};
        ::ScreenToClient(page, &p);
        return Pixel(page, p.x, p.y);
    }
    // Low on the face, below the glass highlight.
    COLORREF ButtonFace() const { return Pixel(apply, 12, 55); }
};

HWND MainWindowOf(DWORD pid, DWORD ms)
{
    HWND found = nullptr;
    WaitFor([&] {
        for (HWND h : TopWindows(pid))
            if (ClassOf(h) == L"#32770" && (::GetWindowLongW(h, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) {
                found = h;
                return true;
            }
        return false;
    }, ms);
    return found;
}

// Waits for Kelvo's main window and opens its settings page there.
testing::AssertionResult OpenPage(KelvoProcess& kelvo, SettingsPage& page)
{
    HWND main = kelvo.WaitMainWindow(kStartMs);
    if (!main)
        return testing::AssertionFailure() << "no main window";
    if (!page.Open(main))
        return testing::AssertionFailure() << "no settings page";
    return testing::AssertionSuccess();
}

// What a page shows without a skin: the system's dialog colour.
COLORREF Unskinned() { return ::GetSysColor(COLOR_BTNFACE); }

// The Run value as Kelvo writes it: quoted, as a path with spaces must be.
std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// Ends what a scenario may have left running and registered.
struct CleanSlate {
    CleanSlate() { Clean(); }
    ~CleanSlate() { Clean(); }
    static void Clean()
    {
        KillAll(L"Dozaz.exe");
        KillAll(L"AidletStart.exe");
        DeleteRunValue();
    }
};

} // namespace

TEST(SettingsPage, LanguageListDisablesTheEntryOfAMissingTableAndShowsASavedNederlandsAtItsBottom)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(7, 2, 0));
    inst.Remove(L"language\\fr_TEXT.cbf");
    KelvoProcess kelvo(inst);
    SettingsPage page;
    ASSERT_TRUE(OpenPage(kelvo, page));
    HWND main = page.main;

    EXPECT_EQ(SettingsPage::Selected(page.languages), 7) << "Nederlands";
    const int count = static_cast<int>(::SendMessageW(page.languages, LB_GETCOUNT, 0, 0));
    ASSERT_EQ(count, 10);
    const int top = static_cast<int>(::SendMessageW(page.languages, LB_GETTOPINDEX, 0, 0));
    const int h = static_cast<int>(::SendMessageW(page.languages, LB_GETITEMHEIGHT, 0, 0));
    RECT c;
    ::GetClientRect(page.languages, &c);
    EXPECT_GT(top, 0) << "scrolled down";
    EXPECT_EQ(top + c.bottom / h, count) << "scrolled to its bottom: the last entry shows";
    Screenshot(main, L"settings-language-nl");

    // Français has no table: a click leaves the selection; Español takes it.
    SettingsPage::ClickEntry(page.languages, 1);
    EXPECT_EQ(SettingsPage::Selected(page.languages), 7) << "the disabled entry is not selected";
    Screenshot(main, L"settings-language-fr-disabled");
    SettingsPage::ClickEntry(page.languages, 2);
    EXPECT_EQ(SettingsPage::Selected(page.languages), 2);
    EXPECT_EQ(SettingsPage::Selected(page.skins), 2) << "iTune, the saved skin";
    EXPECT_FALSE(page.Ticked()) << "AutoUpdate = 0";
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    EXPECT_EQ(Saved(inst, "Language"), 7) << "nothing applied, nothing saved";
}

TEST(SettingsPage, ASkinClickRecoloursThePageAtOnceAndIsSavedOnlyByApply)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 2, 0));
    {
        KelvoProcess kelvo(inst);
        SettingsPage page;
        ASSERT_TRUE(OpenPage(kelvo, page));
        HWND main = page.main;
        EXPECT_TRUE(Near(page.Background(), kITuneDialog)) << Hex(page.Background());
        Screenshot(main, L"settings-skin-itune");

        SettingsPage::ClickEntry(page.skins, 0);  // Black
        EXPECT_TRUE(WaitFor([&] { return Near(page.Background(), kBlackDialog); }, 3000)) << Hex(page.Background());
        // The frame now has the page's colour, so the background alone no
        // longer tells that the page has repainted: its button does.
        EXPECT_TRUE(WaitFor([&] { return Near(page.ButtonFace(), kBlackButton); }, 3000))
            << "the apply button's face: " << Hex(page.ButtonFace());
        Screenshot(main, L"settings-skin-black");
        EXPECT_EQ(Saved(inst, "Skin"), 2) << "not saved before Apply";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
        EXPECT_EQ(Saved(inst, "Skin"), 2) << "closing without Apply keeps the saved skin";
    }
    {
        KelvoProcess kelvo(inst);
        SettingsPage page;
        ASSERT_TRUE(OpenPage(kelvo, page));
        HWND main = page.main;
        SettingsPage::ClickEntry(page.skins, 0);
        page.Apply();
        EXPECT_TRUE(WaitFor([&] { return Saved(inst, "Skin") == 0; }, 5000));
        // Changed back: the apply compares with what the file now holds.
        SettingsPage::ClickEntry(page.skins, 2);
        EXPECT_TRUE(WaitFor([&] { return Near(page.Background(), kITuneDialog); }, 3000));
        page.Apply();
        EXPECT_TRUE(WaitFor([&] { return Saved(inst, "Skin") == 2; }, 5000)) << inst.ReadFile(L"Kelvo.cfg");
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }
}

TEST(SettingsPage, ASavedSkinWhoseFileIsGoneSelectsAndAppliesNothing)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 5, 0));
    inst.Remove(L"skin\\Silver.she");  // entry 5
    inst.WriteFile(L"skin\\Gold.she", "not in the skin-name table");
    KelvoProcess kelvo(inst);
    SettingsPage page;
    ASSERT_TRUE(OpenPage(kelvo, page));
    HWND main = page.main;
    EXPECT_EQ(::SendMessageW(page.skins, LB_GETCOUNT, 0, 0), 5) << "Gold gets no entry";
    EXPECT_EQ(SettingsPage::Selected(page.skins), -1);
    EXPECT_TRUE(Near(page.Background(), Unskinned())) << "no skin applied: " << Hex(page.Background());
    Screenshot(main, L"settings-skin-missing");
    page.Apply();
    ::Sleep(1500);
    EXPECT_EQ(Saved(inst, "Skin"), 5) << "no selection is no change";
    EXPECT_TRUE(kelvo.Running()) << "the language did not change: no restart";
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}

TEST(SettingsPage, ApplyStopsThisInstallationsDozazAndStartsExactlyOne)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 2, 0));
    const std::wstring dozaz = inst.Path(L"Dozaz.exe");
    StartedProgram ours(dozaz, inst.Folder());
    ASSERT_TRUE(WaitFor([&] { return ProcessesOf(L"Dozaz.exe", dozaz).size() == 1; }, 20000));
    // A program of the same name in another folder is not ours to stop (a
    // stand-in that keeps running: a second real Dozaz would end at once).
    ScratchFolder other("other-dozaz");
    const std::wstring otherDozaz = other.Windows("DOZAZ.EXE");
    ASSERT_TRUE(PlaceProbe(otherDozaz));
    const std::wstring stay = otherDozaz + L".stay";
    ::CloseHandle(::CreateFileW(stay.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    StartedProgram theirs(otherDozaz, other.Windows(""));
    ASSERT_TRUE(WaitFor([&] { return ProcessesOf(L"Dozaz.exe", otherDozaz).size() == 1; }, 20000));
    const std::wstring path = dozaz;
    SetRunValue(REG_SZ, path.c_str(), static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));

    KelvoProcess kelvo(inst);
    SettingsPage page;
    ASSERT_TRUE(OpenPage(kelvo, page));
    HWND main = page.main;
    ASSERT_FALSE(page.Ticked());

    // Nothing changed, the box unticked: Dozaz stops and the value goes.
    page.Apply();
    EXPECT_TRUE(WaitFor([&] { return ProcessesOf(L"Dozaz.exe", dozaz).empty(); }, 10000)) << "ours stopped";
    EXPECT_EQ(ProcessesOf(L"Dozaz.exe", otherDozaz).size(), 1u) << "the other folder's keeps running";
    EXPECT_FALSE(RunValue(nullptr)) << "the Run value is deleted";
    EXPECT_EQ(Saved(inst, "AutoUpdate"), 0);

    // Ticked: one Dozaz of this installation and the Run value, also after a second apply.
    page.ClickBox();
    ASSERT_TRUE(page.Ticked());
    page.Apply();
    EXPECT_TRUE(WaitFor([&] { return ProcessesOf(L"Dozaz.exe", dozaz).size() == 1; }, 20000));
    page.Apply();
    ::Sleep(3000);
    EXPECT_EQ(ProcessesOf(L"Dozaz.exe", dozaz).size(), 1u) << "one Dozaz, not two";
    std::wstring value;
    DWORD type = 0;
    ASSERT_TRUE(RunValue(&value, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(::lstrcmpiW(value.c_str(), Quoted(dozaz).c_str()), 0) << Narrow(value);
    EXPECT_EQ(Saved(inst, "AutoUpdate"), 1);

    // Unticked again: the file follows each apply, not the value read at start.
    page.ClickBox();
    page.Apply();
    EXPECT_TRUE(WaitFor([&] { return ProcessesOf(L"Dozaz.exe", dozaz).empty(); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return Saved(inst, "AutoUpdate") == 0; }, 5000)) << inst.ReadFile(L"Kelvo.cfg");
    Screenshot(main, L"settings-dozaz-off");
    ::DeleteFileW(stay.c_str());
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}

TEST(SettingsPage, ARunValueTooLongForTheReadBufferIsPresentAndOneOfAnotherTypeIsReplaced)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 2, 1));
    const std::wstring longValue = L"C:\\Program Files (x86)\\" + std::wstring(200, L'k') + L"\\Dozaz.exe";
    SetRunValue(REG_SZ, longValue.c_str(), static_cast<DWORD>((longValue.size() + 1) * sizeof(wchar_t)));
    {
        KelvoProcess kelvo(inst);
        HWND main = kelvo.WaitMainWindow(kStartMs);
        ASSERT_NE(main, nullptr);
        EXPECT_TRUE(WaitFor([&] { return ProcessesOf(L"Dozaz.exe", inst.Path(L"Dozaz.exe")).size() == 1; }, 20000))
            << "AutoUpdate = 1 starts Dozaz at program start";
        std::wstring value;
        ASSERT_TRUE(RunValue(&value));
        EXPECT_EQ(value, longValue) << "a value longer than 256 bytes is present: left as it is";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }
    const DWORD number = 1;
    SetRunValue(REG_DWORD, &number, sizeof number);
    {
        KelvoProcess kelvo(inst);
        HWND main = kelvo.WaitMainWindow(kStartMs);
        ASSERT_NE(main, nullptr);
        std::wstring value;
        DWORD type = 0;
        EXPECT_TRUE(WaitFor([&] { return RunValue(&value, &type) && type == REG_SZ; }, 10000));
        EXPECT_EQ(::lstrcmpiW(value.c_str(), Quoted(inst.Path(L"Dozaz.exe")).c_str()), 0) << Narrow(value);
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }
}

TEST(SettingsPage, ANewLanguageRestartsKelvoInItThroughAidletStart)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 2, 0));
    auto kelvo = std::make_unique<KelvoProcess>(inst);
    SettingsPage page;
    ASSERT_TRUE(OpenPage(*kelvo, page));
    SettingsPage::ClickEntry(page.languages, 3);  // Deutsch
    ASSERT_EQ(SettingsPage::Selected(page.languages), 3);
    page.Apply();

    EXPECT_EQ(kelvo->WaitExit(20000), 1u) << "the program closes";
    HWND german = nullptr;
    EXPECT_TRUE(WaitFor([&] { return (german = FindTopWindow(L"Kelvo - OBD-II-Assistent")) != nullptr; }, kStartMs))
        << "a new Kelvo whose title is text 0 of the German table";
    EXPECT_EQ(Saved(inst, "Language"), 3);
    if (german) {
        ::Sleep(800);
        Screenshot(german, L"settings-restarted-de");
        DWORD pid = 0;
        ::GetWindowThreadProcessId(german, &pid);
        HANDLE p = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
        ::PostMessageW(german, WM_CLOSE, 0, 0);
        if (p) {
            EXPECT_EQ(::WaitForSingleObject(p, 10000), WAIT_OBJECT_0);
            ::CloseHandle(p);
        }
    }
}

TEST(SettingsPage, ANewLanguageWithoutAidletStartIsSavedAndKelvoStaysOpen)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 2, 0));
    inst.Remove(L"AidletStart.exe");
    KelvoProcess kelvo(inst);
    SettingsPage page;
    ASSERT_TRUE(OpenPage(kelvo, page));
    const size_t windows = TopWindows(kelvo.Pid()).size();
    SettingsPage::ClickEntry(page.languages, 3);  // Deutsch
    ASSERT_EQ(SettingsPage::Selected(page.languages), 3);
    page.Apply();

    EXPECT_TRUE(WaitFor([&] { return Saved(inst, "Language") == 3; }, 5000)) << "saved for the next start";
    EXPECT_EQ(kelvo.WaitExit(5000), static_cast<DWORD>(STILL_ACTIVE)) << "nothing would restart it: it stays";
    ASSERT_TRUE(::IsWindow(page.main));
    EXPECT_EQ(TopWindows(kelvo.Pid()).size(), windows) << "nothing new is shown";
    Screenshot(page.main, L"settings-language-no-restarter");
    ::PostMessageW(page.main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}

TEST(SettingsPage, CompanionsStartByFullPathWithTheProgramsFolderAsWorkingDirectory)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 2, 1));
    // Stand-ins record how they were started: the installation's own, and
    // decoys of the same names in the working directory Kelvo is started in.
    ASSERT_TRUE(PlaceProbe(inst.Path(L"Dozaz.exe")));
    ASSERT_TRUE(PlaceProbe(inst.Path(L"AidletStart.exe")));
    ScratchFolder elsewhere("cwd");
    ASSERT_TRUE(::CopyFileW(inst.Path(L"Kelvo.cfg").c_str(), elsewhere.Windows("Kelvo.cfg").c_str(), FALSE));
    ASSERT_TRUE(PlaceProbe(elsewhere.Windows("Dozaz.exe")));
    ASSERT_TRUE(PlaceProbe(elsewhere.Windows("AidletStart.exe")));
    const std::wstring folder = inst.Folder().substr(0, inst.Folder().size() - 1);
    auto cwdOf = [](const std::wstring& record) { return record.substr(0, record.find(L'\n')); };

    StartedProgram kelvo(inst.Path(L"Kelvo.exe"), elsewhere.Windows(""));
    HWND main = MainWindowOf(kelvo.Pid(), kStartMs);
    ASSERT_NE(main, nullptr);
    std::wstring dozaz;
    ASSERT_TRUE(WaitFor([&] { return !(dozaz = ProbeRecord(inst.Path(L"Dozaz.exe"))).empty(); }, 20000))
        << "AutoUpdate = 1 starts the installation's Dozaz";
    EXPECT_EQ(::lstrcmpiW(cwdOf(dozaz).c_str(), folder.c_str()), 0) << Narrow(dozaz);
    EXPECT_NE(dozaz.find(inst.Path(L"Dozaz.exe")), std::wstring::npos) << Narrow(dozaz);

    SettingsPage page;
    ASSERT_TRUE(page.Open(main));
    SettingsPage::ClickEntry(page.languages, 3);
    page.Apply();
    std::wstring restart;
    ASSERT_TRUE(WaitFor([&] { return !(restart = ProbeRecord(inst.Path(L"AidletStart.exe"))).empty(); }, 20000));
    EXPECT_EQ(::lstrcmpiW(cwdOf(restart).c_str(), folder.c_str()), 0) << Narrow(restart);
    EXPECT_NE(restart.find(inst.Path(L"AidletStart.exe")), std::wstring::npos) << Narrow(restart);
    const std::wstring request = L" zendrix reboot";
    ASSERT_GE(restart.size(), request.size()) << Narrow(restart);
    EXPECT_EQ(restart.substr(restart.size() - request.size()), request) << Narrow(restart);
    EXPECT_EQ(kelvo.WaitExit(20000), 1u);
    EXPECT_EQ(ProbeRecord(elsewhere.Windows("Dozaz.exe")), L"") << "no program of the working directory ran";
    EXPECT_EQ(ProbeRecord(elsewhere.Windows("AidletStart.exe")), L"");
}

TEST(SettingsPage, ANewLanguageDuringATransferShowsText82AndDoesNotRestart)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 2, 0));
    kelvo::plug::CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 16, {"--delay", "C2:12000"}));
    ASSERT_FALSE(MakeLocalPackage(inst, tool.UnixFolder() + "/main.img", 2 * 2048).empty());
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    kelvo.ClickFirstCheckBox();
    HWND confirm = kelvo.WaitMessage(10000);
    ASSERT_NE(confirm, nullptr);
    PressButton(confirm, IDYES);
    ASSERT_TRUE(WaitFor([&] { return tool.ReadLog().find("< 46 58 C2") != std::string::npos; }, 15000))
        << "the transfer is erasing";

    SettingsPage page;
    ASSERT_TRUE(page.Open(kelvo.Main()));
    SettingsPage::ClickEntry(page.languages, 7);
    page.Apply();
    HWND box = kelvo.WaitMessage(10000);
    ASSERT_NE(box, nullptr) << "text 82";
    EXPECT_NE(ChildTexts(box).find(L"so Kelvo will not restart now"), std::wstring::npos) << Narrow(ChildTexts(box));
    Screenshot(box, L"settings-language-busy");
    EXPECT_EQ(Saved(inst, "Language"), 7) << "the file already holds the new language";
    PressButton(box, IDOK);
    ::Sleep(2000);
    EXPECT_TRUE(kelvo.Process().Running()) << "no restart";
    EXPECT_TRUE(ProcessesOf(L"AidletStart.exe").empty());
    EXPECT_TRUE(WaitFor([&] { return inst.ReadFile(L"Kelvo.cfg").find("2.34") != std::string::npos; }, 40000))
        << "the transfer went on to its end";
    EXPECT_EQ(kelvo.Close(), 1u);
}

TEST(SettingsPage, WithoutSkinHuKelvoRunsUnskinnedAndThePageStillWorks)
{
    CleanSlate clean;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(0, 2, 0));
    inst.Remove(L"SkinHu.dll");
    KelvoProcess kelvo(inst);
    SettingsPage page;
    ASSERT_TRUE(OpenPage(kelvo, page)) << "a missing skin library does not stop the program";
    HWND main = page.main;
    EXPECT_FALSE(Near(page.Background(), kITuneDialog)) << "no skin: " << Hex(page.Background());
    EXPECT_TRUE(Near(page.Background(), Unskinned())) << Hex(page.Background());
    SettingsPage::ClickEntry(page.skins, 0);
    EXPECT_EQ(SettingsPage::Selected(page.skins), 0);
    page.Apply();
    EXPECT_TRUE(WaitFor([&] { return Saved(inst, "Skin") == 0; }, 5000));
    Screenshot(main, L"settings-unskinned");
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}
