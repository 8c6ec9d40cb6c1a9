#pragma once
// Writes ZIP archives: the installer's package at build time, and crafted
// archives for the tests (odd names, Unix attributes, wrong CRCs). Entries are
// deflated (or stored) with zlib; the archive is built in memory.
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::zip {

struct Entry {
    std::string name;       // raw bytes, "/" as separator, folders end in "/"
    std::string data;       // file content (empty for folders)
    uint16_t flags = 0;     // bit 11: UTF-8 name
    uint16_t madeBy = 20;   // high byte: host (0 MS-DOS, 3 Unix), low byte: version 2.0
    uint32_t external = 0;  // external attributes (DOS attributes in the low byte)
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    bool store = false;     // stored instead of deflated
    bool forceCrc = false;  // write `crc` instead of the data's own
    uint32_t crc = 0;
};

// A folder entry and a file entry as the build packs them: DOS host, folder
// bit or archive bit, the given time.
Entry FolderEntry(const std::string& name, uint16_t dosTime, uint16_t dosDate);
Entry FileEntry(const std::string& name, const std::string& data, uint16_t dosTime, uint16_t dosDate);

// General-purpose flag bit 11: the name is UTF-8.
constexpr uint16_t kFlagUtf8 = 1u << 11;

// True for a name with a byte of 0x80 or more: a reader without the UTF-8
// flag would take it for code page 437.
bool NeedsUtf8Flag(const std::string& name);

// The archive's bytes; empty when zlib fails or the archive would need the
// ZIP64 extensions (more than 65535 entries, a name longer than 65535 bytes,
// a size or an offset of 4 GiB or more), with the reason in `error`.
std::string BuildArchive(const std::vector<Entry>& entries, std::string* error = nullptr);

uint32_t Crc32(const std::string& data);

// Where the packed bytes of entry `name` lie in an archive BuildArchive made
// (for the tests that damage a file's data and keep the directory); false
// when no local header carries that name.
bool FindEntryData(const std::string& archive, const std::string& name, size_t* offset, size_t* size);

} // namespace kelvo::zip
