// A reply to a batch of feature queries (pieces separated by ";", each the
// query's key, an answer and a status byte) read against both halves of the
// feature table.
#include "products/CProduct.h"
#include "products/FeatureQuery.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CProduct product;
    if (size > 0) {
        // The first byte picks features the product holds already.
        for (int i = 0; i < 8; ++i) {
            if ((data[0] >> i) & 1) {
                product.features.push_back(kFeatureQueriesFirst[i].id);
            }
        }
    }
    const std::size_t before = product.features.size();
    applyFeatureBatchReply(product, kFeatureQueriesFirst, 8, text);
    applyFeatureBatchReply(product, kFeatureQueriesSecond, 8, text);
    applyFeatureBatchReply(product, nullptr, 8, text);
    // Each piece confirms one entry at most, and no id twice.
    const std::size_t pieces = static_cast<std::size_t>(std::count(text.begin(), text.end(), ';')) + 1;
    if (product.features.size() - before > 2 * pieces) {
        std::abort();
    }
    std::vector<int> sorted = product.features;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        std::abort();
    }
    return 0;
}
