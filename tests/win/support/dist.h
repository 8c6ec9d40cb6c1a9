#pragma once
// What the Windows-side tests share about the installation under test: its
// folder as this Wine prefix sees it, and test messages of wide strings.
#include <windows.h>

#include <string>

namespace kelvo::wintest {

// $KELVO_DIST (a Unix path) on drive Z:, with a trailing backslash.
inline std::wstring Dist()
{
    wchar_t buf[1024] = {};
    ::GetEnvironmentVariableW(L"KELVO_DIST", buf, 1024);
    std::wstring p = std::wstring(L"Z:") + buf;
    for (auto& c : p)
        if (c == L'/')
            c = L'\\';
    return p + L"\\";
}

// For messages and the narrow file APIs: the paths of the tests are ASCII.
inline std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

} // namespace kelvo::wintest
