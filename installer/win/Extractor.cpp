#include "installer/win/Extractor.h"

#include "installer/core/Folders.h"
#include "installer/core/Progress.h"
#include "installer/core/Upgrade.h"
#include "app/core/globals.h"
#include "app/core/profile.h"
#include "platform/win/FileSecurity.h"
#include "installer/win/InstallLog.h"
#include "installer/win/Integration.h"
#include "installer/win/RunningPrograms.h"

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
    WindowsFile(HANDLE h, std::wstring part, std::wstring final, std::wstring shown)
        : m_file(h), m_part(std::move(part)), m_final(std::move(final)), m_shown(std::move(shown))
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
        // On the disk before it replaces the old file: a power cut after the
        // move must not leave an empty program file.
        const BOOL flushed = ::FlushFileBuffers(m_file);
        const BOOL closed = ::CloseHandle(m_file) && flushed;
        m_file = INVALID_HANDLE_VALUE;
        const Outcome placed = closed ? Replace() : Outcome::Failed;
        if (placed == Outcome::Failed) {
            ::DeleteFileW(m_part.c_str());
            Log(L"Failed: " + m_shown);
            return false;
        }
        if (placed == Outcome::Scheduled) {
            Log(L"In use, replaced at the next restart: " + m_shown);
            // The new file waits under its temporary name; the attributes come with it.
            m_scheduled = true;
            ::SetFileAttributesW(m_part.c_str(), dosAttributes ? dosAttributes : FILE_ATTRIBUTE_NORMAL);
            return true;
        }
        ::SetFileAttributesW(m_final.c_str(), dosAttributes ? dosAttributes : FILE_ATTRIBUTE_NORMAL);
        Log(L"Written: " + m_shown);
        return true;
    }

    bool Scheduled() const override { return m_scheduled; }

    void Abandon() override
    {
        if (m_file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_file);
            m_file = INVALID_HANDLE_VALUE;
        }
        ::DeleteFileW(m_part.c_str());
    }

