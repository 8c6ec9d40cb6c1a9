// Unpacking the package through minizip into a target held in memory: what
// each kind of entry becomes, what a damaged entry or a failing disk leaves,
// and thousands of truncated and mutated archives read through the bounded
// hooks (the native build runs with AddressSanitizer and UBSan).
#include "installer/package/Package.h"
#include "tools/zippack/ZipWriter.h"

#include <gtest/gtest.h>

#include <map>
#include <cstring>
#include <random>

namespace kelvo::install {
namespace {

using zip::Entry;

// Files and folders by relative path; a write budget stands for a disk that fills up.
class MemoryTarget : public InstallTarget {
public:
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, uint32_t> attributes;
    std::map<std::wstring, int> folders;
    int pending = 0;          // partial files not yet committed or abandoned
    int abandonedMidFile = 0; // partial files given up after some of their bytes were written
    long long budget = -1;    // bytes the disk still takes, -1: no limit

    bool CreateFolders(const std::wstring& folder) override
    {
        ++folders[folder];
        return true;
    }
    bool FileExists(const std::wstring& file) override { return files.count(file) != 0; }
    std::unique_ptr<PendingFile> BeginFile(const std::wstring& file) override;
};

class MemoryFile : public PendingFile {
public:
    MemoryFile(MemoryTarget& t, std::wstring name) : m_target(t), m_name(std::move(name)) { ++m_target.pending; }
    bool Write(const void* data, size_t size) override
    {
        if (m_target.budget >= 0) {
            if (static_cast<long long>(size) > m_target.budget)
                return false;
            m_target.budget -= static_cast<long long>(size);
        }
        m_data.append(static_cast<const char*>(data), size);
        return true;
    }
    bool Commit(uint32_t attributes, uint32_t) override
    {
        m_target.files[m_name] = m_data;
        m_target.attributes[m_name] = attributes;
        --m_target.pending;
        return true;
    }
    void Abandon() override
    {
        --m_target.pending;
        if (!m_data.empty())
            ++m_target.abandonedMidFile;
    }

private:
    MemoryTarget& m_target;
    std::wstring m_name;
    std::string m_data;
};

std::unique_ptr<PendingFile> MemoryTarget::BeginFile(const std::wstring& file)
{
    return std::make_unique<MemoryFile>(*this, file);
}

std::string Bytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() % 7 + 'a');  // compressible, as programs are
    return s;
}

std::vector<Entry> Package()
{
    return {zip::FolderEntry("Kelvo/", 0, 0), zip::FileEntry("Kelvo/Kelvo.cfg", "[Setting]\r\nLanguage = 0\r\n", 0, 0),
            zip::FileEntry("Kelvo/Kelvo.exe", Bytes(300000, 1), 0, 0), zip::FolderEntry("Kelvo/dtc/", 0, 0),
            zip::FileEntry("Kelvo/dtc/en_OBDII.txt", Bytes(5000, 2), 0, 0)};
}

UnpackResult UnpackInto(const std::string& archive, MemoryTarget& target, long long* started = nullptr, int* done = nullptr)
{
    UnpackEvents events;
    events.started = [&](long long n) {
        if (started)
            *started = n;
    };
    events.entryDone = [&] {
        if (done)
            ++*done;
    };
    return Unpack(archive.data(), archive.size(), target, events);
}

TEST(Unpack, EveryEntryOfAGoodPackageLandsInPlace)
{
    const auto entries = Package();
    MemoryTarget target;
    long long started = -1;
    int done = 0;
    const UnpackResult r = UnpackInto(zip::BuildArchive(entries), target, &started, &done);
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(started, 5);
    EXPECT_EQ(done, 5);
    EXPECT_EQ(r.folders, 2);
    EXPECT_EQ(r.files, 3);
    EXPECT_EQ(r.failed + r.skipped + r.kept, 0);
    EXPECT_EQ(target.files[L"Kelvo\\Kelvo.exe"], entries[2].data);
    EXPECT_EQ(target.attributes[L"Kelvo\\Kelvo.exe"], 0x20u);
    EXPECT_EQ(target.folders.count(L"Kelvo\\dtc\\"), 1u);
}

