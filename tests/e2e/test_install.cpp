// KelvoInstall.exe under Wine and Xvfb, driven by real clicks: the quit
// question, a package with escaping and damaged entries, Quick Install to the
// default folder (tree, all-users shortcuts, registry, Dozaz off as the
// package's settings say, the driver batch, Kelvo not started), a reinstall
// over a running Kelvo (asked once; No goes back) and a running older Dozaz
// that leaves every file as the package has it, uninstallers that are not
// the registered one (a stray copy, another folder's), Uninstall, Custom
// Install to a typed relative folder, Quick Install upgrading that folder in
// place, and Uninstall with Kelvo.exe gone. Then the unattended runs: a bad
// switch, /S (no window, a log naming every file), an upgrade over a running
// Kelvo, one that does not close (1618), a held file (3010), /D= below a folder
// with spaces, Uninstall /S keeping the user's data and /PURGE. The tests run
// in this order and share the Wine prefix's state.
//
// Architecture: the 32-bit installer in Wine's 64-bit prefix is a WoW64
// process: "Program Files (x86)"; the x86_64 test build: "Program Files".
// The driver batch follows the system's own machine where the system tells
// it (IsWow64Process2: x64.bat for both), else the WoW64 answer.
#include "e2e/support/driver.h"
#include "e2e/support/scenario.h"
#include "support/remove_tree_win.h"
#include "tools/zippack/ZipWriter.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace kelvo::e2e;

namespace {

constexpr DWORD kInstallMs = 120000;  // unpacking plus the 13 s closing animation, on a loaded machine
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvo";
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

bool Is64BitTestBuild() { return Env(L"KELVO_WINE_ARCH") == L"win64"; }

std::wstring DistFolder() { return WindowsPathOf(Narrow(Env(L"KELVO_DIST"))); }
std::wstring InstallerExe()
{
    std::wstring dist = DistFolder();
    return dist.substr(0, dist.rfind(L'\\')) + L"\\KelvoInstall.exe";
}

// The companion programs are built elsewhere: required only when they were in
// the installation folder when the tests were configured.
bool CompanionExpected(const std::wstring& name)
{
    const std::wstring list = L"," + Env(L"KELVO_COMPANIONS") + L",";
    return list.find(L"," + name + L",") != std::wstring::npos;
}
#define REQUIRE_COMPANION(name)                                                                        \
    if (!CompanionExpected(name))                                                                      \
    GTEST_SKIP() << Narrow(name) << " was not in the installation folder when the tests were configured"

std::wstring SpecialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
std::wstring DefaultProgramFolder() { return SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\ZENDRIX\\Kelvo"; }

bool Exists(const std::wstring& p) { return ::GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Relative paths of everything below a folder ("dir\" for folders).
void ListTree(const std::wstring& root, const std::wstring& rel, std::set<std::wstring>& out)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((root + L"\\" + rel + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.insert(rel + name + L"\\");
            ListTree(root, rel + name + L"\\", out);
        } else {
            out.insert(rel + name);
        }
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
}

using kelvo::test::RemoveTree;

// Image paths of the running processes.
std::vector<std::wstring> RunningImages()
{
    std::vector<std::wstring> out;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = ::Process32FirstW(snap, &pe); more; more = ::Process32NextW(snap, &pe)) {
        HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pe.th32ProcessID);
        if (!p)
            continue;
        wchar_t image[1024];
        DWORD n = 1024;
        if (::QueryFullProcessImageNameW(p, 0, image, &n))
            out.push_back(image);
        ::CloseHandle(p);
    }
    ::CloseHandle(snap);
    return out;
}

bool SameNoCase(const std::wstring& a, const std::wstring& b) { return ::lstrcmpiW(a.c_str(), b.c_str()) == 0; }
bool EndsNoCase(const std::wstring& s, const std::wstring& tail)
{
    return s.size() >= tail.size() && SameNoCase(s.substr(s.size() - tail.size()), tail);
}
bool IsRunning(const std::wstring& exe)
{
    for (const auto& image : RunningImages())
        if (SameNoCase(image, exe))
            return true;
    return false;
}

// One run of an installer (or uninstaller). Its process and all it starts
// belong to a job whose notifications record each program started.
class ProgramRun {
public:
    ~ProgramRun()
    {
        m_stop = true;
        if (m_watch.joinable())
            m_watch.join();
        if (m_pi.hProcess) {
            if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
                ::TerminateProcess(m_pi.hProcess, 255);
            ::CloseHandle(m_pi.hProcess);
            ::CloseHandle(m_pi.hThread);
        }
        for (HANDLE p : m_processes)
            if (p)
                ::CloseHandle(p);
        if (m_job)
            ::CloseHandle(m_job);
        if (m_port)
            ::CloseHandle(m_port);
    }

    bool Start(const std::wstring& exe, const std::wstring& folder = L"")
    {
        m_job = ::CreateJobObjectW(nullptr, nullptr);
        m_port = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT assoc{};
        assoc.CompletionKey = m_job;
        assoc.CompletionPort = m_port;
        ::SetInformationJobObject(m_job, JobObjectAssociateCompletionPortInformation, &assoc, sizeof assoc);
        m_watch = std::thread([this] { Watch(); });
        std::wstring cmd = L"\"" + exe + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!::CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &si, &m_pi)) {
            m_pi = {};
            return false;
        }
        ::AssignProcessToJobObject(m_job, m_pi.hProcess);
        ::ResumeThread(m_pi.hThread);
        return true;
    }
    DWORD Pid() const { return m_pi.dwProcessId; }
    bool Ended(DWORD ms)
    {
        return WaitFor([&] { return ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }, ms);
    }
    std::vector<std::wstring> Started()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::wstring> out;
        for (HANDLE p : m_processes) {
            wchar_t image[1024] = L"?";
            DWORD n = 1024;
            if (p)
                ::QueryFullProcessImageNameW(p, 0, image, &n);
            out.push_back(image);
        }
        return out;
    }
    bool StartedOne(const std::wstring& tail)
    {
        for (const auto& s : Started())
            if (EndsNoCase(s, tail))
                return true;
        return false;
    }

private:
    void Watch()
    {
        while (!m_stop) {
            DWORD what = 0;
            ULONG_PTR key = 0;
            LPOVERLAPPED ov = nullptr;
            if (!::GetQueuedCompletionStatus(m_port, &what, &key, &ov, 100))
                continue;
            if (what != JOB_OBJECT_MSG_NEW_PROCESS)
                continue;
            // Just created, the process may not know its image yet: keep it
            // open and ask when the test does.
            const DWORD pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(ov));
            HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_processes.push_back(p);
        }
    }

    PROCESS_INFORMATION m_pi{};
    HANDLE m_job = nullptr;
    HANDLE m_port = nullptr;
    std::thread m_watch;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<HANDLE> m_processes;
};

// The wizard and its pages, found by their controls.
class Wizard {
public:
    explicit Wizard(ProgramRun& run) : m_run(run) {}

