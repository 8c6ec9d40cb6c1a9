// Downloads and the catalogue check over a scripted server: what lands on
// disk, what the row shows, and which catalogues are refused.
#include "app/core/platform.h"
#include "native/support/temp_dir.h"
#include "update/core/Catalogue.h"
#include "update/core/Download.h"
#include "update/core/Package.h"
#include "update/core/SignedList.h"
#include "update/core/Workers.h"

#include "support/fake_catalogue_page.h"
#include "support/fake_worker_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include <unistd.h>

using namespace kelvo;

namespace {

struct Resource {
    std::string body;
    bool announce = true;
    long announced = -1;  // -1: the body's size
    size_t cutAfter = std::string::npos;
    bool failRead = false;
};

class ScriptedRequest : public IHttpRequest {
public:
    explicit ScriptedRequest(const Resource& r) : m_r(r) {}
    bool QuerySize(uint32_t* size) override
    {
        if (!m_r.announce)
            return false;
        *size = uint32_t(m_r.announced >= 0 ? size_t(m_r.announced) : m_r.body.size());
        return true;
    }
    int Read(uint8_t* buffer, uint32_t capacity) override
    {
        if (m_r.failRead && m_pos > 0)
            return -1;
        size_t end = std::min(m_r.body.size(), m_r.cutAfter);
        size_t n = std::min<size_t>({capacity, end - m_pos, 5000});
        std::copy(m_r.body.begin() + long(m_pos), m_r.body.begin() + long(m_pos + n), buffer);
        m_pos += n;
        served += n;
        maxAsked = std::max(maxAsked, capacity);
        return int(n);
    }
    static inline uint32_t maxAsked = 0;
    static inline size_t served = 0;  // bytes handed out by every request

private:
    Resource m_r;
    size_t m_pos = 0;
};

struct Server : IHttpClient, IHttpSession {
    std::map<std::wstring, Resource> files;
    std::map<std::wstring, int> errors;  // addresses answered with an HTTP error status
    int lastStatus = 0;
    bool offline = false;
    std::vector<std::wstring> opened;
    bool IsOffline() override { return offline; }
    std::unique_ptr<IHttpSession> OpenSession() override { return std::make_unique<SessionRef>(*this); }
    std::unique_ptr<IHttpRequest> Open(const std::wstring& a) override
    {
        opened.push_back(a);
        lastStatus = errors.count(a) ? errors[a] : files.count(a) ? 200 : 0;
        auto it = files.find(a);
        if (it == files.end())
            return nullptr;
        return std::make_unique<ScriptedRequest>(it->second);
    }
    struct SessionRef : IHttpSession {
        explicit SessionRef(Server& s) : s(s) {}
        std::unique_ptr<IHttpRequest> Open(const std::wstring& a) override { return s.Open(a); }
        int LastStatus() const override { return s.lastStatus; }
        Server& s;
    };
};

struct Row : IUpdateSink {
    std::vector<int> percents;
    std::vector<std::wstring> statuses;
    void Progress(int, int p) override { percents.push_back(p); }
    void Status(int, const std::wstring& t) override { statuses.push_back(t); }
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
};

class UpdateDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUpdateTextSource([](int n) { return L"#" + std::to_wstring(n); });
        SetMessageSink([this](const std::wstring& text, unsigned) {
            messages.push_back(text);
            return kIdOk;
        });
        path = Utf8ToWide(dir.file("QB345_V2.34_EN-RU_20191023.bin"));
    }
    void TearDown() override
    {
        SetMessageSink({});
        SetUpdateTextSource({});
    }
    test::TempDir dir;
    Server server;
    Row row;
    std::wstring path;
    std::vector<std::wstring> messages;
    const std::wstring url = L"http://127.0.0.1/Update/QB345/QB345_V2.34_EN-RU.bin";
};

} // namespace