TEST(Unpack, EscapingNamesAreSkippedAndCountedButStillCountForProgress)
{
    auto entries = Package();
    for (const char* bad : {"../evil.txt", "Kelvo/../../evil.txt", "/abs.txt", "\\abs.txt", "C:/drive.txt", "Kelvo/x:ads"})
        entries.push_back(zip::FileEntry(bad, "evil", 0, 0));
    MemoryTarget target;
    int done = 0;
    const UnpackResult r = UnpackInto(zip::BuildArchive(entries), target, nullptr, &done);
    EXPECT_EQ(r.skipped, 6);
    EXPECT_EQ(done, 11);
    EXPECT_EQ(r.files, 3);
    ASSERT_EQ(r.skippedNames.size(), 6u);
    EXPECT_EQ(r.skippedNames[0], L"../evil.txt");
    EXPECT_EQ(r.skippedNames[5], L"Kelvo/x:ads");
    for (const auto& f : target.files)
        EXPECT_EQ(f.first.rfind(L"Kelvo\\", 0), 0u);
}

TEST(Unpack, ADamagedEntryOrAFullDiskFailsThatFileAlone)
{
    auto entries = Package();
    entries[4].forceCrc = true;
    entries[4].crc = zip::Crc32(entries[4].data) ^ 1;
    MemoryTarget target;
    target.files[L"Kelvo\\dtc\\en_OBDII.txt"] = "old codes";
    UnpackResult r = UnpackInto(zip::BuildArchive(entries), target);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.failedNames, std::vector<std::wstring>{L"Kelvo/dtc/en_OBDII.txt"});
    EXPECT_EQ(r.files, 2) << "the settings file and Kelvo.exe";
    EXPECT_EQ(target.files[L"Kelvo\\dtc\\en_OBDII.txt"], "old codes");
    EXPECT_EQ(target.pending, 0) << "every partial file is removed";

    MemoryTarget full;
    full.budget = 100000;  // Kelvo.exe does not fit
    r = UnpackInto(zip::BuildArchive(Package()), full);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(full.files.count(L"Kelvo\\Kelvo.exe"), 0u);
    EXPECT_EQ(full.files.count(L"Kelvo\\dtc\\en_OBDII.txt"), 1u);
    EXPECT_EQ(full.pending, 0);
}

TEST(Unpack, OtherSpellingsOfTheSettingsFileAreSkippedAndTheUserFileKept)
{
    MemoryTarget target;
    target.files[L"Kelvo\\Kelvo.cfg"] = "[Setting]\r\nLanguage = 9\r\n";
    auto entries = Package();
    for (const char* odd : {"Kelvo/./Kelvo.cfg", "Kelvo//Kelvo.cfg", "Kelvo/Kelvo.cfg.", "Kelvo/Kelvo.cfg ", "Kelvo/./dtc/"})
        entries.push_back(zip::FileEntry(odd, "[Setting]\r\nLanguage = 0\r\n", 0, 0));
    int done = 0;
    const UnpackResult r = UnpackInto(zip::BuildArchive(entries), target, nullptr, &done);
    EXPECT_EQ(r.skipped, 5);
    EXPECT_EQ(r.kept, 1);
    EXPECT_EQ(done, 10);
    EXPECT_EQ(target.files[L"Kelvo\\Kelvo.cfg"], "[Setting]\r\nLanguage = 9\r\n");
    for (const auto& f : target.files)
        EXPECT_TRUE(f.first == L"Kelvo\\Kelvo.cfg" || f.first == L"Kelvo\\Kelvo.exe" ||
                    f.first == L"Kelvo\\dtc\\en_OBDII.txt")
            << f.first.size();
}

