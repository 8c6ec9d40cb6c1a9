// kelvo-skinc: compiles a readable skin source (skinhu/skins/*.txt) into the
// skin file SkinHu reads.
//   kelvo-skinc --password PASSWORD SOURCE OUT.she
#include "skinhu/core/SkinFile.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 5 || std::strcmp(argv[1], "--password") != 0) {
        std::fprintf(stderr, "usage: kelvo-skinc --password PASSWORD SOURCE OUT\n");
        return 2;
    }
    std::ifstream in(argv[3], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kelvo-skinc: cannot read %s\n", argv[3]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    skinhu::Skin skin;
    std::string error;
    if (!skinhu::ParseSkinSource(text.str(), &skin, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[3], error.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes = skinhu::EncodeSkin(skin, argv[2]);
    std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "kelvo-skinc: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
