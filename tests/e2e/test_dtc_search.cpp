// The trouble-code page under Wine: created at the first click on its tab,
// typing completes and selects, full codes enter the history in Kelvo.cfg,
// the history drop-down, and keys that must change nothing.
#include "e2e/support/driver.h"
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <memory>

using namespace kelvo::e2e;

namespace {

constexpr int kIdCodeList = 1001;
constexpr int kIdCodeBox = 1030;

const std::string kHead = "[Update]\r\nQB345= V1.04\r\n\r\n[DTC]\r\n";
const std::string kTail = "[Setting]\r\nLanguage = 0\r\nSkin = 2\r\nAutoUpdate = 0\r\n"
                          "DownloadLink = http://127.0.0.1:9/Update/\r\n";

// Kelvo with its trouble-code page open.
class DtcPage {
public:
    bool Open(const Installation& inst, std::string* why)
    {
        m_kelvo = std::make_unique<KelvoProcess>(inst);
        m_main = m_kelvo->WaitMainWindow(kStartMs);
        if (!m_main)
            return *why = "no main window", false;
        ::Sleep(500);
        if (FindDescendant(m_main, kIdCodeBox))
            return *why = "the page exists before its tab was clicked", false;
        RECT client;
        ::GetClientRect(m_main, &client);
        const int d = (client.right - 100) / 5;
        ClickClient(m_main, 20 + 2 * (d + 15) + d / 2, 190);
        // The page is the code box's parent (other pages have a control 1001 too).
        auto find = [&] {
            m_box = FindDescendant(m_main, kIdCodeBox);
            m_list = m_box ? ::GetDlgItem(::GetParent(m_box), kIdCodeList) : nullptr;
            return m_list && ::IsWindowVisible(m_list) && Rows() > 100;
        };
        if (!WaitFor(find,
                     30000)) {
            Screenshot(m_main, L"dtc-page-did-not-fill");
            return *why = "the code list did not fill", false;
        }
        m_edit = m_box ? ::FindWindowExW(m_box, nullptr, L"Edit", nullptr) : nullptr;
        if (!m_edit)
            return *why = "no code box", false;
        ClickClient(m_edit, 10, 8);
        return true;
    }
    ~DtcPage()
    {
        if (m_main && m_kelvo->Running()) {
            ::PostMessageW(m_main, WM_CLOSE, 0, 0);
            m_kelvo->WaitExit(10000);
        }
    }

    HWND Main() const { return m_main; }
    HWND List() const { return m_list; }
    HWND Edit() const { return m_edit; }
    int Rows() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }
    int Selected() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETNEXTITEM, -1, LVNI_SELECTED)); }
    int Top() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETTOPINDEX, 0, 0)); }
    std::wstring BoxText() const { return WindowText(m_box); }
    int HistoryCount() const { return static_cast<int>(::SendMessageW(m_box, CB_GETCOUNT, 0, 0)); }
    HWND Focus() const
    {
        GUITHREADINFO gti{};
        gti.cbSize = sizeof gti;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(m_main, nullptr), &gti);
        return gti.hwndFocus;
    }

    // Real key presses into the code box; letters come as lower case.
    void Type(const std::string& text)
    {
        for (char c : text)
            KeyPress(m_edit, static_cast<WORD>(std::toupper(static_cast<unsigned char>(c))));
    }
    void Erase(int n)
    {
        for (int i = 0; i < n; ++i)
            KeyPress(m_edit, VK_BACK);
    }

    // A cell's text, read in Kelvo's own address space.
    std::wstring Cell(int row, int column) const { return ListItemText(m_kelvo->Pid(), m_list, row, column, 256); }
    std::wstring SelectedCode() const { return Selected() >= 0 ? Cell(Selected(), 0) : L""; }

private:
    std::unique_ptr<KelvoProcess> m_kelvo;
    HWND m_main = nullptr;
    HWND m_list = nullptr;
    HWND m_box = nullptr;
    HWND m_edit = nullptr;
};