TEST_F(UpdateDownload, CompleteDownloadTakesThePackagesName)
{
    server.files[url].body = std::string(40000, 'x');
    EXPECT_EQ(DownloadFile(server, url, path, row, 0), 0);
    EXPECT_EQ(test::ReadFileBytes(WideToUtf8(path)), std::string(40000, 'x'));
    EXPECT_FALSE(FileExists(PartialDownloadPath(path)));
    // 16384-byte reads: 5000 at a time from this server.
    EXPECT_EQ(ScriptedRequest::maxAsked, kDownloadChunk);
    ASSERT_FALSE(row.percents.empty());
    EXPECT_EQ(row.percents.front(), 12);
    EXPECT_EQ(row.percents.back(), 100);
    EXPECT_EQ(row.statuses.back(), L"#25");
    EXPECT_EQ(row.statuses.front().rfind(L"12% / ", 0), 0u);
}

TEST_F(UpdateDownload, FailedOrShortDownloadsLeaveNoFile)
{
    Resource& r = server.files[url];
    r.body = std::string(40000, 'y');

    r.cutAfter = 12000;  // the server closes early
    EXPECT_EQ(DownloadFile(server, url, path, row, 0), kDownloadFailed);
    EXPECT_EQ(row.statuses.back(), L"#26");
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(FileExists(PartialDownloadPath(path)));

    // Every failure ends the row with its answer.
    auto last = [&] { return row.statuses.empty() ? std::wstring() : row.statuses.back(); };
    r.cutAfter = std::string::npos;
    r.failRead = true;
    row.statuses.clear();
    EXPECT_EQ(DownloadFile(server, url, path, row, 0), kDownloadFailed);
    EXPECT_EQ(last(), L"#26") << "a read that fails";
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(FileExists(PartialDownloadPath(path)));

    r.failRead = false;
    r.announce = false;
    row.statuses.clear();
    EXPECT_EQ(DownloadFile(server, url, path, row, 0), kDownloadFailed);
    EXPECT_EQ(last(), L"#26") << "no size announced";
    EXPECT_FALSE(FileExists(PartialDownloadPath(path)));

    r.announce = true;
    r.announced = 30000;  // more bytes than announced is no complete package either
    EXPECT_EQ(DownloadFile(server, url, path, row, 0), kDownloadFailed);
    EXPECT_FALSE(FileExists(path));

    row.statuses.clear();
    server.errors[url + L"x"] = 404;
    EXPECT_EQ(DownloadFile(server, url + L"x", path, row, 0), kDownloadNoAddress);
    EXPECT_EQ(row.statuses, std::vector<std::wstring>{L"#26"}) << "a package the server does not have";
    EXPECT_FALSE(FileExists(path));
    row.statuses.clear();
    EXPECT_EQ(DownloadFile(server, url, Utf8ToWide(dir.file("no/such/dir/p.bin")), row, 0), kDownloadNoFile);
    EXPECT_EQ(last(), L"#26") << "a file that cannot be made";

    // A second try downloads again and succeeds.
    r.announced = -1;
    EXPECT_EQ(DownloadFile(server, url, path, row, 0), 0);
    EXPECT_EQ(test::ReadFileBytes(WideToUtf8(path)).size(), 40000u);
}