    bool Open()
    {
        WaitFor(
            [&] {
                for (HWND h : TopWindows(m_run.Pid()))
                    if (ClassOf(h) == L"#32770" && WindowText(h) == L"Kelvo") {
                        m_main = h;
                        return PageWith(1001) != nullptr;
                    }
                return false;
            },
            kStartMs);
        if (!m_main)
            return false;
        // Input reaches the window only once the display has mapped it.
        WaitFor([&] { return ::GetForegroundWindow() == m_main; }, 10000);
        ::Sleep(500);
        return true;
    }
    HWND Main() const { return m_main; }
    // The page that holds control `id` (1001 way, 1010 custom, progress 1005 copy, 1008 finish).
    HWND PageWith(int id) const
    {
        HWND found = nullptr;
        for (HWND page = ::GetWindow(m_main, GW_CHILD); page; page = ::GetWindow(page, GW_HWNDNEXT))
            if (::GetDlgItem(page, id) && (id != 1005 || ClassOf(::GetDlgItem(page, id)) == L"msctls_progress32"))
                found = page;
        return found;
    }
    bool Shows(int id) const
    {
        HWND page = PageWith(id);
        return page && ::IsWindowVisible(page);
    }
    bool WaitShows(int id, DWORD ms) { return WaitFor([&] { return Shows(id); }, ms); }
    // A real click in the middle of a page's button, once no other window covers it.
    void Click(int pageControl, int id)
    {
        HWND button = ::GetDlgItem(PageWith(pageControl), id);
        RECT r;
        ::GetClientRect(button, &r);
        POINT p{r.right / 2, r.bottom / 2};
        ::ClientToScreen(button, &p);
        WaitFor(
            [&] {
                if (::WindowFromPoint(p) == button)
                    return true;
                ::SetForegroundWindow(m_main);
                ::BringWindowToTop(m_main);
                return false;
            },
            10000, 100);
        ClickClient(button, r.right / 2, r.bottom / 2);
    }
    // A message box of the installer with this caption, or null.
    HWND WaitBox(const std::wstring& caption, DWORD ms)
    {
        HWND box = nullptr;
        WaitFor(
            [&] {
                for (HWND h : TopWindows(m_run.Pid()))
                    if (h != m_main && ClassOf(h) == L"#32770" && WindowText(h) == caption)
                        box = h;
                return box != nullptr;
            },
            ms);
        return box;
    }
    std::wstring Outcome() const { return WindowText(::GetDlgItem(PageWith(1008), 1009)); }

    // From the way page to the finish page; false when a page did not come.
    bool QuickInstall()
    {
        Click(1001, 1001);
        return WaitShows(1005, 10000) && WaitShows(1008, kInstallMs);
    }

private:
    ProgramRun& m_run;
    HWND m_main = nullptr;
};

// Shortcut target, working folder and description through IShellLinkW.
struct LinkData {
    std::wstring path, folder, description;
    bool loaded = false;
};
LinkData ReadLink(const std::wstring& file)
{
    LinkData d;
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        return d;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
            wchar_t buf[MAX_PATH] = {};
            link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH);
            d.path = buf;
            buf[0] = 0;
            link->GetWorkingDirectory(buf, MAX_PATH);
            d.folder = buf;
            buf[0] = 0;
            link->GetDescription(buf, MAX_PATH);
            d.description = buf;
            d.loaded = true;
        }
        persist->Release();
    }
    link->Release();
    return d;
}

// A REG_SZ value with its terminating null, or "<type/size>" when it is not one.
std::wstring RegString(const wchar_t* key, const wchar_t* name)
{
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
        return L"<no key>";
    wchar_t buf[1024] = {};
    DWORD type = 0, size = sizeof buf - sizeof(wchar_t);
    const LONG r = ::RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    ::RegCloseKey(h);
    if (r != ERROR_SUCCESS)
        return L"<no value>";
    const size_t chars = size / sizeof(wchar_t);
    if (type != REG_SZ || chars == 0 || buf[chars - 1] != 0)
        return L"<not a terminated REG_SZ>";
    return buf;
}
bool KeyExists(const wchar_t* key)
{
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(h);
    return true;
}

// The shortcuts are for every user of the machine.
std::wstring ProgramsLink(const wchar_t* name) { return SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\ZENDRIX\\Kelvo\\" + name; }
std::wstring DesktopLink() { return SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Kelvo.lnk"; }
// Where an older installer put them: the installing account's own folders.
std::wstring OwnProgramsLink(const wchar_t* name) { return SpecialFolder(CSIDL_PROGRAMS) + L"\\ZENDRIX\\Kelvo\\" + name; }
std::wstring OwnDesktopLink() { return SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Kelvo.lnk"; }
// Shortcuts as an older installer left them for its own account.
void PlantOwnShortcuts()
{
    ::CreateDirectoryW((SpecialFolder(CSIDL_PROGRAMS) + L"\\ZENDRIX").c_str(), nullptr);
    ::CreateDirectoryW((SpecialFolder(CSIDL_PROGRAMS) + L"\\ZENDRIX\\Kelvo").c_str(), nullptr);
    ::CopyFileW(ProgramsLink(L"Kelvo.lnk").c_str(), OwnProgramsLink(L"Kelvo.lnk").c_str(), FALSE);
    ::CopyFileW(ProgramsLink(L"Uninstall.lnk").c_str(), OwnProgramsLink(L"Uninstall.lnk").c_str(), FALSE);
    ::CopyFileW(DesktopLink().c_str(), OwnDesktopLink().c_str(), FALSE);
}
bool AnyOwnShortcut()
{
    return Exists(OwnProgramsLink(L"Kelvo.lnk")) || Exists(OwnProgramsLink(L"Uninstall.lnk")) || Exists(OwnDesktopLink()) ||
           Exists(SpecialFolder(CSIDL_PROGRAMS) + L"\\ZENDRIX");
}

DWORD RegNumber(const wchar_t* key, const wchar_t* name)
{
    DWORD value = 0xFFFFFFFF, type = 0, size = sizeof value;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0xFFFFFFFF;
    return value;
}

void SetRunValue(const std::wstring& data)
{
    HKEY run = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        ::RegSetValueExW(run, L"Kelvo Dozaz", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(run);
    }
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr) << Narrow(path);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// The first line of a text file without its line end.
std::string FirstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    return line;
}

// What the quick install left, for the tests that look at it.
struct QuickResult {
    bool done = false;
    bool reinstalled = false;
    std::vector<std::wstring> started;
} g_quick;

// The prefix lives across runs: what an interrupted run installed goes first.
void ForgetEarlierInstallations()
{
    const std::wstring program = DefaultProgramFolder();
    if (Exists(program) || KeyExists(kUninstallKey))
        std::printf("removing the installation an earlier run left\n");
    RemoveTree(program);
    ::RemoveDirectoryW(program.substr(0, program.rfind(L'\\')).c_str());
    ::DeleteFileW(ProgramsLink(L"Kelvo.lnk").c_str());
    ::DeleteFileW(ProgramsLink(L"Uninstall.lnk").c_str());
    ::RemoveDirectoryW((SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\ZENDRIX\\Kelvo").c_str());
    ::RemoveDirectoryW((SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\ZENDRIX").c_str());
    ::DeleteFileW(DesktopLink().c_str());
    ::DeleteFileW(OwnProgramsLink(L"Kelvo.lnk").c_str());
    ::DeleteFileW(OwnProgramsLink(L"Uninstall.lnk").c_str());
    ::RemoveDirectoryW((SpecialFolder(CSIDL_PROGRAMS) + L"\\ZENDRIX\\Kelvo").c_str());
    ::RemoveDirectoryW((SpecialFolder(CSIDL_PROGRAMS) + L"\\ZENDRIX").c_str());
    ::DeleteFileW(OwnDesktopLink().c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
    HKEY run = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
        ::RegDeleteValueW(run, L"Kelvo Dozaz");
        ::RegCloseKey(run);
    }
}

class Installer : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::CoInitialize(nullptr);
        ForgetEarlierInstallations();
    }
    static void TearDownTestSuite() { ::CoUninitialize(); }
};

// Runs an Uninstall.exe, answers its question with Yes and waits for its end;
// with `refusal`, a message holding it must follow, and is answered with OK.
// Otherwise the question whether to keep the settings and downloads (asked
// when there are any) is answered with No, and the closing message must say
// that Kelvo was removed.
void RunUninstaller(const std::wstring& exe, const wchar_t* screenshot, const wchar_t* refusal = nullptr)
{
    ProgramRun run;
    ASSERT_TRUE(run.Start(exe));
    HWND box = WaitWindow(run.Pid(), L"Kelvo", kStartMs);
    ASSERT_NE(box, nullptr) << "no question";
    if (screenshot)
        Screenshot(box, screenshot);
    ASSERT_TRUE(PressButton(box, IDYES));
    std::wstring closing;
    for (int step = 0; step < 3 && closing.empty(); ++step) {
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 10000));
        box = WaitWindow(run.Pid(), L"Kelvo", 30000);
        ASSERT_NE(box, nullptr) << "ended without saying how it went";
        const std::wstring text = ChildTexts(box);
        if (text.find(L"Keep your settings") != std::wstring::npos) {
            if (screenshot)
                Screenshot(box, std::wstring(screenshot) + L"-keep");
            PressButton(box, IDNO);
            continue;
        }
        closing = text;
        if (screenshot)
            Screenshot(box, std::wstring(screenshot) + L"-closing");
        PressButton(box, IDOK);
    }
    EXPECT_NE(closing.find(refusal ? refusal : L"Kelvo was removed."), std::wstring::npos) << Narrow(closing);
    EXPECT_TRUE(run.Ended(60000));
}

// Runs Uninstall.exe of an installation and answers its question with Yes.
void Uninstall(const std::wstring& programFolder, const wchar_t* screenshot)
{
    RunUninstaller(programFolder + L"\\Uninstall.exe", screenshot);
    EXPECT_TRUE(WaitFor([&] { return !Exists(programFolder); }, 60000)) << "the folder stays";
}

// What the quick install registered is all still there.
void ExpectTheInstallationIntegrated(const std::wstring& program)
{
    EXPECT_EQ(RegString(kUninstallKey, L"UninstallString"), L"\"" + program + L"\\Uninstall.exe\"");
    EXPECT_TRUE(Exists(ProgramsLink(L"Kelvo.lnk")));
    EXPECT_TRUE(Exists(ProgramsLink(L"Uninstall.lnk")));
    EXPECT_TRUE(Exists(DesktopLink()));
    EXPECT_TRUE(Exists(program + L"\\Kelvo.exe"));
    EXPECT_TRUE(Exists(program + L"\\Uninstall.exe"));
    if (CompanionExpected(L"Dozaz.exe")) {
        EXPECT_EQ(RegString(kRunKey, L"Kelvo Dozaz"), L"\"" + program + L"\\Dozaz.exe\"");
        EXPECT_TRUE(IsRunning(program + L"\\Dozaz.exe"));
    }
}

TEST_F(Installer, QuitQuestionOnTheFirstPage)
{
    ProgramRun run;
    ASSERT_TRUE(run.Start(InstallerExe()));
    Wizard wizard(run);
    ASSERT_TRUE(wizard.Open());
    ::Sleep(500);
    Screenshot(wizard.Main(), L"install-page-way");

    wizard.Click(1001, 10087);  // the close button
    HWND box = wizard.WaitBox(L"Confirm", 20000);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(ChildTexts(box).find(L"Are you sure to quit the install of Kelvo ?"), std::wstring::npos);
    Screenshot(box, L"install-quit-question");
    PressButton(box, IDNO);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 10000));
    EXPECT_FALSE(run.Ended(500)) << "No keeps the wizard";

    ::PostMessageW(wizard.Main(), WM_CLOSE, 0, 0);
    box = wizard.WaitBox(L"Confirm", 20000);
    ASSERT_NE(box, nullptr) << "WM_CLOSE asks too";
    PressButton(box, IDYES);
    EXPECT_TRUE(run.Ended(20000));
    EXPECT_FALSE(Exists(DefaultProgramFolder()));
}

