#pragma once
// Texts of the installer and the uninstaller from the installation's
// language tables (numbers 100 to 129), in the installation's language once
// its tables are there; in English before (or when a table lacks one).
#include <string>

namespace kelvo::install {

enum InstallText : int {
    kTextUninstallAsk = 100,
    kTextKeepUserData = 101,
    kTextRemoved = 102,
    kTextRemovedKeptIn = 103,          // %s: the folder
    kTextRemovedPartly = 104,          // %s: the names left
    kTextUninstallKelvoRuns = 105,
    kTextUninstallNotHere = 106,
    kTextDriverInbox = 107,
    kTextDriverDone = 108,
    kTextDriverRestart = 109,
    kTextDriverRefused = 110,          // %s: the batch
    kTextDriverFailed = 111,           // %s: code, %s: the batch
    kTextDriverLeftAlone = 112,
    kTextLinkedFolders = 113,          // %s: the folders
};

std::wstring Text(InstallText number);

} // namespace kelvo::install