TEST_F(UpdateDownload, SizesNoPackageHasStopAtOnceAndLeaveNothing)
{
    Resource& r = server.files[url];
    r.body = std::string(40000, 'y');
    auto tryOnce = [&] {
        row.statuses.clear();
        ScriptedRequest::served = 0;
        const int result = DownloadFile(server, url, path, row, 0);
        EXPECT_FALSE(FileExists(path));
        EXPECT_FALSE(FileExists(PartialDownloadPath(path)));
        EXPECT_EQ(row.statuses.empty() ? std::wstring() : row.statuses.back(), L"#26");
        return result;
    };
    r.announced = 100L << 20;  // beyond the 64 MiB of any package
    EXPECT_EQ(tryOnce(), kDownloadFailed);
    EXPECT_EQ(ScriptedRequest::served, 0u) << "not a byte read";
    r.announced = (64L << 20) + 1;
    EXPECT_EQ(tryOnce(), kDownloadFailed);
    EXPECT_EQ(ScriptedRequest::served, 0u);
    r.announced = 0;  // unknown, like no size at all: not read without end
    EXPECT_EQ(tryOnce(), kDownloadFailed);
    EXPECT_EQ(ScriptedRequest::served, 0u);
    r.announced = 12000;  // the body is longer than announced
    EXPECT_EQ(tryOnce(), kDownloadFailed);
    EXPECT_LE(ScriptedRequest::served, 15000u) << "reading stops at the first byte beyond the announced size";

    // Exactly 64 MiB is a size a package may have (a server that then sends
    // less is an early close).
    r.announced = 64L << 20;
    EXPECT_EQ(tryOnce(), kDownloadFailed);
    EXPECT_EQ(ScriptedRequest::served, 40000u) << "read until the server closed";
}

TEST_F(UpdateDownload, ALeftoverPartFileOrALinkInItsPlaceIsReplacedNotFollowed)
{
    server.files[url].body = std::string(40000, 'z');
    const std::string part = WideToUtf8(PartialDownloadPath(path));
    const std::string victim = dir.file("victim.txt");
    {
        FILE* f = std::fopen(victim.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("keep me", f);
        std::fclose(f);
    }
    // A link where the .part goes: the download must not write through it.
    ASSERT_EQ(::symlink(victim.c_str(), part.c_str()), 0);
    EXPECT_EQ(DownloadFile(server, url, path, row, 0), kDownloadDone);
    EXPECT_EQ(test::ReadFileBytes(victim), "keep me");
    EXPECT_EQ(test::ReadFileBytes(WideToUtf8(path)), std::string(40000, 'z'));
    EXPECT_FALSE(FileExists(PartialDownloadPath(path)));

    // A .part of a download that was cut off: replaced by the new one.
    std::remove(WideToUtf8(path).c_str());
    {
        FILE* f = std::fopen(part.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("old partial bytes", f);
        std::fclose(f);
    }
    EXPECT_EQ(DownloadFile(server, url, path, row, 0), kDownloadDone);
    EXPECT_EQ(test::ReadFileBytes(WideToUtf8(path)), std::string(40000, 'z'));
}

TEST_F(UpdateDownload, RemoteSize)
{
    server.files[url].body = "abc";
    EXPECT_EQ(GetRemoteFileSize(server, url), 3u);
    EXPECT_EQ(GetRemoteFileSize(server, url + L"x"), 0u);
    server.files[url].announce = false;
    EXPECT_EQ(GetRemoteFileSize(server, url), 0u);
    server.files[url].announce = true;
    server.offline = true;
    EXPECT_EQ(GetRemoteFileSize(server, url), 0u);
}

namespace {

using Page = kelvo::test::FakeCataloguePage;

const char kCatalogue[] =
    "[Version]\r\nNum = 2\r\nVersion01 = First\r\nVersion02 = Second\r\n\r\n"
    "[First]\r\nNum = 2\r\nVehicleName01 = QB460\r\nVehicleVers01 = 9.00\r\nReleaseTime01 = 2020/01/01\r\n"
    "VehicleName02 = QB345\r\nVehicleVers02 = 2.34\r\nReleaseTime02 = 2019/10/23\r\n"
    "LanguageBin = EN-FR-ES-DE-IT/EN-PT-SE-NL-HU/EN-RU\r\n\r\n"
    "[Second]\r\nNum = 1\r\nVehicleName01 = QB345\r\nVehicleVers01 = 5.00\r\nReleaseTime01 = 2021/01/01\r\n"
    "LanguageBin = EN\r\n";

class UpdateCatalogue : public UpdateDownload {
protected:
    void SetUp() override
    {
        UpdateDownload::SetUp();
        request.model = L"QB345";
        request.language = L"EN";
        request.base = L"http://127.0.0.1/Update/";
        request.catalogueFile = Utf8ToWide(dir.file("version.sv"));
        request.settingsFile = Utf8ToWide(dir.file("Kelvo.cfg"));
        test::WriteFileBytes(dir.file("Kelvo.cfg"), "[Update]\r\nQB345= V1.04\r\n");
        server.files[catalogueUrl].body = kCatalogue;
        server.files[request.base + L"QB345/QB345_V2.34_EN-RU.bin"].body = std::string(2048, 'p');
    }
    CatalogueRequest request;
    Page page;
    const std::wstring catalogueUrl = L"http://127.0.0.1/Update/QB345/Zendrix.bin";
};

} // namespace

TEST_F(UpdateCatalogue, FirstEntryNamingTheModelIsListed)
{
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kListed);
    ASSERT_EQ(page.rows.size(), 3u);  // the 5.00 entry that names QB345 again is not used
    EXPECT_EQ(page.rows[0].version, L"V2.34");
    EXPECT_EQ(page.rows[2].languages, L"EN/RU");
    EXPECT_EQ(page.rows[2].size, L"2.0 KB");
    EXPECT_EQ(page.rows[0].size, L"0.0 B");  // no such file on the server
    EXPECT_FALSE(FileExists(request.catalogueFile));
    EXPECT_TRUE(messages.empty());

    request.language = L"FR";
    Page fr;
    EXPECT_EQ(FetchCatalogue(fr, server, request), CatalogueOutcome::kListed);
    ASSERT_EQ(fr.rows.size(), 1u);
    EXPECT_EQ(fr.rows[0].languages, L"EN/FR/ES/DE/IT");
}

TEST_F(UpdateCatalogue, NothingNewerEnablesTheLocalList)
{
    test::WriteFileBytes(dir.file("Kelvo.cfg"), "[Update]\r\nQB345= V2.34\r\n");
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNothingNewer);
    EXPECT_EQ(page.enabled, 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], L"#78");

    request.model = L"QB999";
    server.files[L"http://127.0.0.1/Update/QB999/Zendrix.bin"].body = kCatalogue;
    messages.clear();
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNothingNewer);
    EXPECT_EQ(messages.back(), L"#78");
}

