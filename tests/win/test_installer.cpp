// The installer's Windows side: the unpacking into a real folder from crafted
// archives (escaping names, Unix attributes, a bad CRC, a file in use
// scheduled for the next restart, a truncated archive, a file's data damaged
// inside a whole archive, a planted temporary file, a folder link inside the
// target or the target itself a link), the custom page's folder
// rules and the earlier installation it proposes, saving shortcuts, the
// driver batch files with a stand-in devcon (run by hand, and by the installer
// with no window, its exit code reported), and the tree removal of the
// uninstaller and of the tests beside a link.
#include "installer/win/Extractor.h"
#include "installer/win/Folder.h"
#include "installer/win/Integration.h"
#include "support/remove_tree_win.h"
#include "win/support/unix_link.h"
#include "uninstall/win/RemoveTree.h"
#include "tools/zippack/ZipWriter.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

using namespace kelvo::install;
using kelvo::zip::Entry;

namespace {

std::wstring TempFolder(const wchar_t* what)
{
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    // A new folder every time: each case runs in a process of its own, and
    // Wine hands the same process id out again, so a name that exists (left
    // by an earlier run) is passed over.
    static int n = 0;
    std::wstring dir;
    do
        dir = std::wstring(tmp) + L"kelvo-win-" + what + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(++n);
    while (!::CreateDirectoryW(dir.c_str(), nullptr) && ::GetLastError() == ERROR_ALREADY_EXISTS);
    return dir + L"\\";
}

using kelvo::test::RemoveTree;

std::string Read(const std::wstring& path)
{
    std::string out;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f)
        return "<missing>";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

void Write(const std::wstring& path, const std::string& bytes)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A folder with a target T below it ("<folder>\ZENDRIX\"), removed at the end.
class Unpacking : public testing::Test {
protected:
    void SetUp() override
    {
        m_outer = TempFolder(L"unpack");
        m_target = m_outer + L"ZENDRIX\\";
    }
    void TearDown() override { RemoveTree(m_outer.substr(0, m_outer.size() - 1)); }

    UnpackResult UnpackEntries(const std::vector<Entry>& entries, size_t keepBytes = 0)
    {
        std::string bytes = kelvo::zip::BuildArchive(entries);
        if (keepBytes)
            bytes.resize(keepBytes);
        WindowsTarget target(m_target);
        UnpackResult r = Unpack(bytes.data(), bytes.size(), target);
        r.linkedFolders = target.LinkedFolders();  // as UnpackResource hands them on
        return r;
    }
    std::wstring Installed(const std::wstring& relative) const { return m_target + L"Kelvo\\" + relative; }
    int LeftoverParts() const
    {
        WIN32_FIND_DATAW fd;
        HANDLE h = ::FindFirstFileW((m_target + L"Kelvo\\*.kelvo-new").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return 0;
        int n = 0;
        do
            ++n;
        while (::FindNextFileW(h, &fd));
        ::FindClose(h);
        return n;
    }

    std::wstring m_outer;
    std::wstring m_target;
};

Entry File(const std::string& name, const std::string& data) { return kelvo::zip::FileEntry(name, data, 0x6000, 0x5021); }

TEST_F(Unpacking, EscapingNamesWriteNothingOutsideTheTarget)
{
    const UnpackResult r = UnpackEntries({kelvo::zip::FolderEntry("Kelvo/", 0, 0), File("Kelvo/ok.txt", "ok"),
                                          File("../escape1.txt", "x"), File("Kelvo/../../escape2.txt", "x"),
                                          File("\\escape3.txt", "x"), File("Z:/tmp/escape4.txt", "x")});
    EXPECT_EQ(r.skipped, 4);
    EXPECT_EQ(r.files, 1);
    EXPECT_EQ(Read(Installed(L"ok.txt")), "ok");
    EXPECT_FALSE(Exists(m_outer + L"escape1.txt"));
    EXPECT_FALSE(Exists(m_outer + L"escape2.txt"));
    EXPECT_FALSE(Exists(L"\\escape3.txt"));
    EXPECT_FALSE(Exists(L"Z:\\tmp\\escape4.txt"));
}

TEST_F(Unpacking, UnixModeBitsNeverBecomeAttributesAndNamesBecomeWidePaths)
{
    Entry plain = File("Kelvo/plain.txt", "p");
    plain.madeBy = (3 << 8) | 20;
    plain.external = 0100755u << 16;  // high word: mode; low byte: nothing
    Entry readOnly = File("Kelvo/readonly.txt", "r");
    readOnly.madeBy = (3 << 8) | 20;
    readOnly.external = (0100444u << 16) | FILE_ATTRIBUTE_READONLY;
    Entry german = File("Kelvo/F\x81r.txt", "cp437");
    const UnpackResult r = UnpackEntries({plain, readOnly, german});
    EXPECT_EQ(r.files, 3);
    EXPECT_EQ(::GetFileAttributesW(Installed(L"plain.txt").c_str()) & ~(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL), 0u);
    EXPECT_EQ(::GetFileAttributesW(Installed(L"readonly.txt").c_str()) & ~FILE_ATTRIBUTE_ARCHIVE,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Read(Installed(L"F\u00FCr.txt")), "cp437");
}

// The system's list of renames at the next restart (REG_MULTI_SZ: source,
// destination, source, destination...).
std::vector<std::wstring> PendingRenames()
{
    std::vector<std::wstring> out;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                        &key) != ERROR_SUCCESS)
        return out;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ && size > 0) {
        std::vector<wchar_t> buf(size / sizeof(wchar_t) + 2, L'\0');
        if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                               &size) == ERROR_SUCCESS) {
            for (const wchar_t* p = buf.data(); *p; p += wcslen(p) + 1)
                out.push_back(p);
        }
    }
    ::RegCloseKey(key);
    return out;
}

