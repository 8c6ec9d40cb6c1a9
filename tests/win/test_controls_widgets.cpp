// The three custom controls inside a real dialog: ClrButton's click rules and
// strip frames, CProListCtrl's update messages and progress column,
// CRadioListBox's rules for disabled items and its stripes.
#include "test_controls_support.h"

#include "ui/controls/Drawing.h"
#include "ui/controls/ClrButton.h"
#include "ui/controls/ProListCtrl.h"
#include "ui/controls/RadioListBox.h"
#include "ui/core/Palette.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace kelvo::test;

namespace {

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

// ---------------------------------------------------------------- ClrButton

class ClrButtonTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_host.Open());
        ASSERT_TRUE(m_button.Create(WS_CHILD | WS_VISIBLE, RECT{600, 400, 640, 426}, &m_host, 10087));
        // The real cursor stays away from the button unless a test moves it.
        SetCursorPos(5, 5);
        Pump(50);
    }
    // Screen point inside the button.
    POINT OnButton() const
    {
        POINT p{20, 13};
        ClientToScreen(m_button.m_hWnd, &p);
        return p;
    }
    // Moves the real mouse, as the hardware does (a warp of the cursor alone
    // is not reported to windows as movement).
    void MouseTo(POINT p)
    {
        ::SetCursorPos(p.x, p.y);
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = MOUSEEVENTF_MOVE;
        SendInput(1, &in, sizeof(in));
    }
    std::string Where() const
    {
        POINT p;
        GetCursorPos(&p);
        HWND under = WindowFromPoint(p);
        RECT r;
        GetWindowRect(m_button.m_hWnd, &r);
        wchar_t cls[64] = L"";
        GetClassNameW(under, cls, 64);
        std::string c;
        for (wchar_t ch : std::wstring(cls))
            c += static_cast<char>(ch);
        return "cursor " + std::to_string(p.x) + "," + std::to_string(p.y) + " button " + std::to_string(r.left) + "," +
               std::to_string(r.top) + " under " + c + (under == m_host.m_hWnd ? " (host)" : "");
    }
    void MouseButton(DWORD flag)
    {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flag;
        SendInput(1, &in, sizeof(in));
    }

    CHostDialog m_host;
    ClrButton m_button;
};

TEST_F(ClrButtonTest, ClickPostsExactlyOneNotificationWithTheId)
{
    m_button.SendMessage(WM_MOUSEMOVE, 0, Point(20, 13));
    EXPECT_EQ(1, m_button.m_state);
    m_button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(20, 13));
    EXPECT_EQ(2, m_button.m_state);
    EXPECT_TRUE(m_button.m_pressed);
    EXPECT_TRUE(m_host.m_clicks.empty()) << "a press alone is no click";
    m_button.SendMessage(WM_LBUTTONUP, 0, Point(20, 13));
    Pump(100);
    ASSERT_EQ(1u, m_host.m_clicks.size());
    EXPECT_EQ(10087u, m_host.m_clicks[0].first);
    EXPECT_EQ(0, m_host.m_clicks[0].second);
    EXPECT_FALSE(m_button.m_pressed);

    // A release without a press on the button (pressed elsewhere) is no click.
    m_button.SendMessage(WM_LBUTTONUP, 0, Point(20, 13));
    Pump(50);
    EXPECT_EQ(1u, m_host.m_clicks.size());
}

TEST_F(ClrButtonTest, PressKeptWhileTheMouseIsAwayReleasedElsewhereForgotten)
{
    m_button.SendMessage(WM_MOUSEMOVE, 0, Point(20, 13));
    m_button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(20, 13));
    m_button.SendMessage(WM_MOUSELEAVE);
    EXPECT_EQ(0, m_button.m_state) << "normal again once the mouse is gone";
    EXPECT_TRUE(m_button.m_outside);
    // Coming back with the button still held and releasing over it is a click.
    m_button.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, Point(20, 13));
    m_button.SendMessage(WM_LBUTTONUP, 0, Point(20, 13));
    Pump(100);
    EXPECT_EQ(1u, m_host.m_clicks.size());

    // Released while away (the release went elsewhere): coming back without
    // the button held ends the press, so a later release alone is no click.
    m_button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(20, 13));
    m_button.SendMessage(WM_MOUSELEAVE);
    m_button.SendMessage(WM_MOUSEMOVE, 0, Point(20, 13));
    EXPECT_FALSE(m_button.m_pressed);
    m_button.SendMessage(WM_LBUTTONUP, 0, Point(20, 13));
    Pump(100);
    EXPECT_EQ(1u, m_host.m_clicks.size());
}