TEST_F(Installer, APackageWithEscapingAndDamagedEntriesSaysSoOnTheFinishPage)
{
    ScratchFolder scratch("crafted");
    const std::wstring exe = scratch.Windows("KelvoInstall.exe");
    ASSERT_TRUE(::CopyFileW(InstallerExe().c_str(), exe.c_str(), FALSE));
    std::vector<kelvo::zip::Entry> entries{kelvo::zip::FolderEntry("Kelvo/", 0, 0),
                                           kelvo::zip::FileEntry("Kelvo/readme.txt", "fine", 0, 0),
                                           kelvo::zip::FileEntry("../escaped.txt", "outside", 0, 0),
                                           kelvo::zip::FileEntry("Kelvo/damaged.txt", std::string(4000, 'x'), 0, 0),
                                           kelvo::zip::FileEntry("Kelvo/dotted.txt.", "dropped dot", 0, 0),
                                           kelvo::zip::FileEntry("Kelvo/Uninstall.exe", "MZ", 0, 0)};
    entries[3].forceCrc = true;
    entries[3].crc = 12345;
    const std::string zip = kelvo::zip::BuildArchive(entries);
    HANDLE update = ::BeginUpdateResourceW(exe.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(::UpdateResourceW(update, L"ZIP", MAKEINTRESOURCEW(133), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                  const_cast<char*>(zip.data()), static_cast<DWORD>(zip.size())));
    ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));

    ProgramRun run;
    ASSERT_TRUE(run.Start(exe));
    Wizard wizard(run);
    ASSERT_TRUE(wizard.Open());
    wizard.Click(1001, 1002);  // Custom Install
    ASSERT_TRUE(wizard.WaitShows(1010, 10000));
    const std::wstring base = scratch.Windows("base");
    // A file of the folder held open as a program of another would hold it:
    // the new one waits beside it for the next restart.
    const std::wstring held = base + L"\\ZENDRIX\\Kelvo\\Uninstall.exe";
    ASSERT_TRUE(::CreateDirectoryW(base.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((base + L"\\ZENDRIX").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((base + L"\\ZENDRIX\\Kelvo").c_str(), nullptr));
    WriteBytes(held, "old uninstaller");
    HANDLE holder = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ::SendMessageW(::GetDlgItem(wizard.PageWith(1010), 1002), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(base.c_str()));
    wizard.Click(1010, 1004);  // Install
    ASSERT_TRUE(wizard.WaitShows(1008, kInstallMs));
    ::CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(held), "old uninstaller");
    EXPECT_EQ(ReadWholeFile(held + L".kelvo-new"), "MZ");
    {
        // Scheduled with the system, new over old (Wine keeps the list where Windows does).
        HKEY key = nullptr;
        std::wstring pending;
        const wchar_t session[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, session, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            std::vector<wchar_t> buf(65536, L'\0');
            DWORD type = 0, size = static_cast<DWORD>((buf.size() - 2) * sizeof(wchar_t));
            if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                                   &size) == ERROR_SUCCESS)
                for (const wchar_t* p = buf.data(); *p; p += wcslen(p) + 1)
                    pending += std::wstring(p) + L"|";
            ::RegDeleteValueW(key, L"PendingFileRenameOperations");
            ::RegCloseKey(key);
        }
        std::wstring lower = pending;
        for (auto& c : lower)
            c = static_cast<wchar_t>(towlower(c));
        EXPECT_NE(lower.find(L"\\zendrix\\kelvo\\uninstall.exe.kelvo-new|"), std::wstring::npos) << Narrow(pending);
        EXPECT_NE(lower.find(L"\\zendrix\\kelvo\\uninstall.exe|"), std::wstring::npos) << Narrow(pending);
    }
    ::Sleep(300);
    Screenshot(wizard.Main(), L"install-page-finish-skipped-and-failed");
    const std::wstring outcome = wizard.Outcome();
    // No Kelvo.exe in the package: a failure, though some files were written.
    EXPECT_EQ(outcome.find(L"Kelvo is not installed: Kelvo.exe is missing from " + base + L"\\ZENDRIX\\Kelvo."), 0u)
        << Narrow(outcome);
    EXPECT_EQ(outcome.find(L"Kelvo is installed"), std::wstring::npos) << Narrow(outcome);
    EXPECT_NE(outcome.find(L"1 file was in use and is replaced when Windows restarts: Uninstall.exe. Restart Windows to "
                           L"complete the installation."),
              std::wstring::npos)
        << Narrow(outcome);
    // Every file the user must know about is named.
    EXPECT_NE(outcome.find(L"2 entries of the package were skipped (their names lead outside the installation folder "
                           L"or cannot be Windows file names): ../escaped.txt and Kelvo/dotted.txt.."),
              std::wstring::npos)
        << Narrow(outcome);
    EXPECT_NE(outcome.find(L"1 file could not be written (damaged, no room or no access), any old version of it "
                           L"unchanged: damaged.txt."),
              std::wstring::npos)
        << Narrow(outcome);
    EXPECT_EQ(ReadWholeFile(base + L"\\ZENDRIX\\Kelvo\\readme.txt"), "fine");
    EXPECT_FALSE(Exists(base + L"\\ZENDRIX\\Kelvo\\damaged.txt"));
    EXPECT_FALSE(Exists(base + L"\\escaped.txt"));
    EXPECT_FALSE(Exists(base + L"\\ZENDRIX\\escaped.txt"));
    EXPECT_FALSE(Exists(base + L"\\ZENDRIX\\Kelvo\\dotted.txt"));
    EXPECT_TRUE(Exists(base + L"\\ZENDRIX\\Kelvo\\Uninstall.exe"));

    // Finish: an uninstaller without Kelvo.exe, which would refuse to act, is not registered.
    wizard.Click(1008, 1008);
    EXPECT_TRUE(run.Ended(30000));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(Exists(ProgramsLink(L"Uninstall.lnk")));
    EXPECT_FALSE(Exists(ProgramsLink(L"Kelvo.lnk")));
    EXPECT_FALSE(Exists(DesktopLink()));
}

