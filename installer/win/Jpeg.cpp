#include "installer/win/Jpeg.h"

#include "ui/controls/Drawing.h"

namespace kelvo::install {

IPicture* LoadJpegResource(UINT id)
{
    DWORD size = 0;
    IStream* stream = ResourceStream(id, L"JPG", &size);
    if (!stream)
        return nullptr;
    IPicture* picture = nullptr;
    const HRESULT hr = ::OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                        reinterpret_cast<void**>(&picture));
    stream->Release();
    return SUCCEEDED(hr) ? picture : nullptr;
}

void DrawPicture(HDC dc, IPicture* picture, const RECT& rect)
{
    OLE_XSIZE_HIMETRIC w = 0;
    OLE_YSIZE_HIMETRIC h = 0;
    picture->get_Width(&w);
    picture->get_Height(&h);
    // HIMETRIC runs upwards: start at the bottom and go up by the height.
    picture->Render(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0, h, w, -h, nullptr);
}

bool DrawJpegResource(HDC dc, UINT id, const RECT& rect)
{
    IPicture* picture = LoadJpegResource(id);
    if (!picture)
        return false;
    DrawPicture(dc, picture, rect);
    picture->Release();
    return true;
}

} // namespace kelvo::install
