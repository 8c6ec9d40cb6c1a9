#pragma once
// Firmware package files: layout, check and building.
//
// On disk every byte is XORed with kPackageKey. Unscrambled, a package is
// "Zendrix", a 32-bit type, one or two 32-bit image lengths, the image data
// and a 32-bit checksum at the very end (all integers little-endian).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvo {

constexpr uint8_t kPackageKey = 0x5A;

enum : uint32_t {
    kPackageMain = 1,    // the main image
    kPackageSecond = 2,  // the second image only
    kPackageBoth = 3,    // main image, then the second image
};

constexpr uint32_t kMainImageAddress = 0x08004000u;
constexpr uint32_t kSecondImageAddress = 0u;

// Where the images of a checked package lie in its (unscrambled) bytes.
struct PackageLayout {
    uint32_t type = 0;
    size_t headerSize = 0;
    // First image written: the main image for types 1 and 3, the second image
    // for type 2. Length 0 is a valid (empty) image.
    size_t firstOffset = 0;
    uint32_t firstLength = 0;
    // Type 3 only: the second image, right after the main one.
    size_t secondOffset = 0;
    uint32_t secondLength = 0;
};

// XOR with the package key; the same call scrambles and unscrambles.
void ScramblePackage(uint8_t* data, size_t size);

// Header size of a package type, 0 for an unknown type.
size_t PackageHeaderSize(uint32_t type);

// The checksum of an unscrambled package whose header is in place: the sum of
// every byte before the last four, where each non-zero image length field
// counts with its numeric value instead of its four bytes. `size` includes the
// four checksum bytes.
uint32_t PackageChecksum(const uint8_t* data, size_t size, uint32_t type);

// Checks an unscrambled package: long enough for its header and checksum,
// magic, type, image lengths inside the file and none of them 0, checksum. Fills *layout when
// valid.
bool CheckPackage(const uint8_t* data, size_t size, PackageLayout* layout);

// A complete package file (scrambled, ready to write): type 1 holds `first`
// as the main image, type 2 `first` as the second image, type 3 `first` as
// the main and `second` as the second image.
std::vector<uint8_t> BuildPackage(uint32_t type, const std::vector<uint8_t>& first,
                                  const std::vector<uint8_t>& second = {});

} // namespace kelvo
