#include "update/core/SignedList.h"

#include <cstring>

namespace kelvo {

namespace {
const uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
    0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
    0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
    0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
    0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
    0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
    0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

CSha256::CSha256()
    : m_h{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19}
{
}

void CSha256::Block(const uint8_t* p)
{
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3], e = m_h[4], f = m_h[5], g = m_h[6], h = m_h[7];
    for (int i = 0; i < 64; ++i) {
        const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kK[i] + w[i];
        const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    m_h[0] += a;
    m_h[1] += b;
    m_h[2] += c;
    m_h[3] += d;
    m_h[4] += e;
    m_h[5] += f;
    m_h[6] += g;
    m_h[7] += h;
}

void CSha256::Update(const uint8_t* data, size_t n)
{
    m_bytes += n;
    while (n > 0) {
        const size_t take = n < 64 - m_used ? n : 64 - m_used;
        std::memcpy(m_buf + m_used, data, take);
        m_used += take;
        data += take;
        n -= take;
        if (m_used == 64) {
            Block(m_buf);
            m_used = 0;
        }
    }
}

Sha256Digest CSha256::Finish()
{
    const uint64_t bits = m_bytes * 8;
    const uint8_t one = 0x80, zero = 0;
    Update(&one, 1);
    while (m_used != 56)
        Update(&zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = uint8_t(bits >> (56 - 8 * i));
    Update(length, 8);
    Sha256Digest d;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            d[size_t(4 * i + j)] = uint8_t(m_h[i] >> (24 - 8 * j));
    return d;
}

Sha256Digest Sha256(const uint8_t* data, size_t n)
{
    CSha256 h;
    h.Update(data, n);
    return h.Finish();
}

std::string HexOf(const Sha256Digest& d)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

bool ParseSums(const std::string& text, std::vector<SumsLine>* lines)
{
    lines->clear();
    if (text.size() > kMaxSumsBytes)
        return false;
    std::vector<SumsLine> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (out.size() >= kMaxSumsLines || line.size() < 64 + 2 + 1)
            return false;
        SumsLine l;
        for (size_t i = 0; i < 32; ++i) {
            const int hi = HexValue(line[2 * i]), lo = HexValue(line[2 * i + 1]);
            if (hi < 0 || lo < 0)
                return false;
            l.hash[i] = uint8_t(hi << 4 | lo);
        }
        if (line[64] != ' ' || (line[65] != ' ' && line[65] != '*'))
            return false;
        l.name = line.substr(66);
        for (unsigned char c : l.name)
            if (c < 0x20 || c == 0x7F || c == '/' || c == '\\')
                return false;
        if (l.name == "." || l.name == ".." || FindSum(out, l.name))
            return false;
        out.push_back(std::move(l));
    }
    if (out.empty())
        return false;
    *lines = std::move(out);
    return true;
}

const SumsLine* FindSum(const std::vector<SumsLine>& lines, const std::string& name)
{
    for (const SumsLine& l : lines)
        if (l.name == name)
            return &l;
    return nullptr;
}

namespace {
// One DER element at *pos of the given tag with a definite length that fits:
// its contents' start and length. Lengths of one or two bytes (no list of ours
// needs more) in their shortest form.
bool DerElement(const uint8_t* der, size_t n, size_t* pos, uint8_t tag, size_t* start, size_t* length)
{
    if (*pos >= n || der[*pos] != tag)
        return false;
    size_t p = *pos + 1;
    if (p >= n)
        return false;
    size_t len = der[p++];
    if (len & 0x80) {
        const size_t bytes = len & 0x7F;
        if (bytes != 1 || p >= n)
            return false;
        len = der[p++];
        if (len < 0x80)
            return false;  // not the shortest form
    }
    if (len > n - p)
        return false;
    *start = p;
    *length = len;
    *pos = p + len;
    return true;
}

// A positive, minimally encoded INTEGER of at most 32 bytes, right-aligned into out.
bool DerUnsigned(const uint8_t* der, size_t start, size_t len, uint8_t* out)
{
    if (len == 0 || (der[start] & 0x80))
        return false;  // empty or negative
    if (len > 1 && der[start] == 0 && !(der[start + 1] & 0x80))
        return false;  // a leading zero that is not needed
    if (der[start] == 0) {
        ++start;
        --len;
    }
    if (len > 32)
        return false;
    std::memset(out, 0, 32);
    std::memcpy(out + 32 - len, der + start, len);
    for (size_t i = 0; i < 32; ++i)
        if (out[i])
            return true;
    return false;  // zero is no signature value
}
} // namespace

bool EcdsaDerToRaw(const uint8_t* der, size_t n, std::array<uint8_t, 64>* raw)
{
    size_t pos = 0, seqStart = 0, seqLen = 0;
    if (!der || !DerElement(der, n, &pos, 0x30, &seqStart, &seqLen) || pos != n)
        return false;
    const size_t seqEnd = seqStart + seqLen;
    size_t p = seqStart, rStart = 0, rLen = 0, sStart = 0, sLen = 0;
    if (!DerElement(der, seqEnd, &p, 0x02, &rStart, &rLen) || !DerElement(der, seqEnd, &p, 0x02, &sStart, &sLen) ||
        p != seqEnd)
        return false;
    std::array<uint8_t, 64> out{};
    if (!DerUnsigned(der, rStart, rLen, out.data()) || !DerUnsigned(der, sStart, sLen, out.data() + 32))
        return false;
    *raw = out;
    return true;
}

ListVerdict CheckPackageAgainstList(bool hasList, const std::string& list, bool hasSig,
                                    const std::vector<uint8_t>& sig, const std::string& fileName,
                                    const Sha256Digest& fileHash)
{
    if (!hasList && !hasSig)
        return ListVerdict::kUnsigned;
    if (!hasList || !hasSig)
        return ListVerdict::kRefused;
    bool signedByMaker = false;
    for (const auto& key : MakerKeys())
        if (VerifyListSignature(key, list, sig)) {
            signedByMaker = true;
            break;
        }
    if (!signedByMaker)
        return ListVerdict::kRefused;
    std::vector<SumsLine> lines;
    if (!ParseSums(list, &lines))
        return ListVerdict::kRefused;
    const SumsLine* line = FindSum(lines, fileName);
    return line && line->hash == fileHash ? ListVerdict::kVerified : ListVerdict::kRefused;
}

} // namespace kelvo
