// The stream parser over arbitrary device bytes, cut into chunks where the
// input says: the first byte picks the chunk length.
#include "protocol/CDataParser.h"
#include "../sdk/protocol/QueueReceiver.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void consume(void* user, CData* record)
{
    // Touch every byte so that a bad length shows up under the sanitizers.
    unsigned sum = 0;
    for (DWORD i = 0; i < record->getLength(); ++i) {
        sum += record->getData()[i];
    }
    *static_cast<unsigned*>(user) += sum;
    delete record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t chunk = 1 + data[0] % 64;
    QueueReceiver receiver;
    CDataParser parser(&receiver);
    unsigned sum = 0;
    parser.setCallback(&sum, &consume);
    for (std::size_t at = 1; at < size; at += chunk) {
        const std::size_t n = (size - at < chunk) ? size - at : chunk;
        auto* record = new CData(static_cast<DWORD>(n));
        record->fillData(data + at, static_cast<DWORD>(n), 0);
        receiver.pushQTail(record);
        parser.parseData(nullptr);
    }
    std::string rest;
    parser.copyUnparsed(rest);
    if (rest.size() > size) {
        std::abort();
    }
    return 0;
}