void ForgetPendingRenames() { ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations"); }

bool Contains(const std::wstring& s, const std::wstring& part)
{
    std::wstring a = s, b = part;
    for (auto& c : a)
        c = static_cast<wchar_t>(towlower(c));
    for (auto& c : b)
        c = static_cast<wchar_t>(towlower(c));
    return a.find(b) != std::wstring::npos;
}

TEST_F(Unpacking, ABadCrcKeepsTheOldContentAndAFileInUseIsReplacedAtTheNextRestart)
{
    ForgetPendingRenames();
    ASSERT_TRUE(CreateFolderPath(m_target + L"Kelvo"));
    Write(Installed(L"damaged.txt"), "old damaged");
    Write(Installed(L"busy.txt"), "old busy");
    Entry damaged = File("Kelvo/damaged.txt", std::string(5000, 'd'));
    damaged.forceCrc = true;
    damaged.crc = kelvo::zip::Crc32(damaged.data) + 1;
    // Held as a running program holds its file: no one may write or delete it.
    HANDLE busy = ::CreateFileW(Installed(L"busy.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    UnpackResult r = UnpackEntries({damaged, File("Kelvo/busy.txt", "new busy"), File("Kelvo/fine.txt", "fine")});
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.failedNames, std::vector<std::wstring>{L"Kelvo/damaged.txt"});
    EXPECT_EQ(r.scheduled, 1);
    EXPECT_EQ(r.scheduledNames, std::vector<std::wstring>{L"Kelvo/busy.txt"});
    EXPECT_EQ(r.files, 1);
    EXPECT_EQ(Read(Installed(L"damaged.txt")), "old damaged");
    EXPECT_EQ(Read(Installed(L"busy.txt")), "old busy") << "in use: the old content until the restart";
    EXPECT_EQ(Read(Installed(L"busy.txt.kelvo-new")), "new busy") << "the new one waits beside it";
    EXPECT_EQ(Read(Installed(L"fine.txt")), "fine");
    EXPECT_EQ(LeftoverParts(), 1) << "only the scheduled one";
    // The system performs the rename at the next restart: the pair is in its list, new over old.
    const std::vector<std::wstring> renames = PendingRenames();
    bool scheduled = false;
    for (size_t i = 0; i + 1 < renames.size(); i += 2)
        scheduled |= Contains(renames[i], L"busy.txt.kelvo-new") && Contains(renames[i + 1], L"busy.txt") &&
                     !Contains(renames[i + 1], L".kelvo-new");
    EXPECT_TRUE(scheduled) << renames.size() << " entries in PendingFileRenameOperations";
    ::CloseHandle(busy);
    ForgetPendingRenames();

    r = UnpackEntries({File("Kelvo/busy.txt", "newer busy")});
    EXPECT_EQ(r.files, 1);
    EXPECT_EQ(r.scheduled, 0);
    EXPECT_EQ(Read(Installed(L"busy.txt")), "newer busy") << "no longer in use, it is replaced";
    EXPECT_TRUE(PendingRenames().empty());
}

// Cut short, an archive loses its end record: it is refused as a whole before
// any entry is read (the damaged-data test below reaches the entries' checks).
TEST_F(Unpacking, ATruncatedArchiveLeavesNoPartialFile)
{
    const std::vector<Entry> entries{kelvo::zip::FolderEntry("Kelvo/", 0, 0), File("Kelvo/big.bin", std::string(300000, 'b')),
                                     File("Kelvo/small.txt", "small")};
    const std::string whole = kelvo::zip::BuildArchive(entries);
    ASSERT_EQ(UnpackEntries(entries).files, 2) << "whole, it unpacks";
    RemoveTree(m_target + L"Kelvo");
    for (size_t keep : {whole.size() - 10, whole.size() / 2, size_t(40)}) {
        const UnpackResult r = UnpackEntries(entries, keep);
        EXPECT_FALSE(r.opened) << keep;
        EXPECT_EQ(r.entries, 0) << keep;
        EXPECT_EQ(r.files, 0) << keep;
        EXPECT_FALSE(Exists(Installed(L"big.bin"))) << keep;
        EXPECT_EQ(LeftoverParts(), 0) << keep;
    }
}

// The archive stays whole (its directory is read); bytes inside one file's
// data are lost, so that the unpacking reads part of the file and must give it up.
TEST_F(Unpacking, AFileDamagedInsideAWholeArchiveLeavesNoPartialFileAndKeepsTheOld)
{
    // Not one letter repeated: zeros could decode to the same run, and the damage would not show.
    std::mt19937 rng(7);
    std::string varied(300000, '\0');
    for (auto& c : varied)
        c = static_cast<char>('a' + rng() % 7);
    Entry stored = File("Kelvo/stored.bin", std::string(200000, 's'));
    stored.store = true;
    const std::vector<Entry> entries{kelvo::zip::FolderEntry("Kelvo/", 0, 0), File("Kelvo/big.bin", varied), stored,
                                     File("Kelvo/small.txt", "small")};
    const std::string whole = kelvo::zip::BuildArchive(entries);
    for (const char* name : {"Kelvo/big.bin", "Kelvo/stored.bin"}) {
        size_t at = 0, size = 0;
        ASSERT_TRUE(kelvo::zip::FindEntryData(whole, name, &at, &size)) << name;
        ASSERT_GT(size, 16u);
        // The second half lost (zeros), or a run of bytes flipped in the middle.
        for (int damage = 0; damage < 2; ++damage) {
            std::string bytes = whole;
            if (damage == 0)
                std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at + size / 2),
                          bytes.begin() + static_cast<std::ptrdiff_t>(at + size), '\0');
            else
                for (size_t i = at + size / 2; i < at + size / 2 + 8; ++i)
                    bytes[i] = static_cast<char>(~bytes[i]);
            ASSERT_TRUE(CreateFolderPath(m_target + L"Kelvo"));
            Write(Installed(L"big.bin"), "old big");
            Write(Installed(L"stored.bin"), "old stored");
            ::DeleteFileW(Installed(L"small.txt").c_str());
            WindowsTarget target(m_target);
            const UnpackResult r = Unpack(bytes.data(), bytes.size(), target);
            const std::string what = std::string(name) + (damage ? " flipped" : " cut");
            EXPECT_TRUE(r.opened) << what;
            EXPECT_EQ(r.failed, 1) << what;
            EXPECT_EQ(r.files, 2) << what;
            EXPECT_EQ(Read(Installed(L"small.txt")), "small") << what;
            const bool big = std::string(name) == "Kelvo/big.bin";
            EXPECT_TRUE(Read(Installed(L"big.bin")) == (big ? "old big" : varied)) << what;
            EXPECT_TRUE(Read(Installed(L"stored.bin")) == (big ? std::string(200000, 's') : "old stored")) << what;
            EXPECT_EQ(LeftoverParts(), 0) << what;
        }
    }
}

