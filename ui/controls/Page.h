#pragma once
// CPage: a modeless child page of a borderless program window. A press on the
// page's free area drags the top-level window, and Escape and Enter are
// swallowed so that no page ends by keyboard. Pages that take those keys in a
// control of their own (a multi-line text box) override WantsKey.
#include "framework/Dialog.h"

class CPage : public CDialog {
public:
    explicit CPage(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}

    BOOL PreTranslateMessage(MSG* msg) override;
    // Enter (msg, a WM_KEYDOWN) on the focused control: a push button or one
    // of our image buttons is pressed; a list, a link or the tabs get the key
    // (a list activates its selected item). True when it was one of them;
    // otherwise nothing happens, and no dialog ends by Enter either way.
    static bool EnterOnFocus(MSG* msg);
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

protected:
    // True when the key message must reach its control after all.
    virtual bool WantsKey(const MSG& msg) const { return false; }
    // Sends the press to the top-level window as one on its caption.
    void DragTopLevel();
};
