#pragma once
// Pieces the update scenarios share: the simulated tool plugged in, packages in
// the installation's "update" folder, the test update server, and a running
// Kelvo with the tool identified and its update page at hand.
#include "e2e/support/driver.h"
#include "tools/plug/plug.h"

#include <memory>
#include <string>
#include <vector>

namespace kelvo::e2e {

// A loaded machine starts Wine programs slowly.
constexpr DWORD kStartMs = 60000;

// Update page controls.
constexpr int kIdList = 1003;
constexpr int kIdLocal = 1010;
constexpr int kIdOnline = 1002;

std::string Narrow(const std::wstring& w);
std::wstring StatusText(HWND main);  // the main window's device status line
HWND FindDescendant(HWND root, int id);

// Runs a shell command line and waits for it to end (through a marker file:
// Unix exit codes do not cross into Wine). True when it exited with 0.
bool RunUnixAndWait(const std::string& shellCommand, DWORD ms = 30000);

// A folder of this test program's own under /tmp, removed at destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& what);
    ~ScratchFolder();
    const std::string& Unix() const { return m_dir; }
    std::wstring Windows(const std::string& name) const { return WindowsPathOf(m_dir + "/" + name); }

private:
    std::string m_dir;
};

// The simulated QB345 on COM<port>, present over USB; the caller tells Kelvo.
bool PlugTool(plug::CSimulatedTool& tool, int comPort, const std::vector<std::string>& options = {});

// A random image of `bytes` bytes at `unixImage`, and a type-1 package of it
// in the installation's "update" folder. The package's Windows path, or "" on failure.
std::wstring MakeLocalPackage(const Installation& inst, const std::string& unixImage, int bytes,
                              const std::string& version = "2.34", const std::string& set = "EN-FR-ES-DE-IT",
                              const std::string& date = "20191023");

// The test update server with the demo catalogue (QB345 2.34 and more), on a
// loopback port; stopped at destruction.
class UpdateServer {
public:
    UpdateServer();
    ~UpdateServer();
    // Fault options are kelvo-updserver's own; port 0 picks a free one.
    bool Start(const std::string& options = "", int port = 0);
    void Stop();
    int Port() const { return m_port; }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/Update/"; }
    std::string Log() const;
    // A file of the served folder by its path there ("QB345/SHA256SUMS"), to
    // change or remove while the server runs.
    std::wstring File(const std::string& name) const { return m_dir.Windows("root/" + name); }

private:
    ScratchFolder m_dir;
    int m_port = 0;
    int m_starts = 0;
    bool m_running = false;
};

// Rewrites DownloadLink in the installation's Kelvo.cfg.
bool PointDownloadLinkAt(const Installation& inst, const std::string& address);

// Kelvo started in the installation, told of the plugged tool, identified.
class KelvoWithTool {
public:
    // False (with a message for the test) when something did not come up.
    bool Start(const Installation& inst, std::string* why);
    KelvoProcess& Process() { return *m_kelvo; }
    HWND Main() const { return m_main; }
    HWND List() const { return m_list; }
    HWND LocalButton() const { return m_local; }
    HWND OnlineButton() const { return m_online; }

    void TellDeviceChange();
    void Click(int buttonId);  // a button of the update page
    // Clicks a list button and waits for that many rows.
    bool ListShows(int buttonId, int rows, DWORD ms = 20000);
    int Rows() const;
    bool Checked(int row) const;
    // A cell's text, read out of Kelvo's own memory ("" when it cannot be read).
    std::wstring ItemText(int row, int column) const;
    // A real click on row 0's check box.
    void ClickFirstCheckBox();
    // The next message box of the program, or null.
    HWND WaitMessage(DWORD ms);
    // Closes the program (nothing asked) and gives its exit code.
    DWORD Close();

private:
    std::unique_ptr<KelvoProcess> m_kelvo;
    HWND m_main = nullptr;
    HWND m_list = nullptr;
    HWND m_local = nullptr;
    HWND m_online = nullptr;
    DWORD m_lastClick = 0;
};

} // namespace kelvo::e2e
