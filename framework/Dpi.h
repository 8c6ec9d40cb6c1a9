#pragma once
// The DPI a window is laid out for, and its layouts scaled to it. The
// programs declare per-monitor awareness (v2): Windows no longer stretches
// them, so every pixel layout, font and image goes through here.
#include <windows.h>

namespace kelvo {

// The DPI of the monitor the window is on (GetDpiForWindow, Windows 10 1607
// and later); before that the screen's LOGPIXELSY, which then holds for every
// monitor. 96 when neither can be told.
int DpiOfWindow(HWND hwnd);
// The DPI windows start at before they know their monitor (the primary's at
// logon, or the screen's on older systems).
int SystemDpi();
// `px` 96-DPI pixels at `dpi` (MulDiv rounding); unchanged at 96.
int Scale(int px, int dpi);

// A window's scale at hand: Dpi s(hwnd); s(45) is 45 px at its DPI.
class Dpi {
public:
    explicit Dpi(HWND hwnd) : m_dpi(DpiOfWindow(hwnd)) {}
    explicit Dpi(int dpi) : m_dpi(dpi > 0 ? dpi : 96) {}
    int operator()(int px) const { return Scale(px, m_dpi); }
    int Value() const { return m_dpi; }

private:
    int m_dpi;
};

// The window lays itself out on DPI changes: Windows 10's own resizing and
// font changes of dialogs (per-monitor v2) are turned off for it, where the
// system has them, so they do not fight its layout.
void OwnDpiChanges(HWND dialog);

// A dialog from a template: its client area made the size the template gives
// at 96 DPI, scaled to `dpi`. A template grows with its font, and a font
// 1.5 times as high is seldom exactly 1.5 times as wide; the layouts are
// scaled exactly. Nothing changes at 96 DPI.
void SizeDialogForDpi(HWND dialog, int dpi);

// The columns of every report-view list in `root`'s tree, widened or narrowed
// from `fromDpi` to `toDpi` (they were set once, in pixels of the old DPI).
void ScaleListColumns(HWND root, int fromDpi, int toDpi);

// WM_DPICHANGED: the window takes the rectangle Windows suggests (lParam), in
// which it keeps the same size in 96-DPI pixels on the new monitor.
void MoveToSuggestedRect(HWND hwnd, LPARAM lParam);

} // namespace kelvo
