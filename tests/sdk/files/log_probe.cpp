// Logs two lines through the SDK's default log file, the first through the
// logger the library made when it loaded, the second through a logger made
// afterwards on the same name, and prints what each log call answered.
#include "base/CLogger.h"
#include "base/CScanningSDK.h"

#include <cstdio>

int main()
{
    CScanningSDK::setLogLevel(1);
    const bool first = CScanningSDK::getLogger()->log("probe, first line", 0x8);
    CLogger again = CLogger::createFileLogger("ScanningSDK.log");
    again.setMask(0x1FF);
    const bool second = again.log("probe, second line", 0x8);
    std::printf("first=%d second=%d\n", first ? 1 : 0, second ? 1 : 0);
    return 0;
}
