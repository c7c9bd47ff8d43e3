// Arbitrary barcode records through the scanner queue's intake into data
// events, and each event's ScanData, ScanDataLabel and ScanDataType under
// every BinaryConversion and ScanDataOption, with DecodeData on and off:
// nothing may crash or read past a record, and the derived texts keep the
// lengths their conversions promise.
//
// Input: byte 0 the settings (bit 0 DecodeData, bit 1 DECODE_GS1_LTD),
// then the bytes of the record as the SDK receives them.
#include "CScannerDataQ.h"
#include "CScannerMgr.h"
#include "COPOSEvent.h"
#include "SOHost.h"

#include "base/CBarcodeData.h"

#include "platform/bstr.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

class QuietHost : public ISOHost {
public:
    int AppType() const override { return 1; }
    bool FireUpdateStatistics(int) override { return true; }
};

// Keeps the record the intake hands on, in place of listing an event.
class CapturingQueue : public CScannerDataQ {
public:
    CapturingQueue() : CScannerDataQ(500, nullptr) {}
    using CScannerDataQ::AddToQ;
    int AddToQ(const void* record, int kind, int) override
    {
        if (kind == 0 && record != nullptr) {
            captured = std::make_unique<SBarcodeRecord>(*static_cast<const SBarcodeRecord*>(record));
        }
        return 1;
    }
    std::unique_ptr<SBarcodeRecord> captured;
};

std::string text(BSTR string)
{
    std::string narrow = platform::ansiFromBstr(string);
    SysFreeString(string);
    return narrow;
}

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QuietHost host;
    static CapturingQueue* queue = [] {
        SetSOHost(&host);
        return new CapturingQueue;
    }();
    static CScannerMgr* mgr = new CScannerMgr;
    if (size < 1)
        return 0;
    const bool decode = (data[0] & 1) != 0;
    mgr->m_nDecodeData = decode ? 1 : 0;
    mgr->m_nDecodeGs1Ltd = (data[0] & 2) != 0 ? 1 : 0;
    const auto length = static_cast<DWORD>(size - 1);
    auto* barcode = new CBarcodeData(length);
    barcode->fillData(data + 1, length, 0);
    barcode->parseData();
    queue->captured.reset();
    queue->receiveCallBack(barcode);  // takes the record
    if (!queue->captured)
        return 0;
    for (int conversion = 0; conversion <= 3; ++conversion) {
        for (int option = 0; option <= 1; ++option) {
            mgr->Common().m_nBinaryConversion = conversion;
            mgr->Common().m_nScanDataOption = option;
            CDataEvent event(*queue->captured);
            const std::size_t bytes = event.m_data.size() - (option == 1 ? 4 : 0);
            mgr->ProcessBarcodeEventData(event);
            const std::size_t width = conversion == 1 ? 2 : conversion == 2 ? 3 : 1;
            const std::string scanData = text(mgr->GetPropertyString(1010001));
            const std::string label = text(mgr->GetPropertyString(1010002));
            check(scanData.size() == bytes * width);
            check(label.size() == (decode ? scanData.size() - (option == 1 ? 0 : 4 * width) : 0));
            check(decode || mgr->GetPropertyNumber(10002) == 0);
        }
    }
    queue->captured.reset();
    return 0;
}
