#include "uninstall/win/RemoveTree.h"

#include "platform/win/Processes.h"

#include <windows.h>

namespace kelvo::uninstall {

namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Kept(const std::wstring& path, const std::vector<std::wstring>& keep)
{
    for (const std::wstring& k : keep)
        if (SamePath(path, k))
            return true;
    return false;
}

// Returns true when the folder itself may go (nothing kept inside).
bool RemoveContents(const std::wstring& folder, const std::vector<std::wstring>& keep, std::vector<std::wstring>* left)
{
    bool holdsKept = false;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        const bool dir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (Kept(path, keep)) {
            holdsKept = true;
            continue;
        }
        // A link's own attributes are not changed: that would reach its target.
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY) && !link)
            ::SetFileAttributesW(path.c_str(), fd.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        if (dir && !link) {
            if (!RemoveContents(path, keep, left)) {
                holdsKept = true;
                continue;
            }
            ::RemoveDirectoryW(path.c_str());
        } else if (dir) {
            // A junction or directory link goes as a folder; a link the system
            // keeps as a file (Wine's view of a Unix link) as a file.
            if (!::RemoveDirectoryW(path.c_str()))
                ::DeleteFileW(path.c_str());
        } else {
            ::DeleteFileW(path.c_str());
        }
        if (Exists(path)) {
            // A folder whose contents are listed already is not listed again.
            if (!dir || link || left->empty() || left->back().compare(0, path.size() + 1, path + L"\\") != 0)
                left->push_back(path);
            holdsKept = holdsKept || (dir && !link);
        }
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return !holdsKept;
}

} // namespace

void RemoveTree(const std::wstring& folder, const std::wstring& keep) { RemoveTreeExcept(folder, {keep}); }

std::vector<std::wstring> RemoveTreeExcept(const std::wstring& folder, const std::vector<std::wstring>& keep)
{
    std::vector<std::wstring> left;
    if (RemoveContents(folder, keep, &left))
        ::RemoveDirectoryW(folder.c_str());
    return left;
}

} // namespace kelvo::uninstall
