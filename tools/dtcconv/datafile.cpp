#include "tools/dtcconv/datafile.h"

#include <cstdint>

namespace dtcconv {
namespace {

class Reader {
public:
    explicit Reader(const std::string& b) : m_bytes(b) {}

    size_t Pos() const { return m_pos; }
    size_t Left() const { return m_bytes.size() - m_pos; }

    bool Tag(std::string* out)
    {
        if (Left() < 4)
            return false;
        *out = m_bytes.substr(m_pos, 4);
        m_pos += 4;
        return true;
    }
    bool Int(int32_t* out)
    {
        if (Left() < 4)
            return false;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | static_cast<unsigned char>(m_bytes[m_pos + i]);
        *out = static_cast<int32_t>(v);
        m_pos += 4;
        return true;
    }
    bool Bytes(size_t n, std::string* out)
    {
        if (Left() < n)
            return false;
        *out = m_bytes.substr(m_pos, n);
        m_pos += n;
        return true;
    }
    bool PeekIs(const char* tag) const { return Left() >= 4 && m_bytes.compare(m_pos, 4, tag) == 0; }

private:
    const std::string& m_bytes;
    size_t m_pos = 0;
};

bool Fail(std::string* error, size_t offset, const std::string& what)
{
    *error = "offset " + std::to_string(offset) + ": " + what;
    return false;
}

std::string Printable(const std::string& tag)
{
    std::string s;
    for (unsigned char c : tag)
        s += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return s;
}

} // namespace

bool ReadDatafile(const std::string& file, std::vector<DataObject>* objects, std::string* error)
{
    objects->clear();
    Reader r(file);
    std::string tag;
    size_t at = r.Pos();
    if (!r.Tag(&tag))
        return Fail(error, at, "truncated: the file ends inside its header");
    if (tag == "slh!")
        return Fail(error, at, "compressed datafile (\"slh!\"); only uncompressed datafiles are read");
    if (tag != "slh.")
        return Fail(error, at, "not an Allegro datafile (no \"slh.\" header)");
    at = r.Pos();
    if (!r.Tag(&tag))
        return Fail(error, at, "truncated: the file ends inside its header");
    if (tag != "ALL.")
        return Fail(error, at, "not an Allegro datafile (no \"ALL.\" header)");
    int32_t count = 0;
    at = r.Pos();
    if (!r.Int(&count))
        return Fail(error, at, "truncated: the file ends before its object count");
    // Each object takes at least its type and two sizes.
    if (count < 0 || static_cast<uint64_t>(count) * 12 > r.Left())
        return Fail(error, at, "object count " + std::to_string(count) + " does not fit the file");

    for (int32_t i = 0; i < count; ++i) {
        DataObject obj;
        while (r.PeekIs("prop")) {
            at = r.Pos();
            std::string propType, value;
            int32_t size = 0;
            r.Tag(&tag);
            if (!r.Tag(&propType) || !r.Int(&size))
                return Fail(error, at, "truncated: the file ends inside a property record");
            if (size < 0 || static_cast<size_t>(size) > r.Left())
                return Fail(error, at, "truncated: property " + Printable(propType) + " of " + std::to_string(size) +
                                           " bytes runs past the end of the file");
            r.Bytes(static_cast<size_t>(size), &value);
            if (propType == "NAME")
                obj.name = value;
        }
        at = r.Pos();
        int32_t packed = 0, unpacked = 0;
        if (!r.Tag(&obj.type) || !r.Int(&packed) || !r.Int(&unpacked))
            return Fail(error, at, "truncated: the file ends inside the header of object " + std::to_string(i + 1));
        if (packed < 0)
            return Fail(error, at, "object " + Printable(obj.name) + " is compressed; only uncompressed datafiles are read");
        if (packed != unpacked)
            return Fail(error, at, "object " + Printable(obj.name) + " is compressed or damaged (stored size " +
                                       std::to_string(packed) + ", size " + std::to_string(unpacked) + ")");
        obj.offset = r.Pos();
        if (!r.Bytes(static_cast<size_t>(packed), &obj.bytes))
            return Fail(error, obj.offset, "truncated: object " + Printable(obj.name) + " of " + std::to_string(packed) +
                                               " bytes runs past the end of the file");
        objects->push_back(std::move(obj));
    }
    if (r.Left() != 0)
        return Fail(error, r.Pos(), std::to_string(r.Left()) + " bytes after the last object");
    return true;
}

} // namespace dtcconv
