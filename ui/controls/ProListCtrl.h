#pragma once
// CProListCtrl: the update page's package list. A report list whose column 6
// shows a 100-pixel progress bar with the status text to its right; an update
// worker drives it with the WM_UPDATE_* messages (sent, so they are handled on
// the user-interface thread).
#include "framework/Controls.h"

#include <map>
#include <string>

constexpr UINT WM_UPDATE_PROGRESS = WM_USER + 851;  // wParam row, lParam percent 0..100
constexpr UINT WM_UPDATE_STATUS = WM_USER + 852;    // wParam row, lParam const wchar_t* (valid during the call)
constexpr UINT WM_UPDATE_FLASHING = WM_USER + 853;  // lParam row: writing into the tool starts
constexpr UINT WM_UPDATE_FAILED = WM_USER + 854;    // download or transfer failed
constexpr UINT WM_UPDATE_DONE = WM_USER + 855;      // transfer succeeded
constexpr UINT WM_UPDATE_END = WM_USER + 856;       // lParam row: the worker has finished

// What the list asks of the page that owns it when a worker reports its
// outcome. The update page implements it.
class IUpdateListOwner {
public:
    // `worker` is the lParam of the message: the page's id of the worker
    // that reports (0 when the sender named none).
    virtual void OnUpdateFailed(int worker) = 0;
    virtual void OnUpdateDone(int worker) = 0;
    // A row's transfer percentage, as the row stores it.
    virtual void OnUpdateProgress(int row, int percent) {}

protected:
    ~IUpdateListOwner() = default;
};

class CProListCtrl : public CListCtrl {
public:
    static constexpr int kProgressColumn = 6;
    static constexpr int kBarWidth = 100;

    // Who runs the failure and completion steps. Without one, the parent
    // window's object is asked, when it implements IUpdateListOwner.
    void SetOwner(IUpdateListOwner* owner) { m_pOwner = owner; }

    // Inserts an item with `text` in column 0 and the given status (1 when the
    // package is already present locally). Returns the item's index or -1.
    int AddProgressItem(int item, const std::wstring& text, int status);
    BOOL DeleteAllItems() override;

    int ItemStatus(int item) const;
    int ItemProgress(int item) const;
    bool IsPresentLocally(int item) const { return ItemStatus(item) == 1; }
    // A line shown where the first row would be while the list is empty
    // (the update page's "checking" while it asks the tool and the server);
    // empty for none.
    void SetNote(const std::wstring& note);
    const std::wstring& Note() const { return m_note; }
    // Spaces covering the bar in the shared 16-pixel font (built on first use).
    const std::wstring& Padding();

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    std::map<int, int> m_itemStatus;    // 0 in progress, 1 finished / present locally
    std::map<int, int> m_itemProgress;  // fill width in pixels, 0..100
    std::wstring m_padding;

private:
    IUpdateListOwner* Owner() const;
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* cd);
    void DrawProgress(HDC dc, int item);

    void DrawNote(HDC dc);

    IUpdateListOwner* m_pOwner = nullptr;
    std::wstring m_note;
};
