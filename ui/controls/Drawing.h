#pragma once
// Drawing helpers shared by the programs' windows and custom controls: the
// three shared fonts and PNG images from the program's resources.
#include "framework/afx.h"

#include <gdiplus.h>

// Shared fonts: bold Arial 16, 24 and 32 pixels high at 96 DPI (1.5 times
// that at 144), owned by the application.
extern CFont* g_pFont16;
extern CFont* g_pFont24;
extern CFont* g_pFont32;
// Made once at the program's start for the system's DPI (again only after
// DeleteSharedFonts), deleted at its end.
void CreateSharedFonts();
void DeleteSharedFonts();
// The DPI the shared fonts are made for.
int SharedFontsDpi();
// The shared fonts made again for `dpi` (a window moved to a monitor of
// another DPI, or opened on one): every window of `root`'s tree that used one
// of them gets the new one, then the old ones are deleted. The CFont objects
// stay, so pointers to them stay good.
void RescaleSharedFonts(HWND root, int dpi);

// A resource of type "PNG" as a GDI+ image, or none. The caller deletes the
// image (the image owns its memory block through its stream).
Gdiplus::Image* LoadPngResource(UINT id);
// The image `id` as drawn for `dpi`: the artwork's scale for it (a larger one
// shrinks well, a smaller one would blur), or the nearest smaller one there is.
Gdiplus::Image* LoadPngResource(UINT id, int dpi);
// A copy of a resource of the given type in a memory stream that owns it, and
// its size; none when the resource is missing or empty. The caller releases it.
IStream* ResourceStream(UINT id, const wchar_t* type, DWORD* bytes);
