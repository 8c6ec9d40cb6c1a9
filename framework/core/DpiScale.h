#pragma once
// Pixel arithmetic for screens of any DPI. Every layout of the programs is
// written in pixels of a 96-DPI screen and scaled here, so that at 96 DPI it
// is exactly what it always was.
namespace kelvo {

const int kBaseDpi = 96;

// `px` pixels at 96 DPI as pixels at `dpi`, rounded to the nearest (halves
// away from zero, as MulDiv). A DPI the system could not tell (0 or less)
// counts as 96.
int ScaleForDpi(int px, int dpi);
// The inverse: pixels at `dpi` as 96-DPI pixels.
int UnscaleForDpi(int px, int dpi);

// The scales the artwork is drawn at, in percent, smallest first.
const int kArtScaleCount = 5;
extern const int kArtScales[kArtScaleCount];  // 100, 125, 150, 200, 250
// Which of them to draw at `dpi`: the smallest that is at least as large as
// the screen needs (an image is shrunk a little rather than blown up), the
// largest above 240 DPI.
int ArtScaleIndex(int dpi);
// The resource id of an image drawn at scale `index`: the 100 % image keeps
// its id, the others follow it a thousand apart (135, 1135, 2135 ...).
const int kArtScaleIdStep = 1000;
inline int ArtResourceId(int baseId, int index) { return baseId + kArtScaleIdStep * index; }

} // namespace kelvo
