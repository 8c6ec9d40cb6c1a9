// kelvo-zippack FOLDER ARCHIVE: packs FOLDER into a ZIP archive whose entries
// are named after the folder ("Kelvo/..."), each folder before its contents,
// names in byte order (flagged UTF-8 where they are not ASCII), one fixed
// time, DOS attributes, deflate; a folder a ZIP without ZIP64 cannot hold is
// refused. The same folder always gives the same bytes, and the archive is
// rewritten only when they change, so whatever embeds it is rebuilt only then.
#include "tools/zippack/ZipWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kelvo::zip::Entry;

namespace {

// 2020-01-01 12:00:00 in DOS form.
const uint16_t kDosDate = ((2020 - 1980) << 9) | (1 << 5) | 1;
const uint16_t kDosTime = 12 << 11;

bool ReadAll(const fs::path& p, std::string& out)
{
    std::ifstream f(p, std::ios::binary);
    if (!f)
        return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

bool Pack(const fs::path& dir, const std::string& prefix, std::vector<Entry>& entries)
{
    std::vector<fs::directory_entry> children;
    std::error_code ec;
    for (const auto& child : fs::directory_iterator(dir, ec))
        children.push_back(child);
    if (ec) {
        std::fprintf(stderr, "kelvo-zippack: cannot list %s\n", dir.string().c_str());
        return false;
    }
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return a.path().filename().string() < b.path().filename().string(); });
    for (const auto& child : children) {
        const std::string name = prefix + child.path().filename().string();
        if (child.is_directory()) {
            entries.push_back(kelvo::zip::FolderEntry(name + "/", kDosTime, kDosDate));
        } else if (child.is_regular_file()) {
            std::string data;
            if (!ReadAll(child.path(), data)) {
                std::fprintf(stderr, "kelvo-zippack: cannot read %s\n", child.path().string().c_str());
                return false;
            }
            entries.push_back(kelvo::zip::FileEntry(name, data, kDosTime, kDosDate));
        } else {
            continue;
        }
        // The names here are UTF-8; unflagged, a reader takes them for code page 437.
        if (kelvo::zip::NeedsUtf8Flag(entries.back().name))
            entries.back().flags |= kelvo::zip::kFlagUtf8;
        if (child.is_directory() && !Pack(child.path(), name + "/", entries))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kelvo-zippack FOLDER ARCHIVE\n");
        return 2;
    }
    const fs::path folder = fs::path(argv[1]).lexically_normal();
    std::string top = folder.filename().string();
    if (top.empty())
        top = folder.parent_path().filename().string();
    std::vector<Entry> entries{kelvo::zip::FolderEntry(top + "/", kDosTime, kDosDate)};
    if (kelvo::zip::NeedsUtf8Flag(top))
        entries.back().flags |= kelvo::zip::kFlagUtf8;
    if (!Pack(folder, top + "/", entries))
        return 1;
    std::string why;
    const std::string bytes = kelvo::zip::BuildArchive(entries, &why);
    if (bytes.empty()) {
        std::fprintf(stderr, "kelvo-zippack: cannot pack %s: %s\n", argv[1], why.c_str());
        return 1;
    }
    std::string old;
    if (ReadAll(argv[2], old) && old == bytes)
        return 0;
    const std::string tmp = std::string(argv[2]) + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!f) {
            std::fprintf(stderr, "kelvo-zippack: cannot write %s\n", tmp.c_str());
            return 1;
        }
    }
    std::error_code ec;
    fs::rename(tmp, argv[2], ec);
    if (ec) {
        std::fprintf(stderr, "kelvo-zippack: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("kelvo-zippack: %zu entries, %zu bytes\n", entries.size(), bytes.size());
    return 0;
}