TEST_F(ClrButtonTest, RealMouseClickAndAbandonedPress)
{
    POINT on = OnButton();
    MouseTo(on);
    ASSERT_TRUE(PumpUntil([&] { return m_button.m_state == 1; }, 2000)) << "hover seen; " << Where();
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(PumpUntil([&] { return m_button.m_state == 2; }, 2000));
    MouseTo({on.x - 200, on.y + 200});  // off the button, over the host
    ASSERT_TRUE(PumpUntil([&] { return m_button.m_state == 0; }, 2000)) << "leave seen";
    MouseButton(MOUSEEVENTF_LEFTUP);
    Pump(200);
    EXPECT_TRUE(m_host.m_clicks.empty());

    MouseTo(on);
    ASSERT_TRUE(PumpUntil([&] { return m_button.m_state == 1; }, 2000));
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    MouseButton(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(PumpUntil([&] { return !m_host.m_clicks.empty(); }, 2000));
    Pump(100);
    EXPECT_EQ(1u, m_host.m_clicks.size());
    EXPECT_EQ(10087u, m_host.m_clicks[0].first);
    MouseTo({5, 5});
    Pump(100);
}

TEST_F(ClrButtonTest, DrawsTheFrameOfItsState)
{
    HWND h = m_button.m_hWnd;
    // Without a strip nothing is drawn over what was there, and nothing breaks.
    RepaintNow(h);
    m_button.SetStripId(kStripPng);
    RepaintNow(h);
    EXPECT_EQ(RGB(255, 0, 0), PixelAt(h, 20, 13)) << "normal: frame 0";
    m_button.SendMessage(WM_MOUSEMOVE, 0, Point(20, 13));
    RepaintNow(h);
    EXPECT_EQ(RGB(0, 255, 0), PixelAt(h, 20, 13)) << "mouse over: frame 1";
    m_button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(20, 13));
    RepaintNow(h);
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(h, 20, 13)) << "pressed: frame 2";
    // The frame is stretched over the whole button.
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(h, 1, 1));
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(h, 38, 24));
    m_button.SendMessage(WM_MOUSELEAVE);
    RepaintNow(h);
    EXPECT_EQ(RGB(255, 0, 0), PixelAt(h, 20, 13));
    // A strip id without a resource draws nothing and does not fail.
    m_button.SetStripId(4242);
    RepaintNow(h);
}

// ---------------------------------------------------------------- CProListCtrl

class ProListTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_host.Open());
        ASSERT_TRUE(m_list.SubclassDlgItem(1003, &m_host));
        m_list.MoveWindow(0, 0, 640, 200);
        m_list.SetFont(g_pFont16);
        m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB);
        for (int c = 0; c < 6; ++c)
            m_list.InsertColumn(c, L"c", LVCFMT_LEFT, 40);
        m_list.InsertColumn(6, L"progress", LVCFMT_LEFT, 250);
        ASSERT_EQ(0, m_list.AddProgressItem(0, L"001", 0));
        ASSERT_EQ(1, m_list.AddProgressItem(1, L"002", 1));
    }
    // Pixel of row `item` in the progress column, `dx` pixels into the bar.
    COLORREF BarPixel(int item, int dx)
    {
        RECT r;
        m_list.GetSubItemRect(item, 6, LVIR_BOUNDS, &r);
        return PixelAt(m_list.m_hWnd, r.left + dx, (r.top + r.bottom) / 2);
    }

    CHostDialog m_host;
    CProListCtrl m_list;
};

