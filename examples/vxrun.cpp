// The main job of ./run. It grows with the suite: for now it exercises what
// exists (the SDK's version, its logger) and gives a short account.
#include "base/CLogger.h"
#include "base/CScanningSDK.h"

#include <cstdio>
#include <string>

int main()
{
    CScanningSDK::setLogLevel(1);
    const bool logged = CScanningSDK::getLogger()->log("vxrun::main, scanning SDK " + CScanningSDK::getVersion() + " started", 1);

    std::printf("Scanning SDK %s\n", CScanningSDK::getVersion().c_str());
    std::printf("SDK log: %s\n", logged ? "scanningsdk.log in the current folder" : "not writable here");
    std::printf("Nothing else to run yet: device discovery and the simulated scanner come with the next parts of the suite.\n");
    return logged ? 0 : 1;
}
