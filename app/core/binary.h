#pragma once
// Byte strings of the text tables: CBinary (copy-on-write, at most 32767 bytes)
// and CBinaryGroup (the fields of one record).
#include <cstddef>
#include <cstdint>
#include <vector>

// Last-error values left by a failed CBinary operation.
enum : int {
    kBinaryOk = 0,
    kBinaryNoMemory = -2,    // memory ran out
    kBinaryBadArgument = -3, // negative or too large length, or no source
};
int BinaryLastError();
void SetBinaryLastError(int value);

class CBinary {
public:
    static constexpr int kMaxLength = 32767;

    CBinary() = default;
    // An empty value when data is null with len > 0 or len is out of range
    // (last error -3).
    CBinary(const void* data, int len);
    CBinary(const CBinary& other);
    CBinary& operator=(const CBinary& other);
    virtual ~CBinary();

    int GetLength() const { return m_buf ? m_buf->length : 0; }
    bool IsEmpty() const { return GetLength() == 0; }
    // Read-only view; null for an empty value.
    const uint8_t* GetData() const { return m_buf ? m_buf->data : nullptr; }
    uint8_t GetAt(int i) const { return m_buf->data[i]; }

    // Each of these returns false (value unchanged, last error set) on failure.
    bool Assign(const void* data, int len);
    bool Append(const void* data, int len);
    bool Append(const CBinary& other);
    bool SetAt(int i, uint8_t value);
    void Clear();

    // -1, 0 or 1: unsigned bytes over the shorter length, then the shorter is smaller.
    int Compare(const CBinary& other) const;
    bool operator==(const CBinary& o) const { return Compare(o) == 0; }
    bool operator!=(const CBinary& o) const { return Compare(o) != 0; }
    bool operator<(const CBinary& o) const { return Compare(o) < 0; }

    // Sharing, for tests: how many values hold this buffer (0 when empty).
    int ShareCount() const { return m_buf ? m_buf->refs : 0; }

private:
    struct Buffer {
        uint8_t* data;
        int16_t length;
        int16_t capacity;
        int16_t growth;
        int16_t refs;
    };
    static Buffer* NewBuffer(int capacity);
    static void Release(Buffer* buf);
    // Makes the buffer this value's own with room for `capacity` bytes.
    bool MakeOwn(int capacity);

    Buffer* m_buf = nullptr;
};

class CBinaryGroup {
public:
    CBinaryGroup() = default;
    virtual ~CBinaryGroup();

    int GetCount() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    const CBinary& GetAt(int i) const { return m_items[static_cast<size_t>(i)]; }
    void Add(const CBinary& value) { m_items.push_back(value); }
    void Clear() { m_items.clear(); }

private:
    std::vector<CBinary> m_items;
};
