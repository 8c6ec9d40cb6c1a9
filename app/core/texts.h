#pragma once
// Language text tables: every user-visible text, fetched by a six-byte text id
// (FF 00 00 00 + the 16-bit big-endian text number) in the current language.
#include "app/core/binary.h"

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