// A link planted where the unpacking writes its temporary file: the file it
// points at keeps its content, and the entry is still installed.
TEST_F(Unpacking, ALinkPlantedAtTheTemporaryNameIsNotFollowed)
{
    ASSERT_TRUE(CreateFolderPath(m_target + L"Kelvo"));
    const std::wstring victim = m_outer + L"victim.txt";
    Write(victim, "not yours");
    ASSERT_TRUE(::CreateHardLinkW(Installed(L"hard.txt.kelvo-new").c_str(), victim.c_str(), nullptr));
    bool symbolic = ::CreateSymbolicLinkW(Installed(L"soft.txt.kelvo-new").c_str(), victim.c_str(), 0) != 0;
    symbolic = symbolic && (::GetFileAttributesW(Installed(L"soft.txt.kelvo-new").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!symbolic)
        ::DeleteFileW(Installed(L"soft.txt.kelvo-new").c_str());
    // A leftover of a broken run, read-only.
    Write(Installed(L"left.txt.kelvo-new"), "half");
    ::SetFileAttributesW(Installed(L"left.txt.kelvo-new").c_str(), FILE_ATTRIBUTE_READONLY);

    const UnpackResult r = UnpackEntries({File("Kelvo/hard.txt", "hard"), File("Kelvo/soft.txt", "soft"),
                                          File("Kelvo/left.txt", "left")});
    EXPECT_EQ(Read(victim), "not yours");
    EXPECT_EQ(r.files, 3);
    EXPECT_EQ(Read(Installed(L"hard.txt")), "hard");
    EXPECT_EQ(Read(Installed(L"soft.txt")), "soft");
    EXPECT_EQ(Read(Installed(L"left.txt")), "left");
    EXPECT_EQ(LeftoverParts(), 0);
    if (!symbolic)
        std::printf("no symbolic link could be made here: only the hard link was planted\n");
}

// A junction or symbolic link already inside the target (left by anyone who
// could write there before) is never written through: its entries fail, it is
// named, and nothing appears where it leads.
TEST_F(Unpacking, AFolderLinkInsideTheTargetIsRefusedAndNothingIsWrittenWhereItLeads)
{
    const std::wstring outside = TempFolder(L"elsewhere");
    ASSERT_TRUE(CreateFolderPath(m_target + L"Kelvo"));
    if (!kelvo::test::MakeFolderLink(m_target + L"Kelvo\\update", outside.substr(0, outside.size() - 1)))
        GTEST_SKIP() << "no folder link can be made here";
    const UnpackResult r = UnpackEntries({kelvo::zip::FolderEntry("Kelvo/", 0, 0), File("Kelvo/ok.txt", "ok"),
                                          kelvo::zip::FolderEntry("Kelvo/update/", 0, 0),
                                          File("Kelvo/update/QB345.bin", "firmware"),
                                          File("Kelvo/update/deeper/x.bin", "x")});
    EXPECT_EQ(Read(Installed(L"ok.txt")), "ok");
    EXPECT_FALSE(Exists(outside + L"QB345.bin"));
    EXPECT_FALSE(Exists(outside + L"QB345.bin.kelvo-new"));
    EXPECT_FALSE(Exists(outside + L"deeper"));
    EXPECT_EQ(r.failed, 3) << "the folder and both files";
    ASSERT_EQ(r.linkedFolders.size(), 1u);
    EXPECT_EQ(r.linkedFolders[0], m_target + L"Kelvo\\update");
    ::RemoveDirectoryW((m_target + L"Kelvo\\update").c_str());
    ::DeleteFileW((m_target + L"Kelvo\\update").c_str());
    RemoveTree(outside.substr(0, outside.size() - 1));
}

TEST_F(Unpacking, ATargetThatIsALinkGetsNothing)
{
    const std::wstring outside = TempFolder(L"elsewhere");
    ::RemoveDirectoryW(m_target.substr(0, m_target.size() - 1).c_str());
    if (!kelvo::test::MakeFolderLink(m_target.substr(0, m_target.size() - 1), outside.substr(0, outside.size() - 1)))
        GTEST_SKIP() << "no folder link can be made here";
    const UnpackResult r = UnpackEntries({kelvo::zip::FolderEntry("Kelvo/", 0, 0), File("Kelvo/ok.txt", "ok")});
    EXPECT_EQ(r.files, 0);
    EXPECT_FALSE(Exists(outside + L"Kelvo"));
    ASSERT_FALSE(r.linkedFolders.empty());
    EXPECT_EQ(r.linkedFolders[0], m_target.substr(0, m_target.size() - 1));
    ::RemoveDirectoryW(m_target.substr(0, m_target.size() - 1).c_str());
    ::DeleteFileW(m_target.substr(0, m_target.size() - 1).c_str());
    RemoveTree(outside.substr(0, outside.size() - 1));
}

// ---------------------------------------------------------------- tree removal

TEST(TestTreeRemoval, ALinkToAFolderIsRemovedNotFollowed)
{
    const std::wstring outside = TempFolder(L"kept");
    Write(outside + L"keep.txt", "kept");
    const std::wstring tree = TempFolder(L"tree");
    ASSERT_TRUE(::CreateDirectoryW((tree + L"sub").c_str(), nullptr));
    Write(tree + L"sub\\file.txt", "x");
    const std::wstring link = tree + L"sub\\link";
    const bool made = ::CreateSymbolicLinkW(link.c_str(), outside.substr(0, outside.size() - 1).c_str(),
                                            SYMBOLIC_LINK_FLAG_DIRECTORY) != 0;
    const DWORD a = ::GetFileAttributesW(link.c_str());
    const bool isLink = made && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
    RemoveTree(tree.substr(0, tree.size() - 1));
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(Read(outside + L"keep.txt"), "kept");
    RemoveTree(outside.substr(0, outside.size() - 1));
    if (!isLink)
        GTEST_SKIP() << "no link to a folder can be made here";
}

// The uninstaller's own removal: a link inside the installation goes, what
// it points at stays; the uninstaller's file stays for its own batch.
TEST(UninstallerTreeRemoval, ALinkToAFolderIsRemovedNotFollowedAndTheKeptFileStays)
{
    const std::wstring outside = TempFolder(L"kept-by-uninstaller");
    Write(outside + L"keep.txt", "kept");
    const std::wstring tree = TempFolder(L"installation");
    ASSERT_TRUE(::CreateDirectoryW((tree + L"sub").c_str(), nullptr));
    Write(tree + L"sub\\file.txt", "x");
    Write(tree + L"Uninstall.exe", "MZ");
    ::SetFileAttributesW((tree + L"sub\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring link = tree + L"sub\\link";
    const bool made = ::CreateSymbolicLinkW(link.c_str(), outside.substr(0, outside.size() - 1).c_str(),
                                            SYMBOLIC_LINK_FLAG_DIRECTORY) != 0;
    const DWORD a = ::GetFileAttributesW(link.c_str());
    const bool isLink = made && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
    if (made && !isLink) {
        // A link this system does not show as one would be followed by any program: not the case under test.
        ::RemoveDirectoryW(link.c_str());
        ::DeleteFileW(link.c_str());
    }
    kelvo::uninstall::RemoveTree(tree.substr(0, tree.size() - 1), tree + L"Uninstall.exe");
    EXPECT_FALSE(Exists(tree + L"sub")) << "a read-only file inside goes too";
    EXPECT_EQ(Read(tree + L"Uninstall.exe"), "MZ");
    EXPECT_EQ(Read(outside + L"keep.txt"), "kept");
    RemoveTree(tree.substr(0, tree.size() - 1));
    RemoveTree(outside.substr(0, outside.size() - 1));
    if (!isLink)
        GTEST_SKIP() << "no link to a folder can be made here";
}

// What the user keeps (the settings, the downloads) stays with everything in
// it; a file still held open is named as left, and so is nothing else.
TEST(UninstallerTreeRemoval, KeptPathsStayAndWhatIsHeldIsNamedAsLeft)
{
    const std::wstring tree = TempFolder(L"uninstall");
    const std::wstring folder = tree.substr(0, tree.size() - 1);
    ASSERT_TRUE(::CreateDirectoryW((tree + L"update").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((tree + L"language").c_str(), nullptr));
    Write(tree + L"Kelvo.cfg", "[Setting]");
    Write(tree + L"update\\QB345.bin", "fw");
    Write(tree + L"language\\en_TEXT.cbf", "t");
    Write(tree + L"Kelvo.exe", "MZ");
    Write(tree + L"held.dll", "MZ");
    HANDLE held = ::CreateFileW((tree + L"held.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::vector<std::wstring> left =
        kelvo::uninstall::RemoveTreeExcept(folder, {tree + L"Kelvo.cfg", tree + L"update"});
    ::CloseHandle(held);
    EXPECT_EQ(left, std::vector<std::wstring>{tree + L"held.dll"});
    EXPECT_EQ(Read(tree + L"Kelvo.cfg"), "[Setting]");
    EXPECT_EQ(Read(tree + L"update\\QB345.bin"), "fw");
    EXPECT_FALSE(Exists(tree + L"Kelvo.exe"));
    EXPECT_FALSE(Exists(tree + L"language"));

    // Nothing kept, nothing held: the folder itself goes.
    EXPECT_TRUE(kelvo::uninstall::RemoveTreeExcept(folder, {}).empty());
    EXPECT_FALSE(Exists(folder));
}

// ---------------------------------------------------------------- folders

// The uninstall entry names an installation: an upgrade goes there, as long
// as our uninstaller is in it.
TEST(CustomFolder, TheEarlierInstallationIsWhereTheEntryPlacesItsUninstaller)
{
    const wchar_t key[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvo";
    HKEY probe = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &probe) == ERROR_SUCCESS) {
        ::RegCloseKey(probe);
        GTEST_SKIP() << "an installation is registered in this prefix";
    }
    const std::wstring outer = TempFolder(L"earlier");
    const std::wstring program = outer + L"ZENDRIX\\Kelvo";
    ASSERT_TRUE(CreateFolderPath(program));
    auto setEntry = [&](const wchar_t* name, const std::wstring& value) {
        HKEY h = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr), ERROR_SUCCESS);
        ::RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(h);
    };
    setEntry(L"UninstallString", L"\"" + program + L"\\Uninstall.exe\"");
    EXPECT_EQ(EarlierInstallationBase(), L"") << "no uninstaller in the folder: nothing to upgrade";
    Write(program + L"\\Uninstall.exe", "MZ");
    EXPECT_EQ(EarlierInstallationBase(), outer) << "an entry without InstallLocation: the uninstaller's folder";
    setEntry(L"InstallLocation", L"C:\\nowhere\\ZENDRIX\\Kelvo");
    EXPECT_EQ(EarlierInstallationBase(), L"") << "InstallLocation rules, and it holds no uninstaller";
    setEntry(L"InstallLocation", program);
    EXPECT_EQ(EarlierInstallationBase(), outer);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    EXPECT_EQ(EarlierInstallationBase(), L"");
    RemoveTree(outer.substr(0, outer.size() - 1));
}

TEST(CustomFolder, ARelativePathIsMadeAbsoluteAndAnEmptyOneIsTheDefault)
{
    const std::wstring dir = TempFolder(L"cwd");
    wchar_t old[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str()));
    const std::wstring chosen = ChosenBase(L"apps\\\\", L"C:\\Default\\");
    ::SetCurrentDirectoryW(old);
    RemoveTree(dir.substr(0, dir.size() - 1));
    EXPECT_EQ(chosen, dir + L"apps\\");
    EXPECT_EQ(ChosenBase(L"", L"C:\\Default\\"), L"C:\\Default\\");
    EXPECT_EQ(ChosenBase(L"D:\\Tools\\\\", L"C:\\Default\\"), L"D:\\Tools\\");
}

TEST(CustomFolder, AnItemWithoutAFileSystemPathLeavesTheFolderUnchanged)
{
    std::wstring folder = L"D:\\Typed\\";
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
    EXPECT_FALSE(FolderOfItem(computer, &folder));
    ::CoTaskMemFree(computer);
    EXPECT_EQ(folder, L"D:\\Typed\\") << "not a drive root";
    EXPECT_FALSE(FolderOfItem(nullptr, &folder));

    PIDLIST_ABSOLUTE windows = nullptr;
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &windows), S_OK);
    EXPECT_TRUE(FolderOfItem(windows, &folder));
    ::CoTaskMemFree(windows);
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_NE(folder, L"D:\\Typed\\");
}