TEST_F(Installer, QuickInstallToTheDefaultFolder)
{
    const std::wstring program = DefaultProgramFolder();
    EXPECT_EQ(program.find(L"Program Files (x86)") != std::wstring::npos, !Is64BitTestBuild())
        << "the 32-bit installer is a WoW64 process: " << Narrow(program);
    // A Run value some earlier installation left: the package's settings say Dozaz is off.
    SetRunValue(L"\"C:\\stale\\ZENDRIX\\Kelvo\\Dozaz.exe\"");
    ProgramRun run;
    ASSERT_TRUE(run.Start(InstallerExe()));
    Wizard wizard(run);
    ASSERT_TRUE(wizard.Open());
    wizard.Click(1001, 1001);  // Quick Install
    ASSERT_TRUE(wizard.WaitShows(1005, 10000));
    ::Sleep(1500);
    Screenshot(wizard.Main(), L"install-page-copy");
    // Unpacking: closing is ignored, nothing is asked.
    ::PostMessageW(wizard.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(wizard.WaitBox(L"Confirm", 1500), nullptr) << "WM_CLOSE while unpacking asked to quit";
    ASSERT_TRUE(wizard.WaitShows(1008, kInstallMs));
    ::PostMessageW(wizard.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(wizard.WaitBox(L"Confirm", 1500), nullptr) << "WM_CLOSE on the finish page asked to quit";
    ::Sleep(300);
    Screenshot(wizard.Main(), L"install-page-finish");
    EXPECT_NE(wizard.Outcome().find(L"Kelvo is installed in " + program), std::wstring::npos) << Narrow(wizard.Outcome());
    wizard.Click(1008, 1008);
    ASSERT_TRUE(run.Ended(30000));
    // The batch runs on its own; it ends by deleting itself.
    EXPECT_TRUE(WaitFor([&] { return !Exists(program + L"\\x64.bat") && !Exists(program + L"\\x86.bat"); }, 60000))
        << "a driver batch file stays";
    ::Sleep(500);
    g_quick.started = run.Started();
    g_quick.done = true;
}

TEST_F(Installer, InstalledTreeEqualsTheInstallationFolder)
{
    ASSERT_TRUE(g_quick.done);
    std::set<std::wstring> dist, installed;
    ListTree(DistFolder(), L"", dist);
    ListTree(DefaultProgramFolder(), L"", installed);
    // The driver batch files delete themselves once they have run.
    dist.erase(L"x64.bat");
    dist.erase(L"x86.bat");
    EXPECT_EQ(installed, dist);
    for (const auto& rel : dist) {
        if (rel.back() != L'\\') {
            EXPECT_TRUE(ReadWholeFile(DistFolder() + L"\\" + rel) == ReadWholeFile(DefaultProgramFolder() + L"\\" + rel))
                << Narrow(rel);
        }
    }
}

TEST_F(Installer, ShortcutsResolveToTheProgramAndTheUninstaller)
{
    ASSERT_TRUE(g_quick.done);
    const std::wstring program = DefaultProgramFolder();
    const LinkData start = ReadLink(ProgramsLink(L"Kelvo.lnk"));
    const LinkData uninstall = ReadLink(ProgramsLink(L"Uninstall.lnk"));
    const LinkData desktop = ReadLink(DesktopLink());
    for (const LinkData* l : {&start, &desktop}) {
        ASSERT_TRUE(l->loaded);
        EXPECT_TRUE(SameNoCase(l->path, program + L"\\Kelvo.exe")) << Narrow(l->path);
        EXPECT_TRUE(SameNoCase(l->folder, program)) << Narrow(l->folder);
        EXPECT_EQ(l->description, L"Launch Kelvo");
    }
    ASSERT_TRUE(uninstall.loaded);
    EXPECT_TRUE(SameNoCase(uninstall.path, program + L"\\Uninstall.exe")) << Narrow(uninstall.path);
    EXPECT_TRUE(SameNoCase(uninstall.folder, program));
    EXPECT_EQ(uninstall.description, L"Uninstall Kelvo");
}

TEST_F(Installer, UninstallEntryCarriesTheVersionTheFolderAndTheSize)
{
    ASSERT_TRUE(g_quick.done);
    const std::wstring program = DefaultProgramFolder();
    EXPECT_EQ(RegString(kUninstallKey, L"DisplayIcon"), program + L"\\Kelvo.exe");
    EXPECT_EQ(RegString(kUninstallKey, L"UninstallString"), L"\"" + program + L"\\Uninstall.exe\"");
    // The version the program shows in its title, not a fixed one.
    const std::string version = FirstLine(ReadWholeFile(DistFolder() + L"\\version.txt"));
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(RegString(kUninstallKey, L"DisplayVersion"), std::wstring(version.begin(), version.end()));
    EXPECT_EQ(RegString(kUninstallKey, L"DisplayName"), L"Kelvo");
    EXPECT_EQ(RegString(kUninstallKey, L"Publisher"), L"Zendrix");
    EXPECT_EQ(RegString(kUninstallKey, L"InstallLocation"), program);
    // The folder's size in KB: the package's files, the batch files gone by now or not.
    std::set<std::wstring> dist;
    ListTree(DistFolder(), L"", dist);
    unsigned long long bytes = 0, batches = 0;
    for (const auto& rel : dist)
        if (rel.back() != L'\\') {
            const unsigned long long n = ReadWholeFile(DistFolder() + L"\\" + rel).size();
            bytes += n;
            if (rel == L"x64.bat" || rel == L"x86.bat")
                batches += n;
        }
    const DWORD kb = RegNumber(kUninstallKey, L"EstimatedSize");
    EXPECT_GE(kb, (bytes - batches) / 1024) << bytes;
    EXPECT_LE(kb, (bytes + 1023) / 1024) << bytes;
    EXPECT_EQ(RegNumber(kUninstallKey, L"NoModify"), 1u);
    EXPECT_EQ(RegNumber(kUninstallKey, L"NoRepair"), 1u);
}

TEST_F(Installer, TheSettingsSayDozazIsOffSoItNeitherRunsNorRunsAtLogon)
{
    ASSERT_TRUE(g_quick.done);
    REQUIRE_COMPANION(L"Dozaz.exe");
    const std::wstring program = DefaultProgramFolder();
    ASSERT_NE(ReadWholeFile(program + L"\\Kelvo.cfg").find("AutoUpdate = 0"), std::string::npos);
    EXPECT_EQ(RegString(kRunKey, L"Kelvo Dozaz"), L"<no value>") << "the stale value goes too";
    ::Sleep(3000);
    EXPECT_FALSE(IsRunning(program + L"\\Dozaz.exe"));
}

TEST_F(Installer, TheDriverBatchOfThisArchitectureRanAndKelvoDidNot)
{
    ASSERT_TRUE(g_quick.done);
    // The system's own machine where it tells it (x64 here), else the WoW64 answer.
    typedef BOOL(WINAPI * IsWow64Fn2)(HANDLE, USHORT*, USHORT*);
    auto wow64Process2 =
        reinterpret_cast<IsWow64Fn2>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "IsWow64Process2"));
    USHORT process = 0, native = 0;
    const bool machineKnown = wow64Process2 && wow64Process2(::GetCurrentProcess(), &process, &native);
    if (machineKnown) {
        ASSERT_EQ(native, IMAGE_FILE_MACHINE_AMD64);
    }
    const bool x64 = machineKnown || !Is64BitTestBuild();
    const std::wstring expected = x64 ? L"\\x64\\devcon.exe" : L"\\x86\\devcon.exe";
    const std::wstring other = x64 ? L"\\x86\\devcon.exe" : L"\\x64\\devcon.exe";
    std::wstring started;
    bool ran = false, otherRan = false, kelvo = false;
    for (const auto& s : g_quick.started) {
        started += s + L"\n";
        ran |= EndsNoCase(s, expected);
        otherRan |= EndsNoCase(s, other);
        kelvo |= EndsNoCase(s, L"\\Kelvo.exe");
    }
    EXPECT_TRUE(ran) << "started:\n" << Narrow(started);
    EXPECT_FALSE(otherRan);
    EXPECT_FALSE(kelvo) << "the installer does not start Kelvo";
    EXPECT_FALSE(IsRunning(DefaultProgramFolder() + L"\\Kelvo.exe"));
}

