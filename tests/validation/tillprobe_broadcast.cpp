// Broadcasts one registered message to every top-level window, as another
// program would:  tillprobe_broadcast NAME WPARAM LPARAM
#include "platform/broadcast.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    const UINT message = RegisterWindowMessageA(argv[1]);
    return PostMessageW(HWND_BROADCAST, message, std::strtoul(argv[2], nullptr, 10), std::strtol(argv[3], nullptr, 10))
               ? 0
               : 1;
}