TEST_F(ProListTest, UpdateMessagesChangeTheRows)
{
    EXPECT_FALSE(m_list.IsPresentLocally(0));
    EXPECT_TRUE(m_list.IsPresentLocally(1));

    EXPECT_EQ(0, m_list.SendMessage(WM_UPDATE_PROGRESS, 0, 37));
    EXPECT_EQ(37, m_list.ItemProgress(0));
    EXPECT_EQ(0, m_list.ItemProgress(1));

    std::wstring status = L"37% / 12.5KB/s";
    EXPECT_EQ(0, m_list.SendMessage(WM_UPDATE_STATUS, 0, reinterpret_cast<LPARAM>(status.c_str())));
    std::wstring shown = m_list.GetItemText(0, 6);
    const std::wstring& padding = m_list.Padding();
    ASSERT_FALSE(padding.empty());
    EXPECT_EQ(std::wstring::npos, padding.find_first_not_of(L' '));
    EXPECT_EQ(padding + status, shown);
    EXPECT_EQ(L"", m_list.GetItemText(1, 6)) << "other rows untouched";

    // The padding is the fewest spaces of the 16-pixel font that cover the bar.
    HDC dc = GetDC(m_list.m_hWnd);
    HGDIOBJ old = SelectObject(dc, g_pFont16->m_hObject);
    SIZE all{}, lessOne{};
    GetTextExtentPoint32W(dc, padding.c_str(), static_cast<int>(padding.size()), &all);
    GetTextExtentPoint32W(dc, padding.c_str(), static_cast<int>(padding.size()) - 1, &lessOne);
    SelectObject(dc, old);
    ReleaseDC(m_list.m_hWnd, dc);
    EXPECT_GE(all.cx, 100);
    EXPECT_LT(lessOne.cx, 100);

    // A null text leaves just the padding.
    m_list.SendMessage(WM_UPDATE_STATUS, 1, 0);
    EXPECT_EQ(padding, m_list.GetItemText(1, 6));

    // Out-of-range progress is held to the bar.
    m_list.SendMessage(WM_UPDATE_PROGRESS, 0, 250);
    EXPECT_EQ(100, m_list.ItemProgress(0));
    m_list.SendMessage(WM_UPDATE_PROGRESS, 0, static_cast<LPARAM>(-5));
    EXPECT_EQ(0, m_list.ItemProgress(0));

    EXPECT_EQ(0, m_list.SendMessage(WM_UPDATE_FLASHING, 0, 0));
    EXPECT_EQ(1, m_list.ItemStatus(0));
    EXPECT_TRUE(m_list.IsPresentLocally(0));
}

TEST_F(ProListTest, EndClearsOnlyThatRowsCheckBox)
{
    m_list.SetCheck(0, TRUE);
    m_list.SetCheck(1, TRUE);
    ASSERT_TRUE(m_list.GetCheck(0));
    EXPECT_EQ(0, m_list.SendMessage(WM_UPDATE_END, 0, 0));
    EXPECT_FALSE(m_list.GetCheck(0));
    EXPECT_TRUE(m_list.GetCheck(1));
}

TEST_F(ProListTest, FailedAndDoneRunTheOwnersSteps)
{
    // The parent dialog implements the owner interface.
    EXPECT_EQ(0, m_list.SendMessage(WM_UPDATE_FAILED));
    EXPECT_EQ(1, m_host.m_failed);
    EXPECT_EQ(0, m_host.m_done);
    EXPECT_EQ(0, m_list.SendMessage(WM_UPDATE_DONE, 0, 5));
    EXPECT_EQ(1, m_host.m_done);
    EXPECT_EQ(5, m_host.m_lastWorker);

    // An explicit owner takes precedence over the parent.
    struct Owner : IUpdateListOwner {
        int failed = 0, done = 0;
        int worker = -1;
        void OnUpdateFailed(int w) override { ++failed; worker = w; }
        void OnUpdateDone(int w) override { ++done; worker = w; }
    } owner;
    m_list.SetOwner(&owner);
    m_list.SendMessage(WM_UPDATE_DONE);
    m_list.SendMessage(WM_UPDATE_FAILED);
    m_list.SendMessage(WM_UPDATE_FAILED, 0, 7);
    EXPECT_EQ(7, owner.worker) << "the worker's id reaches the owner";
    EXPECT_EQ(1, owner.done);
    EXPECT_EQ(2, owner.failed);
    EXPECT_EQ(1, m_host.m_failed);
    EXPECT_EQ(1, m_host.m_done);
}