TEST_F(UpdateCatalogue, OversizedShortOrMissingCataloguesAreRefused)
{
    Resource& r = server.files[catalogueUrl];
    std::string big = kCatalogue;
    big.append(kCatalogueLimit + 1 - big.size(), '\n');
    r.body = big;
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNetworkFailure);

    // Exactly at the limit is read whole.
    big.resize(kCatalogueLimit);
    r.body = big;
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kListed);

    page.rows.clear();
    r.body = kCatalogue;
    r.cutAfter = 100;  // ends before the announced size
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNetworkFailure);
    r.cutAfter = std::string::npos;
    r.announce = false;
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNetworkFailure);
    r.announce = true;
    server.offline = true;
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNetworkFailure);
    server.offline = false;
    server.files.erase(catalogueUrl);
    // A catalogue left from an earlier check must not be searched instead.
    test::WriteFileBytes(dir.file("version.sv"), kCatalogue);
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNetworkFailure);
    EXPECT_FALSE(FileExists(request.catalogueFile));
    EXPECT_TRUE(page.rows.empty());
    EXPECT_EQ(messages.size(), 5u);
    for (const auto& m : messages)
        EXPECT_EQ(m, L"#70");
}

TEST_F(UpdateCatalogue, CatalogueTheServerDoesNotHaveIsNothingNewerButAServerErrorIsNoAnswer)
{
    server.files.erase(catalogueUrl);
    server.errors[catalogueUrl] = 404;
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNothingNewer);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#78"});
    EXPECT_EQ(page.enabled, 1);
    EXPECT_FALSE(FileExists(request.catalogueFile));

    // A server that fails (here: overloaded) has said nothing about the model.
    messages.clear();
    page.enabled = 0;
    server.errors[catalogueUrl] = 503;
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNetworkFailure);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#70"});
    EXPECT_FALSE(FileExists(request.catalogueFile));
}

