#include "app/core/filebytes.h"

#include "app/core/platform.h"

#include <cstdio>

namespace kelvo {

FileRead ReadWholeFile(const std::wstring& path, size_t limit, std::string* out)
{
    out->clear();
    FILE* f = OpenFile(path, "rb");
    if (!f)
        return FileRead::kCannotOpen;
    char buf[16384];
    size_t n;
    // One byte past the limit is enough to know the file is too large.
    while (out->size() <= limit && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (out->size() > limit) {
        out->resize(limit);
        return FileRead::kTooLarge;
    }
    if (failed) {
        out->clear();
        return FileRead::kReadError;
    }
    return FileRead::kRead;
}

} // namespace kelvo
