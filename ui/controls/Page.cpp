#include "ui/controls/Page.h"

BOOL CPage::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
        // A key the page's control takes goes straight to it, so that no
        // window further up swallows it.
        if (WantsKey(*msg)) {
            ::TranslateMessage(msg);
            ::DispatchMessageW(msg);
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
