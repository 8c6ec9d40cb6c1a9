#pragma once
// Process-wide values of the main program that the core reads.
#include <string>

// Two-letter code of the user-interface language ("EN" until start-up chooses).
extern std::wstring g_strLanguageCode;
// Code page of the text-table strings (28591 until start-up chooses).
extern int g_nTextCodePage;

namespace kelvo {

// Folder of the running program with a trailing path separator ("\" on
// Windows), computed once. The native build answers the folder set by
// SetModuleFolder (tests), else the working directory.
std::wstring ModuleFolder();
void SetModuleFolder(const std::wstring& folder);

// A file or folder of the installation by its path below the program's
// folder ("Kelvo.cfg", "update\\version.sv"): never the working directory,
// which is whatever started the program (a console, a scheduler, a launcher).
std::wstring InstalledPath(const std::wstring& relative);
// The settings file "Kelvo.cfg" of the installation.
std::wstring SettingsPath();

// Sets g_strLanguageCode and g_nTextCodePage from a `Language` index of the
// settings file; an index outside 0..9 leaves both as they are.
void ApplyLanguageIndex(int index);

} // namespace kelvo
