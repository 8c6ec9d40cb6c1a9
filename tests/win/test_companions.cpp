// AidletStart.exe with a stand-in Kelvo.exe beside it: only "zendrix reboot"
// starts anything; it waits while Kelvo's mutex exists, then starts Kelvo.exe
// by its full path with its own folder as working directory; it gives up
// after 30 s. And the rights each program's manifest asks for.
#include "win/support/dist.h"

#include <gtest/gtest.h>

#include <windows.h>

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
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Vizedarorir Kelvo");
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
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Vizedarorir Kelvo");
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
