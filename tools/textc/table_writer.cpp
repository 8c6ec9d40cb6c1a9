#include "tools/textc/table_writer.h"

#include <algorithm>

namespace textc {

namespace {

void Put16(std::string& s, unsigned v)
{
    s.push_back(static_cast<char>(v >> 8 & 0xFF));
    s.push_back(static_cast<char>(v & 0xFF));
}

void Put32(std::string& s, uint32_t v)
{
    Put16(s, v >> 16);
    Put16(s, v & 0xFFFF);
}

struct Scrambler {
    bool on = false;
    uint8_t offset = 0;
    std::string table;

    std::string Item(std::string bytes) const
    {
        if (!on)
            return bytes;
        for (size_t i = 0; i < bytes.size(); ++i) {
            auto b = static_cast<uint8_t>(static_cast<uint8_t>(bytes[i]) ^ static_cast<uint8_t>(table[i % 255]));
            b = static_cast<uint8_t>(b >> 1 | b << 7);
            bytes[i] = static_cast<char>(static_cast<uint8_t>(b + offset));
        }
        return bytes;
    }
};

uint64_t Fnv1a(uint64_t h, const std::string& s)
{
    for (unsigned char c : s) {
        h ^= c;
        h *= 0x100000001B3ull;
    }
    return h;
}

} // namespace

std::string TextKey(int number)
{
    std::string k("\xFF\0\0\0", 4);
    Put16(k, static_cast<unsigned>(number) & 0xFFFF);
    return k;
}

bool BuildTable(std::vector<Record> records, const TableOptions& options, std::string& out, std::string& error)
{
    out.clear();
    const size_t keyLength = records.empty() ? 6 : records[0].key.size();
    if (keyLength == 0 || keyLength > 255) {
        error = "key length must be 1..255";
        return false;
    }
    for (const Record& r : records) {
        if (r.key.size() != keyLength) {
            error = "keys of different lengths";
            return false;
        }
        if (r.fields.size() > 255) {
            error = "more than 255 fields in a record";
            return false;
        }
        for (const std::string& f : r.fields)
            if (f.size() > 0xFFFF) {
                error = "field longer than 65535 bytes";
                return false;
            }
    }
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return std::lexicographical_compare(a.key.begin(), a.key.end(), b.key.begin(), b.key.end(),
                                            [](char x, char y) { return static_cast<uint8_t>(x) < static_cast<uint8_t>(y); });
    });
    for (size_t i = 1; i < records.size(); ++i)
        if (records[i].key == records[i - 1].key) {
            error = "the same key twice";
            return false;
        }

    Scrambler sc;
    sc.on = options.scrambled;
    const uint16_t version = options.version ? options.version : (options.scrambled ? 0x0200 : 0x0100);
    if (options.scrambled != (version > 256)) {
        error = "scrambled tables need a version above 256, plain ones 256 or less";
        return false;
    }
    if (sc.on) {
        if (options.fixedScramble) {
            sc.offset = options.offset;
            sc.table = options.table;
        } else {
            uint64_t h = 0xCBF29CE484222325ull;
            for (const Record& r : records) {
                h = Fnv1a(h, r.key);
                for (const std::string& f : r.fields)
                    h = Fnv1a(h, f);
            }
            auto next = [&h]() {
                h ^= h << 13;
                h ^= h >> 7;
                h ^= h << 17;
                return static_cast<uint8_t>(h >> 24);
            };
            h |= 1;
            const size_t length = 255 + static_cast<size_t>(next()) % 146;
            sc.offset = static_cast<uint8_t>(next() | 1);
            for (size_t i = 0; i < length; ++i)
                sc.table.push_back(static_cast<char>(next()));
        }
        if (sc.table.size() < 255 || sc.table.size() > 400) {
            error = "descrambling table must have 255..400 bytes";
            return false;
        }
    }

    const uint64_t indexSize = records.size() * (keyLength + 4);
    std::string body;
    std::vector<uint32_t> offsets;
    uint64_t pos = 24 + indexSize;
    for (const Record& r : records) {
        if (pos > 0xFFFFFFFFull) {
            error = "table too large";
            return false;
        }
        offsets.push_back(static_cast<uint32_t>(pos));
        std::string rec = sc.Item(std::string(1, static_cast<char>(r.fields.size())));
        for (const std::string& f : r.fields) {
            std::string len;
            Put16(len, static_cast<unsigned>(f.size()));
            rec += sc.Item(len);
            rec += sc.Item(f);
        }
        body += rec;
        pos += rec.size();
    }

    out.assign("ZENDRIX\0", 8);
    out.push_back(static_cast<char>(version & 0xFF));
    out.push_back(static_cast<char>(version >> 8));
    out.append(2, '\0');                                      // second header word
    out.push_back(static_cast<char>(keyLength));
    out.push_back('\0');
    out.push_back(static_cast<char>(static_cast<uint8_t>(sc.offset + 3)));
    out.append(5, '\0');
    Put32(out, static_cast<uint32_t>(records.size()));
    for (size_t i = 0; i < records.size(); ++i) {
        out += sc.Item(records[i].key);
        std::string off;
        Put32(off, offsets[i]);
        out += sc.Item(off);
    }
    out += body;
    if (sc.on) {
        out += sc.table;
        out.push_back(static_cast<char>(sc.table.size() & 0xFF));
        out.push_back(static_cast<char>(sc.table.size() >> 8));
    }
    return true;
}

} // namespace textc
