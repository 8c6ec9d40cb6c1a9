// The signed package list: SHA-256, the list's lines, the signature's DER,
// and the verdict on a package, with lists signed by the test key and by
// another key (openssl, as the maker's script signs).
#include "native/support/temp_dir.h"
#include "update/core/SignedList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kelvo;

namespace {

std::string Hex(const std::string& s) { return HexOf(Sha256(reinterpret_cast<const uint8_t*>(s.data()), s.size())); }

std::vector<uint8_t> Bytes(std::initializer_list<int> b)
{
    std::vector<uint8_t> v;
    for (int x : b)
        v.push_back(uint8_t(x));
    return v;
}

std::string ReadAll(const std::string& path)
{
    std::string s;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

void WriteAll(const std::string& path, const std::string& s)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(s.data(), 1, s.size(), f);
    std::fclose(f);
}

// The list signed with a PEM key by openssl, as scripts/sign-updates does.
std::vector<uint8_t> SignWith(test::TempDir& dir, const std::string& key, const std::string& list)
{
    WriteAll(dir.file("list"), list);
    const std::string cmd = "openssl dgst -sha256 -sign '" + key + "' -out '" + dir.file("list.sig") + "' '" +
                            dir.file("list") + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::string sig = ReadAll(dir.file("list.sig"));
    return std::vector<uint8_t>(sig.begin(), sig.end());
}

std::string TestKey() { return std::string(std::getenv("KELVO_SOURCE")) + "/tools/updserver/TEST-ONLY-signing-key.pem"; }

} // namespace

