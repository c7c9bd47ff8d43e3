// A second program that searches for RS-232 and HID point-of-sale scanners
// through the facade, as another application on the same machine would.
// Prints "result <code>" and then one line per device found: its port; and
// "began <ns>" and "ended <ns>", the monotonic clock around the search, so
// that a test can tell that two searches overlapped. With "--start-when
// <file>" it prints "waiting" and begins once that file exists, so that a
// test that started two peers lets both search at once, however long each
// took to start.
#include "api/CDiscovery.h"
#include "api/CDiscoveryTemplate.h"
#include "discovery/CDevice.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--start-when") == 0) {
        std::printf("waiting\n");
        std::fflush(stdout);
        // Bounded: a test that never gives the sign must not leave us behind.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!std::filesystem::exists(argv[2])) {
            if (std::chrono::steady_clock::now() >= giveUp)
                return 3;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    CDiscovery discovery;
    discovery.initialize();
    CDiscoveryTemplate search;
    search.interfaceTypes = {0, 2};
    search.baudRates = {115200, 9600};
    search.setDefaultValues();
    std::vector<CDevice*> devices;
    const auto now = [] {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
    };
    const long long began = now();
    const int result = discovery.enumerate(search, &devices, 30000);
    const long long ended = now();
    std::printf("began %lld\nended %lld\n", began, ended);
    std::printf("result %d\n", result);
    for (CDevice* device : devices) {
        std::printf("port %s\n", device->portName.c_str());
        delete device;
    }
    return 0;
}
