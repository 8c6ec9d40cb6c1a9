// AidletStart.exe with a stand-in Kelvo.exe beside it: only "zendrix reboot"
// starts anything; it waits while Kelvo's mutex exists, then starts Kelvo.exe
// by its full path with its own folder as working directory; it gives up
// after 30 s. And the rights each program's manifest asks for.
#include "app/core/globals.h"
#include "platform/win/Companions.h"
#include "platform/win/Processes.h"
#include "win/support/dist.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

using kelvo::wintest::Dist;
using kelvo::wintest::Narrow;

namespace {

std::wstring OwnFolder()
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring p = self;
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

class AidletStart : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        m_folder = std::wstring(tmp) + L"aidletstart-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        ASSERT_TRUE(::CopyFileW((Dist() + L"AidletStart.exe").c_str(), (m_folder + L"AidletStart.exe").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW((OwnFolder() + L"kelvo_probe.exe").c_str(), (m_folder + L"Kelvo.exe").c_str(), FALSE));
        ::DeleteFileW((m_folder + L"Kelvo.exe.ran").c_str());
    }
    void TearDown() override
    {
        for (const wchar_t* f : {L"AidletStart.exe", L"Kelvo.exe", L"Kelvo.exe.ran"})
            ::DeleteFileW((m_folder + f).c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }
    // Started from the temporary folder's parent, not its own.
    HANDLE Start(const std::wstring& arguments)
    {
        const std::wstring exe = m_folder + L"AidletStart.exe";
        std::wstring cmd = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW si = {sizeof si};
        PROCESS_INFORMATION pi{};
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, tmp, &si, &pi))
            return nullptr;
        ::CloseHandle(pi.hThread);
        return pi.hProcess;
    }
    static DWORD Wait(HANDLE process, DWORD ms)
    {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(process, ms) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process, &code);
        return code;
    }
    std::wstring Record() const
    {
        HANDLE f = ::CreateFileW((m_folder + L"Kelvo.exe.ran").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return L"";
        wchar_t buf[2048] = {};
        DWORD got = 0;
        ::ReadFile(f, buf, sizeof buf - sizeof(wchar_t), &got, nullptr);
        ::CloseHandle(f);
        return buf;
    }
    bool WaitRecord(DWORD ms) const
    {
        const DWORD start = ::GetTickCount();
        while (Record().empty()) {
            if (::GetTickCount() - start > ms)
                return false;
            ::Sleep(50);
        }
        return true;
    }
    std::wstring m_folder;
};

} // namespace

TEST_F(AidletStart, AnythingButZendrixRebootEndsWithExitCode2AndStartsNothing)
{
    for (const wchar_t* args : {L"", L"zendrix", L"reboot", L"ZENDRIX REBOOT", L"\"zendrix reboot\"", L"zendrix reboot now"}) {
        HANDLE p = Start(args);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(Wait(p, 20000), 2u) << Narrow(args);
        ::CloseHandle(p);
    }
    ::Sleep(500);
    EXPECT_EQ(Record(), L"") << "nothing was started";
}

TEST_F(AidletStart, WaitsForKelvoToEndThenStartsItFromItsOwnFolder)
{
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Global\\Vizedarorir Kelvo");
    ASSERT_NE(mutex, nullptr);
    HANDLE p = Start(L"zendrix reboot");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Wait(p, 2500), static_cast<DWORD>(STILL_ACTIVE)) << "Kelvo still runs: it waits";
    EXPECT_EQ(Record(), L"");
    ::CloseHandle(mutex);
    EXPECT_EQ(Wait(p, 20000), 0u);
    ::CloseHandle(p);
    ASSERT_TRUE(WaitRecord(20000));
    const std::wstring record = Record();
    const std::wstring cwd = record.substr(0, record.find(L'\n'));
    EXPECT_EQ(::lstrcmpiW((cwd + L"\\").c_str(), m_folder.c_str()), 0) << "working directory: " << Narrow(cwd);
    EXPECT_NE(record.find(m_folder + L"Kelvo.exe"), std::wstring::npos) << "by its full path: " << Narrow(record);
}

