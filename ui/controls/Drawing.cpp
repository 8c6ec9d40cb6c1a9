// The shared fonts and the PNG loader.
#include "ui/controls/Drawing.h"

#include <objidl.h>

CFont* g_pFont16 = nullptr;
CFont* g_pFont24 = nullptr;
CFont* g_pFont32 = nullptr;

namespace {
CFont* MakeSharedFont(int height)
{
    auto* font = new CFont;
    font->CreateFont(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_RASTER_PRECIS,
                     CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH, L"Arial");
    return font;
}
} // namespace

void CreateSharedFonts()
{
    if (g_pFont16)
        return;
    g_pFont16 = MakeSharedFont(16);
    g_pFont24 = MakeSharedFont(24);
    g_pFont32 = MakeSharedFont(32);
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
