// The service object's data callback fed SDK records of every kind, built
// from arbitrary bytes, against a pending menu request: nothing may crash,
// leak or read past a record.
//
// Input: byte 0 the record kind (mod 5, 4 meaning "no record"), byte 1 the
// in-use flag and the request's length (low bit in use, the rest up to 63
// bytes of request), then the request, then the record's bytes.
#include "COPOSKestrel.h"
#include "CScannerDataQ.h"
#include "SOHost.h"

#include "base/CBarcodeData.h"
#include "base/CData.h"
#include "protocol/CImageData.h"
#include "protocol/CMenuData.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Counters go to a bound program, not the registry, so every run is quick.
class QuietHost : public ISOHost {
public:
    int AppType() const override { return 1; }
    bool FireUpdateStatistics(int) override { return true; }
};

class FuzzKestrel : public COPOSKestrel {};

CData* recordOf(int kind, const std::uint8_t* bytes, std::size_t size)
{
    const auto length = static_cast<DWORD>(size);
    CData* record = nullptr;
    switch (kind) {
    case 0:
        record = new CData(length);
        break;
    case 1: {
        auto* barcode = new CBarcodeData(length);
        barcode->fillData(bytes, length, 0);
        barcode->parseData();
        return barcode;
    }
    case 2:
        record = new CImageData(length);
        break;
    case 3: {
        auto* menu = new CMenuData(length);
        menu->fillData(bytes, length, 0);
        menu->parse();
        return menu;
    }
    default:
        return nullptr;
    }
    record->fillData(bytes, length, 0);
    return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QuietHost host;
    static CScannerDataQ* queue = [] {
        SetSOHost(&host);
        return new CScannerDataQ(500, nullptr);
    }();
    static FuzzKestrel* kestrel = [] {
        auto* created = new FuzzKestrel;
        created->SetQueue(queue);
        return created;
    }();
    if (size < 2)
        return 0;
    const int kind = data[0] % 5;
    kestrel->SetInUse((data[1] & 1) != 0);
    const std::size_t requestLength = std::min<std::size_t>((data[1] >> 1) & 0x3F, size - 2);
    queue->ClearExchange();
    queue->SetPendingRequest(std::string(reinterpret_cast<const char*>(data + 2), requestLength));
    const std::uint8_t* bytes = data + 2 + requestLength;
    const std::size_t count = size - 2 - requestLength;
    kestrel->AsynchCallBack(recordOf(kind, bytes, count));
    // Nothing is delivered without a window: keep the queue from filling.
    queue->PurgeAll();
    queue->TakeLastImage();
    return 0;
}
