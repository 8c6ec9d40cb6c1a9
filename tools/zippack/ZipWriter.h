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

// The archive's bytes; empty when zlib fails.
std::string BuildArchive(const std::vector<Entry>& entries);

uint32_t Crc32(const std::string& data);

} // namespace kelvo::zip
