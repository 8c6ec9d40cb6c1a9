#include "ui/core/VersionFile.h"

#include "app/core/codepage.h"
#include "app/core/platform.h"

#include <cstdio>

namespace kelvo {

std::wstring ReadVersionFile(const std::wstring& path)
{
    FILE* f = OpenFile(path, "rb");
    if (!f)
        return {};
    std::string line;
    std::wstring version;
    for (int c = std::fgetc(f);; c = std::fgetc(f)) {
        if (c == EOF || c == '\n' || c == '\r') {
            if (!line.empty()) {
                version = ToWide(0, line);
                break;
            }
            if (c == EOF)
                break;
            continue;
        }
        // A version is a short line; a file that is no version file is not read whole.
        if (line.size() < 4096)
            line += static_cast<char>(c);
    }
    std::fclose(f);
    return version;
}

} // namespace kelvo
