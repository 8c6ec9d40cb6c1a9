#include "platform/win/ShellStart.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

namespace kelvo {

namespace {

bool IsProgram(const std::wstring& file)
{
    if (file.size() < 4)
        return false;
    const std::wstring ext = file.substr(file.size() - 4);
    return ::CompareStringOrdinal(ext.c_str(), 4, L".exe", 4, TRUE) == CSTR_EQUAL;
}

template <typename T>
void Release(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// Explorer's own ShellExecute, reached through the desktop window's view.
bool ShellExecuteThroughDesktop(const std::wstring& file, const std::wstring& args, const std::wstring& folder,
                                int show)
{
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool done = false;
    IShellWindows* windows = nullptr;
    IDispatch* desktop = nullptr;
    IServiceProvider* provider = nullptr;
    IShellBrowser* browser = nullptr;
    IShellView* view = nullptr;
    IDispatch* background = nullptr;
    IShellFolderViewDual* folderView = nullptr;
    IDispatch* application = nullptr;
    IShellDispatch2* shell = nullptr;
    VARIANT location, root;
    ::VariantInit(&location);
    ::VariantInit(&root);
    long hwnd = 0;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                     reinterpret_cast<void**>(&windows))) &&
        windows->FindWindowSW(&location, &root, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, &desktop) == S_OK && desktop &&
        SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider))) &&
        SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(&browser))) &&
        SUCCEEDED(browser->QueryActiveShellView(&view)) && view &&
        SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(&background))) &&
        SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(&folderView))) &&
        SUCCEEDED(folderView->get_Application(&application)) && application &&
        SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(&shell)))) {
        BSTR bfile = ::SysAllocString(file.c_str());
        VARIANT vargs, vdir, vop, vshow;
        ::VariantInit(&vargs);
        ::VariantInit(&vdir);
        ::VariantInit(&vop);
        ::VariantInit(&vshow);
        vargs.vt = VT_BSTR;
        vargs.bstrVal = ::SysAllocString(args.c_str());
        vdir.vt = VT_BSTR;
        vdir.bstrVal = ::SysAllocString(folder.c_str());
        vop.vt = VT_BSTR;
        vop.bstrVal = ::SysAllocString(L"open");
        vshow.vt = VT_INT;
        vshow.intVal = show;
        done = bfile && SUCCEEDED(shell->ShellExecute(bfile, vargs, vdir, vop, vshow));
        ::SysFreeString(bfile);
        ::VariantClear(&vargs);
        ::VariantClear(&vdir);
        ::VariantClear(&vop);
    }
    Release(shell);
    Release(application);
    Release(folderView);
    Release(background);
    Release(view);
    Release(browser);
    Release(provider);
    Release(desktop);
    Release(windows);
    if (SUCCEEDED(init))
        ::CoUninitialize();
    return done;
}

} // namespace

std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    // Before the closing quote, too.
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

std::wstring CommandLine(const std::wstring& program, const std::vector<std::wstring>& args)
{
    // The program's own name is read up to the next quote, never escaped.
    std::wstring line = L"\"" + program + L"\"";
    for (const std::wstring& a : args)
        line += L" " + QuoteArgument(a);
    return line;
}

bool StartProgram(const std::wstring& program, const std::vector<std::wstring>& args, const std::wstring& folder,
                  int show)
{
    std::wstring line = CommandLine(program, args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

bool ProcessIsElevated()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated;
    ::CloseHandle(token);
    return elevated;
}

INT_PTR StartAsDesktopUser(const std::wstring& file, const std::vector<std::wstring>& args,
                           const std::wstring& folder, int show)
{
    const bool program = IsProgram(file);
    std::wstring params;
    for (const std::wstring& a : args)
        params += (params.empty() ? L"" : L" ") + QuoteArgument(a);
    if (ProcessIsElevated()) {
        // Explorer cannot tell us that no program opens a document: ask first.
        if (!program && file.find(L"://") == std::wstring::npos) {
            wchar_t exe[MAX_PATH] = {};
            const INT_PTR found = reinterpret_cast<INT_PTR>(::FindExecutableW(file.c_str(), nullptr, exe));
            if (found <= 32)
                return found;
        }
        if (ShellExecuteThroughDesktop(file, params, folder, show))
            return 42;
    }
    if (program) {
        if (StartProgram(file, args, folder, show))
            return 42;
        const DWORD error = ::GetLastError();
        ::SetLastError(error);
        return error == ERROR_FILE_NOT_FOUND ? SE_ERR_FNF : error == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF : 0;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = params.empty() ? nullptr : params.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = show;
    ::SetLastError(0);
    const BOOL ok = ::ShellExecuteExW(&info);
    const DWORD error = ::GetLastError();
    const INT_PTR result = reinterpret_cast<INT_PTR>(info.hInstApp);
    ::SetLastError(error);
    return ok ? (result > 32 ? result : 42) : (result > 0 && result <= 32 ? result : 0);
}

} // namespace kelvo
