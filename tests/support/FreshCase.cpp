// Gives every test case the surroundings tests/isolate gives a program: a
// registry file and COM table of its own, and the environment as it was
// before the case. The runtime directory stays the program's: what the
// process keeps for its whole life (registered message numbers, its
// broadcast socket) is kept in it. A program run directly, all its
// cases in one process, then behaves as when each case runs alone: no case
// finds the ports, keys or variables an earlier one left behind.
//
// A process started by a case (a second process of a cross-process test)
// inherits the case's folders through the environment and keeps them.

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

extern char** environ;

namespace {

constexpr const char* kCaseFolder = "VX_TEST_CASE_FOLDER";

std::map<std::string, std::string> environmentNow()
{
    std::map<std::string, std::string> variables;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    return variables;
}

class FreshCase : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override
    {
        m_saved = environmentNow();
        static std::atomic<unsigned> counter{0};
        const auto base = std::filesystem::current_path();
        for (;;) {
            auto candidate = base / ("case-" + std::to_string(counter++));
            if (::mkdir(candidate.c_str(), 0700) == 0) {
                m_folder = candidate;
                break;
            }
            if (errno != EEXIST)
                return;
        }
        const std::string registry = (m_folder / "registry.db").string();
        ::setenv("VX_REGISTRY", registry.c_str(), 1);
        ::setenv(kCaseFolder, m_folder.c_str(), 1);
        platform::setRegistryPath(registry);
    }

    void OnTestEnd(const testing::TestInfo&) override
    {
        for (const auto& [name, value] : environmentNow()) {
            if (m_saved.count(name) == 0)
                ::unsetenv(name.c_str());
        }
        for (const auto& [name, value] : m_saved)
            ::setenv(name.c_str(), value.c_str(), 1);
        // Back to the path the environment names, the file closed.
        platform::setRegistryPath("");
        if (!m_folder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_folder, ignored);
            m_folder.clear();
        }
    }

private:
    std::map<std::string, std::string> m_saved;
    std::filesystem::path m_folder;
};

const bool installed = [] {
    if (const char* inherited = std::getenv(kCaseFolder); inherited != nullptr && *inherited != '\0')
        return false;
    testing::UnitTest::GetInstance()->listeners().Append(new FreshCase);
    return true;
}();

}  // namespace
