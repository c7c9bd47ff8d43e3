// Menu-reply recognition: completeness, status and clean-up of an arbitrary
// reply against an arbitrary command, and the reply record's decoding.
#include "protocol/CMenuData.h"
#include "protocol/CMenuHandler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t split = data[0] % size;
    const std::string menu(reinterpret_cast<const char*>(data) + 1, split > 0 ? split - 1 : 0);
    std::string reply(reinterpret_cast<const char*>(data) + split, size - split);

    const int status = CMenuHandler::classify(reply);
    if (CMenuHandler::isComplete(reply) && status != 5 && status != 6 && status != 21) {
        std::abort();
    }
    const std::size_t before = reply.size();
    CMenuHandler::cleanupMenuResponse(reply, menu, (data[0] & 1) != 0);
    if (reply.size() > before) {
        std::abort();
    }

    CMenuData record(static_cast<DWORD>(size));
    record.fillData(data, static_cast<DWORD>(size), 0);
    if (record.parse() != (size >= 4) || record.tagData > 255) {
        std::abort();
    }
    return 0;
}
