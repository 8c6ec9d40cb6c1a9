#pragma once
// The uninstaller's removal of its installation folder.
#include <string>

namespace kelvo::uninstall {

// Removes a folder's contents and the folder, except the file `keep`. A link
// or junction is removed itself; what it points at is not touched.
void RemoveTree(const std::wstring& folder, const std::wstring& keep);

} // namespace kelvo::uninstall