// The first n codes of the installed code file.
std::vector<std::string> FirstCodes(const Installation& inst, size_t n)
{
    const std::string file = inst.ReadFile(L"dtc\\en_OBDII.txt");
    std::vector<std::string> codes;
    for (size_t pos = 0; codes.size() < n && pos < file.size(); pos = file.find('\n', pos) + 1) {
        codes.push_back(file.substr(pos, 5));
        if (file.find('\n', pos) == std::string::npos)
            break;
    }
    return codes;
}

} // namespace

TEST(DtcSearch, TypingCompletesSelectsAndKeepsFullCodesInTheHistory)
{
    Installation inst;
    // A line whose code is empty, as a code file may hold: an emptied box must not reach it.
    inst.WriteFile(L"dtc\\en_OBDII.txt", inst.ReadFile(L"dtc\\en_OBDII.txt") + " begins with a space\r\n");
    const std::string installed = inst.ReadFile(L"Kelvo.cfg");
    ASSERT_NE(installed.find("[DTC]\r\nHistoryNum= 1\r\n\r\nHistoryNum01 = P0135\r\n[Setting]"), std::string::npos);
    DtcPage page;
    std::string why;
    ASSERT_TRUE(page.Open(inst, &why)) << why;
    EXPECT_EQ(page.HistoryCount(), 1) << "P0135 from the installed settings file";
    Screenshot(page.Main(), L"dtc-page-first-shown");

    page.Type("p01");
    EXPECT_TRUE(WaitFor([&] { return page.BoxText() == L"P01"; }, 5000)) << Narrow(page.BoxText());
    EXPECT_TRUE(WaitFor([&] { return page.SelectedCode() == L"P0100"; }, 5000));
    EXPECT_EQ(page.Top(), page.Selected()) << "scrolled to the top of the list";
    EXPECT_EQ(page.Focus(), page.Edit()) << "typing leaves the focus in the box";
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg"), installed) << "three characters are not a full code";
    Screenshot(page.Main(), L"dtc-typed-p01");

    page.Type("00");
    const std::string withP0100 =
        "[Update]\r\nQB345= V1.04\r\n\r\n[DTC]\r\nHistoryNum= 2\r\n\r\nHistoryNum01 = P0135\r\nHistoryNum02 = P0100\r\n"
        "[Setting]" + installed.substr(installed.find("[Setting]") + 9);
    EXPECT_TRUE(WaitFor([&] { return inst.ReadFile(L"Kelvo.cfg") == withP0100; }, 5000)) << inst.ReadFile(L"Kelvo.cfg");
    EXPECT_TRUE(WaitFor([&] { return page.HistoryCount() == 2; }, 5000));

    page.Erase(5);
    EXPECT_TRUE(WaitFor([&] { return page.BoxText().empty(); }, 5000));
    EXPECT_EQ(page.SelectedCode(), L"P0001") << "\"P\" was the last text; an emptied box changes nothing";
    page.Type("p0135");
    EXPECT_TRUE(WaitFor([&] { return page.SelectedCode() == L"P0135"; }, 5000));
    ::Sleep(300);
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg"), withP0100) << "P0135 is in the history already";
    EXPECT_EQ(page.HistoryCount(), 2);

    KeyPress(page.Edit(), VK_RETURN);
    KeyPress(page.Edit(), VK_ESCAPE);
    ::Sleep(300);
    EXPECT_TRUE(::IsWindowVisible(page.List())) << "Enter and Escape neither close nor hide the page";
    EXPECT_EQ(page.BoxText(), L"P0135");
    EXPECT_EQ(page.SelectedCode(), L"P0135");
    Screenshot(page.Main(), L"dtc-typed-p0135");

    page.Erase(4);
    EXPECT_TRUE(WaitFor([&] { return page.SelectedCode() == L"P0001"; }, 5000));
    // Down in the box picks the first history entry: its row, with the focus in the list.
    KeyPress(page.Edit(), VK_DOWN);
    EXPECT_TRUE(WaitFor([&] { return page.SelectedCode() == L"P0135"; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return page.Focus() == page.List(); }, 5000)) << "a history choice focuses the list";
    EXPECT_EQ(page.SelectedCode(), page.BoxText());
    EXPECT_EQ(page.Top(), page.Selected());
    Screenshot(page.Main(), L"dtc-history-choice");
}

