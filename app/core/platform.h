#pragma once
// The few things the portable core needs from the system. Windows implements
// them in platform_win.cpp, the native build in platform_posix.cpp; tests may
// redirect message boxes to a sink of their own.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace kelvo {

// Message box flags, with the values Win32 gives them.
enum : unsigned {
    kMbOk = 0x0,
    kMbYesNo = 0x4,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30,
    kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdYes = 6, kIdNo = 7 };

// Shows a message box with the caption "Kelvo"; returns the button pressed.
int ShowMessage(const std::wstring& text, unsigned flags = kMbOk);

// The window that owns every message box, whichever thread shows it (the main
// window: a worker's box is then modal to the program too); null restores the
// thread's active window. Ignored by the native build.
void SetMessageOwner(void* window);

// Replaces the message box (tests). An empty function restores the default.
using MessageSink = std::function<int(const std::wstring& text, unsigned flags)>;
void SetMessageSink(MessageSink sink);

uint32_t TickCount();          // milliseconds, wraps like GetTickCount
void SleepMs(uint32_t ms);

// Files by wide path. On a case-sensitive file system a path whose exact
// spelling does not exist is matched without regard to case, component by
// component, as Windows would.
FILE* OpenFile(const std::wstring& path, const char* mode);
bool FileExists(const std::wstring& path);
bool RemoveFile(const std::wstring& path);
// A new file for writing that must not exist yet and is not reached through a
// link (O_CREAT|O_EXCL|O_NOFOLLOW; CREATE_NEW on Windows). Null when it exists
// or cannot be made.
FILE* CreateNewFile(const std::wstring& path);
// Writes the stream's buffers and has the system put them on the disk
// (fsync; FlushFileBuffers): before a file replaces another, so that a power
// cut leaves the old or the new content, never an empty file.
bool FlushToDisk(FILE* f);
// Puts `from` in place of `to` in one step: `to` then holds either its old or
// the new content, never a mix, and keeps its attributes (and on Windows its
// ACLs and streams).
bool ReplaceWith(const std::wstring& from, const std::wstring& to);

// Creates a folder (its parent must exist); true when it exists afterwards.
bool MakeFolder(const std::wstring& path);
// The files of a folder (no sub-folders), with their sizes; empty when the
// folder cannot be read.
struct FolderFile {
    std::wstring name;
    uint64_t size = 0;
};
std::vector<FolderFile> ListFolderFiles(const std::wstring& folder);

// Folder of the running program with a trailing separator (GetModuleFileNameW
// on Windows; the working directory in the native build).
std::wstring ProgramFolder();

// UTF-8 <-> wide, for paths and logs on the native side.
std::string WideToUtf8(const std::wstring& w);
std::wstring Utf8ToWide(const std::string& s);

} // namespace kelvo