TEST(Unpack, AnExistingSettingsFileIsKept)
{
    MemoryTarget target;
    target.files[L"Kelvo\\Kelvo.cfg"] = "[Setting]\r\nLanguage = 9\r\n";
    const UnpackResult r = UnpackInto(zip::BuildArchive(Package()), target);
    EXPECT_EQ(r.kept, 1);
    EXPECT_EQ(target.files[L"Kelvo\\Kelvo.cfg"], "[Setting]\r\nLanguage = 9\r\n");
    // The package's own file comes back for the merge of the maker's keys.
    EXPECT_EQ(r.packageSettings, "[Setting]\r\nLanguage = 0\r\n");

    MemoryTarget fresh;
    EXPECT_EQ(UnpackInto(zip::BuildArchive(Package()), fresh).packageSettings, "") << "nothing kept, nothing to merge";
}

TEST(Unpack, NamesAreDecodedWhole)
{
    std::vector<Entry> entries{zip::FileEntry("Kelvo/F\x81r.txt", "cp437", 0, 0),
                               zip::FileEntry("Kelvo/F\xC3\xBCr-utf8.txt", "utf8", 0, 0)};
    entries[1].flags = 1 << 11;
    const std::string longName = "Kelvo/" + std::string(400, 'n') + ".txt";
    entries.push_back(zip::FileEntry(longName, "long", 0, 0));
    entries.push_back(zip::FileEntry("Kelvo/unix.txt", "unix", 0, 0));
    entries.back().madeBy = (3 << 8) | 20;
    entries.back().external = 0100755u << 16;
    MemoryTarget target;
    UnpackInto(zip::BuildArchive(entries), target);
    EXPECT_EQ(target.files[L"Kelvo\\F\u00FCr.txt"], "cp437");
    EXPECT_EQ(target.files[L"Kelvo\\F\u00FCr-utf8.txt"], "utf8");
    EXPECT_EQ(target.files[L"Kelvo\\" + std::wstring(400, L'n') + L".txt"], "long");
    EXPECT_EQ(target.attributes[L"Kelvo\\unix.txt"], 0u);
}

TEST(Unpack, AnythingThatIsNoArchiveOpensNothing)
{
    MemoryTarget target;
    for (const std::string& junk : {std::string(), std::string("PK\x05\x06", 4), std::string(5000, '\0')}) {
        long long started = -1;
        const UnpackResult r = UnpackInto(junk, target, &started);
        EXPECT_FALSE(r.opened);
        EXPECT_EQ(started, 0);
    }
    EXPECT_TRUE(target.files.empty());
    EXPECT_EQ(Unpack(nullptr, 100, target).entries, 0);
}

// Every outcome of a damaged archive is a count: no read outside the block, no
// partial file left, nothing outside the target, and an entry either intact or absent.
void ExpectSane(const std::string& archive, const std::vector<Entry>& original)
{
    MemoryTarget target;
    const UnpackResult r = UnpackInto(archive, target);
    EXPECT_EQ(target.pending, 0);
    EXPECT_LE(r.files + r.folders + r.kept + r.skipped + r.failed, r.entries < 1000000 ? r.entries : 1000000);
    for (const auto& f : target.files) {
        EXPECT_EQ(f.first.find(L".."), std::wstring::npos);
        for (const auto& e : original) {
            if (f.first == L"Kelvo\\Kelvo.exe" && e.name == "Kelvo/Kelvo.exe") {
                EXPECT_EQ(f.second, e.data);
            }
        }
    }
}

TEST(UnpackFuzz, TruncatedArchivesAtEveryLength)
{
    std::vector<Entry> entries{zip::FolderEntry("Kelvo/", 0, 0), zip::FileEntry("Kelvo/a.txt", Bytes(700, 3), 0, 0),
                               zip::FileEntry("Kelvo/b.bin", Bytes(2000, 4), 0, 0)};
    entries[2].store = true;
    const std::string archive = zip::BuildArchive(entries);
    for (size_t n = 0; n < archive.size(); ++n) {
        // A copy of exactly n bytes on the heap, so that any overread is caught.
        std::unique_ptr<char[]> cut(new char[n ? n : 1]);
        std::memcpy(cut.get(), archive.data(), n);
        MemoryTarget target;
        const UnpackResult r = Unpack(cut.get(), n, target);
        // Every cut loses the end record or part of it: refused before any entry
        // (minizip alone would make up an end record's missing bytes).
        EXPECT_FALSE(r.opened) << "length " << n;
        EXPECT_TRUE(target.files.empty()) << "length " << n;
        EXPECT_EQ(target.pending, 0);
    }
    MemoryTarget whole;
    EXPECT_EQ(Unpack(archive.data(), archive.size(), whole).files, 2) << "the uncut archive unpacks";
}