TEST_F(UpdateCatalogue, ToolThatDidNotIdentifyItselfIsToldNotConnected)
{
    // Not "nothing newer": the tool gave no model to ask the server about.
    request.model = L"";
    server.files[L"http://127.0.0.1/Update//Zendrix.bin"].body = kCatalogue;
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kNoModel);
    EXPECT_TRUE(page.rows.empty());
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#58"});
    EXPECT_FALSE(FileExists(request.catalogueFile));
}

TEST_F(UpdateCatalogue, ModelsSharingAPrefixKeepTheirOwnRecordedVersions)
{
    const std::string cfg = "[Update]\r\nQB230E= V3.00\r\nQB230= V1.00\r\n\r\n[DTC]\r\nHistoryNum= 0\r\n";
    test::WriteFileBytes(dir.file("Kelvo.cfg"), cfg);
    request.model = L"QB230";
    server.files[L"http://127.0.0.1/Update/QB230/Zendrix.bin"].body =
        "[Version]\r\nNum = 1\r\nVersion01 = One\r\n[One]\r\nNum = 1\r\nVehicleName01 = QB230\r\n"
        "VehicleVers01 = 2.34\r\nReleaseTime01 = 2019/10/23\r\nLanguageBin = EN\r\n";
    EXPECT_EQ(InstalledVersion(request.settingsFile, L"QB230"), L"V1.00");
    EXPECT_EQ(FetchCatalogue(page, server, request), CatalogueOutcome::kListed) << "2.34 is newer than QB230's V1.00";

    ASSERT_TRUE(RecordInstalledVersion(request.settingsFile, L"QB230", L"V2.34"));
    EXPECT_EQ(test::ReadFileBytes(dir.file("Kelvo.cfg")),
              "[Update]\r\nQB230E= V3.00\r\nQB230= V2.34\r\n\r\n[DTC]\r\nHistoryNum= 0\r\n");
    // A model not yet recorded gets a line of its own, even behind a longer name.
    ASSERT_TRUE(RecordInstalledVersion(request.settingsFile, L"QB23", L"V1.50"));
    EXPECT_EQ(InstalledVersion(request.settingsFile, L"QB23"), L"V1.50");
    EXPECT_EQ(InstalledVersion(request.settingsFile, L"QB230E"), L"V3.00");
    EXPECT_EQ(InstalledVersion(request.settingsFile, L"QB230"), L"V2.34");
}

namespace {
// A worker's reports, and a tool port that never opens: the worker's write
// ends at once, which is all these cases need of it.
using Host = kelvo::test::FakeWorkerHost;
struct ClosedPort : IToolChannel {
    int Open(int) override { return 0; }
    int Transact(const uint8_t*, int, uint32_t, uint8_t*) override { return 0; }
    void Close() override {}
};
} // namespace

