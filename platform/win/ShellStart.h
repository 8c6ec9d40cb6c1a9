#pragma once
// Starting programs, documents and addresses from our elevated programs
// (Kelvo, the installer) with the user's normal token: a browser, a PDF viewer
// or the tray program must not run as administrator. The desktop's shell
// (Explorer, which runs unelevated) is asked to start them, as installers do
// for "launch after install". Where there is no such shell (Wine, a system
// without Explorer) or this process is not elevated, they are started
// directly: programs through CreateProcessW with a quoted command line,
// documents and addresses through ShellExecuteExW.
#include <windows.h>

#include <string>
#include <vector>

namespace kelvo {

// One argument as CreateProcess's parser reads it back (quotes and the
// backslashes before them escaped); unquoted when it needs no quotes.
std::wstring QuoteArgument(const std::wstring& arg);

// `program` quoted, then each argument quoted as needed.
std::wstring CommandLine(const std::wstring& program, const std::vector<std::wstring>& args);

// Starts a program by its full path with CreateProcessW (no search, no
// ANSI conversion); true when it started.
bool StartProgram(const std::wstring& program, const std::vector<std::wstring>& args, const std::wstring& folder,
                  int show);

// Starts `file` (a program, a document, an address) unelevated where this
// process is elevated and the desktop's shell can do it, else directly.
// Returns a ShellExecute-style result: above 32 when started, otherwise the
// shell's error (SE_ERR_NOASSOC when no program opens the document), with
// GetLastError set as the shell set it.
INT_PTR StartAsDesktopUser(const std::wstring& file, const std::vector<std::wstring>& args,
                           const std::wstring& folder, int show);

// True when this process runs with an elevated token.
bool ProcessIsElevated();

} // namespace kelvo
