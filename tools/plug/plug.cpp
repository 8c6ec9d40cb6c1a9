#include "tools/plug/plug.h"

#include <windows.h>
#include <dbt.h>

#include <cstdio>
#include <cstdlib>

namespace kelvo::plug {

namespace {
const wchar_t kUsbClass[] = L"{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const wchar_t kSerialMap[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
const wchar_t kToolVidPid[] = L"VID_0483&PID_5740";

std::string Env(const char* name)
{
    char buf[1024];
    DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring SerialValueName(int index)
{
    wchar_t name[32];
    _snwprintf(name, 32, L"\\Device\\USBSER%03d", index);
    name[31] = 0;
    return name;
}

std::wstring InterfaceKey(const std::wstring& vidPid, const std::wstring& serial)
{
    return std::wstring(L"System\\CurrentControlSet\\Control\\DeviceClasses\\") + kUsbClass + L"\\##?#USB#" + vidPid +
           L"#" + serial + L"#" + kUsbClass;
}

std::wstring InstanceKey(const std::wstring& vidPid, const std::wstring& serial)
{
    return L"System\\CurrentControlSet\\Enum\\USB\\" + vidPid + L"\\" + serial;
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

HKEY CreateKey(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    // Volatile: gone with the wineserver, and allowed below a volatile key.
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Single-quoted for /bin/sh (paths here hold no quote of their own).
std::string Quote(const std::string& s) { return "'" + s + "'"; }

bool WaitFor(const std::wstring& path, DWORD ms, bool present)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        const bool there = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (there == present)
            return true;
        if (::GetTickCount() - start > ms)
            return false;
        ::Sleep(20);
    }
}
} // namespace

std::string UnixPrefix() { return Env("WINEPREFIX"); }

std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring w = L"Z:" + Widen(unixPath);
    for (auto& c : w)
        if (c == L'/')
            c = L'\\';
    return w;
}

bool RunUnix(const std::string& shellCommand)
{
    // One argument in Windows command-line rules: backslashes are taken as
    // they are except before a quote, where they and the quote are escaped.
    std::wstring cmd = L"/bin/sh -c \"";
    size_t slashes = 0;
    for (char c : shellCommand) {
        if (c == '"')
            cmd.append(slashes + 1, L'\\');
        slashes = c == '\\' ? slashes + 1 : 0;
        cmd += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    cmd.append(slashes, L'\\');  // the closing quote must stay a quote
    cmd += L'"';
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    // Wine starts a Unix program named by its absolute path but gives back no
    // handle that follows it: the process handle is null and the thread field
    // holds whatever Wine left there. Closing that value once closed this
    // process's own HKEY_LOCAL_MACHINE, so only a real process's handles are
    // closed. Callers wait on files instead.
    if (pi.hProcess) {
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    return true;
}

std::string ReadWholeFile(const std::wstring& path)
{
    std::string out;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    char buf[8192];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    ::CloseHandle(h);
    return out;
}

bool PublishSerialPortRaw(int usbserIndex, const void* data, unsigned bytes)
{
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, kSerialMap);
    if (!key)
        return false;
    const std::wstring name = SerialValueName(usbserIndex);
    const bool ok = ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, static_cast<const BYTE*>(data), bytes) ==
                    ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

bool PublishSerialPort(int usbserIndex, const std::wstring& portName)
{
    return PublishSerialPortRaw(usbserIndex, portName.c_str(),
                                static_cast<unsigned>((portName.size() + 1) * sizeof(wchar_t)));
}

void RemoveSerialPort(int usbserIndex)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialMap, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueW(key, SerialValueName(usbserIndex).c_str());
    ::RegCloseKey(key);
}

bool PublishUsbDevice(const std::wstring& vidPid, const std::wstring& serial, bool linked, const std::wstring& portName)
{
    const std::wstring instance = L"USB\\" + vidPid + L"\\" + serial;
    HKEY dev = CreateKey(HKEY_LOCAL_MACHINE, InstanceKey(vidPid, serial));
    if (!dev)
        return false;
    // SetupDi lists an interface only for a device instance that has a class.
    bool ok = SetString(dev, L"ClassGUID", L"{36fc9e60-c465-11cf-8056-444553540000}");
    if (!portName.empty()) {
        HKEY params = CreateKey(dev, L"Device Parameters");
        ok = params && SetString(params, L"PortName", portName) && ok;
        if (params)
            ::RegCloseKey(params);
    }
    ::RegCloseKey(dev);
    HKEY iface = CreateKey(HKEY_LOCAL_MACHINE, InterfaceKey(vidPid, serial));
    if (!iface)
        return false;
    ok = SetString(iface, L"DeviceInstance", instance) && ok;
    HKEY ref = CreateKey(iface, L"#");
    if (ref) {
        ok = SetString(ref, L"SymbolicLink", L"\\\\?\\USB#" + vidPid + L"#" + serial + L"#" + kUsbClass) && ok;
        HKEY control = CreateKey(ref, L"Control");
        if (control) {
            const DWORD value = linked ? 1 : 0;
            ok = ::RegSetValueExW(control, L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                  sizeof value) == ERROR_SUCCESS &&
                 ok;
            ::RegCloseKey(control);
        } else {
            ok = false;
        }
        ::RegCloseKey(ref);
    } else {
        ok = false;
    }
    ::RegCloseKey(iface);
    return ok;
}

void RemoveUsbDevice(const std::wstring& vidPid, const std::wstring& serial)
{
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, InterfaceKey(vidPid, serial).c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, InterfaceKey(vidPid, serial).c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, InstanceKey(vidPid, serial).c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, InstanceKey(vidPid, serial).c_str());
}

