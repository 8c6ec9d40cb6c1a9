#include "cli/commands.h"

#include "app/core/platform.h"
#include "app/core/profile.h"
#include "app/core/textutil.h"
#include "cli/curl_http.h"
#include "cli/english_texts.h"
#include "cli/sysfs.h"
#include "device/core/Identify.h"
#include "device/core/DeviceState.h"
#include "device/core/Frames.h"
#include "device/core/IntPort.h"
#include "dtc/core/DtcTable.h"
#include "dtc/core/DtcWords.h"
#include "report/core/ReportHandoff.h"
#include "report/core/ReportLibrary.h"
#include "update/core/Catalogue.h"
#include "update/core/SignedList.h"
#include "update/core/Download.h"
#include "update/core/Package.h"
#include "update/core/PackageRows.h"
#include "update/core/Transfer.h"
#include "update/core/UpdateSink.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo::cli {
namespace {

// The port number the channel knows the tool's device by.
constexpr int kToolPort = 1;

const char kUsage[] =
    "usage: kelvo [OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  detect              find the QB345 and print its model and port\n"
    "  flash PACKAGE       check a firmware package and write it into the tool\n"
    "  updates             list the newer firmware packages on the update server\n"
    "  download N          fetch package N of that list\n"
    "  code TEXT|WORDS...  resolve a full or partial trouble code, or find codes by words\n"
    "                      of their descriptions (--list PREFIX: every code it begins)\n"
    "  capture [FILE]      receive the tool's report stream, byte for byte\n"
    "                      (--library DIR: each report saved there as Kelvo saves it)\n"
    "  reports             list the saved reports, newest first\n"
    "\n"
    "Options for every command:\n"
    "  --port DEVICE       the tool's serial device (default: found by its USB ids)\n"
    "  --lock-dir DIR      where serial lock files go (default /run/lock or /var/lock)\n"
    "  --help              help for a command: kelvo COMMAND --help\n";

struct CommandHelp {
    const char* name;
    const char* text;
};
const CommandHelp kHelp[] = {
    {"detect", "usage: kelvo detect [--port DEVICE]\n"
               "Finds the QB345 (USB 0483:5740) and its ttyACM device, identifies it and prints\n"
               "the model and the device. Exit code 0 when found, 1 when not.\n"},
    {"flash", "usage: kelvo flash PACKAGE [--port DEVICE] [--model MODEL] [--record SETTINGS]\n"
              "Checks PACKAGE as Kelvo does (nothing is sent to the tool when it is not a valid\n"
              "package), then writes it into the tool with progress. The package's model is the\n"
              "part of its file name before the first \"_\" (QB345_V2.34_EN_20191023.bin); it\n"
              "must be the model the tool reports. --model names the model of a file whose name\n"
              "gives none. --record writes the package's version into the [Update] section of\n"
              "a Kelvo settings file on success. During the write a first Ctrl-C is only\n"
              "answered; a second one stops kelvo (exit code 130) and leaves the tool needing\n"
              "to be flashed again.\n"},
    {"updates", "usage: kelvo updates [--server URL] [--lang XX] [--model MODEL] [--settings FILE]\n"
                "Fetches the model's catalogue (the model the tool reports, or --model) and lists\n"
                "the packages newer than the version recorded in FILE (none: every package) whose\n"
                "language set holds XX (default EN).\n"},
    {"download", "usage: kelvo download N [--server URL] [--lang XX] [--model MODEL] [--settings FILE] [--dir DIR]\n"
                 "Fetches package N of the list `kelvo updates` prints into DIR (default: here),\n"
                 "complete or not at all, and prints its path.\n"},
    {"code", "usage: kelvo code TEXT [--codes FILE]\n"
             "       kelvo code WORDS... [--codes FILE]\n"
             "       kelvo code --list PREFIX [--codes FILE]\n"
             "Resolves a full or partial trouble code (\"p01\" gives P0100) as Kelvo's codes page\n"
             "does and prints the code and its description. Any text that is not shaped like a\n"
             "code (P, C, B or U and hexadecimal digits) finds the codes whose description has a\n"
             "word beginning with each word given, in any order (\"o2 heater bank 2\"), best\n"
             "first, one a line; abbreviations count as their words both ways (abbreviations.txt\n"
             "beside FILE). --list prints every code that starts with PREFIX. FILE defaults to\n"
             "the code file installed with kelvo (share/kelvo/dtc/en_OBDII.txt beside its bin\n"
             "folder). Exit code 1 when none.\n"},
    {"capture", "usage: kelvo capture [FILE] [--library DIR] [--seconds N] [--port DEVICE]\n"
                "Receives the report stream of the tool until interrupted (or for N seconds),\n"
                "byte for byte, into FILE (complete when the command ends; never half-written) or\n"
                "to standard output. With --library, each report is also saved in DIR as Kelvo\n"
                "saves it: one UTF-8 file \"YYYY-MM-DD HH-MM-SS MODEL[ VIN].txt\" per report, a report\n"
                "ending when the tool has been silent for 10 s or the capture ends.\n"},
    {"reports", "usage: kelvo reports [--library DIR]\n"
                "Lists the saved reports of DIR, newest first: date and time, model, VIN (- when\n"
                "none), size and file name. DIR defaults to \"Kelvo Reports\" in your documents\n"
                "folder ($XDG_DOCUMENTS_DIR, else ~/Documents).\n"},
};

const char* HelpOf(const std::string& command)
{
    for (const auto& h : kHelp)
        if (command == h.name)
            return h.text;
    return nullptr;
}

void Say(const std::string& text) { std::fprintf(stderr, "kelvo: %s\n", text.c_str()); }

// Messages the core shows as boxes become lines on standard error; the last
// one tells the exit code.
struct Messages {
    std::wstring last;
    Messages()
    {
        SetUpdateTextSource([](int n) { return EnglishText(n); });
        SetMessageSink([this](const std::wstring& text, unsigned flags) {
            last = text;
            Say(WideToUtf8(text));
            return (flags & 0xF) == kMbYesNo ? kIdYes : kIdOk;
        });
    }
    ~Messages()
    {
        SetMessageSink(nullptr);
        SetUpdateTextSource(nullptr);
    }
    bool Was(int textNumber) const { return !last.empty() && last == EnglishText(textNumber); }
};

// The core's message boxes, as lines through Messages.
struct Telling : IUpdateSink {
    void Progress(int, int) override {}
    void Status(int, const std::wstring&) override {}
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
};

// Progress of a row: a bar on a terminal, a line per step elsewhere.
class ProgressSink : public IUpdateSink {
public:
    ProgressSink() : m_tty(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressSink() override { Finish(); }

    void Progress(int, int percent) override { m_percent = percent; }
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
    void Status(int, const std::wstring& text) override
    {
        const std::string line = WideToUtf8(text);
        if (m_tty) {
            const int filled = m_percent * 30 / 100;
            std::fprintf(stderr, "\r[%-30s] %s\033[K", std::string(size_t(filled < 0 ? 0 : filled), '#').c_str(),
                         line.c_str());
            m_open = true;
        } else if (m_percent / 10 != m_lastTenth || line.find('%') == std::string::npos) {
            // Per block the text changes with every percent: a line per tenth is enough.
            std::fprintf(stderr, "%s\n", line.c_str());
            m_lastTenth = m_percent / 10;
        }
        std::fflush(stderr);
    }
    void Finish()
    {
        if (m_open)
            std::fputc('\n', stderr);
        m_open = false;
    }

private:
    bool m_tty;
    bool m_open = false;
    int m_percent = 0;
    int m_lastTenth = -1;
};

std::string DefaultLockDir()
{
    struct stat st;
    if (::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode))
        return "/run/lock";
    return "/var/lock";
}

// The tool's port, locked for this process and mapped for the channel.
class ToolPort {
public:
    ~ToolPort() { CIntPort::UnmapPort(kToolPort); }

