#pragma once
// Removes a folder and everything in it, read-only and hidden files too
// (Windows-side and end-to-end tests, the unpacking benchmark). A link or
// junction to a folder is removed itself: what it points at is not the tree's.
#include <windows.h>

#include <string>

namespace kelvo::test {

inline void RemoveTree(const std::wstring& dir)
{
    const DWORD attributes = ::GetFileAttributesW(dir.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ::RemoveDirectoryW(dir.c_str());
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring p = dir + L"\\" + name;
            const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            // Through a link this would change its target's attributes.
            if (!link)
                ::SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (folder && link)
                ::RemoveDirectoryW(p.c_str());
            else if (folder)
                RemoveTree(p);
            else
                ::DeleteFileW(p.c_str());
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    ::SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(dir.c_str());
}

} // namespace kelvo::test
