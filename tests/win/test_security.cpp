// What Wine does not enforce, checked where it is built: the installation
// folder's security descriptor and the owner-only temporary file, the quoted
// command lines of programs started from Kelvo and the installer, and the DLL
// search every program restricts first (a DLL planted beside the program is
// not loaded once it has).
#include "platform/win/FileSecurity.h"
#include "platform/win/ShellStart.h"
#include "platform/win/SystemDll.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <shellapi.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

std::wstring UserSidText()
{
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[512];
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    ::CloseHandle(token);
    LPWSTR text = nullptr;
    ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
    std::wstring out = text ? text : L"";
    ::LocalFree(text);
    return out;
}

} // namespace

TEST(FolderSecurity, AdministratorsAndSystemFullUsersReadAndExecuteInheritedAndProtected)
{
    kelvo::SecurityDescriptor sd = kelvo::ProgramFolderSecurity();
    ASSERT_TRUE(sd.Ok());
    // P: protected (nothing from the parent); OICI: to every file and folder below.
    EXPECT_EQ(sd.DaclSddl(), L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
    // The same by its parts: three allowing entries and nothing that grants
    // Users (or anyone else) a right to write.
    PACL acl = sd.Dacl();
    ASSERT_NE(acl, nullptr);
    ACL_SIZE_INFORMATION info{};
    ASSERT_TRUE(::GetAclInformation(acl, &info, sizeof info, AclSizeInformation));
    EXPECT_EQ(info.AceCount, 3u);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(sd.Get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    for (DWORD i = 0; i < info.AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        if (i == 2) {
            EXPECT_EQ(ace->Mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER), 0u);
        }
    }
}

TEST(FolderSecurity, TheUninstallBatchIsANewFileOnlyItsOwnerCanOpen)
{
    kelvo::SecurityDescriptor sd = kelvo::OwnerOnlySecurity();
    ASSERT_TRUE(sd.Ok());
    const std::wstring sid = UserSidText();
    ASSERT_FALSE(sid.empty());
    EXPECT_EQ(sd.DaclSddl(), L"D:P(A;;FA;;;" + sid + L")");

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::set<std::wstring> names;
    for (int i = 0; i < 3; ++i) {
        std::wstring path;
        HANDLE h = kelvo::CreateOwnerOnlyFile(temp, L"kelvo-test-", L".bat", &path);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ::CloseHandle(h);
        EXPECT_EQ(path.compare(0, wcslen(temp), temp), 0);
        EXPECT_EQ(path.substr(path.size() - 4), L".bat");
        // 16 hex digits nobody can foresee between prefix and suffix.
        EXPECT_EQ(path.size(), wcslen(temp) + 11 + 16 + 4) << Narrow(path);
        names.insert(path);
        ::DeleteFileW(path.c_str());
    }
    EXPECT_EQ(names.size(), 3u);
}

TEST(CommandLines, EveryArgumentComesBackWholeAsTheStartedProgramReadsIt)
{
    const std::vector<std::wstring> args = {L"plain",
                                            L"C:\\Program Files (x86)\\ZENDRIX\\Kelvo\\manual\\QB345 User Manual.pdf",
                                            L"trailing\\",
                                            L"with \"quotes\" inside",
                                            L"folder with space\\",
                                            L"\\\\server\\share\\a b",
                                            L"",
                                            L"\u041A\u043E\u0434\u044B \u0151\u0171.pdf"};
    const std::wstring line = kelvo::CommandLine(L"C:\\Program Files\\x\\reader.exe", args);
    int n = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &n);
    ASSERT_NE(argv, nullptr);
    ASSERT_EQ(n, static_cast<int>(args.size()) + 1) << Narrow(line);
    EXPECT_EQ(std::wstring(argv[0]), L"C:\\Program Files\\x\\reader.exe");
    for (size_t i = 0; i < args.size(); ++i)
        EXPECT_EQ(std::wstring(argv[i + 1]), args[i]) << i;
    ::LocalFree(argv);
}

// Last in this program: it restricts the search of the whole process.
TEST(DllSearch, APlantedDllBesideTheProgramIsNotLoadedOnceTheSearchIsRestricted)
{
    // kelvoplant.dll lies beside this test program, as a planted UxTheme.dll
    // would lie beside the installer in a download folder.
    HMODULE before = ::LoadLibraryW(L"kelvoplant.dll");
    ASSERT_NE(before, nullptr) << "the planted DLL is not beside the test program";
    ::FreeLibrary(before);

    EXPECT_TRUE(kelvo::RestrictDllSearch()) << "SetDefaultDllDirectories is there on every supported system";
    EXPECT_TRUE(kelvo::DllSearchRestricted());
    EXPECT_EQ(::LoadLibraryW(L"kelvoplant.dll"), nullptr);
    EXPECT_EQ(kelvo::LoadSystemDll(L"kelvoplant.dll"), nullptr);
    // What the programs load on demand still comes, from the system folder.
    for (const wchar_t* dll : {L"gdiplus.dll", L"uxtheme.dll", L"wininet.dll", L"newdev.dll", L"bcrypt.dll"}) {
        HMODULE m = kelvo::LoadSystemDll(dll);
        EXPECT_NE(m, nullptr) << Narrow(dll);
        wchar_t path[MAX_PATH] = {}, system[MAX_PATH] = {}, wow64[MAX_PATH] = {};
        ::GetModuleFileNameW(m, path, MAX_PATH);
        ::GetSystemDirectoryW(system, MAX_PATH);
        ::GetSystemWow64DirectoryW(wow64, MAX_PATH);  // where a 32-bit process's "system32" is on 64-bit Windows
        auto below = [&](const wchar_t* folder) {
            return folder[0] && ::CompareStringOrdinal(path, static_cast<int>(wcslen(folder)), folder, -1, TRUE) == CSTR_EQUAL;
        };
        EXPECT_TRUE(below(system) || below(wow64)) << Narrow(path);
    }
    // Never a path, relative or not.
    EXPECT_EQ(kelvo::LoadSystemDll(L"..\\kelvoplant.dll"), nullptr);
    EXPECT_EQ(kelvo::LoadSystemDll(L"C:\\kelvoplant.dll"), nullptr);
    EXPECT_EQ(kelvo::LoadSystemDll(L""), nullptr);
}
