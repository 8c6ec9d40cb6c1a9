#include "update/win/UpdatePage.h"

#include "app/core/TextNumbers.h"
#include "framework/Dpi.h"
#include "app/core/globals.h"
#include "app/core/platform.h"
#include "app/core/profile.h"
#include "app/core/texts.h"
#include "ui/controls/Drawing.h"
#include "device/core/DeviceState.h"
#include "device/core/IntPort.h"
#include "framework/Thread.h"
#include "resources/resource.h"
#include "update/core/Workers.h"
#include "platform/win/WinInetClient.h"

#include <commctrl.h>

#include <memory>

namespace {

struct Column {
    int text;
    int format;
    int minWidth;
};
const Column kColumns[7] = {
    {kelvo::kTextColumnNumber, LVCFMT_CENTER, 60},    {kelvo::kTextColumnModel, LVCFMT_LEFT, 80},
    {kelvo::kTextColumnVersion, LVCFMT_CENTER, 70},   {kelvo::kTextColumnLanguages, LVCFMT_CENTER, 120},
    {kelvo::kTextColumnRelease, LVCFMT_CENTER, 95},   {kelvo::kTextColumnSize, LVCFMT_CENTER, 75},
    {kelvo::kTextColumnStatus, LVCFMT_LEFT, 250},
};

// Reports of a worker thread become messages sent to the list window, so each
// is handled on the user-interface thread before the worker goes on.
class ListWorkerHost : public kelvo::IWorkerHost {
public:
    ListWorkerHost(HWND list, HWND page, int worker, const kelvo::ToolSnapshot& confirmed)
        : m_list(list), m_page(page), m_worker(worker), m_confirmed(confirmed)
    {
    }
    void Progress(int row, int percent) override { ::SendMessageW(m_list, WM_UPDATE_PROGRESS, row, percent); }
    void Status(int row, const std::wstring& text) override
    {
        ::SendMessageW(m_list, WM_UPDATE_STATUS, row, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void Flashing(int row) override { ::SendMessageW(m_list, WM_UPDATE_FLASHING, 0, row); }
    // The outcome names the worker, so the page knows whose package it was.
    void Failed() override { ::SendMessageW(m_list, WM_UPDATE_FAILED, 0, m_worker); }
    void Done() override { ::SendMessageW(m_list, WM_UPDATE_DONE, 0, m_worker); }
    void End(int row) override
    {
        m_ended = true;
        ::SendMessageW(m_list, WM_UPDATE_END, 0, row);
    }
    int Tell(int number, unsigned flags) override
    {
        return static_cast<int>(::SendMessageW(m_page, WM_UPDATE_TELL, static_cast<WPARAM>(number), flags));
    }
    bool Ended() const { return m_ended; }
    // The device state belongs to the user-interface thread: the page compares.
    bool ToolUnchanged() override
    {
        return ::SendMessageW(m_page, WM_UPDATE_TOOLCHECK, 0, reinterpret_cast<LPARAM>(&m_confirmed)) == 1;
    }

private:
    HWND m_list;
    HWND m_page;
    int m_worker;
    kelvo::ToolSnapshot m_confirmed;
    bool m_ended = false;
};

// The worker start record: allocated by the page, freed by the worker as soon
// as it has copied it.
struct WorkerStart {
    HWND list;
    HWND page;
    int worker;
    kelvo::WorkerJob job;
    kelvo::ToolSnapshot confirmed;  // the tool the user confirmed the write for
};

// Downloads the package first when the job has an address, then writes it.
UINT UpdateWorker(LPVOID param)
{
    auto* start = static_cast<WorkerStart*>(param);
    HWND list = start->list;
    HWND page = start->page;
    const int worker = start->worker;
    kelvo::WorkerJob job = start->job;
    ListWorkerHost host(list, page, worker, start->confirmed);
    delete start;
    if (job.address.empty()) {
        kelvo::RunFlashWorker(host, job);
    } else {
        auto http = kelvo::NewWinInetClient();
        kelvo::RunDownloadWorker(host, *http, job);
    }
    // A download that failed ends its row too: unticked, with its status
    // text kept, so that one tick tries again.
    if (!host.Ended())
        host.End(job.row);
    return 0;
}

} // namespace

BOOL CUpdatePage::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_list.SubclassDlgItem(IDC_LIST, this);
    m_btnLocal.SubclassDlgItem(IDC_LOCAL, this);
    m_btnOnline.SubclassDlgItem(IDC_ONLINE, this);
    m_list.SetOwner(this);
    m_list.SetAccessibleName(GetText(kelvo::kTextNameFirmwareList));
    m_taskbarButton.SetWindow(m_hWnd);

