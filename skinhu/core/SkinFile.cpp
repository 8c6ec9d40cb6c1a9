#include "skinhu/core/SkinFile.h"

#include <cctype>
#include <cstring>

namespace skinhu {

namespace {

const uint8_t kMagic[4] = {'K', 'S', 'K', 'N'};
constexpr uint8_t kVersion = 1;
constexpr size_t kHeader = 12;
constexpr int kMaxColours = 32;

const char* const kRoleKeys[kRoleCount] = {
    "dialog", "text", "edit", "edit.text", "list", "list.text",
    "listview", "listview.text", "button", "button.text", "button.border",
};

uint32_t Fnv1a(const std::string& s)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

uint32_t PasswordTag(const std::string& password) { return Fnv1a("skinhu:" + password); }

// A different stream than the tag's, so the tag gives no key bytes away.
class KeyStream {
public:
    explicit KeyStream(const std::string& password) : m_state(Fnv1a("skinhu-key:" + password) | 1u) {}
    uint8_t Next()
    {
        // xorshift32
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return static_cast<uint8_t>(m_state >> 24);
    }

private:
    uint32_t m_state;
};

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool ParseColour(const std::string& v, Rgb* out)
{
    if (v.size() != 7 || v[0] != '#')
        return false;
    Rgb c = 0;
    for (size_t i = 1; i < 7; ++i) {
        const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(v[i])));
        int d;
        if (ch >= '0' && ch <= '9')
            d = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            d = ch - 'a' + 10;
        else
            return false;
        c = (c << 4) | static_cast<Rgb>(d);
    }
    *out = c;
    return true;
}

} // namespace

const char* RoleKey(Role role)
{
    const int i = static_cast<int>(role) - 1;
    return i >= 0 && i < kRoleCount ? kRoleKeys[i] : "";
}

uint32_t Crc32(const uint8_t* data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<uint8_t> EncodeSkin(const Skin& skin, const std::string& password)
{
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    out.push_back(kVersion);
    out.push_back(static_cast<uint8_t>(kRoleCount));
    out.push_back(0);
    out.push_back(0);
    Put32(out, PasswordTag(password));
    KeyStream key(password);
    for (int i = 0; i < kRoleCount; ++i) {
        const Rgb c = skin.colours[i];
        const uint8_t entry[4] = {static_cast<uint8_t>(i + 1), static_cast<uint8_t>(c >> 16),
                                  static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)};
        for (uint8_t b : entry)
            out.push_back(b ^ key.Next());
    }
    const size_t nameLength = skin.name.size() < 255 ? skin.name.size() : 255;
    out.push_back(static_cast<uint8_t>(nameLength));
    out.insert(out.end(), skin.name.begin(), skin.name.begin() + static_cast<std::ptrdiff_t>(nameLength));
    Put32(out, Crc32(out.data(), out.size()));
    return out;
}

SkinError DecodeSkin(const uint8_t* data, size_t size, const std::string& password, Skin* out)
{
    if (!data || size < kHeader + 4 + 1 + 4 || std::memcmp(data, kMagic, 4) != 0 || data[4] != kVersion)
        return SkinError::kDamaged;
    const int count = data[5];
    if (count < 1 || count > kMaxColours)
        return SkinError::kDamaged;
    const size_t nameAt = kHeader + 4 * static_cast<size_t>(count);
    if (size < nameAt + 1 + 4)
        return SkinError::kDamaged;
    const size_t nameLength = data[nameAt];
    if (size != nameAt + 1 + nameLength + 4)
        return SkinError::kDamaged;
    if (Crc32(data, size - 4) != Get32(data + size - 4))
        return SkinError::kDamaged;
    if (Get32(data + 8) != PasswordTag(password))
        return SkinError::kWrongPassword;

    Skin skin;
    bool seen[kRoleCount] = {};
    KeyStream key(password);
    for (int i = 0; i < count; ++i) {
        uint8_t e[4];
        for (int k = 0; k < 4; ++k)
            e[k] = data[kHeader + 4 * static_cast<size_t>(i) + static_cast<size_t>(k)] ^ key.Next();
        const int role = e[0];
        if (role < 1 || role > kRoleCount || seen[role - 1])
            return SkinError::kDamaged;
        seen[role - 1] = true;
        skin.colours[role - 1] = (static_cast<Rgb>(e[1]) << 16) | (static_cast<Rgb>(e[2]) << 8) | e[3];
    }
    for (bool s : seen)
        if (!s)
            return SkinError::kDamaged;
    skin.name.assign(reinterpret_cast<const char*>(data + nameAt + 1), nameLength);
    *out = skin;
    return SkinError::kNone;
}

bool ParseSkinSource(const std::string& text, Skin* out, std::string* error)
{
    Skin skin;
    bool seen[kRoleCount] = {};
    bool named = false;
    size_t lineNo = 0, pos = 0;
    auto fail = [&](const std::string& why) {
        *error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNo;
        if (line.empty() || line[0] == '#')
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            return fail("expected key = value");
        const std::string key = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        if (key == "name") {
            if (value.empty() || value.size() > 255)
                return fail("the name must have 1 to 255 characters");
            skin.name = value;
            named = true;
            continue;
        }
        int role = -1;
        for (int i = 0; i < kRoleCount; ++i)
            if (key == kRoleKeys[i])
                role = i;
        if (role < 0)
            return fail("unknown key '" + key + "'");
        if (seen[role])
            return fail("'" + key + "' given twice");
        if (!ParseColour(value, &skin.colours[role]))
            return fail("'" + value + "' is not a colour #RRGGBB");
        seen[role] = true;
    }
    lineNo = 0;
    if (!named)
        return fail("no name");
    for (int i = 0; i < kRoleCount; ++i)
        if (!seen[i])
            return fail(std::string("no colour for '") + kRoleKeys[i] + "'");
    *out = skin;
    return true;
}

} // namespace skinhu
