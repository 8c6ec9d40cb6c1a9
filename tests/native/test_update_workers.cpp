// The update workers around the transfer: a tool that changed since the
// user confirmed gets nothing, not even after its package has downloaded.
#include "app/core/platform.h"
#include "native/support/temp_dir.h"
#include "support/fake_worker_host.h"
#include "update/core/Package.h"
#include "update/core/Workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace kelvo;

namespace {

// Counts the channels the worker asks for: none means nothing was sent.
struct CountingChannel : IToolChannel {
    explicit CountingChannel(int* opens) : m_opens(opens) {}
    int Open(int) override
    {
        ++*m_opens;
        return 0;
    }
    int Transact(const uint8_t*, int, uint32_t, uint8_t*) override { return 0; }
    void Close() override {}
    int* m_opens;
};

using Host = kelvo::test::FakeWorkerHost;

// A server serving `body` for every address but a signed list's: a server
// that does not sign.
struct Server : IHttpClient {
    std::string body;
    bool IsOffline() override { return false; }
    std::unique_ptr<IHttpSession> OpenSession() override
    {
        struct Request : IHttpRequest {
            std::string body;
            size_t at = 0;
            bool QuerySize(uint32_t* size) override
            {
                *size = uint32_t(body.size());
                return true;
            }
            int Read(uint8_t* buffer, uint32_t capacity) override
            {
                const size_t n = std::min<size_t>(capacity, body.size() - at);
                std::copy(body.begin() + long(at), body.begin() + long(at + n), buffer);
                at += n;
                return int(n);
            }
        };
        struct Session : IHttpSession {
            std::string body;
            std::unique_ptr<IHttpRequest> Open(const std::wstring& address) override
            {
                if (address.find(L"SHA256SUMS") != std::wstring::npos)
                    return nullptr;
                auto r = std::make_unique<Request>();
                r->body = body;
                return r;
            }
        };
        auto s = std::make_unique<Session>();
        s->body = body;
        return s;
    }
};

class UpdateWorkers : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUpdateTextSource([](int n) { return L"#" + std::to_wstring(n); });
        SetMessageSink([this](const std::wstring& text, unsigned) {
            messages.push_back(text);
            return kIdOk;
        });
    }
    void TearDown() override
    {
        SetMessageSink({});
        SetUpdateTextSource({});
    }
    ToolChannelFactory Channels()
    {
        return [this] { return std::make_unique<CountingChannel>(&opens); };
    }
    test::TempDir dir;
    Host host;
    std::vector<std::wstring> messages;
    int opens = 0;
};

} // namespace

TEST_F(UpdateWorkers, AToolChangedSinceTheConfirmationGetsNothing)
{
    // A valid package: only the tool stands in the way.
    std::vector<uint8_t> image(3000, 0x5A);
    std::vector<uint8_t> bytes = BuildPackage(kPackageMain, image);
    const std::string path = dir.file("QB345_V2.34_EN_20191023.bin");
    test::WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
    WorkerJob job;
    job.row = 2;
    job.path = Utf8ToWide(path);
    host.toolUnchanged = false;
    RunFlashWorker(host, job, Channels());
    EXPECT_EQ(host.checks, 1);
    EXPECT_EQ(opens, 0) << "the port is not even opened";
    EXPECT_EQ(host.events, (std::vector<std::string>{"flashing", "failed", "end"}));
    EXPECT_EQ(messages, (std::vector<std::wstring>{L"#67"}));

    // A server row: the package downloads whole, and only then is the tool
    // compared; it has changed meanwhile, so nothing is written.
    host = Host();
    host.toolUnchanged = false;
    messages.clear();
    Server server;
    server.body.assign(bytes.begin(), bytes.end());
    job.address = L"http://127.0.0.1:1/Update/QB345/QB345_V2.34_EN.bin";
    job.path = Utf8ToWide(dir.file("QB345_V2.34_EN_20191101.bin"));
    RunDownloadWorker(host, server, job, Channels());
    EXPECT_EQ(test::ReadFileBytes(dir.file("QB345_V2.34_EN_20191101.bin")), server.body) << "downloaded first";
    EXPECT_EQ(host.checks, 1);
    EXPECT_EQ(opens, 0);
    EXPECT_EQ(host.events, (std::vector<std::string>{"flashing", "failed", "end"}));
    EXPECT_EQ(messages, (std::vector<std::wstring>{L"#67"}));
}

TEST(UpdateWorkerRule, TheConfirmedToolIsTheSameModelOnTheSamePortNeverPulledOut)
{
    const ToolSnapshot confirmed{L"QB345", 7, 3};
    EXPECT_TRUE(SameToolAsConfirmed(confirmed, {L"QB345", 7, 3}));
    EXPECT_FALSE(SameToolAsConfirmed(confirmed, {L"QB460", 7, 3})) << "another tool identified";
    EXPECT_FALSE(SameToolAsConfirmed(confirmed, {L"", 7, 3})) << "no tool identified now";
    EXPECT_FALSE(SameToolAsConfirmed(confirmed, {L"QB345", 8, 3})) << "identified on another port";
    EXPECT_FALSE(SameToolAsConfirmed(confirmed, {L"QB345", -1, 3}));
    EXPECT_FALSE(SameToolAsConfirmed(confirmed, {L"QB345", 7, 4})) << "pulled out and back in";
    EXPECT_FALSE(SameToolAsConfirmed({L"", 7, 3}, {L"", 7, 3})) << "no tool was confirmed";
}
