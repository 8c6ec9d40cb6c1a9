#pragma once
// devcon's check before it stages a driver: does the INF name the hardware id?
#include <string>

namespace kelvo::install {

// The INF file's bytes as text: UTF-16 LE with its byte-order mark, UTF-8
// with or without one, or one byte per character.
std::wstring InfText(const std::string& bytes);

// True when a line of the INF, outside comments, lists `hardwareId` as one of
// its comma-separated values (case does not matter, as in setup's own match).
bool InfNamesHardwareId(const std::wstring& infText, const std::wstring& hardwareId);

} // namespace kelvo::install
