// A decoded barcode: the code identifier, the two-character symbology
// identifier and the label, parsed from the record's bytes:
//     byte 0        code identifier
//     bytes 1, 2    symbology identifier
//     byte 3        not used
//     bytes 4 ...   the label (any byte values, zero included)
#pragma once

#include "CData.h"

#include <string>

class CBarcodeData : public CData {
public:
    // Kind 0, no bytes; a creator that hands it on as a barcode sets kind 1.
    CBarcodeData() = default;
    // Kind 1, `size` zero bytes to be filled before parseData.
    explicit CBarcodeData(DWORD size);
    // Kind 1, a copy of the `size` bytes at `source`, ready for parseData.
    CBarcodeData(const unsigned char* source, DWORD size);
    ~CBarcodeData() override = default;

    // Fills the three fields from the bytes. False, with nothing read or
    // changed, when the record holds fewer than the 4 bytes that precede the
    // label.
    bool parseData();

    // The service object treats -100 as a failed read.
    signed char getCodeId() const { return m_codeId; }
    const std::string& getSymbologyId() const { return m_symbologyId; }
    const std::string& getLabel() const { return m_label; }

private:
    std::string m_symbologyId;
    signed char m_codeId = 0;
    std::string m_label;
};
