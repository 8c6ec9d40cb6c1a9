// Dozaz's update check over a scripted server: each recorded model's
// catalogue, the newer package in the current language, and silence when the
// server gives nothing usable. Nothing is written.
#include "app/core/platform.h"
#include "dozaz/core/UpdateCheck.h"
#include "native/support/temp_dir.h"
#include "update/core/Catalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

using namespace kelvo;

namespace {

struct Body : IHttpRequest {
    explicit Body(std::string b) : body(std::move(b)) {}
    bool QuerySize(uint32_t* size) override
    {
        *size = uint32_t(body.size());
        return true;
    }
    int Read(uint8_t* buffer, uint32_t capacity) override
    {
        const size_t n = std::min<size_t>(capacity, body.size() - pos);
        std::copy(body.begin() + long(pos), body.begin() + long(pos + n), buffer);
        pos += n;
        return int(n);
    }
    std::string body;
    size_t pos = 0;
};

struct Server : IHttpClient, IHttpSession {
    std::map<std::wstring, std::string> files;
    std::vector<std::wstring> opened;
    bool IsOffline() override { return false; }
    std::unique_ptr<IHttpSession> OpenSession() override { return std::make_unique<Ref>(*this); }
    std::unique_ptr<IHttpRequest> Open(const std::wstring& a) override
    {
        opened.push_back(a);
        auto it = files.find(a);
        return it == files.end() ? nullptr : std::make_unique<Body>(it->second);
    }
    struct Ref : IHttpSession {
        explicit Ref(Server& s) : s(s) {}
        std::unique_ptr<IHttpRequest> Open(const std::wstring& a) override { return s.Open(a); }
        Server& s;
    };
};

const std::wstring kBase = L"http://127.0.0.1/Update/";

std::string Catalogue(const std::string& model, const std::string& version, const std::string& sets)
{
    return "[Version]\r\nNum = 1\r\nVersion01 = Main\r\n[Main]\r\nNum = 1\r\nVehicleName01 = " + model +
           "\r\nVehicleVers01 = " + version + "\r\nReleaseTime01 = 2019/10/23\r\nLanguageBin = " + sets + "\r\n";
}

class DozazCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings = Utf8ToWide(dir.file("Kelvo.cfg"));
        test::WriteFileBytes(dir.file("Kelvo.cfg"),
                             "[Update]\r\nQB345= V1.04\r\nQB230 = V3.00\r\n\r\n[DTC]\r\nHistoryNum= 1\r\n");
    }
    test::TempDir dir;
    std::wstring settings;
    Server server;
};

} // namespace

TEST_F(DozazCheck, FindsTheNewerPackageOfEachRecordedModelInTheCurrentLanguage)
{
    server.files[kBase + L"QB345/Zendrix.bin"] = Catalogue("QB345", "2.34", "EN-FR-ES-DE-IT/EN-RU");
    server.files[kBase + L"QB230/Zendrix.bin"] = Catalogue("QB230", "3.10", "EN-RU");
    EXPECT_EQ(RecordedModels(settings), (std::vector<std::wstring>{L"QB345", L"QB230"}));

    std::vector<NewerPackage> found = FindNewerPackages(server, settings, kBase, L"EN");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].model, L"QB345");
    EXPECT_EQ(found[0].version, L"2.34");
    EXPECT_EQ(found[1].model, L"QB230");
    EXPECT_EQ(NotificationText(found), L"QB345 V2.34\nQB230 V3.10");

    found = FindNewerPackages(server, settings, kBase, L"DE");
    ASSERT_EQ(found.size(), 1u) << "QB230 has no German package";
    EXPECT_EQ(found[0].model, L"QB345");
    // The catalogues, and for a model with a newer package its signed list:
    // no package and no package size is asked for.
    EXPECT_EQ(server.opened.size(), 10u);
    for (const std::wstring& a : server.opened)
        EXPECT_TRUE(a.find(L"Zendrix.bin") != std::wstring::npos || a.find(L"SHA256SUMS") != std::wstring::npos)
            << std::string(a.begin(), a.end());
}

TEST_F(DozazCheck, NothingNewerAndAServerWithoutAnswersAreSilence)
{
    server.files[kBase + L"QB345/Zendrix.bin"] = Catalogue("QB345", "1.04", "EN-FR");
    server.files[kBase + L"QB230/Zendrix.bin"] = "not a catalogue";
    EXPECT_TRUE(FindNewerPackages(server, settings, kBase, L"EN").empty());
    Server none;
    EXPECT_TRUE(FindNewerPackages(none, settings, kBase, L"EN").empty());
}