    // Finds (or takes) the device, checks that it can be opened and locks it.
    int Take(const Options& o)
    {
        if (!o.port.empty()) {
            m_path = o.port;
        } else {
            const std::vector<std::string> ttys = FindToolTtys(o.sysfs);
            if (ttys.empty()) {
                Say("no QB345 found (USB 0483:5740); is it plugged in?");
                return kExitNotFound;
            }
            m_path = o.devDir + "/" + ttys.front();
        }
        bool missing = false;
        const std::string problem = PortAccessProblem(m_path, &missing);
        if (!problem.empty()) {
            Say(problem);
            return missing ? kExitNotFound : kExitPortBusy;
        }
        long owner = 0;
        switch (m_lock.Acquire(o.lockDir.empty() ? DefaultLockDir() : o.lockDir, m_path, &owner)) {
        case PortLock::kHeld:
            Say(m_path + " is in use by process " + std::to_string(owner));
            return kExitPortBusy;
        case PortLock::kNoLockDir:  // no lock directory to write: the exclusive open still guards the port
        case PortLock::kLocked:
            break;
        }
        CIntPort::MapPort(kToolPort, m_path);
        return kExitOk;
    }

    // Identification on an open channel: the model name, or empty. A tool
    // that is already sending has report bytes waiting, which the
    // transaction's purge would lose, and may send more around its reply:
    // with `stream`, all of it but the reply goes there in the order it came.
    static std::wstring Identify(CIntPort& channel, std::vector<uint8_t>* stream = nullptr)
    {
        if (stream)
            return IdentifySendingTool(channel, stream);
        uint8_t buf[CIntPort::kMaxRead];
        const uint8_t command[3] = {frames::kMark0, frames::kMark1, frames::kIdentify};
        const int n = channel.Transact(command, 3, kIdentifyTimeoutMs, buf);
        std::wstring model;
        if (n > 0 && !ParseToolReply(buf, n, &model))
            model.clear();
        return model;
    }

