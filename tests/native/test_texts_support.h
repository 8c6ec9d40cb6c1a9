#pragma once
// Shared helpers of the text-table tests: a program folder with a "language"
// folder, tables written into it, and the language state reset per test.
#include "app/core/globals.h"
#include "app/core/texts.h"
#include "native/support/temp_dir.h"
#include "tools/textc/table_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kelvo::test {

// The text numbers every table must hold.
inline std::vector<int> ListedTextNumbers()
{
    std::vector<int> n;
    for (int i = 0; i <= 17; ++i)
        n.push_back(i);
    for (int i : {19, 22})
        n.push_back(i);
    for (int i = 24; i <= 31; ++i)
        n.push_back(i);
    for (int i : {33, 35, 36})
        n.push_back(i);
    for (int i = 58; i <= 64; ++i)
        n.push_back(i);
    for (int i = 66; i <= 70; ++i)
        n.push_back(i);
    for (int i = 78; i <= 83; ++i)
        n.push_back(i);
    // The installer's and the uninstaller's.
    for (int i = 100; i <= 113; ++i)
        n.push_back(i);
    // KelvoReader's.
    for (int i = 204; i <= 208; ++i)
        n.push_back(i);
    return n;
}

class TextTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(dir.file("language"));
        kelvo::SetModuleFolder(Utf8ToWideSimple(dir.path() + "/"));
        g_strLanguageCode = L"EN";
        g_nTextCodePage = 28591;
        ClearTextCache();
    }
    void TearDown() override
    {
        ClearTextCache();
        kelvo::SetModuleFolder(std::wstring());
        g_strLanguageCode = L"EN";
        g_nTextCodePage = 28591;
    }

    static std::wstring Utf8ToWideSimple(const std::string& s) { return std::wstring(s.begin(), s.end()); }

    std::string LanguageFile(const std::string& name) const { return dir.file("language/" + name); }

    // Writes a table of (number, text) pairs, each text one field with its NUL.
    void WriteTexts(const std::string& name, const std::vector<std::pair<int, std::string>>& texts,
                    bool scrambled = true)
    {
        std::vector<textc::Record> records;
        for (const auto& t : texts)
            records.push_back(textc::Record{textc::TextKey(t.first), {t.second + std::string(1, '\0')}});
        WriteRecords(name, records, scrambled);
    }

    void WriteRecords(const std::string& name, const std::vector<textc::Record>& records, bool scrambled = true)
    {
        textc::TableOptions options;
        options.scrambled = scrambled;
        std::string bytes, error;
        ASSERT_TRUE(textc::BuildTable(records, options, bytes, error)) << error;
        WriteFileBytes(LanguageFile(name), bytes);
    }

    TempDir dir;
};

} // namespace kelvo::test
