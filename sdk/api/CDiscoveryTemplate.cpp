#include "api/CDiscoveryTemplate.h"

#include "base/CLogHelper.h"

#include <algorithm>

namespace {

void normalise(std::vector<int>& list, std::initializer_list<int> defaults)
{
    list.erase(std::remove(list.begin(), list.end(), -1), list.end());
    if (list.empty())
        list.assign(defaults);
}

}  // namespace

void CDiscoveryTemplate::setDefaultValues()
{
    CLogHelper trace("CDiscoveryTemplate::setDefaultValues");
    normalise(baudRates, {115200, 9600, 38400, 57600, 19200});
    normalise(dpsSettings, {2, 0});
    normalise(interfaceTypes, {2, 3, 4, 1, 0});
    normalise(interfaceUsages, {0, 1, 2});
}