TEST(DtcSearch, TheTwentyFirstCodeIsSelectedButNotWritten)
{
    Installation inst;
    const std::vector<std::string> codes = FirstCodes(inst, 21);
    ASSERT_EQ(codes.size(), 21u);
    std::string cfg = kHead + "HistoryNum= 20\r\n";
    for (int i = 1; i <= 20; ++i)
        cfg += "HistoryNum" + std::string(i < 10 ? "0" : "") + std::to_string(i) + " = " + codes[static_cast<size_t>(i - 1)] + "\r\n";
    cfg += kTail;
    inst.WriteFile(L"Kelvo.cfg", cfg);

    DtcPage page;
    std::string why;
    ASSERT_TRUE(page.Open(inst, &why)) << why;
    EXPECT_EQ(page.HistoryCount(), 20);
    page.Type(codes[20]);
    const std::wstring wanted(codes[20].begin(), codes[20].end());
    EXPECT_TRUE(WaitFor([&] { return page.SelectedCode() == wanted; }, 5000)) << codes[20];
    ::Sleep(300);
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg"), cfg);
    EXPECT_EQ(page.HistoryCount(), 20);
    KeyPress(page.Edit(), VK_F4);  // the drop-down, for the screenshot
    ::Sleep(500);
    Screenshot(page.Main(), L"dtc-history-full");
    KeyPress(page.Edit(), VK_F4);
}

TEST(DtcSearch, WordsFindCodesByTheirDescriptionsAndACodeKeepsItsSearch)
{
    Installation inst;
    DtcPage page;
    std::string why;
    ASSERT_TRUE(page.Open(inst, &why)) << why;
    const int all = page.Rows();

    page.Type("oxygen heater bank 2");
    EXPECT_TRUE(WaitFor([&] { return page.BoxText() == L"oxygen heater bank 2"; }, 5000))
        << "words are not upper-cased: " << Narrow(page.BoxText());
    ASSERT_TRUE(WaitFor([&] { return page.Rows() > 0 && page.Rows() < 100; }, 5000)) << page.Rows();
    // The data holds the bank 2 O2 heater as "HO2S Heater Control Circuit
    // (Bank 2 Sensor 1)" and as "O2 Sensor Heater Circuit Malfunction (Bank 2 Sensor 1)".
    EXPECT_EQ(page.Cell(0, 0), L"P0050");
    EXPECT_EQ(page.Selected(), 0) << "the best match selected";
    std::vector<std::wstring> oxygen;
    for (int r = 0; r < page.Rows(); ++r)
        oxygen.push_back(page.Cell(r, 0));
    EXPECT_NE(std::find(oxygen.begin(), oxygen.end(), L"P0155"), oxygen.end());
    EXPECT_EQ(page.Focus(), page.Edit());
    Screenshot(page.Main(), L"dtc-words-oxygen-heater-bank-2");
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg").find("HistoryNum02"), std::string::npos) << "words are no history";

    page.Erase(20);
    EXPECT_TRUE(WaitFor([&] { return page.Rows() == all; }, 5000)) << "the whole list back: " << page.Rows();
    page.Type("o2 heater bank 2");
    ASSERT_TRUE(WaitFor([&] { return page.Rows() == static_cast<int>(oxygen.size()); }, 5000)) << page.Rows();
    for (int r = 0; r < page.Rows(); ++r)
        EXPECT_EQ(page.Cell(r, 0), oxygen[static_cast<size_t>(r)]) << "o2 finds what oxygen finds, row " << r;

    // A code after words: today's search over the whole list.
    page.Erase(16);
    page.Type("p01");
    EXPECT_TRUE(WaitFor([&] { return page.BoxText() == L"P01"; }, 5000)) << Narrow(page.BoxText());
    EXPECT_TRUE(WaitFor([&] { return page.SelectedCode() == L"P0100"; }, 5000));
    EXPECT_EQ(page.Rows(), all);
    EXPECT_EQ(page.Top(), page.Selected());
}