TEST_F(ProListTest, DeleteAllItemsEmptiesTheMaps)
{
    m_list.SendMessage(WM_UPDATE_PROGRESS, 0, 50);
    m_list.SendMessage(WM_UPDATE_FLASHING, 0, 0);
    CListCtrl& base = m_list;  // through the base class too
    EXPECT_TRUE(base.DeleteAllItems());
    EXPECT_EQ(0, m_list.GetItemCount());
    EXPECT_TRUE(m_list.m_itemStatus.empty());
    EXPECT_TRUE(m_list.m_itemProgress.empty());
    // A new row at an old index starts fresh.
    ASSERT_EQ(0, m_list.AddProgressItem(0, L"001", 0));
    EXPECT_EQ(0, m_list.ItemProgress(0));
    EXPECT_FALSE(m_list.IsPresentLocally(0));
}

TEST_F(ProListTest, ProgressColumnDrawsTheBar)
{
    const COLORREF orange = RGB(244, 174, 54), red = RGB(255, 0, 0), green = RGB(53, 213, 56);
    std::wstring text = L"x";
    m_list.SendMessage(WM_UPDATE_STATUS, 0, reinterpret_cast<LPARAM>(text.c_str()));
    RepaintNow(m_list.m_hWnd);
    // Progress 0: the bar alone, 100 pixels wide.
    EXPECT_EQ(orange, BarPixel(0, 1));
    EXPECT_EQ(orange, BarPixel(0, 99));
    EXPECT_NE(orange, BarPixel(0, 101));

    m_list.SendMessage(WM_UPDATE_PROGRESS, 0, 40);
    RepaintNow(m_list.m_hWnd);
    EXPECT_EQ(red, BarPixel(0, 10));
    EXPECT_EQ(red, BarPixel(0, 39));
    EXPECT_EQ(orange, BarPixel(0, 41));

    m_list.SendMessage(WM_UPDATE_PROGRESS, 0, 100);
    RepaintNow(m_list.m_hWnd);
    EXPECT_EQ(red, BarPixel(0, 1));
    EXPECT_EQ(red, BarPixel(0, 99));

    // Finished (writing into the tool): red bar filling green.
    m_list.SendMessage(WM_UPDATE_FLASHING, 0, 0);
    m_list.SendMessage(WM_UPDATE_PROGRESS, 0, 30);
    RepaintNow(m_list.m_hWnd);
    EXPECT_EQ(green, BarPixel(0, 10));
    EXPECT_EQ(red, BarPixel(0, 60));
    // Row 1 was added as present locally, with no progress.
    EXPECT_EQ(red, BarPixel(1, 10));
}

TEST_F(ProListTest, UnderHighContrastTheBarIsTheSystemsSelectionOnTheWindowColourWithAnOutline)
{
    kelvo::SystemColours sys;
    sys.window = RGB(0, 0, 0);
    sys.windowText = RGB(255, 255, 255);
    sys.highlight = RGB(0x1A, 0xEB, 0xFF);
    const kelvo::Palette before = kelvo::ActivePalette();
    kelvo::SetActivePalette(kelvo::SystemPalette(sys));
    std::wstring text = L"x";
    m_list.SendMessage(WM_UPDATE_STATUS, 0, reinterpret_cast<LPARAM>(text.c_str()));
    m_list.SendMessage(WM_UPDATE_PROGRESS, 0, 40);
    RepaintNow(m_list.m_hWnd);
    EXPECT_EQ(sys.highlight, BarPixel(0, 20));
    EXPECT_EQ(sys.window, BarPixel(0, 60));
    EXPECT_EQ(sys.windowText, BarPixel(0, 99)) << "the outline's right edge";
    // Writing into the tool looks the same: no colour of our own anywhere.
    m_list.SendMessage(WM_UPDATE_FLASHING, 0, 0);
    RepaintNow(m_list.m_hWnd);
    EXPECT_EQ(sys.highlight, BarPixel(0, 20));
    EXPECT_EQ(sys.window, BarPixel(0, 60));
    kelvo::SetActivePalette(before);
}

