// The program log writer: file name, columns, the registry switch read on
// every call, and what is planted under the file's name.
#include "AppLog.h"
#include "LanguageManager.h"
#include "TestSupport.h"

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void fixedClock(SYSTEMTIME* time)
{
    *time = SYSTEMTIME{2011, 3, 3, 2, 9, 5, 7, 0};
}

void setSwitch(const char* text)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex\\Debugger", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (text == nullptr)
        RegDeleteValueA(key, "Application");
    else
        RegSetValueExA(key, "Application", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
}

class AppLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANG", "en_US.UTF-8", 1);
        CAppLog::SetClockForTesting(&fixedClock);
        CLanguageManager::GetInstance().ResetForTesting();
        CLanguageManager::GetInstance().SetProgramStrings({
            {32904, "ConfigurationLog"},
            {32905, "SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex\\Debugger"},
            {32906, "Application"},
        });
        removeLeftovers();
    }
    void TearDown() override { removeLeftovers(); }
    // The switch and the log file of the fixed clock, as a test may leave them.
    static void removeLeftovers()
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail");
        std::filesystem::remove("ConfigurationLogD3_2_2011T9_5_7.log");
    }
};

}  // namespace

TEST_F(AppLogTest, WritesTheExampleByteForByteUnderTheConfigurationName)
{
    setSwitch("1");
    CAppLog log(CLanguageManager::GetInstance(), CAppLog::kConfiguration);
    EXPECT_EQ(log.FileName(), "ConfigurationLogD3_2_2011T9_5_7.log");
    log.Write(4, "CTillProbeDlg", "OnBtnVerify", "Entered", "");
    log.Write(4, "CTillProbeDlg", "OnTimmer", "", "9");
    // A second writer of the process shares the file and the widths.
    CAppLog other(CLanguageManager::GetInstance(), CAppLog::kConfiguration);
    other.Write(4, "CFinal_UIDlg", "OnAddbutton", "Entered", "");
    EXPECT_EQ(vxtest::readFile("ConfigurationLogD3_2_2011T9_5_7.log"),
              "\r\nCTillProbeDlg OnBtnVerify Entered"
              "\r\nCTillProbeDlg OnTimmer    9"
              "\r\nCFinal_UIDlg  OnAddbutton Entered");
}

TEST_F(AppLogTest, TheSwitchIsReadOnEveryCall)
{
    CAppLog log(CLanguageManager::GetInstance(), CAppLog::kConfiguration);
    struct Case {
        const char* value;
        bool written;
    };
    const Case cases[] = {{nullptr, false}, {"1", true}, {"2", false}, {"1x", true}, {"0", false}, {"", false}};
    std::size_t lines = 0;
    for (const Case& c : cases) {
        setSwitch(c.value);
        log.Write(4, "C", "M", c.value != nullptr ? c.value : "absent", "");
        lines += c.written ? 1 : 0;
        const std::string text = vxtest::readFile(log.FileName());
        std::size_t count = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 1))
            ++count;
        EXPECT_EQ(count, lines) << (c.value != nullptr ? c.value : "absent");
    }
    // No key at all: nothing, and no file is made.
    HKEY root = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail", 0, KEY_ALL_ACCESS, &root);
    RegDeleteTreeA(root, "ServiceInfo");
    RegCloseKey(root);
    std::filesystem::remove(log.FileName());
    log.Write(4, "C", "M", "gone", "");
    EXPECT_FALSE(std::filesystem::exists(log.FileName()));
}

// The trace's name is known to the second, in a working folder others may
// share: whatever is planted under that name (a link to a file of the
// user's, a second name of one, a FIFO), no entry lands anywhere but in a
// file of the trace's own, made for the user alone.
TEST_F(AppLogTest, NothingIsWrittenThroughWhatIsPlantedUnderTheName)
{
    setSwitch("1");
    CAppLog log(CLanguageManager::GetInstance(), CAppLog::kConfiguration);
    const std::string name = log.FileName();
    const std::string victim = std::filesystem::absolute("victim.txt").string();
    for (const char* planted : {"a symbolic link", "a second name", "a FIFO"}) {
        SCOPED_TRACE(planted);
        std::filesystem::remove(name);
        std::filesystem::remove(victim);
        std::ofstream(victim) << "mine";
        ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
        const std::string kind = planted;
        if (kind == "a symbolic link")
            std::filesystem::create_symlink(victim, name);
        else if (kind == "a second name")
            std::filesystem::create_hard_link(victim, name);
        else
            ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
        log.Write(4, "CTillProbeDlg", "OnBtnVerify", "Entered", "");  // returns: a FIFO holds nothing up
        EXPECT_EQ(vxtest::readFile(victim), "mine");
    }
    std::filesystem::remove(name);
    std::filesystem::remove(victim);
}

TEST_F(AppLogTest, ATraceFileIsMadeForTheUserAlone)
{
    setSwitch("1");
    const mode_t previous = ::umask(022);
    CAppLog log(CLanguageManager::GetInstance(), CAppLog::kConfiguration);
    std::filesystem::remove(log.FileName());
    log.Write(4, "C", "M", "made", "");
    ::umask(previous);
    struct stat info {};
    ASSERT_EQ(::lstat(log.FileName().c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Entries go on into the file it made (the columns are as wide as the
    // widest entry this process wrote).
    log.Write(4, "C", "M", "more", "");
    const std::string text = vxtest::readFile(log.FileName());
    EXPECT_EQ(text.rfind("\r\nC", 0), 0u) << text;
    const std::size_t second = text.find("\r\nC", 2);
    ASSERT_NE(second, std::string::npos) << text;
    EXPECT_NE(text.substr(0, second).find(" made"), std::string::npos) << text;
    EXPECT_NE(text.substr(second).find(" more"), std::string::npos) << text;
    std::filesystem::remove(log.FileName());
}
