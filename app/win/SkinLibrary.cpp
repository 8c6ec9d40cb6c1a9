#include "app/win/SkinLibrary.h"

#include "app/core/globals.h"
#include "framework/SystemDll.h"
#include "skinhu/SkinHu.h"

namespace kelvo {

namespace {
struct Library {
    bool tried = false;
    SkinH_AttachExFn attach = nullptr;
    SkinH_SetAeroFn aero = nullptr;
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
            if (!g_skin.attach || !g_skin.aero) {
                g_skin.attach = nullptr;
                g_skin.aero = nullptr;
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

} // namespace kelvo
