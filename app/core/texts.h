#pragma once
// Language text tables: every user-visible text, fetched by a six-byte text id
// (FF 00 00 00 + the 16-bit big-endian text number) in the current language.
#include "app/core/binary.h"

#include <initializer_list>
#include <string>

// The text id of text number n.
CBinary TextId(int number);

// The text in the current language (g_strLanguageCode), converted with
// g_nTextCodePage; empty when absent or when the table cannot be read.
std::wstring GetText(const CBinary& id);
// The same before conversion, through the process-wide cache (safe between
// threads).
std::string GetTextBytes(const CBinary& id);

// Empties the text cache. The program never does (a new language takes effect
// through a restart); tests that switch languages in one process do.
void ClearTextCache();

// GetText(TextId(n)).
inline std::wstring GetText(int number) { return GetText(TextId(number)); }

// The text in the current language, or `fallback` (English) when no table
// holds it: for programs that may run before or after their tables exist
// (the installer, the uninstaller).
std::wstring GetTextOr(int number, const std::wstring& fallback);

// `text` with each "%s" replaced by the next of `args`, in order; a "%s"
// without an argument stays as it is.
std::wstring FillIn(std::wstring text, std::initializer_list<std::wstring> args);