// The question about a running Kelvo, or null.
HWND WaitKelvoQuestion(ProgramRun& run, Wizard& wizard, DWORD ms)
{
    HWND box = wizard.WaitBox(L"Kelvo", ms);
    return box && ChildTexts(box).find(L"Kelvo is running.") != std::wstring::npos ? box : nullptr;
}

TEST_F(Installer, AReinstallOverARunningKelvoAndOlderDozazLeavesEveryFileAsThePackageHasIt)
{
    ASSERT_TRUE(g_quick.done);
    const std::wstring program = DefaultProgramFolder();
    // The user's settings: Dozaz on, their language and history, and the link of an older release.
    const std::string mine = "[Update]\r\nQB345= V2.34\r\n\r\n[DTC]\r\nHistoryNum= 1\r\n\r\nHistoryNum01 = U0100\r\n"
                             "[Setting]\r\nLanguage = 9\r\nSkin = 3\r\nAutoUpdate = 1\r\n"
                             "DownloadLink = http://old.example/Update/\r\n";
    WriteBytes(program + L"\\Kelvo.cfg", mine);
    const std::string shipped = ReadWholeFile(DistFolder() + L"\\Kelvo.cfg");
    const size_t at = shipped.find("DownloadLink = ");
    ASSERT_NE(at, std::string::npos);
    const std::string link = FirstLine(shipped.substr(at + 15));
    std::string merged = mine;
    merged.replace(merged.find("http://old.example/Update/"), 26, link);

    ::DeleteFileW((program + L"\\language\\en_TEXT.cbf").c_str());
    // Older programs of their own (bytes appended still run), running from the
    // folder; Dozaz written first, as Kelvo starts it when it is on.
    const bool haveDozaz = CompanionExpected(L"Dozaz.exe");
    if (haveDozaz)
        WriteBytes(program + L"\\Dozaz.exe", ReadWholeFile(DistFolder() + L"\\Dozaz.exe") + "older dozaz");
    WriteBytes(program + L"\\Kelvo.exe", ReadWholeFile(DistFolder() + L"\\Kelvo.exe") + "older kelvo");
    ProgramRun kelvo;
    ASSERT_TRUE(kelvo.Start(program + L"\\Kelvo.exe", program));
    ASSERT_TRUE(WaitFor([&] { return !TopWindows(kelvo.Pid()).empty(); }, kStartMs)) << "Kelvo did not start";
    for (HWND h : TopWindows(kelvo.Pid()))
        ::ShowWindow(h, SW_MINIMIZE);  // out of the way of the wizard's buttons
    ProgramRun dozaz;  // or the one Kelvo started: one copy runs
    if (haveDozaz) {
        ASSERT_TRUE(dozaz.Start(program + L"\\Dozaz.exe", program));
        ASSERT_TRUE(WaitFor([&] { return IsRunning(program + L"\\Dozaz.exe"); }, kStartMs));
    }
    PlantOwnShortcuts();
    ASSERT_TRUE(AnyOwnShortcut());

    ProgramRun run;
    ASSERT_TRUE(run.Start(InstallerExe()));
    Wizard wizard(run);
    ASSERT_TRUE(wizard.Open());
    // No: back on the way page, nothing touched.
    wizard.Click(1001, 1001);
    HWND box = WaitKelvoQuestion(run, wizard, 20000);
    ASSERT_NE(box, nullptr) << "not asked about the running Kelvo";
    ::Sleep(300);
    Screenshot(box, L"install-close-kelvo-question");
    EXPECT_NE(ChildTexts(box).find(L"Close Kelvo now and go on with the installation?"), std::wstring::npos)
        << Narrow(ChildTexts(box));
    PressButton(box, IDNO);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 10000));
    EXPECT_TRUE(wizard.WaitShows(1001, 5000)) << "No goes back to the choice page";
    ::Sleep(1500);
    EXPECT_FALSE(wizard.Shows(1005)) << "the unpacking started";
    EXPECT_TRUE(IsRunning(program + L"\\Kelvo.exe"));
    EXPECT_EQ(ReadWholeFile(program + L"\\Kelvo.cfg"), mine);

    // Yes: asked once, Kelvo and Dozaz closed, every file written.
    wizard.Click(1001, 1001);
    box = WaitKelvoQuestion(run, wizard, 20000);
    ASSERT_NE(box, nullptr);
    PressButton(box, IDYES);
    ASSERT_TRUE(wizard.WaitShows(1005, 30000));
    EXPECT_TRUE(kelvo.Ended(20000)) << "Kelvo was not closed";
    EXPECT_EQ(WaitKelvoQuestion(run, wizard, 1000), nullptr) << "asked twice";
    ASSERT_TRUE(wizard.WaitShows(1008, kInstallMs));
    ::Sleep(300);
    Screenshot(wizard.Main(), L"install-page-finish-reinstall");
    const std::wstring outcome = wizard.Outcome();
    // The driver's line in the installation's language (the kept settings say Russian).
    EXPECT_EQ(outcome, L"Kelvo is installed in " + program + L".\n"
                       L"\u0414\u0440\u0430\u0439\u0432\u0435\u0440 \u0441\u043A\u0430\u043D\u0435\u0440\u0430 "
                       L"\u0443\u0441\u0442\u0430\u043D\u043E\u0432\u043B\u0435\u043D.")
        << Narrow(outcome);
    wizard.Click(1008, 1008);
    ASSERT_TRUE(run.Ended(30000));

    EXPECT_EQ(ReadWholeFile(program + L"\\Kelvo.cfg"), merged) << "the user's keys, the package's DownloadLink";
    std::set<std::wstring> dist;
    ListTree(DistFolder(), L"", dist);
    for (const auto& rel : dist) {
        if (rel.back() == L'\\' || rel == L"Kelvo.cfg" || rel == L"x64.bat" || rel == L"x86.bat")
            continue;
        EXPECT_TRUE(ReadWholeFile(DistFolder() + L"\\" + rel) == ReadWholeFile(program + L"\\" + rel)) << Narrow(rel);
    }
    std::set<std::wstring> installed;
    ListTree(program, L"", installed);
    for (const auto& rel : installed)
        EXPECT_EQ(rel.find(L".kelvo-"), std::wstring::npos) << "left beside: " << Narrow(rel);
    EXPECT_FALSE(AnyOwnShortcut()) << "the older installer's own shortcuts stay beside the all-users ones";
    EXPECT_TRUE(Exists(ProgramsLink(L"Kelvo.lnk")));
    EXPECT_TRUE(WaitFor([&] { return !Exists(program + L"\\x64.bat") && !Exists(program + L"\\x86.bat"); }, 60000));
    if (haveDozaz) {
        EXPECT_EQ(RegString(kRunKey, L"Kelvo Dozaz"), L"\"" + program + L"\\Dozaz.exe\"") << "AutoUpdate = 1";
    }
    g_quick.reinstalled = true;
}