    // Take, then open the port, identify the tool and close it again.
    int TakeIdentified(const Options& o, std::wstring* model)
    {
        if (int rc = Take(o))
            return rc;
        return IdentifyOnce(model);
    }

    const std::string& Path() const { return m_path; }
    const std::string& LockPath() const { return m_lock.Path(); }

private:
    int IdentifyOnce(std::wstring* model)
    {
        CIntPort channel;
        if (!channel.Open(kToolPort)) {
            Say("cannot open " + m_path + " (held by another program?)");
            return kExitPortBusy;
        }
        *model = Identify(channel);
        channel.Close();
        if (model->empty()) {
            Say("no QB345 answers on " + m_path);
            return kExitNotFound;
        }
        return kExitOk;
    }

    std::string m_path;
    PortLock m_lock;
};

int Detect(const Options& o)
{
    ToolPort port;
    std::wstring model;
    if (int rc = port.TakeIdentified(o, &model))
        return rc;
    std::printf("%s %s\n", WideToUtf8(model).c_str(), port.Path().c_str());
    return kExitOk;
}

std::string BaseName(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The version a package's file name gives ("QB345_V2.34_EN-FR_20191023.bin"), for `model`.
bool PackageVersion(const std::string& path, uint32_t size, const std::wstring& model, std::wstring* version)
{
    const std::wstring name = Utf8ToWide(BaseName(path));
    const size_t first = name.find(L'_'), second = first == std::wstring::npos ? first : name.find(L'_', first + 1);
    if (second == std::wstring::npos || name.size() < second + 3)
        return false;
    PackageRow row;
    if (!LocalPackageRow(name, size, model, name.substr(second + 1, 2), 0, &row))
        return false;
    *version = row.version;
    return true;
}

// Ctrl-C during a write: the first is only answered, since a tool cut off
// in the middle of its firmware no longer starts; the second stops kelvo
// anyway. Only async-signal-safe calls in the handler.
volatile std::sig_atomic_t g_flashInterrupts = 0;
char g_flashLockPath[4096];
const char kFirstInterrupt[] =
    "\nkelvo: stopping now leaves the tool needing to be flashed again; the write goes on "
    "(Ctrl-C once more stops it anyway)\n";
const char kSecondInterrupt[] = "\nkelvo: stopped; the tool needs to be flashed again\n";

void OnFlashInterrupt(int)
{
    if (g_flashInterrupts == 0) {
        g_flashInterrupts = 1;
        (void)!::write(STDERR_FILENO, kFirstInterrupt, sizeof kFirstInterrupt - 1);
        return;
    }
    (void)!::write(STDERR_FILENO, kSecondInterrupt, sizeof kSecondInterrupt - 1);
    if (g_flashLockPath[0])
        ::unlink(g_flashLockPath);
    ::_exit(kExitInterrupted);
}

// Holds the Ctrl-C answer above for as long as it lives.
class FlashInterrupts {
public:
    explicit FlashInterrupts(const std::string& lockPath)
    {
        g_flashInterrupts = 0;
        const size_t n = lockPath.size() < sizeof g_flashLockPath - 1 ? lockPath.size() : 0;
        std::memcpy(g_flashLockPath, lockPath.data(), n);
        g_flashLockPath[n] = 0;
        struct sigaction sa {};
        sa.sa_handler = OnFlashInterrupt;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGINT, &sa, &m_old);
    }
    ~FlashInterrupts()
    {
        ::sigaction(SIGINT, &m_old, nullptr);
        g_flashLockPath[0] = 0;
    }
    FlashInterrupts(const FlashInterrupts&) = delete;
    FlashInterrupts& operator=(const FlashInterrupts&) = delete;

private:
    struct sigaction m_old {};
};

int Flash(const Options& o)
{
    if (o.args.size() != 2) {
        std::fputs(HelpOf("flash"), stderr);
        return kExitUsage;
    }
    Messages messages;
    const std::string& path = o.args[1];
    // The package is checked before anything goes to the tool.
    std::vector<uint8_t> bytes;
    PackageLayout layout;
    Telling telling;
    switch (LoadPackageFile(Utf8ToWide(path), &bytes, &layout, telling)) {
    case PackageLoad::kLoaded:
        break;
    case PackageLoad::kUnreadable:
        return kExitUnreadable;
    case PackageLoad::kInvalid:
        return kExitBadPackage;
    }
    // A signed list beside the package must vouch for it; without one the
    // package is taken as local packages always were.
    if (CheckLocalPackage(Utf8ToWide(path)) == PackageSignature::kRefused) {
        Say(WideToUtf8(EnglishText(kTextNotSignedByMaker)));
        return kExitNotSigned;
    }

    ToolPort port;
    std::wstring model;
    if (int rc = port.TakeIdentified(o, &model))
        return rc;
    // The package's model is its file name's; --model names it for a file
    // whose name follows no scheme, and never overrules the name.
    std::wstring packageModel = PackageFileModel(Utf8ToWide(path));
    if (!o.model.empty()) {
        const std::wstring given = AsciiUpper(Utf8ToWide(o.model));
        if (!packageModel.empty() && packageModel != given) {
            Say("the file name " + BaseName(path) + " names the model " + WideToUtf8(packageModel) + ", not " +
                WideToUtf8(given) + "; nothing written");
            return kExitOtherModel;
        }
        packageModel = given;
    }
    if (packageModel.empty() || packageModel != AsciiUpper(model)) {
        Say(WideToUtf8(EnglishText(kTextOtherModel)));
        Say(packageModel.empty() ? "the file name " + BaseName(path) + " names no model (give it with --model NAME)"
                                 : "the package is for " + WideToUtf8(packageModel) + ", the tool is a " +
                                       WideToUtf8(model));
        return kExitOtherModel;
    }
    std::wstring version;
    if (!o.record.empty() && !PackageVersion(path, uint32_t(bytes.size()), model, &version)) {
        Say("the file name " + BaseName(path) + " does not name a " + WideToUtf8(model) +
            " package with its version; nothing written");
        return kExitUsage;
    }

    g_nDevicePort = kToolPort;
    int result;
    {
        ProgressSink sink;
        FlashInterrupts interrupts(port.LockPath());
        result = FlashPackage(sink, bytes, layout, packageModel, model, 0);
    }
    g_nDevicePort = -1;
    if (result != 0) {
        if (messages.Was(kTextOtherModel))
            return kExitOtherModel;
        return messages.Was(kTextPortUnavailable) ? kExitPortBusy : kExitTransferFailed;
    }
    if (!o.record.empty() && !RecordInstalledVersion(Utf8ToWide(o.record), model, version)) {
        Say(o.record + ": the tool has the new firmware, but its version could not be recorded here");
        return kExitUnreadable;
    }
    return kExitOk;
}

// The catalogue's rows for the model, as Kelvo's server list shows them.
struct RowCollector : ICataloguePage {
    std::vector<PackageRow> rows;
    int ItemCount() override { return int(rows.size()); }
    void AddRow(const PackageRow& row) override { rows.push_back(row); }
    void EnableLocalButton() override {}
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
};

int FetchRows(const Options& o, IHttpClient& http, std::wstring* base, std::vector<PackageRow>* rows)
{
    std::wstring model = Utf8ToWide(o.model);
    if (model.empty()) {
        ToolPort port;
        if (int rc = port.TakeIdentified(o, &model))
            return rc;
    }
    char folder[] = "/tmp/kelvo-XXXXXX";
    if (!::mkdtemp(folder)) {
        Say(std::string("cannot make a temporary folder: ") + std::strerror(errno));
        return kExitUnreadable;
    }
    CatalogueRequest request;
    request.model = AsciiUpper(model);
    request.language = AsciiUpper(Utf8ToWide(o.language));
    *base = Utf8ToWide(o.server.empty() ? WideToUtf8(kDefaultDownloadLink) : o.server);
    if (!base->empty() && base->back() != L'/')
        *base += L'/';
    request.base = *base;
    request.catalogueFile = Utf8ToWide(std::string(folder) + "/version.sv");
    request.settingsFile = Utf8ToWide(o.settings);
    RowCollector page;
    const CatalogueOutcome outcome = FetchCatalogue(page, http, request);
    ::unlink((std::string(folder) + "/version.sv").c_str());
    ::rmdir(folder);
    switch (outcome) {
    case CatalogueOutcome::kNetworkFailure:
        return kExitNetwork;
    case CatalogueOutcome::kNoModel:
        Say("the server lists no firmware for " + WideToUtf8(request.model));
        return kExitNotFound;
    case CatalogueOutcome::kNothingNewer:
    case CatalogueOutcome::kListed:
        break;
    }
    *rows = page.rows;
    return kExitOk;
}

int Updates(const Options& o)
{
    Messages messages;
    auto http = NewCurlClient();
    std::wstring base;
    std::vector<PackageRow> rows;
    if (int rc = FetchRows(o, *http, &base, &rows))
        return rc;
    for (const PackageRow& r : rows)
        std::printf("%s  %s  %s  %s  %s  %s\n", WideToUtf8(r.number).c_str(), WideToUtf8(r.model).c_str(),
                    WideToUtf8(r.version).c_str(), WideToUtf8(r.languages).c_str(), WideToUtf8(r.release).c_str(),
                    (WideToUtf8(r.size) + (r.status.empty() ? "" : "  " + WideToUtf8(r.status))).c_str());
    return kExitOk;
}

int Download(const Options& o)
{
    char* end = nullptr;
    const long n = o.args.size() == 2 ? std::strtol(o.args[1].c_str(), &end, 10) : 0;
    if (o.args.size() != 2 || !end || *end || n < 1) {
        std::fputs(HelpOf("download"), stderr);
        return kExitUsage;
    }
    Messages messages;
    auto http = NewCurlClient();
    std::wstring base;
    std::vector<PackageRow> rows;
    if (int rc = FetchRows(o, *http, &base, &rows))
        return rc;
    if (size_t(n) > rows.size()) {
        Say("there is no package " + std::to_string(n) + " (the list has " + std::to_string(rows.size()) + ")");
        return kExitNotFound;
    }
    const PackageRow& row = rows[size_t(n) - 1];
    const std::string path = o.dir + "/" + WideToUtf8(PackageFileName(row));
    auto session = http->OpenSession();
    int result;
    {
        ProgressSink sink;
        if (session) {
            result = DownloadFile(*session, PackageDownloadAddress(base, row), Utf8ToWide(path), sink, 0);
        } else {
            result = kDownloadNoAddress;
            sink.Status(0, EnglishText(kTextDownloadIncomplete));
        }
    }
    if (result != kDownloadDone)
        return result == kDownloadNoFile ? kExitUnreadable : kExitDownloadFailed;
    // Kept only when the maker's signed list vouches for it, or the server
    // has never signed (which --settings remembers otherwise).
    const PackageSignature signature =
        CheckServerPackage(*session, PackageDownloadAddress(base, row), Utf8ToWide(path), row.model,
                           Utf8ToWide(o.settings));
    if (signature == PackageSignature::kRefused) {
        ::unlink(path.c_str());
        Say(WideToUtf8(EnglishText(kTextNotSignedByMaker)));
        return kExitNotSigned;
    }
    if (signature == PackageSignature::kUnsigned)
        Say(BaseName(path) + ": " + WideToUtf8(EnglishText(kTextUnsigned)) +
            " (the server publishes no signed package list)");
    std::printf("%s\n", path.c_str());
    return kExitOk;
}

// The installed code file: share/kelvo/dtc beside the program's bin folder,
// or a dtc folder beside the program.
std::string DefaultCodeFile()
{
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "dtc/en_OBDII.txt";
    std::string dir(exe, size_t(n));
    dir = dir.substr(0, dir.rfind('/'));
    const std::string share = dir.substr(0, dir.rfind('/')) + "/share/kelvo/dtc/en_OBDII.txt";
    struct stat st;
    return ::stat(share.c_str(), &st) == 0 ? share : dir + "/dtc/en_OBDII.txt";
}

int Code(const Options& o)
{
    const bool listing = !o.list.empty();
    if (listing ? o.args.size() != 1 : o.args.size() < 2) {
        std::fputs(HelpOf("code"), stderr);
        return kExitUsage;
    }
    const std::string file = o.codes.empty() ? DefaultCodeFile() : o.codes;
    std::string bytes;
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.append(chunk, n);
        const bool failed = std::ferror(f) != 0;
        std::fclose(f);
        if (failed) {
            Say(file + ": cannot be read");
            return kExitUnreadable;
        }
    } else {
        Say(file + ": " + std::strerror(errno));
        return kExitUnreadable;
    }
    CDtcTable table;
    table.LoadBytes(bytes);
    // The file's descriptions are ISO 8859-1: each byte the character of that value.
    auto line = [&](const std::wstring& code) {
        std::wstring description;
        table.FindDtc(code, &description);
        std::printf("%s %s\n", WideToUtf8(code).c_str(), WideToUtf8(description).c_str());
    };
    if (listing) {
        const std::wstring prefix = AsciiUpper(Utf8ToWide(o.list));
        int count = 0;
        std::set<std::wstring> shown;  // a code stored twice is listed once, with its later line
        for (const std::wstring& code : table.m_codes) {
            if (code.compare(0, prefix.size(), prefix) == 0 && table.FindDtc(code) && shown.insert(code).second) {
                line(code);
                ++count;
            }
        }
        if (count == 0) {
            Say("no trouble code starts with " + WideToUtf8(prefix));
            return kExitNotFound;
        }
        return kExitOk;
    }
    std::wstring typed;
    for (size_t i = 1; i < o.args.size(); ++i)
        typed += (i > 1 ? L" " : L"") + Utf8ToWide(o.args[i]);
    if (!IsCodeShaped(typed)) {
        DtcWordIndex words;
        const size_t slash = file.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash);
        if (!words.LoadAbbreviationFile(Utf8ToWide(folder + "/abbreviations.txt"))) {
            const std::string installed = DefaultCodeFile();
            words.LoadAbbreviationFile(Utf8ToWide(installed.substr(0, installed.rfind('/')) + "/abbreviations.txt"));
        }
        words.Build(table);
        const std::vector<int32_t> rows = words.Search(typed);
        std::set<std::wstring> shown;
        for (int32_t row : rows)
            if (shown.insert(table.m_codes[size_t(row)]).second)
                line(table.m_codes[size_t(row)]);
        if (rows.empty()) {
            Say("no trouble code description has the words " + WideToUtf8(typed));
            return kExitNotFound;
        }
        return kExitOk;
    }
    const DtcSearch search = SearchDtc(table, typed);
    if (!search.found) {
        Say("no trouble code " + WideToUtf8(search.text.empty() ? Utf8ToWide(o.args[1]) : search.text));
        return kExitNotFound;
    }
    line(search.code);
    return kExitOk;
}

