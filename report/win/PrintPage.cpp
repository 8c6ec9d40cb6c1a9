#include "report/win/PrintPage.h"

#include "app/core/TextNumbers.h"
#include "framework/Dpi.h"
#include "app/core/platform.h"
#include "app/core/texts.h"
#include "resources/resource.h"
#include "framework/Thread.h"
#include "ui/controls/Drawing.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {
// The hand-shake with the reader thread: the port it reads (-1 when no
// capture runs) and the word to end (1).
std::atomic<int> g_reportPort{-1};
std::atomic<int> g_reportStop{0};

void TellReaderToEnd()
{
    g_reportPort = -1;
    g_reportStop = 1;
}
} // namespace

void StopReportReader() { g_reportStop = 1; }

namespace {
struct ReaderStart {
    kelvo::report::ReportCapture* capture;
    uint32_t id;
};

// Looks every second whether the tool has been silent long enough after sending.
const UINT_PTR kSaveTimer = 31;
// The Open menu's commands: the n-th report of the list is kFirstReport + n.
const UINT kFirstReport = 100;
const size_t kMenuReports = 200;

kelvo::report::Stamp LocalStamp()
{
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return kelvo::report::Stamp{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

IMainWindow* HostOf(HWND page)
{
    return dynamic_cast<IMainWindow*>(CWnd::FromHandlePermanent(::GetParent(page)));
}
} // namespace

std::wstring CPrintPage::LibraryFolder()
{
    wchar_t docs[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, docs)) ||
        !docs[0])
        return std::wstring();
    return kelvo::report::JoinPath(docs, L"Kelvo Reports");
}

CPrintPage::CPrintPage() : CPage(IDD), m_capture(g_reportPort, g_reportStop) {}

CPrintPage::~CPrintPage() { StopReader(); }

BOOL CPrintPage::OnInitDialog()
{
    m_edit.SubclassDlgItem(IDC_REPORT, this);
    m_edit.SetAccessibleName(GetText(kelvo::kTextNameReport));
    // Reports may be long: no limit cuts them.
    m_edit.SetLimitText(0);
    const int ids[5] = {IDC_REPORT, IDC_PRINT, IDC_CLEAR, IDC_COPY, IDC_OPEN};
    for (int id : ids)
        if (g_pFont24)
            ::SendMessageW(GetDlgItem(id), WM_SETFONT, reinterpret_cast<WPARAM>(g_pFont24->m_hObject), TRUE);
    SetDlgItemText(IDC_PRINT, GetText(kelvo::kTextPrint));
    SetDlgItemText(IDC_CLEAR, GetText(kelvo::kTextClear));
    SetDlgItemText(IDC_COPY, GetText(kelvo::kTextCopy));
    SetDlgItemText(IDC_OPEN, GetText(kelvo::kTextOpenReport));
    SetTimer(kSaveTimer, 1000);
    HWND self = m_hWnd;
    m_capture.SetWake([self] { return ::PostMessageW(self, WM_REPORT_DATA, 0, 0) != FALSE; });
    return TRUE;
}

LRESULT CPrintPage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        OnSize(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            switch (LOWORD(wParam)) {
            case IDC_PRINT:
                OnPrint();
                return 0;
            case IDC_CLEAR:
                OnClear();
                return 0;
            case IDC_COPY:
                OnCopy();
                return 0;
            case IDC_OPEN:
                OnOpen();
                return 0;
            }
        }
        break;
    case WM_REPORT_DATA:
        OnReportData();
        return 0;
    case WM_MEASUREITEM:
        if (OnMeasureMenuItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_DRAWITEM:
        if (OnDrawMenuItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_TIMER:
        if (wParam == kSaveTimer) {
            if (m_keeper.Due(::GetTickCount()))
                SaveReport();
            return 0;
        }
        break;
    case WM_DESTROY:
        // Nothing of the reader may reach a window that is gone; what it
        // read is the report's, kept before Kelvo closes.
        KillTimer(kSaveTimer);
        StopReader();
        OnReportData();
        SaveReport();
        break;
    }
    return CPage::WindowProc(msg, wParam, lParam);
}

