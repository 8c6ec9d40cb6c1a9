#pragma once
// CRadioListBox: an owner-drawn list box (fixed height, with strings) showing
// per item a radio button, an optional bitmap and a text, on alternating
// stripes. Items can be disabled: drawn grey, and neither the mouse nor the
// keyboard selects them.
#include "framework/Controls.h"

#include <string>
#include <vector>

class CRadioListBox : public CListBox {
public:
    static constexpr int kMaxItems = 512;
    static constexpr int kRadioSize = 25;

    CRadioListBox() : m_hasRadio(kMaxItems, 1), m_enabled(kMaxItems, 1) {}

    // Adds `text` with a bitmap resource id as its item data (0 for none). A
    // non-zero indent becomes the indent of every item. Returns the index, or
    // -1 when the box is full (kMaxItems) or the add failed.
    int AddItem(const std::wstring& text, UINT bitmapId = 0, int indent = 0);
    // The attached skin's dialog and text colours: the stripes and the words
    // take them (a dark skin gets dark stripes with light words). Without a
    // skin the box keeps its white and light grey stripes and black words.
    void SetSkinColours(bool skinned, COLORREF back = 0, COLORREF text = 0);
    // The stripes of even and odd rows and the words' colours (enabled and
    // disabled entries): a palette's (ui/core/Palette.h), the system's under
    // high contrast.
    void SetColours(COLORREF evenStripe, COLORREF oddStripe, COLORREF text, COLORREF grayText);

    // Out-of-range indexes are ignored (setters) or read as enabled with a radio.
    void EnableItem(int index, BOOL enable);
    BOOL IsItemEnabled(int index) const;
    void SetItemRadio(int index, BOOL hasRadio);
    BOOL HasItemRadio(int index) const;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    std::vector<BOOL> m_hasRadio;
    std::vector<BOOL> m_enabled;
    int m_indent = 0;
    int m_maxExtent = 0;

private:
    void DrawItem(const DRAWITEMSTRUCT* dis);
    void PaintEmptyRows(HDC dc) const;
    int ItemFromPoint(POINT pt) const;
    // First enabled item from `start` stepping by `step`, or -1.
    int FindEnabled(int start, int step) const;
    LRESULT OnKeyDown(WPARAM key);
    COLORREF Stripe(int row) const;
    COLORREF m_stripe[2] = {RGB(255, 255, 255), RGB(240, 240, 240)};
    COLORREF m_text = RGB(0, 0, 0);
    COLORREF m_grayText = RGB(128, 128, 128);
};
