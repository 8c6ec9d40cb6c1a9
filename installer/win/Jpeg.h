#pragma once
// JPEG pictures from the installer's resources (type "JPG"), decoded by
// OleLoadPicture from a stream over a global memory copy of the resource.
#include <windows.h>
#include <olectl.h>

namespace kelvo::install {

// Null when the resource is missing or cannot be decoded. The caller releases it.
IPicture* LoadJpegResource(UINT id);

// Draws the picture upright, stretched over `rect`.
void DrawPicture(HDC dc, IPicture* picture, const RECT& rect);

// Loads, draws and releases picture `id`; false when there was nothing to draw.
bool DrawJpegResource(HDC dc, UINT id, const RECT& rect);

} // namespace kelvo::install
