// Downloads, remote sizes and the catalogue check of the update core through
// the real WinINet client, against kelvo-updserver on the loopback interface
// with its faults: no Content-Length, an early close, 404, a slow body, an
// oversized catalogue, and no server at all.
#include "update/core/Catalogue.h"
#include "update/core/Download.h"
#include "update/core/SignedList.h"
#include "update/core/PackageRows.h"
#include "update/core/UpdateSink.h"
#include "platform/win/WinInetClient.h"
#include "app/core/platform.h"
#include "tools/plug/plug.h"

#include "support/fake_catalogue_page.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

using namespace kelvo;
using kelvo::plug::ReadWholeFile;
using kelvo::plug::RunUnix;
using kelvo::plug::WindowsPath;

namespace {

std::string Env(const char* name)
{
    char buf[1024];
    DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitFor(const std::wstring& path, bool present, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    while (Exists(path) != present) {
        if (::GetTickCount() - start > ms)
            return false;
        ::Sleep(20);
    }
    return true;
}

// Runs a shell command and waits for it (Unix exit codes do not reach a Wine
// program, so the command leaves a marker file saying how it went).
bool RunUnixAndWait(const std::string& command, const std::string& marker, DWORD ms)
{
    const std::wstring w = WindowsPath(marker);
    ::DeleteFileW(w.c_str());
    const std::string tmp = Quote(marker + ".tmp");
    if (!RunUnix("((" + command + ") && echo ok > " + tmp + " || echo failed > " + tmp + ") && mv " + tmp + " " +
                 Quote(marker)))
        return false;
    return WaitFor(w, true, ms) && ReadWholeFile(w).rfind("ok", 0) == 0;
}

const std::wstring kModel = L"QB345";

// The folder of this program's run: the demo content, one folder per server
// and one for the downloads of each test.
std::string& RunFolder()
{
    static std::string folder;
    return folder;
}

// kelvo-updserver over a copy of the demo content, on a port of its own,
// with the faults given; stopped and its folder removed at destruction.
class TestServer {
public:
    explicit TestServer(const std::vector<std::string>& faults = {})
    {
        static int count = 0;
        m_folder = RunFolder() + "/server-" + std::to_string(++count);
        const std::string src = Env("KELVO_SOURCE");
        std::string options;
        for (const auto& f : faults)
            options += " " + Quote(f);
        // A safety net: a server whose test died ends by itself.
        const std::string cmd = "mkdir -p " + Quote(m_folder) + " && cp -R " + Quote(RunFolder() + "/content") +
                                " " + Quote(m_folder + "/root") + " && (timeout 600 python3 " +
                                Quote(src + "/tools/updserver/kelvo-updserver") + " --port 0 --port-file " +
                                Quote(m_folder + "/port") + " --log " + Quote(m_folder + "/log") + options + " " +
                                Quote(m_folder + "/root") + " > " + Quote(m_folder + "/out") + " 2>&1 & echo $! > " +
                                Quote(m_folder + "/pid.tmp") + " && mv " + Quote(m_folder + "/pid.tmp") + " " +
                                Quote(m_folder + "/pid") + ")";
        if (src.empty() || !RunUnix(cmd))
            return;
        if (!WaitFor(WindowsPath(m_folder + "/port"), true, 20000) || !WaitFor(WindowsPath(m_folder + "/pid"), true, 5000))
            return;
        m_pid = std::atoi(ReadWholeFile(WindowsPath(m_folder + "/pid")).c_str());
        m_port = std::atoi(ReadWholeFile(WindowsPath(m_folder + "/port")).c_str());
    }
    ~TestServer()
    {
        if (m_pid > 0) {
            const std::string pid = std::to_string(m_pid);
            RunUnix("kill " + pid + "; while kill -0 " + pid + " 2>/dev/null; do sleep 0.05; done; rm -rf " +
                    Quote(m_folder));
        } else {
            RunUnix("rm -rf " + Quote(m_folder));
        }
        WaitFor(WindowsPath(m_folder), false, 10000);
    }
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool Ok() const { return m_port > 0 && m_pid > 0; }
    std::wstring Base() const { return L"http://127.0.0.1:" + std::to_wstring(m_port) + L"/Update/"; }
    std::wstring Package(const std::wstring& set) const { return PackageAddress(Base(), kModel, L"2.34", set); }
    // The bytes the server serves for a package.
    std::string Served(const std::wstring& set) const
    {
        return ReadWholeFile(WindowsPath(m_folder + "/root/QB345/QB345_V2.34_") + set + L".bin");
    }
    // Request log: "GET /Update/QB345/Zendrix.bin 200 193" a line.
    std::string Log() const { return ReadWholeFile(WindowsPath(m_folder + "/log")); }
    // A file of the served model folder, to change or remove under the server.
    std::wstring ModelFile(const std::string& name) const { return WindowsPath(m_folder + "/root/QB345/" + name); }
    // The server logs a request once it has answered it, which may be a moment
    // after the client is done: the number of lines holding `what` once it
    // has `count` of them, or after a few seconds.
    size_t Logged(const std::string& what, size_t count = 1) const;

private:
    std::string m_folder;
    int m_port = 0;
    int m_pid = 0;
};

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

size_t TestServer::Logged(const std::string& what, size_t count) const
{
    const DWORD start = ::GetTickCount();
    size_t n = Count(Log(), what);
    while (n < count && ::GetTickCount() - start < 5000) {
        ::Sleep(20);
        n = Count(Log(), what);
    }
    return n;
}

// A loopback port that is bound but never listened on, so nothing can answer
// there while it lives.
class DeadPort {
public:
    DeadPort()
    {
        WSADATA wsa;
        if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
            return;
        m_started = true;
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (m_socket == INVALID_SOCKET)
            return;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        int len = sizeof a;
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            m_port = ntohs(a.sin_port);
    }
    ~DeadPort()
    {
        if (m_socket != INVALID_SOCKET)
            ::closesocket(m_socket);
        if (m_started)
            ::WSACleanup();
    }
    int Port() const { return m_port; }

private:
    bool m_started = false;
    SOCKET m_socket = INVALID_SOCKET;
    int m_port = 0;
};

// What the row of the list would receive, in order.
struct Report {
    bool progress;
    int row;
    int percent;
    std::wstring text;
};

struct RecordingRow : IUpdateSink {
    std::vector<Report> reports;
    void Progress(int row, int percent) override { reports.push_back({true, row, percent, L""}); }
    void Status(int row, const std::wstring& text) override { reports.push_back({false, row, 0, text}); }
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
    std::vector<int> Percents() const
    {
        std::vector<int> out;
        for (const auto& r : reports)
            if (r.progress)
                out.push_back(r.percent);
        return out;
    }
    std::wstring LastStatus() const
    {
        for (auto it = reports.rbegin(); it != reports.rend(); ++it)
            if (!it->progress)
                return it->text;
        return L"";
    }
};

// A status of the "%d%% / %1.1fKB/s" form: its percentage and speed.
bool ParseSpeedStatus(const std::wstring& text, int* percent, double* speed)
{
    int p = 0;
    double s = 0;
    if (std::swscanf(text.c_str(), L"%d%% / %lfKB/s", &p, &s) != 2)
        return false;
    wchar_t again[64];
    std::swprintf(again, 64, L"%d%% / %1.1fKB/s", p, s);
    if (text != again)
        return false;
    *percent = p;
    *speed = s;
    return true;
}

// Checks the reports of a complete download: progress rising to 100, each
// followed by its speed status, and "complete" at the end. Returns the
// speeds shown.
std::vector<double> CheckCompleteReports(const RecordingRow& row, int rowNumber)
{
    std::vector<double> speeds;
    const auto& r = row.reports;
    EXPECT_GE(r.size(), 3u);
    if (r.size() < 3)
        return speeds;
    int last = -1;
    for (size_t i = 0; i + 1 < r.size(); i += 2) {
        EXPECT_TRUE(r[i].progress) << "report " << i;
        EXPECT_FALSE(r[i + 1].progress) << "report " << i + 1;
        EXPECT_EQ(r[i].row, rowNumber);
        EXPECT_EQ(r[i + 1].row, rowNumber);
        EXPECT_GE(r[i].percent, last) << "progress never goes back";
        last = r[i].percent;
        int p = -1;
        double s = -1;
        EXPECT_TRUE(ParseSpeedStatus(r[i + 1].text, &p, &s)) << WideToUtf8(r[i + 1].text);
        EXPECT_EQ(p, r[i].percent) << "the status shows the percentage just reported";
        speeds.push_back(s);
    }
    EXPECT_EQ(r.size() % 2, 1u) << "pairs of progress and status, then the final status";
    EXPECT_EQ(last, 100);
    EXPECT_FALSE(r.back().progress);
    EXPECT_EQ(r.back().row, rowNumber);
    EXPECT_EQ(r.back().text, L"#25");
    return speeds;
}

using Page = kelvo::test::FakeCataloguePage;

class WinInetUpdate : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        RunFolder() = "/tmp/kelvo-wininet-" + std::to_string(::GetCurrentProcessId());
        const std::string bin = Env("KELVO_BIN");
        const std::string src = Env("KELVO_SOURCE");
        s_contentOk = !bin.empty() && !src.empty() &&
                      RunUnixAndWait("rm -rf " + Quote(RunFolder()) + " && mkdir -p " + Quote(RunFolder()) + " && " +
                                         Quote(src + "/tools/updserver/make-demo-content") + " " +
                                         Quote(RunFolder() + "/content") + " " + Quote(bin + "/bin/kelvo-pkgbuild") +
                                         " > /dev/null 2>&1",
                                     "/tmp/kelvo-wininet-" + std::to_string(::GetCurrentProcessId()) + ".made", 60000);
    }
    static void TearDownTestSuite()
    {
        const std::string marker = RunFolder() + ".made";
        RunUnix("rm -rf " + Quote(RunFolder()) + " " + Quote(marker));
        WaitFor(WindowsPath(RunFolder()), false, 10000);
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_contentOk) << "the demo content could not be made";
        SetUpdateTextSource([](int n) { return L"#" + std::to_wstring(n); });
        SetMessageSink([this](const std::wstring& text, unsigned flags) {
            messages.push_back(text);
            icons.push_back(flags);
            return kIdOk;
        });
        static int count = 0;
        folder = WindowsPath(RunFolder() + "/test-" + std::to_string(++count)) + L"\\";
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        target = folder + L"QB345_V2.34_EN-RU_20191023.bin";
        request.model = kModel;
        request.language = L"EN";
        request.catalogueFile = folder + L"version.sv";
        request.settingsFile = folder + L"Kelvo.cfg";
        WriteSettings("[Update]\r\nQB345= V1.04\r\n");
        client = NewWinInetClient();
        ASSERT_NE(client, nullptr);
    }
    void TearDown() override
    {
        SetMessageSink({});
        SetUpdateTextSource({});
    }

    void WriteSettings(const std::string& text)
    {
        FILE* f = OpenFile(request.settingsFile, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    // DownloadFile on a session of its own, as the update worker does.
    int Download(const std::wstring& address, RecordingRow& row, int rowNumber = 2)
    {
        std::unique_ptr<IHttpSession> session = client->OpenSession();
        EXPECT_NE(session, nullptr);
        if (!session)
            return -1;
        return DownloadFile(*session, address, target, row, rowNumber);
    }

    // Nothing under the package's name and no temporary file beside it.
    void ExpectNoFile()
    {
        EXPECT_FALSE(Exists(target)) << "no file under the package's name";
        EXPECT_FALSE(Exists(PartialDownloadPath(target))) << "no temporary file left";
    }

    // The catalogue check against a server that cannot deliver: message 70, no rows.
    void ExpectCatalogueRefused(const std::wstring& base)
    {
        request.base = base;
        Page page;
        messages.clear();
        icons.clear();
        EXPECT_EQ(FetchCatalogue(page, *client, request), CatalogueOutcome::kNetworkFailure);
        EXPECT_TRUE(page.rows.empty());
        EXPECT_EQ(page.enabled, 0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], L"#70");
        EXPECT_EQ(icons[0] & 0xF0u, unsigned(kMbIconError));
        EXPECT_FALSE(Exists(request.catalogueFile));
    }

    static inline bool s_contentOk = false;
    std::wstring folder;
    std::wstring target;
    std::unique_ptr<IHttpClient> client;
    CatalogueRequest request;
    std::vector<std::wstring> messages;
    std::vector<unsigned> icons;
};

} // namespace

