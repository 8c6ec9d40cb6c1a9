#include "ui/controls/ProListCtrl.h"

#include "ui/controls/Drawing.h"
#include "framework/Dc.h"
#include "ui/core/Palette.h"

#include <algorithm>

int CProListCtrl::AddProgressItem(int item, const std::wstring& text, int status)
{
    int index = InsertItem(item, text);
    if (index < 0)
        return -1;
    m_itemStatus[index] = status;
    // A new row starts with an empty bar, whatever an earlier row there showed.
    m_itemProgress.erase(index);
    return index;
}

BOOL CProListCtrl::DeleteAllItems()
{
    m_itemStatus.clear();
    m_itemProgress.clear();
    return CListCtrl::DeleteAllItems();
}

int CProListCtrl::ItemStatus(int item) const
{
    auto it = m_itemStatus.find(item);
    return it == m_itemStatus.end() ? 0 : it->second;
}

int CProListCtrl::ItemProgress(int item) const
{
    auto it = m_itemProgress.find(item);
    return it == m_itemProgress.end() ? 0 : it->second;
}

const std::wstring& CProListCtrl::Padding()
{
    if (!m_padding.empty())
        return m_padding;
    int space = 0;
    {
        CClientDC dc(m_hWnd);
        HFONT font = g_pFont16 && g_pFont16->m_hObject
                         ? g_pFont16->m_hObject
                         : reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
        CSelectObject select(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
        SIZE size{};
        if (::GetTextExtentPoint32W(dc, L" ", 1, &size))
            space = size.cx;
    }
    if (space <= 0)
        space = 4;  // no usable font: a plausible width rather than no padding
    int n = (kBarWidth + space - 1) / space;
    m_padding.assign(static_cast<size_t>(n), L' ');
    return m_padding;
}

IUpdateListOwner* CProListCtrl::Owner() const
{
    if (m_pOwner)
        return m_pOwner;
    return dynamic_cast<IUpdateListOwner*>(CWnd::FromHandlePermanent(GetParent()));
}

void CProListCtrl::SetNote(const std::wstring& note)
{
    if (note == m_note)
        return;
    m_note = note;
    Invalidate();
}

void CProListCtrl::DrawNote(HDC dc)
{
    RECT r;
    GetClientRect(&r);
    HWND header = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
    RECT hr{};
    if (header && ::IsWindowVisible(header)) {
        ::GetWindowRect(header, &hr);
        r.top += hr.bottom - hr.top;
    }
    HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    CSelectObject select(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    r.left += 8;
    r.top += 4;
    r.bottom = r.top + tm.tmHeight + 4;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::DrawTextW(dc, m_note.c_str(), static_cast<int>(m_note.size()), &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT CProListCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        if (!m_note.empty() && GetItemCount() == 0) {
            const LRESULT r = CListCtrl::WindowProc(msg, wParam, lParam);
            CClientDC dc(m_hWnd);
            DrawNote(dc);
            return r;
        }
        return CListCtrl::WindowProc(msg, wParam, lParam);
    case WM_UPDATE_PROGRESS: {
        // The bar shows it at the row's next repaint (the next status text).
        int progress = static_cast<int>(lParam);
        m_itemProgress[static_cast<int>(wParam)] = std::clamp(progress, 0, kBarWidth);
        if (IUpdateListOwner* owner = Owner())
            owner->OnUpdateProgress(static_cast<int>(wParam), std::clamp(progress, 0, kBarWidth));
        return 0;
    }
    case WM_UPDATE_STATUS: {
        const auto* text = reinterpret_cast<const wchar_t*>(lParam);
        SetItemText(static_cast<int>(wParam), kProgressColumn, Padding() + (text ? text : L""));
        return 0;
    }
    case WM_UPDATE_FLASHING:
        m_itemStatus[static_cast<int>(lParam)] = 1;
        return 0;
    case WM_UPDATE_FAILED:
        if (IUpdateListOwner* owner = Owner())
            owner->OnUpdateFailed(static_cast<int>(lParam));
        return 0;
    case WM_UPDATE_DONE:
        if (IUpdateListOwner* owner = Owner())
            owner->OnUpdateDone(static_cast<int>(lParam));
        return 0;
    case WM_UPDATE_END:
        SetCheck(static_cast<int>(lParam), FALSE);
        return 0;
    default:
        return CListCtrl::WindowProc(msg, wParam, lParam);
    }
}

bool CProListCtrl::OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (msg != WM_NOTIFY)
        return false;
    auto* hdr = reinterpret_cast<NMHDR*>(lParam);
    if (hdr->hwndFrom != m_hWnd || hdr->code != NM_CUSTOMDRAW)
        return false;
    *result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
    return true;
}

LRESULT CProListCtrl::OnCustomDraw(NMLVCUSTOMDRAW* cd)
{
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        return CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPOSTPAINT | CDDS_SUBITEM:
        if (cd->iSubItem == kProgressColumn) {
            DrawProgress(cd->nmcd.hdc, static_cast<int>(cd->nmcd.dwItemSpec));
            return CDRF_SKIPDEFAULT;
        }
        return CDRF_DODEFAULT;
    default:
        return CDRF_DODEFAULT;
    }
}

void CProListCtrl::DrawProgress(HDC dc, int item)
{
    // Downloading: orange bar filling red; writing into the tool: red filling
    // green (under high contrast the system's window and selection colours).
    const bool finished = ItemStatus(item) == 1;
    const kelvo::Palette& palette = kelvo::ActivePalette();
    const COLORREF bar = palette.barBack[finished ? 1 : 0];
    const COLORREF fill = palette.barFill[finished ? 1 : 0];

    RECT r;
    if (!GetSubItemRect(item, kProgressColumn, LVIR_BOUNDS, &r))
        return;
    r.right = r.left + kBarWidth;
    r.top += 1;
    r.bottom -= 1;
    if (r.bottom <= r.top)
        return;

    HBRUSH barBrush = ::CreateSolidBrush(bar);
    ::FillRect(dc, &r, barBrush);
    ::DeleteObject(barBrush);

    int progress = std::clamp(ItemProgress(item), 0, kBarWidth);
    if (progress != 0) {
        RECT f = r;
        f.right = f.left + progress;
        HBRUSH fillBrush = ::CreateSolidBrush(fill);
        ::FillRect(dc, &f, fillBrush);
        ::DeleteObject(fillBrush);
    }
    if (palette.barFrame != kelvo::kNoColour) {
        HBRUSH frame = ::CreateSolidBrush(palette.barFrame);
        ::FrameRect(dc, &r, frame);
        ::DeleteObject(frame);
    }
}
