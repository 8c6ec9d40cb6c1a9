#pragma once
// The system's high-contrast state and colours, for the palette (ui/core/Palette.h).
#include "ui/core/Palette.h"

namespace kelvo {

// SPI_GETHIGHCONTRAST reports HCF_HIGHCONTRASTON, or what the query set by a
// test answers (Wine always reports the mode off and cannot switch it on).
bool HighContrastOn();
using HighContrastQuery = bool (*)();
void SetHighContrastQuery(HighContrastQuery query);  // null: the system's answer again

// The system colours a high-contrast palette is made of, as they are now.
SystemColours CurrentSystemColours();

} // namespace kelvo
