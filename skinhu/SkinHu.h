#pragma once
// SkinHu.dll: applies a skin file's colours to every window of the calling
// thread, those that exist and those created later. The programs load it at
// run time from their own folder (LoadLibraryW + GetProcAddress).
#include <windows.h>

// Results of the exports.
enum : int {
    SKINH_OK = 0,
    SKINH_ERR_FILE = 1,      // the file cannot be read
    SKINH_ERR_DAMAGED = 2,   // not a skin file, or damaged
    SKINH_ERR_PASSWORD = 3,  // the password does not open it
};

// Reads the skin file `path` with `password` and, when it opens, recolours
// the thread's windows at once. On any error nothing changes.
typedef int(WINAPI* SkinH_AttachExFn)(const wchar_t* path, const wchar_t* password);
// 1: push buttons get a glass face (a light vertical gradient); 0: flat.
typedef int(WINAPI* SkinH_SetAeroFn)(int enable);
// Takes the skin off the thread's windows (the system's colours and drawing
// come back) and leaves later windows alone, until the next SkinH_AttachEx.
// Newer than the two above: a program looks it up as optional.
typedef int(WINAPI* SkinH_DetachFn)();
