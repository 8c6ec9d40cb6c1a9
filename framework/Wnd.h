#pragma once
// CWnd: holder of one HWND with one virtual window procedure. Windows of our
// own classes and subclassed dialog controls both dispatch into WindowProc;
// Default() hands the current message to the procedure that was there before.
#include <windows.h>

#include <string>

class CFont;

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return this ? m_hWnd : nullptr; }
    operator HWND() const { return m_hWnd; }
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Creates a window of a registered class, dispatching into this object.
    BOOL CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id);
    BOOL DestroyWindow();

    // Takes over an existing window (a dialog's control, for example).
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    // The one window procedure. Overrides handle what they need and pass the
    // rest to their base class.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Messages a parent reflects back to the control that sent them
    // (WM_NOTIFY, WM_DRAWITEM, WM_MEASUREITEM, WM_CTLCOLOR*). Return true when
    // handled, with the answer in *result.
    virtual bool OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Offered each message of a modal loop before it is dispatched, by the
    // target window and then each of its parents up to the top-level one
    // (see CDialog::DoModal). Return TRUE when it was taken: nobody further
    // up sees it and it is not dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg) { return FALSE; }
    // That walk: from msg->hwnd up to its top-level window; TRUE when one took it.
    static BOOL WalkPreTranslate(MSG* msg);
    // Called when the window is gone (after WM_NCDESTROY).
    virtual void PostNcDestroy() {}

    LRESULT Default();

    // Thin helpers over the Win32 calls of the same name.
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    void MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE) const { ::MoveWindow(m_hWnd, x, y, cx, cy, repaint); }
    void MoveWindow(const RECT& r, BOOL repaint = TRUE) const { MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, repaint); }
    void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    UINT_PTR SetTimer(UINT_PTR id, UINT ms) const { return ::SetTimer(m_hWnd, id, ms, nullptr); }
    BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }
    void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void UpdateWindow() const { ::UpdateWindow(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) const { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const std::wstring& text) const { ::SetDlgItemTextW(m_hWnd, id, text.c_str()); }
    std::wstring GetDlgItemText(int id) const;
    void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
    void GetWindowRect(RECT* r) const { ::GetWindowRect(m_hWnd, r); }
    void SetFont(CFont* font, BOOL redraw = TRUE) const;
    LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageW(m_hWnd, msg, w, l); }
    BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageW(m_hWnd, msg, w, l); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    void CenterWindow() const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }

    // What a screen reader calls this window (and its role, 0 for the
    // system's); empty leaves the system's answer. `action`, when not 0, is
    // sent to the window when a reader does its default action.
    void SetAccessibleName(const std::wstring& name, long role = 0, UINT action = 0)
    {
        m_accName = name;
        m_accRole = role;
        m_accAction = action;
    }

    // Shared by every window of ours: routes a message to its CWnd.
    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    void Attach(HWND hwnd);
    void Detach();
    // Reflects a child's notification back to the child's CWnd, if it has one.
    static bool ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

    WNDPROC m_oldProc = nullptr;
    std::wstring m_accName;
    long m_accRole = 0;
    UINT m_accAction = 0;  // sent to the window for a reader's default action

private:
    // The message being handled, for Default().
    struct Current {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    } m_current{};
};