TEST_F(WinInetUpdate, WholePackageWithLengthTakesItsNameWithProgressAndSpeed)
{
    TestServer server;
    ASSERT_TRUE(server.Ok());
    const std::string served = server.Served(L"EN-RU");
    ASSERT_GT(served.size(), 3 * kDownloadChunk);
    // What an earlier download left is replaced.
    FILE* f = OpenFile(target, "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("old", f);
    std::fclose(f);

    RecordingRow row;
    ASSERT_EQ(Download(server.Package(L"EN-RU"), row), kDownloadDone);
    EXPECT_TRUE(ReadWholeFile(target) == served) << "the file holds exactly the served bytes";
    EXPECT_FALSE(Exists(PartialDownloadPath(target)));
    const std::vector<double> speeds = CheckCompleteReports(row, 2);
    // The reads are at most 16384 bytes: one report for each at least.
    EXPECT_GE(row.Percents().size(), (served.size() + kDownloadChunk - 1) / kDownloadChunk);
    for (double s : speeds)
        EXPECT_GT(s, 0.0);
    EXPECT_EQ(server.Logged("GET /Update/QB345/QB345_V2.34_EN-RU.bin 200 " + std::to_string(served.size())),
              1u)
        << server.Log();
    EXPECT_TRUE(messages.empty());
}

TEST_F(WinInetUpdate, WithoutContentLengthNothingIsKeptAndNoSizeIsKnown)
{
    TestServer server({"--no-length"});
    ASSERT_TRUE(server.Ok());
    RecordingRow row;
    // No size announced: the download is given up before any byte is kept.
    EXPECT_EQ(Download(server.Package(L"EN-RU"), row), kDownloadFailed);
    ExpectNoFile();
    EXPECT_TRUE(row.Percents().empty());
    EXPECT_NE(row.LastStatus(), L"#25");
    EXPECT_EQ(server.Logged("GET /Update/QB345/QB345_V2.34_EN-RU.bin 200"), 1u) << "the server did answer";

    EXPECT_EQ(GetRemoteFileSize(*client, server.Package(L"EN-RU")), 0u);
    ExpectCatalogueRefused(server.Base());
}

TEST_F(WinInetUpdate, APackageBeyondTheLimitIsRefusedAtOnce)
{
    // Announced and really sent at 100 MB, at 1 MB/s: refused before the
    // first byte, not after a hundred seconds.
    TestServer server({"--length", "104857600", "--pad-to", "104857600", "--rate", "1000000"});
    ASSERT_TRUE(server.Ok());
    RecordingRow row;
    EXPECT_EQ(Download(server.Package(L"EN-RU"), row), kDownloadFailed);
    ExpectNoFile();
    EXPECT_TRUE(row.Percents().empty());
    EXPECT_NE(row.LastStatus(), L"#25");
}

TEST_F(WinInetUpdate, TheSignedListIsCheckedWithTheSystemsCryptography)
{
    TestServer server;
    ASSERT_TRUE(server.Ok());
    RecordingRow row;
    ASSERT_EQ(Download(server.Package(L"EN-RU"), row), kDownloadDone);
    auto check = [&](const std::wstring& settings) {
        std::unique_ptr<IHttpSession> session = client->OpenSession();
        return session ? CheckServerPackage(*session, server.Package(L"EN-RU"), target, kModel, settings)
                       : PackageSignature::kRefused;
    };
    // Verified with CNG (bcrypt.dll loaded from the system folder), and recorded.
    EXPECT_EQ(check(request.settingsFile), PackageSignature::kVerified);
    EXPECT_TRUE(ServerSignsFor(request.settingsFile, kModel));
    Page page;
    request.base = server.Base();
    ASSERT_EQ(FetchCatalogue(page, *client, request), CatalogueOutcome::kListed);
    ASSERT_FALSE(page.rows.empty());
    EXPECT_TRUE(page.rows[0].status.empty()) << "a signing server's rows are not marked";

    // The list changed by one byte.
    const std::string list = ReadWholeFile(server.ModelFile("SHA256SUMS"));
    std::string changed = list;
    changed[10] = changed[10] == '0' ? '1' : '0';
    FILE* f = OpenFile(server.ModelFile("SHA256SUMS"), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(changed.data(), 1, changed.size(), f);
    std::fclose(f);
    EXPECT_EQ(check(request.settingsFile), PackageSignature::kRefused);

    // No list any more: refused for the model recorded as signing, "unsigned"
    // for a program that never saw it sign.
    ::DeleteFileW(server.ModelFile("SHA256SUMS").c_str());
    ::DeleteFileW(server.ModelFile("SHA256SUMS.sig").c_str());
    EXPECT_EQ(check(request.settingsFile), PackageSignature::kRefused);
    EXPECT_EQ(check(L""), PackageSignature::kUnsigned);
    Page unsignedPage;
    ASSERT_EQ(FetchCatalogue(unsignedPage, *client, request), CatalogueOutcome::kListed);
    ASSERT_FALSE(unsignedPage.rows.empty());
    EXPECT_EQ(unsignedPage.rows[0].status, L"#151");
}

TEST_F(WinInetUpdate, CutShortLeavesNoFileAndAHealthyServerThenDelivers)
{
    {
        TestServer cut({"--close-after", "50000"});
        ASSERT_TRUE(cut.Ok());
        RecordingRow row;
        EXPECT_EQ(Download(cut.Package(L"EN-RU"), row), kDownloadFailed);
        ExpectNoFile();
        const std::vector<int> percents = row.Percents();
        EXPECT_TRUE(percents.empty() || percents.back() < 100);
        // The close ends the reads early: the row says "incomplete".
        EXPECT_EQ(row.LastStatus(), L"#26");
        EXPECT_EQ(cut.Logged("GET /Update/QB345/QB345_V2.34_EN-RU.bin 200 50000"), 1u) << cut.Log();
    }
    {
        // A catalogue that ends before its announced size is refused too.
        TestServer cut({"--close-after", "100", "--only", "Zendrix"});
        ASSERT_TRUE(cut.Ok());
        ExpectCatalogueRefused(cut.Base());
        EXPECT_EQ(cut.Logged("GET /Update/QB345/Zendrix.bin 200 100"), 1u) << cut.Log();
    }
    TestServer healthy;
    ASSERT_TRUE(healthy.Ok());
    RecordingRow row;
    EXPECT_EQ(Download(healthy.Package(L"EN-RU"), row), kDownloadDone);
    EXPECT_TRUE(ReadWholeFile(target) == healthy.Served(L"EN-RU"));
    EXPECT_FALSE(Exists(PartialDownloadPath(target)));
    CheckCompleteReports(row, 2);
}

TEST_F(WinInetUpdate, NotFoundIsAFailedDownloadAndNoCatalogue)
{
    TestServer server({"--status", "404"});
    ASSERT_TRUE(server.Ok());
    RecordingRow row;
    EXPECT_EQ(Download(server.Package(L"EN-RU"), row), kDownloadNoAddress);
    ExpectNoFile();
    EXPECT_EQ(row.LastStatus(), L"#26") << "the row shows the download's failure";
    EXPECT_EQ(server.Logged("GET /Update/QB345/QB345_V2.34_EN-RU.bin 404"), 1u) << server.Log();
    EXPECT_EQ(GetRemoteFileSize(*client, server.Package(L"EN-RU")), 0u);

    // The server was reached and has nothing for the model: nothing newer, not "cannot connect".
    request.base = server.Base();
    Page page;
    messages.clear();
    EXPECT_EQ(FetchCatalogue(page, *client, request), CatalogueOutcome::kNothingNewer);
    EXPECT_TRUE(page.rows.empty());
    EXPECT_EQ(page.enabled, 1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#78"});
    EXPECT_FALSE(Exists(request.catalogueFile));
}

TEST_F(WinInetUpdate, NoServerListeningFailsEveryRequest)
{
    DeadPort dead;
    ASSERT_GT(dead.Port(), 0);
    const std::wstring base = L"http://127.0.0.1:" + std::to_wstring(dead.Port()) + L"/Update/";
    RecordingRow row;
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(Download(PackageAddress(base, kModel, L"2.34", L"EN-RU"), row), kDownloadNoAddress);
    EXPECT_LT(::GetTickCount() - start, 30000u);
    ExpectNoFile();
    EXPECT_EQ(row.LastStatus(), L"#26") << "an unreachable server ends the row with an answer too";
    EXPECT_EQ(GetRemoteFileSize(*client, PackageAddress(base, kModel, L"2.34", L"EN-RU")), 0u);
    ExpectCatalogueRefused(base);
}

TEST_F(WinInetUpdate, RemoteSizeOfAPackageAndOfAMissingFile)
{
    TestServer server;
    ASSERT_TRUE(server.Ok());
    for (const wchar_t* set : {L"EN-FR-ES-DE-IT", L"EN-RU"}) {
        const size_t served = server.Served(set).size();
        ASSERT_GE(served, 1024u);
        ASSERT_LT(served, 1048576u);
        const uint32_t size = GetRemoteFileSize(*client, server.Package(set));
        EXPECT_EQ(size, served) << WideToUtf8(set);
        wchar_t kb[32];
        std::swprintf(kb, 32, L"%.1f KB", double(served) / 1024);
        EXPECT_EQ(SizeText(size), kb);
    }
    const uint32_t missing = GetRemoteFileSize(*client, server.Package(L"EN-XX"));
    EXPECT_EQ(missing, 0u);
    EXPECT_EQ(SizeText(missing), L"0.0 B");
    EXPECT_EQ(server.Logged("GET /Update/QB345/QB345_V2.34_EN-XX.bin 404"), 1u) << server.Log();
}

TEST_F(WinInetUpdate, CatalogueListsTheNewerPackagesOfTheLanguage)
{
    TestServer server;
    ASSERT_TRUE(server.Ok());
    request.base = server.Base();
    const std::wstring size = SizeText(uint32_t(server.Served(L"EN-RU").size()));

    Page page;
    ASSERT_EQ(FetchCatalogue(page, *client, request), CatalogueOutcome::kListed);
    ASSERT_EQ(page.rows.size(), 3u);
    const wchar_t* sets[] = {L"EN/FR/ES/DE/IT", L"EN/PT/SE/NL/HU", L"EN/RU"};
    for (size_t i = 0; i < 3; ++i) {
        const PackageRow& r = page.rows[i];
        EXPECT_EQ(r.number, L"00" + std::to_wstring(i + 1));
        EXPECT_EQ(r.model, kModel);
        EXPECT_EQ(r.version, L"V2.34");
        EXPECT_EQ(r.languages, sets[i]);
        EXPECT_EQ(r.release, L"2019/10/23");
        EXPECT_EQ(r.size, size);
        EXPECT_FALSE(r.local);
    }
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(Exists(request.catalogueFile)) << "the catalogue file is removed after the search";
    EXPECT_EQ(server.Logged("GET /Update/QB345/Zendrix.bin 200 193"), 1u) << server.Log();
    EXPECT_EQ(server.Logged("GET /Update/QB345/QB345_V2.34_EN-PT-SE-NL-HU.bin 200"), 1u) << server.Log();

    request.language = L"FR";
    Page fr;
    ASSERT_EQ(FetchCatalogue(fr, *client, request), CatalogueOutcome::kListed);
    ASSERT_EQ(fr.rows.size(), 1u);
    EXPECT_EQ(fr.rows[0].languages, L"EN/FR/ES/DE/IT");

    WriteSettings("[Update]\r\nQB345= V2.34\r\n");
    Page current;
    EXPECT_EQ(FetchCatalogue(current, *client, request), CatalogueOutcome::kNothingNewer);
    EXPECT_TRUE(current.rows.empty());
    EXPECT_EQ(current.enabled, 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], L"#78");
}

TEST_F(WinInetUpdate, CatalogueAtTheLimitIsReadAndABiggerOneRefused)
{
    {
        TestServer limit({"--big-catalogue", std::to_string(kCatalogueLimit)});
        ASSERT_TRUE(limit.Ok());
        request.base = limit.Base();
        Page page;
        EXPECT_EQ(FetchCatalogue(page, *client, request), CatalogueOutcome::kListed);
        EXPECT_EQ(page.rows.size(), 3u);
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(limit.Logged("GET /Update/QB345/Zendrix.bin 200 " + std::to_string(kCatalogueLimit)), 1u)
            << limit.Log();
    }
    TestServer big({"--big-catalogue", "90000"});
    ASSERT_TRUE(big.Ok());
    ExpectCatalogueRefused(big.Base());
    EXPECT_EQ(big.Logged("GET /Update/QB345/Zendrix.bin 200"), 1u) << big.Log();
}

TEST_F(WinInetUpdate, SlowServerStillCompletes)
{
    const int rate = 40000;
    TestServer slow({"--rate", std::to_string(rate), "--only", "_EN-RU"});
    ASSERT_TRUE(slow.Ok());
    const std::string served = slow.Served(L"EN-RU");
    RecordingRow row;
    const DWORD start = ::GetTickCount();
    ASSERT_EQ(Download(slow.Package(L"EN-RU"), row, 0), kDownloadDone);
    const DWORD took = ::GetTickCount() - start;
    EXPECT_GE(took, DWORD(served.size() * 1000 / rate * 9 / 10)) << "the server did send slowly";
    EXPECT_TRUE(ReadWholeFile(target) == served);
    EXPECT_FALSE(Exists(PartialDownloadPath(target)));
    const std::vector<double> speeds = CheckCompleteReports(row, 0);
    ASSERT_FALSE(speeds.empty());
    // The last speed shown measures most of the transfer: near the server's
    // rate, never twice it, and in kilobytes per second.
    const std::string shown = WideToUtf8(row.reports[row.reports.size() - 2].text);
    EXPECT_LT(speeds.back(), 2.0 * rate / 1024) << shown;
    EXPECT_GT(speeds.back(), rate / 1024 / 10.0) << shown;

    // A catalogue that trickles in, a few bytes at a time, is read whole as well.
    TestServer trickle({"--rate", "400", "--only", "Zendrix"});
    ASSERT_TRUE(trickle.Ok());
    request.base = trickle.Base();
    Page page;
    EXPECT_EQ(FetchCatalogue(page, *client, request), CatalogueOutcome::kListed);
    EXPECT_EQ(page.rows.size(), 3u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WinInetUpdate, SessionsCarryTheirTimeOutsAndASlowServerIsStillWaitedFor)
{
    // A session handle takes the time-outs; every request from it inherits
    // them on Windows. Wine 8 keeps the connect one only (the receive one is
    // not kept on a session there), so that is what can be read back here.
    HINTERNET h = ::InternetOpenW(L"KelvoTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(h, nullptr);
    HttpTimeouts set;
    set.connectMs = 7000;
    set.receiveMs = 9000;
    EXPECT_TRUE(ApplyHttpTimeouts(h, set));
    DWORD value = 0, len = sizeof value;
    EXPECT_TRUE(::InternetQueryOptionW(h, INTERNET_OPTION_CONNECT_TIMEOUT, &value, &len));
    EXPECT_EQ(value, 7000u);
    ::InternetCloseHandle(h);
    // The defaults are long enough for a server that takes seconds to answer.
    EXPECT_GE(HttpTimeouts().connectMs, 10000u);
    EXPECT_GE(HttpTimeouts().receiveMs, 20000u);

    // A catalogue that comes 4 s late is waited for.
    TestServer late({"--delay", "4000", "--only", "Zendrix"});
    ASSERT_TRUE(late.Ok());
    std::vector<uint8_t> data;
    auto patient = NewWinInetClient();
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(FetchCatalogueData(*patient, late.Base(), kModel, &data));
    EXPECT_GE(::GetTickCount() - start, 3500u) << "the server did hold its answer back";
    EXPECT_FALSE(data.empty());
}
