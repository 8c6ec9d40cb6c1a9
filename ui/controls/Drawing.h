#pragma once
// Drawing helpers shared by the programs' windows and custom controls: the
// three shared fonts and PNG images from the program's resources.
#include "framework/afx.h"

#include <gdiplus.h>

// Shared fonts: bold Arial 16, 24 and 32 pixels high, owned by the application.
extern CFont* g_pFont16;
extern CFont* g_pFont24;
extern CFont* g_pFont32;
// Made once at the program's start (again only after DeleteSharedFonts), deleted at its end.
void CreateSharedFonts();
void DeleteSharedFonts();

// A resource of type "PNG" as a GDI+ image, or none. The caller deletes the
// image (the image owns its memory block through its stream).
Gdiplus::Image* LoadPngResource(UINT id);
// A copy of a resource of the given type in a memory stream that owns it, and
// its size; none when the resource is missing or empty. The caller releases it.
IStream* ResourceStream(UINT id, const wchar_t* type, DWORD* bytes);
