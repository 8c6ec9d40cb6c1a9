#include "installer/core/MemoryArchive.h"

#include <cstring>

namespace kelvo::install {

size_t MemoryArchive::Read(void* buffer, size_t count)
{
    if (!buffer || m_pos >= m_size) {
        m_cutShort = m_cutShort || count > 0;
        return 0;
    }
    const uint64_t left = m_size - m_pos;
    const size_t n = count < left ? count : static_cast<size_t>(left);
    std::memcpy(buffer, m_data + m_pos, n);
    m_pos += n;
    m_cutShort = m_cutShort || n < count;
    return n;
}

long MemoryArchive::Seek(uint64_t offset, int origin)
{
    uint64_t base;
    switch (origin) {
    case kSet:
        base = 0;
        break;
    case kCurrent:
        base = m_pos;
        break;
    case kEnd:
        // minizip seeks from the end with an offset of 0 only: "offset" is unsigned.
        if (offset > m_size)
            return -1;
        m_pos = m_size - offset;
        return 0;
    default:
        return -1;
    }
    if (offset > m_size || base > m_size - offset)
        return -1;
    m_pos = base + offset;
    return 0;
}

} // namespace kelvo::install
