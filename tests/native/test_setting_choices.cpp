// The settings page's decisions: which skin files get entries and in what
// order, what an apply writes and whether it restarts, which program is this
// installation's Dozaz, when the logon value counts as present; and
// AidletStart's one request.
#include "aidletstart/core/RebootRequest.h"
#include "app/core/setting_choices.h"

#include <gtest/gtest.h>

using namespace kelvo;

TEST(SkinList, EntriesFollowTheNamesWithoutRegardToCaseAndSkipNamesOutsideTheTable)
{
    const std::vector<std::wstring> listed = {L"Silver.she", L"Gold.she", L"iTune.she", L"Black.she",
                                              L"black.she", L"Msn.she", L"Asus.she", L"Blue.she", L"Pink.she"};
    const std::vector<std::wstring> expected = {L"Asus.she", L"Black.she", L"Blue.she", L"iTune.she",
                                                L"Msn.she", L"Pink.she", L"Silver.she"};
    EXPECT_EQ(SkinFilesInListOrder(listed), expected) << "Gold and black.she (case differs) get no entry";
    EXPECT_EQ(SkinNameText(L"iTune.she"), 31);
    EXPECT_EQ(SkinNameText(L"ITUNE.SHE"), 0);
}

TEST(Apply, NoSelectionKeepsTheSavedValueAndOnlyChangesAreWritten)
{
    const SavedSettings saved{1, 2, 12};  // AutoUpdate, Skin, Language (12: no entry)
    ApplyWrites w = PlanApply(saved, PageChoices{-1, -1, true});
    EXPECT_FALSE(w.language) << "Language = 12 selects nothing: no change, no restart";
    EXPECT_FALSE(w.skin);
    EXPECT_FALSE(w.autoUpdate);

    w = PlanApply(saved, PageChoices{3, 0, false});
    EXPECT_TRUE(w.language);
    EXPECT_EQ(w.languageValue, 3);
    EXPECT_TRUE(w.skin);
    EXPECT_EQ(w.skinValue, 0);
    EXPECT_TRUE(w.autoUpdate);
    EXPECT_EQ(w.autoUpdateValue, 0);
}

TEST(Apply, RestartsOnlyForAWrittenLanguageAndNotDuringATransfer)
{
    EXPECT_EQ(DecideAfterApply(false, false), AfterApply::kStay);
    EXPECT_EQ(DecideAfterApply(false, true), AfterApply::kStay);
    EXPECT_EQ(DecideAfterApply(true, true), AfterApply::kTellBusy);
    EXPECT_EQ(DecideAfterApply(true, false), AfterApply::kRestart);
}

TEST(Dozaz, ThisInstallationsProgramOnlyByItsFullPathWithoutCase)
{
    const std::wstring folder = L"C:\\Program Files (x86)\\Kelvo\\";
    EXPECT_FALSE(IsInstallationDozaz(L"DOZAZ.EXE", L"", folder))
        << "path unreadable: it may be another installation's, or a reused PID";
    EXPECT_TRUE(IsInstallationDozaz(L"dozaz.exe", L"c:\\program files (x86)\\kelvo\\Dozaz.exe", folder));
    EXPECT_TRUE(IsInstallationDozaz(L"C:\\Program Files (x86)\\Kelvo\\Dozaz.exe",
                                    L"C:\\Program Files (x86)\\Kelvo\\Dozaz.exe", folder))
        << "the tool-help name may come with its path";
    EXPECT_FALSE(IsInstallationDozaz(L"Dozaz.exe", L"D:\\Other\\Dozaz.exe", folder));
    EXPECT_FALSE(IsInstallationDozaz(L"Dozaz.exe", L"C:\\Program Files (x86)\\Kelvo\\Zariz.exe", folder))
        << "the PID now belongs to another program";
    EXPECT_FALSE(IsInstallationDozaz(L"ZARIZ.EXE", L"C:\\Program Files (x86)\\Kelvo\\Dozaz.exe", folder));
    EXPECT_FALSE(IsInstallationDozaz(L"Dozaz.exe.bak", L"", folder));

    EXPECT_TRUE(IsDozazName(L"dOZAZ.exe"));
    EXPECT_TRUE(IsDozazName(L"C:\\x/Dozaz.exe"));
    EXPECT_FALSE(IsDozazName(L"Dozaz.exe.bak"));
    EXPECT_FALSE(IsDozazName(L"XDozaz.exe"));
    EXPECT_FALSE(IsDozazName(L""));
}

TEST(RunValue, PresentOnlyAsANonEmptyStringAndAlsoWhenTooLongForTheBuffer)
{
    const unsigned char path[] = {'C', 0, ':', 0, 0, 0};
    const unsigned char quoted[] = {'"', 0, 'C', 0, ':', 0, '"', 0, 0, 0};
    const unsigned char empty[] = {0, 0};
    const long kSuccess = 0, kMoreData = 234, kNotFound = 2;
    const unsigned long kSz = 1, kExpandSz = 2, kDword = 4;
    EXPECT_TRUE(RunValuePresent(kSuccess, kSz, quoted, sizeof quoted)) << "as Kelvo and the installer write it";
    EXPECT_TRUE(RunValuePresent(kSuccess, kSz, path, sizeof path)) << "unquoted, as written before: present too";
    EXPECT_TRUE(RunValuePresent(kMoreData, kSz, nullptr, 0)) << "longer than 256 bytes is present";
    EXPECT_FALSE(RunValuePresent(kSuccess, kSz, empty, sizeof empty));
    EXPECT_FALSE(RunValuePresent(kSuccess, kSz, path, 1)) << "an odd byte is no character";
    EXPECT_FALSE(RunValuePresent(kNotFound, kSz, nullptr, 0));
    EXPECT_FALSE(RunValuePresent(kSuccess, kDword, path, 4));
    EXPECT_FALSE(RunValuePresent(kMoreData, kExpandSz, nullptr, 0));
}

TEST(AidletStart, AnswersExactlyZendrixReboot)
{
    EXPECT_TRUE(aidletstart::IsRebootRequest({L"zendrix", L"reboot"}));
    EXPECT_FALSE(aidletstart::IsRebootRequest({}));
    EXPECT_FALSE(aidletstart::IsRebootRequest({L"zendrix"}));
    EXPECT_FALSE(aidletstart::IsRebootRequest({L"Zendrix", L"Reboot"}));
    EXPECT_FALSE(aidletstart::IsRebootRequest({L"zendrix", L"reboot", L"now"}));
    EXPECT_FALSE(aidletstart::IsRebootRequest({L"zendrix reboot"}));
}
