#pragma once
// The program version shown in the main window's title.
#include <string>

namespace kelvo {

// The first non-empty line of the file (without its line end), converted
// through the system's ANSI code page; empty when the file is missing.
std::wstring ReadVersionFile(const std::wstring& path);

} // namespace kelvo
