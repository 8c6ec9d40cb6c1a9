// Firmware from the update server reaches the tool only when the maker's
// signed list vouches for it: a signed package writes exactly its image, each
// kind of tampering is refused before any frame of the write, a server that
// signed once cannot be stripped of its list, and a server that never signed
// still works with its rows marked "unsigned".
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kelvo::e2e;
using kelvo::plug::CSimulatedTool;

namespace {

const wchar_t kLocalName[] = L"update\\QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin";
const char kServed[] = "QB345/QB345_V2.34_EN-FR-ES-DE-IT.bin";
const wchar_t kNotSigned[] = L"This firmware package is not signed by the maker. Nothing was written to the tool.";

// A status text without the spaces that put it beside the row's bar.
std::wstring Trimmed(const std::wstring& s)
{
    const size_t first = s.find_first_not_of(L' ');
    return first == std::wstring::npos ? std::wstring() : s.substr(first);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteWhole(const std::wstring& path, const std::string& bytes)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

void TickAndConfirm(KelvoWithTool& kelvo)
{
    kelvo.ClickFirstCheckBox();
    HWND confirm = kelvo.WaitMessage(10000);
    ASSERT_NE(confirm, nullptr) << "the confirmation";
    PressButton(confirm, IDYES);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(confirm); }, 5000));
}

// Ticks row 0, confirms, and expects the refusal; nothing reached the tool's
// write and the download is gone.
void ExpectRefused(KelvoWithTool& kelvo, Installation& inst, CSimulatedTool& tool, const char* why,
                   const wchar_t* shot = nullptr)
{
    const size_t logBefore = tool.ReadLog().size();
    TickAndConfirm(kelvo);
    HWND box = kelvo.WaitMessage(30000);
    ASSERT_NE(box, nullptr) << why << ": no refusal";
    EXPECT_NE(ChildTexts(box).find(kNotSigned), std::wstring::npos) << why << ": " << Narrow(ChildTexts(box));
    if (shot)
        Screenshot(box, shot);
    PressButton(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 5000));
    const std::string since = tool.ReadLog().substr(logBefore);
    EXPECT_EQ(since.find("46 58 C0"), std::string::npos) << why << ": a Start frame reached the tool: " << since;
    EXPECT_FALSE(Exists(inst.Path(kLocalName))) << why << ": the download is deleted";
    EXPECT_TRUE(WaitFor([&] { return !kelvo.Checked(0); }, 5000)) << why << ": the row is unticked";
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg").find("V2.34"), std::string::npos) << why;
}

} // namespace

