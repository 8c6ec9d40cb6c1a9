#include "tools/zippack/ZipWriter.h"

#include <zlib.h>

namespace kelvo::zip {

namespace {

void Put16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool Over32(uint64_t v) { return v > 0xFFFFFFFFull; }

// What the local header and the central directory both carry, in the same order.
struct HeaderFields {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint32_t packedSize = 0;
    uint32_t size = 0;
    uint16_t nameSize = 0;
};

void PutHeaderFields(std::string& out, const HeaderFields& f)
{
    Put16(out, 20);  // version needed: 2.0
    Put16(out, f.flags);
    Put16(out, f.method);
    Put16(out, f.dosTime);
    Put16(out, f.dosDate);
    Put32(out, f.crc);
    Put32(out, f.packedSize);
    Put32(out, f.size);
    Put16(out, f.nameSize);
    Put16(out, 0);  // extra field
}

bool Deflate(const std::string& in, std::string& out)
{
    z_stream z{};
    // Raw deflate, as ZIP wants it; the best compression, the same on every build.
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    const int r = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return r == Z_STREAM_END;
}

} // namespace

uint32_t Crc32(const std::string& data)
{
    return static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

Entry FolderEntry(const std::string& name, uint16_t dosTime, uint16_t dosDate)
{
    Entry e;
    e.name = name;
    e.external = 0x10;
    e.dosTime = dosTime;
    e.dosDate = dosDate;
    e.store = true;
    return e;
}

Entry FileEntry(const std::string& name, const std::string& data, uint16_t dosTime, uint16_t dosDate)
{
    Entry e;
    e.name = name;
    e.data = data;
    e.external = 0x20;
    e.dosTime = dosTime;
    e.dosDate = dosDate;
    return e;
}

bool NeedsUtf8Flag(const std::string& name)
{
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

std::string BuildArchive(const std::vector<Entry>& entries, std::string* error)
{
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return std::string();
    };
    // Without the ZIP64 extensions the counts and sizes are 16 and 32 bits
    // wide: more would be cut silently and make another archive.
    if (entries.size() > 0xFFFF)
        return fail("more than 65535 entries");
    std::string out, central;
    for (const Entry& e : entries) {
        if (e.name.size() > 0xFFFF)
            return fail("a name longer than 65535 bytes: " + e.name.substr(0, 80) + "...");
        if (Over32(e.data.size()))
            return fail("a file of 4 GiB or more: " + e.name);
        std::string packed;
        const bool stored = e.store || e.data.empty();
        if (stored)
            packed = e.data;
        else if (!Deflate(e.data, packed))
            return fail("compression failed: " + e.name);
        if (Over32(packed.size()) || Over32(out.size()))
            return fail("an archive of 4 GiB or more");
        HeaderFields f;
        f.flags = e.flags;
        f.method = stored ? 0 : 8;
        f.dosTime = e.dosTime;
        f.dosDate = e.dosDate;
        f.crc = e.forceCrc ? e.crc : Crc32(e.data);
        f.packedSize = static_cast<uint32_t>(packed.size());
        f.size = static_cast<uint32_t>(e.data.size());
        f.nameSize = static_cast<uint16_t>(e.name.size());
        const uint32_t offset = static_cast<uint32_t>(out.size());

        Put32(out, 0x04034b50);
        PutHeaderFields(out, f);
        out += e.name;
        out += packed;

        Put32(central, 0x02014b50);
        Put16(central, e.madeBy);
        PutHeaderFields(central, f);
        Put16(central, 0);  // comment
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, e.external);
        Put32(central, offset);
        central += e.name;
    }
    if (Over32(out.size()) || Over32(central.size()) || Over32(uint64_t(out.size()) + central.size()))
        return fail("an archive of 4 GiB or more");
    const uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, 0);
    return out;
}

bool FindEntryData(const std::string& archive, const std::string& name, size_t* offset, size_t* size)
{
    auto get = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int k = bytes - 1; k >= 0; --k)
            v = (v << 8) | static_cast<unsigned char>(archive[at + static_cast<size_t>(k)]);
        return v;
    };
    const std::string signature("PK\x03\x04", 4);
    for (size_t at = archive.find(signature); at != std::string::npos; at = archive.find(signature, at + 1)) {
        if (at + 30 > archive.size())
            break;
        const size_t nameSize = get(at + 26, 2), extraSize = get(at + 28, 2);
        if (nameSize != name.size() || archive.compare(at + 30, nameSize, name) != 0)
            continue;
        const size_t data = at + 30 + nameSize + extraSize;
        const size_t packed = get(at + 18, 4);
        if (data + packed > archive.size())
            return false;
        *offset = data;
        *size = packed;
        return true;
    }
    return false;
}

} // namespace kelvo::zip
