#include "platform/win/Shortcuts.h"

#include <windows.h>
#include <shlobj.h>

namespace kelvo::uninstall {

std::wstring SpecialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}

void RemoveShortcutsIn(int programsId, int desktopId)
{
    const std::wstring programs = SpecialFolder(programsId);
    const std::wstring desktop = SpecialFolder(desktopId);
    if (!programs.empty()) {
        ::DeleteFileW((programs + L"\\ZENDRIX\\Kelvo\\Kelvo.lnk").c_str());
        ::DeleteFileW((programs + L"\\ZENDRIX\\Kelvo\\Uninstall.lnk").c_str());
        // Only empty folders go: another program of the maker may share them.
        ::RemoveDirectoryW((programs + L"\\ZENDRIX\\Kelvo").c_str());
        ::RemoveDirectoryW((programs + L"\\ZENDRIX").c_str());
    }
    if (!desktop.empty())
        ::DeleteFileW((desktop + L"\\Kelvo.lnk").c_str());
}

} // namespace kelvo::uninstall