TEST(SignedUpdates, OnlyWhatTheSignedListVouchesForIsWrittenAndTheListCannotBeStripped)
{
    Installation inst;
    UpdateServer server;
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 27));
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdOnline, 3)) << "rows: " << kelvo.Rows();
    EXPECT_EQ(kelvo.ItemText(0, 6), L"") << "a signing server's rows carry no mark";

    const std::wstring package = server.File(kServed), list = server.File("QB345/SHA256SUMS"),
                       sig = server.File("QB345/SHA256SUMS.sig");
    const std::string good = ReadWholeFile(package), goodList = ReadWholeFile(list), goodSig = ReadWholeFile(sig);
    ASSERT_FALSE(good.empty());
    ASSERT_FALSE(goodList.empty());
    ASSERT_FALSE(goodSig.empty());
    // A signature made by another key, and a signed list that names another
    // hash for the package, made on the Unix side with openssl.
    const std::string unixRoot = UnixPathOf(server.File("QB345"));
    const std::string src = Narrow(Env(L"KELVO_SOURCE"));
    ASSERT_TRUE(RunUnixAndWait("cd '" + unixRoot + "' && openssl ecparam -name prime256v1 -genkey -noout -out ../other.pem && " +
                               "openssl dgst -sha256 -sign ../other.pem -out ../other.sig SHA256SUMS && " +
                               "sed 's/^[0-9a-f]*  QB345_V2.34_EN-FR-ES-DE-IT.bin$/" + std::string(64, 'a') +
                               "  QB345_V2.34_EN-FR-ES-DE-IT.bin/' SHA256SUMS > ../lying && " +
                               "openssl dgst -sha256 -sign '" + src +
                               "/tools/updserver/TEST-ONLY-signing-key.pem' -out ../lying.sig ../lying"));
    const std::string otherSig = ReadWholeFile(server.File("other.sig"));
    const std::string lying = ReadWholeFile(server.File("lying")), lyingSig = ReadWholeFile(server.File("lying.sig"));
    ASSERT_FALSE(otherSig.empty());
    ASSERT_NE(lying, goodList);

    auto restore = [&] {
        WriteWhole(package, good);
        WriteWhole(list, goodList);
        WriteWhole(sig, goodSig);
    };
    std::string changed = good;
    changed[changed.size() / 2] ^= 1;
    std::string changedList = goodList;
    changedList[5] = changedList[5] == '0' ? '1' : '0';
    const struct {
        std::function<void()> tamper;
        const char* why;
        const wchar_t* shot;
    } cases[] = {
        {[&] { WriteWhole(package, changed); }, "a package changed by one byte", L"signed-refused-package"},
        {[&] { WriteWhole(list, changedList); }, "a list changed by one byte", nullptr},
        {[&] { WriteWhole(sig, otherSig); }, "a signature by another key", nullptr},
        {[&] {
             WriteWhole(list, lying);
             WriteWhole(sig, lyingSig);
         },
         "a signed list whose line names another hash", nullptr},
    };
    for (const auto& c : cases) {
        restore();
        c.tamper();
        ExpectRefused(kelvo, inst, tool, c.why, c.shot);
    }
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg").find("SignedLists"), std::string::npos) << "nothing verified yet";

    // The signed package: written, exactly its image.
    restore();
    TickAndConfirm(kelvo);
    const std::string image = ReadWholeFile(server.File("main.img"));
    ASSERT_FALSE(image.empty());
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(tool.ImagePath(0)) == image; }, 40000));
    EXPECT_TRUE(WaitFor([&] { return inst.ReadFile(L"Kelvo.cfg").find("V2.34") != std::string::npos; }, 10000));
    EXPECT_NE(inst.ReadFile(L"Kelvo.cfg").find("SignedLists = QB345"), std::string::npos) << inst.ReadFile(L"Kelvo.cfg");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 10000));

    // Stripped of its list and signature, the same server is refused.
    std::string cfg = inst.ReadFile(L"Kelvo.cfg");
    const size_t at = cfg.find("V2.34");
    cfg.replace(at, 5, "V1.04");  // so that 2.34 is offered again
    WriteWhole(inst.Path(L"Kelvo.cfg"), cfg);
    ::DeleteFileW(inst.Path(kLocalName).c_str());
    ::DeleteFileW(list.c_str());
    ::DeleteFileW(sig.c_str());
    ASSERT_TRUE(kelvo.ListShows(kIdOnline, 3)) << "rows: " << kelvo.Rows();
    // The new listing replaces the rows of the write.
    EXPECT_TRUE(WaitFor([&] { return Trimmed(kelvo.ItemText(0, 6)) == L"unsigned"; }, 20000))
        << Narrow(kelvo.ItemText(0, 6));
    Screenshot(kelvo.Main(), L"signed-stripped-rows");
    ExpectRefused(kelvo, inst, tool, "a server that signed once and now serves no list", L"signed-refused-stripped");
    EXPECT_EQ(kelvo.Close(), 1u);
}

TEST(SignedUpdates, AServerThatNeverSignedStillWorksAndItsRowsSaySo)
{
    Installation inst;
    UpdateServer server;
    ::DeleteFileW(server.File("QB345/SHA256SUMS").c_str());
    ::DeleteFileW(server.File("QB345/SHA256SUMS.sig").c_str());
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 28));
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdOnline, 3)) << "rows: " << kelvo.Rows();
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(Trimmed(kelvo.ItemText(r, 6)), L"unsigned") << r;
    Screenshot(kelvo.Main(), L"signed-never-signed-rows");
    TickAndConfirm(kelvo);
    const std::string image = ReadWholeFile(server.File("main.img"));
    EXPECT_TRUE(WaitFor([&] { return !image.empty() && ReadWholeFile(tool.ImagePath(0)) == image; }, 40000));
    EXPECT_TRUE(WaitFor([&] { return inst.ReadFile(L"Kelvo.cfg").find("V2.34") != std::string::npos; }, 10000));
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg").find("SignedLists"), std::string::npos);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 10000));
    EXPECT_EQ(kelvo.Close(), 1u);
}