TEST_F(Installer, DozazRunsOnAfterTheReinstall)
{
    ASSERT_TRUE(g_quick.reinstalled);
    REQUIRE_COMPANION(L"Dozaz.exe");
    const std::wstring program = DefaultProgramFolder();
    EXPECT_TRUE(WaitFor([&] { return IsRunning(program + L"\\Dozaz.exe"); }, 20000));
    // The older one ran during the reinstall: this holds only when it was replaced.
    EXPECT_TRUE(ReadWholeFile(program + L"\\Dozaz.exe") == ReadWholeFile(DistFolder() + L"\\Dozaz.exe"));
}

TEST_F(Installer, AStrayCopyOfTheUninstallerTakesNothingOfTheInstallation)
{
    ASSERT_TRUE(g_quick.done);
    const std::wstring program = DefaultProgramFolder();
    ScratchFolder scratch("stray-uninstaller");
    const std::wstring copy = scratch.Windows("Uninstall.exe");
    ASSERT_TRUE(::CopyFileW((program + L"\\Uninstall.exe").c_str(), copy.c_str(), FALSE));
    RunUninstaller(copy, nullptr, L"Nothing was removed: this uninstaller is not in a folder where Kelvo is installed");
    ExpectTheInstallationIntegrated(program);
}

TEST_F(Installer, TheUninstallerOfAnotherFolderRemovesThatFolderAloneNotTheRegisteredEntries)
{
    ASSERT_TRUE(g_quick.done);
    const std::wstring program = DefaultProgramFolder();
    ScratchFolder scratch("other-installation");
    const std::wstring other = scratch.Windows("base\\ZENDRIX\\Kelvo");
    ASSERT_TRUE(::CreateDirectoryW(scratch.Windows("base").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(scratch.Windows("base\\ZENDRIX").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(other.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW((program + L"\\Uninstall.exe").c_str(), (other + L"\\Uninstall.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((program + L"\\Kelvo.exe").c_str(), (other + L"\\Kelvo.exe").c_str(), FALSE));
    Uninstall(other, nullptr);
    ExpectTheInstallationIntegrated(program);
}

TEST_F(Installer, UninstallLeavesNothingOfOursBehind)
{
    ASSERT_TRUE(g_quick.done);
    const std::wstring program = DefaultProgramFolder();
    // The uninstaller speaks the installation's language: English, for the texts checked here.
    std::string settings = ReadWholeFile(program + L"\\Kelvo.cfg");
    const size_t language = settings.find("Language = 9");
    if (language != std::string::npos) {
        settings.replace(language, 12, "Language = 0");
        WriteBytes(program + L"\\Kelvo.cfg", settings);
    }
    {
        // With Kelvo running its files are in use: nothing goes, not even the entry, and the user is told why.
        ProgramRun kelvo;
        ASSERT_TRUE(kelvo.Start(program + L"\\Kelvo.exe"));
        ASSERT_TRUE(WaitFor([&] { return IsRunning(program + L"\\Kelvo.exe"); }, kStartMs));
        RunUninstaller(program + L"\\Uninstall.exe", nullptr, L"Close Kelvo, then uninstall it again");
        ExpectTheInstallationIntegrated(program);
    }
    ASSERT_TRUE(WaitFor([&] { return !IsRunning(program + L"\\Kelvo.exe"); }, 20000));
    PlantOwnShortcuts();
    Uninstall(program, L"uninstall-question");
    EXPECT_FALSE(Exists(program.substr(0, program.rfind(L'\\')))) << "the ZENDRIX folder stays";
    EXPECT_FALSE(Exists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\ZENDRIX"));
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_FALSE(AnyOwnShortcut()) << "an older installer's shortcuts for its own account stay";
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_EQ(RegString(kRunKey, L"Kelvo Dozaz"), L"<no value>");
    EXPECT_FALSE(IsRunning(program + L"\\Dozaz.exe"));
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    // What of the uninstaller is left in the temporary folder, once its batch had time to go.
    auto uninstallerLeft = [&] {
        std::set<std::wstring> all, left;
        ListTree(std::wstring(temp).substr(0, wcslen(temp) - 1), L"", all);
        for (const auto& n : all)
            if (n.find(L"kelvo-uninstall") == 0)
                left.insert(n);
        return left;
    };
    std::set<std::wstring> left;
    WaitFor([&] { return (left = uninstallerLeft()).empty(); }, 30000);
    std::wstring names;
    for (const auto& n : left)
        names += n + L" ";
    EXPECT_TRUE(left.empty()) << "the uninstaller's own clean-up batch stays in the temporary folder: " << Narrow(names);
}

TEST_F(Installer, CustomInstallToATypedRelativeFolderWritesAbsolutePaths)
{
    ScratchFolder scratch("custom");
    const std::wstring cwd = scratch.Windows("");
    const std::wstring workdir = cwd.substr(0, cwd.size() - 1);
    ProgramRun run;
    ASSERT_TRUE(run.Start(InstallerExe(), workdir));
    Wizard wizard(run);
    ASSERT_TRUE(wizard.Open());
    wizard.Click(1001, 1002);
    ASSERT_TRUE(wizard.WaitShows(1010, 10000));
    HWND edit = ::GetDlgItem(wizard.PageWith(1010), 1002);
    const std::wstring defaultBase = WindowText(edit);
    EXPECT_EQ(defaultBase, SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\");
    ::Sleep(300);
    Screenshot(wizard.Main(), L"install-page-custom");

    // The folder dialog, cancelled: the edit keeps its text.
    wizard.Click(1010, 1003);
    HWND browse = nullptr;
    WaitFor(
        [&] {
            for (HWND h : TopWindows(run.Pid()))
                if (h != wizard.Main() && ClassOf(h) == L"#32770")
                    browse = h;
            return browse != nullptr;
        },
        20000);
    ASSERT_NE(browse, nullptr) << "no folder dialog";
    ::Sleep(500);
    Screenshot(browse, L"install-folder-dialog");
    PressButton(browse, IDCANCEL);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(browse); }, 10000));
    EXPECT_EQ(WindowText(edit), defaultBase);

    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"kelvo-custom\\\\"));
    wizard.Click(1010, 1004);
    ASSERT_TRUE(wizard.WaitShows(1008, kInstallMs));
    const std::wstring program = workdir + L"\\kelvo-custom\\ZENDRIX\\Kelvo";
    EXPECT_NE(wizard.Outcome().find(program), std::wstring::npos) << Narrow(wizard.Outcome());
    wizard.Click(1008, 1008);
    ASSERT_TRUE(run.Ended(30000));
    EXPECT_EQ(ReadWholeFile(program + L"\\Kelvo.exe"), ReadWholeFile(DistFolder() + L"\\Kelvo.exe"));
    EXPECT_TRUE(SameNoCase(ReadLink(DesktopLink()).path, program + L"\\Kelvo.exe"));
    EXPECT_EQ(RegString(kUninstallKey, L"UninstallString"), L"\"" + program + L"\\Uninstall.exe\"");
    EXPECT_TRUE(WaitFor([&] { return !Exists(program + L"\\x64.bat") && !Exists(program + L"\\x86.bat"); }, 60000));
    EXPECT_EQ(RegString(kUninstallKey, L"InstallLocation"), program);

    // The next installation upgrades this one where it is: Custom proposes
    // its base, Quick Install goes there, and no second copy is made.
    ::DeleteFileW((program + L"\\language\\en_TEXT.cbf").c_str());
    WriteBytes(program + L"\\Kelvo.exe", "older kelvo");
    {
        ProgramRun again;
        ASSERT_TRUE(again.Start(InstallerExe()));
        Wizard upgrade(again);
        ASSERT_TRUE(upgrade.Open());
        upgrade.Click(1001, 1002);
        ASSERT_TRUE(upgrade.WaitShows(1010, 10000));
        EXPECT_EQ(WindowText(::GetDlgItem(upgrade.PageWith(1010), 1002)), workdir + L"\\kelvo-custom\\");
        ::Sleep(300);
        Screenshot(upgrade.Main(), L"install-page-custom-upgrade");
        upgrade.Click(1010, 1005);  // Back
        ASSERT_TRUE(upgrade.WaitShows(1001, 10000));
        ASSERT_TRUE(upgrade.QuickInstall());
        EXPECT_NE(upgrade.Outcome().find(L"Kelvo is installed in " + program + L"."), std::wstring::npos)
            << Narrow(upgrade.Outcome());
        upgrade.Click(1008, 1008);
        ASSERT_TRUE(again.Ended(30000));
    }
    EXPECT_TRUE(ReadWholeFile(program + L"\\Kelvo.exe") == ReadWholeFile(DistFolder() + L"\\Kelvo.exe"));
    EXPECT_EQ(ReadWholeFile(program + L"\\language\\en_TEXT.cbf"), ReadWholeFile(DistFolder() + L"\\language\\en_TEXT.cbf"));
    EXPECT_FALSE(Exists(DefaultProgramFolder())) << "a second copy was made";
    EXPECT_EQ(RegString(kUninstallKey, L"UninstallString"), L"\"" + program + L"\\Uninstall.exe\"");
    EXPECT_TRUE(WaitFor([&] { return !Exists(program + L"\\x64.bat") && !Exists(program + L"\\x86.bat"); }, 60000));

    // Kelvo.exe gone (a virus scanner took it): the registered uninstaller still removes everything.
    ASSERT_TRUE(::DeleteFileW((program + L"\\Kelvo.exe").c_str()));
    Uninstall(program, nullptr);
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_FALSE(KeyExists(kUninstallKey));
}

// ---------------------------------------------------------------- unattended

// One run of KelvoInstall or Uninstall with switches: its exit code, and
// every top-level window any process of the run had while it ran.
struct SwitchRun {
    DWORD exitCode = 999;
    std::vector<std::wstring> windows;  // "class 'title'"
};

SwitchRun RunWithSwitches(const std::wstring& exe, const std::wstring& switches, DWORD ms = kInstallMs)
{
    SwitchRun out;
    std::wstring cmd = L"\"" + exe + L"\" " + switches;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return out;
    std::set<HWND> seen;
    const DWORD start = ::GetTickCount();
    while (::WaitForSingleObject(pi.hProcess, 20) == WAIT_TIMEOUT && ::GetTickCount() - start < ms) {
        for (HWND h : TopWindows(pi.dwProcessId, false)) {
            if (seen.insert(h).second)
                out.windows.push_back(ClassOf(h) + L" '" + WindowText(h) + L"'");
        }
    }
    if (::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
        ::TerminateProcess(pi.hProcess, 998);
    ::GetExitCodeProcess(pi.hProcess, &out.exitCode);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return out;
}

std::wstring Joined(const std::vector<std::wstring>& v)
{
    std::wstring s;
    for (const auto& x : v)
        s += x + L"; ";
    return s;
}

std::wstring ShopBase() { return L"C:\\Shop Tools\\"; }
std::wstring ShopProgram() { return ShopBase() + L"ZENDRIX\\Kelvo"; }

class Unattended : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::CoInitialize(nullptr);
        ForgetEarlierInstallations();
        RemoveTree(ShopBase().substr(0, ShopBase().size() - 1));
    }
    static void TearDownTestSuite()
    {
        ForgetEarlierInstallations();
        RemoveTree(ShopBase().substr(0, ShopBase().size() - 1));
        ::CoUninitialize();
    }
    static std::wstring LogPath()
    {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        return std::wstring(temp) + L"kelvo install.log";
    }
};

TEST_F(Unattended, ABadSwitchGives87AndInstallsNothing)
{
    for (const wchar_t* bad : {L"/S /BOGUS", L"/VERYSILENT /D=relative\\folder", L"/S stray"}) {
        const SwitchRun r = RunWithSwitches(InstallerExe(), bad, 30000);
        EXPECT_EQ(r.exitCode, 87u) << Narrow(bad);
        EXPECT_TRUE(r.windows.empty()) << "silent, so no usage box: " << Narrow(Joined(r.windows));
    }
    EXPECT_FALSE(Exists(DefaultProgramFolder()));
    EXPECT_FALSE(KeyExists(kUninstallKey));
}

TEST_F(Unattended, SilentInstallIsTheQuickInstallWithNoWindowAndALogNamingEveryFile)
{
    ::DeleteFileW(LogPath().c_str());
    const SwitchRun r = RunWithSwitches(InstallerExe(), L"/S \"/LOG=" + LogPath() + L"\"");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(r.windows.empty()) << "windows: " << Narrow(Joined(r.windows));
    const std::wstring program = DefaultProgramFolder();

    // The tree, as the wizard's: the driver batches gone once they ran.
    std::set<std::wstring> dist, installed;
    ListTree(DistFolder(), L"", dist);
    ListTree(program, L"", installed);
    dist.erase(L"x64.bat");
    dist.erase(L"x86.bat");
    EXPECT_EQ(installed, dist);
    for (const auto& rel : dist)
        if (rel.back() != L'\\')
            EXPECT_TRUE(ReadWholeFile(DistFolder() + L"\\" + rel) == ReadWholeFile(program + L"\\" + rel)) << Narrow(rel);

    // The integration, as the wizard's Finish makes it, and the quiet removal for deployment tools.
    EXPECT_EQ(RegString(kUninstallKey, L"UninstallString"), L"\"" + program + L"\\Uninstall.exe\"");
    EXPECT_EQ(RegString(kUninstallKey, L"DisplayName"), L"Kelvo");
    EXPECT_EQ(RegString(kUninstallKey, L"Publisher"), L"Zendrix");
    EXPECT_EQ(RegString(kUninstallKey, L"DisplayIcon"), program + L"\\Kelvo.exe");
    EXPECT_TRUE(SameNoCase(ReadLink(ProgramsLink(L"Kelvo.lnk")).path, program + L"\\Kelvo.exe"));
    EXPECT_TRUE(SameNoCase(ReadLink(ProgramsLink(L"Uninstall.lnk")).path, program + L"\\Uninstall.exe"));
    EXPECT_TRUE(SameNoCase(ReadLink(DesktopLink()).path, program + L"\\Kelvo.exe"));
    EXPECT_EQ(RegString(kUninstallKey, L"QuietUninstallString"), L"\"" + program + L"\\Uninstall.exe\" /S");
    EXPECT_EQ(RegString(kUninstallKey, L"InstallLocation"), program);
    EXPECT_EQ(RegString(kRunKey, L"Kelvo Dozaz"), L"<no value>") << "the package's settings have Dozaz off";

    // The log: UTF-8, every file by its path, the steps, the exit code.
    const std::string log = ReadWholeFile(LogPath());
    ASSERT_GT(log.size(), 3u) << "no log";
    EXPECT_EQ(log.compare(0, 3, "\xEF\xBB\xBF"), 0);
    for (const auto& rel : dist)
        if (rel.back() != L'\\')
            EXPECT_NE(log.find("Written: " + Narrow(program + L"\\" + rel) + "\r\n"), std::string::npos) << Narrow(rel);
    for (const char* step : {"Rights set", "Shortcut saved: desktop\\Kelvo.lnk", "Registry value QuietUninstallString",
                             "Driver step: ", "Exit code 0\r\n"})
        EXPECT_NE(log.find(step), std::string::npos) << step << "\n" << log;
}

TEST_F(Unattended, ASecondSilentRunClosesARunningKelvoAndUpgradesInPlace)
{
    const std::wstring program = DefaultProgramFolder();
    ASSERT_TRUE(Exists(program + L"\\Kelvo.exe"));
    WriteBytes(program + L"\\version.txt", "V0.9\r\n");
    ProgramRun kelvo;
    ASSERT_TRUE(kelvo.Start(program + L"\\Kelvo.exe", program));
    ASSERT_TRUE(WaitFor([&] { return !TopWindows(kelvo.Pid()).empty(); }, kStartMs));
    const SwitchRun r = RunWithSwitches(InstallerExe(), L"/VERYSILENT /SUPPRESSMSGBOXES");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(kelvo.Ended(20000)) << "Kelvo still runs";
    EXPECT_EQ(ReadWholeFile(program + L"\\version.txt"), ReadWholeFile(DistFolder() + L"\\version.txt"));
}

TEST_F(Unattended, AKelvoThatDoesNotCloseGives1618AndChangesNothing)
{
    const std::wstring program = DefaultProgramFolder();
    WriteBytes(program + L"\\version.txt", "V0.9\r\n");
    // A Kelvo that holds its single-copy mutex and has no window to close.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Global\\Vizedarorir Kelvo");
    ASSERT_NE(mutex, nullptr);
    const SwitchRun r = RunWithSwitches(InstallerExe(), L"/S \"/LOG=" + LogPath() + L"\"");
    ::CloseHandle(mutex);
    EXPECT_EQ(r.exitCode, 1618u);
    EXPECT_EQ(ReadWholeFile(program + L"\\version.txt"), "V0.9\r\n");
    EXPECT_NE(ReadWholeFile(LogPath()).find("Kelvo did not close: nothing was installed. Exit code 1618"), std::string::npos);
}

TEST_F(Unattended, AHeldFileGives3010AndIsReplacedAtTheRestart)
{
    const std::wstring program = DefaultProgramFolder();
    const std::wstring held = program + L"\\version.txt";
    HANDLE h = ::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const SwitchRun r = RunWithSwitches(InstallerExe(), L"/S /NORESTART \"/LOG=" + LogPath() + L"\"");
    ::CloseHandle(h);
    EXPECT_EQ(r.exitCode, 3010u);
    EXPECT_EQ(ReadWholeFile(held), "V0.9\r\n") << "in use: replaced at the restart only";
    EXPECT_EQ(ReadWholeFile(held + L".kelvo-new"), ReadWholeFile(DistFolder() + L"\\version.txt"));
    const std::string log = ReadWholeFile(LogPath());
    EXPECT_NE(log.find("In use, replaced at the next restart: " + Narrow(held)), std::string::npos) << log;
    HKEY key = nullptr;
    std::wstring pending;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        std::vector<wchar_t> buf(65536, L'\0');
        DWORD type = 0, size = static_cast<DWORD>((buf.size() - 2) * sizeof(wchar_t));
        if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                               &size) == ERROR_SUCCESS)
            for (const wchar_t* p = buf.data(); *p; p += wcslen(p) + 1)
                pending += std::wstring(p) + L"|";
        ::RegDeleteValueW(key, L"PendingFileRenameOperations");
        ::RegCloseKey(key);
    }
    std::wstring lower = pending;
    for (auto& c : lower)
        c = static_cast<wchar_t>(towlower(c));
    EXPECT_NE(lower.find(L"\\zendrix\\kelvo\\version.txt.kelvo-new|"), std::wstring::npos) << Narrow(pending);
    ::DeleteFileW((held + L".kelvo-new").c_str());
}

