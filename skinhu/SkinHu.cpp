// SkinHu.dll. A thread-local creation hook and a subclass on every window of
// the thread that attached a skin: parents answer their children's colour
// requests with the skin's colours, push buttons are drawn with the skin's
// face, list views get the skin's colours. A window that answers a colour
// request with a brush of its own, or paints itself, keeps its colours.
#include "skinhu/SkinHu.h"
#include "skinhu/core/SkinFile.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using skinhu::Role;

const UINT_PTR kSubclassId = 0x534B4855;  // "SKHU"
const wchar_t kPropButtonType[] = L"SkinHu.ButtonType";  // push button made owner-drawn: its old type + 1
const wchar_t kPropListViewBack[] = L"SkinHu.ListViewBack";
const wchar_t kPropListViewText[] = L"SkinHu.ListViewText";

struct State {
    bool attached = false;
    skinhu::Skin skin;
    bool aero = false;
    DWORD thread = 0;
    HHOOK hook = nullptr;
    std::map<COLORREF, HBRUSH> brushes;  // colour requests' answers, kept for the process's life: a handful per skin
} g;

COLORREF Colour(Role role)
{
    const skinhu::Rgb c = g.skin.Colour(role);
    return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

HBRUSH Brush(COLORREF c)
{
    auto it = g.brushes.find(c);
    if (it != g.brushes.end())
        return it->second;
    HBRUSH b = ::CreateSolidBrush(c);
    g.brushes[c] = b;
    return b;
}

std::wstring ClassOf(HWND h)
{
    wchar_t name[64] = {};
    ::GetClassNameW(h, name, 64);
    return name;
}

bool Is(HWND h, const wchar_t* cls) { return ::lstrcmpiW(ClassOf(h).c_str(), cls) == 0; }

// What DefWindowProc answers a colour request with: the system's brushes.
bool IsSystemBrush(HBRUSH b)
{
    for (int i = 0; i <= COLOR_MENUBAR; ++i)
        if (b == ::GetSysColorBrush(i))
            return true;
    return false;
}

bool IsPushButtonType(LONG_PTR style)
{
    const LONG_PTR type = style & BS_TYPEMASK;
    return (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) && !(style & (BS_BITMAP | BS_ICON));
}

LRESULT CALLBACK SkinProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR);

void SkinListView(HWND h)
{
    // Only colours that are still the control's defaults or ours from an
    // earlier skin: a colour the program chose stays.
    auto mine = [&](const wchar_t* prop, COLORREF now, COLORREF def) {
        HANDLE p = ::GetPropW(h, prop);
        return now == def || now == CLR_DEFAULT || (p && static_cast<COLORREF>(reinterpret_cast<UINT_PTR>(p) - 1) == now);
    };
    const COLORREF back = Colour(Role::kListView), text = Colour(Role::kListViewText);
    const COLORREF bk = static_cast<COLORREF>(::SendMessageW(h, LVM_GETBKCOLOR, 0, 0));
    if (mine(kPropListViewBack, bk, ::GetSysColor(COLOR_WINDOW))) {
        ::SendMessageW(h, LVM_SETBKCOLOR, 0, back);
        ::SendMessageW(h, LVM_SETTEXTBKCOLOR, 0, back);
        ::SetPropW(h, kPropListViewBack, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(back) + 1));
    }
    const COLORREF tx = static_cast<COLORREF>(::SendMessageW(h, LVM_GETTEXTCOLOR, 0, 0));
    if (mine(kPropListViewText, tx, ::GetSysColor(COLOR_WINDOWTEXT))) {
        ::SendMessageW(h, LVM_SETTEXTCOLOR, 0, text);
        ::SetPropW(h, kPropListViewText, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(text) + 1));
    }
}