// ---------------------------------------------------------------- CRadioListBox

class RadioListTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_host.Open());
        ASSERT_TRUE(m_box.SubclassDlgItem(1021, &m_host));
        m_box.MoveWindow(0, 220, 300, 35 * 7 + 4);
        m_box.SetItemHeight(0, 35);
        for (const wchar_t* t : {L"A", L"B", L"C", L"D"})
            ASSERT_GE(m_box.AddItem(t, 0, 20), 0);
        m_box.EnableItem(1, FALSE);
        m_box.EnableItem(2, FALSE);
        m_box.SetCurSel(0);
        m_host.m_selChanges = 0;
    }
    void Key(WPARAM vk) { m_box.SendMessage(WM_KEYDOWN, vk, 1); }
    void Click(int item)
    {
        int y = (item - m_box.GetTopIndex()) * 35 + 17;
        m_box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(60, y));
        m_box.SendMessage(WM_LBUTTONUP, 0, Point(60, y));
    }

    CHostDialog m_host;
    CRadioListBox m_box;
};

TEST_F(RadioListTest, AddItemKeepsTheIndentAndTheBitmapId)
{
    EXPECT_EQ(20, m_box.m_indent);
    EXPECT_EQ(4, m_box.AddItem(L"E", 133));  // indent 0 leaves it
    EXPECT_EQ(20, m_box.m_indent);
    EXPECT_EQ(133u, m_box.GetItemData(4));
    EXPECT_EQ(0u, m_box.GetItemData(0));
    EXPECT_EQ(L"E", m_box.GetText(4));
}

TEST_F(RadioListTest, DownAndUpSkipDisabledItems)
{
    Key(VK_DOWN);
    EXPECT_EQ(3, m_box.GetCurSel()) << "A -> D over B and C";
    EXPECT_EQ(0, m_host.m_selChanges) << "not announced";
    Key(VK_UP);
    EXPECT_EQ(0, m_box.GetCurSel());
    Key(VK_RIGHT);
    EXPECT_EQ(3, m_box.GetCurSel());
    Key(VK_LEFT);
    EXPECT_EQ(0, m_box.GetCurSel());

    m_box.EnableItem(3, FALSE);
    Key(VK_DOWN);
    EXPECT_EQ(0, m_box.GetCurSel()) << "nothing enabled below: the key does nothing";
    Key(VK_UP);
    EXPECT_EQ(0, m_box.GetCurSel()) << "nothing above";
}

TEST_F(RadioListTest, EnabledNeighboursUseTheListBoxsOwnHandling)
{
    m_box.EnableItem(1, TRUE);
    Key(VK_DOWN);
    EXPECT_EQ(1, m_box.GetCurSel());
    EXPECT_EQ(1, m_host.m_selChanges) << "the list box's own move is announced";
}

TEST_F(RadioListTest, HomeAndEnd)
{
    Key(VK_END);
    EXPECT_EQ(3, m_box.GetCurSel()) << "last enabled: normal handling";
    Key(VK_HOME);
    EXPECT_EQ(0, m_box.GetCurSel()) << "first enabled: normal handling";

    // A, B enabled; C, D disabled: End finds B from the second-to-last upward.
    m_box.EnableItem(1, TRUE);
    m_box.EnableItem(3, FALSE);
    m_box.SetCurSel(0);
    Key(VK_END);
    EXPECT_EQ(1, m_box.GetCurSel());

    // A, B disabled; C, D enabled: Home finds C from item 1 downward.
    m_box.EnableItem(0, FALSE);
    m_box.EnableItem(1, FALSE);
    m_box.EnableItem(2, TRUE);
    m_box.EnableItem(3, TRUE);
    m_box.SetCurSel(3);
    Key(VK_HOME);
    EXPECT_EQ(2, m_box.GetCurSel());
    EXPECT_EQ(2, m_host.m_selChanges) << "only the two normal moves were announced";

    // All disabled: Home and End do nothing.
    m_box.EnableItem(2, FALSE);
    m_box.EnableItem(3, FALSE);
    Key(VK_HOME);
    EXPECT_EQ(2, m_box.GetCurSel());
    m_box.SetCurSel(1);
    Key(VK_END);
    EXPECT_EQ(1, m_box.GetCurSel());
}

