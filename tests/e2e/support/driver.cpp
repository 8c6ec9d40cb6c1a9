#include "e2e/support/driver.h"
#include "support/remove_tree_win.h"

#include <commctrl.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace kelvo::e2e {

namespace {

std::wstring UnixToWindowsPath(const std::wstring& unixPath)
{
    // Wine maps the Unix root to drive Z:.
    std::wstring p = L"Z:" + unixPath;
    for (auto& c : p)
        if (c == L'/')
            c = L'\\';
    return p;
}

void CopyTree(const std::wstring& from, const std::wstring& to)
{
    ::CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((from + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(from + L"\\" + name, to + L"\\" + name);
        else
            ::CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
}

using kelvo::test::RemoveTree;

struct Gdiplus_ {
    Gdiplus_()
    {
        Gdiplus::GdiplusStartupInput in;
        Gdiplus::GdiplusStartup(&token, &in, nullptr);
    }
    ~Gdiplus_() { Gdiplus::GdiplusShutdown(token); }
    ULONG_PTR token = 0;
};

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

} // namespace

std::wstring Env(const wchar_t* name)
{
    wchar_t buf[4096];
    DWORD n = ::GetEnvironmentVariableW(name, buf, 4096);
    return n && n < 4096 ? std::wstring(buf, n) : std::wstring();
}

std::wstring ArtifactFolder()
{
    std::wstring bin = Env(L"KELVO_BIN");
    std::wstring dir = bin.empty() ? L"C:\\kelvo-e2e" : UnixToWindowsPath(bin) + L"\\e2e";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\";
}

Installation::Installation()
{
    std::wstring dist = Env(L"KELVO_DIST");
    if (dist.empty())
        throw std::runtime_error("KELVO_DIST is not set");
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    static int counter = 0;
    m_folder = std::wstring(tmp) + L"kelvo-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter);
    CopyTree(UnixToWindowsPath(dist), m_folder);
    m_folder += L"\\";
}

Installation::~Installation()
{
    if (!m_folder.empty())
        RemoveTree(m_folder.substr(0, m_folder.size() - 1));
}

void Installation::WriteFile(const std::wstring& relative, const std::string& bytes) const
{
    FILE* f = _wfopen(Path(relative).c_str(), L"wb");
    if (!f)
        throw std::runtime_error("cannot write test file");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string Installation::ReadFile(const std::wstring& relative) const { return ReadWholeFile(Path(relative)); }

std::wstring WindowsPathOf(const std::string& unixPath)
{
    return UnixToWindowsPath(std::wstring(unixPath.begin(), unixPath.end()));
}

std::string UnixPathOf(const std::wstring& windowsPath)
{
    // Wine's own mapping, which knows every drive of the prefix.
    typedef char*(CDECL * Fn)(const WCHAR*);
    auto fn = reinterpret_cast<Fn>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    if (!fn)
        return {};
    char* p = fn(windowsPath.c_str());
    if (!p)
        return {};
    std::string out = p;
    ::HeapFree(::GetProcessHeap(), 0, p);
    return out;
}

void Installation::Remove(const std::wstring& relative) const
{
    std::wstring p = Path(relative);
    DWORD attr = ::GetFileAttributesW(p.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY))
        RemoveTree(p);
    else
        ::DeleteFileW(p.c_str());
}

KelvoProcess::KelvoProcess(const Installation& inst)
{
    std::wstring exe = inst.Path(L"Kelvo.exe");
    std::wstring cmd = L"\"" + exe + L"\"";
    STARTUPINFOW si = {sizeof si};
    std::wstring dir = inst.Folder();
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &m_pi))
        m_pi = {};
    else
        ::WaitForInputIdle(m_pi.hProcess, 10000);
}

KelvoProcess::~KelvoProcess()
{
    if (m_pi.hProcess) {
        if (Running())
            Kill();
        ::CloseHandle(m_pi.hProcess);
        ::CloseHandle(m_pi.hThread);
    }
}

DWORD KelvoProcess::WaitExit(DWORD ms)
{
    if (!m_pi.hProcess)
        return STILL_ACTIVE;
    DWORD start = ::GetTickCount();
    while (::WaitForSingleObject(m_pi.hProcess, 20) == WAIT_TIMEOUT) {
        PumpMessages();
        if (::GetTickCount() - start > ms)
            return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

bool KelvoProcess::Running() const
{
    return m_pi.hProcess && ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

void KelvoProcess::Kill()
{
    if (m_pi.hProcess) {
        ::TerminateProcess(m_pi.hProcess, 255);
        ::WaitForSingleObject(m_pi.hProcess, 5000);
    }
}

HWND KelvoProcess::WaitMainWindow(DWORD ms, const std::wstring& title)
{
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND h : TopWindows(m_pi.dwProcessId)) {
                if (ClassOf(h) == L"#32770" && (title.empty() || WindowText(h) == title) &&
                    (::GetWindowLongW(h, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) {
                    found = h;
                    return true;
                }
            }
            return false;
        },
        ms);
    return found;
}

std::vector<HWND> TopWindows(DWORD pid, bool visibleOnly)
{
    struct Ctx {
        DWORD pid;
        bool visible;
        std::vector<HWND> out;
    } ctx{pid, visibleOnly, {}};
    struct Cb {
        static BOOL CALLBACK Each(HWND h, LPARAM lp)
        {
            auto* c = reinterpret_cast<Ctx*>(lp);
            DWORD p = 0;
            ::GetWindowThreadProcessId(h, &p);
            if (p == c->pid && (!c->visible || ::IsWindowVisible(h)))
                c->out.push_back(h);
            return TRUE;
        }
    };
    ::EnumWindows(&Cb::Each, reinterpret_cast<LPARAM>(&ctx));
    return ctx.out;
}

HWND WaitWindow(DWORD pid, const std::wstring& title, DWORD ms, const wchar_t* className)
{
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND h : TopWindows(pid))
                if (WindowText(h) == title && (!className || ClassOf(h) == className)) {
                    found = h;
                    return true;
                }
            return false;
        },
        ms);
    return found;
}

