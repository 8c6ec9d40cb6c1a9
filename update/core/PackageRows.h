#pragma once
// Package list rows and the names formed from them; size and speed texts.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kelvo {

// "%.1f MB", "%.1f KB" or "%.1f B".
std::wstring SizeText(uint32_t bytes);
// Percentage of a download, 0 to 100.
int DownloadPercent(uint32_t total, uint32_t size);
// "%d%% / %1.1fKB/s" after `total` bytes of `size` in `elapsedMs`.
std::wstring DownloadStatusText(uint32_t total, uint32_t size, uint32_t elapsedMs);

// A version text as a number: leading "V" (or "v") characters removed, then read as
// wcstod reads it; empty or non-numeric text is 0.
double VersionNumber(const std::wstring& version);

// Catalogue values end up in file paths and addresses: only letters, digits,
// "." and "-" (and "/" where `allowSlash`, " " where `allowSpace`: the
// release date, which reaches a file name without them), no "..", not empty.
bool IsSafeCatalogueValue(const std::wstring& value, bool allowSlash = false, bool allowSpace = false);

// One row of the package list.
struct PackageRow {
    std::wstring number;     // column 0, "%.3d" of row + 1
    std::wstring model;      // column 1
    std::wstring version;    // column 2, "V2.34"
    std::wstring languages;  // column 3, "EN/FR/ES"
    std::wstring release;    // column 4, "2019/10/23"
    std::wstring size;       // column 5, size text
    bool local = false;      // the package is in "update\"
    std::wstring status;     // column 6 before any download: "unsigned" for a server without a signed list
};

// The catalogue's entry for a model.
struct CatalogueEntry {
    std::wstring version;   // "2.34"
    std::wstring release;   // as shown
    std::wstring sets;      // "EN-FR-ES-DE-IT/EN-RU"
};

// "%s%s/%s_V%s_%s.bin" from base, model, model, version and language set.
std::wstring PackageAddress(const std::wstring& base, const std::wstring& model, const std::wstring& version,
                            const std::wstring& set);

// The rows an entry gives: one per language set holding `language`, when the
// entry's version is newer than `installed`. Row numbers start at
// `firstRow`; sizeOf gives the remote size of a package address.
std::vector<PackageRow> NewerPackageRows(const CatalogueEntry& entry, const std::wstring& model,
                                         const std::wstring& installed, const std::wstring& language,
                                         const std::wstring& base, int firstRow,
                                         const std::function<uint32_t(const std::wstring&)>& sizeOf);

// The row of a file in "update\" (name without folder), or false when it is
// not a package of `deviceModel` in a set holding `language`.
bool LocalPackageRow(const std::wstring& fileName, uint32_t size, const std::wstring& deviceModel,
                     const std::wstring& language, int row, PackageRow* out);

// The version last written into a tool of `model`, and its record after a
// successful transfer: section [Update] of the settings file, the model's own
// key (QB230 never reads or rewrites the line of QB230E). Record returns
// SetString's result.
std::wstring InstalledVersion(const std::wstring& settingsFile, const std::wstring& model);
bool RecordInstalledVersion(const std::wstring& settingsFile, const std::wstring& model, const std::wstring& version);

// Names formed from a row: "QB345_V2.34_EN-FR_20191023.bin", its path in
// the installation's "update" folder, and its address on the server below `base`.
std::wstring PackageFileName(const PackageRow& row);
std::wstring PackagePath(const PackageRow& row);
std::wstring PackageDownloadAddress(const std::wstring& base, const PackageRow& row);

} // namespace kelvo