TEST_F(RadioListTest, PageKeysAreIgnored)
{
    Key(VK_NEXT);
    EXPECT_EQ(0, m_box.GetCurSel());
    m_box.SetCurSel(3);
    Key(VK_PRIOR);
    EXPECT_EQ(3, m_box.GetCurSel());
}

TEST_F(RadioListTest, ClicksOnDisabledItemsChangeNothing)
{
    Click(1);
    EXPECT_EQ(0, m_box.GetCurSel());
    Click(2);
    EXPECT_EQ(0, m_box.GetCurSel());
    EXPECT_EQ(0, m_host.m_selChanges);
    // Double clicks obey the same rule.
    m_box.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, Point(60, 35 + 17));
    m_box.SendMessage(WM_LBUTTONUP, 0, Point(60, 35 + 17));
    EXPECT_EQ(0, m_box.GetCurSel());
    // Below the last item there is nothing to select.
    m_box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 35 * 5 + 10));
    m_box.SendMessage(WM_LBUTTONUP, 0, Point(60, 35 * 5 + 10));
    EXPECT_EQ(0, m_box.GetCurSel());

    Click(3);
    EXPECT_EQ(3, m_box.GetCurSel());
    EXPECT_GE(m_host.m_selChanges, 1) << "an enabled item is selected the normal way";
}

TEST_F(RadioListTest, TypeAheadDoesNotLandOnADisabledItem)
{
    m_box.SendMessage(WM_CHAR, L'B', 1);
    EXPECT_EQ(0, m_box.GetCurSel());
    m_box.SendMessage(WM_CHAR, L'D', 1);
    EXPECT_EQ(3, m_box.GetCurSel());
}

TEST_F(RadioListTest, FlagsOutsideTheBoxAreSafe)
{
    m_box.EnableItem(-1, FALSE);
    m_box.EnableItem(CRadioListBox::kMaxItems, FALSE);
    m_box.SetItemRadio(100000, FALSE);
    EXPECT_TRUE(m_box.IsItemEnabled(CRadioListBox::kMaxItems + 3));
    EXPECT_TRUE(m_box.HasItemRadio(-7));
    // The box takes at most kMaxItems items, so every item has its flags.
    for (int i = m_box.GetCount(); i < CRadioListBox::kMaxItems; ++i)
        ASSERT_EQ(i, m_box.AddItem(L"x"));
    EXPECT_EQ(-1, m_box.AddItem(L"one too many"));
    EXPECT_EQ(CRadioListBox::kMaxItems, m_box.GetCount());
}

TEST_F(RadioListTest, TransparentBoxAnswersItsColourRequestWithTheFaceBrush)
{
    HDC dc = GetDC(m_box.m_hWnd);
    auto ask = [&] {
        return reinterpret_cast<HBRUSH>(
            m_host.SendMessage(WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_box.m_hWnd)));
    };
    EXPECT_NE(GetSysColorBrush(COLOR_BTNFACE), ask());
    SetWindowLongPtrW(m_box.m_hWnd, GWL_EXSTYLE, GetWindowLongPtrW(m_box.m_hWnd, GWL_EXSTYLE) | WS_EX_TRANSPARENT);
    EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE), ask());
    ReleaseDC(m_box.m_hWnd, dc);
}

TEST_F(RadioListTest, StripesCoverItemsAndTheEmptyRows)
{
    const COLORREF grey = RGB(240, 240, 240), white = RGB(255, 255, 255);
    RepaintNow(m_box.m_hWnd);
    // Far right of each row: only the stripe is there.
    EXPECT_EQ(white, PixelAt(m_box.m_hWnd, 280, 17));
    EXPECT_EQ(grey, PixelAt(m_box.m_hWnd, 280, 35 + 17));
    EXPECT_EQ(white, PixelAt(m_box.m_hWnd, 280, 70 + 17));
    EXPECT_EQ(grey, PixelAt(m_box.m_hWnd, 280, 105 + 17));
    // Rows 4, 5 and 6 hold no item and carry on the stripes.
    EXPECT_EQ(white, PixelAt(m_box.m_hWnd, 280, 140 + 17));
    EXPECT_EQ(grey, PixelAt(m_box.m_hWnd, 280, 175 + 17));
    EXPECT_EQ(white, PixelAt(m_box.m_hWnd, 280, 210 + 17));
    // The selected item's radio is drawn where the indent puts it.
    bool anyDark = false;
    for (int x = 20; x < 45 && !anyDark; ++x)
        for (int y = 5; y < 30 && !anyDark; ++y)
            anyDark = GetRValue(PixelAt(m_box.m_hWnd, x, y)) < 128;
    EXPECT_TRUE(anyDark);
}

