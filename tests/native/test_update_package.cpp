// Package layout and check: what the transfer accepts before it touches the tool.
#include "update/core/Package.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kelvo;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 7 + (i >> 8));
    return v;
}

std::vector<uint8_t> Plain(uint32_t type, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b = {})
{
    std::vector<uint8_t> p = BuildPackage(type, a, b);
    ScramblePackage(p.data(), p.size());
    return p;
}

void PutLe32(std::vector<uint8_t>& p, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[at + i] = uint8_t(v >> (8 * i));
}

void Reseal(std::vector<uint8_t>& p, uint32_t type)
{
    PutLe32(p, p.size() - 4, PackageChecksum(p.data(), p.size(), type));
}

} // namespace

TEST(UpdatePackage, BuiltPackagesOfEachTypeCheckAndLocateTheirImages)
{
    auto main = Pattern(5000, 1), second = Pattern(300, 9);

    auto p1 = Plain(kPackageMain, main);
    PackageLayout l;
    ASSERT_TRUE(CheckPackage(p1.data(), p1.size(), &l));
    EXPECT_EQ(l.type, 1u);
    EXPECT_EQ(l.firstOffset, 15u);
    EXPECT_EQ(l.firstLength, 5000u);
    EXPECT_EQ(0, std::memcmp(p1.data() + 15, main.data(), main.size()));
    EXPECT_EQ(p1.size(), 15u + 5000 + 4);

    auto p2 = Plain(kPackageSecond, second);
    ASSERT_TRUE(CheckPackage(p2.data(), p2.size(), &l));
    EXPECT_EQ(l.type, 2u);
    EXPECT_EQ(l.firstLength, 300u);

    auto p3 = Plain(kPackageBoth, main, second);
    ASSERT_TRUE(CheckPackage(p3.data(), p3.size(), &l));
    EXPECT_EQ(l.headerSize, 19u);
    EXPECT_EQ(l.firstLength, 5000u);
    EXPECT_EQ(l.secondOffset, 19u + 5000);
    EXPECT_EQ(l.secondLength, 300u);
    EXPECT_EQ(0, std::memcmp(p3.data() + l.secondOffset, second.data(), second.size()));
}

TEST(UpdatePackage, FileOnDiskIsScrambledWithTheKey)
{
    auto file = BuildPackage(kPackageMain, {0x00, 0x5A});
    EXPECT_EQ(file[0], uint8_t('Z' ^ 0x5A));
    EXPECT_EQ(file[15], 0x5A);
    EXPECT_EQ(file[16], 0x00);
    ScramblePackage(file.data(), file.size());
    EXPECT_EQ(0, std::memcmp(file.data(), "Zendrix", 7));
}

TEST(UpdatePackage, ChecksumCountsLengthFieldsByValue)
{
    // Image 01 02 03: bytes "Zendrix" + type 1 + length 3 + data. The length
    // field counts as 3, not as the sum of its bytes.
    auto p = Plain(kPackageMain, {1, 2, 3});
    uint32_t expected = 0;
    for (char c : std::string("Zendrix"))
        expected += uint8_t(c);
    expected += 1 /* type byte */ + 3 /* length by value */ + 1 + 2 + 3;
    EXPECT_EQ(PackageChecksum(p.data(), p.size(), 1), expected);

    // A length of 0x01010101 counts as that value, minus its bytes.
    std::vector<uint8_t> q(19 + 4, 0);
    std::memcpy(q.data(), "Zendrix", 7);
    PutLe32(q, 7, 3);
    PutLe32(q, 11, 0);
    PutLe32(q, 15, 0x01010101u);
    uint32_t base = 0;
    for (int i = 0; i < 7; ++i)
        base += q[i];
    EXPECT_EQ(PackageChecksum(q.data(), q.size(), 3), base + 3 + 0x01010101u);
}

