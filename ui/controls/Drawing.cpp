// The shared fonts and the PNG loader.
#include "ui/controls/Drawing.h"

#include "framework/Dpi.h"
#include "framework/core/DpiScale.h"

#include <objidl.h>

CFont* g_pFont16 = nullptr;
CFont* g_pFont24 = nullptr;
CFont* g_pFont32 = nullptr;

namespace {
int g_sharedFontsDpi = 96;

HFONT MakeFontHandle(int height, int dpi)
{
    return ::CreateFontW(kelvo::Scale(height, dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_RASTER_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH, L"Arial");
}

CFont* MakeSharedFont(int height, int dpi)
{
    auto* font = new CFont;
    font->m_hObject = MakeFontHandle(height, dpi);
    return font;
}

struct FontSwap {
    HFONT from[3];
    HFONT to[3];
};

BOOL CALLBACK SwapFont(HWND hwnd, LPARAM param)
{
    const auto* swap = reinterpret_cast<const FontSwap*>(param);
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0));
    for (int i = 0; i < 3; ++i)
        if (font && font == swap->from[i]) {
            ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(swap->to[i]), FALSE);
            break;
        }
    return TRUE;
}
} // namespace

void CreateSharedFonts()
{
    if (g_pFont16)
        return;
    g_sharedFontsDpi = kelvo::SystemDpi();
    g_pFont16 = MakeSharedFont(16, g_sharedFontsDpi);
    g_pFont24 = MakeSharedFont(24, g_sharedFontsDpi);
    g_pFont32 = MakeSharedFont(32, g_sharedFontsDpi);
}

int SharedFontsDpi() { return g_sharedFontsDpi; }

void RescaleSharedFonts(HWND root, int dpi)
{
    if (!g_pFont16 || dpi <= 0 || dpi == g_sharedFontsDpi)
        return;
    CFont* fonts[3] = {g_pFont16, g_pFont24, g_pFont32};
    const int heights[3] = {16, 24, 32};
    FontSwap swap{};
    for (int i = 0; i < 3; ++i) {
        swap.from[i] = fonts[i]->m_hObject;
        swap.to[i] = MakeFontHandle(heights[i], dpi);
        if (!swap.to[i]) {
            // Out of GDI objects: keep the fonts there are rather than none.
            for (int k = 0; k <= i; ++k)
                if (swap.to[k])
                    ::DeleteObject(swap.to[k]);
            return;
        }
    }
    if (root) {
        SwapFont(root, reinterpret_cast<LPARAM>(&swap));
        ::EnumChildWindows(root, SwapFont, reinterpret_cast<LPARAM>(&swap));
    }
    for (int i = 0; i < 3; ++i) {
        fonts[i]->m_hObject = swap.to[i];
        ::DeleteObject(swap.from[i]);
    }
    g_sharedFontsDpi = dpi;
}

void DeleteSharedFonts()
{
    for (CFont** font : {&g_pFont16, &g_pFont24, &g_pFont32}) {
        delete *font;
        *font = nullptr;
    }
}

IStream* ResourceStream(UINT id, const wchar_t* type, DWORD* bytesOut)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!res)
        return nullptr;
    const DWORD size = ::SizeofResource(module, res);
    HGLOBAL data = ::LoadResource(module, res);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes || size == 0)
        return nullptr;
    // A stream wants a movable block.
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block)
        return nullptr;
    void* copy = ::GlobalLock(block);
    if (!copy) {
        ::GlobalFree(block);
        return nullptr;
    }
    memcpy(copy, bytes, size);
    ::GlobalUnlock(block);
    IStream* stream = nullptr;
    // The stream frees the block when it is released.
    if (::CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK || !stream) {
        ::GlobalFree(block);
        return nullptr;
    }
    if (bytesOut)
        *bytesOut = size;
    return stream;
}

Gdiplus::Image* LoadPngResource(UINT id)
{
    IStream* stream = ResourceStream(id, L"PNG", nullptr);
    if (!stream)
        return nullptr;
    // The image holds the stream (and so its memory) while it lives.
    Gdiplus::Image* image = Gdiplus::Image::FromStream(stream);
    stream->Release();
    if (image && image->GetLastStatus() != Gdiplus::Ok) {
        delete image;
        image = nullptr;
    }
    return image;
}

Gdiplus::Image* LoadPngResource(UINT id, int dpi)
{
    for (int index = kelvo::ArtScaleIndex(dpi); index > 0; --index) {
        const int scaled = kelvo::ArtResourceId(static_cast<int>(id), index);
        if (scaled <= 0xFFFF && ::FindResourceW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(scaled), L"PNG"))
            return LoadPngResource(static_cast<UINT>(scaled));
    }
    return LoadPngResource(id);
}
