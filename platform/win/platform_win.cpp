// Windows side of the core's system needs.
#include "app/core/codepage.h"
#include "app/core/platform.h"

#include <windows.h>

#include <atomic>
#include <fcntl.h>
#include <io.h>

namespace kelvo {

namespace {
MessageSink& Sink()
{
    static MessageSink sink;
    return sink;
}
std::atomic<HWND> g_messageOwner{nullptr};
} // namespace

void SetMessageOwner(void* window) { g_messageOwner = static_cast<HWND>(window); }

int ShowMessage(const std::wstring& text, unsigned flags)
{
    if (Sink())
        return Sink()(text, flags);
    // Modal to the application: owned by the main window, also on a worker
    // thread, whose own active window is none.
    HWND owner = g_messageOwner.load();
    if (!owner || !::IsWindow(owner))
        owner = GetActiveWindow();
    return MessageBoxW(owner, text.c_str(), L"Kelvo", flags | MB_TASKMODAL * (owner == nullptr));
}

void SetMessageSink(MessageSink sink) { Sink() = std::move(sink); }

uint32_t TickCount() { return GetTickCount(); }
void SleepMs(uint32_t ms) { Sleep(ms); }

FILE* OpenFile(const std::wstring& path, const char* mode)
{
    std::wstring wmode(mode, mode + strlen(mode));
    return _wfopen(path.c_str(), wmode.c_str());
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

namespace {
std::wstring FullPath(const std::wstring& path)
{
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buf, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(buf, n) : path;
}
} // namespace

FILE* CreateNewFile(const std::wstring& path)
{
    // CREATE_NEW fails on any existing name, a link included.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    FILE* f = _fdopen(fd, "wb");
    if (!f)
        _close(fd);
    return f;
}

bool FlushToDisk(FILE* f)
{
    if (std::fflush(f) != 0)
        return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0;
}

bool ReplaceWith(const std::wstring& from, const std::wstring& to)
{
    const std::wstring target = FullPath(to), source = FullPath(from);
    const DWORD before = GetFileAttributesW(target.c_str());
    // ReplaceFileW keeps what the file system holds about `to` (attributes,
    // ACLs, streams) and works while another program has it open with delete
    // sharing. Where it cannot be used (no `to` yet, a file system without
    // it; on ERROR_UNABLE_TO_MOVE_REPLACEMENT and _2 `to` is gone, or moved
    // to a name of the system's, and `from` is whole), a rename puts `from`
    // in place, so that the settings file never ends up missing.
    bool replaced = ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                 nullptr) != 0;
    if (!replaced) {
        const DWORD error = GetLastError();
        if (error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_SHARING_VIOLATION ||
            error == ERROR_ACCESS_DENIED)
            return false;
        replaced = MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    // The attributes the user gave the file stay, also where the replacement
    // did not carry them over (the rename; some implementations of ReplaceFileW).
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (replaced && before != INVALID_FILE_ATTRIBUTES) {
        const DWORD now = GetFileAttributesW(target.c_str());
        if (now != INVALID_FILE_ATTRIBUTES && (now & kept) != (before & kept))
            SetFileAttributesW(target.c_str(), (before & kept) ? (before & kept) : FILE_ATTRIBUTE_NORMAL);
    }
    return replaced;
}

bool MakeFolder(const std::wstring& path)
{
    if (CreateDirectoryW(path.c_str(), nullptr))
        return true;
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<FolderFile> ListFolderFiles(const std::wstring& folder)
{
    std::vector<FolderFile> out;
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((pattern + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            out.push_back({fd.cFileName, (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow});
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return out;
}

std::string WideToUtf8(const std::wstring& w)
{
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Utf8ToWide(const std::string& s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

unsigned SystemAnsiCodePage() { return GetACP(); }

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    size_t slash = p.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : p.substr(0, slash + 1);
}

std::wstring ToWide(unsigned codePage, const std::string& bytes)
{
    if (bytes.empty())
        return {};
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) {
        std::wstring out;
        TableToWide(28591, bytes, out);
        return out;
    }
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string FromWide(unsigned codePage, const std::wstring& text, bool* lossless)
{
    if (lossless)
        *lossless = true;
    if (text.empty())
        return {};
    BOOL usedDefault = FALSE;
    BOOL* pUsed = (codePage == CP_UTF8 || codePage == CP_UTF7) ? nullptr : &usedDefault;
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, pUsed);
    if (n <= 0) {
        std::string out;
        TableFromWide(28591, text, out, lossless);
        return out;
    }
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, pUsed);
    if (lossless)
        *lossless = !usedDefault;
    return out;
}

} // namespace kelvo