// ---------------------------------------------------------------- shortcuts

class Shortcuts : public testing::Test {
protected:
    void SetUp() override { ::CoInitialize(nullptr); }
    void TearDown() override
    {
        wchar_t programs[MAX_PATH] = {};
        ::SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, 0, programs);
        const std::wstring sub = std::wstring(programs) + L"\\ZENDRIX\\Kelvo";
        ::DeleteFileW((sub + L"\\Test.lnk").c_str());
        ::RemoveDirectoryW((sub + L"\\Blocked.lnk").c_str());
        ::RemoveDirectoryW(sub.c_str());
        ::RemoveDirectoryW((std::wstring(programs) + L"\\ZENDRIX").c_str());
        ::CoUninitialize();
    }
};

TEST_F(Shortcuts, SavedOnlyWhenTheLinkExistsAndSaveSucceedsWithNoHandleLeft)
{
    EXPECT_EQ(SaveShortcut(CSIDL_PROGRAMS, L"Test.lnk", true, nullptr), 0);

    IShellLinkW* link = CreateProgramLink(L"C:\\windows\\notepad.exe", L"Launch test");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(SaveShortcut(CSIDL_PROGRAMS, L"Test.lnk", true, link), 1);
    // Both folders exist now: the searches that find them must be closed
    // again. The system hands out the lowest free handle value, so handles
    // left open by the calls push the next one up.
    auto nextHandle = [] {
        HANDLE h = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ::CloseHandle(h);
        return reinterpret_cast<UINT_PTR>(h);
    };
    SaveShortcut(CSIDL_PROGRAMS, L"Test.lnk", true, link);
    const UINT_PTR before = nextHandle();
    for (int i = 0; i < 20; ++i)
        SaveShortcut(CSIDL_PROGRAMS, L"Test.lnk", true, link);
    const UINT_PTR after = nextHandle();
    EXPECT_LT(after, before + 10 * sizeof(HANDLE)) << "handles stay open per call";

    wchar_t programs[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, 0, programs);
    const std::wstring blocked = std::wstring(programs) + L"\\ZENDRIX\\Kelvo\\Blocked.lnk";
    ASSERT_TRUE(::CreateDirectoryW(blocked.c_str(), nullptr));
    EXPECT_EQ(SaveShortcut(CSIDL_PROGRAMS, L"Blocked.lnk", true, link), 0) << "a folder of that name: Save fails";
    link->Release();
}

} // namespace

