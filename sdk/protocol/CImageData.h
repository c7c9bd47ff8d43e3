// An image taken out of an image packet, kind 2, with the format code the
// device gave for it.
#pragma once

#include "base/CData.h"

class CImageData : public CData {
public:
    // Kind 2, `size` zero bytes, format -1.
    explicit CImageData(DWORD size);
    // Kind 2, a copy of the `size` bytes at `source`, format -1.
    CImageData(const unsigned char* source, DWORD size);
    ~CImageData() override = default;

    // 0 to 8, or -1 when the packet's format digit was not '0' to '8'.
    int getFormat() const { return m_format; }
    void setFormat(int format) { m_format = format; }

private:
    int m_format = -1;
};
