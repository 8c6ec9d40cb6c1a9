#pragma once
// What the uninstaller may remove: only the folder it runs from, and only
// when that is an installation made by KelvoInstall (a "ZENDRIX\Kelvo" folder).
#include <string>

namespace kelvo::uninstall {

// True for "...\ZENDRIX\Kelvo" (with or without a trailing "\", any case)
// below some parent: never a drive root or the folder "ZENDRIX\Kelvo" alone.
bool IsInstallationFolderName(const std::wstring& folder);

// The batch that removes Uninstall.exe once it has ended, then the folders
// left empty, then itself. It names no path: they come in the environment
// variables below, so that "%" or a letter outside the ANSI code page (which
// the console reads the batch in) cannot change them. Each round waits about
// a second; after about two minutes (no right to delete the file) it gives up.
std::wstring SelfRemovalBatch();
constexpr wchar_t kBatchSelfVariable[] = L"KELVO_UNINSTALL_SELF";
constexpr wchar_t kBatchFolderVariable[] = L"KELVO_UNINSTALL_FOLDER";
constexpr wchar_t kBatchParentVariable[] = L"KELVO_UNINSTALL_PARENT";
constexpr int kBatchRounds = 120;

// The folder without a trailing "\".
std::wstring WithoutTrailingSlash(std::wstring folder);

} // namespace kelvo::uninstall
