#pragma once
// The package as minizip reads it: a block of memory (the locked resource)
// behind its file hooks. Every read and seek stays inside the block: a read
// past the end returns what is left and is remembered as the block's error, a
// seek outside it fails and leaves the position where it was.
#include <cstddef>
#include <cstdint>

namespace kelvo::install {

class MemoryArchive {
public:
    // minizip's seek origins
    enum Origin { kSet = 0, kCurrent = 1, kEnd = 2 };

    MemoryArchive(const void* data, uint64_t size) : m_data(static_cast<const unsigned char*>(data)), m_size(data ? size : 0) {}

    // Copies up to `count` bytes from the position; returns how many.
    size_t Read(void* buffer, size_t count);
    // A read came up short. minizip asks after one, and takes "no error" for
    // an end of file whose missing bytes are fine, so that an end record cut
    // short would be read with fields made up.
    bool CutShort() const { return m_cutShort; }
    // 0 on success, -1 when the new position would lie outside the block.
    long Seek(uint64_t offset, int origin);
    uint64_t Tell() const { return m_pos; }
    uint64_t Size() const { return m_size; }

private:
    const unsigned char* m_data;
    uint64_t m_size;
    uint64_t m_pos = 0;
    bool m_cutShort = false;
};

} // namespace kelvo::install
