#pragma once
// One open text-table file: header, sorted index of fixed-length keys, records
// of length-prefixed fields, and (version above 256) a descrambling table at
// the end. Every read is checked against the file's size: a damaged file gives
// a failed Open or an empty group, never a read outside the file or a buffer.
#include "app/core/binary.h"

#include <cstdint>
#include <cstdio>
#include <string>

class CDataSheet {
public:
    static constexpr int kIndexStart = 24;
    static constexpr int kTableSize = 400;
    static constexpr int kMinTable = 255;
    static constexpr int kSplitAt = 32700;

    CDataSheet() = default;
    CDataSheet(const CDataSheet&) = delete;
    CDataSheet& operator=(const CDataSheet&) = delete;
    virtual ~CDataSheet();

    // Opens `name` in the "language" folder below the program's folder (or, if
    // that is missing, the file of the derived name) and reads its header.
    bool Open(const std::wstring& name);
    // The fields of the record with this key; empty when there is none.
    CBinaryGroup Find(const CBinary& key);
    void Close();

    bool IsLoaded() const { return m_loaded != 0; }
    uint16_t Version() const { return m_version; }
    bool IsScrambled() const { return m_version > 256; }

    // The second-try file name for `name` (without folder); empty when the
    // name does not end in ".CBF".
    static std::wstring DerivedName(const std::wstring& name);

private:
    bool OpenPath(const std::wstring& path);
    bool ReadHeader();
    bool ReadAt(int64_t offset, void* out, size_t n);
    void Descramble(uint8_t* bytes, size_t n) const;

    FILE* m_file = nullptr;
    uint16_t m_version = 0;
    uint16_t m_word2 = 0;
    uint8_t m_keyLength = 0;
    uint32_t m_count = 0;
    int32_t m_indexStart = kIndexStart;
    uint8_t m_loaded = 0;
    uint8_t m_offset = 0;
    CBinary m_lastKey;
    int32_t m_lastRecord = -1;
    uint8_t* m_table = nullptr;
    // Bytes of the file that hold index and records (the table excluded).
    int64_t m_dataEnd = 0;
};
