#pragma once
// Writes text-table files: the header ("ZENDRIX", version, key length,
// descrambling offset + 3, record count), the index sorted by key bytes, the
// records, and for the scrambled form (version above 256) the descrambling
// table and its length at the end. Every index key, index offset, field count,
// field length and field is scrambled as an item of its own: for byte i,
// x = rotate-right-1(b ^ table[i % 255]) + offset, which the reader undoes.
#include <cstdint>
#include <string>
#include <vector>

namespace textc {

struct Record {
    std::string key;                 // all keys of one table have the same length
    std::vector<std::string> fields; // each at most 65535 bytes
};

struct TableOptions {
    bool scrambled = true;
    // 0: 0x0200 for the scrambled form, 0x0100 for the plain one.
    uint16_t version = 0;
    // Scrambling parameters; derived from the content when not given, so the
    // same input always gives the same file.
    bool fixedScramble = false;
    uint8_t offset = 0;
    std::string table; // 255..400 bytes
};

bool BuildTable(std::vector<Record> records, const TableOptions& options, std::string& out, std::string& error);

// The six-byte key of text number n: FF 00 00 00, then n big-endian.
std::string TextKey(int number);

} // namespace textc
