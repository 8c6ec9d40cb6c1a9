#pragma once
// CDiagSystemPrinter: prints a plain text on a printer chosen in the print
// dialog. Every page: the title centred with a rule under it, the text broken
// into lines of the page width, a footer with a rule, the time of printing and
// the page number. One object serves one print.
#include "framework/Dc.h"
#include "framework/Font.h"
#include "framework/Wnd.h"
#include "report/core/PageLayout.h"

#include <windows.h>

#include <string>
#include <vector>

class CDiagSystemPrinter : private kelvo::report::IPageSink {
public:
    CDiagSystemPrinter();
    virtual ~CDiagSystemPrinter();
    CDiagSystemPrinter(const CDiagSystemPrinter&) = delete;
    CDiagSystemPrinter& operator=(const CDiagSystemPrinter&) = delete;

    void SetTitle(const std::wstring& title) { m_title = title; }
    // The print dialog, then the layout for the chosen printer. 1 to go on, 0 cancelled.
    int Setup(CWnd* owner = nullptr);
    // Nonzero when every page was printed.
    int PrintText(const std::wstring& text);

    const std::vector<std::wstring>& Lines() const { return m_lines; }

private:
    int WrapText(const std::wstring& text, int maxWidth);
    void DrawRule(int x1, int y1, int x2, int y2);
    void Release();

    // kelvo::report::IPageSink
    bool StartDoc() override { return m_dc.StartDoc(&m_docInfo) > 0; }
    bool StartPage() override { return m_dc.StartPage() > 0; }
    bool EndPage() override { return m_dc.EndPage() > 0; }
    bool EndDoc() override { return m_dc.EndDoc() > 0; }
    void AbortDoc() override { m_dc.AbortDoc(); }
    void DrawTitle() override;
    int DrawBody(int first) override;
    void DrawFooter(int page) override;

    CFont m_titleFont;
    CFont m_smallFont;
    CFont m_bodyFont;
    HGDIOBJ m_oldFont = nullptr;
    RECT m_headerRect{};
    RECT m_bodyRect{};
    RECT m_footerRect{};
    int m_titleLineHeight = 0, m_bodyLineHeight = 0, m_smallLineHeight = 0;
    int m_titleCharWidth = 0, m_smallCharWidth = 0;
    int m_lineGap = 2;
    int m_margin = 25;
    int m_pageHeight = 0, m_pageWidth = 0;
    DOCINFOW m_docInfo{};
    CDC m_dc;
    SYSTEMTIME m_printTime{};
    std::wstring m_timeText;
    std::wstring m_title;
    int m_lineCount = 0;
    std::vector<std::wstring> m_lines;
    kelvo::report::PageLayout m_layout;
};
