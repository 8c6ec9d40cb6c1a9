#include "ui/win/MannualPage.h"

#include "app/core/TextNumbers.h"
#include "framework/Dpi.h"
#include "platform/win/ShellStart.h"

#include "app/core/codepage.h"
#include "app/core/globals.h"
#include "app/core/textutil.h"
#include "app/core/platform.h"
#include "app/core/texts.h"
#include "ui/controls/Drawing.h"

#include <shellapi.h>

#include <cwctype>
#include <vector>

namespace {

bool EndsWithExe(const std::wstring& name) { return kelvo::EndsWithAsciiNoCase(name, L".exe"); }

std::wstring Format(const wchar_t* format, const std::wstring& a, const std::wstring& b)
{
    std::vector<wchar_t> buf(a.size() + b.size() + wcslen(format) + 1);
    _snwprintf(buf.data(), buf.size(), format, a.c_str(), b.c_str());
    buf.back() = L'\0';
    return buf.data();
}

} // namespace

BOOL CMannualPage::OnInitDialog()
{
    m_manualList.SubclassDlgItem(IDC_MANUAL_LIST, this);
    m_manualList.SetAccessibleName(GetText(kelvo::kTextNameManualList));
    FillList();
    return TRUE;
}

void CMannualPage::FillList()
{
    if (!m_manualList.m_hWnd)
        return;
    SpaceIconsForDpi();
    if (g_pFont16)
        m_manualList.SetFont(g_pFont16);

    // The list shares the system's image lists (its style keeps it from
    // destroying them).
    SHFILEINFOW sfi{};
    // The system image list, reached through the Windows folder (wherever it is).
    wchar_t windows[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring windowsFolder = n > 0 && n < MAX_PATH ? std::wstring(windows, n) + L"\\" : L"C:\\Windows\\";
    auto large = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(windowsFolder.c_str(), 0, &sfi, sizeof(sfi), SHGFI_SYSICONINDEX));
    auto small = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(windowsFolder.c_str(), 0, &sfi, sizeof(sfi), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (large && small) {
        m_manualList.SetImageList(large, LVSIL_NORMAL);
        m_manualList.SetImageList(small, LVSIL_SMALL);
    }

    WIN32_FIND_DATAW fd{};
    HANDLE find = ::FindFirstFileW(kelvo::InstalledPath(L"manual\\*.*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::wstring name = fd.cFileName;
        if (name.size() <= 4)
            continue;
        if (EndsWithExe(name)) {
            m_readerName = name;
            continue;
        }
        SHFILEINFOW icon{};
        ::SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &icon, sizeof(icon),
                         SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
        m_manualList.InsertItem(0, name, icon.iIcon);
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
}

void CMannualPage::OpenDocument(const std::wstring& name)
{
    const std::wstring folder = kelvo::InstalledPath(L"manual\\");
    std::wstring path = folder + name;
    // With the user's own rights: a viewer must not run as administrator.
    ::SetLastError(0);
    INT_PTR result = kelvo::StartAsDesktopUser(path, {}, L"", SW_SHOW);
    DWORD error = ::GetLastError();
    if (result > 32)
        return;
    // Windows reports a missing association as SE_ERR_NOASSOC with error 1155;
    // other systems give the same return value with another error code.
    const bool noAssociation = result == SE_ERR_NOASSOC || error == ERROR_NO_ASSOCIATION;
    if (noAssociation && !m_readerName.empty()) {
        // A wide command line: a document name outside the ANSI code page stays whole.
        kelvo::StartAsDesktopUser(folder + m_readerName, {folder + name}, folder, SW_SHOWNORMAL);
        return;
    }
    // Any failure is told, not only a missing association (a document
    // removed since the list was filled, no access, no memory): the system's
    // error number, or the shell's own result when it set none.
    const long number = noAssociation ? static_cast<long>(ERROR_NO_ASSOCIATION)
                                      : error != 0 ? static_cast<long>(error) : static_cast<long>(result);
    wchar_t digits[16];
    _snwprintf(digits, 16, L"%ld", number);
    digits[15] = L'\0';
    kelvo::ShowMessage(Format(L"%s : %s", GetText(kelvo::kTextManualCannotOpen), digits), kelvo::kMbIconError);
}

void CMannualPage::SpaceIconsForDpi()
{
    // The cell of an icon holds its label too: the width a name wraps at and
    // the height of its two lines grow with the font and the system's icons,
    // or at 150 % the name is cut to one line.
    const kelvo::Dpi s(m_hWnd);
    if (!m_manualList.m_hWnd || s.Value() == m_spacingDpi)
        return;
    m_spacingDpi = s.Value();
    m_manualList.SetIconSpacing(s(150), s(80));
    // Icons already placed move to the new cells (a change of DPI).
    if (m_manualList.GetItemCount() > 0)
        m_manualList.SendMessage(LVM_ARRANGE, LVA_DEFAULT);
}

void CMannualPage::OnSize(int cx, int cy)
{
    const kelvo::Dpi s(m_hWnd);
    SpaceIconsForDpi();
    if (m_manualList.m_hWnd)
        m_manualList.MoveWindow(s(20), s(10), cx - s(40), cy - s(20));
}

LRESULT CMannualPage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        OnSize(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        // A double click or Enter on the list opens the manual. Lists tell of
        // both also as LVN_ITEMACTIVATE, some do not: NM_DBLCLK and NM_RETURN
        // are what every list sends, once per click or key press.
        if (hdr->idFrom == IDC_MANUAL_LIST && (hdr->code == NM_DBLCLK || hdr->code == NM_RETURN)) {
            int item = hdr->code == NM_DBLCLK ? reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem
                                              : static_cast<int>(m_manualList.SendMessage(
                                                    LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
            if (item >= 0) {
                const std::wstring name = m_manualList.GetItemText(item, 0);
                if (!name.empty())
                    OpenDocument(name);
            }
            return 0;
        }
        break;
    }
    default:
        break;
    }
    return CPage::WindowProc(msg, wParam, lParam);
}