TEST(UpdatePackage, DamagedPackagesAreRefused)
{
    auto good = Plain(kPackageBoth, Pattern(4096, 3), Pattern(100, 4));
    ASSERT_TRUE(CheckPackage(good.data(), good.size(), nullptr));

    auto flipped = good;
    flipped[19 + 1000] ^= 0x10;  // one bit in the main image
    EXPECT_FALSE(CheckPackage(flipped.data(), flipped.size(), nullptr));

    auto badMagic = good;
    badMagic[0] = 'z';
    Reseal(badMagic, 3);
    EXPECT_FALSE(CheckPackage(badMagic.data(), badMagic.size(), nullptr));

    for (uint32_t type : {0u, 4u, 0xFFFFFFFFu}) {
        auto badType = good;
        PutLe32(badType, 7, type);
        Reseal(badType, 3);
        EXPECT_FALSE(CheckPackage(badType.data(), badType.size(), nullptr)) << type;
    }

    auto badSum = good;
    badSum.back() ^= 1;
    EXPECT_FALSE(CheckPackage(badSum.data(), badSum.size(), nullptr));
}

TEST(UpdatePackage, ShortFilesAreRefusedWithoutReadingPastThem)
{
    auto good = Plain(kPackageBoth, Pattern(10, 3), Pattern(10, 4));
    // Every prefix, down to nothing, each in its own exactly sized buffer so
    // that the address sanitizer sees any read beyond it.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        EXPECT_FALSE(CheckPackage(cut.data(), cut.size(), nullptr)) << n;
    }
    // Header of type 3 with checksum but no room for the second length.
    std::vector<uint8_t> tiny = {'Z', 'e', 'n', 'd', 'r', 'i', 'x', 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(CheckPackage(tiny.data(), tiny.size(), nullptr));
}

TEST(UpdatePackage, LengthsReachingPastTheEndAreRefused)
{
    auto p1 = Plain(kPackageMain, Pattern(100, 1));
    PutLe32(p1, 11, 101);  // one byte more than the file holds
    Reseal(p1, 1);
    EXPECT_FALSE(CheckPackage(p1.data(), p1.size(), nullptr));

    // Lengths whose sum wraps round 32 bits to something small.
    auto p3 = Plain(kPackageBoth, Pattern(16, 1), Pattern(16, 2));
    PutLe32(p3, 11, 0xFFFFFFF0u);
    PutLe32(p3, 15, 0x20u);
    Reseal(p3, 3);
    EXPECT_FALSE(CheckPackage(p3.data(), p3.size(), nullptr));
    PutLe32(p3, 11, 0xFFFFFFFFu);
    PutLe32(p3, 15, 0xFFFFFFFFu);
    Reseal(p3, 3);
    EXPECT_FALSE(CheckPackage(p3.data(), p3.size(), nullptr));

    // Exactly fitting lengths stay valid, shorter ones leave bytes that still
    // count in the checksum.
    auto fit = Plain(kPackageMain, Pattern(100, 1));
    PutLe32(fit, 11, 90);
    Reseal(fit, 1);
    PackageLayout l;
    ASSERT_TRUE(CheckPackage(fit.data(), fit.size(), &l));
    EXPECT_EQ(l.firstLength, 90u);
}

TEST(UpdatePackage, AnEmptyImageIsNotAPackage)
{
    // Sealed with a right checksum: only the empty image is wrong with them.
    for (uint32_t type : {kPackageMain, kPackageSecond}) {
        auto p = Plain(type, {});
        EXPECT_FALSE(CheckPackage(p.data(), p.size(), nullptr)) << type;
    }
    auto emptyMain = Plain(kPackageBoth, {}, Pattern(10, 1));
    EXPECT_FALSE(CheckPackage(emptyMain.data(), emptyMain.size(), nullptr));
    auto emptySecond = Plain(kPackageBoth, Pattern(10, 1), {});
    EXPECT_FALSE(CheckPackage(emptySecond.data(), emptySecond.size(), nullptr));
    // One byte is enough.
    auto one = Plain(kPackageMain, {0x42});
    PackageLayout l;
    ASSERT_TRUE(CheckPackage(one.data(), one.size(), &l));
    EXPECT_EQ(l.firstLength, 1u);
}