// ---------------------------------------------------------------- devcon

namespace {

DWORD RunDevcon(const std::wstring& arguments)
{
    wchar_t dist[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"KELVO_DIST", dist, MAX_PATH);
    std::wstring exe = L"Z:" + std::wstring(dist) + L"/x86/devcon.exe";
    for (auto& c : exe)
        if (c == L'/')
            c = L'\\';
    std::wstring cmd = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 999;
    ::WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 999;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return code;
}

} // namespace

TEST(Devcon, ExitCodesTellDoneFailedAndBadArguments)
{
    const std::wstring dir = TempFolder(L"devcon");
    Write(dir + L"other.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n[M.NTx86]\r\n%D%=I,USB\\VID_1234&PID_0001\r\n");
    EXPECT_EQ(RunDevcon(L""), 2u);
    EXPECT_EQ(RunDevcon(L"remove a b"), 2u);
    EXPECT_EQ(RunDevcon(L"install \"" + dir + L"missing.inf\" \"USB\\VID_0483&PID_5740\""), 1u);
    EXPECT_EQ(RunDevcon(L"install \"" + dir + L"other.inf\" \"USB\\VID_0483&PID_5740\""), 1u)
        << "the INF does not name the hardware id";
    RemoveTree(dir.substr(0, dir.size() - 1));
}

