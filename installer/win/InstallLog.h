#pragma once
// The installer's log (/LOG=file): one UTF-8 line per step, each with the
// time since the start, written through at once so that a failed or killed
// installation still leaves its account. Nothing happens while no log is open.
#include <string>

namespace kelvo::install {

// Opens (replaces) the log file; false when it cannot be created.
bool OpenInstallLog(const std::wstring& path);
void CloseInstallLog();
// One line; safe from any thread.
void Log(const std::wstring& line);

} // namespace kelvo::install
