// A test DLL that measures texts inside the program under test: a font is an
// object of the process that made it, so another process cannot measure with
// a control's font. The test loads this DLL into the program and runs
// MeasureTexts there on a thread of its own (CreateRemoteThread), which writes,
// for every visible static, push button (owner-drawn too) and check box below
// the request's window, one line to the request's file: "id<TAB>needed
// width<TAB>needed height<TAB>client width<TAB>client height<TAB>text", and
// "end" last. A thread rather than a message hook: a hook would run inside
// the program's window thread and Wine then lays its windows out as for 96 DPI.
#include <windows.h>

#include <cstdio>

namespace {

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
    const LONG type = style & SS_TYPEMASK;
    const bool isStatic = lstrcmpiW(cls, L"Static") == 0 && (type <= SS_RIGHT || type == SS_LEFTNOWORDWRAP);
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
    if (isStatic && type != SS_LEFTNOWORDWRAP) {
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

// The request, written into the program's memory by the test.
struct TextFitRequest {
    HWND window;
    wchar_t path[MAX_PATH];
};

extern "C" __declspec(dllexport) DWORD WINAPI MeasureTexts(void* param)
{
    const auto* request = static_cast<const TextFitRequest*>(param);
    if (!request)
        return 1;
    FILE* f = _wfopen(request->path, L"wb");
    if (!f)
        return 2;
    Output out{f};
    ::EnumChildWindows(request->window, MeasureOne, reinterpret_cast<LPARAM>(&out));
    std::fprintf(f, "end\n");
    std::fclose(f);
    return 0;
}
