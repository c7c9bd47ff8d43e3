#include "CProduct.h"

#include <algorithm>

bool CProduct::hasFeature(int id) const
{
    return std::find(features.begin(), features.end(), id) != features.end();
}