report::Stamp LocalStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    ::localtime_r(&now, &tm);
    return report::Stamp{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string DefaultLibrary()
{
    const char* docs = std::getenv("XDG_DOCUMENTS_DIR");
    if (docs && *docs)
        return std::string(docs) + "/Kelvo Reports";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/Documents/Kelvo Reports";
}

int Reports(const Options& o)
{
    if (o.args.size() != 1) {
        std::fputs(HelpOf("reports"), stderr);
        return kExitUsage;
    }
    const std::string folder = o.library.empty() ? DefaultLibrary() : o.library;
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Say(folder + ": no report library there");
        return kExitNotFound;
    }
    for (const report::SavedReport& r : report::ListReports(Utf8ToWide(folder))) {
        std::printf("%04d-%02d-%02d %02d:%02d:%02d  %s  %s  %s  %s\n", r.when.year, r.when.month, r.when.day,
                    r.when.hour, r.when.minute, r.when.second, WideToUtf8(r.model).c_str(),
                    r.vin.empty() ? "-" : WideToUtf8(r.vin).c_str(),
                    WideToUtf8(SizeText(uint32_t(r.size > 0xFFFFFFFFu ? 0xFFFFFFFFu : r.size))).c_str(),
                    WideToUtf8(r.fileName).c_str());
    }
    return kExitOk;
}