    m_list.SetFont(g_pFont16);
    m_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB);

    const int dpi = kelvo::DpiOfWindow(m_hWnd);
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, g_pFont16->m_hObject);
    for (int i = 0; i < 7; ++i) {
        const std::wstring caption = GetText(kColumns[i].text);
        SIZE sz{};
        ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &sz);
        const int pad = kelvo::Scale(20, dpi), least = kelvo::Scale(kColumns[i].minWidth, dpi);
        const int width = sz.cx + pad > least ? sz.cx + pad : least;
        m_list.InsertColumn(i, caption, kColumns[i].format, width);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);

    m_btnLocal.SetWindowText(GetText(kelvo::kTextLocal));
    m_btnOnline.SetWindowText(GetText(kelvo::kTextOnline));
    m_btnLocal.SetFont(g_pFont24);
    m_btnOnline.SetFont(g_pFont24);

    m_strDownloadLink =
        kelvo::ReadIniString(kelvo::ModuleFolder() + kelvo::kSettingsFile, L"Setting", L"DownloadLink", kelvo::kDefaultDownloadLink, 255);
    return TRUE;
}

LRESULT CUpdatePage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_LOCAL) {
            OnLocalList();
            return 0;
        }
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_ONLINE) {
            OnOnlineList();
            return 0;
        }
        break;
    case WM_LISTING_IDENTIFY:
    case WM_LISTING_STEP:
    case WM_LISTING_COUNT:
    case WM_LISTING_ROW:
    case WM_LISTING_ENABLE_LOCAL:
    case WM_LISTING_END:
        return OnListingMessage(msg, wParam, lParam);
    case WM_UPDATE_TOOLCHECK:
        return ToolUnchanged(*reinterpret_cast<const kelvo::ToolSnapshot*>(lParam)) ? 1 : 0;
    case WM_UPDATE_TELL:
        return kelvo::ShowUpdateMessage(static_cast<int>(wParam), static_cast<unsigned>(lParam));
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr->idFrom == IDC_LIST && hdr->code == LVN_ITEMCHANGED) {
            OnItemChanged(reinterpret_cast<NMLISTVIEW*>(lParam));
            return 0;
        }
        break;
    }
    }
    return CPage::WindowProc(msg, wParam, lParam);
}

void CUpdatePage::OnSize(int cx, int cy)
{
    if (!m_list.m_hWnd)
        return;
    const kelvo::Dpi s(m_hWnd);
    m_list.MoveWindow(0, 0, cx, static_cast<int>((cy - s(40)) * 0.8));
    const int d = static_cast<int>((cy - s(40)) * 0.2);
    const int c = (cx - s(620)) / 2;
    m_btnOnline.MoveWindow(c, cy - d - s(20), s(270), d);
    m_btnLocal.MoveWindow(cx - c - s(270), cy - d - s(20), s(270), d);
}

