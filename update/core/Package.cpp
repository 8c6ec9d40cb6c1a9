#include "update/core/Package.h"

#include <cstring>

namespace kelvo {

namespace {
const char kMagic[7] = {'Z', 'e', 'n', 'd', 'r', 'i', 'x'};

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// Offsets of the header's length fields for a type.
int LengthFields(uint32_t type, size_t offsets[2])
{
    offsets[0] = 11;
    offsets[1] = 15;
    return type == kPackageBoth ? 2 : 1;
}
} // namespace

void ScramblePackage(uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        data[i] ^= kPackageKey;
}

size_t PackageHeaderSize(uint32_t type)
{
    switch (type) {
    case kPackageMain:
    case kPackageSecond:
        return 15;
    case kPackageBoth:
        return 19;
    default:
        return 0;
    }
}

uint32_t PackageChecksum(const uint8_t* data, size_t size, uint32_t type)
{
    if (size < 4)
        return 0;
    uint32_t sum = 0;
    for (size_t i = 0; i < size - 4; ++i)
        sum += data[i];
    size_t fields[2];
    int n = LengthFields(type, fields);
    for (int f = 0; f < n; ++f) {
        if (fields[f] + 4 > size - 4)
            break;
        const uint8_t* p = data + fields[f];
        uint32_t length = Le32(p);
        if (length != 0)
            sum = sum + length - (uint32_t(p[0]) + p[1] + p[2] + p[3]);
    }
    return sum;
}

bool CheckPackage(const uint8_t* data, size_t size, PackageLayout* layout)
{
    if (size < 11 + 4)
        return false;
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return false;
    uint32_t type = Le32(data + 7);
    size_t header = PackageHeaderSize(type);
    if (header == 0 || size < header + 4)
        return false;

    // The images must lie between the header and the checksum. Lengths are
    // added in 64 bits so that huge values cannot wrap round into range.
    uint64_t first = Le32(data + 11);
    uint64_t second = type == kPackageBoth ? Le32(data + 15) : 0;
    if (uint64_t(header) + first + second + 4 > size)
        return false;
    // Erasing the tool and writing nothing into it is no update: every image
    // a package names must hold at least one byte.
    if (first == 0 || (type == kPackageBoth && second == 0))
        return false;

    if (PackageChecksum(data, size, type) != Le32(data + size - 4))
        return false;

    if (layout) {
        layout->type = type;
        layout->headerSize = header;
        layout->firstOffset = header;
        layout->firstLength = uint32_t(first);
        layout->secondOffset = header + size_t(first);
        layout->secondLength = uint32_t(second);
    }
    return true;
}

std::vector<uint8_t> BuildPackage(uint32_t type, const std::vector<uint8_t>& first, const std::vector<uint8_t>& second)
{
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    PutLe32(out, type);
    PutLe32(out, uint32_t(first.size()));
    if (type == kPackageBoth)
        PutLe32(out, uint32_t(second.size()));
    out.insert(out.end(), first.begin(), first.end());
    if (type == kPackageBoth)
        out.insert(out.end(), second.begin(), second.end());
    PutLe32(out, 0);  // room for the checksum, which does not count itself
    uint32_t sum = PackageChecksum(out.data(), out.size(), type);
    for (int i = 0; i < 4; ++i)
        out[out.size() - 4 + i] = uint8_t(sum >> (8 * i));
    ScramblePackage(out.data(), out.size());
    return out;
}

} // namespace kelvo
