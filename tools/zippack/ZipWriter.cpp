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

std::string BuildArchive(const std::vector<Entry>& entries)
{
    std::string out, central;
    for (const Entry& e : entries) {
        std::string packed;
        const bool stored = e.store || e.data.empty();
        if (stored)
            packed = e.data;
        else if (!Deflate(e.data, packed))
            return {};
        const uint32_t crc = e.forceCrc ? e.crc : Crc32(e.data);
        const uint16_t method = stored ? 0 : 8;
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint16_t needed = 20;

        Put32(out, 0x04034b50);
        Put16(out, needed);
        Put16(out, e.flags);
        Put16(out, method);
        Put16(out, e.dosTime);
        Put16(out, e.dosDate);
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(packed.size()));
        Put32(out, static_cast<uint32_t>(e.data.size()));
        Put16(out, static_cast<uint32_t>(e.name.size()));
        Put16(out, 0);
        out += e.name;
        out += packed;

        Put32(central, 0x02014b50);
        Put16(central, e.madeBy);
        Put16(central, needed);
        Put16(central, e.flags);
        Put16(central, method);
        Put16(central, e.dosTime);
        Put16(central, e.dosDate);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(packed.size()));
        Put32(central, static_cast<uint32_t>(e.data.size()));
        Put16(central, static_cast<uint32_t>(e.name.size()));
        Put16(central, 0);  // extra
        Put16(central, 0);  // comment
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, e.external);
        Put32(central, offset);
        central += e.name;
    }
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

} // namespace kelvo::zip