// ---------------------------------------------------------------- driver batch

namespace {

// Runs a copy of the installation's batch `name` in a folder whose devcon is a
// stand-in ending with `exitCode`; a key is there for its pause. Returns what
// it printed; `*kept` tells whether the batch is still there after it.
std::string RunBatch(const std::wstring& name, int exitCode, bool* kept, bool* otherKept)
{
    wchar_t dist[MAX_PATH] = {}, bin[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"KELVO_DIST", dist, MAX_PATH);
    ::GetEnvironmentVariableW(L"KELVO_WIN_BUILD", bin, MAX_PATH);
    auto windows = [](std::wstring unix) {
        for (auto& c : unix)
            if (c == L'/')
                c = L'\\';
        return L"Z:" + unix;
    };
    const std::wstring dir = TempFolder(L"batch");
    const std::wstring arch = name.substr(0, 3), other = arch == L"x64" ? L"x86" : L"x64";
    ::CreateDirectoryW((dir + arch).c_str(), nullptr);
    ::CopyFileW((windows(dist) + L"\\" + name).c_str(), (dir + name).c_str(), FALSE);
    ::CopyFileW((windows(dist) + L"\\" + other + L".bat").c_str(), (dir + other + L".bat").c_str(), FALSE);
    ::CopyFileW((windows(bin) + L"\\tests\\bin\\fake_devcon.exe").c_str(), (dir + arch + L"\\devcon.exe").c_str(), FALSE);
    ::SetEnvironmentVariableW(L"KELVO_FAKE_DEVCON_EXIT", std::to_wstring(exitCode).c_str());

    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    ::CreatePipe(&inRead, &inWrite, &sa, 0);
    ::CreatePipe(&outRead, &outWrite, &sa, 0);
    ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    DWORD n = 0;
    ::WriteFile(inWrite, "\r\n\r\n", 4, &n, nullptr);
    ::CloseHandle(inWrite);
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(system) + L"\\cmd.exe\" /c " + name;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = outWrite;
    PROCESS_INFORMATION pi{};
    std::string out;
    if (::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, dir.c_str(), &si, &pi)) {
        ::CloseHandle(outWrite);
        outWrite = nullptr;
        char buf[4096];
        while (::ReadFile(outRead, buf, sizeof buf, &n, nullptr) && n > 0)
            out.append(buf, n);
        ::WaitForSingleObject(pi.hProcess, 60000);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    } else {
        out = "<cmd did not start>";
    }
    if (outWrite)
        ::CloseHandle(outWrite);
    ::CloseHandle(outRead);
    ::CloseHandle(inRead);
    *kept = Exists(dir + name);
    *otherKept = Exists(dir + other + L".bat");
    RemoveTree(dir.substr(0, dir.size() - 1));
    return out;
}

} // namespace

