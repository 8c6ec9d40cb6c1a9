#include "installer/package/Package.h"

#include "installer/core/EntryNames.h"
#include "installer/core/MemoryArchive.h"

#include "unzip.h"

#include <vector>

namespace kelvo::install {

namespace {

// minizip's file hooks over the block; the "file name" is the MemoryArchive.
voidpf ZCALLBACK OpenHook(voidpf, const void* name, int mode)
{
    return (mode & ZLIB_FILEFUNC_MODE_WRITE) ? nullptr : const_cast<void*>(name);
}
uLong ZCALLBACK ReadHook(voidpf, voidpf stream, void* buf, uLong size)
{
    return static_cast<uLong>(static_cast<MemoryArchive*>(stream)->Read(buf, size));
}
uLong ZCALLBACK WriteHook(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T ZCALLBACK TellHook(voidpf, voidpf stream) { return static_cast<MemoryArchive*>(stream)->Tell(); }
long ZCALLBACK SeekHook(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    return static_cast<MemoryArchive*>(stream)->Seek(offset, origin);
}
int ZCALLBACK CloseHook(voidpf, voidpf) { return 0; }
// Asked only after a short read: the block ended early, the archive is cut short.
int ZCALLBACK ErrorHook(voidpf, voidpf stream) { return static_cast<MemoryArchive*>(stream)->CutShort() ? 1 : 0; }

struct Archive {
    explicit Archive(MemoryArchive& mem)
    {
        zlib_filefunc64_def hooks{};
        hooks.zopen64_file = OpenHook;
        hooks.zread_file = ReadHook;
        hooks.zwrite_file = WriteHook;
        hooks.ztell64_file = TellHook;
        hooks.zseek64_file = SeekHook;
        hooks.zclose_file = CloseHook;
        hooks.zerror_file = ErrorHook;
        hooks.opaque = nullptr;
        handle = unzOpen2_64(&mem, &hooks);
    }
    ~Archive()
    {
        if (handle)
            unzClose(handle);
    }
    unzFile handle = nullptr;
};

// The entry's name, read with a buffer the size the entry gives (never cut short).
bool CurrentEntry(unzFile zip, unz_file_info64& info, std::string& rawName)
{
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    std::vector<char> name(info.size_filename + 1, '\0');
    if (unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    rawName.assign(name.data(), info.size_filename);
    return true;
}

bool WriteFileEntry(unzFile zip, const unz_file_info64& info, PendingFile& out)
{
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        return false;
    std::vector<char> buffer(256 * 1024);
    uint64_t total = 0;
    bool ok = true;
    for (;;) {
        const int n = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        total += static_cast<unsigned>(n);
        if (!out.Write(buffer.data(), static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    // Closing checks the CRC once the whole entry was read.
    const int closed = unzCloseCurrentFile(zip);
    return ok && closed == UNZ_OK && total == info.uncompressed_size;
}

// The entry's bytes into memory, when it is whole and at most `limit` bytes.
bool ReadEntry(unzFile zip, const unz_file_info64& info, uint64_t limit, std::string* bytes)
{
    if (info.uncompressed_size > limit)
        return false;
    struct Sink : PendingFile {
        std::string* out;
        bool Write(const void* data, size_t size) override
        {
            out->append(static_cast<const char*>(data), size);
            return true;
        }
        bool Commit(uint32_t, uint32_t) override { return true; }
        void Abandon() override { out->clear(); }
    } sink;
    sink.out = bytes;
    bytes->clear();
    if (WriteFileEntry(zip, info, sink))
        return true;
    bytes->clear();
    return false;
}

void Fail(UnpackResult& result, const std::wstring& name)
{
    ++result.failed;
    result.failedNames.push_back(name);
}

void UnpackEntry(unzFile zip, InstallTarget& target, UnpackResult& result)
{
    unz_file_info64 info{};
    std::string raw;
    if (!CurrentEntry(zip, info, raw)) {
        ++result.failed;  // no name to show
        return;
    }
    const std::wstring name = DecodeEntryName(raw, static_cast<uint32_t>(info.flag));
    // A name Windows would shorten could reach a file (the settings file) past
    // the checks below: refused as an escaping name is.
    if (!StaysInside(name) || !IsPlainName(name)) {
        ++result.skipped;
        result.skippedNames.push_back(name);
        return;
    }
    const std::wstring path = ToBackslashes(name);
    if (IsFolderEntry(name, static_cast<uint32_t>(info.external_fa))) {
        if (target.CreateFolders(path))
            ++result.folders;
        else
            Fail(result, name);
        return;
    }
    if (IsUserSettingsEntry(path) && target.FileExists(path)) {
        ++result.kept;
        // A settings file is small; one that is not is no settings file to merge.
        ReadEntry(zip, info, 1 << 20, &result.packageSettings);
        return;
    }
    const size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos && !target.CreateFolders(path.substr(0, slash + 1))) {
        Fail(result, name);
        return;
    }
    std::unique_ptr<PendingFile> file = target.BeginFile(path);
    if (!file) {
        Fail(result, name);
        return;
    }
    if (!WriteFileEntry(zip, info, *file)) {
        file->Abandon();
        Fail(result, name);
        return;
    }
    if (!file->Commit(DosFileAttributes(static_cast<uint32_t>(info.external_fa)), static_cast<uint32_t>(info.dosDate))) {
        Fail(result, name);
    } else if (file->Scheduled()) {
        ++result.scheduled;
        result.scheduledNames.push_back(name);
    } else {
        ++result.files;
    }
}

} // namespace

UnpackResult Unpack(const void* archive, uint64_t size, InstallTarget& target, const UnpackEvents& events)
{
    UnpackResult result;
    MemoryArchive mem(archive, size);
    Archive zip(mem);
    unz_global_info64 global{};
    if (zip.handle && unzGetGlobalInfo64(zip.handle, &global) == UNZ_OK) {
        result.opened = true;
        result.entries = static_cast<long long>(global.number_entry);
    }
    if (events.started)
        events.started(result.entries);
    bool positioned = result.opened && unzGoToFirstFile(zip.handle) == UNZ_OK;
    for (long long i = 0; i < result.entries; ++i) {
        if (!positioned) {
            // The directory ends early (a damaged archive): the entries it
            // cannot reach have failed.
            const int lost = static_cast<int>(result.entries - i < 1000000 ? result.entries - i : 1000000);
            result.failed += lost;
            break;
        }
        UnpackEntry(zip.handle, target, result);
        if (events.entryDone)
            events.entryDone();
        if (i + 1 < result.entries)
            positioned = unzGoToNextFile(zip.handle) == UNZ_OK;
    }
    return result;
}

} // namespace kelvo::install
