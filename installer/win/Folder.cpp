#include "installer/win/Folder.h"

#include "installer/core/Folders.h"

#include <vector>

namespace kelvo::install {

std::wstring DefaultBase()
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path)))
        return L"C:\\Program Files\\";
    return NormaliseFolder(path);
}

std::wstring ChosenBase(const std::wstring& editText, const std::wstring& defaultBase)
{
    if (editText.empty())
        return defaultBase;
    std::wstring folder = editText;
    if (!IsFullyQualified(folder)) {
        const DWORD n = ::GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
        if (n > 0) {
            std::vector<wchar_t> full(n + 1);
            const DWORD got = ::GetFullPathNameW(folder.c_str(), n + 1, full.data(), nullptr);
            if (got > 0 && got <= n)
                folder.assign(full.data(), got);
        }
    }
    return NormaliseFolder(folder);
}

bool FolderOfItem(PCIDLIST_ABSOLUTE item, std::wstring* folder)
{
    wchar_t path[MAX_PATH] = {};
    if (!item || !::SHGetPathFromIDListW(item, path) || path[0] == 0)
        return false;
    *folder = NormaliseFolder(path);
    return true;
}

bool BrowseForBase(HWND owner, std::wstring* folder)
{
    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW bi{};
    bi.hwndOwner = owner;
    bi.pszDisplayName = display;
    bi.lpszTitle = L"Please select the path to install:";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&bi);
    if (!item)
        return false;
    const bool ok = FolderOfItem(item, folder);
    ::CoTaskMemFree(item);
    return ok;
}

} // namespace kelvo::install
