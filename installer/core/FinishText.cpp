#include "installer/core/FinishText.h"

#include "installer/core/Upgrade.h"
#include "installer/core/InstallTexts.h"
#include "app/core/texts.h"

namespace kelvo::install {

namespace {

std::wstring Named(const std::vector<std::wstring>& names, int count)
{
    std::vector<std::wstring> out;
    for (const auto& n : names)
        out.push_back(ShownName(n));
    return ListNames(out, count);
}

} // namespace

std::wstring ShownName(const std::wstring& packageName)
{
    std::wstring name = packageName;
    if (name.size() > 6 && (name.compare(0, 6, L"Kelvo/") == 0 || name.compare(0, 6, L"Kelvo\\") == 0))
        name = name.substr(6);
    for (auto& c : name)
        if (c == L'/')
            c = L'\\';
    return name;
}

std::wstring FinishText(const FinishFacts& f)
{
    if (f.noPackage)
        return L"The package inside the installer could not be read: nothing was installed.";
    // An opened package is no installation: the folder may not have been made, or the program not written.
    std::wstring text = f.files == 0 && f.scheduled == 0
                            ? L"Nothing was installed in " + f.programFolder + L"."
                        : !f.haveKelvo
                            ? L"Kelvo is not installed: Kelvo.exe is missing from " + f.programFolder + L"."
                        : f.scheduled > 0 ? L"Kelvo is installed in " + f.programFolder + L"; a restart completes it."
                                          : L"Kelvo is installed in " + f.programFolder + L".";
    if (f.scheduled > 0) {
        text += L"\n";
        text += (f.scheduled == 1 ? L"1 file was in use and is replaced when Windows restarts: "
                                  : std::to_wstring(f.scheduled) + L" files were in use and are replaced when Windows restarts: ") +
                Named(f.scheduledNames, f.scheduled) + L". Restart Windows to complete the installation.";
    }
    // Skipped names are those leading out, and those Windows would change (a trailing dot, a device name).
    if (f.skipped > 0) {
        text += L"\n";
        text += (f.skipped == 1 ? L"1 entry of the package was skipped (its name leads outside the installation "
                                  L"folder or cannot be a Windows file name): "
                                : std::to_wstring(f.skipped) +
                                      L" entries of the package were skipped (their names lead outside the "
                                      L"installation folder or cannot be Windows file names): ") +
                ListNames(f.skippedNames, f.skipped) + L".";
    }
    if (f.failed > 0) {
        text += L"\n";
        text += (f.failed == 1 ? L"1 file could not be written (damaged, no room or no access), any old version of it "
                                 L"unchanged: "
                               : std::to_wstring(f.failed) + L" files could not be written (damaged, no room or no "
                                                             L"access), any old versions unchanged: ") +
                Named(f.failedNames, f.failed) + L".";
    }
    if (!f.linkedFolders.empty()) {
        text += L"\n";
        text += FillIn(Text(kTextLinkedFolders), {ListNames(f.linkedFolders, static_cast<int>(f.linkedFolders.size()))});
    }
    if (!f.driverText.empty()) {
        text += L"\n";
        text += f.driverText;
    }
    if (f.noDriverStep) {
        text += L"\n";
        text += L"No driver was installed: this Windows on ARM64 connects the scan tool with its own driver.";
    }
    return text;
}

} // namespace kelvo::install
