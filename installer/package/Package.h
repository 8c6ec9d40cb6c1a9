#pragma once
// Unpacking the installer's package: minizip reads the archive straight from
// memory through bounded hooks, and each entry goes to a target through a
// small interface (the Windows folder in the installer, memory in the tests).
//
// Per entry: a name that would leave the target, or that Windows would
// shorten (a "." or empty component, a trailing dot or space), is skipped; a
// folder is created; the existing settings file is kept; a file is written
// beside its place and moved into place only when it is complete and its CRC
// matches, so a damaged entry, a failed write or a file in use leaves the old
// file as it was. Skipped and failed entries are counted; every entry counts for progress.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvo::install {

// One file being written beside its final place.
class PendingFile {
public:
    virtual ~PendingFile() = default;
    virtual bool Write(const void* data, size_t size) = 0;
    // Moves the complete file into place with its DOS attributes and time.
    // True as well when the old file is in use and the new one waits beside
    // it, scheduled to replace it at the next restart (then Scheduled()).
    virtual bool Commit(uint32_t dosAttributes, uint32_t dosDateTime) = 0;
    virtual bool Scheduled() const { return false; }
    // Removes the partial file; the old one stays.
    virtual void Abandon() = 0;
};

// Where the entries go. Paths are relative to the target, with "\" separators.
class InstallTarget {
public:
    virtual ~InstallTarget() = default;
    virtual bool CreateFolders(const std::wstring& folder) = 0;  // and its missing parents
    virtual bool FileExists(const std::wstring& file) = 0;
    // Null when the file cannot be started (no room, no access).
    virtual std::unique_ptr<PendingFile> BeginFile(const std::wstring& file) = 0;
};

struct UnpackResult {
    bool opened = false;   // the archive could be read at all
    long long entries = 0; // entries in the central directory
    int folders = 0;
    int files = 0;         // files moved into place
    int kept = 0;          // existing user files left alone
    int skipped = 0;       // names that would leave the target or are no plain names
    int failed = 0;        // damaged, unreadable or unwritable entries
    int scheduled = 0;     // written beside a file in use, to replace it at the next restart
    // The entries behind those counts, by their names in the package, for the
    // user to see (every one; the page shows the first few).
    std::vector<std::wstring> skippedNames, failedNames, scheduledNames;
    // Folders (full paths) the target refused to write through: links to
    // other places, found inside the installation.
    std::vector<std::wstring> linkedFolders;
    // The package's own settings file when the user's was kept (empty
    // otherwise), so that keys the maker owns can still be brought up to date.
    std::string packageSettings;
};

struct UnpackEvents {
    std::function<void(long long entries)> started;  // before the first entry
    std::function<void()> entryDone;                  // after each entry, whatever became of it
};

UnpackResult Unpack(const void* archive, uint64_t size, InstallTarget& target, const UnpackEvents& events = {});

} // namespace kelvo::install