std::wstring WindowText(HWND hwnd)
{
    wchar_t buf[1024] = {};
    // WM_GETTEXT works across processes for any window.
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, nullptr);
    return buf;
}

std::wstring ChildTexts(HWND hwnd)
{
    std::wstring out;
    struct Cb {
        static BOOL CALLBACK Each(HWND h, LPARAM lp)
        {
            auto* s = reinterpret_cast<std::wstring*>(lp);
            *s += WindowText(h);
            *s += L"\n";
            return TRUE;
        }
    };
    ::EnumChildWindows(hwnd, &Cb::Each, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::wstring ClassOf(HWND hwnd)
{
    wchar_t buf[256] = {};
    ::GetClassNameW(hwnd, buf, 256);
    return buf;
}

bool PressButton(HWND dialog, int id)
{
    HWND b = ::GetDlgItem(dialog, id);
    if (!b)
        return false;
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b));
    return true;
}

bool WaitFor(const std::function<bool()>& cond, DWORD ms, DWORD stepMs)
{
    DWORD start = ::GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (::GetTickCount() - start > ms)
            return false;
        PumpMessages();
        ::Sleep(stepMs);
    }
}

void ClickClient(HWND hwnd, int x, int y)
{
    POINT p{x, y};
    ::ClientToScreen(hwnd, &p);
    ::SetForegroundWindow(::GetAncestor(hwnd, GA_ROOT));
    ::SetCursorPos(p.x, p.y);
    ::Sleep(50);
    INPUT in[2] = {};
    in[0].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].type = INPUT_MOUSE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(1, &in[0], sizeof(INPUT));
    ::Sleep(30);
    ::SendInput(1, &in[1], sizeof(INPUT));
    ::Sleep(50);
}

void KeyPress(HWND focusTarget, WORD vk)
{
    ::SetForegroundWindow(::GetAncestor(focusTarget, GA_ROOT));
    ::Sleep(50);
    INPUT in[2] = {};
    in[0].type = INPUT_KEYBOARD;
    in[0].ki.wVk = vk;
    in[1].type = INPUT_KEYBOARD;
    in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, in, sizeof(INPUT));
    ::Sleep(50);
}

COLORREF Pixel(HWND hwnd, int x, int y)
{
    POINT p{x, y};
    ::ClientToScreen(hwnd, &p);
    HDC dc = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(dc, p.x, p.y);
    ::ReleaseDC(nullptr, dc);
    return c;
}

bool Near(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) < 8 && std::abs(GetGValue(a) - GetGValue(b)) < 8 &&
           std::abs(GetBValue(a) - GetBValue(b)) < 8;
}

std::string Hex(COLORREF c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
}

std::wstring Screenshot(HWND hwnd, const std::wstring& name)
{
    static Gdiplus_ gdiplus;
    RECT r;
    ::GetWindowRect(hwnd, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(mem, old);
    std::wstring path = ArtifactFolder() + name + L".png";
    {
        Gdiplus::Bitmap image(bmp, nullptr);
        // The PNG encoder's class id.
        const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        image.Save(path.c_str(), &png, nullptr);
    }
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    std::fwprintf(stdout, L"screenshot: %ls\n", path.c_str());
    return path;
}

std::wstring ListItemText(DWORD pid, HWND list, int row, int column, size_t capacity)
{
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return L"";
    const SIZE_T bytes = sizeof(LVITEMW) + capacity * sizeof(wchar_t);
    auto* remote = static_cast<char*>(::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE));
    std::wstring text;
    if (remote) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        item.cchTextMax = static_cast<int>(capacity);
        std::vector<wchar_t> buffer(capacity, 0);
        DWORD_PTR result = 0;
        // The buffer is read back only when the list answered.
        if (::WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
            ::WriteProcessMemory(process, item.pszText, buffer.data(), capacity * sizeof(wchar_t), nullptr) &&
            ::SendMessageTimeoutW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                                  SMTO_NORMAL, 5000, &result) &&
            ::ReadProcessMemory(process, item.pszText, buffer.data(), capacity * sizeof(wchar_t), nullptr)) {
            buffer[capacity - 1] = 0;
            text = buffer.data();
        }
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    ::CloseHandle(process);
    return text;
}

} // namespace kelvo::e2e