TEST_F(RadioListTest, TheFocusedItemCarriesTheFocusMark)
{
    // The top edge of item 0, right of its text: white stripe alone without
    // the focus, the dotted mark with it.
    auto marked = [&] {
        int dark = 0;
        for (int x = 250; x < 290; ++x)
            dark += GetRValue(PixelAt(m_box.m_hWnd, x, 0)) < 128;
        return dark;
    };
    ::SetFocus(m_host.m_hWnd);
    RepaintNow(m_box.m_hWnd);
    EXPECT_EQ(marked(), 0);
    ::SetFocus(m_box.m_hWnd);
    RepaintNow(m_box.m_hWnd);
    EXPECT_GT(marked(), 5) << "the focus mark on the selected item";
}

TEST_F(RadioListTest, UnderADarkSkinTheStripesAndWordsTakeTheSkinsColours)
{
    const COLORREF dark = RGB(0x1E, 0x1F, 0x22), light = RGB(0xE0, 0xE0, 0xE0);
    m_box.SetSkinColours(true, dark, light);
    RepaintNow(m_box.m_hWnd);
    EXPECT_EQ(dark, PixelAt(m_box.m_hWnd, 280, 17));
    const COLORREF odd = PixelAt(m_box.m_hWnd, 280, 35 + 17);
    EXPECT_NE(odd, dark) << "the stripes still alternate";
    EXPECT_LT(GetRValue(odd), 0x40) << "and stay dark";
    EXPECT_EQ(dark, PixelAt(m_box.m_hWnd, 280, 140 + 17)) << "the empty rows too";
    // Item 0's word "A" in the light text colour.
    int lightInk = 0;
    for (int x = 60; x < 90; ++x)
        for (int y = 5; y < 30; ++y)
            lightInk += GetRValue(PixelAt(m_box.m_hWnd, x, y)) > 0xB0;
    EXPECT_GT(lightInk, 3);
    // Without a skin: the box's own white and grey again.
    m_box.SetSkinColours(false);
    RepaintNow(m_box.m_hWnd);
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(m_box.m_hWnd, 280, 17));
    EXPECT_EQ(RGB(240, 240, 240), PixelAt(m_box.m_hWnd, 280, 35 + 17));
}

TEST_F(RadioListTest, BitmapOfAnEntryWithoutARadioStandsWhereOneWithARadioHasIt)
{
    const int item = m_box.AddItem(L"", kBlueBitmap);  // row 4, a white stripe
    m_box.SetItemRadio(item, FALSE);
    RepaintNow(m_box.m_hWnd);
    const int y = 35 * 4 + 17;
    // Indent 20, then the radio's 25 pixels (drawn or not) and 10 more.
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(m_box.m_hWnd, 20 + 35 + 2, y));
    EXPECT_EQ(RGB(255, 255, 255), PixelAt(m_box.m_hWnd, 20 + 10 + 2, y));
}

TEST_F(RadioListTest, LongTextWidensTheHorizontalExtent)
{
    int index = m_box.AddItem(L"A very long language name that does not fit the box at all");
    ASSERT_GE(index, 0);
    RepaintNow(m_box.m_hWnd);
    RECT client;
    m_box.GetClientRect(&client);
    int extent = static_cast<int>(m_box.SendMessage(LB_GETHORIZONTALEXTENT));
    EXPECT_GT(extent, client.right);
    EXPECT_EQ(m_box.m_maxExtent + 10, extent);
}

} // namespace
