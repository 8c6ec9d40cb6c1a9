#pragma once
// Device contexts that give themselves back: the paint DC of WM_PAINT, a
// window's client DC, and an off-screen DC with its own bitmap for drawing
// without flicker. Each restores what it selected before it lets go.
#include <windows.h>

class CPaintDC {
public:
    explicit CPaintDC(HWND hwnd) : m_hWnd(hwnd) { m_hDC = ::BeginPaint(hwnd, &m_ps); }
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    operator HDC() const { return m_hDC; }

    PAINTSTRUCT m_ps{};
    HDC m_hDC = nullptr;

private:
    HWND m_hWnd;
};

class CClientDC {
public:
    explicit CClientDC(HWND hwnd) : m_hWnd(hwnd) { m_hDC = ::GetDC(hwnd); }
    ~CClientDC()
    {
        if (m_hDC)
            ::ReleaseDC(m_hWnd, m_hDC);
    }
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;
    operator HDC() const { return m_hDC; }

    HDC m_hDC = nullptr;

private:
    HWND m_hWnd;
};

// A memory DC compatible with `reference`, holding a bitmap of cx by cy
// (a compatible bitmap, or a 32-bit top-down DIB section when asked).
class CMemoryDC {
public:
    CMemoryDC(HDC reference, int cx, int cy, bool dibSection = false)
    {
        m_hDC = ::CreateCompatibleDC(reference);
        if (!m_hDC)
            return;
        if (cx < 1)
            cx = 1;
        if (cy < 1)
            cy = 1;
        if (dibSection) {
            BITMAPINFO bi{};
            bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
            bi.bmiHeader.biWidth = cx;
            bi.bmiHeader.biHeight = -cy;  // top-down
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 32;
            bi.bmiHeader.biCompression = BI_RGB;
            m_bitmap = ::CreateDIBSection(m_hDC, &bi, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        } else {
            m_bitmap = ::CreateCompatibleBitmap(reference, cx, cy);
        }
        if (m_bitmap)
            m_oldBitmap = ::SelectObject(m_hDC, m_bitmap);
    }
    ~CMemoryDC()
    {
        if (m_hDC && m_oldBitmap)
            ::SelectObject(m_hDC, m_oldBitmap);
        if (m_bitmap)
            ::DeleteObject(m_bitmap);
        if (m_hDC)
            ::DeleteDC(m_hDC);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;

    bool Ok() const { return m_hDC && m_bitmap; }
    operator HDC() const { return m_hDC; }

    HDC m_hDC = nullptr;
    HBITMAP m_bitmap = nullptr;
    void* m_bits = nullptr;

private:
    HGDIOBJ m_oldBitmap = nullptr;
};

// CDC: a device context the object owns (a printer's, for example), with
// the few drawing calls its users make.
class CDC {
public:
    CDC() = default;
    ~CDC() { DeleteDC(); }
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    BOOL Attach(HDC dc)
    {
        if (m_hDC || !dc)
            return FALSE;
        m_hDC = dc;
        return TRUE;
    }
    HDC Detach()
    {
        HDC dc = m_hDC;
        m_hDC = nullptr;
        m_bPrinting = FALSE;
        return dc;
    }
    BOOL DeleteDC()
    {
        HDC dc = Detach();
        return dc ? ::DeleteDC(dc) : FALSE;
    }
    operator HDC() const { return m_hDC; }

    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
    HGDIOBJ SelectObject(HGDIOBJ object) const { return ::SelectObject(m_hDC, object); }
    BOOL GetTextMetrics(TEXTMETRICW* tm) const { return ::GetTextMetricsW(m_hDC, tm); }
    BOOL TextOut(int x, int y, const wchar_t* text, int length) const { return ::TextOutW(m_hDC, x, y, text, length); }
    BOOL MoveTo(int x, int y) const { return ::MoveToEx(m_hDC, x, y, nullptr); }
    BOOL LineTo(int x, int y) const { return ::LineTo(m_hDC, x, y); }
    int StartDoc(const DOCINFOW* info) const { return ::StartDocW(m_hDC, info); }
    int StartPage() const { return ::StartPage(m_hDC); }
    int EndPage() const { return ::EndPage(m_hDC); }
    int EndDoc() const { return ::EndDoc(m_hDC); }
    int AbortDoc() const { return ::AbortDoc(m_hDC); }

    HDC m_hDC = nullptr;
    BOOL m_bPrinting = FALSE;
};

// Selects a GDI object for a scope (a null object selects nothing).
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : m_hDC(dc)
    {
        if (object)
            m_old = ::SelectObject(dc, object);
    }
    ~CSelectObject()
    {
        if (m_old)
            ::SelectObject(m_hDC, m_old);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_old = nullptr;
};
