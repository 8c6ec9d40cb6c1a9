#pragma once
// SkinHu.dll, loaded from the program's folder at start-up. Without it the
// program runs unskinned: the calls then do nothing.
#include <string>

namespace kelvo {

// Loads the library once; false when it is missing or lacks its exports.
bool LoadSkinLibrary();
// SkinH_AttachEx and SkinH_SetAero; -1 when the library is not loaded.
int AttachSkin(const std::wstring& path, const std::wstring& password);
int SetSkinAero(int enable);
// SkinH_Detach: the windows get the system's colours back. -1 when the
// library is not loaded or is one without that export.
int DetachSkin();

} // namespace kelvo
