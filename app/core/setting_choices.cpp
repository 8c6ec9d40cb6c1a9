#include "app/core/setting_choices.h"

#include "app/core/textutil.h"

#include <algorithm>

namespace kelvo {

namespace {

const LanguageChoice kLanguages[kLanguageChoiceCount] = {
    {L"English", L"en_text.cbf"},    {L"Fran\u00E7ais", L"fr_text.cbf"},   {L"Espa\u00F1ol", L"es_text.cbf"},
    {L"Deutsch", L"de_text.cbf"},    {L"Portugu\u00EAs", L"pt_text.cbf"},  {L"Svenska", L"se_text.cbf"},
    {L"Italiano", L"it_text.cbf"},   {L"Nederlands", L"nl_text.cbf"},      {L"Magyar", L"hu_text.cbf"},
    {L"\u0440\u0443\u0441\u0441\u043A\u0438\u0439", L"ru_text.cbf"},
};

struct SkinName {
    const wchar_t* file;
    int text;
};
const SkinName kSkinNames[] = {
    {L"Asus.she", 29}, {L"Black.she", 27}, {L"Blue.she", 30}, {L"iTune.she", 31},
    {L"Msn.she", 33},  {L"Pink.she", 28},  {L"Silver.she", 35},
};

constexpr long kErrorMoreData = 234;
constexpr unsigned long kRegSz = 1;

} // namespace

const LanguageChoice& LanguageChoiceAt(int index)
{
    return kLanguages[index >= 0 && index < kLanguageChoiceCount ? index : 0];
}

int SkinNameText(const std::wstring& fileName)
{
    for (const SkinName& s : kSkinNames)
        if (fileName == s.file)
            return s.text;
    return 0;
}

std::vector<std::wstring> SkinFilesInListOrder(std::vector<std::wstring> names)
{
    names.erase(std::remove_if(names.begin(), names.end(), [](const std::wstring& n) { return SkinNameText(n) == 0; }),
                names.end());
    // NTFS lists a folder in the order of its upper-cased names.
    std::stable_sort(names.begin(), names.end(),
                     [](const std::wstring& a, const std::wstring& b) { return AsciiUpper(a) < AsciiUpper(b); });
    return names;
}

ApplyWrites PlanApply(const SavedSettings& saved, const PageChoices& choices)
{
    ApplyWrites w;
    if (choices.language >= 0 && choices.language != saved.language) {
        w.language = true;
        w.languageValue = choices.language;
    }
    if (choices.skin >= 0 && choices.skin != saved.skin) {
        w.skin = true;
        w.skinValue = choices.skin;
    }
    const int box = choices.dozaz ? 1 : 0;
    if (box != saved.autoUpdate) {
        w.autoUpdate = true;
        w.autoUpdateValue = box;
    }
    return w;
}

AfterApply DecideAfterApply(bool languageWritten, bool updateBusy)
{
    if (!languageWritten)
        return AfterApply::kStay;
    return updateBusy ? AfterApply::kTellBusy : AfterApply::kRestart;
}

bool IsDozazName(const std::wstring& exeName)
{
    // The tool-help list may give a bare name or a path.
    const size_t slash = exeName.find_last_of(L"\\/");
    return EqualsAsciiNoCase(slash == std::wstring::npos ? exeName : exeName.substr(slash + 1), L"Dozaz.exe");
}

bool IsInstallationDozaz(const std::wstring& exeName, const std::wstring& fullPath, const std::wstring& folder)
{
    // A path that could not be read proves nothing: the name alone would also
    // match another installation's Dozaz or a process that took a freed PID.
    if (!IsDozazName(exeName) || fullPath.empty())
        return false;
    return EqualsAsciiNoCase(fullPath, folder + L"Dozaz.exe");
}

bool RunValuePresent(long status, unsigned long type, const unsigned char* data, unsigned long size)
{
    if (type != kRegSz)
        return false;
    if (status == kErrorMoreData)
        return true;
    if (status != 0 || !data)
        return false;
    // A first character that is not NUL; an odd last byte is no character.
    return size >= 2 && (data[0] != 0 || data[1] != 0);
}

} // namespace kelvo
