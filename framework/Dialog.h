#pragma once
// CDialog: a dialog from a template in the program's resources, either modal
// (DoModal runs its own message loop and calls PreTranslateMessage) or a
// modeless child page (Create).
#include "framework/Wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_templateId(templateId), m_pParent(parent) {}
    ~CDialog() override;

    INT_PTR DoModal();
    // Modeless, as a child of `parent` (or of the constructor's parent).
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(INT_PTR result);

    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Return TRUE when the message was handled and must not be dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg);

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    UINT m_templateId;
    CWnd* m_pParent;

    // The dialog whose modal loop runs on this thread (innermost).
    static CDialog* ModalOnThread();

private:
    // The modal loop's PreTranslateMessage: the dialogs of ours between the
    // message's window and this one first, then this one.
    bool OfferPreTranslate(MSG* msg);
    static INT_PTR CALLBACK StaticDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    bool m_modal = false;
    bool m_endModal = false;
    INT_PTR m_result = -1;
    CDialog* m_outerModal = nullptr;
};
