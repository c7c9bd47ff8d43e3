// The RPTSCN port report (CR LF lines of blank-separated words) into a
// hub's sub-products.
#include "products/CHubProduct.h"
#include "products/CSubProductHandler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CHubProduct hub;
    if (!CSubProductHandler::fillAttrViaRptscn(&hub, text) || !hub.hasFeature(13)) {
        std::abort();
    }
    for (const CProduct& sub : hub.subProducts) {
        // Every device is external and reached by an address beginning '#'.
        if (sub.productType != PT_SUB_EXTERNAL || sub.deviceAddress.empty() || sub.deviceAddress[0] != '#'
            || sub.name.empty() || sub.name.size() > size) {
            std::abort();
        }
    }
    return 0;
}
