#pragma once
// A whole file into memory, never more than a limit: one reader for the
// small data files (saved reports, tables, signed lists), so that a file
// grown beyond any sensible size costs no more than the limit.
#include <cstddef>
#include <string>

namespace kelvo {

enum class FileRead {
    kRead,        // the whole file is in `out`
    kCannotOpen,  // missing or not readable; `out` is empty
    kReadError,   // the read failed part way; `out` is empty
    kTooLarge,    // longer than the limit; `out` holds its first `limit` bytes
};

FileRead ReadWholeFile(const std::wstring& path, size_t limit, std::string* out);

} // namespace kelvo
