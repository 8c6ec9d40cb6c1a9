#include "installer/core/InstallTexts.h"

#include "app/core/texts.h"

namespace kelvo::install {

namespace {

const wchar_t* English(InstallText number)
{
    switch (number) {
    case kTextUninstallAsk: return L"Do you want to remove Kelvo and all of its components?";
    case kTextKeepUserData:
        return L"Keep your settings and the downloaded firmware packages (Kelvo.cfg and the update folder) for a "
               L"later installation?";
    case kTextRemoved: return L"Kelvo was removed.";
    case kTextRemovedKeptIn: return L"Kelvo was removed. Your settings and downloaded packages stay in %s.";
    case kTextRemovedPartly:
        return L"Kelvo was not removed completely. These files are in use or cannot be deleted, so the uninstall "
               L"entry stays and you can run it again: %s";
    case kTextUninstallKelvoRuns: return L"Kelvo is running. Close Kelvo, then uninstall it again: nothing was removed.";
    case kTextUninstallNotHere:
        return L"Nothing was removed: this uninstaller is not in a folder where Kelvo is installed (a ZENDRIX\\Kelvo "
               L"folder holding Kelvo.exe).";
    case kTextDriverInbox:
        return L"This Windows connects the scan tool with its own driver (usbser.sys), so no driver was installed.";
    case kTextDriverDone: return L"The scan tool's driver is installed.";
    case kTextDriverRestart: return L"The scan tool's driver is installed. Restart Windows to complete it.";
    case kTextDriverRefused:
        return L"Windows refused the scan tool's driver, so it is not installed. To try again, run %s in the Kelvo "
               L"folder as administrator.";
    case kTextDriverFailed:
        return L"The scan tool's driver could not be installed (code %s). To try again, run %s in the Kelvo folder as "
               L"administrator.";
    case kTextDriverLeftAlone: return L"The scan tool's driver was left alone, as asked.";
    case kTextLinkedFolders:
        return L"Not written, because these folders of the installation are links to other places: %s.";
    }
    return L"";
}

} // namespace

std::wstring Text(InstallText number) { return GetTextOr(number, English(number)); }

} // namespace kelvo::install
