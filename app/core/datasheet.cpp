#include "app/core/datasheet.h"

#include "app/core/globals.h"
#include "app/core/textutil.h"
#include "app/core/platform.h"

#include <cstring>
#include <new>

namespace {

// Key of the derived-name routine: 11 characters and a closing NUL, built at run
// time so that the name is not a plain string in the program.
void BuildNameKey(uint8_t key[12])
{
    static const uint8_t kMasked[11] = {'K' ^ 0x5A, 'e' ^ 0x5A, 'l' ^ 0x5A, 'v' ^ 0x5A, 'o' ^ 0x5A, '-' ^ 0x5A,
                                        'Q' ^ 0x5A, 'B' ^ 0x5A, '3' ^ 0x5A, '4' ^ 0x5A, '5' ^ 0x5A};
    for (int i = 0; i < 11; ++i)
        key[i] = kMasked[i] ^ 0x5A;
    key[11] = 0;
}

const uint8_t kNameSteps[15] = {0x13, 0x2F, 0x47, 0x61, 0x7D, 0x89, 0x9B, 0xA5,
                                0x3C, 0xD1, 0x1E, 0x72, 0xE8, 0x05, 0xB6};

uint8_t NonZero(unsigned v)
{
    const auto b = static_cast<uint8_t>(v & 0xFF);
    return b == 0 ? 1 : b;
}

int64_t FileSize(FILE* f)
{
    if (std::fseek(f, 0, SEEK_END) != 0)
        return -1;
    const long size = std::ftell(f);
    return size < 0 ? -1 : static_cast<int64_t>(size);
}

} // namespace

CDataSheet::~CDataSheet()
{
    Close();
    delete[] m_table;
}

void CDataSheet::Close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_loaded = 0;
    m_lastKey.Clear();
    m_lastRecord = -1;
}

std::wstring CDataSheet::DerivedName(const std::wstring& name)
{
    std::wstring upper = kelvo::AsciiUpper(name);
    if (upper.size() < 4 || upper.compare(upper.size() - 4, 4, L".CBF") != 0)
        return std::wstring();
    upper.resize(upper.size() - 3); // keeps the dot: "EN_TEXT."

    uint8_t key[12];
    BuildNameKey(key);
    std::string bytes;
    for (size_t i = 0; i < upper.size(); ++i) {
        const wchar_t c = upper[i];
        const unsigned b = c < 0x100 ? static_cast<unsigned>(c) : '?';
        bytes.push_back(static_cast<char>(NonZero(b + key[i % 12])));
    }
    for (int i = 0; i < 12; ++i)
        key[i] = NonZero(key[i] + kNameSteps[(i % 7) + 8]);

    std::wstring out;
    auto hex = [&out](uint8_t b) {
        static const wchar_t kDigits[] = L"0123456789ABCDEF";
        if (b >= 16)
            out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    };
    for (uint8_t b : key)
        hex(b);
    for (char b : bytes)
        hex(static_cast<uint8_t>(b));
    return out;
}

bool CDataSheet::OpenPath(const std::wstring& path)
{
    m_file = kelvo::OpenFile(path, "rb");
    return m_file != nullptr;
}

bool CDataSheet::Open(const std::wstring& name)
{
    Close();
    const std::wstring folder = kelvo::ModuleFolder() + L"language\\";
    if (!OpenPath(folder + name)) {
        const std::wstring derived = DerivedName(name);
        if (derived.empty() || !OpenPath(folder + derived))
            return false;
    }
    if (!ReadHeader()) {
        Close();
        return false;
    }
    m_loaded = 1;
    return true;
}

