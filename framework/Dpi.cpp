#include "framework/Dpi.h"

#include "framework/core/DpiScale.h"

#include <commctrl.h>

namespace kelvo {

namespace {
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();

// Absent before Windows 10 1607: looked up, never imported, so the programs
// still start on Windows 7 and 8.
template <class F>
F User32Function(const char* name)
{
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

int ScreenDpi()
{
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}
} // namespace

int DpiOfWindow(HWND hwnd)
{
    static const auto forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (forWindow && hwnd) {
        const UINT dpi = forWindow(hwnd);
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    return SystemDpi();
}

int SystemDpi()
{
    static const auto forSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    if (forSystem) {
        const UINT dpi = forSystem();
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    return ScreenDpi();
}

int Scale(int px, int dpi) { return ScaleForDpi(px, dpi); }

void OwnDpiChanges(HWND dialog)
{
    // DDC_DISABLE_ALL (1): no resizing, no font changes, no control resizing.
    using Fn = BOOL(WINAPI*)(HWND, int, int);
    static const auto set = User32Function<Fn>("SetDialogDpiChangeBehavior");
    if (set && dialog)
        set(dialog, 1, 1);
}

void SizeDialogForDpi(HWND dialog, int dpi)
{
    if (!dialog || dpi <= 0 || dpi == kBaseDpi)
        return;
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (!font || ::GetObjectW(font, sizeof lf, &lf) != sizeof lf)
        return;
    // The template's size in dialog units, from the base units of its font now.
    RECT units{0, 0, 4, 8};
    if (!::MapDialogRect(dialog, &units) || units.right <= 0 || units.bottom <= 0)
        return;
    RECT client{};
    ::GetClientRect(dialog, &client);
    const int duX = ::MulDiv(client.right, 4, units.right);
    const int duY = ::MulDiv(client.bottom, 8, units.bottom);
    // The same font at 96 DPI and its base units, as the dialog manager
    // measures them: the mean width of the alphabet and the cell height.
    lf.lfHeight = UnscaleForDpi(lf.lfHeight, dpi);
    HFONT font96 = ::CreateFontIndirectW(&lf);
    HDC dc = ::GetDC(dialog);
    if (!font96 || !dc) {
        if (font96)
            ::DeleteObject(font96);
        if (dc)
            ::ReleaseDC(dialog, dc);
        return;
    }
    HGDIOBJ old = ::SelectObject(dc, font96);
    TEXTMETRICW tm{};
    SIZE abc{};
    static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const bool measured = ::GetTextMetricsW(dc, &tm) && ::GetTextExtentPoint32W(dc, kAlphabet, 52, &abc);
    ::SelectObject(dc, old);
    ::ReleaseDC(dialog, dc);
    ::DeleteObject(font96);
    if (!measured)
        return;
    const int baseX = (abc.cx / 26 + 1) / 2;
    const int baseY = tm.tmHeight;
    if (baseX <= 0 || baseY <= 0)
        return;
    RECT want{0, 0, ScaleForDpi(::MulDiv(duX, baseX, 4), dpi), ScaleForDpi(::MulDiv(duY, baseY, 8), dpi)};
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(dialog, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(dialog, GWL_EXSTYLE));
    using AdjustFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Function<AdjustFn>("AdjustWindowRectExForDpi");
    if (!(adjustForDpi && adjustForDpi(&want, style, FALSE, exStyle, static_cast<UINT>(dpi))))
        ::AdjustWindowRectEx(&want, style, FALSE, exStyle);
    ::SetWindowPos(dialog, nullptr, 0, 0, want.right - want.left, want.bottom - want.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {
struct ColumnScale {
    int from, to;
};

BOOL CALLBACK ScaleColumnsOf(HWND hwnd, LPARAM param)
{
    const auto* scale = reinterpret_cast<const ColumnScale*>(param);
    wchar_t name[32] = L"";
    ::GetClassNameW(hwnd, name, 32);
    if (lstrcmpiW(name, WC_LISTVIEWW) != 0 || (::GetWindowLongW(hwnd, GWL_STYLE) & LVS_TYPEMASK) != LVS_REPORT)
        return TRUE;
    HWND header = reinterpret_cast<HWND>(::SendMessageW(hwnd, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < columns; ++i) {
        const int width = static_cast<int>(::SendMessageW(hwnd, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
        ::SendMessageW(hwnd, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), ::MulDiv(width, scale->to, scale->from));
    }
    return TRUE;
}
} // namespace

void ScaleListColumns(HWND root, int fromDpi, int toDpi)
{
    if (!root || fromDpi <= 0 || toDpi <= 0 || fromDpi == toDpi)
        return;
    ColumnScale scale{fromDpi, toDpi};
    ::EnumChildWindows(root, ScaleColumnsOf, reinterpret_cast<LPARAM>(&scale));
}

void MoveToSuggestedRect(HWND hwnd, LPARAM lParam)
{
    const RECT* r = reinterpret_cast<const RECT*>(lParam);
    if (!r)
        return;
    ::SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace kelvo
