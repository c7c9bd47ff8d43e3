// A second program that searches for RS-232 and HID point-of-sale scanners
// through the facade, as another application on the same machine would.
// Prints "result <code>" and then one line per device found: its port.
#include "api/CDiscovery.h"
#include "api/CDiscoveryTemplate.h"
#include "discovery/CDevice.h"

#include <cstdio>
#include <vector>

int main()
{
    CDiscovery discovery;
    discovery.initialize();
    CDiscoveryTemplate search;
    search.interfaceTypes = {0, 2};
    search.baudRates = {115200, 9600};
    search.setDefaultValues();
    std::vector<CDevice*> devices;
    const int result = discovery.enumerate(search, &devices, 30000);
    std::printf("result %d\n", result);
    for (CDevice* device : devices) {
        std::printf("port %s\n", device->portName.c_str());
        delete device;
    }
    return 0;
}
