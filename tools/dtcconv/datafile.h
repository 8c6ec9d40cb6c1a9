#pragma once
// Reader of uncompressed Allegro 4 datafiles: the "slh." and "ALL." headers,
// the object count, and for each object its property records ("prop", type,
// size, bytes), its type and its two sizes, then its bytes. Every number is a
// 32-bit big-endian integer. Nothing is read past the end of the bytes given.
#include <cstddef>
#include <string>
#include <vector>

namespace dtcconv {

struct DataObject {
    std::string name;     // the NAME property, empty when there is none
    std::string type;     // four characters, e.g. "CDEF"
    size_t offset = 0;    // of the object's bytes in the file
    std::string bytes;
};

// False for a compressed, truncated or otherwise damaged datafile; *error then
// reads "offset N: what is wrong".
bool ReadDatafile(const std::string& file, std::vector<DataObject>* objects, std::string* error);

} // namespace dtcconv
