#pragma once
// The keyboard's way between the main window's pages.

namespace kelvo {

// Keys that move between the pages, as in any tabbed program: Ctrl+Tab the
// next page, Ctrl+Shift+Tab the previous one (both wrap round), Ctrl+1 ...
// Ctrl+5 that page. `key` is the virtual-key code; `current` -1 stands for
// page 0, which shows at start. Returns the page to show, or -1 when the key
// is not one of them (Alt held: Ctrl+Alt is AltGr, which types characters).
int PageForKey(unsigned key, bool ctrl, bool shift, bool alt, int current);

} // namespace kelvo
