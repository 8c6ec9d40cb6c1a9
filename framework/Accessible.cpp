#include "framework/Accessible.h"

#include "platform/win/SystemDll.h"

namespace kelvo {

namespace {

HMODULE Oleacc()
{
    // From the system folder only; never from the program's or the current folder.
    static HMODULE module = LoadSystemDll(L"oleacc.dll");
    return module;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// The system's object of a window with our name, role and default action.
class NamedAccessible : public AccessibleBase {
public:
    NamedAccessible(HWND hwnd, IAccessible* inner, const std::wstring& name, long role, UINT action)
        : m_hwnd(hwnd), m_inner(inner), m_name(name), m_role(role), m_action(action)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible))
            return AccessibleBase::QueryInterface(riid, out);
        // Children's enumeration and the window handle are the system's.
        return m_inner->QueryInterface(riid, out);
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override { return m_inner->get_accParent(p); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override { return m_inner->get_accChildCount(n); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT c, IDispatch** p) override { return m_inner->get_accChild(c, p); }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT c, BSTR* name) override
    {
        if (!IsSelf(c))
            return m_inner->get_accName(c, name);
        *name = AllocText(m_name);
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT c, BSTR* v) override { return m_inner->get_accValue(c, v); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT c, BSTR* d) override
    {
        return m_inner->get_accDescription(c, d);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT c, VARIANT* role) override
    {
        if (!IsSelf(c) || !m_role)
            return m_inner->get_accRole(c, role);
        role->vt = VT_I4;
        role->lVal = m_role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT c, VARIANT* s) override { return m_inner->get_accState(c, s); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT c, BSTR* h) override { return m_inner->get_accHelp(c, h); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* f, VARIANT c, long* t) override
    {
        return m_inner->get_accHelpTopic(f, c, t);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT c, BSTR* k) override
    {
        return m_inner->get_accKeyboardShortcut(c, k);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* f) override { return m_inner->get_accFocus(f); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* s) override { return m_inner->get_accSelection(s); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT c, BSTR* a) override
    {
        return m_inner->get_accDefaultAction(c, a);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT c) override { return m_inner->accSelect(flags, c); }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT c) override
    {
        return m_inner->accLocation(x, y, w, h, c);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* end) override
    {
        return m_inner->accNavigate(dir, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* c) override { return m_inner->accHitTest(x, y, c); }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT c) override
    {
        if (!IsSelf(c) || !m_action)
            return m_inner->accDoDefaultAction(c);
        ::PostMessageW(m_hwnd, m_action, 0, 0);
        return S_OK;
    }

private:
    ~NamedAccessible() override { m_inner->Release(); }

    HWND m_hwnd;
    IAccessible* m_inner;
    std::wstring m_name;
    long m_role;
    UINT m_action;
};

} // namespace

LresultFromObjectFn OleaccLresultFromObject()
{
    HMODULE m = Oleacc();
    return m ? reinterpret_cast<LresultFromObjectFn>(::GetProcAddress(m, "LresultFromObject")) : nullptr;
}

CreateStdAccessibleObjectFn OleaccCreateStdAccessibleObject()
{
    HMODULE m = Oleacc();
    return m ? reinterpret_cast<CreateStdAccessibleObjectFn>(::GetProcAddress(m, "CreateStdAccessibleObject"))
             : nullptr;
}

BSTR AllocText(const std::wstring& text) { return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

HRESULT STDMETHODCALLTYPE AccessibleBase::QueryInterface(REFIID riid, void** out)
{
    if (!out)
        return E_POINTER;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

LRESULT AnswerNamedObject(HWND hwnd, WPARAM wParam, LPARAM lParam, const std::wstring& name, long role,
                          UINT defaultAction)
{
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || name.empty())
        return 0;
    auto create = OleaccCreateStdAccessibleObject();
    auto answer = OleaccLresultFromObject();
    if (!create || !answer)
        return 0;
    IAccessible* inner = nullptr;
    if (FAILED(create(hwnd, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&inner))) || !inner)
        return 0;
    auto* named = new NamedAccessible(hwnd, inner, name, role, defaultAction);
    const LRESULT r = answer(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(named));
    named->Release();
    return r > 0 ? r : 0;
}

} // namespace kelvo
