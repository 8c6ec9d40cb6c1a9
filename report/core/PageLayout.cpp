#include "report/core/PageLayout.h"

#include <cstdio>

namespace kelvo::report {

PageLayout PageLayout::Compute(int32_t width, int32_t height, int32_t logPixelsY, const FontMetrics& title,
                               const FontMetrics& body, const FontMetrics& small)
{
    PageLayout l;
    l.pageWidth = width;
    l.pageHeight = height;
    l.scale = ScaleOf(logPixelsY);
    l.lineGap = 2 * l.scale;
    l.margin = 25 * l.scale;
    l.titleLineHeight = title.LineHeight();
    l.titleCharWidth = title.aveCharWidth;
    l.bodyLineHeight = body.LineHeight();
    l.smallLineHeight = small.LineHeight();
    l.smallCharWidth = small.aveCharWidth;
    // 260 device pixels below the title, whatever the resolution.
    l.header = Rect{0, 0, width, 3 * l.titleLineHeight + 260};
    l.footer = Rect{0, height - 3 * l.smallLineHeight, width, height};
    l.body = Rect{l.margin, 3 * l.titleLineHeight + 260, width - l.margin,
                  height - 3 * l.smallLineHeight - l.bodyLineHeight};
    return l;
}

int32_t PageLayout::LinesOnPage(int32_t first, int32_t lineCount) const
{
    int32_t count = 0;
    int64_t y = body.top + 5;
    for (int32_t i = first; i < lineCount; ++i) {
        y += bodyLineHeight + lineGap;
        ++count;
        if (y + bodyLineHeight > body.bottom)
            break;
    }
    return count;
}

int32_t PageLayout::TitleLeft(size_t titleLength) const
{
    return static_cast<int32_t>((static_cast<int64_t>(pageWidth) - int64_t{titleCharWidth} * static_cast<int64_t>(titleLength)) / 2);
}

int32_t PageLayout::PageTextLeft(size_t pageTextLength) const
{
    return static_cast<int32_t>(pageWidth - int64_t{smallCharWidth} * static_cast<int64_t>(pageTextLength) - margin);
}

std::wstring PageText(int page)
{
    wchar_t buf[32];
    std::swprintf(buf, 32, L"- %d -", page);
    return buf;
}

std::wstring TimeText(int year, int month, int day, int hour, int minute, int second)
{
    wchar_t date[32], time[32];
    std::swprintf(date, 32, L"%4d-%2d-%2d", year, month, day);
    std::swprintf(time, 32, L"%2d:%2d:%2d", hour, minute, second);
    // Padding spaces become zeros.
    for (wchar_t* p : {date, time})
        for (; *p; ++p)
            if (*p == L' ')
                *p = L'0';
    return std::wstring(date) + L" " + time;
}

bool PrintPages(IPageSink& sink, int lineCount)
{
    if (!sink.StartDoc())
        return false;
    if (!sink.StartPage()) {
        sink.AbortDoc();
        return false;
    }
    int printed = 0;
    for (int page = 1;; ++page) {
        sink.DrawTitle();
        int n = sink.DrawBody(printed);
        sink.DrawFooter(page);
        if (!sink.EndPage()) {
            sink.AbortDoc();
            return false;
        }
        // Every page takes at least one line while any remain.
        if (n < 1)
            n = 1;
        printed += n;
        if (printed >= lineCount) {
            if (sink.EndDoc())
                return true;
            sink.AbortDoc();
            return false;
        }
        if (!sink.StartPage()) {
            sink.AbortDoc();
            return false;
        }
    }
}

} // namespace kelvo::report
