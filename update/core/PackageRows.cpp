#include "update/core/PackageRows.h"

#include "app/core/globals.h"
#include "app/core/profile.h"
#include "app/core/textutil.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace kelvo {

namespace {

std::wstring Format(const wchar_t* format, double value)
{
    wchar_t buf[64];
    std::swprintf(buf, 64, format, value);
    return buf;
}

std::wstring Replace(std::wstring s, wchar_t from, wchar_t to)
{
    for (wchar_t& c : s)
        if (c == from)
            c = to;
    return s;
}

std::wstring Without(const std::wstring& s, wchar_t gone)
{
    std::wstring out;
    for (wchar_t c : s)
        if (c != gone)
            out.push_back(c);
    return out;
}

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t at = s.find(sep, start);
        parts.push_back(s.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
        if (at == std::wstring::npos)
            return parts;
        start = at + 1;
    }
}

std::wstring RowNumber(int row)
{
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%.3d", row + 1);
    return buf;
}

bool IsDigits(const std::wstring& s)
{
    for (wchar_t c : s)
        if (c < L'0' || c > L'9')
            return false;
    return true;
}

} // namespace

std::wstring SizeText(uint32_t n)
{
    if (n >= 1048576u)
        return Format(L"%.1f MB", n * (1.0 / 1048576));
    if (n < 1024u)
        return Format(L"%.1f B", double(n));
    return Format(L"%.1f KB", n * (1.0 / 1024));
}

int DownloadPercent(uint32_t total, uint32_t size)
{
    if (size == 0)
        return 0;
    uint64_t p = uint64_t(total) * 100u / size;
    return p > 100 ? 100 : int(p);
}

std::wstring DownloadStatusText(uint32_t total, uint32_t size, uint32_t elapsedMs)
{
    float speed = float(total) / (float(elapsedMs) / 1000.0f);
    speed = speed * (1.0f / 1024.0f);
    wchar_t buf[64];
    std::swprintf(buf, 64, L"%d%% / %1.1fKB/s", DownloadPercent(total, size), double(speed));
    return buf;
}

double VersionNumber(const std::wstring& version)
{
    // A file name may spell the letter in lower case (QB345_v2.34_...).
    size_t i = 0;
    while (i < version.size() && (version[i] == L'V' || version[i] == L'v'))
        ++i;
    std::wstring rest = version.substr(i);
    return std::wcstod(rest.c_str(), nullptr);
}

bool IsSafeCatalogueValue(const std::wstring& value, bool allowSlash, bool allowSpace)
{
    if (value.empty() || value.find(L"..") != std::wstring::npos)
        return false;
    for (wchar_t c : value) {
        bool ok = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.' ||
                  c == L'-' || (allowSlash && c == L'/') || (allowSpace && c == L' ');
        if (!ok)
            return false;
    }
    return true;
}

std::wstring PackageAddress(const std::wstring& base, const std::wstring& model, const std::wstring& version,
                            const std::wstring& set)
{
    return base + model + L"/" + model + L"_V" + version + L"_" + set + L".bin";
}

std::vector<PackageRow> NewerPackageRows(const CatalogueEntry& entry, const std::wstring& model,
                                         const std::wstring& installed, const std::wstring& language,
                                         const std::wstring& base, int firstRow,
                                         const std::function<uint32_t(const std::wstring&)>& sizeOf)
{
    std::vector<PackageRow> rows;
    // Every value below goes into a file name and an address.
    if (!IsSafeCatalogueValue(model) || !IsSafeCatalogueValue(entry.version) ||
        !IsSafeCatalogueValue(entry.release, true, true) ||
        entry.release.find_first_not_of(L' ') == std::wstring::npos || language.empty())
        return rows;
    if (!(VersionNumber(installed) < VersionNumber(entry.version)))
        return rows;
    for (const std::wstring& set : Split(entry.sets, L'/')) {
        if (set.find(language) == std::wstring::npos || !IsSafeCatalogueValue(set))
            continue;
        PackageRow row;
        row.number = RowNumber(firstRow + int(rows.size()));
        row.model = model;
        row.version = L"V" + entry.version;
        row.languages = Replace(set, L'-', L'/');
        row.release = entry.release;
        row.size = SizeText(sizeOf ? sizeOf(PackageAddress(base, model, entry.version, set)) : 0);
        row.local = false;
        rows.push_back(row);
    }
    return rows;
}

bool LocalPackageRow(const std::wstring& fileName, uint32_t size, const std::wstring& deviceModel,
                     const std::wstring& language, int row, PackageRow* out)
{
    if (fileName.empty() || deviceModel.empty())
        return false;
    const std::wstring model = AsciiUpper(deviceModel);
    const std::wstring code = AsciiUpper(language);
    std::vector<std::wstring> parts = Split(fileName, L'_');
    // Exactly model_version_set_yyyymmdd.bin: the row names this file again
    // when it is chosen, so nothing else may be listed under it.
    if (parts.size() != 4)
        return false;
    const std::wstring& last = parts[3];
    if (last.size() != 12 || !EqualsAsciiNoCase(last.substr(8), L".bin"))
        return false;
    const std::wstring date = last.substr(0, 8);
    if (!IsDigits(date))
        return false;
    const std::wstring set = AsciiUpper(parts[2]);
    if (AsciiUpper(parts[0]) != model || set.find(code) == std::wstring::npos || code.empty())
        return false;
    if (!IsSafeCatalogueValue(model) || !IsSafeCatalogueValue(parts[1]) || !IsSafeCatalogueValue(set))
        return false;
    out->number = RowNumber(row);
    out->model = model;
    out->version = parts[1];
    out->languages = Replace(set, L'-', L'/');
    out->release = date.substr(0, 4) + L"/" + date.substr(4, 2) + L"/" + date.substr(6, 2);
    out->size = SizeText(size);
    out->local = true;
    return true;
}

std::wstring InstalledVersion(const std::wstring& settingsFile, const std::wstring& model)
{
    return CProfile::GetString(settingsFile, L"Update", model, L"", CProfile::KeyMatch::kExact);
}

bool RecordInstalledVersion(const std::wstring& settingsFile, const std::wstring& model, const std::wstring& version)
{
    return CProfile::SetString(settingsFile, L"Update", model, version, CProfile::KeyMatch::kExact);
}

std::wstring PackageFileName(const PackageRow& row)
{
    // A release written "2020 11 01" names its file as "2020/11/01" does.
    return row.model + L"_" + row.version + L"_" + Replace(row.languages, L'/', L'-') + L"_" +
           Without(Without(row.release, L'/'), L' ') + L".bin";
}

std::wstring PackagePath(const PackageRow& row) { return InstalledPath(L"update\\" + PackageFileName(row)); }

std::wstring PackageDownloadAddress(const std::wstring& base, const PackageRow& row)
{
    return base + row.model + L"/" + row.model + L"_" + row.version + L"_" + Replace(row.languages, L'/', L'-') +
           L".bin";
}

} // namespace kelvo