TEST_F(AidletStart, GivesUpWhenKelvoStillRunsAfterThirtySeconds)
{
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Global\\Vizedarorir Kelvo");
    ASSERT_NE(mutex, nullptr);
    HANDLE p = Start(L"zendrix reboot");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Wait(p, 90000), 1u);
    ::CloseHandle(p);
    ::CloseHandle(mutex);
    ::Sleep(500);
    EXPECT_EQ(Record(), L"") << "nothing was started";
}

namespace {
std::string ManifestOf(const std::wstring& exe)
{
    HMODULE m = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m)
        return "";
    std::string text;
    if (HRSRC r = ::FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        if (HGLOBAL g = ::LoadResource(m, r))
            text.assign(static_cast<const char*>(::LockResource(g)), ::SizeofResource(m, r));
    }
    ::FreeLibrary(m);
    return text;
}
} // namespace

TEST(Manifests, KelvoAsksForAdministratorRightsItsCompanionsDoNot)
{
    // Kelvo writes its settings file in its installation folder and the Run
    // value under HKEY_LOCAL_MACHINE.
    EXPECT_NE(ManifestOf(Dist() + L"Kelvo.exe").find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(ManifestOf(Dist() + L"Dozaz.exe").find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(ManifestOf(Dist() + L"AidletStart.exe").find("level=\"asInvoker\""), std::string::npos);
}

// ---------------------------------------------------------------- ending Dozaz

namespace {

// An installation folder holding a Dozaz.exe, as the program's folder of the
// settings page's calls.
class DozazStop : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        m_folder = std::wstring(tmp) + L"dozazstop-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        // No update server: the check it makes at start fails at once.
        WriteText(L"Kelvo.cfg", "[Setting]\r\nDownloadLink = http://127.0.0.1:9/Update/\r\n");
        kelvo::SetModuleFolder(m_folder);
    }
    void TearDown() override
    {
        if (m_process) {
            ::TerminateProcess(m_process, 9);
            ::WaitForSingleObject(m_process, 5000);
            ::CloseHandle(m_process);
        }
        kelvo::SetModuleFolder(std::wstring());
        for (const wchar_t* f : {L"Dozaz.exe", L"Dozaz.exe.ran", L"Dozaz.exe.stay", L"Kelvo.cfg"})
            ::DeleteFileW((m_folder + f).c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }
    void WriteText(const wchar_t* name, const std::string& text)
    {
        HANDLE f = ::CreateFileW((m_folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(f);
    }
    bool Start()
    {
        const std::wstring exe = m_folder + L"Dozaz.exe";
        std::wstring cmd = L"\"" + exe + L"\"";
        STARTUPINFOW si = {sizeof si};
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, m_folder.c_str(), &si, &pi))
            return false;
        ::CloseHandle(pi.hThread);
        m_process = pi.hProcess;
        m_pid = pi.dwProcessId;
        return true;
    }
    // A top-level window of the started process exists.
    struct Find {
        DWORD pid;
        bool found;
    };
    static BOOL CALLBACK Look(HWND h, LPARAM p)
    {
        auto* f = reinterpret_cast<Find*>(p);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        f->found |= pid == f->pid;
        return !f->found;
    }
    bool HasWindow() const
    {
        Find find{m_pid, false};
        ::EnumWindows(Look, reinterpret_cast<LPARAM>(&find));
        return find.found;
    }
    static bool WaitUntil(const std::function<bool()>& cond, DWORD ms)
    {
        const DWORD start = ::GetTickCount();
        while (!cond()) {
            if (::GetTickCount() - start > ms)
                return false;
            ::Sleep(50);
        }
        return true;
    }
    DWORD ExitCode() const
    {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(m_process, &code);
        return code;
    }

    std::wstring m_folder;
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
};

} // namespace

TEST_F(DozazStop, AskedToCloseItEndsByItselfSoItsTrayIconGoesWithIt)
{
    ASSERT_TRUE(::CopyFileW((Dist() + L"Dozaz.exe").c_str(), (m_folder + L"Dozaz.exe").c_str(), FALSE));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil([&] { return HasWindow() || ::WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0; }, 30000));
    ASSERT_EQ(ExitCode(), static_cast<DWORD>(STILL_ACTIVE)) << "another Dozaz of this session runs";
    int closed = -1;
    EXPECT_EQ(kelvo::StopInstallationDozaz(10000, &closed), 1);
    EXPECT_EQ(closed, 1) << "it ended on WM_CLOSE, not by TerminateProcess";
    EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(DozazStop, OneThatDoesNotEndOnRequestIsTerminatedAfterTheWait)
{
    // A stand-in without windows that keeps running while its ".stay" file exists.
    ASSERT_TRUE(::CopyFileW((OwnFolder() + L"kelvo_probe.exe").c_str(), (m_folder + L"Dozaz.exe").c_str(), FALSE));
    WriteText(L"Dozaz.exe.stay", "");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil([&] { return ::GetFileAttributesW((m_folder + L"Dozaz.exe.ran").c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000));
    int closed = -1;
    EXPECT_EQ(kelvo::StopInstallationDozaz(500, &closed), 1);
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(::WaitForSingleObject(m_process, 0), WAIT_OBJECT_0) << "terminated";
}

// The process module's policies, as the installer (visible windows only) and
// the uninstaller (at once) use them: Dozaz's only window is hidden.
TEST_F(DozazStop, EachStopPolicyAsksWhatItSaysAndTerminatesOnlyWhenAllowed)
{
    ASSERT_TRUE(::CopyFileW((Dist() + L"Dozaz.exe").c_str(), (m_folder + L"Dozaz.exe").c_str(), FALSE));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil([&] { return HasWindow() || ::WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0; }, 30000));
    ASSERT_EQ(ExitCode(), static_cast<DWORD>(STILL_ACTIVE)) << "another Dozaz of this session runs";

    // Found by its program file, spelled in another case.
    std::wstring upper = m_folder + L"DOZAZ.EXE";
    int found = 0;
    kelvo::ForEachProcess(0, nullptr, [&](DWORD pid, HANDLE, const std::wstring& image) {
        if (kelvo::SamePath(image, upper)) {
            ++found;
            EXPECT_EQ(pid, m_pid);
        }
    });
    EXPECT_EQ(found, 1);

    EXPECT_EQ(kelvo::AskProcessToClose(m_pid, kelvo::AskWindows::VisibleUnowned), 0);
    EXPECT_EQ(kelvo::StopProcess(m_process, m_pid, {kelvo::AskWindows::None, 0, false}), kelvo::Stopped::StillRunning);
    ::Sleep(300);
    EXPECT_EQ(ExitCode(), static_cast<DWORD>(STILL_ACTIVE)) << "neither asked nor terminated";
    EXPECT_EQ(kelvo::StopProcess(m_process, m_pid, {kelvo::AskWindows::All, 10000, false}), kelvo::Stopped::OnRequest);
    EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(DozazStop, AProcessWithoutWindowsIsTerminatedOnlyWhenThePolicyAllows)
{
    ASSERT_TRUE(::CopyFileW((OwnFolder() + L"kelvo_probe.exe").c_str(), (m_folder + L"Dozaz.exe").c_str(), FALSE));
    WriteText(L"Dozaz.exe.stay", "");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil([&] { return ::GetFileAttributesW((m_folder + L"Dozaz.exe.ran").c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000));
    EXPECT_EQ(kelvo::StopProcess(m_process, m_pid, {kelvo::AskWindows::All, 300, false}), kelvo::Stopped::StillRunning);
    EXPECT_EQ(kelvo::StopProcess(m_process, m_pid, {kelvo::AskWindows::None, 0, true}), kelvo::Stopped::Terminated);
    EXPECT_EQ(::WaitForSingleObject(m_process, 0), WAIT_OBJECT_0);
}