private:
    enum class Outcome { Placed, Scheduled, Failed };

    // Errors of a file that someone holds open (a running program, a scanner).
    static bool InUse(DWORD error)
    {
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
               error == ERROR_USER_MAPPED_FILE;
    }

    // A file still held when the installation's programs have been closed
    // is replaced by the system at the next restart, before anyone holds it.
    Outcome ScheduleAtRestart()
    {
        return ::MoveFileExW(m_part.c_str(), m_final.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)
                   ? Outcome::Scheduled
                   : Outcome::Failed;
    }

    // The old file goes only when nobody holds it; otherwise the new one is
    // scheduled to replace it at the next restart.
    Outcome Replace()
    {
        const DWORD old = ::GetFileAttributesW(m_final.c_str());
        if (old != INVALID_FILE_ATTRIBUTES) {
            if (old & FILE_ATTRIBUTE_DIRECTORY)
                return Outcome::Failed;
            if (old & FILE_ATTRIBUTE_READONLY)
                ::SetFileAttributesW(m_final.c_str(), old & ~FILE_ATTRIBUTE_READONLY);
            HANDLE probe = ::CreateFileW(m_final.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            if (probe == INVALID_HANDLE_VALUE) {
                const DWORD error = ::GetLastError();
                if (old & FILE_ATTRIBUTE_READONLY)
                    ::SetFileAttributesW(m_final.c_str(), old);
                return InUse(error) ? ScheduleAtRestart() : Outcome::Failed;
            }
            ::CloseHandle(probe);
        }
        if (::MoveFileExW(m_part.c_str(), m_final.c_str(), MOVEFILE_REPLACE_EXISTING))
            return Outcome::Placed;
        const DWORD error = ::GetLastError();
        if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
            ::SetFileAttributesW(m_final.c_str(), old);
        // Taken between the probe and the move.
        return old != INVALID_FILE_ATTRIBUTES && InUse(error) ? ScheduleAtRestart() : Outcome::Failed;
    }

    HANDLE m_file;
    std::wstring m_part;
    std::wstring m_final;
    std::wstring m_shown;
    bool m_scheduled = false;
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

bool IsReparsePoint(const std::wstring& path)
{
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The target itself and every existing folder of `relative` below it: a
// junction or symbolic link among them (left by anyone who could write there
// before) would carry the installation's files elsewhere.
bool WindowsTarget::ThroughLink(const std::wstring& relative)
{
    std::wstring root = m_root;
    while (root.size() > 3 && root.back() == L'\\')
        root.pop_back();
    std::wstring found;
    if (IsReparsePoint(root)) {
        found = root;
    } else {
        size_t pos = 0;
        while (pos < relative.size()) {
            size_t slash = relative.find(L'\\', pos);
            if (slash == std::wstring::npos)
                slash = relative.size();
            const std::wstring part = relative.substr(0, slash);
            const DWORD a = ::GetFileAttributesW((m_root + part).c_str());
            if (a == INVALID_FILE_ATTRIBUTES)
                break;  // made by us from here on
            if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
                found = m_root + part;
                break;
            }
            pos = slash + 1;
        }
    }
    if (found.empty())
        return false;
    bool known = false;
    for (const auto& l : m_linked)
        known = known || l == found;
    if (!known) {
        m_linked.push_back(found);
        Log(L"Refused, a link to another place: " + found);
    }
    return true;
}

bool WindowsTarget::CreateFolders(const std::wstring& folder)
{
    if (ThroughLink(folder))
        return false;
    return CreateFolderPath(m_root + folder);
}

bool WindowsTarget::FileExists(const std::wstring& file)
{
    const DWORD a = ::GetFileAttributesW((m_root + file).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<PendingFile> WindowsTarget::BeginFile(const std::wstring& file)
{
    const size_t slash = file.rfind(L'\\');
    if (ThroughLink(slash == std::wstring::npos ? std::wstring() : file.substr(0, slash)))
        return nullptr;
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
    return std::make_unique<WindowsFile>(h, part, final, final);
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
    UnpackResult r = Unpack(data, data ? size : 0, folder, events);
    r.linkedFolders = folder.LinkedFolders();
    return r;
}

InstallOutcome UnpackAndPrepare(const ExtractJob& job, const UnpackEvents& events)
{
    InstallOutcome out;
    // The installation's own helpers hold their files: AidletStart first, as it
    // would start Kelvo again; Dozaz is asked to close so that its tray icon goes.
    if (StopProgramAt(ProgramFile(job.target, L"AidletStart.exe"), 2000))
        Log(L"Stopped: AidletStart.exe");
    if (StopProgramAt(ProgramFile(job.target, L"Dozaz.exe"), 3000))
        Log(L"Stopped: Dozaz.exe");
    // Rights of its own before anything is written: Kelvo runs elevated from
    // this folder, so no user may change what is in it, whatever the parent
    // folder (a custom base such as C:\\Tools) grants. A link is refused by
    // the unpacking, and nothing is done to what it points at.
    std::wstring zendrix = job.target;
    while (zendrix.size() > 3 && zendrix.back() == L'\\')
        zendrix.pop_back();
    const std::wstring program = ProgramFolder(job.target);
    if (!IsReparsePoint(zendrix) && !IsReparsePoint(program) && CreateFolderPath(program)) {
        Log(L"Folder: " + program);
        for (const std::wstring& folder : {zendrix, program}) {
            const bool ok = kelvo::ProtectProgramFolder(folder);
            Log((ok ? L"Rights set (Administrators, SYSTEM: full control; Users: read and execute): "
                    : L"Rights NOT set (error " + std::to_wstring(::GetLastError()) + L"): ") +
                folder);
        }
    }
    out.unpack = UnpackResource(job.module, job.target, events);
    // The kept settings take the package's maker keys; the installer's one
    // thread that uses CProfile is this one until Finish.
    if (!out.unpack.packageSettings.empty()) {
        MergeSettings(ProgramFile(job.target, L"Kelvo.cfg"), out.unpack.packageSettings);
        Log(L"Kept the user's settings: " + ProgramFile(job.target, L"Kelvo.cfg"));
    }
    for (const auto& name : out.unpack.skippedNames)
        Log(L"Skipped (a name leading outside or no Windows name): " + name);
    // From here on the texts come in the installation's language.
    kelvo::SetModuleFolder(program + L"\\");
    kelvo::ApplyLanguageIndex(CProfile::GetInt(ProgramFile(job.target, L"Kelvo.cfg"), L"Setting", L"Language", 0));
    out.driver = DriverStep(job.target, job.noDriver);
    return out;
}

UINT ExtractPackage(LPVOID param)
{
    auto* job = static_cast<ExtractJob*>(param);
    const HWND page = job->page;
    auto post = [page](WPARAM what, LPARAM value) { ::PostMessageW(page, WM_INSTALL_PROGRESS, what, value); };
    UnpackEvents events;
    events.started = [&](long long n) { post(kReportStep, EntryStep(n)); };
    events.entryDone = [&] { post(kReportEntry, 0); };
    const InstallOutcome outcome = UnpackAndPrepare(*job, events);
    const UnpackResult& r = outcome.unpack;
    auto* whole = new InstallOutcome(outcome);
    if (!::PostMessageW(page, WM_INSTALL_PROGRESS, kReportResult, reinterpret_cast<LPARAM>(whole)))
        delete whole;
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
