#pragma once
// What the installer makes of one ZIP entry before it touches the disk: the
// name as wide text, whether it stays inside the target folder, whether it is
// a folder, which file attributes it may carry, and whether an existing file
// of that name is the user's and must be kept.
#include <cstdint>
#include <string>

namespace kelvo::install {

// General-purpose flag bit 11: the name (and comment) are UTF-8.
constexpr uint32_t kZipFlagUtf8 = 1u << 11;

// The raw name bytes as text: UTF-8 when the entry says so, code page 437
// (the ZIP default) otherwise. Bytes that are not valid UTF-8 become U+FFFD.
std::wstring DecodeEntryName(const std::string& raw, uint32_t flags);

// True when writing the entry below a folder cannot leave that folder: a
// relative name with no ".." component, no drive, no ':' anywhere, no leading
// "/" or "\" and no embedded NUL.
bool StaysInside(const std::wstring& name);

// True when Windows opens the file by exactly the name written: no empty or
// "." component and no component ending in "." or " " (Windows drops those,
// so "Kelvo/./Kelvo.cfg" or "Kelvo/Kelvo.cfg." would be Kelvo.cfg under
// another name), and no device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with
// any extension). One trailing separator, a folder's, is allowed.
bool IsPlainName(const std::wstring& name);

// "Kelvo/dtc/" -> "Kelvo\dtc\"
std::wstring ToBackslashes(std::wstring name);

// A folder entry: its name ends in a separator, or it carries the DOS folder bit.
bool IsFolderEntry(const std::wstring& name, uint32_t externalAttributes);

// The DOS attributes the file gets: read-only, hidden, system and archive from
// the low byte. On archives made on Unix the high word holds mode bits, which
// are never file attributes.
uint32_t DosFileAttributes(uint32_t externalAttributes);

// The settings file of the installation: an existing one holds the user's
// language, skin, code history and recorded firmware versions.
bool IsUserSettingsEntry(const std::wstring& name);

} // namespace kelvo::install
