#include "BenchSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace vxbench {

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    const auto index = std::min(values.size() - 1,
                                static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

void isolate()
{
    static const bool done = [] {
        const auto dir = std::filesystem::temp_directory_path() / ("vxbench-" + std::to_string(std::random_device()()));
        // The runtime folder is left to the layer, which makes it private
        // (a folder of the default mode is refused, and no device is seen).
        std::filesystem::create_directories(dir / "sysfs");
        setenv("VX_RUNTIME_DIR", (dir / "run").c_str(), 1);
        setenv("VX_REGISTRY", (dir / "registry.db").c_str(), 1);
        setenv("VX_SYSFS_ROOT", (dir / "sysfs").c_str(), 1);
        static const std::filesystem::path root = dir;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(root, ignored);
        });
        return true;
    }();
    (void)done;
}

}  // namespace vxbench
