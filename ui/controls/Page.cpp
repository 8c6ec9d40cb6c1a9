#include "ui/controls/Page.h"

#include "ui/controls/ClrButton.h"

#include <commctrl.h>

bool CPage::EnterOnFocus(MSG* msg)
{
    HWND focus = ::GetFocus();
    if (!focus)
        return false;
    wchar_t cls[32] = {};
    ::GetClassNameW(focus, cls, 32);
    const LONG style = ::GetWindowLongW(focus, GWL_STYLE);
    if (lstrcmpiW(cls, L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        // Push buttons, those a skin or the page draws itself included.
        if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON && type != BS_OWNERDRAW)
            return false;
        ::SendMessageW(focus, BM_CLICK, 0, 0);
        return true;
    }
    if (lstrcmpiW(cls, ClrButton::kClassName) == 0) {
        ::SendMessageW(focus, WM_CLRBUTTON_PRESS, 0, 0);
        return true;
    }
    if (lstrcmpiW(cls, WC_LISTVIEWW) == 0 || lstrcmpiW(cls, WC_LINK) == 0 || lstrcmpiW(cls, L"KelvoTabStrip") == 0) {
        ::TranslateMessage(msg);
        ::DispatchMessageW(msg);
        return true;
    }
    return false;
}

BOOL CPage::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
        // A key the page's control takes goes straight to it, so that no
        // window further up swallows it.
        if (WantsKey(*msg)) {
            ::TranslateMessage(msg);
            ::DispatchMessageW(msg);
        } else if (msg->wParam == VK_RETURN) {
            EnterOnFocus(msg);
        }
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CPage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_LBUTTONDOWN) {
        DragTopLevel();
        return 0;
    }
    return CDialog::WindowProc(msg, wParam, lParam);
}

void CPage::DragTopLevel()
{
    // The caption press wants screen coordinates: those of the message itself.
    const DWORD pos = ::GetMessagePos();
    ::SendMessageW(::GetAncestor(m_hWnd, GA_ROOT), WM_NCLBUTTONDOWN, HTCAPTION, static_cast<LPARAM>(pos));
}
