// The program log writer: file name, columns, and the registry switch read
// on every call.
#include "AppLog.h"
#include "LanguageManager.h"
#include "TestSupport.h"

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

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
