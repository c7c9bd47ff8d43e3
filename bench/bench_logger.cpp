// The cost of a log call whose bit is outside the mask (only the bit test)
// against one written to a file.
#include "base/CLogOutput.h"
#include "base/CLogger.h"
#include "base/CScanningSDK.h"

#include "platform/thread.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string scratchLogPath()
{
    return (std::filesystem::temp_directory_path()
            / ("vxbench-logger-" + std::to_string(GetCurrentProcessId()) + ".log"))
        .string();
}

void BM_LogBitOutsideMask(benchmark::State& state)
{
    CLogger logger = CLogger::createCustomizeLogger(0, nullptr);
    logger.setMask(0x10);
    CScanningSDK::SetLogger(&logger);
    for (auto _ : state) {
        SDK_LOG(logbit::trace, "CStopper::setTimeout", "Set Timeout:" + std::to_string(500));
    }
    CScanningSDK::SetLogger(nullptr);
}
BENCHMARK(BM_LogBitOutsideMask);

void BM_LogToFile(benchmark::State& state)
{
    const std::string path = scratchLogPath();
    {
        CLogFile file(path);
        CLogger logger(&file);
        logger.setMask(0x1);
        CScanningSDK::SetLogger(&logger);
        for (auto _ : state) {
            SDK_LOG(logbit::trace, "CStopper::setTimeout", "Set Timeout:" + std::to_string(500));
        }
        CScanningSDK::SetLogger(nullptr);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_LogToFile);

}  // namespace
