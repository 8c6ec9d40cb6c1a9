#include "installer/core/Switches.h"

#include "installer/core/Folders.h"

namespace kelvo::install {

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool StartsNoCase(const std::wstring& s, const wchar_t* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= s.size() || Upper(s[i]) != Upper(prefix[i]))
            return false;
    return true;
}

bool EqualsNoCase(const std::wstring& s, const wchar_t* word)
{
    return StartsNoCase(s, word) && s.size() == std::char_traits<wchar_t>::length(word);
}

std::wstring TrimRight(std::wstring s)
{
    while (!s.empty() && IsSpace(s.back()))
        s.pop_back();
    return s;
}

// The next argument from `pos`: up to white space outside double quotes, the
// quotes themselves dropped ("/DIR="C:\Shop Tools"" is /DIR=C:\Shop Tools).
std::wstring NextArgument(const std::wstring& s, size_t* pos)
{
    std::wstring arg;
    bool quoted = false;
    size_t i = *pos;
    for (; i < s.size(); ++i) {
        if (s[i] == L'"')
            quoted = !quoted;
        else if (!quoted && IsSpace(s[i]))
            break;
        else
            arg += s[i];
    }
    *pos = i;
    return arg;
}

void SkipSpace(const std::wstring& s, size_t* pos)
{
    while (*pos < s.size() && IsSpace(s[*pos]))
        ++*pos;
}

bool SetBase(const std::wstring& path, InstallSwitches* out, const std::wstring& arg)
{
    const std::wstring base = NormaliseFolder(TrimRight(path));
    if (TrimRight(path).empty() || !IsFullyQualified(base)) {
        if (out->error.empty())
            out->error = arg;
        return false;
    }
    out->base = base;
    return true;
}

} // namespace

std::wstring CommandTail(const std::wstring& commandLine)
{
    size_t i = 0;
    while (i < commandLine.size() && IsSpace(commandLine[i]))
        ++i;
    if (i < commandLine.size() && commandLine[i] == L'"') {
        const size_t close = commandLine.find(L'"', i + 1);
        i = close == std::wstring::npos ? commandLine.size() : close + 1;
    }
    while (i < commandLine.size() && !IsSpace(commandLine[i]))
        ++i;
    while (i < commandLine.size() && IsSpace(commandLine[i]))
        ++i;
    return commandLine.substr(i);
}

bool ParseInstallSwitches(const std::wstring& tail, InstallSwitches* out)
{
    *out = InstallSwitches();
    size_t pos = 0;
    for (;;) {
        SkipSpace(tail, &pos);
        if (pos >= tail.size())
            return out->error.empty();
        const wchar_t lead = tail[pos];
        // /D= takes the rest as it stands (its path may hold spaces, unquoted).
        if ((lead == L'/' || lead == L'-') && StartsNoCase(tail.substr(pos + 1), L"D=")) {
            std::wstring path = tail.substr(pos + 3);
            if (path.size() >= 2 && path.front() == L'"' && TrimRight(path).back() == L'"')
                path = TrimRight(path).substr(1, TrimRight(path).size() - 2);
            const std::wstring error = out->error;
            const bool ok = SetBase(path, out, tail.substr(pos));
            if (!error.empty())
                out->error = error;
            return ok && out->error.empty();
        }
        const std::wstring arg = NextArgument(tail, &pos);
        // On an error the rest is still read: whether the run is silent
        // decides whether the error is shown.
        if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) {
            if (out->error.empty())
                out->error = arg;
            continue;
        }
        const std::wstring name = arg.substr(1);
        if (EqualsNoCase(name, L"S") || EqualsNoCase(name, L"VERYSILENT"))
            out->ui = UiLevel::VerySilent;
        else if (EqualsNoCase(name, L"SILENT")) {
            if (out->ui == UiLevel::Full)
                out->ui = UiLevel::Silent;
        } else if (EqualsNoCase(name, L"SUPPRESSMSGBOXES"))
            out->suppressMessageBoxes = true;
        else if (EqualsNoCase(name, L"NORESTART"))
            out->noRestart = true;
        else if (EqualsNoCase(name, L"NODRIVER"))
            out->noDriver = true;
        else if (EqualsNoCase(name, L"NOAUTOSTART"))
            out->noAutostart = true;
        else if (EqualsNoCase(name, L"?") || EqualsNoCase(name, L"HELP"))
            out->help = true;
        else if (StartsNoCase(name, L"DIR="))
            SetBase(name.substr(4), out, arg);  // an error is kept in `error`
        else if (StartsNoCase(name, L"LOG=") && name.size() > 4)
            out->log = name.substr(4);
        else if (out->error.empty())
            out->error = arg;
    }
}

bool ParseUninstallSwitches(const std::wstring& tail, UninstallSwitches* out)
{
    *out = UninstallSwitches();
    size_t pos = 0;
    for (;;) {
        SkipSpace(tail, &pos);
        if (pos >= tail.size())
            return true;
        const std::wstring arg = NextArgument(tail, &pos);
        const std::wstring name = arg.size() >= 2 && (arg[0] == L'/' || arg[0] == L'-') ? arg.substr(1) : L"";
        if (EqualsNoCase(name, L"S") || EqualsNoCase(name, L"VERYSILENT") || EqualsNoCase(name, L"SILENT"))
            out->silent = true;
        else if (EqualsNoCase(name, L"PURGE"))
            out->purge = true;
        else {
            out->error = arg;
            return false;
        }
    }
}

std::wstring InstallUsage()
{
    return L"KelvoInstall [/S | /VERYSILENT | /SILENT] [/LOG=file] [/NORESTART] [/NODRIVER] [/NOAUTOSTART]\n"
           L"             [/DIR=\"folder\" | /D=folder]\n\n"
           L"/S, /VERYSILENT\tinstall without any window or question\n"
           L"/SILENT\t\tshow only the progress, ask nothing\n"
           L"/DIR=\"folder\"\tinstall below this folder (as Custom Install)\n"
           L"/D=folder\t\tthe same; last on the line, no quotes needed\n"
           L"/LOG=file\t\twrite every step into this file (UTF-8)\n"
           L"/NORESTART\tnever restart Windows (Kelvo never does)\n"
           L"/NODRIVER\t\tleave the scan tool's driver alone\n"
           L"/NOAUTOSTART\tdo not start Dozaz at logon\n\n"
           L"Exit codes: 0 installed, 3010 installed and a restart completes it, 1602 cancelled,\n"
           L"1603 failed, 1618 Kelvo could not be closed, 87 a switch was not understood.";
}

} // namespace kelvo::install
