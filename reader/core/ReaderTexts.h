#pragma once
// KelvoReader's texts in Kelvo's language. The reader lives in the manual
// folder of the installation; Kelvo.cfg and the language tables are in the
// folder above it, beside Kelvo.exe.
#include <string>

namespace kreader {

// Text numbers of the reader's words in the tables.
enum class ReaderText : int {
    kNoDocument = 204,
    kNotFound = 205,
    kNoViewer = 206,
    kOpenFolder = 207,
    kClose = 208,
};

// The installation folder of a reader in `readerFolder` (no trailing
// separator): the reader's own folder when Kelvo.cfg or Kelvo.exe is there,
// else the folder above it.
std::wstring InstallationFolder(const std::wstring& readerFolder);

// The texts follow the `Language` of `installFolder`'s Kelvo.cfg from now on.
// A missing or damaged file, or a language the program does not have: English.
void FollowKelvoLanguage(const std::wstring& installFolder);

// The text in Kelvo's language; English when the table lacks it or cannot
// be read (the reader must say something even in a damaged installation).
std::wstring Text(ReaderText id);

} // namespace kreader
