#pragma once
// The unpacking on Windows: the package resource into the target folder T,
// each file written beside its place ("<name>.kelvo-new") and moved over the
// old one only when complete, unless the old one is in use.
#include "installer/core/Batch.h"
#include "installer/package/Package.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kelvo::install {

// Folders and files below `target` (a full path ending in "\").
class WindowsTarget : public InstallTarget {
public:
    explicit WindowsTarget(std::wstring target) : m_root(std::move(target)) {}
    bool CreateFolders(const std::wstring& folder) override;
    bool FileExists(const std::wstring& file) override;
    std::unique_ptr<PendingFile> BeginFile(const std::wstring& file) override;
    const std::wstring& Root() const { return m_root; }
    // The links refused so far (full paths).
    const std::vector<std::wstring>& LinkedFolders() const { return m_linked; }

private:
    bool ThroughLink(const std::wstring& relativeFolder);

    std::wstring m_root;
    std::vector<std::wstring> m_linked;
};

// Creates a folder and its missing parents (a full path); true when it exists after.
bool CreateFolderPath(const std::wstring& folder);

// The "ZIP" resource 133 of `module` into `target`.
UnpackResult UnpackResource(HMODULE module, const std::wstring& target, const UnpackEvents& events);

// WM_INSTALL_PROGRESS: posted by the unpacking worker to the copy page.
constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 0x404;
// Reports beyond the progress ones: how the unpacking went, for the finish page.
constexpr WPARAM kReportSkipped = 5;    // LPARAM: entries skipped (names leading outside or no plain names)
constexpr WPARAM kReportFailed = 6;     // LPARAM: entries that could not be written
constexpr WPARAM kReportNoPackage = 7;  // the package could not be read at all
constexpr WPARAM kReportFiles = 8;      // LPARAM: files moved into place
constexpr WPARAM kReportResult = 9;     // LPARAM: the whole InstallOutcome (new), owned by the page from then on

// The worker's parameter, made by the copy page, owned and freed by the worker.
struct ExtractJob {
    HWND page;
    std::wstring target;
    HMODULE module;
    bool noDriver = false;
};

// What the unpacking and the driver step did.
struct InstallOutcome {
    UnpackResult unpack;
    DriverOutcome driver;
};

// The whole work before Finish, on the calling thread: the installation's
// helpers stopped, the folder made and given its own rights (unless it is a
// link to elsewhere), the package unpacked, the kept settings brought up to
// date, the installation's language taken for the texts that follow, the
// driver step. `job.page` is not used.
InstallOutcome UnpackAndPrepare(const ExtractJob& job, const UnpackEvents& events);

// Thread procedure (AfxBeginThread): UnpackAndPrepare, reported to the page.
UINT ExtractPackage(LPVOID job);

} // namespace kelvo::install
