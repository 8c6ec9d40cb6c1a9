#pragma once
// The skin file of SkinHu ("skin\*.she"): the colours one skin gives the
// program's windows, scrambled with the skin password and sealed with a CRC.
//
// Layout (little-endian):
//   0   4  magic "KSKN"
//   4   1  format version (1)
//   5   1  colour count n (1..32)
//   6   2  0
//   8   4  password tag: FNV-1a of "skinhu:" + password
//   12 4n  n colours: role, red, green, blue, each byte XORed with the
//          password's key stream
//   .   1  name length L, then L bytes of name (plain)
//   .   4  CRC-32 of every byte before it
// Every role of the Role list must be present exactly once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skinhu {

enum class Role : uint8_t {
    kDialog = 1,     // dialog and page backgrounds
    kText,           // static text, check boxes, radio buttons
    kEdit,           // edit and combo box backgrounds
    kEditText,
    kList,           // list box backgrounds
    kListText,
    kListView,       // list view backgrounds
    kListViewText,
    kButton,         // push button faces
    kButtonText,
    kButtonBorder,
};
constexpr int kRoleCount = 11;

// A colour as 0x00RRGGBB.
using Rgb = uint32_t;

struct Skin {
    std::string name;
    Rgb colours[kRoleCount] = {};  // index = role - 1
    Rgb Colour(Role role) const { return colours[static_cast<int>(role) - 1]; }
};

enum class SkinError {
    kNone,
    kDamaged,        // not a skin file, truncated, CRC mismatch, bad colour list
    kWrongPassword,
};

std::vector<uint8_t> EncodeSkin(const Skin& skin, const std::string& password);
// Leaves *out untouched unless the result is kNone.
SkinError DecodeSkin(const uint8_t* data, size_t size, const std::string& password, Skin* out);

// Readable source of a skin: "#" comment lines, blank lines, and
// "key = value" lines: name = TEXT, and one "role = #RRGGBB" per role (role
// keys as RoleKey gives them). False with a message naming the line on error.
bool ParseSkinSource(const std::string& text, Skin* out, std::string* error);
const char* RoleKey(Role role);

uint32_t Crc32(const uint8_t* data, size_t size);

} // namespace skinhu