namespace {

struct ListingJob {
    HWND page;
    int gen;
    int mode;
    bool identified = false;
    kelvo::CatalogueRequest request;
};

// The catalogue check's page, on the worker: every question and row goes to
// the page by message.
class ListingPageProxy : public kelvo::ICataloguePage {
public:
    ListingPageProxy(HWND page, int gen) : m_page(page), m_gen(gen) {}
    int ItemCount() override { return static_cast<int>(::SendMessageW(m_page, WM_LISTING_COUNT, m_gen, 0)); }
    void AddRow(const kelvo::PackageRow& row) override
    {
        ::SendMessageW(m_page, WM_LISTING_ROW, m_gen, reinterpret_cast<LPARAM>(&row));
    }
    void EnableLocalButton() override { ::SendMessageW(m_page, WM_LISTING_ENABLE_LOCAL, m_gen, 0); }
    int Tell(int number, unsigned flags) override
    {
        return static_cast<int>(::SendMessageW(m_page, WM_UPDATE_TELL, static_cast<WPARAM>(number), flags));
    }

private:
    HWND m_page;
    int m_gen;
};

// The identification before a list, with its waits, then the catalogue; a
// tool or server that takes its time holds up this thread, not the window.
UINT ListingWorker(LPVOID param)
{
    std::unique_ptr<ListingJob> job(static_cast<ListingJob*>(param));
    HWND page = job->page;
    const WPARAM gen = static_cast<WPARAM>(job->gen);
    ::SendMessageW(page, WM_LISTING_IDENTIFY, gen, 0);
    ::Sleep(500);
    bool identified = ::SendMessageW(page, WM_LISTING_IDENTIFY, gen, 1 | 1 << 1) == 1;
    ::Sleep(1000);
    // A tool that answers only a third request is listed like any other.
    if (!::SendMessageW(page, WM_LISTING_IDENTIFY, gen, 4))
        identified = ::SendMessageW(page, WM_LISTING_IDENTIFY, gen, 1) == 1;
    else
        identified = true;
    job->identified = identified;
    if (::SendMessageW(page, WM_LISTING_STEP, gen, reinterpret_cast<LPARAM>(job.get())) == 1) {
        ListingPageProxy proxy(page, job->gen);
        auto http = kelvo::NewWinInetClient();
        kelvo::FetchCatalogue(proxy, *http, job->request);
    }
    ::SendMessageW(page, WM_LISTING_END, gen, 0);
    return 0;
}

// Brings the cursor's look up to date where it stands now.
void RefreshCursor()
{
    POINT p;
    if (::GetCursorPos(&p))
        ::SetCursorPos(p.x, p.y);
}

} // namespace

bool CUpdatePage::Identified() const { return g_nDevicePort >= 0 && m_pHost && !m_pHost->DeviceName().empty(); }

void CUpdatePage::StartListing(int mode)
{
    // A new list under a running worker would put its reports on other rows,
    // and the identification cannot open the port the worker holds.
    if (m_runs.Busy())
        return;
    // One list at a time; a button pressed meanwhile is taken up afterwards,
    // in the order pressed.
    if (m_listing) {
        m_pendingClicks.push_back(mode);
        return;
    }
    if (!m_pHost || !m_pHost->IsDevicePresent())
        return;
    auto* job = new ListingJob{m_hWnd, ++m_listingGen, mode};
    m_listing = mode;
    // A new list is on its way: the old rows go, and the checking line shows
    // in their place until the answer.
    m_listingCleared = m_nMode != mode;
    if (m_listingCleared)
        m_list.DeleteAllItems();
    m_list.SetNote(GetText(kelvo::kTextChecking));
    RefreshCursor();
    if (!AfxBeginThread(ListingWorker, job)) {
        delete job;
        EndListing();
    }
}

LRESULT CUpdatePage::OnListingMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    const bool current = m_listing && static_cast<int>(wParam) == m_listingGen;
    switch (msg) {
    case WM_LISTING_IDENTIFY:
        if (!current)
            return 0;
        if (lParam & 4)
            return Identified() ? 1 : 0;
        if (m_pHost)
            m_pHost->Identify(static_cast<int>(lParam & 1), static_cast<int>((lParam >> 1) & 1));
        return Identified() ? 1 : 0;
    case WM_LISTING_STEP: {
        if (!current)
            return 0;
        auto* job = reinterpret_cast<ListingJob*>(lParam);
        return ContinueListing(job->identified, &job->request) ? 1 : 0;
    }
    case WM_LISTING_COUNT:
        return m_list.GetItemCount();
    case WM_LISTING_ROW:
        if (current && lParam)
            AddRow(*reinterpret_cast<const kelvo::PackageRow*>(lParam));
        return 0;
    case WM_LISTING_ENABLE_LOCAL:
        if (current)
            EnableLocalButton();
        return 0;
    case WM_LISTING_END:
        if (current)
            EndListing();
        return 0;
    }
    return 0;
}