namespace {
const wchar_t kLongVidPid[] = L"VID_0001&PID_0001";
// The longest names the registry and SetupDi take: a device path of 510
// characters, 1026 bytes with the detail structure's fixed part.
std::wstring LongSerial() { return std::wstring(190, L'L'); }
std::wstring LongReference() { return L"#" + std::wstring(254, L'R'); }
} // namespace

bool PublishUnreadableUsbDevice()
{
    const std::wstring serial = LongSerial();
    HKEY dev = CreateKey(HKEY_LOCAL_MACHINE, InstanceKey(kLongVidPid, serial));
    if (!dev)
        return false;
    bool ok = SetString(dev, L"ClassGUID", L"{36fc9e60-c465-11cf-8056-444553540000}");
    ::RegCloseKey(dev);
    HKEY iface = CreateKey(HKEY_LOCAL_MACHINE, InterfaceKey(kLongVidPid, serial));
    if (!iface)
        return false;
    ok = SetString(iface, L"DeviceInstance", std::wstring(L"USB\\") + kLongVidPid + L"\\" + serial) && ok;
    HKEY ref = CreateKey(iface, LongReference());
    if (ref) {
        ok = SetString(ref, L"SymbolicLink", std::wstring(L"\\\\?\\USB#") + kLongVidPid + L"#" + serial + L"#" +
                                                 kUsbClass + L"\\" + LongReference().substr(1)) &&
             ok;
        HKEY control = CreateKey(ref, L"Control");
        const DWORD one = 1;
        ok = control && ::RegSetValueExW(control, L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                                         sizeof one) == ERROR_SUCCESS && ok;
        if (control)
            ::RegCloseKey(control);
        ::RegCloseKey(ref);
    } else {
        ok = false;
    }
    ::RegCloseKey(iface);
    return ok;
}

void RemoveUnreadableUsbDevice()
{
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, InterfaceKey(kLongVidPid, LongSerial()).c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, InterfaceKey(kLongVidPid, LongSerial()).c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, InstanceKey(kLongVidPid, LongSerial()).c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, InstanceKey(kLongVidPid, LongSerial()).c_str());
}

void BroadcastDeviceChange()
{
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG, 3000, &result);
}

