#pragma once
// Small text helpers the formats share: ASCII-only case folding (model names,
// language codes and file names in the tool's and the server's formats are
// ASCII; other letters stay as they are) and the white space the settings and
// catalogue grammars trim.
#include <string>

namespace kelvo {

bool IsBlank(wchar_t c);  // space, tab, CR, LF, vertical tab, form feed
std::wstring TrimBlanks(const std::wstring& s);

std::wstring AsciiUpper(std::wstring s);
std::wstring AsciiLower(std::wstring s);
bool EqualsAsciiNoCase(const std::wstring& a, const std::wstring& b);
bool EndsWithAsciiNoCase(const std::wstring& s, const std::wstring& suffix);

} // namespace kelvo