// Per-class set-up once the control is complete (after WM_CREATE, or at
// attach time for windows that existed already).
void Prepare(HWND h)
{
    if (Is(h, WC_BUTTONW)) {
        const LONG_PTR style = ::GetWindowLongPtrW(h, GWL_STYLE);
        if (IsPushButtonType(style) && !::GetPropW(h, kPropButtonType)) {
            // The parent draws it from now on, with the skin's face.
            ::SetPropW(h, kPropButtonType, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(style & BS_TYPEMASK) + 1));
            ::SetWindowLongPtrW(h, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
        } else if (!IsPushButtonType(style) && (style & BS_TYPEMASK) != BS_OWNERDRAW) {
            // Check boxes, radio buttons and group boxes take the text colour
            // of the colour request only when drawn without visual styles.
            ::SetWindowTheme(h, L"", L"");
        }
    } else if (Is(h, WC_LISTVIEWW)) {
        SkinListView(h);
    }
}

// Installing the same subclass twice keeps one: the second call only
// replaces its (unused) reference data.
void Hook(HWND h) { ::SetWindowSubclass(h, SkinProc, kSubclassId, 0); }

// Fills with the device context's own brush: a gradient's many line colours
// need no brush each, and the context's brush colour is left as it was.
void Fill(HDC dc, const RECT& r, COLORREF c)
{
    const COLORREF was = ::SetDCBrushColor(dc, c);
    ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
    ::SetDCBrushColor(dc, was);
}

void Frame(HDC dc, const RECT& r, COLORREF c)
{
    const COLORREF was = ::SetDCBrushColor(dc, c);
    ::FrameRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
    ::SetDCBrushColor(dc, was);
}

void DrawPushButton(const DRAWITEMSTRUCT* dis)
{
    HDC dc = dis->hDC;
    RECT r = dis->rcItem;
    const bool pressed = (dis->itemState & ODS_SELECTED) != 0;
    const bool disabled = (dis->itemState & ODS_DISABLED) != 0;
    const COLORREF face = Colour(Role::kButton), border = Colour(Role::kButtonBorder);
    auto shade = [](COLORREF c, int delta) {
        auto ch = [&](int v) { v += delta; return v < 0 ? 0 : v > 255 ? 255 : v; };
        return RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c)));
    };
    const COLORREF base = pressed ? shade(face, -24) : face;
    if (g.aero) {
        // Glass: a lighter top fading into the face colour.
        const COLORREF top = shade(base, 40);
        const int h = r.bottom - r.top;
        for (int y = 0; y < h; ++y) {
            const int t = h > 1 ? y * 255 / (h - 1) : 255;
            const COLORREF c = RGB((GetRValue(top) * (255 - t) + GetRValue(base) * t) / 255,
                                   (GetGValue(top) * (255 - t) + GetGValue(base) * t) / 255,
                                   (GetBValue(top) * (255 - t) + GetBValue(base) * t) / 255);
            RECT line{r.left, r.top + y, r.right, r.top + y + 1};
            Fill(dc, line, c);
        }
    } else {
        Fill(dc, r, base);
    }
    Frame(dc, r, border);

    wchar_t text[256] = {};
    ::GetWindowTextW(dis->hwndItem, text, 256);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(dis->hwndItem, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    const COLORREF ink = Colour(Role::kButtonText);
    ::SetTextColor(dc, disabled ? RGB((GetRValue(ink) + GetRValue(face)) / 2, (GetGValue(ink) + GetGValue(face)) / 2,
                                      (GetBValue(ink) + GetBValue(face)) / 2)
                                : ink);
    RECT tr = r;
    if (pressed)
        ::OffsetRect(&tr, 1, 1);
    ::DrawTextW(dc, text, -1, &tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (old)
        ::SelectObject(dc, old);
    if (dis->itemState & ODS_FOCUS) {
        RECT fr = r;
        ::InflateRect(&fr, -3, -3);
        ::DrawFocusRect(dc, &fr);
    }
}

// The colours of a child's request: background and text.
bool ColoursFor(UINT msg, HWND child, COLORREF* back, COLORREF* text)
{
    switch (msg) {
    case WM_CTLCOLORDLG:
        *back = Colour(Role::kDialog);
        *text = Colour(Role::kText);
        return true;
    case WM_CTLCOLOREDIT:
        *back = Colour(Role::kEdit);
        *text = Colour(Role::kEditText);
        return true;
    case WM_CTLCOLORLISTBOX:
        *back = Colour(Role::kList);
        *text = Colour(Role::kListText);
        return true;
    case WM_CTLCOLORSTATIC:
        // Read-only and disabled edit controls ask as statics.
        if (child && Is(child, WC_EDITW)) {
            *back = Colour(Role::kEdit);
            *text = Colour(Role::kEditText);
        } else {
            *back = Colour(Role::kDialog);
            *text = Colour(Role::kText);
        }
        return true;
    case WM_CTLCOLORBTN:
        *back = Colour(Role::kDialog);
        *text = Colour(Role::kButtonText);
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK SkinProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR)
{
    switch (msg) {
    case WM_CREATE: {
        LRESULT r = ::DefSubclassProc(h, msg, wp, lp);
        if (r != -1 && g.attached)
            Prepare(h);
        return r;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        LRESULT r = ::DefSubclassProc(h, msg, wp, lp);
        if (!g.attached)
            return r;
        // A brush of the window's own: it chose its colours.
        if (r != 0 && !IsSystemBrush(reinterpret_cast<HBRUSH>(r)))
            return r;
        COLORREF back, text;
        HWND child = msg == WM_CTLCOLORDLG ? h : reinterpret_cast<HWND>(lp);
        if (!ColoursFor(msg, child, &back, &text))
            return r;
        HDC dc = reinterpret_cast<HDC>(wp);
        ::SetTextColor(dc, text);
        ::SetBkColor(dc, back);
        return reinterpret_cast<LRESULT>(Brush(back));
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (dis && dis->CtlType == ODT_BUTTON && ::GetPropW(dis->hwndItem, kPropButtonType)) {
            DrawPushButton(dis);
            return TRUE;
        }
        return ::DefSubclassProc(h, msg, wp, lp);
    }
    case WM_NCDESTROY:
        ::RemovePropW(h, kPropButtonType);
        ::RemovePropW(h, kPropListViewBack);
        ::RemovePropW(h, kPropListViewText);
        ::RemoveWindowSubclass(h, SkinProc, kSubclassId);
        return ::DefSubclassProc(h, msg, wp, lp);
    default:
        return ::DefSubclassProc(h, msg, wp, lp);
    }
}

LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_CREATEWND)
        Hook(reinterpret_cast<HWND>(wp));
    return ::CallNextHookEx(g.hook, code, wp, lp);
}