// The truncations above never reach an entry. Here the directory stays
// whole and the bytes inside one file's data are cut short (zeros from some
// point to its end) or flipped, at every offset: that file is given up part-way, its old content stays, the others land.
TEST(UnpackFuzz, DataDamagedAtEveryOffsetInsideAWholeArchive)
{
    std::vector<Entry> entries{zip::FolderEntry("Kelvo/", 0, 0), zip::FileEntry("Kelvo/a.txt", Bytes(300000, 3), 0, 0),
                               zip::FileEntry("Kelvo/b.bin", Bytes(2000, 4), 0, 0)};
    entries[2].store = true;
    const std::string archive = zip::BuildArchive(entries);
    for (int which : {1, 2}) {
        size_t at = 0, size = 0;
        ASSERT_TRUE(zip::FindEntryData(archive, entries[static_cast<size_t>(which)].name, &at, &size));
        const std::wstring damagedName = which == 1 ? L"Kelvo\\a.txt" : L"Kelvo\\b.bin";
        const std::wstring otherName = which == 1 ? L"Kelvo\\b.bin" : L"Kelvo\\a.txt";
        const std::string& other = entries[which == 1 ? 2u : 1u].data;
        int midFile = 0;
        for (size_t from = 0; from < size; from += 1 + size / 97) {
            for (int flip = 0; flip < 2; ++flip) {
                std::string m = archive;
                if (flip)
                    m[at + from] = static_cast<char>(~m[at + from]);
                else
                    std::fill(m.begin() + static_cast<std::ptrdiff_t>(at + from),
                              m.begin() + static_cast<std::ptrdiff_t>(at + size), '\0');
                std::unique_ptr<char[]> heap(new char[m.size()]);
                std::memcpy(heap.get(), m.data(), m.size());
                MemoryTarget target;
                target.files[damagedName] = "old";
                const UnpackResult r = Unpack(heap.get(), m.size(), target);
                const std::string where = (flip ? "flipped at " : "cut at ") + std::to_string(from);
                ASSERT_TRUE(r.opened) << where;
                EXPECT_EQ(r.failed, 1) << where;
                EXPECT_EQ(r.files, 1) << where;
                EXPECT_EQ(target.files[damagedName], "old") << where;
                EXPECT_TRUE(target.files[otherName] == other) << where;
                EXPECT_EQ(target.pending, 0) << where;
                midFile += target.abandonedMidFile;
            }
        }
        EXPECT_GT(midFile, 0) << "no damage was found part-way through a file";
    }
}

TEST(UnpackFuzz, MutatedArchivesGiveCountsNeverCrashes)
{
    auto entries = Package();
    entries[2].data = Bytes(20000, 5);
    const std::string archive = zip::BuildArchive(entries);
    std::mt19937 rng(20201);
    for (int round = 0; round < 3000; ++round) {
        std::string m = archive;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < flips; ++k) {
            const size_t at = rng() % m.size();
            switch (rng() % 4) {
            case 0: m[at] = static_cast<char>(rng()); break;
            case 1: m[at] = static_cast<char>(0xFF); break;
            case 2: m[at] = 0; break;
            default:
                // Favour the central directory and the end record, where sizes and offsets live.
                m[m.size() - 1 - rng() % (m.size() < 200 ? m.size() : 200)] = static_cast<char>(rng());
            }
        }
        if (rng() % 5 == 0)
            m.resize(rng() % m.size());
        std::unique_ptr<char[]> heap(new char[m.size() ? m.size() : 1]);
        std::memcpy(heap.get(), m.data(), m.size());
        ExpectSane(std::string(heap.get(), m.size()), entries);
        MemoryTarget target;
        Unpack(heap.get(), m.size(), target);
        EXPECT_EQ(target.pending, 0);
    }
}

} // namespace
} // namespace kelvo::install