void CPrintPage::StopReader()
{
    if (m_capture.ReaderRunning() || g_reportPort != -1)
        m_capture.Stop();
}

UINT CPrintPage::ReaderThread(LPVOID param)
{
    const ReaderStart start = *static_cast<ReaderStart*>(param);
    delete static_cast<ReaderStart*>(param);
    start.capture->RunReader(start.id);
    return 0;
}

void CPrintPage::ConnectReportReader()
{
    // What a capture stopped by the tool's going away read last is still the
    // report's: into the box before a new capture begins.
    OnReportData();
    std::vector<int> ports;
    ListToolPorts(ports);
    auto* host = dynamic_cast<IDeviceHost*>(CWnd::FromHandlePermanent(GetParent()));
    m_capture.Connect(ports, g_nDevicePort, host, [](kelvo::report::ReportCapture* capture, uint32_t id) {
        auto* start = new ReaderStart{capture, id};
        if (AfxBeginThread(&CPrintPage::ReaderThread, start))
            return true;
        delete start;
        return false;
    });
}

void CPrintPage::LeaveReportPage()
{
    TellReaderToEnd();
    // What arrived while the page was current is the user's; what the ended
    // capture reads from now on is not. The box keeps its text (a mechanic
    // looks a code up and comes back) until the user empties it.
    OnReportData();
    m_capture.DropPending();
    SaveReport();
}

void CPrintPage::ReportToolGone()
{
    TellReaderToEnd();
    KeepReportNow();
}

void CPrintPage::KeepReportNow()
{
    OnReportData();
    SaveReport();
}

void CPrintPage::SaveReport()
{
    const kelvo::report::ReportKeeper::Report r = m_keeper.Take();
    if (r.text.empty())
        return;
    const std::wstring folder = LibraryFolder();
    const kelvo::report::SaveOutcome outcome =
        folder.empty() ? kelvo::report::SaveOutcome::kNoFolder : kelvo::report::SaveReport(folder, r.when, r.model, r.text);
    // Said once, for this report; the box keeps it for Copy and Print.
    if (outcome != kelvo::report::SaveOutcome::kSaved && outcome != kelvo::report::SaveOutcome::kNothingToSave)
        if (IMainWindow* host = HostOf(m_hWnd))
            host->ShowStatusNote(GetText(kelvo::kTextReportNotSaved));
}

void CPrintPage::OnOpen()
{
    const std::wstring folder = LibraryFolder();
    const std::vector<kelvo::report::SavedReport> reports =
        folder.empty() ? std::vector<kelvo::report::SavedReport>() : kelvo::report::ListReports(folder);
    HMENU menu = ::CreatePopupMenu();
    if (!menu)
        return;
    m_menuRows.clear();
    if (reports.empty())
        m_menuRows.push_back({GetText(kelvo::kTextNoSavedReports), L"", L""});
    for (size_t i = 0; i < reports.size() && i < kMenuReports; ++i) {
        const kelvo::report::SavedReport& r = reports[i];
        wchar_t when[32];
        _snwprintf(when, 32, L"%04d-%02d-%02d %02d:%02d:%02d", r.when.year, r.when.month, r.when.day, r.when.hour,
                   r.when.minute, r.when.second);
        when[31] = 0;
        m_menuRows.push_back({when, r.model, r.vin});
    }
    MeasureMenuRows();
    for (size_t i = 0; i < m_menuRows.size(); ++i) {
        const UINT flags = MF_OWNERDRAW | (reports.empty() ? MF_GRAYED : 0);
        ::AppendMenuW(menu, flags, reports.empty() ? kFirstReport - 1 : kFirstReport + static_cast<UINT>(i),
                      reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(i)));
    }
    RECT button{};
    ::GetWindowRect(GetDlgItem(IDC_OPEN), &button);
    const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_BOTTOMALIGN |
                                                                     TPM_LEFTBUTTON | TPM_NONOTIFY,
                                                           button.left, button.top, 0, m_hWnd, nullptr));
    ::DestroyMenu(menu);
    if (chosen < kFirstReport || chosen - kFirstReport >= reports.size())
        return;
    std::wstring text;
    if (!kelvo::report::LoadReport(kelvo::report::JoinPath(folder, reports[chosen - kFirstReport].fileName), &text)) {
        if (IMainWindow* host = HostOf(m_hWnd))
            host->ShowStatusNote(GetText(kelvo::kTextReportUnreadable));
        return;
    }
    // What waits of the live report goes to the library first, not lost under the loaded one.
    OnReportData();
    m_edit.SetWindowText(text);
    m_showingSaved = true;
}

