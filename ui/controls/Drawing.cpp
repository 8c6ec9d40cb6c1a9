// The shared fonts and the PNG loader.
#include "ui/controls/Drawing.h"

#include <objidl.h>

CFont* g_pFont16 = nullptr;
CFont* g_pFont24 = nullptr;
CFont* g_pFont32 = nullptr;

Gdiplus::Image* LoadPngResource(UINT id)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!res)
        return nullptr;
    DWORD size = ::SizeofResource(module, res);
    HGLOBAL data = ::LoadResource(module, res);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes || size == 0)
        return nullptr;
    HGLOBAL block = ::GlobalAlloc(GMEM_FIXED, size);
    if (!block)
        return nullptr;
    memcpy(block, bytes, size);
    IStream* stream = nullptr;
    // The stream frees the block when the image lets go of it.
    if (::CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK) {
        ::GlobalFree(block);
        return nullptr;
    }
    Gdiplus::Image* image = Gdiplus::Image::FromStream(stream);
    stream->Release();
    if (image && image->GetLastStatus() != Gdiplus::Ok) {
        delete image;
        image = nullptr;
    }
    return image;
}
