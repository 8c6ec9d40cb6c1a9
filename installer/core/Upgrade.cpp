#include "installer/core/Upgrade.h"

#include "app/core/platform.h"
#include "app/core/profile.h"
#include "uninstall/core/UninstallRules.h"

namespace kelvo::install {

bool MergeSettings(const std::wstring& userFile, const std::string& packageBytes)
{
    if (packageBytes.empty())
        return true;
    // The package's file beside the user's for the moment of one read: the
    // same reader as the program's then gives the same value.
    const std::wstring packageFile = userFile + L".kelvo-package";
    FILE* f = kelvo::OpenFile(packageFile, "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(packageBytes.data(), 1, packageBytes.size(), f) == packageBytes.size();
    const bool closed = std::fclose(f) == 0;
    const std::wstring link = written && closed ? kelvo::ReadIniString(packageFile, L"Setting", L"DownloadLink", L"")
                                                : std::wstring();
    kelvo::RemoveFile(packageFile);
    if (!written || !closed)
        return false;
    if (link.empty() || link == kelvo::ReadIniString(userFile, L"Setting", L"DownloadLink", L""))
        return true;
    return CProfile::SetString(userFile, L"Setting", L"DownloadLink", link);
}

std::wstring EarlierBase(const std::wstring& installLocation, const std::wstring& uninstallString)
{
    std::wstring folder = kelvo::uninstall::WithoutTrailingSlash(installLocation);
    if (folder.empty()) {
        std::wstring command = uninstallString;
        if (command.size() >= 2 && command.front() == L'"') {
            const size_t close = command.find(L'"', 1);
            command = close == std::wstring::npos ? std::wstring() : command.substr(1, close - 1);
        }
        const size_t slash = command.rfind(L'\\');
        folder = slash == std::wstring::npos ? std::wstring() : command.substr(0, slash);
    }
    if (!kelvo::uninstall::IsInstallationFolderName(folder))
        return {};
    // "<base>ZENDRIX\Kelvo": the base keeps its final "\".
    return folder.substr(0, folder.size() - (sizeof "ZENDRIX\\Kelvo" - 1));
}

std::wstring ListNames(const std::vector<std::wstring>& names, int count, size_t shown)
{
    const size_t known = names.size() < static_cast<size_t>(count < 0 ? 0 : count) ? names.size()
                                                                                      : static_cast<size_t>(count < 0 ? 0 : count);
    const size_t listed = known < shown ? known : shown;
    const int more = count - static_cast<int>(listed);
    std::wstring out;
    for (size_t i = 0; i < listed; ++i) {
        if (i > 0)
            out += (i + 1 == listed && more <= 0) ? L" and " : L", ";
        out += names[i];
    }
    if (more > 0)
        out += listed == 0 ? std::to_wstring(more) + L" more" : L" and " + std::to_wstring(more) + L" more";
    return out;
}

uint32_t SizeInKb(uint64_t bytes)
{
    const uint64_t kb = bytes / 1024 + (bytes % 1024 ? 1 : 0);
    return kb > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(kb);
}

} // namespace kelvo::install
