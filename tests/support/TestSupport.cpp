#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace vxtest {

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    const auto base = std::filesystem::current_path();
    for (;;) {
        auto candidate = base / ("tmp-" + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string programDirectory()
{
    if (const char* dir = std::getenv("VX_TEST_PROGRAM_DIR"))
        return dir;
    return std::filesystem::canonical("/proc/self/exe").parent_path().string();
}

}  // namespace vxtest
