#include "app/core/binary.h"

#include <cstring>
#include <new>

namespace {
int g_binaryLastError = kBinaryOk;
constexpr int kGrowth = 8;
} // namespace

int BinaryLastError() { return g_binaryLastError; }
void SetBinaryLastError(int value) { g_binaryLastError = value; }

CBinary::Buffer* CBinary::NewBuffer(int capacity)
{
    // Rounded up to the growth step, but never past what 16 bits can count.
    int rounded = (capacity + kGrowth - 1) / kGrowth * kGrowth;
    if (rounded > kMaxLength)
        rounded = kMaxLength;
    if (rounded < 1)
        rounded = kGrowth;
    Buffer* buf = new (std::nothrow) Buffer;
    if (!buf)
        return nullptr;
    buf->data = new (std::nothrow) uint8_t[static_cast<size_t>(rounded)];
    if (!buf->data) {
        delete buf;
        return nullptr;
    }
    buf->length = 0;
    buf->capacity = static_cast<int16_t>(rounded);
    buf->growth = kGrowth;
    buf->refs = 1;
    return buf;
}

void CBinary::Release(Buffer* buf)
{
    if (buf && --buf->refs == 0) {
        delete[] buf->data;
        delete buf;
    }
}

CBinary::CBinary(const void* data, int len) { Assign(data, len); }

CBinary::CBinary(const CBinary& other) { *this = other; }

CBinary& CBinary::operator=(const CBinary& other)
{
    if (this == &other || m_buf == other.m_buf)
        return *this;
    Buffer* buf = other.m_buf;
    if (buf && buf->refs == INT16_MAX) {
        // The count cannot go higher: this copy gets a buffer of its own.
        Assign(buf->data, buf->length);
        return *this;
    }
    Release(m_buf);
    m_buf = buf;
    if (m_buf)
        ++m_buf->refs;
    return *this;
}

CBinary::~CBinary() { Release(m_buf); }

void CBinary::Clear()
{
    Release(m_buf);
    m_buf = nullptr;
}

bool CBinary::MakeOwn(int capacity)
{
    if (m_buf && m_buf->refs == 1 && m_buf->capacity >= capacity)
        return true;
    Buffer* buf = NewBuffer(capacity);
    if (!buf) {
        g_binaryLastError = kBinaryNoMemory;
        return false;
    }
    if (m_buf) {
        std::memcpy(buf->data, m_buf->data, static_cast<size_t>(m_buf->length));
        buf->length = m_buf->length;
    }
    Release(m_buf);
    m_buf = buf;
    return true;
}

bool CBinary::Assign(const void* data, int len)
{
    if (len < 0 || len > kMaxLength || (!data && len > 0)) {
        g_binaryLastError = kBinaryBadArgument;
        return false;
    }
    if (len == 0) {
        Clear();
        return true;
    }
    // A source inside our own buffer must survive the reallocation.
    if (m_buf && m_buf->refs == 1 && m_buf->capacity >= len) {
        std::memmove(m_buf->data, data, static_cast<size_t>(len));
        m_buf->length = static_cast<int16_t>(len);
        return true;
    }
    Buffer* buf = NewBuffer(len);
    if (!buf) {
        g_binaryLastError = kBinaryNoMemory;
        return false;
    }
    std::memcpy(buf->data, data, static_cast<size_t>(len));
    buf->length = static_cast<int16_t>(len);
    Release(m_buf);
    m_buf = buf;
    return true;
}

bool CBinary::Append(const void* data, int len)
{
    if (len < 0 || (!data && len > 0) || len > kMaxLength - GetLength()) {
        g_binaryLastError = kBinaryBadArgument;
        return false;
    }
    if (len == 0)
        return true;
    const int old = GetLength();
    // A source inside our own buffer must stay alive across MakeOwn.
    CBinary keep;
    if (m_buf) {
        const auto p = reinterpret_cast<uintptr_t>(data);
        const auto lo = reinterpret_cast<uintptr_t>(m_buf->data);
        if (p >= lo && p < lo + static_cast<uintptr_t>(m_buf->capacity))
            keep = *this;
    }
    if (!MakeOwn(old + len))
        return false;
    std::memmove(m_buf->data + old, data, static_cast<size_t>(len));
    m_buf->length = static_cast<int16_t>(old + len);
    return true;
}

bool CBinary::Append(const CBinary& other)
{
    CBinary source(other); // other may be *this
    return Append(source.GetData(), source.GetLength());
}

bool CBinary::SetAt(int i, uint8_t value)
{
    if (i < 0 || i >= GetLength()) {
        g_binaryLastError = kBinaryBadArgument;
        return false;
    }
    if (!MakeOwn(GetLength()))
        return false;
    m_buf->data[i] = value;
    return true;
}

int CBinary::Compare(const CBinary& other) const
{
    const int a = GetLength();
    const int b = other.GetLength();
    const int n = a < b ? a : b;
    for (int i = 0; i < n; ++i) {
        const uint8_t x = m_buf->data[i];
        const uint8_t y = other.m_buf->data[i];
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a == b ? 0 : (a < b ? -1 : 1);
}

CBinaryGroup::~CBinaryGroup() = default;
