// Benchmark (not a test): the trouble-code page under Wine. Times its first
// showing (create, load the whole code file into the list, show, paint) and
// keystrokes in the code box up to the selected row scrolled to the top and
// painted; words typed key by key up to the list of matches painted, and the
// emptied box bringing the whole list back. Works in a scratch copy: a folder with the code file and a
// settings file, so full codes enter a history of its own.
//   bench_dtc_page.exe [INSTALLATION-FOLDER [ROUNDS]]
#include "app/core/globals.h"
#include "ui/controls/Drawing.h"
#include "dtc/win/SearchDtcPage.h"
#include "framework/Font.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

class CBenchHost : public CDialog {
public:
    CBenchHost() : CDialog(9201) {}
};

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

void Pump()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::wstring Installation(int argc, wchar_t** argv)
{
    if (argc > 1)
        return argv[1];
    wchar_t buf[1024];
    DWORD n = ::GetEnvironmentVariableW(L"KELVO_DIST", buf, 1024);
    if (n == 0 || n >= 1024)
        return L".";
    std::wstring unix(buf);
    std::replace(unix.begin(), unix.end(), L'/', L'\\');
    return L"Z:" + unix;
}

void Report(const char* what, std::vector<double> ms, double target)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %7.1f ms, max %7.1f ms over %zu (target < %.0f ms)\n", what, ms[ms.size() / 2], ms.back(),
                ms.size(), target);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring dist = Installation(argc, argv);
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;

    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring work = std::wstring(tmp) + L"kelvo-bench-dtc-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(work.c_str(), nullptr);
    ::CreateDirectoryW((work + L"\\dtc").c_str(), nullptr);
    if (!::CopyFileW((dist + L"\\dtc\\en_OBDII.txt").c_str(), (work + L"\\dtc\\en_OBDII.txt").c_str(), FALSE)) {
        std::fprintf(stderr, "no dtc\\en_OBDII.txt in %ls\n", dist.c_str());
        return 1;
    }
    ::CopyFileW((dist + L"\\dtc\\abbreviations.txt").c_str(), (work + L"\\dtc\\abbreviations.txt").c_str(), FALSE);
    ::SetCurrentDirectoryW(work.c_str());
    // The page reads its files from the program's folder: the work folder here.
    kelvo::SetModuleFolder(work + L"\\");

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
    CFont f16, f24;
    f16.CreateFont(16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_RASTER_PRECIS, CLIP_DEFAULT_PRECIS,
                   PROOF_QUALITY, DEFAULT_PITCH, L"Arial");
    f24.CreateFont(24, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_RASTER_PRECIS, CLIP_DEFAULT_PRECIS,
                   PROOF_QUALITY, DEFAULT_PITCH, L"Arial");
    g_pFont16 = &f16;
    g_pFont24 = &f24;

    CBenchHost host;
    if (!host.Create(9201)) {
        std::fprintf(stderr, "cannot create the host window\n");
        return 1;
    }
    host.ShowWindow(SW_SHOW);
    Pump();

    std::vector<double> firstShow, keys, wordKeys, emptied;
    const char* const typed[] = {"p01", "u0100", "c0", "b00", "p2", "p9", "p0135", "u0", "p04"};
    for (int round = 0; round < rounds; ++round) {
        {
            FILE* cfg = _wfopen(L"Kelvo.cfg", L"wb");
            std::fputs("[DTC]\r\nHistoryNum= 0\r\n[Setting]\r\nLanguage = 0\r\n", cfg);
            std::fclose(cfg);
        }
        auto* page = new CSearchDtcPage;
        const auto t0 = Clock::now();
        page->Create(130, &host);
        RECT c;
        host.GetClientRect(&c);
        page->MoveWindow(0, 0, c.right, c.bottom);
        page->LoadDtcFile(0);
        page->ShowWindow(SW_SHOW);
        page->UpdateWindow();
        Pump();
        firstShow.push_back(Ms(t0, Clock::now()));

        HWND edit = ::FindWindowExW(page->m_codeBox.m_hWnd, nullptr, L"Edit", nullptr);
        for (const char* text : typed) {
            ::SendMessageW(page->m_codeBox.m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
            for (const char* p = text; *p; ++p) {
                const auto k0 = Clock::now();
                ::SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(*p), 1);
                page->m_codeList.UpdateWindow();
                Pump();
                keys.push_back(Ms(k0, Clock::now()));
            }
        }
        auto key = [&](WPARAM c) {
            const auto k0 = Clock::now();
            ::SendMessageW(edit, WM_CHAR, c, 1);
            page->m_codeList.UpdateWindow();
            Pump();
            return Ms(k0, Clock::now());
        };
        for (const char* words : {"oxygen heater bank 2", "circuit", "mass air flow"}) {
            ::SendMessageW(page->m_codeBox.m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
            for (const char* p = words; *p; ++p)
                wordKeys.push_back(key(static_cast<WPARAM>(*p)));
            if (round == 0)
                std::printf("\"%s\": %d rows\n", words, page->m_codeList.GetItemCount());
            ::SendMessageW(edit, EM_SETSEL, 0, -1);
            emptied.push_back(key(VK_BACK));
        }
        if (round == 0)
            std::printf("%d rows; after typing, the box shows \"%ls\", row %d selected, top row %d\n",
                        page->m_codeList.GetItemCount(), page->m_codeBox.GetWindowText().c_str(),
                        static_cast<int>(page->m_codeList.SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)),
                        static_cast<int>(page->m_codeList.SendMessage(LVM_GETTOPINDEX)));
        page->DestroyWindow();
        delete page;
        Pump();
    }
    Report("first showing of the page:", firstShow, 1000);
    Report("keystroke to selected, scrolled row:", keys, 50);
    Report("word keystroke to the matches shown:", wordKeys, 10);
    Report("emptied box to the whole list back:", emptied, 10);

    host.DestroyWindow();
    ::SetCurrentDirectoryW(tmp);
    ::DeleteFileW((work + L"\\dtc\\en_OBDII.txt").c_str());
    ::DeleteFileW((work + L"\\dtc\\abbreviations.txt").c_str());
    ::DeleteFileW((work + L"\\Kelvo.cfg").c_str());
    ::RemoveDirectoryW((work + L"\\dtc").c_str());
    ::RemoveDirectoryW(work.c_str());
    return 0;
}