bool CDataSheet::ReadAt(int64_t offset, void* out, size_t n)
{
    if (offset < 0 || offset > m_dataEnd || static_cast<int64_t>(n) > m_dataEnd - offset)
        return false;
    if (std::fseek(m_file, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(out, 1, n, m_file) == n;
}

bool CDataSheet::ReadHeader()
{
    const int64_t size = FileSize(m_file);
    if (size < kIndexStart)
        return false;
    m_dataEnd = size;
    uint8_t head[kIndexStart];
    if (!ReadAt(0, head, sizeof head))
        return false;
    if (std::memcmp(head, "ZENDRIX", 7) != 0)
        return false;
    m_version = static_cast<uint16_t>(head[8] | head[9] << 8);
    m_word2 = static_cast<uint16_t>(head[10] | head[11] << 8);
    m_keyLength = head[12];
    m_offset = static_cast<uint8_t>(head[14] - 3);
    m_count = static_cast<uint32_t>(head[20]) << 24 | static_cast<uint32_t>(head[21]) << 16 |
              static_cast<uint32_t>(head[22]) << 8 | head[23];
    m_indexStart = kIndexStart;

    if (IsScrambled()) {
        uint8_t tail[2];
        if (!ReadAt(size - 2, tail, 2))
            return false;
        const int t = tail[0] | tail[1] << 8;
        // Fewer than 255 bytes would leave descrambling positions without a table byte.
        if (t < kMinTable || t > kTableSize || size - 2 - t < kIndexStart)
            return false;
        if (!m_table) {
            m_table = new (std::nothrow) uint8_t[kTableSize];
            if (!m_table)
                return false;
        }
        std::memset(m_table, 0, static_cast<size_t>(t));
        if (!ReadAt(size - 2 - t, m_table, static_cast<size_t>(t)))
            return false;
        m_dataEnd = size - 2 - t;
    }
    // The whole index must lie in the file: this also rejects absurd counts.
    const int64_t entry = static_cast<int64_t>(m_keyLength) + 4;
    if (static_cast<int64_t>(m_count) > (m_dataEnd - m_indexStart) / entry)
        return false;
    return true;
}

void CDataSheet::Descramble(uint8_t* bytes, size_t n) const
{
    if (!IsScrambled())
        return;
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = static_cast<uint8_t>(bytes[i] - m_offset);
        b = static_cast<uint8_t>(b << 1 | b >> 7);
        bytes[i] = b ^ m_table[i % 255];
    }
}

CBinaryGroup CDataSheet::Find(const CBinary& key)
{
    CBinaryGroup group;
    const int k = m_keyLength;
    if (!m_loaded || key.GetLength() != k || m_count == 0)
        return group;

    uint8_t entry[255 + 4];
    int64_t low = 0;
    int64_t high = static_cast<int64_t>(m_count) - 1;
    int64_t found = -1;
    while (low <= high) {
        const int64_t middle = (low + high) / 2;
        if (!ReadAt(m_indexStart + middle * (k + 4), entry, static_cast<size_t>(k)))
            return group;
        Descramble(entry, static_cast<size_t>(k));
        const int cmp = key.Compare(CBinary(entry, k));
        if (cmp == 0) {
            found = middle;
            break;
        }
        if (cmp < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    if (found < 0)
        return group;

    m_lastKey = key;
    m_lastRecord = static_cast<int32_t>(found);
    uint8_t off[4];
    if (!ReadAt(m_indexStart + found * (k + 4) + k, off, 4))
        return group;
    Descramble(off, 4);
    int64_t pos = static_cast<int64_t>(off[0]) << 24 | off[1] << 16 | off[2] << 8 | off[3];

    uint8_t count = 0;
    if (!ReadAt(pos++, &count, 1))
        return group;
    Descramble(&count, 1);

    CBinaryGroup fields;
    std::string data;
    for (int f = 0; f < count; ++f) {
        uint8_t len[2];
        if (!ReadAt(pos, len, 2))
            return group; // a record cut short is no record
        pos += 2;
        Descramble(len, 2);
        const int n = len[0] << 8 | len[1];
        if (n == 0)
            break;
        data.resize(static_cast<size_t>(n));
        if (!ReadAt(pos, &data[0], static_cast<size_t>(n)))
            return group;
        pos += n;
        Descramble(reinterpret_cast<uint8_t*>(&data[0]), static_cast<size_t>(n));
        if (n > kSplitAt) {
            // The rest of a field near 64 KB would not fit one value: such a
            // record is treated as damaged rather than cut.
            if (n - kSplitAt > CBinary::kMaxLength)
                return group;
            fields.Add(CBinary(data.data(), kSplitAt));
            fields.Add(CBinary(data.data() + kSplitAt, n - kSplitAt));
        } else {
            fields.Add(CBinary(data.data(), n));
        }
    }
    return fields;
}
