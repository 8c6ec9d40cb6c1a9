// A test DLL that measures texts inside the program under test: fonts are
// objects of the process that made them, so another process cannot measure
// with a control's font. The test hooks the program's UI thread
// (WH_GETMESSAGE) with this DLL and posts it the message "Kelvo test text
// fit"; the hook then writes, for every visible static, push button (owner-drawn
// too) and check
// box below that window, one line to the file named by the message's wParam
// (an atom): "id<TAB>needed width<TAB>needed height<TAB>client width<TAB>client height<TAB>text".
#include <windows.h>

#include <cstdio>

namespace {

UINT FitMessage()
{
    static const UINT message = ::RegisterWindowMessageW(L"Kelvo test text fit");
    return message;
}

struct Output {
    FILE* file;
};

BOOL CALLBACK MeasureOne(HWND c, LPARAM param)
{
    FILE* out = reinterpret_cast<Output*>(param)->file;
    if (!::IsWindowVisible(c))
        return TRUE;
    wchar_t cls[32] = L"";
    ::GetClassNameW(c, cls, 32);
    const LONG style = ::GetWindowLongW(c, GWL_STYLE);
    const LONG kind = style & BS_TYPEMASK;
    const bool isStatic = lstrcmpiW(cls, L"Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT;
    const bool isCheck = lstrcmpiW(cls, L"Button") == 0 && (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX);
    // Owner-drawn buttons (the pages' large ones) draw their text on one line too.
    const bool isPush = lstrcmpiW(cls, L"Button") == 0 &&
                        (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON || kind == BS_OWNERDRAW);
    if (!isStatic && !isCheck && !isPush)
        return TRUE;
    wchar_t text[512] = L"";
    const int length = ::GetWindowTextW(c, text, 512);
    if (length <= 0)
        return TRUE;
    RECT client{};
    ::GetClientRect(c, &client);
    HDC dc = ::GetDC(c);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(c, WM_GETFONT, 0, 0)));
    RECT need{0, 0, 0, 0};
    UINT flags = DT_CALCRECT | DT_SINGLELINE;
    if (isStatic && !(style & SS_LEFTNOWORDWRAP)) {
        // Static text wraps at word breaks: it fits if the wrapped lines do.
        need.right = client.right;
        flags = DT_CALCRECT | DT_WORDBREAK;
    }
    if (style & SS_NOPREFIX && isStatic)
        flags |= DT_NOPREFIX;
    ::DrawTextW(dc, text, length, &need, flags);
    ::SelectObject(dc, old);
    ::ReleaseDC(c, dc);
    int width = need.right - need.left;
    if (isCheck)
        width += ::GetSystemMetrics(SM_CXMENUCHECK) + ::GetSystemMetrics(SM_CXEDGE);
    for (int i = 0; i < length; ++i)
        if (text[i] == L'\t' || text[i] == L'\n' || text[i] == L'\r')
            text[i] = L' ';
    std::fprintf(out, "%d\t%d\t%ld\t%ld\t%ld\t%ls\n", ::GetDlgCtrlID(c), width, need.bottom - need.top, client.right,
                 client.bottom, text);
    return TRUE;
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK TextFitHook(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg && msg->message == FitMessage()) {
        wchar_t path[MAX_PATH] = L"";
        if (::GlobalGetAtomNameW(static_cast<ATOM>(msg->wParam), path, MAX_PATH)) {
            FILE* f = _wfopen(path, L"wb");
            if (f) {
                Output out{f};
                ::EnumChildWindows(msg->hwnd, MeasureOne, reinterpret_cast<LPARAM>(&out));
                std::fprintf(f, "end\n");
                std::fclose(f);
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