BOOL CALLBACK EachChild(HWND h, LPARAM)
{
    Hook(h);
    Prepare(h);
    return TRUE;
}

BOOL CALLBACK EachTop(HWND h, LPARAM lp)
{
    Hook(h);
    Prepare(h);
    ::EnumChildWindows(h, EachChild, 0);
    if (lp)
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

void RepaintThread()
{
    std::vector<HWND> tops;
    ::EnumThreadWindows(g.thread, EachTop, reinterpret_cast<LPARAM>(&tops));
    for (HWND h : tops)
        ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool ReadFileBytes(const wchar_t* path, std::vector<uint8_t>* out)
{
    HANDLE f = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = ::GetFileSizeEx(f, &size) && size.QuadPart >= 0 && size.QuadPart <= 64 * 1024;
    if (ok) {
        out->resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = out->empty() || (::ReadFile(f, out->data(), static_cast<DWORD>(out->size()), &got, nullptr) &&
                              got == out->size());
    }
    ::CloseHandle(f);
    return ok;
}

std::string Utf8(const wchar_t* w)
{
    if (!w || !*w)
        return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

} // namespace

extern "C" __declspec(dllexport) int WINAPI SkinH_AttachEx(const wchar_t* path, const wchar_t* password)
{
    std::vector<uint8_t> bytes;
    if (!path || !ReadFileBytes(path, &bytes))
        return SKINH_ERR_FILE;
    skinhu::Skin skin;
    switch (skinhu::DecodeSkin(bytes.data(), bytes.size(), Utf8(password), &skin)) {
    case skinhu::SkinError::kNone:
        break;
    case skinhu::SkinError::kWrongPassword:
        return SKINH_ERR_PASSWORD;
    default:
        return SKINH_ERR_DAMAGED;
    }
    const DWORD thread = ::GetCurrentThreadId();
    if (g.hook && g.thread != thread) {
        ::UnhookWindowsHookEx(g.hook);
        g.hook = nullptr;
    }
    g.thread = thread;
    if (!g.hook)
        g.hook = ::SetWindowsHookExW(WH_CBT, CbtProc, nullptr, thread);
    g.skin = skin;
    g.attached = true;
    RepaintThread();
    return SKINH_OK;
}

namespace {

// Undoes what attaching did to one window: the push buttons draw themselves
// again, check boxes get their visual styles back, a list view's colours that
// are still ours go back to the system's.
void Release(HWND h)
{
    if (HANDLE type = ::GetPropW(h, kPropButtonType)) {
        const LONG_PTR style = ::GetWindowLongPtrW(h, GWL_STYLE);
        const LONG_PTR old = static_cast<LONG_PTR>(reinterpret_cast<UINT_PTR>(type) - 1);
        ::SetWindowLongPtrW(h, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | old);
        ::RemovePropW(h, kPropButtonType);
    } else if (Is(h, WC_BUTTONW) && !IsPushButtonType(::GetWindowLongPtrW(h, GWL_STYLE)) &&
               (::GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK) != BS_OWNERDRAW) {
        ::SetWindowTheme(h, nullptr, nullptr);
    }
    if (Is(h, WC_LISTVIEWW)) {
        auto ours = [&](const wchar_t* prop, COLORREF now) {
            HANDLE p = ::RemovePropW(h, prop);
            return p && static_cast<COLORREF>(reinterpret_cast<UINT_PTR>(p) - 1) == now;
        };
        if (ours(kPropListViewBack, static_cast<COLORREF>(::SendMessageW(h, LVM_GETBKCOLOR, 0, 0)))) {
            ::SendMessageW(h, LVM_SETBKCOLOR, 0, ::GetSysColor(COLOR_WINDOW));
            ::SendMessageW(h, LVM_SETTEXTBKCOLOR, 0, ::GetSysColor(COLOR_WINDOW));
        }
        if (ours(kPropListViewText, static_cast<COLORREF>(::SendMessageW(h, LVM_GETTEXTCOLOR, 0, 0))))
            ::SendMessageW(h, LVM_SETTEXTCOLOR, 0, ::GetSysColor(COLOR_WINDOWTEXT));
    }
    // The subclass stays, inert until the next skin: removing the last one
    // puts back the window procedure it found, which would undo a subclass
    // the program made after it (a dialog framework's).
}

BOOL CALLBACK ReleaseChild(HWND h, LPARAM)
{
    Release(h);
    return TRUE;
}

BOOL CALLBACK ReleaseTop(HWND h, LPARAM lp)
{
    ::EnumChildWindows(h, ReleaseChild, 0);
    Release(h);
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

} // namespace

extern "C" __declspec(dllexport) int WINAPI SkinH_SetAero(int enable)
{
    g.aero = enable != 0;
    if (g.attached)
        RepaintThread();
    return SKINH_OK;
}

// Takes the skin off: the thread's windows get the system's colours and
// drawing back, and windows created later are left alone, until the next
// SkinH_AttachEx (high contrast wants no skin; the user's skin comes back
// when it ends).
extern "C" __declspec(dllexport) int WINAPI SkinH_Detach()
{
    if (!g.attached && !g.hook)
        return SKINH_OK;
    g.attached = false;
    if (g.hook) {
        ::UnhookWindowsHookEx(g.hook);
        g.hook = nullptr;
    }
    std::vector<HWND> tops;
    ::EnumThreadWindows(g.thread, ReleaseTop, reinterpret_cast<LPARAM>(&tops));
    for (HWND h : tops)
        ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return SKINH_OK;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        if (g.hook)
            ::UnhookWindowsHookEx(g.hook);
        for (auto& b : g.brushes)
            ::DeleteObject(b.second);
        g.brushes.clear();
    }
    return TRUE;
}