TEST_F(UpdateDownload, ServerRowFetchesADamagedLocalCopyAgainAndWritesASoundOne)
{
    const auto good = BuildPackage(kPackageMain, std::vector<uint8_t>(3000, 0x11));
    server.files[url].body.assign(good.begin(), good.end());
    auto damaged = good;
    damaged[100] ^= 0x01;
    test::WriteFileBytes(WideToUtf8(path), std::string(damaged.begin(), damaged.end()));
    const WorkerJob job{0, url, path, L"QB345"};
    auto channels = [] { return std::make_unique<ClosedPort>(); };

    Host host;
    RunDownloadWorker(host, server, job, channels);
    const std::wstring folder = url.substr(0, url.rfind(L'/') + 1);
    EXPECT_EQ(server.opened, (std::vector<std::wstring>{url, folder + L"SHA256SUMS", folder + L"SHA256SUMS.sig"}))
        << "the damaged copy is fetched again, and the signed list asked for";
    EXPECT_EQ(test::ReadFileBytes(WideToUtf8(path)), std::string(good.begin(), good.end()));
    // Written (and failing at the closed port), not refused as a bad package.
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#66"});
    EXPECT_EQ(host.events, (std::vector<std::string>{"flashing", "failed", "end"}));

    // The sound copy now in place is written without asking the server.
    server.opened.clear();
    server.offline = true;
    messages.clear();
    Host again;
    RunDownloadWorker(again, server, job, channels);
    EXPECT_TRUE(server.opened.empty());
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#66"});
    EXPECT_EQ(again.events, (std::vector<std::string>{"flashing", "failed", "end"}));
}

TEST_F(UpdateDownload, DownloadThatCannotStartSaysSoInItsRow)
{
    const WorkerJob job{4, url, path, L"QB345"};
    server.offline = true;
    Host offline;
    RunDownloadWorker(offline, server, job, [] { return std::make_unique<ClosedPort>(); });
    EXPECT_EQ(offline.statuses, std::vector<std::wstring>{L"#26"});
    EXPECT_EQ(offline.events, std::vector<std::string>{"failed"});
    EXPECT_TRUE(server.opened.empty());
    EXPECT_FALSE(FileExists(path));
}

namespace {
// A port that counts how often a write tried to open it.
struct CountingPort : IToolChannel {
    explicit CountingPort(int* opens) : opens(opens) {}
    int Open(int) override { return ++*opens, 0; }
    int Transact(const uint8_t*, int, uint32_t, uint8_t*) override { return 0; }
    void Close() override {}
    int* opens;
};

std::string SignedBy(test::TempDir& dir, const std::string& key, const std::string& text)
{
    test::WriteFileBytes(dir.file("to-sign"), text);
    const std::string cmd = "openssl dgst -sha256 -sign '" + key + "' -out '" + dir.file("to-sign.sig") + "' '" +
                            dir.file("to-sign") + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return test::ReadFileBytes(dir.file("to-sign.sig"));
}
} // namespace

