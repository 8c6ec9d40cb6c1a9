#pragma once
// What a screen reader is told about our windows. The system's own
// accessible object of a window stays in charge; where it has no name (a list,
// a text box, a button that paints a picture) or the wrong role, a thin object
// around it gives ours. oleacc is loaded from the system folder on first use.
#include <windows.h>

#include <oleacc.h>

#include <string>

namespace kelvo {

// oleacc's entry points, or null when it cannot be loaded.
using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
LresultFromObjectFn OleaccLresultFromObject();
CreateStdAccessibleObjectFn OleaccCreateStdAccessibleObject();

// Answer to WM_GETOBJECT for `hwnd`: for OBJID_CLIENT, the system's object
// with `name` (and `role` unless 0) in place of its own; 0 otherwise, or
// when oleacc is missing, so the caller lets the default answer.
// `defaultAction` (when not 0) is sent to the window when a reader does the
// object's default action.
LRESULT AnswerNamedObject(HWND hwnd, WPARAM wParam, LPARAM lParam, const std::wstring& name, long role,
                          UINT defaultAction = 0);

// Base of accessible objects of our own: IUnknown, IDispatch (not
// supported, as readers use IAccessible directly) and reference counting.
class AccessibleBase : public IAccessible {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override
    {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    // Setters that no reader needs.
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

protected:
    virtual ~AccessibleBase() = default;

private:
    LONG m_refs = 1;
};

// A BSTR of a text, for the out-parameters of IAccessible.
BSTR AllocText(const std::wstring& text);

} // namespace kelvo
