// The results file and the strings file lie in the working folder, which
// another user may share: a FIFO, a link (to /dev/zero, to a file of the
// victim's) or a huge file there never hangs or swells the program; it
// starts with its own defaults and says why on the debugger output.
#include "../platform/DebugCapture.h"
#include "IniFile.h"
#include "LanguageManager.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Everything the debugger output got while `capture` lived, as one text.
std::string said(vxtest::DebugCapture& capture)
{
    std::string all;
    for (const std::string& text : capture.texts())
        all += text;
    return all;
}

// What may be found under the file's name.
struct Planted {
    const char* name;
    const char* why;  // the reason the line gives
};

const std::vector<Planted> kPlanted = {
    {"a FIFO", "is not a regular file"},
    {"a link to /dev/zero", "is a symbolic link"},
    {"a link to a good file", "is a symbolic link"},
    {"a file past the limit", "more than 1048576"},
};

// Puts `what` at `path`; `good` is the text a good file would hold.
void plant(const Planted& what, const std::string& path, const std::string& good)
{
    std::filesystem::remove(path);
    const std::string name = what.name;
    if (name == "a FIFO") {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    } else if (name == "a link to /dev/zero") {
        std::filesystem::create_symlink("/dev/zero", path);
    } else if (name == "a link to a good file") {
        std::ofstream("good-target", std::ios::binary) << good;
        std::filesystem::create_symlink(std::filesystem::absolute("good-target"), path);
    } else {
        std::ofstream file(path, std::ios::binary);
        file << good;
        file << std::string(1024 * 1024, ';');
    }
}

// Runs `work` on a thread and waits for it with a generous bound. A FIFO
// that holds it up is opened for writing and closed, so that a read
// blocked on it ends and the test fails instead of hanging.
bool finishes(const std::function<void()>& work, const std::string& path)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const bool inTime = vxtest::waitUntil([&] { return done.load(); });
    if (!inTime) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    worker.join();
    return inTime;
}

}  // namespace

TEST(UntrustedFiles, AResultsFileThatIsNoPlainFileGivesTheDefaultsAndSaysWhy)
{
    const std::string good = "[ResultCode]\n106=Illegal\n[TimeOut]\ntime=3\n";
    int round = 0;
    for (const Planted& what : kPlanted) {
        SCOPED_TRACE(what.name);
        // A folder per case: the reason is said once per file and reason.
        const std::string folder = "case" + std::to_string(++round);
        std::filesystem::create_directory(folder);
        const std::string path = std::filesystem::absolute(folder + "/resultsProperty.ini").string();
        plant(what, path, good);
        vxtest::DebugCapture lines;
        CIniFile ini(path, 1224);
        std::string code;
        std::string countdown;
        ASSERT_TRUE(finishes(
            [&] {
                ini.Read("ResultCode", "106", code, "106");
                ini.Read("TimeOut", "time", countdown, "10");
            },
            path));
        EXPECT_EQ(code, "106");
        EXPECT_EQ(countdown, "10");
        const std::string text = said(lines);
        EXPECT_NE(text.find(path), std::string::npos) << text;
        EXPECT_NE(text.find(what.why), std::string::npos) << text;
    }
    // A plain file of the user's is read as ever.
    std::filesystem::remove("resultsProperty.ini");
    std::ofstream("resultsProperty.ini") << good;
    CIniFile ini("resultsProperty.ini", 1224);
    std::string code;
    ini.Read("ResultCode", "106", code, "106");
    EXPECT_EQ(code, "Illegal");
}

TEST(UntrustedFiles, AStringsFileThatIsNoPlainFileLeavesTheProgramsOwnTexts)
{
    CLanguageManager& language = CLanguageManager::GetInstance();
    const std::string good = "32790\tS\xC3\xA9lectionner\n";
    for (const Planted& what : kPlanted) {
        SCOPED_TRACE(what.name);
        language.ResetForTesting();
        language.SetProgramStrings({{32790, "-- Select --"}});
        const std::string path = std::filesystem::absolute("TillProbeFrench.strings").string();
        plant(what, path, good);
        vxtest::DebugCapture lines;
        bool found = false;
        ASSERT_TRUE(finishes([&] { found = language.LoadLanguageDll(path, "MultiLanguage"); }, path));
        EXPECT_TRUE(found);  // something is there, and it is not used
        EXPECT_FALSE(language.IsLanguageLoaded());
        EXPECT_EQ(language.GetString(32790), "-- Select --");
        const std::string text = said(lines);
        EXPECT_NE(text.find(path), std::string::npos) << text;
        EXPECT_NE(text.find(what.why), std::string::npos) << text;
    }
    language.ResetForTesting();
}
