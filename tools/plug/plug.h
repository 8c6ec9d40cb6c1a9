#pragma once
// "Plugs" the simulated QB345 into the Wine prefix a Windows-side test runs in:
// kelvo-qbsim (a Unix program, started through CreateProcess) opens a pty that
// is linked as $WINEPREFIX/dosdevices/comN, the serial port map publishes it
// as \Device\USBSERnnn = COMn, the USB device keys make SetupDi list a
// 0483:5740 device, and a broadcast WM_DEVICECHANGE tells running windows.
// Needs KELVO_BIN (native build folder) and WINEPREFIX in the environment.
#include <string>
#include <vector>

namespace kelvo::plug {

class CSimulatedTool {
public:
    CSimulatedTool() = default;
    ~CSimulatedTool() { Unplug(); }
    CSimulatedTool(const CSimulatedTool&) = delete;
    CSimulatedTool& operator=(const CSimulatedTool&) = delete;

    // Extra options are kelvo-qbsim's own (README.md there), e.g. {"--delay", "C2:3000"}.
    // usbPresence false: only the COM link and the serial port map (usbserIndex < 0: no map either).
    // With usbPresence the USB device's PortName names COM<comPort>, as Windows has it.
    // announce false: no WM_DEVICECHANGE broadcast. True when the tool answers on its port.
    bool Plug(const std::string& model, int comPort, int usbserIndex,
              const std::vector<std::string>& simulatorOptions = {}, bool usbPresence = true, bool announce = true);
    // Keys removed, simulator stopped, link removed, broadcast. Does nothing when not plugged.
    void Unplug(bool announce = true);
    bool Plugged() const { return m_comPort >= 0; }
    // Has the tool send its report (kelvo-qbsim with --report and --report-on-demand).
    bool StartReport() const;

    int ComPort() const { return m_comPort; }
    std::wstring ImagePath(int n) const;  // Windows path of the n-th image the tool received
    std::wstring LogPath() const;         // Windows path of the frame log (hex, one frame a line)
    std::string ReadLog() const;
    std::string UnixFolder() const { return m_folder; }  // the simulator's files

private:
    int m_comPort = -1;
    int m_usbserIndex = -1;
    bool m_usb = false;
    std::string m_folder;
    std::string m_link;
    int m_pid = 0;
};

// The pieces, for tests that build their own situation.
std::string UnixPrefix();                                // $WINEPREFIX
std::wstring WindowsPath(const std::string& unixPath);   // Z:\... of a Unix path
bool RunUnix(const std::string& shellCommand);           // /bin/sh -c, not waited for
std::string ReadWholeFile(const std::wstring& path);
// Serial port map: the value \Device\USBSERnnn with the given raw bytes (REG_SZ).
bool PublishSerialPort(int usbserIndex, const std::wstring& portName);
bool PublishSerialPortRaw(int usbserIndex, const void* data, unsigned bytes);
void RemoveSerialPort(int usbserIndex);
// A USB device interface of the class SetupDi is asked for. vidPid like
// "VID_0483&PID_5740"; the symbolic link is written in upper case as Windows has it.
// With a port name ("COM7") the instance's Device Parameters\PortName says
// which COM port is this device's, as Windows writes it for a serial device.
bool PublishUsbDevice(const std::wstring& vidPid, const std::wstring& serial, bool linked = true,
                      const std::wstring& portName = L"");
void RemoveUsbDevice(const std::wstring& vidPid, const std::wstring& serial);
// A linked USB device interface (vendor 0001, listed before the scan tool)
// whose device path is longer than any reader's 1 KiB detail buffer: SetupDi
// lists it, but its interface detail cannot be read into that buffer.
bool PublishUnreadableUsbDevice();
void RemoveUnreadableUsbDevice();
void BroadcastDeviceChange();

// Sends every HKEY_LOCAL_MACHINE access of this process to a private volatile
// key while it lives, so that tests of the registry readers neither see nor
// disturb the prefix's real keys.
class CPrivateMachineKey {
public:
    CPrivateMachineKey();
    ~CPrivateMachineKey();
    CPrivateMachineKey(const CPrivateMachineKey&) = delete;
    CPrivateMachineKey& operator=(const CPrivateMachineKey&) = delete;
    bool Ok() const { return m_ok; }

private:
    void* m_key = nullptr;
    std::wstring m_name;
    bool m_ok = false;
};

} // namespace kelvo::plug
