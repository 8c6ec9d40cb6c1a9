#pragma once
// CKelvoApp: the application object of Kelvo.exe.
#include "framework/afx.h"

#include <gdiplus.h>

class CKelvoApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

    HANDLE m_hMutex = nullptr;
    ULONG_PTR m_gdiplusToken = 0;
};

// Shared fonts: bold Arial 16, 24 and 32 pixels high, owned by the application.
extern CFont* g_pFont16;
extern CFont* g_pFont24;
extern CFont* g_pFont32;

// A resource of type "PNG" as a GDI+ image, or none. The caller deletes the
// image (the image owns its memory block through its stream).
Gdiplus::Image* LoadPngResource(UINT id);
