#include "installer/core/Folders.h"

namespace kelvo::install {

std::wstring NormaliseFolder(const std::wstring& text)
{
    std::wstring out = text;
    while (!out.empty() && out.back() == L'\\')
        out.pop_back();
    out += L'\\';
    return out;
}

bool IsFullyQualified(const std::wstring& path)
{
    auto sep = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
        path[1] == L':' && sep(path[2]))
        return true;
    return path.size() >= 3 && sep(path[0]) && sep(path[1]) && !sep(path[2]);
}

std::wstring TargetBelow(const std::wstring& base) { return base + L"ZENDRIX\\"; }

std::wstring ProgramFolder(const std::wstring& target) { return target + L"Kelvo"; }

std::wstring ProgramFile(const std::wstring& target, const std::wstring& name) { return target + L"Kelvo\\" + name; }

std::wstring FolderOfPath(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring RunCommand(const std::wstring& program) { return L"\"" + program + L"\""; }

} // namespace kelvo::install
