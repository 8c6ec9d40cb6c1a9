#include "e2e/support/scenario.h"

#include <commctrl.h>

#include <cstdlib>

namespace kelvo::e2e {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::wstring StatusText(HWND main) { return WindowText(::GetDlgItem(main, 1029)); }

HWND FindDescendant(HWND root, int id)
{
    struct Ctx {
        int id;
        HWND found;
    } ctx{id, nullptr};
    struct Cb {
        static BOOL CALLBACK Each(HWND h, LPARAM lp)
        {
            auto* c = reinterpret_cast<Ctx*>(lp);
            if (::GetDlgCtrlID(h) == c->id) {
                c->found = h;
                return FALSE;
            }
            return TRUE;
        }
    };
    ::EnumChildWindows(root, &Cb::Each, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

bool RunUnixAndWait(const std::string& shellCommand, DWORD ms)
{
    static int count = 0;
    const std::string marker =
        "/tmp/kelvo-e2e-done-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count);
    RunUnix("rm -f " + marker + "; (" + shellCommand + "); echo $? > " + marker + ".tmp && mv " + marker + ".tmp " +
                marker);
    const std::wstring file = WindowsPathOf(marker);
    std::string code;
    WaitFor(
        [&] {
            code = ReadWholeFile(file);
            return !code.empty();
        },
        ms);
    ::DeleteFileW(file.c_str());
    return !code.empty() && std::atoi(code.c_str()) == 0;
}

ScratchFolder::ScratchFolder(const std::string& what)
{
    static int count = 0;
    m_dir = "/tmp/kelvo-e2e-" + what + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count);
    RunUnixAndWait("rm -rf " + m_dir + " && mkdir -p " + m_dir);
}

ScratchFolder::~ScratchFolder() { RunUnix("rm -rf " + m_dir); }

bool PlugTool(plug::CSimulatedTool& tool, int comPort, const std::vector<std::string>& options)
{
    // \Device\USBSER000 in the serial port map; the test tells Kelvo itself.
    return tool.Plug("QB345", comPort, 0, options, true, false);
}

std::wstring MakeLocalPackage(const Installation& inst, const std::string& unixImage, int bytes,
                              const std::string& version, const std::string& set, const std::string& date)
{
    const std::string bin = Narrow(Env(L"KELVO_BIN"));
    const std::string update = UnixPathOf(inst.Path(L"update"));
    if (bin.empty() || update.empty())
        return L"";
    if (!RunUnixAndWait("head -c " + std::to_string(bytes) + " /dev/urandom > '" + unixImage + "' && " + bin +
                        "/bin/kelvo-pkgbuild --type 1 --model QB345 --version " + version + " --set " + set +
                        " --date " + date + " --out '" + update + "' '" + unixImage + "' >/dev/null"))
        return L"";
    const std::wstring name = L"update\\QB345_V" + std::wstring(version.begin(), version.end()) + L"_" +
                              std::wstring(set.begin(), set.end()) + L"_" + std::wstring(date.begin(), date.end()) +
                              L".bin";
    const std::wstring path = inst.Path(name);
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? path : L"";
}

UpdateServer::UpdateServer() : m_dir("server")
{
    const std::string bin = Narrow(Env(L"KELVO_BIN"));
    const std::string src = Narrow(Env(L"KELVO_SOURCE"));
    RunUnixAndWait(src + "/tools/updserver/make-demo-content " + m_dir.Unix() + "/root " + bin +
                   "/bin/kelvo-pkgbuild >/dev/null 2>&1");
}

UpdateServer::~UpdateServer() { Stop(); }

bool UpdateServer::Start(const std::string& options, int port)
{
    Stop();
    const std::string src = Narrow(Env(L"KELVO_SOURCE"));
    const std::string tag = std::to_string(++m_starts);
    const std::string portFile = m_dir.Unix() + "/port" + tag;
    RunUnix("(python3 " + src + "/tools/updserver/kelvo-updserver --port " + std::to_string(port) + " --port-file " +
            portFile + " --log " + m_dir.Unix() + "/log " + options + " " + m_dir.Unix() +
            "/root >/dev/null 2>&1 & echo $! > " + m_dir.Unix() + "/pid)");
    std::string text;
    WaitFor(
        [&] {
            text = ReadWholeFile(WindowsPathOf(portFile));
            return !text.empty();
        },
        20000);
    m_port = std::atoi(text.c_str());
    m_running = m_port > 0;
    return m_running;
}

void UpdateServer::Stop()
{
    if (!m_running)
        return;
    // Stopped for good before a restart may take the same port again.
    RunUnixAndWait("p=$(cat " + m_dir.Unix() + "/pid); kill $p 2>/dev/null; i=0; while kill -0 $p 2>/dev/null && "
                   "[ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done; true");
    m_running = false;
}

std::string UpdateServer::Log() const { return ReadWholeFile(m_dir.Windows("log")); }

bool PointDownloadLinkAt(const Installation& inst, const std::string& address)
{
    std::string cfg = inst.ReadFile(L"Kelvo.cfg");
    const size_t at = cfg.find("DownloadLink = ");
    if (at == std::string::npos)
        return false;
    const size_t end = cfg.find("\r\n", at);
    cfg = cfg.substr(0, at) + "DownloadLink = " + address + (end == std::string::npos ? "\r\n" : cfg.substr(end));
    inst.WriteFile(L"Kelvo.cfg", cfg);
    return true;
}

bool KelvoWithTool::Start(const Installation& inst, std::string* why)
{
    m_kelvo = std::make_unique<KelvoProcess>(inst);
    m_main = m_kelvo->WaitMainWindow(kStartMs);
    if (!m_main) {
        *why = "the main window did not appear";
        return false;
    }
    TellDeviceChange();
    if (!WaitFor([&] { return StatusText(m_main).find(L" --- QB345") != std::wstring::npos; }, 10000)) {
        *why = "the tool was not identified; status: " + Narrow(StatusText(m_main));
        return false;
    }
    m_list = FindDescendant(m_main, kIdList);
    m_local = FindDescendant(m_main, kIdLocal);
    m_online = FindDescendant(m_main, kIdOnline);
    if (!m_list || !m_local || !m_online) {
        *why = "the update page's controls are missing";
        return false;
    }
    return true;
}

void KelvoWithTool::TellDeviceChange()
{
    ::SendMessageTimeoutW(m_main, WM_DEVICECHANGE, 0x0007, 0, SMTO_NORMAL, 10000, nullptr);
}

void KelvoWithTool::Click(int buttonId)
{
    HWND button = FindDescendant(m_main, buttonId);
    ::PostMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool KelvoWithTool::ListShows(int buttonId, int rows, DWORD ms)
{
    Click(buttonId);
    return WaitFor([&] { return Rows() == rows; }, ms);
}

int KelvoWithTool::Rows() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }

bool KelvoWithTool::Checked(int row) const
{
    return (::SendMessageW(m_list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12) == 2;
}

std::wstring KelvoWithTool::ItemText(int row, int column) const
{
    return ListItemText(m_kelvo->Pid(), m_list, row, column);
}

void KelvoWithTool::ClickFirstCheckBox()
{
    // Two clicks within the double-click time would be one double click.
    const DWORD since = ::GetTickCount() - m_lastClick;
    const DWORD gap = ::GetDoubleClickTime() + 200;
    if (m_lastClick && since < gap)
        ::Sleep(gap - since);
    HWND header = reinterpret_cast<HWND>(::SendMessageW(m_list, LVM_GETHEADER, 0, 0));
    RECT hr{};
    ::GetWindowRect(header, &hr);
    ClickClient(m_list, 9, (hr.bottom - hr.top) + 9);
    m_lastClick = ::GetTickCount();
}

HWND KelvoWithTool::WaitMessage(DWORD ms) { return WaitWindow(m_kelvo->Pid(), L"Kelvo", ms); }

DWORD KelvoWithTool::Close()
{
    ::PostMessageW(m_main, WM_CLOSE, 0, 0);
    return m_kelvo->WaitExit(10000);
}

} // namespace kelvo::e2e