TEST_F(Unattended, DInstallsBelowAFolderWithSpacesAndSilentUninstallKeepsTheUsersData)
{
    const SwitchRun r = RunWithSwitches(InstallerExe(), L"/S /NOAUTOSTART /D=" + ShopBase());
    EXPECT_EQ(r.exitCode, 0u);
    const std::wstring program = ShopProgram();
    EXPECT_TRUE(ReadWholeFile(program + L"\\Kelvo.exe") == ReadWholeFile(DistFolder() + L"\\Kelvo.exe"));
    EXPECT_EQ(RegString(kUninstallKey, L"UninstallString"), L"\"" + program + L"\\Uninstall.exe\"");
    EXPECT_TRUE(SameNoCase(ReadLink(DesktopLink()).path, program + L"\\Kelvo.exe"));
    EXPECT_NE(ReadWholeFile(program + L"\\Kelvo.cfg").find("AutoUpdate = 0"), std::string::npos);
    ::CreateDirectoryW((program + L"\\update").c_str(), nullptr);
    WriteBytes(program + L"\\update\\QB345_V2.34.bin", "downloaded");

    const SwitchRun u = RunWithSwitches(program + L"\\Uninstall.exe", L"/S", 60000);
    EXPECT_EQ(u.exitCode, 0u);
    EXPECT_TRUE(u.windows.empty()) << Narrow(Joined(u.windows));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_FALSE(Exists(ProgramsLink(L"Kelvo.lnk")));
    EXPECT_TRUE(WaitFor([&] { return !Exists(program + L"\\Uninstall.exe"); }, 30000)) << "its batch removes it";
    std::set<std::wstring> left;
    ListTree(program, L"", left);
    EXPECT_EQ(left, (std::set<std::wstring>{L"Kelvo.cfg", L"update\\", L"update\\QB345_V2.34.bin"}));
}

