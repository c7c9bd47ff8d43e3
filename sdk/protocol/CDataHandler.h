// Decides what the payload of one complete SYN-framed packet is and makes
// the record for it. Made afresh for each packet on the processing thread.
#pragma once

#include "base/CData.h"

#include <cstddef>
#include <vector>

class CDataHandler {
public:
    static constexpr std::size_t kPrefixLength = 6;
    // Bytes between the barcode prefix and the barcode record.
    static constexpr std::size_t kBarcodeHeaderSkip = 4;

    // Makes a record of the payload `buffer[start, start + length)`:
    //  - "MSGGET" (any case) and at least 10 bytes: a CBarcodeData of the
    //    bytes after the prefix and its 4 header bytes;
    //  - "IMGSHP" (any case) with a GS byte: a CImageData of the bytes after
    //    the GS, its format from the byte two before the GS; without a GS a
    //    plain record of kind 3 holding the whole payload;
    //  - anything else, a short "IMGSHP" payload included: a plain record of
    //    kind 0 holding the whole payload.
    // Prefixes are compared only within the payload. Null (nothing made) for
    // an empty payload, a barcode payload under 10 bytes, or a range that
    // does not lie inside the buffer. The caller owns the record.
    CData* identifyData(const std::vector<unsigned char>& buffer, std::size_t start, std::size_t length);

    // Whether the first `count` bytes (at most kPrefixLength) can begin a
    // barcode payload: they equal the start of "MSGGET" in any case. True
    // for no bytes at all.
    static bool mayBeBarcode(const unsigned char* bytes, std::size_t count);

private:
    std::size_t m_imageSeparator = 0;
};
