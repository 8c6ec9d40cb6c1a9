#pragma once
// CUpdatePage: the firmware update page (template 129). Lists the packages in
// "update\" or the newer ones on the server; a ticked and confirmed row starts
// a worker that downloads it if needed and writes it into the tool.
#include "framework/Controls.h"
#include "ui/controls/Page.h"
#include "ui/win/PageHosts.h"
#include "ui/controls/ProListCtrl.h"
#include "update/core/Catalogue.h"
#include "update/core/UpdateRuns.h"

#include <string>

namespace kelvo {
struct ToolSnapshot;
}

// A worker asks the page, right before it writes, whether the tool it was
// confirmed for is still the identified one (lParam: the ToolSnapshot taken
// at the confirmation; 1 yes).
constexpr UINT WM_UPDATE_TOOLCHECK = WM_USER + 857;

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
    void AddLocalPackage(const std::wstring& fileName, uint32_t size);

    // IUpdateListOwner: the worker's outcome, on the user-interface thread.
    void OnUpdateFailed(int worker) override;
    void OnUpdateDone(int worker) override;

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

    // kelvo::ICataloguePage
    int ItemCount() override { return m_list.GetItemCount(); }
    void AddRow(const kelvo::PackageRow& row) override;
    void EnableLocalButton() override { m_btnLocal.EnableWindow(TRUE); }

private:
    friend class CUpdatePageTestPeer;  // the controls' tests look at the list and the mode

    std::wstring m_strDownloadLink;
    std::wstring m_strPackageModel;
    std::wstring m_strPackageVersion;
    CProListCtrl m_list;
    CButton m_btnLocal;
    CButton m_btnOnline;
    int m_nMode = 0;  // 0 idle, 1 server list shown, 2 local list shown

    // False when no tool is present: the list handlers then do nothing.
    bool IdentifyBeforeListing();
    void TakeUnpluggedState();
    kelvo::PackageRow RowOf(int item) const;

    IMainWindow* m_pHost = nullptr;
    kelvo::UpdateRuns m_runs;
    bool m_unplugPending = false;  // removed while a worker ran
};
