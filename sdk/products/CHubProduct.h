// A product that is a hub or base station: its own identity plus the
// devices behind it, held by value in the order the hub listed them.
#pragma once

#include "CProduct.h"

#include <vector>

class CHubProduct : public CProduct {
public:
    CHubProduct() = default;
    CHubProduct(const CHubProduct&) = default;
    CHubProduct& operator=(const CHubProduct&) = default;
    ~CHubProduct() override = default;

    std::vector<CProduct> subProducts;
};
