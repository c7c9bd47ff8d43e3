// Holds the firmware update's device block of one serial number for another
// process, as a second application updating the same device would:
//   vx_block_holder SERIAL
// Creates the block, prints "held <pid> <last error>" and keeps it until its
// standard input ends (or it is killed).
#include "platform/error.h"
#include "platform/sync.h"

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vx_block_holder SERIAL\n");
        return 2;
    }
    const std::string name = std::string("Global\\QZT_DEVICE_BLOCK_") + argv[1];
    const HANDLE block = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    if (block == nullptr) {
        std::printf("failed %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::printf("held %ld %lu\n", static_cast<long>(::getpid()), static_cast<unsigned long>(GetLastError()));
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    CloseHandle(block);
    return 0;
}
