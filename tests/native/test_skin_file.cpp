// The skin file: the shipped sources compile, a file opens only with its
// password, and any damage is a clear error, never a partial skin.
#include "native/support/temp_dir.h"
#include "skinhu/core/SkinFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace skinhu;

namespace {

// The password the build seals the installed skins with.
const char kPassword[] = KELVO_SKIN_PASSWORD;

std::string Source(const std::string& name)
{
    const char* root = std::getenv("KELVO_SOURCE");
    std::ifstream in(std::string(root ? root : ".") + "/skinhu/skins/" + name + ".txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Skin Parsed(const std::string& text)
{
    Skin skin;
    std::string error;
    EXPECT_TRUE(ParseSkinSource(text, &skin, &error)) << error;
    return skin;
}

} // namespace

TEST(SkinFile, EveryShippedSkinRoundTripsWithItsPassword)
{
    for (const char* name : {"Black", "Blue", "iTune", "Msn", "Pink", "Silver"}) {
        const Skin skin = Parsed(Source(name));
        EXPECT_EQ(skin.name, name);
        const std::vector<uint8_t> bytes = EncodeSkin(skin, kPassword);
        Skin back;
        ASSERT_EQ(DecodeSkin(bytes.data(), bytes.size(), kPassword, &back), SkinError::kNone) << name;
        EXPECT_EQ(back.name, skin.name);
        for (int i = 0; i < kRoleCount; ++i)
            EXPECT_EQ(back.colours[i], skin.colours[i]) << name << " role " << i + 1;
    }
}

TEST(SkinFile, AWrongPasswordOpensNothingAndTheColoursAreNotInTheClear)
{
    const Skin skin = Parsed(Source("Pink"));
    const std::vector<uint8_t> bytes = EncodeSkin(skin, kPassword);
    Skin out;
    out.name = "untouched";
    std::string otherCase = kPassword;
    otherCase[0] = static_cast<char>(otherCase[0] ^ 0x20);  // a letter in the other case
    EXPECT_EQ(DecodeSkin(bytes.data(), bytes.size(), otherCase, &out), SkinError::kWrongPassword);
    EXPECT_EQ(DecodeSkin(bytes.data(), bytes.size(), "", &out), SkinError::kWrongPassword);
    EXPECT_EQ(out.name, "untouched");
    const uint8_t dialog[3] = {0xF8, 0xDC, 0xE8};  // Pink's dialog colour
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), dialog, dialog + 3), bytes.end());
}

TEST(SkinFile, EveryTruncationAndEveryFlippedBitIsDamage)
{
    const std::vector<uint8_t> good = EncodeSkin(Parsed(Source("Blue")), kPassword);
    Skin out;
    out.name = "untouched";
    for (size_t n = 0; n < good.size(); ++n) {
        // A copy of exactly n bytes: any read past it would be caught by the sanitizers.
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_EQ(DecodeSkin(cut.data(), cut.size(), kPassword, &out), SkinError::kDamaged) << n << " bytes";
    }
    for (size_t i = 0; i < good.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> bad = good;
            bad[i] ^= static_cast<uint8_t>(1u << bit);
            const SkinError e = DecodeSkin(bad.data(), bad.size(), kPassword, &out);
            // The tag's own bytes only ever read as another password.
            if (i >= 8 && i < 12 && e == SkinError::kWrongPassword)
                continue;
            EXPECT_EQ(e, SkinError::kDamaged) << "byte " << i << " bit " << bit;
        }
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_EQ(DecodeSkin(longer.data(), longer.size(), kPassword, &out), SkinError::kDamaged);
    EXPECT_EQ(DecodeSkin(nullptr, 0, kPassword, &out), SkinError::kDamaged);
    EXPECT_EQ(out.name, "untouched");
}

TEST(SkinFile, ASealedFileWithABadColourListIsDamage)
{
    // Built by hand with a valid CRC and tag: a role twice, a role unknown, a role missing.
    const std::vector<uint8_t> good = EncodeSkin(Parsed(Source("Msn")), kPassword);
    auto reseal = [](std::vector<uint8_t> b) {
        const uint32_t crc = Crc32(b.data(), b.size() - 4);
        for (int i = 0; i < 4; ++i)
            b[b.size() - 4 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
        return b;
    };
    Skin out;
    EXPECT_EQ(DecodeSkin(reseal(good).data(), good.size(), kPassword, &out), SkinError::kNone)
        << "resealing alone damages nothing";
    // The role byte of entry 1 XOR its original role gives the key byte; set it to role 1 (a duplicate).
    std::vector<uint8_t> twice = good;
    twice[12 + 4] = static_cast<uint8_t>(good[12 + 4] ^ 2 ^ 1);
    EXPECT_EQ(DecodeSkin(reseal(twice).data(), twice.size(), kPassword, &out), SkinError::kDamaged);
    std::vector<uint8_t> unknown = good;
    unknown[12] = static_cast<uint8_t>(good[12] ^ 1 ^ 0x7F);
    EXPECT_EQ(DecodeSkin(reseal(unknown).data(), unknown.size(), kPassword, &out), SkinError::kDamaged);
    std::vector<uint8_t> fewer = good;
    fewer[5] = static_cast<uint8_t>(kRoleCount - 1);
    fewer.erase(fewer.begin() + 12 + 4 * (kRoleCount - 1), fewer.begin() + 12 + 4 * kRoleCount);
    EXPECT_EQ(DecodeSkin(reseal(fewer).data(), fewer.size(), kPassword, &out), SkinError::kDamaged);
}

TEST(SkinSource, ErrorsNameTheirLine)
{
    Skin skin;
    std::string error;
    EXPECT_FALSE(ParseSkinSource("name = X\ndialog = #12345\n", &skin, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(ParseSkinSource("name = X\nbackground = #123456\n", &skin, &error));
    EXPECT_NE(error.find("unknown key"), std::string::npos) << error;
    std::string missing = Source("Black");
    missing.erase(missing.find("button.border"));
    EXPECT_FALSE(ParseSkinSource(missing, &skin, &error));
    EXPECT_NE(error.find("button.border"), std::string::npos) << error;
}
