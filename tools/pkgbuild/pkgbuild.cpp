// kelvo-pkgbuild: makes firmware package files from image files, for tests,
// the demo and the test update server.
//
//   kelvo-pkgbuild --type 1|2|3 --model QB345 --version 2.34 --set EN-FR-ES-DE-IT
//                  --date 20191023 [--server-name] [--out DIR | -o FILE] IMAGE [SECOND]
//
// The file is named model_Vversion_set_yyyymmdd.bin (the name in "update\"),
// or model_Vversion_set.bin with --server-name (the name on the update
// server). Its path is printed on stdout.
#include "update/core/Package.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Usage()
{
    std::fprintf(stderr,
                 "usage: kelvo-pkgbuild --type 1|2|3 --model M --version V --set SET --date YYYYMMDD\n"
                 "                      [--server-name] [--out DIR | -o FILE] IMAGE [SECOND]\n");
}

bool ReadAll(const std::string& path, std::vector<uint8_t>& out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    std::string type, model, version, set, date, outDir = ".", outFile;
    bool serverName = false;
    std::vector<std::string> images;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            into = argv[++i];
        };
        if (a == "--type")
            value(type);
        else if (a == "--model")
            value(model);
        else if (a == "--version")
            value(version);
        else if (a == "--set")
            value(set);
        else if (a == "--date")
            value(date);
        else if (a == "--out")
            value(outDir);
        else if (a == "-o")
            value(outFile);
        else if (a == "--server-name")
            serverName = true;
        else if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            Usage();
            return 2;
        } else
            images.push_back(a);
    }

    uint32_t t = type == "1" ? 1 : type == "2" ? 2 : type == "3" ? 3 : 0;
    if (t == 0 || images.size() != (t == 3 ? 2u : 1u)) {
        std::fprintf(stderr, "kelvo-pkgbuild: type 1 and 2 take one image, type 3 two\n");
        Usage();
        return 2;
    }
    if (outFile.empty()) {
        if (model.empty() || version.empty() || set.empty() || (!serverName && date.size() != 8)) {
            std::fprintf(stderr, "kelvo-pkgbuild: --model, --version, --set and an eight-digit --date name the file\n");
            return 2;
        }
        if (!version.empty() && (version[0] == 'V' || version[0] == 'v'))
            version.erase(0, 1);
        outFile = outDir + "/" + model + "_V" + version + "_" + set + (serverName ? "" : "_" + date) + ".bin";
    }

    std::vector<uint8_t> first, second;
    if (!ReadAll(images[0], first) || (t == 3 && !ReadAll(images[1], second))) {
        std::fprintf(stderr, "kelvo-pkgbuild: cannot read an image file\n");
        return 1;
    }
    if (first.size() > 0xFFFFFFF0u || second.size() > 0xFFFFFFF0u) {
        std::fprintf(stderr, "kelvo-pkgbuild: image too large\n");
        return 1;
    }
    std::vector<uint8_t> package = kelvo::BuildPackage(t, first, second);

    FILE* f = std::fopen(outFile.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "kelvo-pkgbuild: cannot create %s\n", outFile.c_str());
        return 1;
    }
    bool ok = std::fwrite(package.data(), 1, package.size(), f) == package.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "kelvo-pkgbuild: cannot write %s\n", outFile.c_str());
        return 1;
    }
    std::printf("%s\n", outFile.c_str());
    return 0;
}