TEST(SignedList, Sha256TestVectors)
{
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // 55, 56 and 64 bytes: the padding's edges.
    EXPECT_EQ(Hex(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(Hex(std::string(56, 'a')), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(Hex(std::string(64, 'a')), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
    // A million 'a' in uneven pieces.
    CSha256 h;
    const std::string piece(997, 'a');
    size_t left = 1000000;
    while (left > 0) {
        const size_t n = left < piece.size() ? left : piece.size();
        h.Update(reinterpret_cast<const uint8_t*>(piece.data()), n);
        left -= n;
    }
    EXPECT_EQ(HexOf(h.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(SignedList, ListLinesAreReadStrictly)
{
    const std::string a = Hex("a"), b = Hex("b");
    std::vector<SumsLine> lines;
    ASSERT_TRUE(ParseSums(a + "  QB345_V2.34_EN-RU.bin\n" + b + " *QB345_V2.34_EN.bin\r\n", &lines));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, "QB345_V2.34_EN-RU.bin");
    EXPECT_EQ(HexOf(lines[1].hash), b);
    EXPECT_EQ(FindSum(lines, "QB345_V2.34_EN.bin"), &lines[1]);
    EXPECT_EQ(FindSum(lines, "qb345_v2.34_en.bin"), nullptr) << "names as the server spells them";
    std::string upper = a;
    for (char& c : upper)
        c = char(std::toupper(c));
    EXPECT_TRUE(ParseSums(upper + "  X.bin", &lines)) << "upper-case hex, no final line end";

    const struct {
        std::string text;
        const char* why;
    } bad[] = {
        {"", "empty"},
        {"\n", "an empty line"},
        {a + "  X.bin\n\n", "an empty line after the last"},
        {a.substr(1) + "  X.bin\n", "a short hash"},
        {a + "0  X.bin\n", "a long hash"},
        {"g" + a.substr(1) + "  X.bin\n", "not hex"},
        {a + " X.bin\n", "one space"},
        {a + "\tX.bin\n", "a tab"},
        {a + "  \n", "no name"},
        {a + "  dir/X.bin\n", "a folder"},
        {a + "  ..\\X.bin\n", "a Windows folder"},
        {a + "  ..\n", "the parent"},
        {a + "  X\x01.bin\n", "a control character"},
        {a + "  X.bin\n" + b + "  X.bin\n", "a name twice"},
        {a + "  X.bin\n" + std::string(kMaxSumsBytes, 'x'), "too big"},
    };
    for (const auto& c : bad) {
        lines.assign(1, SumsLine{});
        EXPECT_FALSE(ParseSums(c.text, &lines)) << c.why;
        EXPECT_TRUE(lines.empty()) << c.why;
    }
    std::string many;
    for (size_t i = 0; i <= kMaxSumsLines; ++i)
        many += a + "  F" + std::to_string(i) + "\n";
    EXPECT_FALSE(ParseSums(many, &lines)) << "too many lines";
}

TEST(SignedList, SignatureDerIsReadStrictly)
{
    std::array<uint8_t, 64> raw{};
    // r = 1, s = 0x80 (needs its leading zero).
    auto good = Bytes({0x30, 0x07, 0x02, 0x01, 0x01, 0x02, 0x02, 0x00, 0x80});
    ASSERT_TRUE(EcdsaDerToRaw(good.data(), good.size(), &raw));
    EXPECT_EQ(raw[31], 1);
    EXPECT_EQ(raw[63], 0x80);
    EXPECT_EQ(raw[62], 0);
    // 32-byte values, one with a leading zero: 72 bytes in all.
    std::vector<uint8_t> full = {0x30, 0x45, 0x02, 0x21, 0x00};
    for (int i = 0; i < 32; ++i)
        full.push_back(uint8_t(0x80 + i));
    full.push_back(0x02);
    full.push_back(0x20);
    for (int i = 0; i < 32; ++i)
        full.push_back(uint8_t(0x10 + i));
    ASSERT_TRUE(EcdsaDerToRaw(full.data(), full.size(), &raw));
    EXPECT_EQ(raw[0], 0x80);
    EXPECT_EQ(raw[32], 0x10);
    EXPECT_EQ(raw[63], 0x10 + 31);

    const struct {
        std::vector<uint8_t> der;
        const char* why;
    } bad[] = {
        {{}, "empty"},
        {Bytes({0x30}), "no length"},
        {Bytes({0x31, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}), "not a sequence"},
        {Bytes({0x30, 0x07, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}), "the sequence runs past the end"},
        {Bytes({0x30, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01, 0x00}), "bytes after the sequence"},
        {Bytes({0x30, 0x80, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01, 0x00, 0x00}), "an indefinite length"},
        {Bytes({0x30, 0x81, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}), "a long form for a short length"},
        {Bytes({0x30, 0x84, 0x00, 0x00, 0x00, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}), "a four-byte length"},
        {Bytes({0x30, 0x03, 0x02, 0x01, 0x01}), "one integer"},
        {Bytes({0x30, 0x09, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01}), "three integers"},
        {Bytes({0x30, 0x06, 0x02, 0x01, 0x01, 0x04, 0x01, 0x01}), "an octet string"},
        {Bytes({0x30, 0x06, 0x02, 0x05, 0x01, 0x02, 0x01, 0x01}), "an integer that runs past the sequence"},
        {Bytes({0x30, 0x05, 0x02, 0x00, 0x02, 0x01, 0x01}), "an empty integer"},
        {Bytes({0x30, 0x06, 0x02, 0x01, 0x81, 0x02, 0x01, 0x01}), "a negative integer"},
        {Bytes({0x30, 0x07, 0x02, 0x02, 0x00, 0x01, 0x02, 0x01, 0x01}), "a needless leading zero"},
        {Bytes({0x30, 0x06, 0x02, 0x01, 0x00, 0x02, 0x01, 0x01}), "r of zero"},
    };
    for (const auto& c : bad) {
        raw.fill(0xEE);
        EXPECT_FALSE(EcdsaDerToRaw(c.der.data(), c.der.size(), &raw)) << c.why;
        EXPECT_EQ(raw[0], 0xEE) << c.why << ": nothing written";
    }
    // 33 bytes of value: beyond P-256.
    std::vector<uint8_t> wide = {0x30, 0x26, 0x02, 0x21};
    for (int i = 0; i < 33; ++i)
        wide.push_back(0x11);
    wide.insert(wide.end(), {0x02, 0x01, 0x01});
    EXPECT_FALSE(EcdsaDerToRaw(wide.data(), wide.size(), &raw));
    // Every cut of a good signature is refused, and none reads past its end.
    for (size_t n = 0; n < full.size(); ++n) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + long(n));
        EXPECT_FALSE(EcdsaDerToRaw(cut.data(), cut.size(), &raw)) << n;
    }
}

TEST(SignedList, VerdictOnAPackage)
{
    test::TempDir dir;
    const std::string image = "firmware image bytes";
    const Sha256Digest hash = Sha256(reinterpret_cast<const uint8_t*>(image.data()), image.size());
    const std::string name = "QB345_V2.34_EN-RU.bin";
    const std::string list = Hex("other") + "  QB345_V2.34_EN.bin\n" + HexOf(hash) + "  " + name + "\n";
    const std::vector<uint8_t> sig = SignWith(dir, TestKey(), list);
    ASSERT_FALSE(sig.empty());

    EXPECT_EQ(CheckPackageAgainstList(true, list, true, sig, name, hash), ListVerdict::kVerified);
    EXPECT_EQ(CheckPackageAgainstList(false, "", false, {}, name, hash), ListVerdict::kUnsigned);

    std::string changedList = list;
    changedList[3] = changedList[3] == '0' ? '1' : '0';
    EXPECT_EQ(CheckPackageAgainstList(true, changedList, true, sig, name, hash), ListVerdict::kRefused)
        << "a list changed by one byte";
    Sha256Digest otherHash = hash;
    otherHash[0] ^= 1;
    EXPECT_EQ(CheckPackageAgainstList(true, list, true, sig, name, otherHash), ListVerdict::kRefused)
        << "a package changed";
    EXPECT_EQ(CheckPackageAgainstList(true, list, true, sig, "QB345_V9.99_EN-RU.bin", hash), ListVerdict::kRefused)
        << "a file the list does not name";
    EXPECT_EQ(CheckPackageAgainstList(true, list, false, {}, name, hash), ListVerdict::kRefused) << "no signature";
    EXPECT_EQ(CheckPackageAgainstList(false, "", true, sig, name, hash), ListVerdict::kRefused) << "no list";

    // Signed by another key.
    const std::string otherKey = dir.file("other.pem");
    ASSERT_EQ(std::system(("openssl ecparam -name prime256v1 -genkey -noout -out '" + otherKey + "'").c_str()), 0);
    EXPECT_EQ(CheckPackageAgainstList(true, list, true, SignWith(dir, otherKey, list), name, hash),
              ListVerdict::kRefused);
    // A list whose line names another hash for the file, properly signed.
    const std::string lying = Hex("evil") + "  " + name + "\n";
    EXPECT_EQ(CheckPackageAgainstList(true, lying, true, SignWith(dir, TestKey(), lying), name, hash),
              ListVerdict::kRefused);
    // A signature with a byte changed, and one with a byte after its DER.
    std::vector<uint8_t> flipped = sig;
    flipped[flipped.size() - 1] ^= 1;
    EXPECT_EQ(CheckPackageAgainstList(true, list, true, flipped, name, hash), ListVerdict::kRefused);
    std::vector<uint8_t> longer = sig;
    longer.push_back(0);
    EXPECT_EQ(CheckPackageAgainstList(true, list, true, longer, name, hash), ListVerdict::kRefused);
}
