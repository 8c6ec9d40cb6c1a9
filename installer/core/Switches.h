#pragma once
// The command lines of KelvoInstall and Uninstall, for unattended use
// (deployment tools, logon scripts, package managers), and the exit codes
// both programs end with. Switches are case-insensitive and begin with "/"
// or "-".
//
// KelvoInstall: /S or /VERYSILENT (no window), /SILENT (a progress window
// only), /SUPPRESSMSGBOXES (accepted: silent runs show none anyway),
// /D=path (the installation base, the rest of the command line, spaces and
// all), /DIR=path or /DIR="path", /LOG=file, /NORESTART, /NODRIVER,
// /NOAUTOSTART, /?. Uninstall: /S, /PURGE.
#include <string>

namespace kelvo::install {

// The exit codes, by the convention Windows Installer set.
constexpr int kExitOk = 0;
constexpr int kExitBadSwitch = 87;         // ERROR_INVALID_PARAMETER: nothing was done
constexpr int kExitCancelled = 1602;       // the user said no
constexpr int kExitFailed = 1603;          // the installation or removal failed
constexpr int kExitKelvoRunning = 1618;    // Kelvo could not be closed
constexpr int kExitRestartNeeded = 3010;   // done; files are replaced when Windows restarts

enum class UiLevel { Full, Silent, VerySilent };

struct InstallSwitches {
    UiLevel ui = UiLevel::Full;
    bool suppressMessageBoxes = false;
    std::wstring base;   // ends in "\", empty: the default
    std::wstring log;    // empty: no log
    bool noRestart = false;
    bool noDriver = false;
    bool noAutostart = false;
    bool help = false;
    std::wstring error;  // the switch that was not understood
    bool Silent() const { return ui != UiLevel::Full; }
};

// The command line after the program's own name. False (and `error` set)
// for an unknown switch, a switch without its value, or a base folder that
// is not a full path.
bool ParseInstallSwitches(const std::wstring& tail, InstallSwitches* out);

struct UninstallSwitches {
    bool silent = false;
    bool purge = false;   // silent removal of the settings and downloads too
    std::wstring error;
};
bool ParseUninstallSwitches(const std::wstring& tail, UninstallSwitches* out);

// A whole command line without the program's name (quoted or not) at its start.
std::wstring CommandTail(const std::wstring& commandLine);

// The text of /?.
std::wstring InstallUsage();

} // namespace kelvo::install