TEST_F(Unattended, SilentUninstallWithPurgeLeavesNothing)
{
    // /SILENT: the progress window and nothing else, no question.
    const SwitchRun r = RunWithSwitches(InstallerExe(), L"/SILENT /DIR=\"" + ShopBase() + L"\"");
    EXPECT_EQ(r.exitCode, 0u);
    bool progress = false;
    for (const auto& w : r.windows) {
        const bool ours = w.compare(0, 20, L"KelvoInstallProgress") == 0;
        progress = progress || ours;
        EXPECT_TRUE(ours || w.find(L"IME") != std::wstring::npos) << "another window: " << Narrow(w);
    }
    EXPECT_TRUE(progress) << Narrow(Joined(r.windows));
    const std::wstring program = ShopProgram();
    ASSERT_TRUE(Exists(program + L"\\update\\QB345_V2.34.bin")) << "kept from before, and kept by the installation";
    const SwitchRun u = RunWithSwitches(program + L"\\Uninstall.exe", L"/S /PURGE", 60000);
    EXPECT_EQ(u.exitCode, 0u);
    EXPECT_TRUE(WaitFor([&] { return !Exists(program); }, 30000)) << "the folder stays";
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_EQ(RunWithSwitches(program + L"\\Uninstall.exe", L"/S", 10000).exitCode, 999u) << "nothing left to run";
}

} // namespace
