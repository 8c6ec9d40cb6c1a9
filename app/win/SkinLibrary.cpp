#include "app/win/SkinLibrary.h"

#include "app/core/globals.h"
#include "platform/win/SystemDll.h"
#include "skinhu/SkinHu.h"

namespace kelvo {

namespace {
struct Library {
    bool tried = false;
    SkinH_AttachExFn attach = nullptr;
    SkinH_SetAeroFn aero = nullptr;
    SkinH_DetachFn detach = nullptr;  // optional: a library without it cannot give way to high contrast
} g_skin;
} // namespace

bool LoadSkinLibrary()
{
    if (!g_skin.tried) {
        g_skin.tried = true;
        // By full path: never a SkinHu.dll of the working directory or the search path.
        if (HMODULE dll = LoadDllByPath(ModuleFolder() + L"SkinHu.dll")) {
            g_skin.attach = reinterpret_cast<SkinH_AttachExFn>(
                reinterpret_cast<void (*)()>(::GetProcAddress(dll, "SkinH_AttachEx")));
            g_skin.aero = reinterpret_cast<SkinH_SetAeroFn>(
                reinterpret_cast<void (*)()>(::GetProcAddress(dll, "SkinH_SetAero")));
            g_skin.detach = reinterpret_cast<SkinH_DetachFn>(
                reinterpret_cast<void (*)()>(::GetProcAddress(dll, "SkinH_Detach")));
            if (!g_skin.attach || !g_skin.aero) {
                g_skin.attach = nullptr;
                g_skin.aero = nullptr;
                g_skin.detach = nullptr;
                ::FreeLibrary(dll);
            }
        }
    }
    return g_skin.attach != nullptr;
}

int AttachSkin(const std::wstring& path, const std::wstring& password)
{
    return LoadSkinLibrary() ? g_skin.attach(path.c_str(), password.c_str()) : -1;
}

int SetSkinAero(int enable) { return LoadSkinLibrary() ? g_skin.aero(enable) : -1; }

int DetachSkin() { return LoadSkinLibrary() && g_skin.detach ? g_skin.detach() : -1; }

} // namespace kelvo