void CPrintPage::OnReportData()
{
    const std::wstring text = m_capture.Queue().TakeAll();
    if (text.empty())
        return;
    const IMainWindow* host = HostOf(m_hWnd);
    m_keeper.Add(text, ::GetTickCount(), LocalStamp(), host ? host->DeviceName() : std::wstring());
    if (!m_edit.m_hWnd)
        return;
    // A live report takes the place of one loaded from the library (which is kept there).
    if (m_showingSaved) {
        m_showingSaved = false;
        m_edit.SetWindowText(L"");
    }
    // Appended at the end, once for all that waited; the user's selection stays.
    DWORD selStart = 0, selEnd = 0;
    m_edit.SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    const int end = ::GetWindowTextLengthW(m_edit.m_hWnd);
    m_edit.SendMessage(EM_SETSEL, static_cast<WPARAM>(end), end);
    m_edit.ReplaceSel(text);
    m_edit.SendMessage(EM_SETSEL, selStart, selEnd);
    m_edit.PostMessage(WM_VSCROLL, SB_BOTTOM, 0);
}

void CPrintPage::OnSize(int cx, int cy)
{
    if (!m_edit.m_hWnd)
        return;
    const kelvo::Dpi s(m_hWnd);
    m_edit.MoveWindow(s(10), s(10), cx - s(20), cy - s(75));
    // Four buttons, with equal gaps between them and at both ends.
    const int bw = s(160), bh = s(45), top = cy - s(55);
    const int a = (cx - 4 * bw) / 5;
    ::MoveWindow(GetDlgItem(IDC_OPEN), a, top, bw, bh, TRUE);
    ::MoveWindow(GetDlgItem(IDC_PRINT), 2 * a + bw, top, bw, bh, TRUE);
    ::MoveWindow(GetDlgItem(IDC_CLEAR), 3 * a + 2 * bw, top, bw, bh, TRUE);
    ::MoveWindow(GetDlgItem(IDC_COPY), 4 * a + 3 * bw, top, bw, bh, TRUE);
}

void CPrintPage::OnPrint()
{
    const std::wstring text = m_edit.GetWindowText();
    if (text.empty())
        return;
    m_printer.reset();
    m_printer = std::make_unique<CDiagSystemPrinter>();
    m_printer->SetTitle(L"Kelvo");
    // Cancelling the print dialog is no failure; a printer that refused a
    // page (or the document) is, and the user is told rather than left
    // waiting for paper that will not come.
    if (m_printer->Setup(this) && !m_printer->PrintText(text))
        kelvo::ShowMessage(GetText(kelvo::kTextPrintFailed), MB_OK | MB_ICONERROR);
}

void CPrintPage::MeasureMenuRows()
{
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = g_pFont16 ? ::SelectObject(dc, g_pFont16->m_hObject) : nullptr;
    auto width = [&](const std::wstring& t) {
        SIZE sz{};
        ::GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &sz);
        m_menuRowHeight = std::max<int>(m_menuRowHeight, sz.cy);
        return static_cast<int>(sz.cx);
    };
    int w[3] = {0, 0, 0};
    m_menuRowHeight = 0;
    for (const MenuRow& r : m_menuRows) {
        w[0] = std::max(w[0], width(r.when));
        w[1] = std::max(w[1], width(r.model));
        w[2] = std::max(w[2], width(r.vin));
    }
    if (old)
        ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    const kelvo::Dpi s(m_hWnd);
    const int gap = s(24);
    m_menuColumns[0] = s(12) + w[0] + gap;
    m_menuColumns[1] = m_menuColumns[0] + w[1] + gap;
    m_menuColumns[2] = m_menuColumns[1] + w[2] + s(12);
    m_menuRowHeight += s(12);
}