TEST_F(UpdateDownload, OnlyWhatTheMakersSignedListVouchesForReachesTheTool)
{
    const std::string testKey = std::string(std::getenv("KELVO_SOURCE")) + "/tools/updserver/TEST-ONLY-signing-key.pem";
    const std::string otherKey = dir.file("other.pem");
    ASSERT_EQ(std::system(("openssl ecparam -name prime256v1 -genkey -noout -out '" + otherKey + "'").c_str()), 0);
    const auto pkg = BuildPackage(kPackageMain, std::vector<uint8_t>(3000, 0x22));
    const std::string body(pkg.begin(), pkg.end());
    const std::wstring folder = url.substr(0, url.rfind(L'/') + 1);
    const std::string name = "QB345_V2.34_EN-RU.bin";
    const std::string settings = dir.file("Kelvo.cfg");
    test::WriteFileBytes(settings, "[Update]\r\nQB345 = V1.04\r\n\r\n[Other]\r\nKey = 1\r\n");
    WorkerJob job{0, url, path, L"QB345", Utf8ToWide(settings)};
    const std::string goodList = HexOf(Sha256(pkg.data(), pkg.size())) + "  " + name + "\n";

    // Serves the package, a list and a signature; runs a worker; what reached the port.
    auto run = [&](const std::string& package, const std::string* list, const std::string* sig) {
        server.files.clear();
        server.files[url].body = package;
        if (list)
            server.files[folder + L"SHA256SUMS"].body = *list;
        if (sig)
            server.files[folder + L"SHA256SUMS.sig"].body = *sig;
        std::remove(WideToUtf8(path).c_str());
        messages.clear();
        int opens = 0;
        Host host;
        RunDownloadWorker(host, server, job, [&] { return std::make_unique<CountingPort>(&opens); });
        return opens;
    };
    const std::string goodSig = SignedBy(dir, testKey, goodList);

    // A never-signed server: written as before, nothing recorded.
    EXPECT_EQ(run(body, nullptr, nullptr), 1);
    EXPECT_EQ(test::ReadFileBytes(settings).find("SignedLists"), std::string::npos);

    // Refused before the port is opened, the download deleted:
    std::string changed = body;
    changed[200] ^= 1;
    const std::string changedList = [&] {
        std::string l = goodList;
        l[0] = l[0] == 'a' ? 'b' : 'a';
        return l;
    }();
    const std::string otherSig = SignedBy(dir, otherKey, goodList);
    const std::string lyingList = HexOf(Sha256(reinterpret_cast<const uint8_t*>("x"), 1)) + "  " + name + "\n";
    const std::string lyingSig = SignedBy(dir, testKey, lyingList);
    const struct {
        const std::string* package;
        const std::string* list;
        const std::string* sig;
        const char* why;
    } refused[] = {
        {&changed, &goodList, &goodSig, "a package changed by one byte"},
        {&body, &changedList, &goodSig, "a list changed by one byte"},
        {&body, &goodList, &otherSig, "signed by another key"},
        {&body, &lyingList, &lyingSig, "a signed line with another hash"},
        {&body, &goodList, nullptr, "a list without its signature"},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(run(*c.package, c.list, c.sig), 0) << c.why;
        EXPECT_EQ(messages, std::vector<std::wstring>{L"#150"}) << c.why;
        EXPECT_FALSE(FileExists(path)) << c.why;
    }
    EXPECT_EQ(test::ReadFileBytes(settings).find("SignedLists"), std::string::npos) << "nothing verified yet";

    // Signed: written, and the model's server is recorded as one that signs,
    // the rest of the file as it was.
    EXPECT_EQ(run(body, &goodList, &goodSig), 1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#66"}) << "the closed port's answer, no refusal";
    EXPECT_EQ(test::ReadFileBytes(settings),
              "[Update]\r\nQB345 = V1.04\r\n\r\nSignedLists = QB345\r\n[Other]\r\nKey = 1\r\n");
    EXPECT_TRUE(ServerSignsFor(Utf8ToWide(settings), L"qb345"));

    // From then on a server without a list is refused: no stripping.
    EXPECT_EQ(run(body, nullptr, nullptr), 0);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#150"});
    EXPECT_FALSE(FileExists(path));
}

TEST_F(UpdateDownload, ALocalPackageIsCheckedOnlyWhenAListLiesBesideIt)
{
    const std::string testKey = std::string(std::getenv("KELVO_SOURCE")) + "/tools/updserver/TEST-ONLY-signing-key.pem";
    const std::string local = dir.file("QB345_V2.34_EN-RU_20191023.bin");
    test::WriteFileBytes(local, "package bytes");
    EXPECT_EQ(CheckLocalPackage(Utf8ToWide(local)), PackageSignature::kUnsigned) << "no list: as always";
    const std::string list = HexOf(Sha256(reinterpret_cast<const uint8_t*>("package bytes"), 13)) +
                             "  QB345_V2.34_EN-RU_20191023.bin\n";
    test::WriteFileBytes(dir.file("SHA256SUMS"), list);
    EXPECT_EQ(CheckLocalPackage(Utf8ToWide(local)), PackageSignature::kRefused) << "a list without signature";
    const std::string sig = SignedBy(dir, testKey, list);
    test::WriteFileBytes(dir.file("SHA256SUMS.sig"), sig);
    EXPECT_EQ(CheckLocalPackage(Utf8ToWide(local)), PackageSignature::kVerified);
    test::WriteFileBytes(local, "package bytez");
    EXPECT_EQ(CheckLocalPackage(Utf8ToWide(local)), PackageSignature::kRefused) << "changed";
}
