#pragma once
// Kelvo's window texts by name: the numbers of the language tables
// (app/language/*.txt) that the main window, its pages and Dozaz show. One
// scheme for every room, kText<Name>: the update core names its own numbers
// in update/core/UpdateTexts.h, the installer and the uninstaller theirs in
// installer/core/InstallTexts.h.
namespace kelvo {

enum TextNumber : int {
    kTextTitle = 0,                  // the window's caption
    kTextUpdate = 1,                 // the page tabs' captions
    kTextCodes = 2,
    kTextManual = 3,
    kTextSettings = 4,
    kTextColumnNumber = 5,           // the update list's columns
    kTextColumnModel = 6,
    kTextColumnVersion = 7,
    kTextColumnLanguages = 8,
    kTextColumnRelease = 9,
    kTextColumnSize = 10,
    kTextCopy = 11,
    kTextLocal = 12,
    kTextOnline = 13,
    kTextColumnCode = 14,            // the trouble-code list's columns
    kTextColumnDescription = 15,
    kTextPrint = 16,                 // the report tab and its print button
    kTextClear = 17,
    kTextWebsiteLabel = 19,
    kTextNotIdentified = 22,
    kTextColumnStatus = 24,
    kTextDozazAtLogon = 36,
    kTextNoScanTool = 58,
    kTextApply = 59,
    kTextWebsiteAddress = 60,
    kTextManualCannotOpen = 61,
    kTextScanTool = 62,
    kTextCloseDuringUpdate = 81,
    kTextNoRestartDuringUpdate = 82,
    kTextPrintFailed = 130,
    kTextOpenReport = 160,
    kTextNoSavedReports = 161,
    kTextReportNotSaved = 162,
    kTextReportUnreadable = 163,
    kTextChecking = 190,             // the update list's line while a list is checked
    kTextClose = 191,                // names for screen readers
    kTextMinimize = 192,
    kTextPages = 193,
    kTextNameFirmwareList = 194,
    kTextNameCodeBox = 195,
    kTextNameCodeList = 196,
    kTextNameManualList = 197,
    kTextNameReport = 198,
    kTextNameLanguageList = 199,
    kTextNameSkinList = 200,
    kTextDozazOpenKelvo = 201,       // Dozaz's tray menu and tip
    kTextDozazExit = 202,
    kTextDozazChecks = 203,
};

} // namespace kelvo