TEST(DriverBatch, AFailureSaysSoWaitsForAKeyAndKeepsTheBatchToRunAgain)
{
    for (const wchar_t* name : {L"x86.bat", L"x64.bat"}) {
        SCOPED_TRACE(std::string(name, name + 7));
        bool kept = false, otherKept = false;
        std::string out = RunBatch(name, 0, &kept, &otherKept);
        EXPECT_NE(out.find("fake devcon: [install] [stm32_sys\\stmcdc.inf] [USB\\VID_0483&PID_5740]"), std::string::npos)
            << out;
        EXPECT_FALSE(kept) << "done: the batch deletes itself\n" << out;
        EXPECT_FALSE(otherKept) << "and the other one";

        out = RunBatch(name, 3, &kept, &otherKept);
        EXPECT_NE(out.find("Windows refused the scan tool's driver, so it is not installed. To try again, run " +
                           std::string(name, name + 7) + " in the Kelvo folder as administrator."),
                  std::string::npos)
            << out;
        EXPECT_TRUE(kept) << out;
        EXPECT_TRUE(otherKept);

        for (int code : {1, 2, 9009}) {
            out = RunBatch(name, code, &kept, &otherKept);
            EXPECT_NE(out.find("The scan tool's driver could not be installed."), std::string::npos) << code << out;
            EXPECT_TRUE(kept) << code;
        }

        out = RunBatch(name, 4, &kept, &otherKept);
        EXPECT_NE(out.find("The scan tool's driver is installed. Restart Windows to complete it."), std::string::npos)
            << out;
        EXPECT_FALSE(kept) << "installed, only the restart is missing: the batch has done its work\n" << out;
    }
}

