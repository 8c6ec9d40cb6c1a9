#pragma once
// The main window's pages, and the keyboard's way between them.

namespace kelvo {

// The pages in the order of their tabs: a page's number is its tab's index
// (and the number Ctrl+1 ... Ctrl+5 name, less one).
enum Page : int {
    kPageUpdate = 0,
    kPageReport = 1,
    kPageCodes = 2,
    kPageManual = 3,
    kPageSettings = 4,
    kPageCount = 5,
};
// No page shown yet (the main window before its first page).
constexpr int kNoPage = -1;

// Keys that move between the pages, as in any tabbed program: Ctrl+Tab the
// next page, Ctrl+Shift+Tab the previous one (both wrap round), Ctrl+1 ...
// Ctrl+5 that page. `key` is the virtual-key code; `current` -1 stands for
// kPageUpdate, which shows at start. Returns the page to show, or -1 when the key
// is not one of them (Alt held: Ctrl+Alt is AltGr, which types characters).
int PageForKey(unsigned key, bool ctrl, bool shift, bool alt, int current);

} // namespace kelvo