volatile std::sig_atomic_t g_stopCapture = 0;
void OnStopSignal(int) { g_stopCapture = 1; }

bool WriteAll(int fd, const uint8_t* data, size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return false;
        }
        data += w;
        n -= size_t(w);
    }
    return true;
}

int Capture(const Options& o)
{
    if (o.args.size() > 2) {
        std::fputs(HelpOf("capture"), stderr);
        return kExitUsage;
    }
    report::ReportKeeper keeper;
    // Each report as it ends; a file that cannot be written is said once.
    bool libraryFailed = false;
    auto keep = [&](bool always) {
        if (o.library.empty() || !(always ? keeper.Pending() : keeper.Due(TickCount())))
            return;
        const report::ReportKeeper::Report r = keeper.Take();
        std::wstring saved;
        const report::SaveOutcome outcome = report::SaveReport(Utf8ToWide(o.library), r.when, r.model, r.text, &saved);
        if (outcome == report::SaveOutcome::kSaved) {
            std::fprintf(stderr, "kelvo: report saved as %s\n", WideToUtf8(saved).c_str());
        } else if (outcome != report::SaveOutcome::kNothingToSave && !libraryFailed) {
            Say("a report could not be saved in " + o.library + "; it is in the capture only");
            libraryFailed = true;
        }
    };
    const std::string file = o.args.size() == 2 ? o.args[1] : std::string();
    ToolPort port;
    if (int rc = port.Take(o))
        return rc;
    CIntPort channel;
    if (!channel.Open(kToolPort)) {
        Say("cannot open " + port.Path() + " (held by another program?)");
        return kExitPortBusy;
    }
    // What the tool sent before and around its reply is the report's beginning.
    std::vector<uint8_t> early;
    const std::wstring model = ToolPort::Identify(channel, &early);
    if (model.empty() && early.empty()) {
        Say("no QB345 answers on " + port.Path());
        return kExitNotFound;
    }
    auto library = [&](const uint8_t* data, size_t n) {
        if (!o.library.empty())
            keeper.Add(report::BytesToText(data, n), TickCount(), LocalStamp(), model);
    };

    // The file is written beside its place, under a name of this capture's
    // own, and takes its name at the end, so it is never seen half-written.
    std::string part;
    int fd = STDOUT_FILENO;
    if (!file.empty()) {
        std::string pattern = file + ".part-XXXXXX";
        fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            Say(pattern + ": " + std::strerror(errno));
            return kExitUnreadable;
        }
        part = pattern;
        ::fchmod(fd, 0644);
    }
    g_stopCapture = 0;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    struct sigaction oldInt {}, oldTerm {}, oldHup {}, oldPipe {};
    ::sigaction(SIGINT, &sa, &oldInt);
    ::sigaction(SIGTERM, &sa, &oldTerm);
    ::sigaction(SIGHUP, &sa, &oldHup);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &oldPipe);

    const uint32_t start = TickCount();
    uint8_t buffer[CIntPort::kMaxRead];
    int rc = kExitOk;
    uint64_t total = 0;
    // A closed pipe on standard output simply ends the capture; any other
    // failed write (a full disk, say) is an error, wherever the report goes.
    auto writeFailed = [&] {
        const int error = errno;
        if (!file.empty() || error != EPIPE) {
            Say((file.empty() ? std::string("standard output") : part) + ": " + std::strerror(error));
            rc = kExitUnreadable;
        }
    };
    if (!early.empty()) {
        if (!WriteAll(fd, early.data(), early.size())) {
            writeFailed();
            g_stopCapture = 1;
        }
        total = early.size();
        library(early.data(), early.size());
    }
    while (!g_stopCapture) {
        if (o.seconds >= 0 && double(TickCount() - start) >= o.seconds * 1000.0)
            break;
        const int n = channel.Read(buffer);
        if (n < 0) {
            Say("the tool went away from " + port.Path());
            break;  // what arrived is kept
        }
        if (n == 0) {
            keep(false);
            SleepMs(5);
            continue;
        }
        library(buffer, size_t(n));
        if (!WriteAll(fd, buffer, size_t(n))) {
            writeFailed();
            break;
        }
        total += uint64_t(n);
    }
    channel.Close();
    keep(true);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::sigaction(SIGHUP, &oldHup, nullptr);
    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    if (!file.empty()) {
        if (rc == kExitOk && (::fsync(fd) != 0 || ::close(fd) != 0)) {
            Say(part + ": " + std::strerror(errno));
            rc = kExitUnreadable;
        } else if (rc != kExitOk) {
            ::close(fd);
        }
        if (rc == kExitOk && ::rename(part.c_str(), file.c_str()) != 0) {
            // The capture is whole: it stays, under the name it was written as.
            Say(file + ": " + std::strerror(errno) + "; the report is kept in " + part);
            rc = kExitUnreadable;
        } else if (rc != kExitOk) {
            ::unlink(part.c_str());
        }
    }
    std::fprintf(stderr, "kelvo: %llu bytes received\n", static_cast<unsigned long long>(total));
    // The capture itself is whole; the library missing a report still fails the command.
    return rc == kExitOk && libraryFailed ? kExitUnreadable : rc;
}

} // namespace

