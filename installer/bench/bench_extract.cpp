// bench_install_extract ZIP FOLDER [ROUNDS]: the installer's unpacking (the
// first phase of the copy page, without its fixed closing animation) of a ZIP
// file into FOLDER, the best of ROUNDS (default 5), in milliseconds on stdout.
// scripts/bench-install runs it beside unzip on the same archive.
#include "installer/win/Extractor.h"
#include "tests/support/remove_tree_win.h"

#include <windows.h>

#include <cstdio>
#include <string>

using kelvo::test::RemoveTree;

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_install_extract ZIP FOLDER [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 3 ? _wtoi(argv[3]) : 5;
    FILE* f = _wfopen(argv[1], L"rb");
    if (!f) {
        std::fprintf(stderr, "cannot read the archive\n");
        return 1;
    }
    std::string zip;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        zip.append(buf, n);
    fclose(f);

    const std::wstring folder = argv[2];
    LARGE_INTEGER freq;
    ::QueryPerformanceFrequency(&freq);
    double best = 1e30;
    kelvo::install::UnpackResult r;
    for (int i = 0; i < rounds; ++i) {
        RemoveTree(folder);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        kelvo::install::WindowsTarget target(folder + L"\\");
        LARGE_INTEGER t0, t1;
        ::QueryPerformanceCounter(&t0);
        r = kelvo::install::Unpack(zip.data(), zip.size(), target);
        ::QueryPerformanceCounter(&t1);
        const double ms = (t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart;
        if (ms < best)
            best = ms;
    }
    RemoveTree(folder);
    if (!r.opened || r.failed || r.skipped) {
        std::fprintf(stderr, "unpacking failed: %d failed, %d skipped\n", r.failed, r.skipped);
        return 1;
    }
    std::printf("%.1f\n", best);
    return 0;
}
