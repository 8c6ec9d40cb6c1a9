#include "framework/Wnd.h"

#include "framework/core/Geometry.h"
#include "framework/Accessible.h"

#include "framework/Font.h"

#include <vector>

namespace {
const wchar_t kProp[] = L"Kelvo.CWnd";
} // namespace

CWnd::~CWnd()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND h = m_hWnd;
        if (m_oldProc)
            UnsubclassWindow();
        else {
            Detach();
            ::DestroyWindow(h);
        }
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kProp)) : nullptr;
}

void CWnd::Attach(HWND hwnd)
{
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kProp, this);
}

void CWnd::Detach()
{
    if (m_hWnd)
        ::RemovePropW(m_hWnd, kProp);
    m_hWnd = nullptr;
}

BOOL CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, const RECT& rect,
                    CWnd* parent, UINT id)
{
    HWND h = ::CreateWindowExW(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                               (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr,
                               ::GetModuleHandleW(nullptr), this);
    return h != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    if (!hwnd || m_hWnd)
        return FALSE;
    Attach(hwnd);
    m_oldProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWndProc)));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    return SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow()
{
    HWND h = m_hWnd;
    if (h && m_oldProc)
        ::SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
    m_oldProc = nullptr;
    Detach();
    return h;
}

LRESULT CALLBACK CWnd::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = FromHandlePermanent(hwnd);
    if (!wnd && msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        wnd = static_cast<CWnd*>(cs->lpCreateParams);
        if (wnd)
            wnd->Attach(hwnd);
    }
    if (!wnd)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);

    Current saved = wnd->m_current;
    wnd->m_current = {msg, wParam, lParam};
    LRESULT r = wnd->WindowProc(msg, wParam, lParam);
    wnd->m_current = saved;

    if (msg == WM_NCDESTROY) {
        WNDPROC old = wnd->m_oldProc;
        wnd->m_oldProc = nullptr;
        if (old)
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        wnd->Detach();
        wnd->PostNcDestroy();
    }
    return r;
}

LRESULT CWnd::Default()
{
    if (m_oldProc)
        return ::CallWindowProcW(m_oldProc, m_hWnd, m_current.msg, m_current.wParam, m_current.lParam);
    return ::DefWindowProcW(m_hWnd, m_current.msg, m_current.wParam, m_current.lParam);
}

bool CWnd::ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    HWND child = nullptr;
    switch (msg) {
    case WM_NOTIFY:
        child = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
        break;
    case WM_DRAWITEM:
        child = reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem;
        break;
    case WM_MEASUREITEM:
        // The control may not be subclassed yet; find it by id.
        break;
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        child = reinterpret_cast<HWND>(lParam);
        break;
    case WM_COMMAND:
        child = reinterpret_cast<HWND>(lParam);
        break;
    default:
        return false;
    }
    CWnd* wnd = FromHandlePermanent(child);
    return wnd && wnd->OnChildNotify(msg, wParam, lParam, result);
}

bool CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT r = 0;
    if (msg == WM_GETOBJECT && !m_accName.empty())
        if (LRESULT named = kelvo::AnswerNamedObject(m_hWnd, wParam, lParam, m_accName, m_accRole, m_accAction))
            return named;
    if (ReflectToChild(msg, wParam, lParam, &r))
        return r;
    return Default();
}

std::wstring CWnd::GetWindowText() const
{
    int n = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> buf(static_cast<size_t>(n) + 1);
    ::GetWindowTextW(m_hWnd, buf.data(), n + 1);
    return std::wstring(buf.data());
}

std::wstring CWnd::GetDlgItemText(int id) const
{
    HWND h = ::GetDlgItem(m_hWnd, id);
    int n = ::GetWindowTextLengthW(h);
    std::vector<wchar_t> buf(static_cast<size_t>(n) + 1);
    ::GetWindowTextW(h, buf.data(), n + 1);
    return std::wstring(buf.data());
}

void CWnd::SetFont(CFont* font, BOOL redraw) const
{
    ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font->m_hObject : nullptr), redraw);
}

void CWnd::CenterWindow() const
{
    RECT r, area;
    ::GetWindowRect(m_hWnd, &r);
    HWND parent = ::GetParent(m_hWnd);
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = 0, y = 0;
    if (parent && (GetStyle() & WS_CHILD)) {
        ::GetClientRect(parent, &area);
        x = area.left + (area.right - area.left - w) / 2;
        y = area.top + (area.bottom - area.top - h) / 2;
    } else {
        // The monitor the user is looking at, the one under the pointer, and
        // wholly on it: a window off its edge cannot be reached.
        POINT cursor{};
        ::GetCursorPos(&cursor);
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        if (::GetMonitorInfoW(::MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &mi))
            area = mi.rcWork;
        else
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        kelvo::PlaceInWorkArea(kelvo::Rect{area.left, area.top, area.right, area.bottom}, w, h, &x, &y);
    }
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::WalkPreTranslate(MSG* msg)
{
    for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
        if (CWnd* w = FromHandlePermanent(h))
            if (w->PreTranslateMessage(msg))
                return TRUE;
        // A top-level window ends the walk: GetParent of a popup is its owner.
        if (!(::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD))
            break;
    }
    return FALSE;
}
