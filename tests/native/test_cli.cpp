// The kelvo command line, run as a program against the simulated QB345 on a
// pty and the local update server: exit codes, standard output, messages.
#include "cli/sysfs.h"
#include "native/support/temp_dir.h"
#include "tools/qbsim/qbsim.h"
#include "update/core/Package.h"

#include <gtest/gtest.h>

#include <functional>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using kelvo::test::FileExists;
using kelvo::test::ReadFileBytes;
using kelvo::test::TempDir;
using kelvo::test::WriteFileBytes;

namespace {

struct Result {
    int exit = -1;
    std::string out, err;
};

class CliTest : public ::testing::Test {
protected:
    // Starts kelvo with `args`; its standard output and error go to files
    // (standard output to `outPath` where one is given).
    pid_t Spawn(std::vector<std::string> args, const char* outPath = nullptr)
    {
        args.insert(args.begin(), KELVO_CLI_PATH);
        args.push_back("--lock-dir");
        args.push_back(m_dir.path());
        pid_t pid = ::fork();
        if (pid == 0) {
            int out = ::open(outPath ? outPath : m_dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = ::open(m_dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(err, 2);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }
    Result Wait(pid_t pid)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        Result r;
        r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = ReadFileBytes(m_dir.file("out"));
        r.err = ReadFileBytes(m_dir.file("err"));
        return r;
    }
    Result Kelvo(std::vector<std::string> args) { return Wait(Spawn(std::move(args))); }

    // Names in the test's folder that start with NAME.part- (a capture's file while it runs).
    std::vector<std::string> PartFiles(const std::string& name) const
    {
        std::vector<std::string> out;
        if (DIR* d = ::opendir(m_dir.path().c_str())) {
            while (dirent* e = ::readdir(d))
                if (std::string(e->d_name).rfind(name + ".part-", 0) == 0)
                    out.emplace_back(e->d_name);
            ::closedir(d);
        }
        return out;
    }

    std::string StartTool(qbsim::Options options = {})
    {
        m_sim = std::make_unique<qbsim::Simulator>(std::move(options));
        std::string path = m_sim->Start();
        EXPECT_FALSE(path.empty());
        return path;
    }

    std::string WritePackage(const std::string& name, const std::vector<uint8_t>& image)
    {
        const std::vector<uint8_t> bytes = kelvo::BuildPackage(kelvo::kPackageMain, image);
        WriteFileBytes(m_dir.file(name), std::string(bytes.begin(), bytes.end()));
        return m_dir.file(name);
    }

    static std::vector<uint8_t> Noise(size_t n, unsigned seed)
    {
        std::mt19937 rng(seed);
        std::vector<uint8_t> v(n);
        for (auto& b : v)
            b = uint8_t(rng());
        return v;
    }

    TempDir m_dir;
    std::unique_ptr<qbsim::Simulator> m_sim;
};

void MakeDirs(const std::string& path) { std::system(("mkdir -p '" + path + "'").c_str()); }

TEST_F(CliTest, DetectFindsTheToolByItsUsbIdsAndIdentifiesIt)
{
    const std::string pty = StartTool();
    // A sysfs tree with the tool (interface 1.0 holds ttyACM1) and another CDC device.
    const std::string devices = m_dir.file("sys/bus/usb/devices");
    MakeDirs(devices + "/1-2:1.0/tty/ttyACM1");
    MakeDirs(devices + "/1-2");
    MakeDirs(devices + "/1-3");
    MakeDirs(devices + "/1-3:1.0/tty/ttyACM0");
    WriteFileBytes(devices + "/1-2/idVendor", "0483\n");
    WriteFileBytes(devices + "/1-2/idProduct", "5740\n");
    WriteFileBytes(devices + "/1-3/idVendor", "2341\n");
    WriteFileBytes(devices + "/1-3/idProduct", "0043\n");
    MakeDirs(m_dir.file("dev"));
    ASSERT_EQ(::symlink(pty.c_str(), m_dir.file("dev/ttyACM1").c_str()), 0);

    Result r = Kelvo({"detect", "--sysfs", m_dir.file("sys"), "--dev", m_dir.file("dev")});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "QB345 " + m_dir.file("dev/ttyACM1") + "\n");
    EXPECT_FALSE(FileExists(m_dir.file("LCK..ttyACM1"))) << "the lock goes with the program";

    // No tool on the bus, or a device that does not answer: not found.
    r = Kelvo({"detect", "--sysfs", m_dir.file("nothing")});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("no QB345 found"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST_F(CliTest, APortLockedByARunningProgramIsLeftAloneAStaleLockIsTakenOver)
{
    const std::string pty = StartTool();
    const std::string lock = m_dir.file(kelvo::cli::LockFileName(pty));
    WriteFileBytes(lock, "     " + std::to_string(::getppid()) + "\n");
    Result r = Kelvo({"detect", "--port", pty});
    EXPECT_EQ(r.exit, 5);
    EXPECT_NE(r.err.find("in use by process " + std::to_string(::getppid())), std::string::npos) << r.err;
    EXPECT_TRUE(m_sim->Frames().empty()) << "nothing is sent to a port another program holds";
    // The same port by another name of it, and a lock holding its pid as a binary int.
    const std::string link = m_dir.file("by-id-qb345");
    ASSERT_EQ(::symlink(pty.c_str(), link.c_str()), 0);
    const int self = int(::getppid());
    WriteFileBytes(lock, std::string(reinterpret_cast<const char*>(&self), sizeof self));
    r = Kelvo({"detect", "--port", link});
    EXPECT_EQ(r.exit, 5) << r.err;
    EXPECT_TRUE(m_sim->Frames().empty());

    // A lock just made by another program that has not written its pid yet.
    WriteFileBytes(lock, "");
    r = Kelvo({"detect", "--port", pty});
    EXPECT_EQ(r.exit, 5) << r.err;
    EXPECT_TRUE(FileExists(lock)) << "another program's lock is left alone";

    // No such process, and a number no pid can be (not -1, "every process").
    for (const char* stale : {"   9999999\n", "4294967295\n"}) {
        WriteFileBytes(lock, stale);
        r = Kelvo({"detect", "--port", pty});
        EXPECT_EQ(r.exit, 0) << stale << r.err;
        EXPECT_FALSE(FileExists(lock)) << stale;
    }
}

TEST_F(CliTest, FlashChecksASignedListBesideThePackage)
{
    qbsim::Options o;
    const std::vector<uint8_t> image = Noise(3 * 2048, 9);
    const std::string pty = StartTool(o);
    const std::string package = WritePackage("QB345_V2.34_EN-FR_20191023.bin", image);
    const std::string key = std::string(KELVO_SOURCE_ROOT) + "/tools/updserver/TEST-ONLY-signing-key.pem";
    // A list made as the maker's script makes it, then the package changed.
    ASSERT_EQ(std::system(("cd '" + m_dir.path() + "' && sha256sum QB345_V2.34_EN-FR_20191023.bin > SHA256SUMS && " +
                           "openssl dgst -sha256 -sign '" + key + "' -out SHA256SUMS.sig SHA256SUMS")
                              .c_str()),
              0);
    const std::string signedBytes = ReadFileBytes(package);
    // Another sound package (its own checksum right) under the same name.
    WritePackage("QB345_V2.34_EN-FR_20191023.bin", Noise(3 * 2048, 10));
    Result r = Kelvo({"flash", package, "--port", pty});
    EXPECT_EQ(r.exit, 10) << r.err;
    EXPECT_TRUE(m_sim->Frames().empty()) << "not one frame, not even an identification";
    WriteFileBytes(package, signedBytes);
    r = Kelvo({"flash", package, "--port", pty});
    EXPECT_EQ(r.exit, 0) << r.err;
    ASSERT_EQ(m_sim->Images().size(), 1u);
    EXPECT_EQ(m_sim->Images()[0], image);
}

TEST_F(CliTest, FlashWritesThePackageAndRecordsItsVersion)
{
    qbsim::Options o;
    const std::vector<uint8_t> image = Noise(5 * 2048 + 77, 7);
    const std::string pty = StartTool(o);
    const std::string package = WritePackage("QB345_V2.34_EN-FR_20191023.bin", image);
    const std::string settings = m_dir.file("Kelvo.cfg");
    WriteFileBytes(settings, "[Setting]\r\nLanguage = 0\r\n[Update]\r\nQB345E= V3.00\r\nQB345= V1.04\r\n");

    Result r = Kelvo({"flash", package, "--port", pty, "--record", settings});
    EXPECT_EQ(r.exit, 0) << r.err;
    ASSERT_EQ(m_sim->Images().size(), 1u);
    EXPECT_EQ(m_sim->Images()[0], image);
    EXPECT_NE(r.err.find("Update complete"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("% / Writing...\n"), std::string::npos) << "plain progress lines off a terminal: " << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no bar redrawn off a terminal";
    EXPECT_EQ(ReadFileBytes(settings), "[Setting]\r\nLanguage = 0\r\n[Update]\r\nQB345E= V3.00\r\nQB345= V2.34\r\n");

    // A settings file that is not there is never made: the flash says why it fails.
    r = Kelvo({"flash", package, "--port", pty, "--record", m_dir.file("missing.cfg")});
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_EQ(m_sim->Images().size(), 2u);
    EXPECT_NE(r.err.find("missing.cfg: the tool has the new firmware"), std::string::npos) << r.err;
}

TEST_F(CliTest, ABadPackageIsRefusedBeforeAnythingIsSent)
{
    const std::string pty = StartTool();
    std::string bytes = ReadFileBytes(WritePackage("QB345_V2.34_EN_20191023.bin", Noise(4096, 1)));
    bytes[bytes.size() / 2] ^= 0x01;
    WriteFileBytes(m_dir.file("bad.bin"), bytes);

    Result r = Kelvo({"flash", m_dir.file("bad.bin"), "--port", pty});
    EXPECT_EQ(r.exit, 4);
    EXPECT_NE(r.err.find("This file is not a valid firmware package."), std::string::npos) << r.err;
    r = Kelvo({"flash", m_dir.file("missing.bin"), "--port", pty});
    EXPECT_EQ(r.exit, 3);
    EXPECT_NE(r.err.find("The firmware file cannot be read."), std::string::npos) << r.err;
    // A good package through a pipe cannot be read whole the way a transfer reads it: refused at once.
    const std::string fifo = m_dir.file("pipe.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::system(("(cat '" + m_dir.file("QB345_V2.34_EN_20191023.bin") + "' > '" + fifo + "') 2>/dev/null &").c_str());
    r = Kelvo({"flash", fifo, "--port", pty});
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("The firmware file cannot be read."), std::string::npos) << r.err;
    EXPECT_TRUE(m_sim->Frames().empty());

    // A name that gives no model (and so no version to record) is refused: nothing is written.
    r = Kelvo({"flash", WritePackage("firmware.bin", Noise(100, 2)), "--port", pty, "--record", m_dir.file("c.cfg")});
    EXPECT_EQ(r.exit, 9);
    EXPECT_TRUE(m_sim->Images().empty());
}

TEST_F(CliTest, APackageForAnotherModelIsRefusedBeforeAnyStart)
{
    const std::string pty = StartTool();  // a QB345
    const std::vector<uint8_t> image = Noise(3 * 2048, 4);
    auto noStart = [&](const char* what) {
        for (const std::string& frame : m_sim->Frames())
            EXPECT_NE(frame.rfind("46 58 C0", 0), 0u) << what << ": " << frame;
        EXPECT_TRUE(m_sim->Images().empty()) << what;
    };
    Result r = Kelvo({"flash", WritePackage("QB460_V2.34_EN_20191023.bin", image), "--port", pty});
    EXPECT_EQ(r.exit, 9) << r.err;
    EXPECT_NE(r.err.find("This firmware package is for another scan tool model."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("QB460"), std::string::npos) << r.err;
    noStart("QB460 package");

    // The same image under a name without a model, and with a model it does not give.
    const std::string plain = WritePackage("firmware.bin", image);
    r = Kelvo({"flash", plain, "--port", pty});
    EXPECT_EQ(r.exit, 9) << r.err;
    EXPECT_NE(r.err.find("--model"), std::string::npos) << r.err;
    r = Kelvo({"flash", plain, "--port", pty, "--model", "QB460"});
    EXPECT_EQ(r.exit, 9) << r.err;
    r = Kelvo({"flash", m_dir.file("QB460_V2.34_EN_20191023.bin"), "--port", pty, "--model", "QB345"});
    EXPECT_EQ(r.exit, 9) << "--model never overrules the file name: " << r.err;
    noStart("refusals");

    // --model naming the identified tool writes a file whose name gives none.
    r = Kelvo({"flash", plain, "--port", pty, "--model", "qb345"});
    EXPECT_EQ(r.exit, 0) << r.err;
    ASSERT_EQ(m_sim->Images().size(), 1u);
    EXPECT_EQ(m_sim->Images()[0], image);
}

TEST_F(CliTest, ToolFaultsEndInTheTransferFailure)
{
    const std::string package = WritePackage("QB345_V2.34_EN_20191023.bin", Noise(4 * 2048, 3));
    struct Case {
        const char* what;
        qbsim::Options options;
    };
    std::vector<Case> cases(3);
    cases[0].what = "refused erase";
    cases[0].options.refuse[0xC2] = 0xE2;
    cases[1].what = "wrong status at start";
    cases[1].options.wrongStatus[0xC0] = 0x83;
    cases[2].what = "unplugged at a block";
    cases[2].options.unplugAtBlock = 2;
    for (auto& c : cases) {
        const std::string pty = StartTool(c.options);
        Result r = Kelvo({"flash", package, "--port", pty});
        EXPECT_EQ(r.exit, 6) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find("The update failed."), std::string::npos) << c.what << ": " << r.err;
        EXPECT_TRUE(m_sim->Images().empty()) << c.what;
    }
}

TEST_F(CliTest, CtrlCDuringAWriteIsAnsweredOnceAndStopsTheSecondTime)
{
    qbsim::Options o;
    o.delayMs[0xC2] = 1500;  // a slow erase: the moment of the Ctrl-C
    const std::string pty = StartTool(o);
    const std::vector<uint8_t> image = Noise(4 * 2048, 5);
    const std::string package = WritePackage("QB345_V2.34_EN_20191023.bin", image);
    auto erasing = [&] {
        for (int i = 0; i < 1000; ++i) {
            for (const std::string& frame : m_sim->Frames())
                if (frame.rfind("46 58 C2", 0) == 0)
                    return true;
            ::usleep(10000);
        }
        return false;
    };

    // One Ctrl-C: answered, and the write goes on to its end.
    pid_t pid = Spawn({"flash", package, "--port", pty});
    ASSERT_TRUE(erasing());
    ::kill(pid, SIGINT);
    Result r = Wait(pid);
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.err.find("stopping now leaves the tool needing to be flashed again"), std::string::npos) << r.err;
    ASSERT_EQ(m_sim->Images().size(), 1u);
    EXPECT_EQ(m_sim->Images()[0], image);

    // Two: stopped with its own exit code, the lock given up.
    StartTool(o);
    const std::string pty2 = m_sim->SlavePath();
    pid = Spawn({"flash", package, "--port", pty2});
    ASSERT_TRUE(erasing());
    ::kill(pid, SIGINT);
    ::usleep(200000);
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << "still writing after the first Ctrl-C";
    ::kill(pid, SIGINT);
    r = Wait(pid);
    EXPECT_EQ(r.exit, 130) << r.err;
    EXPECT_NE(r.err.find("the tool needs to be flashed again"), std::string::npos) << r.err;
    EXPECT_TRUE(m_sim->Images().empty());
    EXPECT_FALSE(FileExists(m_dir.file(kelvo::cli::LockFileName(pty2))));
}

// The local update server with the demo content (QB345 2.34 in three sets).
class CliServerTest : public CliTest {
protected:
    void StartServer(const std::string& faults = "")
    {
        const std::string root = m_dir.file("server");
        const std::string portFile = m_dir.file("server.port");
        ::unlink(portFile.c_str());
        if (!FileExists(root + "/QB345/Zendrix.bin")) {
            ASSERT_EQ(std::system((std::string(KELVO_SOURCE_ROOT) + "/tools/updserver/make-demo-content '" + root +
                                   "' " + KELVO_PKGBUILD_PATH + " >/dev/null")
                                      .c_str()),
                      0);
        }
        StopServer();
        m_server = ::fork();
        if (m_server == 0) {
            std::string cmd = "exec python3 " + std::string(KELVO_SOURCE_ROOT) +
                              "/tools/updserver/kelvo-updserver --port 0 --port-file '" + portFile + "' --log '" +
                              m_dir.file("server.log") + "' " + faults + " '" + root + "' >/dev/null";
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200 && ReadFileBytes(portFile).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::string port = ReadFileBytes(portFile);
        while (!port.empty() && (port.back() == '\n' || port.back() == '\r'))
            port.pop_back();
        m_url = "http://127.0.0.1:" + port + "/Update/";
    }
    void StopServer()
    {
        if (m_server > 0) {
            ::kill(m_server, SIGTERM);
            ::waitpid(m_server, nullptr, 0);
        }
        m_server = -1;
    }
    void TearDown() override { StopServer(); }

    pid_t m_server = -1;
    std::string m_url;
};

TEST_F(CliServerTest, UpdatesListsTheNewerPackagesAndDownloadFetchesOne)
{
    StartServer();
    const std::string settings = m_dir.file("Kelvo.cfg");
    WriteFileBytes(settings, "[Update]\r\nQB345= V1.04\r\n");
    Result r = Kelvo({"updates", "--model", "qb345", "--server", m_url, "--settings", settings, "--lang", "ru"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 31), "001  QB345  V2.34  EN/RU  2019/") << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);

    r = Kelvo({"download", "2", "--model", "QB345", "--server", m_url, "--dir", m_dir.path()});
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string path = m_dir.file("QB345_V2.34_EN-PT-SE-NL-HU_20191023.bin");
    EXPECT_EQ(r.out, path + "\n");
    EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(m_dir.file("server/QB345/QB345_V2.34_EN-PT-SE-NL-HU.bin")));
    EXPECT_NE(r.err.find("Download complete"), std::string::npos) << r.err;

    WriteFileBytes(settings, "[Update]\r\nQB345= V2.34\r\n");
    r = Kelvo({"updates", "--model", "QB345", "--server", m_url, "--settings", settings});
    EXPECT_EQ(r.exit, 0);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("No newer firmware is available on the server."), std::string::npos) << r.err;
}

TEST_F(CliServerTest, ServerFaultsEndInTheirOutcomes)
{
    StartServer("--close-after 5000 --only _EN-RU");
    Result r = Kelvo({"download", "3", "--model", "QB345", "--server", m_url, "--dir", m_dir.path()});
    EXPECT_EQ(r.exit, 8) << r.err;
    EXPECT_NE(r.err.find("Download incomplete"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(m_dir.file("QB345_V2.34_EN-RU_20191023.bin")));
    EXPECT_FALSE(FileExists(m_dir.file("QB345_V2.34_EN-RU_20191023.bin.part")));

    // A package announced (and sent) at 100 MB is no package: refused at once,
    // and nothing is left.
    StartServer("--length 104857600 --pad-to 104857600 --only _EN-RU");
    r = Kelvo({"download", "3", "--model", "QB345", "--server", m_url, "--dir", m_dir.path()});
    EXPECT_EQ(r.exit, 8) << r.err;
    EXPECT_NE(r.err.find("Download incomplete"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(m_dir.file("QB345_V2.34_EN-RU_20191023.bin")));
    EXPECT_FALSE(FileExists(m_dir.file("QB345_V2.34_EN-RU_20191023.bin.part")));
    // A size of 0 announced for a body: not read as if endless, nothing kept.
    StartServer("--length 0 --pad-to 80000000 --only _EN-RU");
    r = Kelvo({"download", "3", "--model", "QB345", "--server", m_url, "--dir", m_dir.path()});
    EXPECT_EQ(r.exit, 8) << r.err;
    EXPECT_FALSE(FileExists(m_dir.file("QB345_V2.34_EN-RU_20191023.bin")));
    EXPECT_FALSE(FileExists(m_dir.file("QB345_V2.34_EN-RU_20191023.bin.part")));

    // A catalogue the server does not have is nothing newer; no server at all is no connection.
    StartServer("--status 404");
    r = Kelvo({"updates", "--model", "QB345", "--server", m_url});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.err.find("No newer firmware is available on the server."), std::string::npos) << r.err;
    StopServer();
    r = Kelvo({"updates", "--model", "QB345", "--server", m_url});
    EXPECT_EQ(r.exit, 7) << r.err;
    EXPECT_NE(r.err.find("Cannot connect to the update server."), std::string::npos) << r.err;
}

TEST_F(CliServerTest, DownloadKeepsOnlyWhatTheMakersSignedListVouchesFor)
{
    StartServer();
    const std::string src = KELVO_SOURCE_ROOT;
    const std::string folder = m_dir.file("server/QB345");
    const std::string settings = m_dir.file("Kelvo.cfg");
    WriteFileBytes(settings, "[Update]\r\nQB345= V1.04\r\n");
    const std::string kept = m_dir.file("QB345_V2.34_EN-RU_20191023.bin");
    const std::string package = folder + "/QB345_V2.34_EN-RU.bin";
    const std::string list = folder + "/SHA256SUMS", sig = folder + "/SHA256SUMS.sig";
    const std::string good = ReadFileBytes(package), goodList = ReadFileBytes(list), goodSig = ReadFileBytes(sig);
    auto restore = [&] {
        WriteFileBytes(package, good);
        WriteFileBytes(list, goodList);
        WriteFileBytes(sig, goodSig);
    };
    auto download = [&] {
        return Kelvo({"download", "3", "--model", "QB345", "--server", m_url, "--dir", m_dir.path(), "--settings",
                      settings});
    };

    // The signing script's output verifies with plain openssl, so the
    // maker's own tooling can make the same files.
    EXPECT_EQ(std::system(("openssl dgst -sha256 -verify '" + src + "/tools/updserver/TEST-ONLY-signing-key.pub.pem' " +
                           "-signature '" + sig + "' '" + list + "' >/dev/null")
                              .c_str()),
              0);

    // Each refused, nothing kept, nothing recorded.
    const std::string otherKey = m_dir.file("other.pem");
    ASSERT_EQ(std::system(("openssl ecparam -name prime256v1 -genkey -noout -out '" + otherKey + "'").c_str()), 0);
    const struct {
        std::function<void()> tamper;
        const char* why;
    } cases[] = {
        {[&] {
             std::string b = good;
             b[b.size() / 2] ^= 1;
             WriteFileBytes(package, b);
         },
         "a package changed by one byte"},
        {[&] {
             std::string l = goodList;
             l[l.size() - 2] ^= 1;
             WriteFileBytes(list, l);
         },
         "a list changed by one byte"},
        {[&] {
             ASSERT_EQ(std::system(("openssl dgst -sha256 -sign '" + otherKey + "' -out '" + sig + "' '" + list + "'")
                                       .c_str()),
                       0);
         },
         "a signature by another key"},
        {[&] {
             // A list that names another hash for the package, signed by the maker's key.
             std::string l = goodList;
             const size_t at = l.find("  QB345_V2.34_EN-RU.bin");
             ASSERT_NE(at, std::string::npos);
             l.replace(at - 64, 64, std::string(64, 'a'));
             WriteFileBytes(list, l);
             ASSERT_EQ(std::system(("openssl dgst -sha256 -sign '" + src +
                                    "/tools/updserver/TEST-ONLY-signing-key.pem' -out '" + sig + "' '" + list + "'")
                                       .c_str()),
                       0);
         },
         "a list whose line names another hash"},
    };
    for (const auto& c : cases) {
        restore();
        c.tamper();
        const Result r = download();
        EXPECT_EQ(r.exit, 10) << c.why << ": " << r.err;
        EXPECT_NE(r.err.find("This firmware package is not signed by the maker. Nothing was written to the tool."),
                  std::string::npos)
            << c.why << ": " << r.err;
        EXPECT_FALSE(FileExists(kept)) << c.why;
        EXPECT_FALSE(FileExists(kept + ".part")) << c.why;
    }
    EXPECT_EQ(ReadFileBytes(settings), "[Update]\r\nQB345= V1.04\r\n");

    // The signed package is kept, and the model's server recorded as signing.
    restore();
    Result r = download();
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(kept), good);
    EXPECT_EQ(ReadFileBytes(settings), "[Update]\r\nQB345= V1.04\r\nSignedLists = QB345\r\n");
    ::unlink(kept.c_str());

    // The same server without its list now: refused, no stripping.
    ::unlink(list.c_str());
    ::unlink(sig.c_str());
    r = download();
    EXPECT_EQ(r.exit, 10) << r.err;
    EXPECT_FALSE(FileExists(kept));
    // Without the record (another settings file) it is a server that never signed.
    r = Kelvo({"updates", "--model", "QB345", "--server", m_url});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("unsigned"), std::string::npos) << r.out;
    r = Kelvo({"download", "3", "--model", "QB345", "--server", m_url, "--dir", m_dir.path()});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.err.find("unsigned"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(kept), good);
    restore();
    r = Kelvo({"updates", "--model", "QB345", "--server", m_url});
    EXPECT_EQ(r.out.find("unsigned"), std::string::npos) << "a signing server's rows: " << r.out;
}

TEST_F(CliTest, CaptureKeepsTheWholeReportAndEndsCleanlyOnASignal)
{
    const std::vector<uint8_t> report = Noise(10u << 20, 11);
    WriteFileBytes(m_dir.file("report.src"), std::string(report.begin(), report.end()));
    qbsim::Options o;
    o.reportFile = m_dir.file("report.src");
    o.reportChunk = 16384;
    o.reportPaceMs = 1;
    o.reportDelayMs = 100;
    const std::string pty = StartTool(o);

    const std::string file = m_dir.file("report.bin");
    pid_t pid = Spawn({"capture", file, "--port", pty});
    struct stat st {};
    for (int i = 0; i < 1200; ++i) {
        const std::vector<std::string> parts = PartFiles("report.bin");
        if (parts.size() == 1 && ::stat(m_dir.file(parts[0]).c_str(), &st) == 0 && size_t(st.st_size) >= report.size())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(PartFiles("report.bin").size(), 1u) << "written under a name of its own";
    EXPECT_FALSE(FileExists(file)) << "the file takes its name only at the end";
    ::kill(pid, SIGINT);
    Result r = Wait(pid);
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(ReadFileBytes(file) == std::string(report.begin(), report.end())) << "byte for byte";
    EXPECT_TRUE(PartFiles("report.bin").empty());
}

TEST_F(CliTest, CaptureOfAToolAlreadySendingKeepsWhatWaited)
{
    // The tool sends from its start, before anything identifies it: its first
    // bytes wait in the port when the capture opens it.
    std::string report;
    for (int i = 0; i < 200; ++i)
        report += "line " + std::to_string(1000 + i) + " of a report already under way\r\n";
    WriteFileBytes(m_dir.file("report.src"), report);
    qbsim::Options o;
    o.reportFile = m_dir.file("report.src");
    o.reportChunk = 64;
    o.reportPaceMs = 20;
    o.reportDelayMs = 0;
    o.reportAtOnce = true;
    const std::string pty = StartTool(o);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Result r = Kelvo({"capture", m_dir.file("out.bin"), "--port", pty, "--seconds", "5"});
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::string got = ReadFileBytes(m_dir.file("out.bin"));
    EXPECT_EQ(got.substr(0, 256), report.substr(0, 256)) << "what waited before the identification is kept";
    ASSERT_GE(got.size(), 64u);
    EXPECT_EQ(got.substr(got.size() - 64), report.substr(report.size() - 64)) << "and the rest follows";

    // Standard output that cannot take the report (a full disk) fails the capture.
    const std::string again = StartTool(o);
    r = Wait(Spawn({"capture", "--port", again, "--seconds", "5"}, "/dev/full"));
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("standard output"), std::string::npos) << r.err;
}

TEST_F(CliTest, CodeResolvesPartialCodesAndListsAPrefix)
{
    Result r = Kelvo({"code", "p01"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "P0100 Mass or Volume Air Flow Circuit Malfunction\n");
    r = Kelvo({"code", "--list", "p010"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 10) << r.out;
    EXPECT_EQ(r.out.substr(0, 6), "P0100 ");
    r = Kelvo({"code", "Q123"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.out.empty());

    // Descriptions are ISO 8859-1 bytes and come out as UTF-8.
    WriteFileBytes(m_dir.file("codes.txt"), "P0001 Caf\xE9 r\xE9gulateur\r\nP0001 Later line wins\r\n");
    r = Kelvo({"code", "P0001", "--codes", m_dir.file("codes.txt")});
    EXPECT_EQ(r.out, "P0001 Later line wins\n");
    WriteFileBytes(m_dir.file("codes.txt"), "P0002 Caf\xE9\r\n");
    r = Kelvo({"code", "--list", "P", "--codes", m_dir.file("codes.txt")});
    EXPECT_EQ(r.out, "P0002 Caf\xC3\xA9\n");
    r = Kelvo({"code", "P0002", "--codes", m_dir.file("missing.txt")});
    EXPECT_EQ(r.exit, 3);
}

TEST_F(CliTest, CodeFindsCodesByTheWordsOfTheirDescriptions)
{
    // The shipped data: the O2 heater of bank 2, by the abbreviation and by its
    // word. The data holds it as "HO2S Heater Control Circuit (Bank 2 Sensor 1)"
    // (P0050, heated O2 sensor) and as P0155 "O2 Sensor Heater Circuit ...".
    Result r = Kelvo({"code", "oxygen", "heater", "bank", "2"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 6), "P0050 ") << r.out;
    EXPECT_NE(r.out.find("\nP0155 O2 Sensor Heater Circuit Malfunction (Bank 2 Sensor 1)\n"), std::string::npos);
    EXPECT_GT(r.out.find("Bank 1"), r.out.find("P0155")) << "\"2\" beside \"bank\" before \"Bank 1 Sensor 2\"";
    const std::string oxygen = r.out;
    r = Kelvo({"code", "o2 heater bank 2"});
    EXPECT_EQ(r.out, oxygen) << "o2 is oxygen";
    r = Kelvo({"code", "O2", "Heater"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_NE(r.out.find("P0155 "), std::string::npos);
    EXPECT_EQ(r.out, Kelvo({"code", "oxygen", "heater"}).out);
    // A code-shaped text keeps its answer; words that nothing has are not found.
    r = Kelvo({"code", "P01"});
    EXPECT_EQ(r.out, "P0100 Mass or Volume Air Flow Circuit Malfunction\n");
    r = Kelvo({"code", "heater", "flux-capacitor"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.out.empty());

    // The abbreviation table beside the code file given, and ranked output one a line.
    WriteFileBytes(m_dir.file("codes.txt"), "P0101 Mass Air Flow Range\r\nP0102 Mass Air Flow Low\r\n"
                                            "P0103 Airflow Mass High\r\nP0104 MAF Intermittent\r\n");
    WriteFileBytes(m_dir.file("abbreviations.txt"), "MAF = mass air flow\r\n");
    r = Kelvo({"code", "maf", "--codes", m_dir.file("codes.txt")});
    EXPECT_EQ(r.out, "P0101 Mass Air Flow Range\nP0102 Mass Air Flow Low\nP0104 MAF Intermittent\n");
    r = Kelvo({"code", "air", "mass", "--codes", m_dir.file("codes.txt")});
    EXPECT_EQ(r.out, "P0101 Mass Air Flow Range\nP0102 Mass Air Flow Low\nP0104 MAF Intermittent\n"
                     "P0103 Airflow Mass High\n")
        << "whole words before beginnings";
}

TEST_F(CliTest, CaptureSavesEachReportInTheLibraryAndReportsListsThem)
{
    const std::string report = "QB345 REPORT\r\nVIN: 1HGCM82633A004352\r\nP0135 \xB0\r\n";
    WriteFileBytes(m_dir.file("report.src"), report);
    qbsim::Options o;
    o.reportFile = m_dir.file("report.src");
    o.reportChunk = 16;
    o.reportPaceMs = 5;
    o.reportDelayMs = 0;
    o.reportOnDemand = true;
    const std::string pty = StartTool(o);
    const std::string library = m_dir.file("lib");
    pid_t pid = Spawn({"capture", "--port", pty, "--library", library, "--seconds", "30"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    m_sim->StartReport();
    // Two reports 12 s apart: the first is saved after 10 quiet seconds, the second at the end.
    std::this_thread::sleep_for(std::chrono::milliseconds(12000));
    std::vector<std::string> names;
    auto list = [&] {
        names.clear();
        if (DIR* d = ::opendir(library.c_str())) {
            while (dirent* e = ::readdir(d))
                if (e->d_name[0] != '.')
                    names.emplace_back(e->d_name);
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());
    };
    list();
    ASSERT_EQ(names.size(), 1u) << "saved after the tool fell silent";
    EXPECT_EQ(names[0].substr(19), " QB345 1HGCM82633A004352.txt");
    EXPECT_EQ(ReadFileBytes(library + "/" + names[0]),
              "QB345 REPORT\r\nVIN: 1HGCM82633A004352\r\nP0135 \xC2\xB0\r\n") << "as UTF-8";
    m_sim->StartReport();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ::kill(pid, SIGINT);
    Result r = Wait(pid);
    EXPECT_EQ(r.exit, 0) << r.err;
    list();
    ASSERT_EQ(names.size(), 2u) << "the second at the end of the capture, once";
    EXPECT_EQ(ReadFileBytes(library + "/" + names[1]), ReadFileBytes(library + "/" + names[0]));

    r = Kelvo({"reports", "--library", library});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
    EXPECT_NE(r.out.find("  QB345  1HGCM82633A004352  48.0 B  " + names[1] + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(names[1]) < r.out.find(names[0] + "\n"), true) << "newest first";
    r = Kelvo({"reports", "--library", m_dir.file("none")});
    EXPECT_EQ(r.exit, 1);

    // A library that cannot be written: said, and the capture itself still whole.
    WriteFileBytes(m_dir.file("blocked"), "a file, not a folder");
    const std::string again = StartTool(o);
    pid = Spawn({"capture", m_dir.file("out.bin"), "--port", again, "--library", m_dir.file("blocked"), "--seconds",
                 "4"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    m_sim->StartReport();
    r = Wait(pid);
    EXPECT_EQ(r.exit, 3) << r.err;
    EXPECT_NE(r.err.find("could not be saved"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(m_dir.file("out.bin")), report);
}

} // namespace
