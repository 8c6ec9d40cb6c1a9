#include "installer/win/Extractor.h"

#include "installer/core/Progress.h"

namespace kelvo::install {

namespace {

const wchar_t kPartSuffix[] = L".kelvo-new";

bool IsFolder(const std::wstring& path)
{
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

class WindowsFile : public PendingFile {
public:
    WindowsFile(HANDLE h, std::wstring part, std::wstring final)
        : m_file(h), m_part(std::move(part)), m_final(std::move(final))
    {
    }
    ~WindowsFile() override
    {
        if (m_file != INVALID_HANDLE_VALUE)
            Abandon();
    }

    bool Write(const void* data, size_t size) override
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!::WriteFile(m_file, p, chunk, &written, nullptr) || written == 0)
                return false;
            p += written;
            size -= written;
        }
        return true;
    }

    bool Commit(uint32_t dosAttributes, uint32_t dosDateTime) override
    {
        FILETIME local, utc;
        if (::DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local) &&
            ::LocalFileTimeToFileTime(&local, &utc))
            ::SetFileTime(m_file, &utc, &utc, &utc);
        const BOOL closed = ::CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
        if (!closed || !Replace()) {
            ::DeleteFileW(m_part.c_str());
            return false;
        }
        ::SetFileAttributesW(m_final.c_str(), dosAttributes ? dosAttributes : FILE_ATTRIBUTE_NORMAL);
        return true;
    }

    void Abandon() override
    {
        if (m_file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_file);
            m_file = INVALID_HANDLE_VALUE;
        }
        ::DeleteFileW(m_part.c_str());
    }

private:
    // The old file goes only when nobody holds it: a running program or an
    // open document keeps its old content.
    bool Replace()
    {
        const DWORD old = ::GetFileAttributesW(m_final.c_str());
        if (old != INVALID_FILE_ATTRIBUTES) {
            if (old & FILE_ATTRIBUTE_DIRECTORY)
                return false;
            if (old & FILE_ATTRIBUTE_READONLY)
                ::SetFileAttributesW(m_final.c_str(), old & ~FILE_ATTRIBUTE_READONLY);
            HANDLE probe = ::CreateFileW(m_final.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            if (probe == INVALID_HANDLE_VALUE) {
                if (old & FILE_ATTRIBUTE_READONLY)
                    ::SetFileAttributesW(m_final.c_str(), old);
                return false;
            }
            ::CloseHandle(probe);
        }
        if (::MoveFileExW(m_part.c_str(), m_final.c_str(), MOVEFILE_REPLACE_EXISTING))
            return true;
        if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
            ::SetFileAttributesW(m_final.c_str(), old);
        return false;
    }

    HANDLE m_file;
    std::wstring m_part;
    std::wstring m_final;
};

} // namespace

bool CreateFolderPath(const std::wstring& folder)
{
    std::wstring path = folder;
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    if (path.empty())
        return false;
    if (IsFolder(path))
        return true;
    // Skip the root: "C:\" or "\\server\share\".
    size_t pos = 0;
    if (path.size() >= 2 && path[1] == L':')
        pos = 3;
    else if (path.compare(0, 2, L"\\\\") == 0) {
        pos = path.find(L'\\', 2);
        pos = pos == std::wstring::npos ? path.size() : path.find(L'\\', pos + 1);
        if (pos == std::wstring::npos)
            return IsFolder(path);
        ++pos;
    }
    for (;;) {
        const size_t slash = path.find(L'\\', pos);
        const std::wstring part = path.substr(0, slash);
        if (!part.empty() && !IsFolder(part) && !::CreateDirectoryW(part.c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (slash == std::wstring::npos)
            break;
        pos = slash + 1;
    }
    return IsFolder(path);
}

bool WindowsTarget::CreateFolders(const std::wstring& folder) { return CreateFolderPath(m_root + folder); }

bool WindowsTarget::FileExists(const std::wstring& file)
{
    const DWORD a = ::GetFileAttributesW((m_root + file).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<PendingFile> WindowsTarget::BeginFile(const std::wstring& file)
{
    const std::wstring final = m_root + file;
    const std::wstring part = final + kPartSuffix;
    // A file or link already of that name (left by a broken run, or planted)
    // goes first, the link itself and never what it points at; the new file
    // is then made afresh, exclusive, and refused if anything is still there.
    const DWORD old = ::GetFileAttributesW(part.c_str());
    if (old != INVALID_FILE_ATTRIBUTES) {
        // Not through a link: the attributes would be its target's.
        if ((old & FILE_ATTRIBUTE_READONLY) && !(old & FILE_ATTRIBUTE_REPARSE_POINT))
            ::SetFileAttributesW(part.c_str(), old & ~FILE_ATTRIBUTE_READONLY);
        if ((old & FILE_ATTRIBUTE_DIRECTORY) && (old & FILE_ATTRIBUTE_REPARSE_POINT))
            ::RemoveDirectoryW(part.c_str());
        else if (!(old & FILE_ATTRIBUTE_DIRECTORY))
            ::DeleteFileW(part.c_str());
    }
    HANDLE h = ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<WindowsFile>(h, part, final);
}

UnpackResult UnpackResource(HMODULE module, const std::wstring& target, const UnpackEvents& events)
{
    const void* data = nullptr;
    DWORD size = 0;
    if (HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(133), L"ZIP")) {
        size = ::SizeofResource(module, res);
        if (HGLOBAL loaded = ::LoadResource(module, res))
            data = ::LockResource(loaded);
    }
    WindowsTarget folder(target);
    return Unpack(data, data ? size : 0, folder, events);
}

UINT ExtractPackage(LPVOID param)
{
    auto* job = static_cast<ExtractJob*>(param);
    const HWND page = job->page;
    auto post = [page](WPARAM what, LPARAM value) { ::PostMessageW(page, WM_INSTALL_PROGRESS, what, value); };
    UnpackEvents events;
    events.started = [&](long long n) { post(kReportStep, EntryStep(n)); };
    events.entryDone = [&] { post(kReportEntry, 0); };
    const UnpackResult r = UnpackResource(job->module, job->target, events);
    if (!r.opened)
        post(kReportNoPackage, 0);
    post(kReportFiles, r.files);
    post(kReportSkipped, r.skipped);
    post(kReportFailed, r.failed);
    post(kReportPosition, kUnpackShare);
    post(kReportUnpacked, 0);
    delete job;
    return 0;
}

} // namespace kelvo::install
