#pragma once
// What the uninstaller may remove: only the folder it runs from, and only
// when that is an installation made by KelvoInstall (a "ZENDRIX\Kelvo" folder).
#include <string>

namespace kelvo::uninstall {

// True for "...\ZENDRIX\Kelvo" (with or without a trailing "\", any case)
// below some parent: never a drive root or the folder "ZENDRIX\Kelvo" alone.
bool IsInstallationFolderName(const std::wstring& folder);

// The folder without a trailing "\".
std::wstring WithoutTrailingSlash(std::wstring folder);

} // namespace kelvo::uninstall
