#pragma once
// What an installation over an earlier one keeps, takes and tells: the
// settings file merged, the earlier installation's folder found again, the
// names of the files the user must know about, the uninstall entry's size.
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::install {

// The user's settings file kept over a reinstall takes the maker's key
// DownloadLink (which the program never writes) from the package's file
// `packageBytes`; every other key, and the history, stay the user's. The key
// is read as the program reads it (the standard INI rules, its value holds
// "//") and written through CProfile. False when a needed write failed.
bool MergeSettings(const std::wstring& userFile, const std::string& packageBytes);

// The installation base (ending in "\") of an earlier installation that the
// uninstall entry places, from its InstallLocation or else from the folder of
// its UninstallString (quoted or not); empty unless that folder is a
// "...\ZENDRIX\Kelvo" folder, the only kind this installer makes.
std::wstring EarlierBase(const std::wstring& installLocation, const std::wstring& uninstallString);

// "a", "a and b", "a, b and c", or the first `shown` names and "and N more"
// when `count` (which may exceed the names known) is larger.
std::wstring ListNames(const std::vector<std::wstring>& names, int count, size_t shown = 3);

// Bytes as the uninstall entry's EstimatedSize wants them: KB, rounded up,
// at most what a DWORD holds.
uint32_t SizeInKb(uint64_t bytes);

} // namespace kelvo::install
