// kelvo-zippack and its writer: names beyond ASCII carry the UTF-8 flag, so
// the installer reads them as written; what a ZIP without ZIP64 cannot hold
// is refused, never cut short into another archive.
#include "installer/package/Package.h"
#include "native/support/temp_dir.h"
#include "tools/zippack/ZipWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace {

using kelvo::test::TempDir;

// The unpacked names and contents.
class NamesTarget : public kelvo::install::InstallTarget {
public:
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, int> folders;
    bool CreateFolders(const std::wstring& folder) override
    {
        ++folders[folder];
        return true;
    }
    bool FileExists(const std::wstring& file) override { return files.count(file) != 0; }
    std::unique_ptr<kelvo::install::PendingFile> BeginFile(const std::wstring& file) override
    {
        struct File : kelvo::install::PendingFile {
            NamesTarget* t;
            std::wstring name;
            std::string data;
            bool Write(const void* p, size_t n) override
            {
                data.append(static_cast<const char*>(p), n);
                return true;
            }
            bool Commit(uint32_t, uint32_t) override
            {
                t->files[name] = data;
                return true;
            }
            void Abandon() override {}
        };
        auto f = std::make_unique<File>();
        f->t = this;
        f->name = file;
        return f;
    }
};

int RunZippack(const std::string& folder, const std::string& archive)
{
    const std::string cmd = std::string(KELVO_ZIPPACK_PATH) + " '" + folder + "' '" + archive + "' >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

TEST(Zippack, NamesBeyondAsciiAreFlaggedUtf8AndReadBackAsWritten)
{
    TempDir dir;
    const std::string folder = dir.file("Kelvo");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder + "/Spr\xC3\xA4" "che").c_str(), 0755), 0);
    kelvo::test::WriteFileBytes(folder + "/F\xC3\xBCr.txt", "umlaut");
    kelvo::test::WriteFileBytes(folder + "/Spr\xC3\xA4" "che/\xE2\x82\xAC.txt", "euro");
    kelvo::test::WriteFileBytes(folder + "/plain.txt", "plain");
    ASSERT_EQ(RunZippack(folder, dir.file("k.zip")), 0);
    const std::string zip = kelvo::test::ReadFileBytes(dir.file("k.zip"));
    NamesTarget target;
    const auto r = kelvo::install::Unpack(zip.data(), zip.size(), target);
    EXPECT_EQ(r.files, 3);
    EXPECT_EQ(target.files[L"Kelvo\\F\u00FCr.txt"], "umlaut");
    EXPECT_EQ(target.files[L"Kelvo\\Spr\u00E4che\\\u20AC.txt"], "euro");
    EXPECT_EQ(target.folders.count(L"Kelvo\\Spr\u00E4che\\"), 1u);
    EXPECT_EQ(target.files[L"Kelvo\\plain.txt"], "plain");
    EXPECT_TRUE(kelvo::zip::NeedsUtf8Flag("Kelvo/F\xC3\xBCr.txt"));
    EXPECT_FALSE(kelvo::zip::NeedsUtf8Flag("Kelvo/plain.txt"));
}

TEST(Zippack, AFolderOfMoreThan65535EntriesIsRefused)
{
    TempDir dir;
    const std::string folder = dir.file("Kelvo");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    // With the folder's own entry: 65536.
    for (int i = 0; i < 65535; ++i)
        std::ofstream(folder + "/" + std::to_string(i));
    EXPECT_NE(RunZippack(folder, dir.file("k.zip")), 0);
    EXPECT_FALSE(kelvo::test::FileExists(dir.file("k.zip")));
}

TEST(ZipWriter, CountsAndNamesTooLargeForTheirFieldsAreErrors)
{
    std::vector<kelvo::zip::Entry> entries(65535, kelvo::zip::FolderEntry("d/", 0, 0));
    std::string why;
    const std::string most = kelvo::zip::BuildArchive(entries, &why);
    ASSERT_FALSE(most.empty()) << why;
    EXPECT_EQ(static_cast<unsigned char>(most[most.size() - 12]) | static_cast<unsigned char>(most[most.size() - 11]) << 8,
              65535);
    entries.push_back(kelvo::zip::FolderEntry("d/", 0, 0));
    EXPECT_TRUE(kelvo::zip::BuildArchive(entries, &why).empty());
    EXPECT_NE(why.find("65535 entries"), std::string::npos) << why;

    why.clear();
    EXPECT_TRUE(kelvo::zip::BuildArchive({kelvo::zip::FileEntry(std::string(65536, 'n'), "x", 0, 0)}, &why).empty());
    EXPECT_NE(why.find("name"), std::string::npos) << why;
    EXPECT_FALSE(kelvo::zip::BuildArchive({kelvo::zip::FileEntry(std::string(65535, 'n'), "x", 0, 0)}).empty());
}

} // namespace
