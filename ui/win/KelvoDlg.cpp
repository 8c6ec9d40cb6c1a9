#include "ui/win/KelvoDlg.h"

#include "app/core/texts.h"

BOOL CKelvoDlg::OnInitDialog()
{
    SetWindowText(GetText(TextId(0)));
    CenterWindow();
    return TRUE;
}

BOOL CKelvoDlg::PreTranslateMessage(MSG* msg)
{
    // No dialog of ours ends by keyboard.
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CKelvoDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLOSE) {
        EndDialog(IDCANCEL);
        return 0;
    }
    return CDialog::WindowProc(msg, wParam, lParam);
}
