#pragma once
// Single-byte code pages at the edges of the program (settings file, text
// tables). Code page 0 is the system's ANSI code page: GetACP() on Windows,
// 1252 in the native build.
#include <string>

namespace kelvo {

unsigned SystemAnsiCodePage();

// On Windows these go through MultiByteToWideChar / WideCharToMultiByte. The
// native build knows 1250, 1251, 1252 and 28591 from its own tables (any other code
// page converts as 28591).
std::wstring ToWide(unsigned codePage, const std::string& bytes);
// Characters the code page cannot hold become '?'; *lossless tells whether
// that happened.
std::string FromWide(unsigned codePage, const std::wstring& text, bool* lossless = nullptr);

// The portable tables, for the native build and the build-time tools.
// Returns false for a code page without a table.
bool TableToWide(unsigned codePage, const std::string& bytes, std::wstring& out);
bool TableFromWide(unsigned codePage, const std::wstring& text, std::string& out, bool* lossless);

} // namespace kelvo