bool CUpdatePage::ContinueListing(bool identified, kelvo::CatalogueRequest* request)
{
    if (!identified) {
        // One that stays silent is not taken for a tool without packages:
        // the user is told it is not connected, and nothing is listed.
        if (m_listingCleared) {
            // Its old list went at the start: the page is as with no list.
            m_nMode = kNoList;
            OnIdentificationEnded();
        }
        m_list.SetNote(L"");
        kelvo::ShowMessage(GetText(kelvo::kTextNoScanTool), MB_OK | MB_ICONWARNING);
        return false;
    }
    m_list.SetNote(L"");
    if (m_listing == kLocalList) {
        ListLocalPackages();
        return false;
    }
    if (m_nMode == kServerList)
        return false;
    m_nMode = kServerList;
    m_btnOnline.EnableWindow(FALSE);
    m_list.DeleteAllItems();
    // The catalogue and the sizes are still to come.
    m_list.SetNote(GetText(kelvo::kTextChecking));
    request->model = m_pHost ? m_pHost->DeviceName() : std::wstring();
    request->language = g_strLanguageCode;
    request->base = m_strDownloadLink;
    return true;
}

void CUpdatePage::EndListing()
{
    m_listing = 0;
    m_list.SetNote(L"");
    RefreshCursor();
    if (m_pendingClicks.empty())
        return;
    const int next = m_pendingClicks.front();
    m_pendingClicks.pop_front();
    StartListing(next);
}

void CUpdatePage::OnLocalList() { StartListing(kLocalList); }

void CUpdatePage::OnOnlineList() { StartListing(kServerList); }