// The installer runs the batch itself, with no window and no console, and
// reports the batch's exit code: nothing waits for a key (no stdin here at all).
TEST(DriverBatch, TheInstallerRunsItHiddenAndReportsItsExitCode)
{
    wchar_t dist[MAX_PATH] = {}, bin[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"KELVO_DIST", dist, MAX_PATH);
    ::GetEnvironmentVariableW(L"KELVO_WIN_BUILD", bin, MAX_PATH);
    auto windows = [](std::wstring unix) {
        for (auto& c : unix)
            if (c == L'/')
                c = L'\\';
        return L"Z:" + unix;
    };
    for (int code : {0, 4, 3, 1}) {
        SCOPED_TRACE(code);
        // A folder whose name cmd would otherwise cut at "(x86)".
        const std::wstring dir = TempFolder(L"driver (x86)");
        ::CreateDirectoryW((dir + L"x86").c_str(), nullptr);
        ::CopyFileW((windows(dist) + L"\\x86.bat").c_str(), (dir + L"x86.bat").c_str(), FALSE);
        ::CopyFileW((windows(dist) + L"\\x64.bat").c_str(), (dir + L"x64.bat").c_str(), FALSE);
        ::CopyFileW((windows(bin) + L"\\tests\\bin\\fake_devcon.exe").c_str(), (dir + L"x86\\devcon.exe").c_str(), FALSE);
        ::SetEnvironmentVariableW(L"KELVO_FAKE_DEVCON_EXIT", std::to_wstring(code).c_str());
        const DriverOutcome o = RunDriverBatch(dir.substr(0, dir.size() - 1), L"x86.bat", 60000);
        EXPECT_EQ(o.kind, DriverStepKind::Ran);
        EXPECT_EQ(o.exitCode, static_cast<unsigned long>(code));
        EXPECT_EQ(Exists(dir + L"x86.bat"), code != 0 && code != 4) << "kept only to be run again";
        EXPECT_EQ(DriverFailed(o), code == 3 || code == 1);
        RemoveTree(dir.substr(0, dir.size() - 1));
    }
    const DriverOutcome missing = RunDriverBatch(L"C:\\no such folder", L"x86.bat", 1000);
    EXPECT_EQ(missing.kind, DriverStepKind::Missing);
    EXPECT_TRUE(DriverFailed(missing));
}
