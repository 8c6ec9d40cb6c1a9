// The reader's decisions, kept apart from its window so that they can be
// tested: which document it was given, where that file really is, and which
// program of the system can display it.
#pragma once

#include <string>
#include <vector>

namespace kreader {

// The document named on a command line: everything after the program name.
// A quoted argument is taken as it is; unquoted words are joined with single
// spaces, so a path with spaces works even when the caller forgot the quotes.
std::wstring DocumentArgument(const wchar_t* commandLine);

// Folder part of a path, without the trailing backslash ("" when none).
std::wstring FolderOf(const std::wstring& path);

// The full path of the document, or "" when no such file exists. A relative
// name is tried against the current folder (the installation folder when
// started by Kelvo), then against the folder above the reader (the reader
// lives in the manual folder), then as a bare file name beside the reader.
std::wstring ResolveDocument(const std::wstring& argument, const std::wstring& currentFolder,
                             const std::wstring& readerFolder);

enum class ViewerKind { Associated, Browser };

struct Viewer {
    ViewerKind kind;
    std::wstring exe;  // full path of the program
    std::wstring via;  // the association it was found through (".pdf", "http", ...)
};

// The program registered to open `assoc` (an extension or a protocol), as a
// full path of an existing file; "" when there is none.
std::wstring AssociatedExecutable(const std::wstring& assoc);

// Programs that can show the document, best first: the one associated with
// its extension, then the programs behind `browserAssocs` (web browsers
// display PDF files). `selfExe` is never offered: a document associated with
// the reader itself would otherwise start the reader again and again.
std::vector<Viewer> FindViewers(const std::wstring& document, const std::vector<std::wstring>& browserAssocs,
                                const std::wstring& selfExe);

// The associations tried for a web browser, in order.
std::vector<std::wstring> DefaultBrowserAssocs();

// "exe" "document", each quoted.
std::wstring ViewerCommandLine(const std::wstring& exe, const std::wstring& document);

// Starts the viewer on the document; false when the program could not be started.
bool StartViewer(const Viewer& viewer, const std::wstring& document);

// The folder to show the user for a document: its own folder, or the nearest
// existing folder above it when the document (or its folder) is missing.
std::wstring FolderToShow(const std::wstring& document);

bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

}  // namespace kreader
