#pragma once
// CUpdatePage: the firmware update page (template 129). Lists the packages in
// "update\" or the newer ones on the server; a ticked and confirmed row starts
// a worker that downloads it if needed and writes it into the tool.
#include "framework/Controls.h"
#include "ui/controls/Page.h"
#include "ui/win/PageHosts.h"
#include "ui/controls/ProListCtrl.h"
#include "update/core/Catalogue.h"
#include "update/core/TaskbarProgress.h"
#include "update/core/UpdateRuns.h"
#include "update/core/UpdateSink.h"
#include "update/win/TaskbarButton.h"

#include <deque>
#include <string>

namespace kelvo {
struct ToolSnapshot;
}

// A worker asks the page, right before it writes, whether the tool it was
// confirmed for is still the identified one (lParam: the ToolSnapshot taken
// at the confirmation; 1 yes).
constexpr UINT WM_UPDATE_TOOLCHECK = WM_USER + 857;

// The listing worker (identification waits, catalogue and size requests)
// reports to the page with these, all sent; wParam is the listing's number,
// and the page ignores a listing it has given up (the tool was unplugged).
constexpr UINT WM_LISTING_IDENTIFY = WM_USER + 858;  // lParam keep | variant << 1; answers 1 when identified
constexpr UINT WM_LISTING_STEP = WM_USER + 859;      // lParam ListingJob*: identified; answers 1 to fetch the catalogue
constexpr UINT WM_LISTING_COUNT = WM_USER + 860;     // answers the list's row count
constexpr UINT WM_LISTING_ROW = WM_USER + 861;       // lParam const kelvo::PackageRow*
constexpr UINT WM_LISTING_ENABLE_LOCAL = WM_USER + 862;
constexpr UINT WM_LISTING_END = WM_USER + 863;
// A worker's message box, shown by the page on its own thread so that it is
// modal to the window like every other box (wParam the text number, lParam
// the MessageBox flags; answers the button). Sent: the worker waits for it.
constexpr UINT WM_UPDATE_TELL = WM_USER + 864;

class CUpdatePage : public CPage, public IUpdateListOwner, public kelvo::ICataloguePage {
public:
    enum : UINT { IDD = 129, IDC_LIST = 1003, IDC_LOCAL = 1010, IDC_ONLINE = 1002 };

    CUpdatePage() : CPage(IDD) {}
    void SetHost(IMainWindow* host) { m_pHost = host; }

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    void OnSize(int cx, int cy);
    void OnLocalList();
    void OnOnlineList();
    void OnItemChanged(const NMLISTVIEW* nm);
    // A list is being made: the tool is asked and the server is read on a
    // worker while the page goes on answering.
    bool Listing() const { return m_listing != 0; }
    void AddLocalPackage(const std::wstring& fileName, uint32_t size);

    // IUpdateListOwner: the worker's outcome, on the user-interface thread.
    void OnUpdateFailed(int worker) override;
    void OnUpdateDone(int worker) override;
    void OnUpdateProgress(int row, int percent) override;

    // The main window's entry points. An identification has ended (found or
    // not): each list button is usable unless its own list is shown.
    void OnIdentificationEnded();
    // The tool is absent. With no worker running the page takes the unplugged
    // state at once (no rows, mode 0, both buttons enabled); while one runs,
    // its rows stay until the last worker has ended.
    void OnToolRemoved();
    // The present, identified tool now; and whether it is the one confirmed.
    kelvo::ToolSnapshot CurrentTool() const;
    bool ToolUnchanged(const kelvo::ToolSnapshot& confirmed) const;
    // Model and version of the package last confirmed for writing ("QB345 V2.34").
    std::wstring PackageBeingWritten() const { return m_strPackageModel + L" " + m_strPackageVersion; }

    // Which list the page shows (m_nMode); the numbers are those of m_listing
    // and of the clicks waiting their turn too.
    enum ListMode : int { kNoList = 0, kServerList = 1, kLocalList = 2 };

    // kelvo::ICataloguePage
    int ItemCount() override { return m_list.GetItemCount(); }
    void AddRow(const kelvo::PackageRow& row) override;
    void EnableLocalButton() override { m_btnLocal.EnableWindow(TRUE); }
    int Tell(int number, unsigned flags) override { return kelvo::ShowUpdateMessage(number, flags); }

private:
    friend class CUpdatePageTestPeer;  // the controls' tests look at the list and the mode

    std::wstring m_strDownloadLink;
    std::wstring m_strPackageModel;
    std::wstring m_strPackageVersion;
    CProListCtrl m_list;
    CButton m_btnLocal;
    CButton m_btnOnline;
    int m_nMode = kNoList;

    // Starts the identification (and for the server list the catalogue) on
    // a worker; `mode` is the list asked for (kServerList or kLocalList).
    void StartListing(int mode);
    LRESULT OnListingMessage(UINT msg, WPARAM gen, LPARAM lParam);
    // After the identification: false ends the listing, true has the worker
    // fetch the catalogue described in *request.
    bool ContinueListing(bool identified, kelvo::CatalogueRequest* request);
    void ListLocalPackages();
    void EndListing();
    bool Identified() const;
    void TakeUnpluggedState();
    kelvo::PackageRow RowOf(int item) const;

    IMainWindow* m_pHost = nullptr;
    kelvo::UpdateRuns m_runs;
    bool m_unplugPending = false;  // removed while a worker ran
    int m_listing = 0;             // mode of the list being made, 0 none
    int m_listingGen = 0;          // number of the current (or last) listing
    bool m_listingCleared = false; // its rows were taken away at its start
    std::deque<int> m_pendingClicks;  // list buttons pressed while one was made
    // The transfer on the taskbar button, for a user working elsewhere.
    kelvo::WinTaskbarButton m_taskbarButton{nullptr};
    kelvo::TaskbarProgress m_taskbar{m_taskbarButton};
};
