// KelvoReader: started by Kelvo's manual page when no program is associated
// with the manual's file type. It finds the document, hands it to a program
// of the system that can display it, and otherwise tells the user where the
// document is, with a button that opens its folder.
//
// Exit codes: 0 a viewer was started, 2 the document is missing, 3 no viewer.
#include "platform/win/SystemDll.h"
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "reader/core/ReaderTexts.h"
#include "reader/reader_logic.h"
#include "reader/reader_res.h"

namespace {

struct Message {
    std::wstring text;
    std::wstring path;    // shown in the read-only box, so it can be copied
    std::wstring folder;  // opened by the folder button; "" disables it
};

void OpenFolder(HWND owner, const std::wstring& folder, const std::wstring& select)
{
    if (!select.empty() && kreader::FileExists(select)) {
        std::wstring args = L"/select,\"" + select + L"\"";
        if ((INT_PTR)ShellExecuteW(owner, L"open", L"explorer.exe", args.c_str(), nullptr, SW_SHOWNORMAL) > 32)
            return;
    }
    ShellExecuteW(owner, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR CALLBACK MessageProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        const Message* m = reinterpret_cast<const Message*>(lp);
        SetDlgItemTextW(dlg, IDC_READER_TEXT, m->text.c_str());
        SetDlgItemTextW(dlg, IDC_READER_PATH, m->path.c_str());
        SetDlgItemTextW(dlg, IDC_READER_FOLDER, kreader::Text(kreader::ReaderText::kOpenFolder).c_str());
        SetDlgItemTextW(dlg, IDCANCEL, kreader::Text(kreader::ReaderText::kClose).c_str());
        EnableWindow(GetDlgItem(dlg, IDC_READER_FOLDER), !m->folder.empty());
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_READER));
        SendMessageW(dlg, WM_SETICON, ICON_BIG, (LPARAM)icon);
        SendMessageW(dlg, WM_SETICON, ICON_SMALL, (LPARAM)icon);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_READER_FOLDER) {
            const Message* m = reinterpret_cast<const Message*>(GetWindowLongPtrW(dlg, DWLP_USER));
            OpenFolder(dlg, m->folder, m->path);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL || LOWORD(wp) == IDOK) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

void Show(const Message& m)
{
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_READER_MESSAGE), nullptr, MessageProc,
                    reinterpret_cast<LPARAM>(&m));
}

std::wstring ModulePath()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &buf[0], (DWORD)buf.size());
        if (n == 0)
            return std::wstring();
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

std::wstring CurrentFolder()
{
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring buf(n, L'\0');
    n = GetCurrentDirectoryW(n, &buf[0]);
    buf.resize(n);
    return buf;
}

// With no document named: the first PDF beside the reader.
std::wstring FirstDocumentBeside(const std::wstring& folder)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*.pdf").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return std::wstring();
    std::wstring found;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            found = folder + L"\\" + fd.cFileName;
            break;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return found;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything can load a DLL (platform/win/SystemDll.h).
    kelvo::RestrictDllSearch();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    const std::wstring self = ModulePath();
    const std::wstring readerFolder = kreader::FolderOf(self);
    // Kelvo's language, from the installation the reader belongs to.
    kreader::FollowKelvoLanguage(kreader::InstallationFolder(readerFolder));
    std::wstring argument = kreader::DocumentArgument(GetCommandLineW());
    if (argument.empty())
        argument = FirstDocumentBeside(readerFolder);
    if (argument.empty()) {
        Show({kreader::Text(kreader::ReaderText::kNoDocument), readerFolder, readerFolder});
        return 2;
    }

    std::wstring document = kreader::ResolveDocument(argument, CurrentFolder(), readerFolder);
    if (document.empty()) {
        wchar_t full[MAX_PATH * 2];
        DWORD n = GetFullPathNameW(argument.c_str(), MAX_PATH * 2, full, nullptr);
        std::wstring shown = (n > 0 && n < MAX_PATH * 2) ? std::wstring(full) : argument;
        Show({kreader::Text(kreader::ReaderText::kNotFound), shown, kreader::FolderToShow(shown)});
        return 2;
    }

    for (const kreader::Viewer& v : kreader::FindViewers(document, kreader::DefaultBrowserAssocs(), self)) {
        if (kreader::StartViewer(v, document))
            return 0;
    }
    Show({kreader::Text(kreader::ReaderText::kNoViewer), document, kreader::FolderToShow(document)});
    return 3;
}
