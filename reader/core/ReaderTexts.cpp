#include "reader/core/ReaderTexts.h"

#include "app/core/globals.h"
#include "app/core/platform.h"
#include "app/core/profile.h"
#include "app/core/texts.h"

namespace kreader {

namespace {

std::wstring Parent(const std::wstring& folder)
{
    std::wstring f = folder;
    while (!f.empty() && (f.back() == L'\\' || f.back() == L'/'))
        f.pop_back();
    const size_t cut = f.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : f.substr(0, cut);
}

std::wstring WithSeparator(const std::wstring& folder)
{
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/')
        return folder;
    return folder + L"\\";
}

bool HoldsKelvo(const std::wstring& folder)
{
    const std::wstring f = WithSeparator(folder);
    return !folder.empty() && (kelvo::FileExists(f + kelvo::kSettingsFile) || kelvo::FileExists(f + L"Kelvo.exe"));
}

const wchar_t* English(ReaderText id)
{
    switch (id) {
    case ReaderText::kNoDocument:
        return L"No document was given to the reader, and there is none in its folder.";
    case ReaderText::kNotFound:
        return L"The document could not be found. It may have been moved or deleted; "
               L"reinstalling Kelvo restores the manuals.";
    case ReaderText::kNoViewer:
        return L"No program that can display this document was found on this computer. Install a PDF "
               L"viewer, or open the document below with a program of your choice.";
    case ReaderText::kOpenFolder:
        return L"&Open folder";
    case ReaderText::kClose:
        return L"Close";
    }
    return L"";
}

} // namespace

std::wstring InstallationFolder(const std::wstring& readerFolder)
{
    std::wstring own = readerFolder;
    while (own.size() > 1 && (own.back() == L'\\' || own.back() == L'/'))
        own.pop_back();
    if (HoldsKelvo(own))
        return own;
    const std::wstring above = Parent(own);
    return above.empty() ? own : above;
}

void FollowKelvoLanguage(const std::wstring& installFolder)
{
    kelvo::SetModuleFolder(WithSeparator(installFolder));
    // English first: an unreadable file or an unknown index leaves it.
    kelvo::ApplyLanguageIndex(0);
    kelvo::ApplyLanguageIndex(CProfile::GetInt(kelvo::SettingsPath(), L"Setting", L"Language", 0));
    ClearTextCache();
}

std::wstring Text(ReaderText id) { return GetTextOr(static_cast<int>(id), English(id)); }

} // namespace kreader
