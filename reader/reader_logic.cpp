#include "reader/reader_logic.h"

#include <windows.h>
#include <shlwapi.h>

namespace kreader {

namespace {

bool IsAbsolute(const std::wstring& p)
{
    return (p.size() >= 3 && p[1] == L':' && (p[2] == L'\\' || p[2] == L'/')) ||
           (p.size() >= 2 && (p[0] == L'\\' || p[0] == L'/') && (p[1] == L'\\' || p[1] == L'/'));
}

std::wstring FullPath(const std::wstring& p)
{
    if (p.empty())
        return std::wstring();
    DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return std::wstring();
    std::wstring out(n, L'\0');
    n = GetFullPathNameW(p.c_str(), n, &out[0], nullptr);
    if (n == 0 || n >= out.size())
        return std::wstring();
    out.resize(n);
    return out;
}

std::wstring Join(const std::wstring& folder, const std::wstring& rel)
{
    if (folder.empty())
        return rel;
    if (folder.back() == L'\\' || folder.back() == L'/')
        return folder + rel;
    return folder + L"\\" + rel;
}

std::wstring FileNameOf(const std::wstring& path)
{
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    std::wstring fa = FullPath(a), fb = FullPath(b);
    return !fa.empty() && !fb.empty() && CompareStringOrdinal(fa.c_str(), -1, fb.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool FileExists(const std::wstring& path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring DocumentArgument(const wchar_t* commandLine)
{
    if (!commandLine)
        return std::wstring();
    const wchar_t* p = commandLine;
    // Skip the program name, quoted or not.
    while (*p == L' ' || *p == L'\t')
        ++p;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p)
            ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
    }
    std::wstring out;
    while (*p) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        if (!*p)
            break;
        std::wstring word;
        if (*p == L'"') {
            ++p;
            while (*p && *p != L'"')
                word += *p++;
            if (*p)
                ++p;
            // The first quoted argument is the document; anything after it is ignored.
            if (out.empty())
                return word;
            break;
        }
        while (*p && *p != L' ' && *p != L'\t' && *p != L'"')
            word += *p++;
        if (!out.empty())
            out += L' ';
        out += word;
    }
    return out;
}

std::wstring FolderOf(const std::wstring& path)
{
    size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos)
        return std::wstring();
    return path.substr(0, cut);
}

std::wstring ResolveDocument(const std::wstring& argument, const std::wstring& currentFolder,
                             const std::wstring& readerFolder)
{
    if (argument.empty())
        return std::wstring();
    std::vector<std::wstring> tries;
    if (IsAbsolute(argument)) {
        tries.push_back(argument);
    } else {
        if (!currentFolder.empty())
            tries.push_back(Join(currentFolder, argument));
        std::wstring above = FolderOf(readerFolder);
        if (!above.empty())
            tries.push_back(Join(above, argument));
        if (!readerFolder.empty())
            tries.push_back(Join(readerFolder, FileNameOf(argument)));
    }
    for (const std::wstring& t : tries) {
        std::wstring full = FullPath(t);
        if (!full.empty() && FileExists(full))
            return full;
    }
    return std::wstring();
}

std::wstring AssociatedExecutable(const std::wstring& assoc)
{
    if (assoc.empty())
        return std::wstring();
    wchar_t buf[MAX_PATH * 2];
    DWORD n = MAX_PATH * 2;
    HRESULT hr = AssocQueryStringW(ASSOCF_INIT_IGNOREUNKNOWN | ASSOCF_NOTRUNCATE, ASSOCSTR_EXECUTABLE,
                                   assoc.c_str(), L"open", buf, &n);
    if (hr != S_OK || buf[0] == L'\0')
        return std::wstring();
    std::wstring exe(buf);
    if (IsAbsolute(exe))
        return FileExists(exe) ? exe : std::wstring();
    // A bare program name: where the system would find it.
    wchar_t found[MAX_PATH];
    DWORD m = SearchPathW(nullptr, exe.c_str(), L".exe", MAX_PATH, found, nullptr);
    if (m == 0 || m >= MAX_PATH)
        return std::wstring();
    return found;
}

std::vector<std::wstring> DefaultBrowserAssocs()
{
    return {L"http", L".html", L".htm"};
}

std::vector<Viewer> FindViewers(const std::wstring& document, const std::vector<std::wstring>& browserAssocs,
                                const std::wstring& selfExe)
{
    std::vector<Viewer> out;
    auto add = [&](ViewerKind kind, const std::wstring& assoc) {
        std::wstring exe = AssociatedExecutable(assoc);
        if (exe.empty() || (!selfExe.empty() && SamePath(exe, selfExe)))
            return;
        for (const Viewer& v : out)
            if (SamePath(v.exe, exe))
                return;
        out.push_back(Viewer{kind, exe, assoc});
    };
    const wchar_t* ext = PathFindExtensionW(document.c_str());
    if (ext && *ext)
        add(ViewerKind::Associated, ext);
    for (const std::wstring& b : browserAssocs)
        add(ViewerKind::Browser, b);
    return out;
}

std::wstring ViewerCommandLine(const std::wstring& exe, const std::wstring& document)
{
    return L"\"" + exe + L"\" \"" + document + L"\"";
}

bool StartViewer(const Viewer& viewer, const std::wstring& document)
{
    std::wstring cmd = ViewerCommandLine(viewer.exe, document);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring folder = FolderOf(document);
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                        FolderExists(folder) ? folder.c_str() : nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

std::wstring FolderToShow(const std::wstring& document)
{
    std::wstring folder = FolderOf(FullPath(document));
    while (!folder.empty() && !FolderExists(folder)) {
        std::wstring up = FolderOf(folder);
        if (up == folder)
            break;
        folder = up;
    }
    return folder;
}

}  // namespace kreader
