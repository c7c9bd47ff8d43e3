// A barcode record's bytes into code identifier, symbology identifier and
// label.
#include "base/CBarcodeData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CData* owner = new CBarcodeData(static_cast<DWORD>(size));
    owner->fillData(data, static_cast<DWORD>(size), 0);
    auto* record = static_cast<CBarcodeData*>(owner);
    const bool parsed = record->parseData();
    if (parsed != (size >= 4)) {
        std::abort();
    }
    if (parsed) {
        if (record->getCodeId() != static_cast<signed char>(data[0]) || record->getSymbologyId().size() != 2
            || record->getLabel().size() != size - 4
            || std::memcmp(record->getLabel().data(), data + 4, size - 4) != 0) {
            std::abort();
        }
    } else if (!record->getLabel().empty() || !record->getSymbologyId().empty()) {
        std::abort();
    }
    delete owner;
    return 0;
}
