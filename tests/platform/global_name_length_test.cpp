// "Global\" names of any length and content: each gets a lock file of its
// own whose name the file system takes, also across processes.

#include "PlatformTestSupport.h"

#include "TestSupport.h"

#include "linux/internal/lock_file_name.h"
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using vxtest::ScopedHandle;

// The lock files of "Global\" names in the runtime directory.
std::set<std::string> lockFiles()
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(platform::runtimeDirectory())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("global-", 0) == 0 && name != "global-names.gate")
            names.insert(name);
    }
    return names;
}

// Runs this program's helper test (named_object_test.cpp) on `name` in a
// second process and answers the last error its CreateMutexA left.
DWORD createdInSecondProcess(const std::string& name)
{
    vxtest::TempDir dir;
    const std::string report = dir.file("report");
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.emplace_back(*entry);
    environment.push_back("VX_HELPER_NAME=" + name);
    environment.push_back("VX_HELPER_REPORT=" + report);
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = "/proc/self/exe";
    std::string filter = "--gtest_filter=NamedObjectHelper.CreateGlobalMutexAndReport";
    char* argv[] = {program.data(), filter.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        return 0xEEEEEEEEu;
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string text = vxtest::readFile(report);
    return text.empty() ? 0xEEEEEEEEu : static_cast<DWORD>(std::stoul(text));
}

TEST(GlobalNameLength, LongAndEscapedNamesCreateAndStayApart)
{
    const std::string serial240(240, 'S');
    const std::string escapes100(100, '\\');
    std::string utf8;
    for (int i = 0; i < 60; ++i)
        utf8 += "\xc3\xa9";  // 'é' in UTF-8: two escaped bytes each
    const struct {
        const char* what;
        std::string name;
    } cases[] = {
        {"a 240-byte serial number", "Global\\QZT_DEVICE_BLOCK_" + serial240},
        {"the same with another last byte", "Global\\QZT_DEVICE_BLOCK_" + serial240.substr(0, 239) + "T"},
        {"100 bytes that need escapes", "Global\\QZT_DEVICE_BLOCK_" + escapes100},
        {"UTF-8 text", "Global\\QZT_DEVICE_BLOCK_" + utf8},
        {"a short name", "Global\\QZT_DEVICE_BLOCK_S1"},
    };
    std::vector<ScopedHandle> held;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = lockFiles().size();
        held.emplace_back(CreateEventA(nullptr, FALSE, FALSE, c.name.c_str()));
        ASSERT_NE(held.back().get(), nullptr) << GetLastError();
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        EXPECT_EQ(lockFiles().size(), before + 1) << "a lock file of its own";
    }
    for (const std::string& file : lockFiles())
        EXPECT_LE(file.size(), 200u) << file;
    // A short name keeps its readable file name.
    EXPECT_EQ(lockFiles().count("global-QZT_DEVICE_BLOCK_S1.lock"), 1u);
}

TEST(GlobalNameLength, ASecondProcessSeesALongNameAndOnlyThatOne)
{
    const std::string head = "Global\\QZT_DEVICE_BLOCK_" + std::string(200, 'x') + "-" + std::to_string(getpid());
    ScopedHandle mine(CreateEventA(nullptr, FALSE, FALSE, (head + "-A").c_str()));
    ASSERT_NE(mine.get(), nullptr);
    EXPECT_EQ(createdInSecondProcess(head + "-A"), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(createdInSecondProcess(head + "-B"), ERROR_SUCCESS) << "a name with the same head is another name";
}

TEST(GlobalNameLength, FileNamesOfTheBoundary)
{
    // Escaped forms up to 150 characters are kept whole, longer ones cut
    // before an escape and followed by the digest.
    EXPECT_EQ(platform::globalLockFileName(std::string(150, 'a')), "global-" + std::string(150, 'a') + ".lock");
    const std::string longName(151, 'a');
    EXPECT_EQ(platform::globalLockFileName(longName),
              "global-" + std::string(120, 'a') + "~" + platform::sha256Hex(longName) + ".lock");
    const std::string escapeAtCut = std::string(119, 'a') + "/" + std::string(40, 'b');
    EXPECT_EQ(platform::globalLockFileName(escapeAtCut),
              "global-" + std::string(119, 'a') + "~" + platform::sha256Hex(escapeAtCut) + ".lock");
    // The digest itself, against published values.
    EXPECT_EQ(platform::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(platform::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(platform::sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(platform::sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
