#include "framework/Dialog.h"

namespace {
thread_local CDialog* t_modal = nullptr;
} // namespace

CDialog* CDialog::ModalOnThread() { return t_modal; }

CDialog::~CDialog()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND h = m_hWnd;
        UnsubclassWindow();
        ::DestroyWindow(h);
    }
}

INT_PTR CALLBACK CDialog::StaticDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    // From here on every message runs through the dialog's WindowProc; the
    // dialog manager's own handling is what Default() reaches.
    auto* dlg = reinterpret_cast<CDialog*>(lParam);
    dlg->SubclassWindow(hwnd);
    return dlg->OnInitDialog();
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_templateId = templateId;
    if (parent)
        m_pParent = parent;
    HWND h = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId),
                                  m_pParent ? m_pParent->m_hWnd : nullptr, &CDialog::StaticDlgProc,
                                  reinterpret_cast<LPARAM>(this));
    return h != nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND owner = m_pParent ? m_pParent->m_hWnd : nullptr;
    m_modal = true;
    m_endModal = false;
    m_result = -1;
    if (!Create(m_templateId, m_pParent))
        return -1;
    if (owner)
        ::EnableWindow(owner, FALSE);
    m_outerModal = t_modal;
    t_modal = this;
    ::ShowWindow(m_hWnd, SW_SHOW);

    MSG msg;
    while (!m_endModal) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT: hand it on to any outer loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1)
            break;
        if (OfferPreTranslate(&msg))
            continue;
        if (m_hWnd && ::IsDialogMessageW(m_hWnd, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }

    t_modal = m_outerModal;
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    if (m_hWnd) {
        HWND h = m_hWnd;
        ::DestroyWindow(h);
    }
    m_modal = false;
    return m_result;
}

void CDialog::EndDialog(INT_PTR result)
{
    m_result = result;
    if (m_modal) {
        m_endModal = true;
        // Wake the loop if the call came from outside it.
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::DestroyWindow(m_hWnd);
    }
}

BOOL CDialog::PreTranslateMessage(MSG*) { return FALSE; }

bool CDialog::OfferPreTranslate(MSG* msg)
{
    // From the target window up to this dialog: a page sees its keys before
    // the window that hosts it.
    for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
        if (h == m_hWnd)
            break;
        if (auto* dlg = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(h)))
            if (dlg->PreTranslateMessage(msg))
                return true;
    }
    return PreTranslateMessage(msg) != FALSE;
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND && lParam == 0) {
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return 0;
        case IDCANCEL:
            OnCancel();
            return 0;
        }
    }
    if (msg == WM_COMMAND && lParam != 0 && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) &&
        HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK)
            OnOK();
        else
            OnCancel();
        return 0;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}
