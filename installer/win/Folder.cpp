#include "installer/win/Folder.h"

#include "installer/core/Folders.h"
#include "installer/core/Upgrade.h"

#include <vector>

namespace kelvo::install {

std::wstring DefaultBase()
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path)))
        return L"C:\\Program Files\\";
    return NormaliseFolder(path);
}

namespace {

std::wstring EntryString(HKEY key, const wchar_t* name)
{
    std::vector<wchar_t> buf(MAX_PATH * 4 + 1, L'\0');
    DWORD type = 0, size = static_cast<DWORD>((buf.size() - 1) * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    std::wstring value(buf.data(), size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0')
        value.pop_back();
    return value;
}

} // namespace

std::wstring EarlierInstallationBase()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvo", 0,
                        KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    const std::wstring location = EntryString(key, L"InstallLocation");
    const std::wstring command = EntryString(key, L"UninstallString");
    ::RegCloseKey(key);
    // An older entry has no InstallLocation: its uninstaller's folder tells.
    std::wstring base = EarlierBase(location, command);
    if (base.empty() && !location.empty())
        base = EarlierBase(L"", command);
    if (base.empty() || !IsFullyQualified(base))
        return {};
    const DWORD a = ::GetFileAttributesW(ProgramFile(TargetBelow(base), L"Uninstall.exe").c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) ? base : std::wstring();
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
