// The runtime directory and AppendFile.

#include "platform/error.h"
#include "platform/runtime.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Sets (or, with nullopt, removes) environment variables for one scope.
class ScopedEnvironment {
public:
    void set(const std::string& name, std::optional<std::string> value)
    {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        apply(name, value);
    }
    ~ScopedEnvironment()
    {
        for (const auto& [name, value] : m_saved)
            apply(name, value);
    }

private:
    static void apply(const std::string& name, const std::optional<std::string>& value)
    {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    std::map<std::string, std::optional<std::string>> m_saved;
};

mode_t permissionsOf(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return 0;
    return info.st_mode & 0777;
}

TEST(RuntimeDirectory, FollowsTheEnvironmentInOrder)
{
    vxtest::TempDir temp;
    const std::string base = temp.path().string();
    struct Case {
        const char* name;
        std::optional<std::string> vxRuntimeDir;
        std::optional<std::string> xdgRuntimeDir;
        std::string expected;
    };
    const Case cases[] = {
        {"VX_RUNTIME_DIR first, parents created", base + "/vx/a/b", base + "/xdg", base + "/vx/a/b"},
        {"trailing slash dropped", base + "/vx2/", std::nullopt, base + "/vx2"},
        {"else XDG_RUNTIME_DIR/varnex", std::nullopt, base + "/xdg", base + "/xdg/varnex"},
        {"an empty VX_RUNTIME_DIR counts as unset", std::string(), base + "/xdg3", base + "/xdg3/varnex"},
        {"else /tmp/varnex-<uid>", std::nullopt, std::nullopt, "/tmp/varnex-" + std::to_string(getuid())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnvironment environment;
        environment.set("VX_RUNTIME_DIR", c.vxRuntimeDir);
        environment.set("XDG_RUNTIME_DIR", c.xdgRuntimeDir);
        EXPECT_EQ(platform::runtimeDirectory(), c.expected);
        EXPECT_NE(permissionsOf(c.expected), 0u) << "created";
    }
    // Every folder the layer created is private to the user.
    for (const char* created : {"/vx", "/vx/a", "/vx/a/b", "/xdg", "/xdg/varnex"})
        EXPECT_EQ(permissionsOf(base + created), 0700u) << created;
}

TEST(AppendFile, OpensForAppendingOrTruncating)
{
    vxtest::TempDir temp;
    const std::string path = temp.file("log.txt");
    {
        platform::AppendFile file;
        ASSERT_TRUE(file.open(path, false));
        EXPECT_TRUE(file.append("one\n"));
    }
    {
        platform::AppendFile file;
        ASSERT_TRUE(file.open(path, false));
        EXPECT_TRUE(file.append("two\n"));
        EXPECT_TRUE(file.append(""));
    }
    EXPECT_EQ(vxtest::readFile(path), "one\ntwo\n");

    platform::AppendFile file;
    ASSERT_TRUE(file.open(path, true));
    EXPECT_EQ(vxtest::readFile(path), "");
    EXPECT_TRUE(file.append("three\n"));
    EXPECT_EQ(vxtest::readFile(path), "three\n");
}

TEST(AppendFile, AppendsWithoutAnOpenFileFail)
{
    platform::AppendFile file;
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.append("x"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    vxtest::TempDir temp;
    EXPECT_FALSE(file.open(temp.file("missing/log.txt"), false));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(file.isOpen());

    ASSERT_TRUE(file.open(temp.file("log.txt"), false));
    EXPECT_TRUE(file.isOpen());
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.append("x"));
}

// Eight threads, half through one AppendFile and half through files of
// their own (as two processes would), append lines long enough to be split
// if writes were not whole. Every line must arrive intact, once.
TEST(AppendFile, LinesFromSeveralWritersArriveWhole)
{
    vxtest::TempDir temp;
    const std::string path = temp.file("shared.log");
    platform::AppendFile shared;
    ASSERT_TRUE(shared.open(path, true));

    constexpr int kThreads = 8;
    constexpr int kLines = 400;
    const auto line = [](int thread, int index) {
        return "thread " + std::to_string(thread) + " line " + std::to_string(index) + " " +
               std::string(200, static_cast<char>('a' + thread)) + "\n";
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            platform::AppendFile own;
            platform::AppendFile* file = &shared;
            if (t % 2 == 1) {
                own.open(path, false);
                file = &own;
            }
            for (int i = 0; i < kLines; ++i)
                file->append(line(t, i));
        });
    }
    for (auto& thread : threads)
        thread.join();

    std::map<std::string, int> seen;
    std::istringstream lines(vxtest::readFile(path));
    for (std::string text; std::getline(lines, text);)
        ++seen[text + "\n"];
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kLines; ++i)
            ASSERT_EQ(seen[line(t, i)], 1) << line(t, i);
    }
}

}  // namespace
