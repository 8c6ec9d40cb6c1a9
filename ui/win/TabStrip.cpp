#include "ui/win/TabStrip.h"

#include "framework/Accessible.h"

const wchar_t CTabStrip::kClassName[] = L"KelvoTabStrip";

namespace {

bool RegisterStripClass()
{
    static bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &CWnd::StaticWndProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = CTabStrip::kClassName;
        return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// Child ids: 0 the list itself, 1..5 the page tabs.
int ChildOf(const VARIANT& v)
{
    if (v.vt != VT_I4)
        return -1;
    return v.lVal >= 0 && v.lVal <= ITabStripHost::kTabs ? static_cast<int>(v.lVal) : -1;
}

void SetChild(VARIANT* v, long id)
{
    v->vt = VT_I4;
    v->lVal = id;
}

// The tab list as a screen reader sees it. Asked on the window's own thread
// (the system marshals the calls there); a window that is gone answers that
// the object is no longer connected.
class TabListAccessible : public kelvo::AccessibleBase {
public:
    explicit TabListAccessible(CTabStrip* strip) : m_strip(strip), m_hwnd(strip->m_hWnd) {}

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        *parent = nullptr;
        auto create = kelvo::OleaccCreateStdAccessibleObject();
        if (!Alive() || !create)
            return S_FALSE;
        return create(m_hwnd, OBJID_WINDOW, __uuidof(IDispatch), reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override
    {
        *n = ITabStripHost::kTabs;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override
    {
        *child = nullptr;  // the tabs are simple elements of this object
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT v, BSTR* name) override
    {
        *name = nullptr;
        const int c = ChildOf(v);
        if (c < 0)
            return E_INVALIDARG;
        if (!Alive())
            return CO_E_OBJNOTCONNECTED;
        *name = kelvo::AllocText(c == 0 ? m_strip->ListName() : m_strip->Host()->TabName(c - 1));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* value) override
    {
        *value = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* d) override
    {
        *d = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT v, VARIANT* role) override
    {
        const int c = ChildOf(v);
        if (c < 0)
            return E_INVALIDARG;
        SetChild(role, c == 0 ? ROLE_SYSTEM_PAGETABLIST : ROLE_SYSTEM_PAGETAB);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT v, VARIANT* state) override
    {
        const int c = ChildOf(v);
        if (c < 0)
            return E_INVALIDARG;
        if (!Alive())
            return CO_E_OBJNOTCONNECTED;
        const bool focused = m_strip->HasFocus();
        long s = STATE_SYSTEM_FOCUSABLE;
        if (c == 0) {
            if (focused)
                s |= STATE_SYSTEM_FOCUSED;
        } else {
            s |= STATE_SYSTEM_SELECTABLE;
            if (m_strip->Host()->CurrentTab() == c - 1) {
                s |= STATE_SYSTEM_SELECTED;
                if (focused)
                    s |= STATE_SYSTEM_FOCUSED;
            }
        }
        SetChild(state, s);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override
    {
        *help = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override
    {
        *file = nullptr;
        *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT v, BSTR* keys) override
    {
        *keys = nullptr;
        const int c = ChildOf(v);
        if (c < 0)
            return E_INVALIDARG;
        if (c == 0)
            return S_FALSE;
        *keys = kelvo::AllocText(L"Ctrl+" + std::to_wstring(c));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        focus->vt = VT_EMPTY;
        if (!Alive())
            return CO_E_OBJNOTCONNECTED;
        if (m_strip->HasFocus())
            SetChild(focus, m_strip->Host()->CurrentTab() + 1);
        return focus->vt == VT_EMPTY ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        if (!Alive())
            return CO_E_OBJNOTCONNECTED;
        SetChild(selection, m_strip->Host()->CurrentTab() + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT v, BSTR* action) override
    {
        *action = nullptr;
        return ChildOf(v) < 0 ? E_INVALIDARG : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT v) override
    {
        const int c = ChildOf(v);
        if (c < 0)
            return E_INVALIDARG;
        if (!Alive())
            return CO_E_OBJNOTCONNECTED;
        if (c > 0 && (flags & (SELFLAG_TAKESELECTION | SELFLAG_TAKEFOCUS)))
            m_strip->Host()->ActivateTab(c - 1);
        if (flags & SELFLAG_TAKEFOCUS)
            ::SetFocus(m_hwnd);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT v) override
    {
        const int c = ChildOf(v);
        if (c < 0)
            return E_INVALIDARG;
        if (!Alive())
            return CO_E_OBJNOTCONNECTED;
        RECT r{};
        if (c == 0) {
            ::GetWindowRect(m_hwnd, &r);
        } else {
            r = m_strip->Host()->TabRect(c - 1);
            ::MapWindowPoints(::GetParent(m_hwnd), nullptr, reinterpret_cast<POINT*>(&r), 2);
        }
        *x = r.left;
        *y = r.top;
        *w = r.right - r.left;
        *h = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* end) override
    {
        end->vt = VT_EMPTY;
        const int c = ChildOf(start);
        if (c < 0)
            return E_INVALIDARG;
        int to = 0;
        switch (dir) {
        case NAVDIR_FIRSTCHILD:
            to = c == 0 ? 1 : 0;
            break;
        case NAVDIR_LASTCHILD:
            to = c == 0 ? ITabStripHost::kTabs : 0;
            break;
        case NAVDIR_NEXT:
        case NAVDIR_RIGHT:
            to = c > 0 && c < ITabStripHost::kTabs ? c + 1 : 0;
            break;
        case NAVDIR_PREVIOUS:
        case NAVDIR_LEFT:
            to = c > 1 ? c - 1 : 0;
            break;
        default:
            break;
        }
        if (!to)
            return S_FALSE;
        SetChild(end, to);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override
    {
        child->vt = VT_EMPTY;
        if (!Alive())
            return CO_E_OBJNOTCONNECTED;
        POINT p{x, y};
        ::ScreenToClient(::GetParent(m_hwnd), &p);
        for (int i = 0; i < ITabStripHost::kTabs; ++i) {
            const RECT r = m_strip->Host()->TabRect(i);
            if (::PtInRect(&r, p)) {
                SetChild(child, i + 1);
                return S_OK;
            }
        }
        RECT w{};
        ::GetWindowRect(m_hwnd, &w);
        if (::PtInRect(&w, POINT{x, y})) {
            SetChild(child, CHILDID_SELF);
            return S_OK;
        }
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT v) override
    {
        const int c = ChildOf(v);
        if (c <= 0)
            return c < 0 ? E_INVALIDARG : DISP_E_MEMBERNOTFOUND;
        if (!Alive())
            return CO_E_OBJNOTCONNECTED;
        m_strip->Host()->ActivateTab(c - 1);
        return S_OK;
    }

private:
    bool Alive() const { return ::IsWindow(m_hwnd) && CWnd::FromHandlePermanent(m_hwnd) == m_strip; }

    CTabStrip* m_strip;
    HWND m_hwnd;
};

} // namespace

BOOL CTabStrip::Create(CWnd* parent, const RECT& rect, UINT id, ITabStripHost* host)
{
    m_host = host;
    if (!RegisterStripClass())
        return FALSE;
    return CreateEx(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, rect, parent, id);
}

void CTabStrip::NotifySelection() const
{
    if (!m_hWnd || !m_host)
        return;
    const LONG child = m_host->CurrentTab() + 1;
    ::NotifyWinEvent(EVENT_OBJECT_SELECTION, m_hWnd, OBJID_CLIENT, child);
    if (HasFocus())
        ::NotifyWinEvent(EVENT_OBJECT_FOCUS, m_hWnd, OBJID_CLIENT, child);
}

void CTabStrip::OnKey(UINT key)
{
    const int current = m_host->CurrentTab();
    int next = current;
    switch (key) {
    case VK_LEFT:
        next = (current + ITabStripHost::kTabs - 1) % ITabStripHost::kTabs;
        break;
    case VK_RIGHT:
        next = (current + 1) % ITabStripHost::kTabs;
        break;
    case VK_HOME:
        next = 0;
        break;
    case VK_END:
        next = ITabStripHost::kTabs - 1;
        break;
    default:
        return;
    }
    if (next != current)
        m_host->ActivateTab(next);
}

LRESULT CTabStrip::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_NCHITTEST:
        // The main window takes every click: it drags and switches pages.
        return HTTRANSPARENT;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        // The main window paints the tabs under us.
        PAINTSTRUCT ps;
        ::BeginPaint(m_hWnd, &ps);
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        if (m_host)
            OnKey(static_cast<UINT>(wParam));
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (m_host) {
            m_host->TabFocusChanged();
            if (msg == WM_SETFOCUS)
                ::NotifyWinEvent(EVENT_OBJECT_FOCUS, m_hWnd, OBJID_CLIENT, m_host->CurrentTab() + 1);
        }
        return 0;
    case WM_GETOBJECT:
        if (static_cast<LONG>(lParam) == OBJID_CLIENT && m_host) {
            if (auto answer = kelvo::OleaccLresultFromObject()) {
                auto* object = new TabListAccessible(this);
                const LRESULT r = answer(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(object));
                object->Release();
                if (r > 0)
                    return r;
            }
        }
        break;
    default:
        break;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}