void CUpdatePage::ListLocalPackages()
{
    if (m_nMode == kLocalList)
        return;
    m_nMode = kLocalList;
    m_btnLocal.EnableWindow(FALSE);
    m_list.DeleteAllItems();

    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(kelvo::InstalledPath(L"update\\*.bin").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                AddLocalPackage(fd.cFileName, fd.nFileSizeLow);
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    if (m_list.GetItemCount() == 0) {
        m_btnOnline.EnableWindow(TRUE);
        kelvo::ShowMessage(GetText(kelvo::kTextNoLocalPackage), MB_OK | MB_ICONINFORMATION);
    }
}

void CUpdatePage::AddRow(const kelvo::PackageRow& row)
{
    const int r = m_list.GetItemCount();
    m_list.AddProgressItem(r, row.number, row.local ? 1 : 0);
    m_list.SetItemText(r, 1, row.model);
    m_list.SetItemText(r, 2, row.version);
    m_list.SetItemText(r, 3, row.languages);
    m_list.SetItemText(r, 4, row.release);
    m_list.SetItemText(r, 5, row.size);
    if (!row.status.empty())
        m_list.SetItemText(r, 6, m_list.Padding() + row.status);  // beside the bar, as status texts are
}

void CUpdatePage::AddLocalPackage(const std::wstring& fileName, uint32_t size)
{
    const std::wstring model = m_pHost ? m_pHost->DeviceName() : std::wstring();
    kelvo::PackageRow row;
    if (kelvo::LocalPackageRow(fileName, size, model, g_strLanguageCode, m_list.GetItemCount(), &row))
        AddRow(row);
}

namespace {
bool SameRow(const kelvo::PackageRow& a, const kelvo::PackageRow& b)
{
    return a.model == b.model && a.version == b.version && a.languages == b.languages && a.release == b.release;
}
} // namespace

kelvo::PackageRow CUpdatePage::RowOf(int item) const
{
    kelvo::PackageRow row;
    row.model = m_list.GetItemText(item, 1);
    row.version = m_list.GetItemText(item, 2);
    row.languages = m_list.GetItemText(item, 3);
    row.release = m_list.GetItemText(item, 4);
    return row;
}

void CUpdatePage::OnItemChanged(const NMLISTVIEW* nm)
{
    if (nm->iItem < 0 || !(nm->uChanged & LVIF_STATE))
        return;
    const UINT oldImage = (nm->uOldState & LVIS_STATEIMAGEMASK) >> 12;
    const UINT newImage = (nm->uNewState & LVIS_STATEIMAGEMASK) >> 12;
    if (newImage != 2 || oldImage == 2 || (m_nMode != kServerList && m_nMode != kLocalList))
        return;

    const int item = nm->iItem;
    // Rows still arriving belong to a list not yet complete: nothing starts
    // from it until it is.
    if (m_listing) {
        m_list.SetCheck(item, FALSE);
        return;
    }
    const int mode = m_nMode;
    const kelvo::PackageRow row = RowOf(item);
    // Only a Yes is consent: a box that could not be shown returns 0.
    const bool yes = kelvo::ShowMessage(GetText(kelvo::kTextConfirmWrite), MB_YESNO | MB_ICONQUESTION) == IDYES;
    // The box is modal, not the world: an unplug or a new list while it was
    // open leaves another row (or none) under this index.
    const bool same = m_nMode == mode && item < m_list.GetItemCount() && SameRow(RowOf(item), row);
    if (!yes || !same) {
        if (item < m_list.GetItemCount())
            m_list.SetCheck(item, FALSE);
        return;
    }
    m_strPackageModel = row.model;
    m_strPackageVersion = row.version;

    const int worker = m_runs.Start(row.model, row.version);
    auto* start = new WorkerStart{m_list.m_hWnd, m_hWnd, worker, {}};
    start->job.row = item;
    start->job.path = kelvo::PackagePath(row);
    // The worker writes only into a tool of the model confirmed here.
    start->job.model = m_pHost ? m_pHost->DeviceName() : std::wstring();
    start->job.settingsFile = kelvo::SettingsPath();
    // A server row always carries its address: the worker writes a sound
    // local copy as it is and fetches the package again otherwise.
    if (m_nMode == kServerList)
        start->job.address = kelvo::PackageDownloadAddress(m_strDownloadLink, row);
    // The tool the user has just confirmed; the worker writes into no other.
    start->confirmed = CurrentTool();
    m_btnLocal.EnableWindow(FALSE);
    m_btnOnline.EnableWindow(FALSE);
    if (m_pHost)
        m_pHost->SetUpdateBusy(TRUE);
    m_taskbar.Started();
    if (!AfxBeginThread(UpdateWorker, start)) {
        delete start;
        OnUpdateFailed(worker);
    }
}

void CUpdatePage::OnUpdateProgress(int, int percent) { m_taskbar.Progress(percent); }

void CUpdatePage::OnUpdateFailed(int worker)
{
    m_taskbar.Failed();
    m_runs.Finish(worker);
    // Another worker still writes into the tool: the page stays busy.
    if (m_runs.Busy())
        return;
    if (m_nMode != kLocalList)
        m_btnLocal.EnableWindow(TRUE);
    if (m_nMode != kServerList)
        m_btnOnline.EnableWindow(TRUE);
    if (m_pHost)
        m_pHost->SetUpdateBusy(FALSE);
    if (m_unplugPending)
        TakeUnpluggedState();
}

void CUpdatePage::OnIdentificationEnded()
{
    const bool idle = !m_runs.Busy();
    m_btnLocal.EnableWindow(idle && m_nMode != kLocalList);
    m_btnOnline.EnableWindow(idle && m_nMode != kServerList);
}

kelvo::ToolSnapshot CUpdatePage::CurrentTool() const
{
    kelvo::ToolSnapshot tool;
    if (m_pHost && m_pHost->IsDevicePresent())
        tool.model = m_pHost->DeviceName();
    tool.port = g_nDevicePort;
    tool.removals = kelvo::ToolRemovals();
    return tool;
}

bool CUpdatePage::ToolUnchanged(const kelvo::ToolSnapshot& confirmed) const
{
    return kelvo::SameToolAsConfirmed(confirmed, CurrentTool());
}

void CUpdatePage::OnToolRemoved()
{
    // A list being made for the tool that went is given up: what its worker
    // still reports is ignored.
    if (m_listing) {
        ++m_listingGen;
        m_pendingClicks.clear();
        m_listing = 0;
        m_list.SetNote(L"");
        RefreshCursor();
    }
    if (m_runs.Busy()) {
        m_unplugPending = true;
        return;
    }
    TakeUnpluggedState();
}

void CUpdatePage::TakeUnpluggedState()
{
    m_unplugPending = false;
    m_list.DeleteAllItems();
    m_nMode = kNoList;
    m_btnLocal.EnableWindow(TRUE);
    m_btnOnline.EnableWindow(TRUE);
}

void CUpdatePage::OnUpdateDone(int worker)
{
    std::wstring model = m_strPackageModel, version = m_strPackageVersion;
    m_runs.Finish(worker, &model, &version);
    m_taskbar.Done();
    m_nMode = kNoList;
    kelvo::RecordInstalledVersion(kelvo::SettingsPath(), model, version);
    if (m_runs.Busy())
        return;
    m_btnLocal.EnableWindow(TRUE);
    m_btnOnline.EnableWindow(TRUE);
    if (m_pHost)
        m_pHost->SetUpdateBusy(FALSE);
    if (m_unplugPending)
        TakeUnpluggedState();
}