TEST_F(DozazCheck, OnlyTheSizeLimitRefusesAPaddedCatalogueAndNothingIsWritten)
{
    // A relative catalogue file would land below the working directory: run
    // in the test folder, with an "update" folder a write could succeed in.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    struct Back {
        std::filesystem::path to;
        ~Back() { std::filesystem::current_path(to); }
    } back{before};
    std::filesystem::create_directory(dir.file("update"));
    const std::string settingsBefore = test::ReadFileBytes(dir.file("Kelvo.cfg"));

    // A newer QB345 the check finds, padded with a blank last line: at the
    // limit it is read, one byte past it only the limit can refuse it.
    const std::string valid = Catalogue("QB345", "2.34", "EN");
    ASSERT_LT(valid.size(), kCatalogueLimit);
    const std::string atLimit = valid + std::string(kCatalogueLimit - valid.size(), ' ');
    server.files[kBase + L"QB345/Zendrix.bin"] = atLimit;
    ASSERT_EQ(FindNewerPackages(server, settings, kBase, L"EN").size(), 1u) << "the padding keeps it a catalogue";
    server.files[kBase + L"QB345/Zendrix.bin"] = atLimit + " ";
    EXPECT_TRUE(FindNewerPackages(server, settings, kBase, L"EN").empty()) << "over the catalogue limit";

    EXPECT_TRUE(std::filesystem::is_empty(dir.file("update"))) << "no catalogue file in update\\";
    EXPECT_EQ(test::ReadFileBytes(dir.file("Kelvo.cfg")), settingsBefore);
}

TEST_F(DozazCheck, AModelNameUnfitForAnAddressIsNotAsked)
{
    test::WriteFileBytes(dir.file("Kelvo.cfg"), "[Update]\r\n../x = V1\r\nQB345= V1.04\r\n");
    server.files[kBase + L"QB345/Zendrix.bin"] = Catalogue("QB345", "2.34", "EN");
    EXPECT_EQ(FindNewerPackages(server, settings, kBase, L"EN").size(), 1u);
    EXPECT_EQ(server.opened, (std::vector<std::wstring>{kBase + L"QB345/Zendrix.bin", kBase + L"QB345/SHA256SUMS",
                                                        kBase + L"QB345/SHA256SUMS.sig"}));
}

TEST_F(DozazCheck, OnlyWhatTheSignedListNamesIsAnnounced)
{
    const std::string key = std::string(std::getenv("KELVO_SOURCE")) + "/tools/updserver/TEST-ONLY-signing-key.pem";
    auto sign = [&](const std::string& k, const std::string& list) {
        test::WriteFileBytes(dir.file("l"), list);
        EXPECT_EQ(std::system(("openssl dgst -sha256 -sign '" + k + "' -out '" + dir.file("l.sig") + "' '" +
                               dir.file("l") + "'")
                                  .c_str()),
                  0);
        return test::ReadFileBytes(dir.file("l.sig"));
    };
    test::WriteFileBytes(dir.file("Kelvo.cfg"), "[Update]\r\nQB345= V1.04\r\nSignedLists = QB345\r\n");
    EXPECT_EQ(RecordedModels(settings), std::vector<std::wstring>{L"QB345"}) << "the record is no model";
    server.files[kBase + L"QB345/Zendrix.bin"] = Catalogue("QB345", "2.34", "EN-RU");
    EXPECT_TRUE(FindNewerPackages(server, settings, kBase, L"EN").empty()) << "a signing server without its list";

    const std::string list = std::string(64, 'b') + "  QB345_V2.34_EN-RU.bin\n";
    server.files[kBase + L"QB345/SHA256SUMS"] = list;
    server.files[kBase + L"QB345/SHA256SUMS.sig"] = sign(key, list);
    EXPECT_EQ(FindNewerPackages(server, settings, kBase, L"EN").size(), 1u);

    const std::string other = dir.file("other.pem");
    ASSERT_EQ(std::system(("openssl ecparam -name prime256v1 -genkey -noout -out '" + other + "'").c_str()), 0);
    server.files[kBase + L"QB345/SHA256SUMS.sig"] = sign(other, list);
    EXPECT_TRUE(FindNewerPackages(server, settings, kBase, L"EN").empty()) << "signed by another key";

    const std::string elsewhere = std::string(64, 'b') + "  QB345_V2.34_EN-FR.bin\n";
    server.files[kBase + L"QB345/SHA256SUMS"] = elsewhere;
    server.files[kBase + L"QB345/SHA256SUMS.sig"] = sign(key, elsewhere);
    EXPECT_TRUE(FindNewerPackages(server, settings, kBase, L"EN").empty()) << "a list that does not name it";
}
