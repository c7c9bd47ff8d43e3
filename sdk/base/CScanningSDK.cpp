#include "CScanningSDK.h"

#include "platform/runtime.h"

#include <atomic>

namespace {

std::atomic<CLogger*> g_currentLogger{nullptr};

struct LevelMask {
    int level;
    DWORD mask;
};

constexpr LevelMask kLevelMasks[] = {
    {1, 0x1FF}, {2, 0x1BE}, {3, 0x19C}, {4, 0x118}, {5, 0x10}, {6, 0xFFFFFFFFu},
};

}  // namespace

CLogger& CScanningSDK::defaultLogger()
{
    // Never destroyed: log calls made from other libraries' static
    // destructors while the process ends still find a valid logger.
    static CLogger* const logger = new CLogger(CLogger::createFileLogger("ScanningSDK.log"));
    return *logger;
}

namespace {
// The default logger (and its file) exists from the moment the library is
// loaded, before any other thread can log.
[[maybe_unused]] const bool g_defaultLoggerBuilt = (CScanningSDK::getLogger(), true);
}  // namespace

std::string CScanningSDK::getVersion()
{
    return "3.1.04";
}

CLogger* CScanningSDK::getLogger()
{
    CLogger* current = g_currentLogger.load(std::memory_order_acquire);
    return current != nullptr ? current : &defaultLogger();
}

DWORD CScanningSDK::maskForLevel(int level)
{
    for (const LevelMask& entry : kLevelMasks) {
        if (entry.level == level) {
            return entry.mask;
        }
    }
    return 0;
}

int CScanningSDK::levelForMask(DWORD mask)
{
    for (const LevelMask& entry : kLevelMasks) {
        if (entry.mask == mask) {
            return entry.level;
        }
    }
    return 0;
}

void CScanningSDK::setLogLevel(int level)
{
    getLogger()->setMask(maskForLevel(level));
}

int CScanningSDK::getLogLevel()
{
    return levelForMask(getLogger()->getMask());
}

void CScanningSDK::SetLogger(CLogger* logger)
{
    g_currentLogger.store(logger, std::memory_order_release);
    SDK_LOG(logbit::trace, "CScanningSDK::SetLogger", "SDK version: " + getVersion() + "loaded!");
}

std::string CScanningSDK::checkRuntimeDirectory()
{
    std::string refused = platform::runtimeDirectoryRefusal();
    SDK_LOG(logbit::error, "CScanningSDK::checkRuntimeDirectory", refused);
    return refused;
}
