#pragma once
// CPicturePage: the product gallery beside the update page. One product
// picture with its model name under it, advancing every two seconds; over the
// page the show pauses, the cursor points left or right by the half under it,
// and a click steps one picture back or forward.
#include "ui/controls/Page.h"

#include <string>
#include <vector>

// What the gallery needs from the window it sits on: the colour it paints
// behind the picture so that it blends in. The main window implements it.
class IPageBackground {
public:
    virtual COLORREF BackgroundColour() const = 0;
    // The colour of words on it (the skin's; black on the light default).
    virtual COLORREF TextColour() const { return RGB(0, 0, 0); }

protected:
    ~IPageBackground() = default;
};

class CPicturePage : public CPage {
public:
    enum : UINT { IDD = 141 };
    enum : UINT { kTimerId = 1, kPeriodMs = 2000 };
    enum : UINT { kCursorLeft = 148, kCursorRight = 149 };
    static constexpr int kPictureWidth = 200;
    static constexpr int kPictureHeight = 260;

    explicit CPicturePage(CWnd* parent = nullptr, const IPageBackground* background = nullptr);

    void SetBackgroundSource(const IPageBackground* background) { m_pBackground = background; }
    int CurrentIndex() const { return m_current; }
    int PictureCount() const { return static_cast<int>(m_pictureIds.size()); }

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    std::vector<std::wstring> m_modelNames;
    std::vector<int> m_pictureIds;
    BOOL m_tracking = 0;
    int m_side = 0;  // 0 none, 1 left half, 2 right half (at the last mouse move)
    BOOL m_hovering = 0;
    int m_clientWidth = 0;
    int m_current = 0;

private:
    void OnTimer();
    void OnMouseMove(int x);
    void OnLButtonDown();
    void OnPaint();
    void ApplyCursor() const;
    COLORREF Background() const;

    const IPageBackground* m_pBackground;
    HCURSOR m_cursorLeft = nullptr;
    HCURSOR m_cursorRight = nullptr;
};
