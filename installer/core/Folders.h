#pragma once
// Folder rules of the installer: the chosen base folder, the target below it,
// and the paths the integration builds from the target.
#include <string>

namespace kelvo::install {

// Ends the folder in exactly one "\": a trailing run of "\" is replaced by one.
std::wstring NormaliseFolder(const std::wstring& text);

// "C:\..." or "\\server\share\...": a path that means the same folder whatever
// the current directory and drive are.
bool IsFullyQualified(const std::wstring& path);

// Target folder T below a base (ending in "\"): base + "ZENDRIX\".
std::wstring TargetBelow(const std::wstring& base);

// T + "Kelvo" and the files of the installed program in it.
std::wstring ProgramFolder(const std::wstring& target);                      // no trailing "\"
std::wstring ProgramFile(const std::wstring& target, const std::wstring& name);  // T + "Kelvo\" + name

// The command a Run value holds for a program: its full path in double
// quotes, so that a path with spaces ("C:\Program Files (x86)\...") cannot
// be taken for "C:\Program.exe" with arguments.
std::wstring RunCommand(const std::wstring& program);

// The working folder of a link: its path up to, not including, the last "\".
std::wstring FolderOfPath(const std::wstring& path);

} // namespace kelvo::install
