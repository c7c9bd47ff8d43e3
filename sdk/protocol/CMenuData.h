// A menu-command reply as the device sent it (echo, answer, status byte and
// storage mark), kind 3, with the three codes decoded from its last bytes.
// The codes are the record's own; the menu transport reports statuses with
// other numbers (see CMenuHandler.h).
#pragma once

#include "base/CData.h"

class CMenuData : public CData {
public:
    // Kind 3, `size` zero bytes that the creator fills before parse().
    explicit CMenuData(DWORD size);
    // Kind 3, a copy of the `size` bytes at `source`, ready for parse().
    CMenuData(const unsigned char* source, DWORD size);
    ~CMenuData() override = default;

    // False, changing nothing, without a buffer or with fewer than 4 bytes;
    // otherwise decodes the three fields below and answers true.
    bool parse();

    // From the last byte: '.' 0, '@' 1, '!' 2, anything else -1.
    int terminator = -1;
    // From the second-last byte: ACK 0, NAK 1, ENQ 2, anything else -1.
    int response = -1;
    // The third-last byte, 0-255.
    int tagData = -1;
};
