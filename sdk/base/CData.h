// A received-data record: a kind, an owned byte array and its length. The
// receive pipeline makes a record, fills it once and hands it to exactly one
// consumer, which owns it and deletes it through a CData pointer (the
// destructor is virtual) whatever its subclass.
#pragma once

#include "platform/types.h"

#include <vector>

class CData {
public:
    // Record kinds.
    static constexpr int kRaw = 0;
    static constexpr int kBarcode = 1;
    static constexpr int kImage = 2;
    static constexpr int kMenuResponse = 3;

    // Kind 0, no bytes, length 0.
    CData() = default;
    // Kind 0, `size` zero bytes.
    explicit CData(DWORD size);
    // Kind 0, a copy of the `size` bytes at `source` (not zeroed first):
    // the receive pipeline's own records, made from bytes it holds.
    CData(const unsigned char* source, DWORD size);
    virtual ~CData();

    CData(const CData&) = delete;
    CData& operator=(const CData&) = delete;

    // Copies `count` bytes from `source` to the array at `offset`; nothing
    // when `source` is null. The caller keeps offset + count within the
    // length.
    void fillData(const unsigned char* source, DWORD count, DWORD offset);
    // Copies the vector's bytes to the array at `offset`, only when `count`
    // equals the vector's size and is not zero.
    void fillData(const std::vector<unsigned char>& source, DWORD count, DWORD offset);

    unsigned char* getData() const { return m_data; }
    DWORD getLength() const { return m_length; }
    int getType() const { return m_type; }
    void setType(int type) { m_type = type; }

protected:
    int m_type = kRaw;
    unsigned char* m_data = nullptr;
    DWORD m_length = 0;
};
