#include "app/core/globals.h"

#include "app/core/platform.h"
#include "app/core/profile.h"

std::wstring g_strLanguageCode = L"EN";
int g_nTextCodePage = 28591;

namespace kelvo {

namespace {
std::wstring& Folder()
{
    static std::wstring folder;
    return folder;
}

struct LanguageRow {
    const wchar_t* code;
    int codePage;
};
// Index = `Language` of the settings file; code page 0 is the system ANSI code page.
const LanguageRow kLanguages[10] = {
    {L"EN", 0},    {L"FR", 1252},  {L"ES", 1252}, {L"DE", 28591}, {L"PT", 28591},
    {L"SE", 1252}, {L"IT", 1252},  {L"NL", 1252}, {L"HU", 1250},  {L"RU", 1251},
};
} // namespace

std::wstring ModuleFolder()
{
    if (Folder().empty())
        Folder() = ProgramFolder();
    return Folder();
}

void SetModuleFolder(const std::wstring& folder) { Folder() = folder; }

std::wstring InstalledPath(const std::wstring& relative) { return ModuleFolder() + relative; }

std::wstring SettingsPath() { return InstalledPath(kSettingsFile); }

void ApplyLanguageIndex(int index)
{
    if (index < 0 || index > 9)
        return;
    g_strLanguageCode = kLanguages[index].code;
    g_nTextCodePage = kLanguages[index].codePage;
}

} // namespace kelvo
