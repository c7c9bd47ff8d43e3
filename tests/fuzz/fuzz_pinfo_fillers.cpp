// A P_INFO reply (key:value lines from the device) through every filler that
// reads it: the identity keys, the sub-product attributes and the hub
// listings of one and of several hubs. Device-supplied counts must never
// make a listing larger than the reply could describe.
#include "base/StringUtils.h"
#include "products/CHubProduct.h"
#include "products/CSubProductHandler.h"
#include "products/ProductInfoText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto info = parseKeyValueText(text);

    CProduct product;
    product.productInfo = text;
    productinfo::applyIdentityKeys(product, info, "fuzz");
    CSubProductHandler::fillAttrViaPinfo(&product, info);

    CHubProduct single;
    CSubProductHandler::fillAttrViaPinfoSingleHub(&single, info);
    CHubProduct multiple;
    CSubProductHandler::fillAttrViaPinfoMultipleHubs(&multiple, info);
    // Each listed device takes three pairs of its own.
    if (single.subProducts.size() * 3 > info.size() || multiple.subProducts.size() * 3 > info.size()) {
        std::abort();
    }
    for (const CHubProduct* hub : {&single, &multiple}) {
        for (const CProduct& sub : hub->subProducts) {
            if (sub.productType < PT_SUB_UNKNOWN || sub.productType > PT_SUB_INTERNAL_VIRTUAL) {
                std::abort();
            }
        }
    }
    productinfo::readDecimal(text);
    productinfo::singleQueryValue(text);
    return 0;
}
