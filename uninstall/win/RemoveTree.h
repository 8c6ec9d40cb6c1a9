#pragma once
// The uninstaller's removal of its installation folder.
#include <string>
#include <vector>

namespace kelvo::uninstall {

// Removes a folder's contents and the folder, except the file `keep`. A link
// or junction is removed itself; what it points at is not touched.
void RemoveTree(const std::wstring& folder, const std::wstring& keep);

// The same, keeping every path in `keep` (files, or folders with all they
// hold); returns the full paths of what could not be removed (a file in
// use, no right to delete), kept ones not counted.
std::vector<std::wstring> RemoveTreeExcept(const std::wstring& folder, const std::vector<std::wstring>& keep);

} // namespace kelvo::uninstall
