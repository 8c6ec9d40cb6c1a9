// kelvo-dtcconv: the generic trouble codes of an Allegro code datafile (such
// as Debian's /usr/share/scantool/codes.dat) to the program's code file.
//   kelvo-dtcconv DATAFILE OUTPUT
// Repairs are reported on standard output with the counts; a refused file
// leaves OUTPUT untouched and ends with status 1.
#include "tools/dtcconv/codes.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: kelvo-dtcconv DATAFILE OUTPUT\n";
        return 2;
    }
    const std::string in = argv[1], out = argv[2];
    std::ifstream f(in, std::ios::binary);
    if (!f) {
        std::cerr << in << ": cannot be read\n";
        return 1;
    }
    std::ostringstream bytes;
    bytes << f.rdbuf();

    dtcconv::CodeSet set;
    std::string error;
    if (!dtcconv::ConvertDatafile(in, bytes.str(), &set, &error)) {
        std::cerr << error << "\n";
        return 1;
    }
    for (const std::string& r : set.repairs)
        std::cout << "repaired: " << r << "\n";

    // Written beside the target and then put in its place, so a failed run
    // leaves no half file.
    const std::string tmp = out + ".tmp";
    {
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        const std::string text = dtcconv::FormatCodeFile(set);
        o.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!o.flush()) {
            std::cerr << tmp << ": cannot be written\n";
            std::remove(tmp.c_str());
            return 1;
        }
    }
    if (std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::cerr << out << ": cannot be written\n";
        std::remove(tmp.c_str());
        return 1;
    }
    std::cout << out << ": " << set.entries.size() << " codes (P " << set.count[0] << ", C " << set.count[1] << ", B "
              << set.count[2] << ", U " << set.count[3] << ")\n";
    return 0;
}