bool ParseOptions(int argc, char** argv, Options* out, std::string* error)
{
    struct Valued {
        const char* name;
        std::string Options::*field;
    };
    static const Valued kValued[] = {
        {"--port", &Options::port},         {"--sysfs", &Options::sysfs},     {"--dev", &Options::devDir},
        {"--lock-dir", &Options::lockDir},  {"--server", &Options::server},   {"--lang", &Options::language},
        {"--model", &Options::model},       {"--settings", &Options::settings}, {"--record", &Options::record},
        {"--dir", &Options::dir},           {"--codes", &Options::codes},     {"--list", &Options::list},
        {"--library", &Options::library},
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            out->help = true;
            continue;
        }
        if (arg == "--") {
            for (++i; i < argc; ++i)
                out->args.emplace_back(argv[i]);
            break;
        }
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            out->args.push_back(arg);
            continue;
        }
        std::string value;
        const auto eq = arg.find('=');
        const bool inlineValue = eq != std::string::npos;
        const std::string name = inlineValue ? arg.substr(0, eq) : arg;
        auto take = [&]() {
            if (inlineValue) {
                value = arg.substr(eq + 1);
                return true;
            }
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };
        bool known = false;
        for (const Valued& v : kValued) {
            if (name == v.name) {
                if (!take()) {
                    *error = name + " needs a value";
                    return false;
                }
                out->*(v.field) = value;
                known = true;
            }
        }
        if (name == "--seconds") {
            char* end = nullptr;
            // !(x >= 0) also refuses "nan", which would never end a capture.
            if (!take() || (out->seconds = std::strtod(value.c_str(), &end), !end || *end || !(out->seconds >= 0))) {
                *error = "--seconds needs a number of seconds";
                return false;
            }
            known = true;
        }
        if (!known) {
            *error = "unknown option " + name;
            return false;
        }
    }
    return true;
}

int Run(int argc, char** argv)
{
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, &o, &error)) {
        Say(error);
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (o.args.empty()) {
        std::fputs(kUsage, o.help ? stdout : stderr);
        return o.help ? kExitOk : kExitUsage;
    }
    const std::string& command = o.args[0];
    const char* help = HelpOf(command);
    if (!help) {
        Say("unknown command " + command);
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (o.help) {
        std::fputs(help, stdout);
        return kExitOk;
    }
    if (command == "detect")
        return Detect(o);
    if (command == "flash")
        return Flash(o);
    if (command == "updates")
        return Updates(o);
    if (command == "download")
        return Download(o);
    if (command == "code")
        return Code(o);
    if (command == "reports")
        return Reports(o);
    return Capture(o);
}

} // namespace kelvo::cli
