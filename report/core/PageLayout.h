#pragma once
// Page layout of the report printer, from the printer's resolution and the
// metrics of its three fonts, and the loop over the pages.
#include <cstdint>
#include <string>

namespace kelvo::report {

struct Rect {
    int32_t left, top, right, bottom;
    bool operator==(const Rect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct FontMetrics {
    int32_t height = 0;
    int32_t externalLeading = 0;
    int32_t aveCharWidth = 0;
    int32_t LineHeight() const { return height + externalLeading; }
};

struct PageLayout {
    int32_t pageWidth = 0, pageHeight = 0;  // W, H
    int32_t scale = 0;                      // s: printer pixels per point
    int32_t lineGap = 2, margin = 25;       // G, M (scaled by Compute)
    int32_t titleLineHeight = 0, bodyLineHeight = 0, smallLineHeight = 0;
    int32_t titleCharWidth = 0, smallCharWidth = 0;
    Rect header{}, body{}, footer{};

    // Font cell heights for the scale.
    static int32_t ScaleOf(int32_t logPixelsY) { return logPixelsY / 72; }
    static int32_t TitleFontHeight(int32_t s) { return 16 * s; }
    static int32_t BodyFontHeight(int32_t s) { return 14 * s; }
    static int32_t SmallFontHeight(int32_t s) { return 12 * s; }

    static PageLayout Compute(int32_t width, int32_t height, int32_t logPixelsY, const FontMetrics& title,
                              const FontMetrics& body, const FontMetrics& small);

    int32_t BodyWidth() const { return pageWidth - 2 * margin; }
    // Lines that one page takes from line `first` on (at least one while any remain).
    int32_t LinesOnPage(int32_t first, int32_t lineCount) const;
    // Top of the k-th line drawn on a page.
    int32_t BodyLineTop(int32_t k) const { return body.top + 5 + k * (bodyLineHeight + lineGap); }
    int32_t TitleLeft(size_t titleLength) const;
    int32_t TitleTop() const { return titleLineHeight; }
    int32_t TitleRuleY() const { return 2 * titleLineHeight; }
    int32_t FooterRuleY() const { return pageHeight - 3 * smallLineHeight; }
    int32_t FooterTextTop() const { return pageHeight - 2 * smallLineHeight; }
    int32_t PageTextLeft(size_t pageTextLength) const;
};

// "- 3 -"
std::wstring PageText(int page);
// "2020-03-07 09:05:00"
std::wstring TimeText(int year, int month, int day, int hour, int minute, int second);

// What one print job is drawn on.
class IPageSink {
public:
    virtual bool StartDoc() = 0;
    virtual bool StartPage() = 0;
    virtual bool EndPage() = 0;
    virtual bool EndDoc() = 0;
    virtual void AbortDoc() = 0;
    virtual void DrawTitle() = 0;
    virtual int DrawBody(int first) = 0;  // lines drawn
    virtual void DrawFooter(int page) = 0;

protected:
    ~IPageSink() = default;
};

// Prints every page of `lineCount` lines: title, body and footer on each. A
// job that cannot be finished is aborted, never left open. True on success.
bool PrintPages(IPageSink& sink, int lineCount);

} // namespace kelvo::report