bool CSimulatedTool::Plug(const std::string& model, int comPort, int usbserIndex,
                          const std::vector<std::string>& simulatorOptions, bool usbPresence, bool announce)
{
    Unplug(false);
    const std::string bin = Env("KELVO_BIN");
    const std::string prefix = UnixPrefix();
    if (bin.empty() || prefix.empty() || comPort <= 0)
        return false;
    char folder[64];
    std::snprintf(folder, sizeof folder, "/plug/com%d-%lu-%lu", comPort, ::GetCurrentProcessId(), ::GetTickCount());
    m_folder = bin + folder;
    m_link = prefix + "/dosdevices/com" + std::to_string(comPort);
    std::string cmd = "mkdir -p " + Quote(m_folder) + " && echo $$ > " + Quote(m_folder + "/pid.tmp") + " && mv " +
                      Quote(m_folder + "/pid.tmp") + " " + Quote(m_folder + "/pid") + " && exec " +
                      Quote(bin + "/bin/kelvo-qbsim") + " --model " + Quote(model) + " --link " + Quote(m_link) +
                      " --path-file " + Quote(m_folder + "/pty") + " --images " + Quote(m_folder + "/image-") +
                      " --log " + Quote(m_folder + "/frames.log") +
                      // A safety net: a simulator whose test died ends by itself.
                      " --seconds 1800";
    for (const auto& o : simulatorOptions)
        cmd += " " + Quote(o);
    cmd += " > " + Quote(m_folder + "/out.log") + " 2>&1";
    if (!RunUnix(cmd))
        return false;
    m_comPort = comPort;
    if (!WaitFor(WindowsPath(m_folder + "/pty"), 10000, true)) {
        Unplug(false);
        return false;
    }
    m_pid = std::atoi(ReadWholeFile(WindowsPath(m_folder + "/pid")).c_str());
    if (usbserIndex >= 0) {
        m_usbserIndex = usbserIndex;
        PublishSerialPort(usbserIndex, L"COM" + std::to_wstring(comPort));
    }
    if (usbPresence) {
        m_usb = true;
        PublishUsbDevice(kToolVidPid, L"QB" + std::to_wstring(comPort), true, L"COM" + std::to_wstring(comPort));
    }
    if (announce)
        BroadcastDeviceChange();
    return true;
}

void CSimulatedTool::Unplug(bool announce)
{
    if (m_comPort < 0)
        return;
    if (m_usb)
        RemoveUsbDevice(kToolVidPid, L"QB" + std::to_wstring(m_comPort));
    if (m_usbserIndex >= 0)
        RemoveSerialPort(m_usbserIndex);
    // The simulator removes its link when it stops; the link goes in any case.
    if (m_pid > 0)
        RunUnix("kill " + std::to_string(m_pid));
    // The simulator removes its link, then its pty file, when it ends. (The
    // link itself cannot be watched: a link to a closed pty looks absent.)
    if (!WaitFor(WindowsPath(m_folder + "/pty"), 5000, false)) {
        RunUnix("kill -9 " + std::to_string(m_pid) + "; rm -f " + Quote(m_link) + " " + Quote(m_folder + "/pty"));
        WaitFor(WindowsPath(m_folder + "/pty"), 3000, false);
    }
    m_comPort = -1;
    m_usbserIndex = -1;
    m_usb = false;
    m_pid = 0;
    if (announce)
        BroadcastDeviceChange();
}

bool CSimulatedTool::StartReport() const
{
    return m_pid > 0 && RunUnix("kill -USR1 " + std::to_string(m_pid));
}

std::wstring CSimulatedTool::ImagePath(int n) const
{
    return WindowsPath(m_folder + "/image-" + std::to_string(n) + ".bin");
}

std::wstring CSimulatedTool::LogPath() const { return WindowsPath(m_folder + "/frames.log"); }

std::string CSimulatedTool::ReadLog() const { return ReadWholeFile(LogPath()); }

CPrivateMachineKey::CPrivateMachineKey()
{
    m_name = L"Software\\KelvoTestMachine\\" + std::to_wstring(::GetCurrentProcessId());
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, m_name.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    m_key = key;
    m_ok = ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, key) == ERROR_SUCCESS;
}

CPrivateMachineKey::~CPrivateMachineKey()
{
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (m_key) {
        ::RegCloseKey(static_cast<HKEY>(m_key));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_name.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, m_name.c_str());
    }
}

} // namespace kelvo::plug
