#pragma once
// The settings page's decisions that need no window: the language and skin
// lists, what an apply writes and whether it restarts, which running program
// is this installation's Dozaz, and when the logon value counts as present.
#include <string>
#include <vector>

namespace kelvo {

// The language list, entry k standing for `Language` = k.
struct LanguageChoice {
    const wchar_t* shownAs;
    const wchar_t* file;  // in "language\" below the program's folder
};
constexpr int kLanguageChoiceCount = 10;
const LanguageChoice& LanguageChoiceAt(int index);  // index 0..9

// The text number naming a skin file, 0 when the name is not in the skin-name
// table (names compared exactly, case included).
int SkinNameText(const std::wstring& fileName);
// The files of a skin folder listing that get entries, in list order: the
// file system's order, names compared without regard to case.
std::vector<std::wstring> SkinFilesInListOrder(std::vector<std::wstring> names);

// The saved [Setting] values, as the page remembers them.
struct SavedSettings {
    int autoUpdate = 1;
    int skin = 0;
    int language = 0;
};

// What the page shows when the apply button is pressed; -1: no entry selected.
struct PageChoices {
    int language = -1;
    int skin = -1;
    bool dozaz = false;
};

// The values an apply writes: a list without a selection keeps its value.
struct ApplyWrites {
    bool language = false;
    bool skin = false;
    bool autoUpdate = false;
    int languageValue = 0;
    int skinValue = 0;
    int autoUpdateValue = 0;
};
ApplyWrites PlanApply(const SavedSettings& saved, const PageChoices& choices);

enum class AfterApply {
    kStay,          // no new language in the file
    kTellBusy,      // text 82: a transfer runs, the language waits for the next start
    kRestart,       // AidletStart "zendrix reboot", then, if it started, close the main window
};
AfterApply DecideAfterApply(bool languageWritten, bool updateBusy);

// The tool-help list's name (bare or with a path) is Dozaz.exe, without
// regard to case.
bool IsDozazName(const std::wstring& exeName);
// A running program is this installation's Dozaz only when its name is
// Dozaz.exe and its full path could be read (`fullPath` not empty) and is
// Dozaz.exe in `folder` (with its trailing backslash), both without regard
// to case. An unreadable path never counts: that program is left running.
bool IsInstallationDozaz(const std::wstring& exeName, const std::wstring& fullPath, const std::wstring& folder);

// The Run value as a registry read with a buffer of `capacity` bytes found it:
// `status` the read's result (0 success, 234 more data), `type` its type,
// `data`/`size` what arrived. Present means a REG_SZ string that holds at
// least one character; a value too long for the buffer is present.
bool RunValuePresent(long status, unsigned long type, const unsigned char* data, unsigned long size);

} // namespace kelvo
