// Native (POSIX) side of the core's system needs: for tests and build tools.
#include "app/core/codepage.h"
#include "app/core/platform.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {

namespace {
MessageSink& Sink()
{
    static MessageSink sink;
    return sink;
}

// Windows paths may use either slash; drop a drive letter if one is given.
std::string NativePath(const std::wstring& path)
{
    std::string p = WideToUtf8(path);
    for (char& c : p)
        if (c == '\\')
            c = '/';
    return p;
}

// Finds an existing path that matches `path` without regard to case, one
// component at a time; returns `path` itself when nothing matches.
std::string ResolveNoCase(const std::string& path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) == 0)
        return path;
    std::string done = path[0] == '/' ? "/" : "";
    size_t pos = path[0] == '/' ? 1 : 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        std::string part = path.substr(pos, next - pos);
        std::string dirName = done.empty() ? "." : done;
        std::string candidate = done + part;
        if (!part.empty() && ::stat(candidate.c_str(), &st) != 0) {
            if (DIR* d = ::opendir(dirName.c_str())) {
                while (dirent* e = ::readdir(d)) {
                    if (strcasecmp(e->d_name, part.c_str()) == 0) {
                        candidate = done + e->d_name;
                        break;
                    }
                }
                ::closedir(d);
            }
        }
        done = candidate;
        if (next < path.size())
            done += '/';
        pos = next + 1;
    }
    return done;
}
} // namespace

int ShowMessage(const std::wstring& text, unsigned flags)
{
    if (Sink())
        return Sink()(text, flags);
    std::fprintf(stderr, "[Kelvo] %s\n", WideToUtf8(text).c_str());
    return (flags & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

void SetMessageSink(MessageSink sink) { Sink() = std::move(sink); }
void SetMessageOwner(void*) {}

uint32_t TickCount()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void SleepMs(uint32_t ms)
{
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

FILE* OpenFile(const std::wstring& path, const char* mode)
{
    return std::fopen(ResolveNoCase(NativePath(path)).c_str(), mode);
}

bool FileExists(const std::wstring& path)
{
    struct stat st;
    return ::stat(ResolveNoCase(NativePath(path)).c_str(), &st) == 0;
}

bool RemoveFile(const std::wstring& path)
{
    return ::unlink(ResolveNoCase(NativePath(path)).c_str()) == 0;
}

FILE* CreateNewFile(const std::wstring& path)
{
    const int fd = ::open(ResolveNoCase(NativePath(path)).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    FILE* f = ::fdopen(fd, "wb");
    if (!f)
        ::close(fd);
    return f;
}

bool FlushToDisk(FILE* f) { return std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0; }

bool ReplaceWith(const std::wstring& from, const std::wstring& to)
{
    return ::rename(ResolveNoCase(NativePath(from)).c_str(), ResolveNoCase(NativePath(to)).c_str()) == 0;
}

bool MakeFolder(const std::wstring& path)
{
    const std::string p = ResolveNoCase(NativePath(path));
    struct stat st;
    if (::mkdir(p.c_str(), 0755) == 0)
        return true;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<FolderFile> ListFolderFiles(const std::wstring& folder)
{
    std::vector<FolderFile> out;
    const std::string dir = ResolveNoCase(NativePath(folder));
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return out;
    while (dirent* e = ::readdir(d)) {
        struct stat st;
        const std::string path = dir + "/" + e->d_name;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            out.push_back({Utf8ToWide(e->d_name), static_cast<uint64_t>(st.st_size)});
    }
    ::closedir(d);
    return out;
}

std::string WideToUtf8(const std::wstring& w)
{
    std::string out;
    for (wchar_t wc : w) {
        auto c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& s)
{
    std::wstring out;
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        uint32_t c = 0xFFFD;
        size_t n = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0 && i + 1 < s.size()) {
            c = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            n = 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < s.size()) {
            c = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            n = 3;
        } else if ((b & 0xF8) == 0xF0 && i + 3 < s.size()) {
            c = ((b & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
                ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
            n = 4;
        }
        out.push_back(static_cast<wchar_t>(c));
        i += n;
    }
    return out;
}

unsigned SystemAnsiCodePage() { return 1252; }

std::wstring ProgramFolder()
{
    char buf[4096];
    if (!::getcwd(buf, sizeof buf))
        return L"./";
    return Utf8ToWide(buf) + L"/";
}

std::wstring ToWide(unsigned codePage, const std::string& bytes)
{
    std::wstring out;
    if (codePage == 0)
        codePage = SystemAnsiCodePage();
    if (!TableToWide(codePage, bytes, out))
        TableToWide(28591, bytes, out);
    return out;
}

std::string FromWide(unsigned codePage, const std::wstring& text, bool* lossless)
{
    std::string out;
    if (codePage == 0)
        codePage = SystemAnsiCodePage();
    if (!TableFromWide(codePage, text, out, lossless))
        TableFromWide(28591, text, out, lossless);
    return out;
}

} // namespace kelvo