bool CPrintPage::OnMeasureMenuItem(MEASUREITEMSTRUCT* mis) const
{
    if (!mis || mis->CtlType != ODT_MENU || mis->itemData >= m_menuRows.size())
        return false;
    // The menu adds room for a check mark on the left: the columns start after it.
    mis->itemWidth = static_cast<UINT>(m_menuColumns[2]);
    mis->itemHeight = static_cast<UINT>(m_menuRowHeight);
    return true;
}

bool CPrintPage::OnDrawMenuItem(const DRAWITEMSTRUCT* dis) const
{
    if (!dis || dis->CtlType != ODT_MENU || dis->itemData >= m_menuRows.size())
        return false;
    const MenuRow& row = m_menuRows[dis->itemData];
    const bool selected = (dis->itemState & ODS_SELECTED) != 0;
    const bool grayed = (dis->itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    ::FillRect(dis->hDC, &dis->rcItem, ::GetSysColorBrush(selected && !grayed ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    HGDIOBJ old = g_pFont16 ? ::SelectObject(dis->hDC, g_pFont16->m_hObject) : nullptr;
    ::SetBkMode(dis->hDC, TRANSPARENT);
    ::SetTextColor(dis->hDC, ::GetSysColor(grayed ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    const int left = dis->rcItem.left;
    const int xs[3] = {left + kelvo::Scale(12, kelvo::DpiOfWindow(m_hWnd)), left + m_menuColumns[0], left + m_menuColumns[1]};
    const std::wstring* texts[3] = {&row.when, &row.model, &row.vin};
    for (int i = 0; i < 3; ++i) {
        RECT r = dis->rcItem;
        r.left = xs[i];
        ::DrawTextW(dis->hDC, texts[i]->c_str(), static_cast<int>(texts[i]->size()), &r,
                    DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (old)
        ::SelectObject(dis->hDC, old);
    return true;
}

// The box only: the report stays in the library (and is still saved when due).
void CPrintPage::OnClear() { SetDlgItemText(IDC_REPORT, L""); }

namespace {

// A movable block with `bytes` bytes copied in, or null.
HGLOBAL BlockOf(const void* data, size_t bytes)
{
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block)
        return nullptr;
    void* p = ::GlobalLock(block);
    if (!p) {
        ::GlobalFree(block);
        return nullptr;
    }
    std::memcpy(p, data, bytes);
    ::GlobalUnlock(block);
    return block;
}

// Hands the block to the clipboard; freed when the clipboard does not take it.
void Place(UINT format, HGLOBAL block)
{
    if (block && !::SetClipboardData(format, block))
        ::GlobalFree(block);
}

} // namespace

void CPrintPage::OnCopy()
{
    const std::wstring text = m_edit.GetWindowText();
    if (text.empty())
        return;
    // The narrow text's size as the code page counts it, its zero included.
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    std::string narrow(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], bytes, nullptr, nullptr);
    narrow.back() = '\0';
    if (!::OpenClipboard(m_hWnd))
        return;
    if (::EmptyClipboard()) {
        // The report's characters as they are (a code page without "é" or
        // "ñ" would make them "?"), and the narrow form for older programs.
        Place(CF_UNICODETEXT, BlockOf(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
        Place(CF_TEXT, BlockOf(narrow.data(), narrow.size()));
    }
    ::CloseClipboard();
}

bool CPrintPage::WantsKey(const MSG& msg) const
{
    // Enter makes a new line in the report box; Escape is never taken.
    return msg.wParam == VK_RETURN && m_edit.m_hWnd && msg.hwnd == m_edit.m_hWnd;
}
