#pragma once
// CTabStrip: the keyboard and screen-reader side of the main window's five
// picture tabs, which the main window paints itself. An unpainted child over
// the tabs that lets every mouse message through to the main window; it takes
// the focus in the Tab order, moves between the pages with the arrow keys,
// and tells a screen reader it is a tab list with five named page tabs.
#include "framework/Wnd.h"
#include "ui/core/PageKeys.h"

#include <string>

class ITabStripHost {
public:
    static constexpr int kTabs = kelvo::kPageCount;
    virtual int CurrentTab() const = 0;            // a kelvo::Page
    virtual void ActivateTab(int index) = 0;       // shows that page
    virtual std::wstring TabName(int index) const = 0;
    virtual RECT TabRect(int index) const = 0;     // in the host's client coordinates
    virtual void TabFocusChanged() = 0;            // repaint the focus mark

protected:
    ~ITabStripHost() = default;
};

class CTabStrip : public CWnd {
public:
    BOOL Create(CWnd* parent, const RECT& rect, UINT id, ITabStripHost* host);
    // The list's own name ("Pages").
    void SetListName(const std::wstring& name) { m_listName = name; }
    const std::wstring& ListName() const { return m_listName; }
    ITabStripHost* Host() const { return m_host; }
    bool HasFocus() const { return ::GetFocus() == m_hWnd; }
    // The page shown changed: readers hear of the new selection.
    void NotifySelection() const;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    static const wchar_t kClassName[];

private:
    void OnKey(UINT key);

    ITabStripHost* m_host = nullptr;
    std::wstring m_listName;
};
