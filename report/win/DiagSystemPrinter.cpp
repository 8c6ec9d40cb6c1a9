#include "report/win/DiagSystemPrinter.h"

#include "app/core/codepage.h"
#include "framework/PrintDialog.h"
#include "report/core/TextWrap.h"

#include <map>

using kelvo::report::FontMetrics;
using kelvo::report::PageLayout;

namespace {

// All pages, no page numbers, no selection, no print to file; copies and
// collation left to the driver.
const DWORD kPrintFlags = 0x0014000C;

RECT ToRect(const kelvo::report::Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// Widths of single characters in the selected font, as the ANSI code page
// spells them; each distinct character is measured once.
class GdiMeasure : public kelvo::report::ITextMeasure {
public:
    explicit GdiMeasure(HDC dc) : m_dc(dc), m_codePage(::GetACP()) {}
    int CharWidth(const char* bytes, size_t n) override
    {
        const unsigned key = n == 2 ? (static_cast<uint8_t>(bytes[0]) << 8 | static_cast<uint8_t>(bytes[1]))
                                    : static_cast<uint8_t>(bytes[0]);
        auto it = m_widths.find(key);
        if (it != m_widths.end())
            return it->second;
        wchar_t wide[4] = {};
        const int chars = ::MultiByteToWideChar(m_codePage, 0, bytes, static_cast<int>(n), wide, 4);
        SIZE size{};
        if (chars > 0)
            ::GetTextExtentPoint32W(m_dc, wide, chars, &size);
        m_widths[key] = size.cx;
        return size.cx;
    }
    bool IsLeadByte(uint8_t byte) override { return ::IsDBCSLeadByteEx(m_codePage, byte) != FALSE; }

private:
    HDC m_dc;
    UINT m_codePage;
    std::map<unsigned, int> m_widths;
};

FontMetrics MetricsOf(CDC& dc, CFont& font)
{
    HGDIOBJ old = dc.SelectObject(font.m_hObject);
    TEXTMETRICW tm{};
    dc.GetTextMetrics(&tm);
    dc.SelectObject(old);
    return FontMetrics{tm.tmHeight, tm.tmExternalLeading, tm.tmAveCharWidth};
}

void MakeFont(CFont& font, int height, int weight)
{
    font.CreateFont(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
}

} // namespace

CDiagSystemPrinter::CDiagSystemPrinter() = default;

CDiagSystemPrinter::~CDiagSystemPrinter() { Release(); }

int CDiagSystemPrinter::Setup(CWnd* owner)
{
    CPrintDialog dialog(FALSE, kPrintFlags, owner);
    if (dialog.DoModal() != IDOK || !dialog.GetPrinterDC())
        return 0;
    Release();
    m_dc.Attach(dialog.GetPrinterDC());
    m_dc.m_bPrinting = TRUE;

    const int s = PageLayout::ScaleOf(m_dc.GetDeviceCaps(LOGPIXELSY));
    MakeFont(m_titleFont, PageLayout::TitleFontHeight(s), FW_BOLD);
    MakeFont(m_bodyFont, PageLayout::BodyFontHeight(s), FW_NORMAL);
    MakeFont(m_smallFont, PageLayout::SmallFontHeight(s), FW_NORMAL);
    m_layout = PageLayout::Compute(m_dc.GetDeviceCaps(HORZRES), m_dc.GetDeviceCaps(VERTRES),
                                   m_dc.GetDeviceCaps(LOGPIXELSY), MetricsOf(m_dc, m_titleFont),
                                   MetricsOf(m_dc, m_bodyFont), MetricsOf(m_dc, m_smallFont));
    m_pageWidth = m_layout.pageWidth;
    m_pageHeight = m_layout.pageHeight;
    m_lineGap = m_layout.lineGap;
    m_margin = m_layout.margin;
    m_titleLineHeight = m_layout.titleLineHeight;
    m_bodyLineHeight = m_layout.bodyLineHeight;
    m_smallLineHeight = m_layout.smallLineHeight;
    m_titleCharWidth = m_layout.titleCharWidth;
    m_smallCharWidth = m_layout.smallCharWidth;
    m_headerRect = ToRect(m_layout.header);
    m_bodyRect = ToRect(m_layout.body);
    m_footerRect = ToRect(m_layout.footer);

    ::GetLocalTime(&m_printTime);
    m_timeText = kelvo::report::TimeText(m_printTime.wYear, m_printTime.wMonth, m_printTime.wDay, m_printTime.wHour,
                                         m_printTime.wMinute, m_printTime.wSecond);
    return 1;
}

int CDiagSystemPrinter::PrintText(const std::wstring& text)
{
    if (!m_dc.m_hDC)
        return 0;
    m_docInfo = DOCINFOW{};
    m_docInfo.cbSize = sizeof(DOCINFOW);
    m_docInfo.lpszDocName = m_title.c_str();
    m_lineCount = WrapText(text, m_pageWidth - 2 * m_margin);
    const bool ok = kelvo::report::PrintPages(*this, m_lineCount);
    Release();
    return ok ? 1 : 0;
}

int CDiagSystemPrinter::WrapText(const std::wstring& text, int maxWidth)
{
    m_lines.clear();  // each text is laid out on its own
    if (text.empty())
        return 0;
    const std::string bytes = kelvo::FromWide(0, text);
    HGDIOBJ old = m_dc.SelectObject(m_bodyFont.m_hObject);
    GdiMeasure measure(m_dc.m_hDC);
    const auto spans = kelvo::report::WrapBytes(bytes, maxWidth, measure);
    m_dc.SelectObject(old);
    for (const auto& span : spans)
        m_lines.push_back(kelvo::ToWide(0, bytes.substr(span.start, span.length)));
    return static_cast<int>(spans.size());
}

void CDiagSystemPrinter::DrawRule(int x1, int y1, int x2, int y2)
{
    HPEN pen = ::CreatePen(PS_SOLID, 10, RGB(0, 0, 0));
    HGDIOBJ old = m_dc.SelectObject(pen);
    m_dc.MoveTo(x1, y1);
    m_dc.LineTo(x2, y2);
    m_dc.SelectObject(old);
    ::DeleteObject(pen);
}

void CDiagSystemPrinter::DrawTitle()
{
    if (m_title.empty())
        return;
    m_oldFont = m_dc.SelectObject(m_titleFont.m_hObject);
    m_dc.TextOut(m_layout.TitleLeft(m_title.size()), m_layout.TitleTop(), m_title.c_str(),
                 static_cast<int>(m_title.size()));
    m_dc.SelectObject(m_oldFont);
    DrawRule(m_margin, m_layout.TitleRuleY(), m_pageWidth - m_margin, m_layout.TitleRuleY());
}

int CDiagSystemPrinter::DrawBody(int first)
{
    m_oldFont = m_dc.SelectObject(m_bodyFont.m_hObject);
    const int count = m_layout.LinesOnPage(first, m_lineCount);
    for (int k = 0; k < count; ++k) {
        const std::wstring& line = m_lines[static_cast<size_t>(first + k)];
        m_dc.TextOut(m_margin, m_layout.BodyLineTop(k), line.c_str(), static_cast<int>(line.size()));
    }
    m_dc.SelectObject(m_oldFont);
    return count;
}

void CDiagSystemPrinter::DrawFooter(int page)
{
    DrawRule(m_margin, m_layout.FooterRuleY(), m_pageWidth - m_margin, m_layout.FooterRuleY());
    m_oldFont = m_dc.SelectObject(m_smallFont.m_hObject);
    m_dc.TextOut(m_margin, m_layout.FooterTextTop(), m_timeText.c_str(), static_cast<int>(m_timeText.size()));
    const std::wstring pageText = kelvo::report::PageText(page);
    m_dc.TextOut(m_layout.PageTextLeft(pageText.size()), m_layout.FooterTextTop(), pageText.c_str(),
                 static_cast<int>(pageText.size()));
    m_dc.SelectObject(m_oldFont);
}

void CDiagSystemPrinter::Release()
{
    m_titleFont.DeleteObject();
    m_smallFont.DeleteObject();
    m_bodyFont.DeleteObject();
    m_dc.DeleteDC();
    m_lineGap = 2;
    m_margin = 25;
}
