// Starting the validation utility through configPath.txt, and help.
#include "ConfigTestSupport.h"
#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace vxtest;
using namespace ctl;

namespace {

// A stand-in TillProbe that records where it was started from.
void makeProbe(const std::string& path, const std::string& marker)
{
    std::ofstream(path) << "#!/bin/sh\necho started > '" << marker << ".tmp' && mv '" << marker << ".tmp' '"
                        << marker << "'\n";
    ::chmod(path.c_str(), 0755);
}

class LaunchTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        removeFiles();
        start(RegistryApi::System());
        std::filesystem::create_directory("probe");
        folder = std::filesystem::absolute("probe").string();
        marker = std::filesystem::absolute("started").string();
        makeProbe(folder + "/TillProbe", marker);
    }
    void TearDown() override
    {
        ControllerTest::TearDown();
        removeFiles();
    }
    // What a test may leave in the working folder.
    static void removeFiles()
    {
        for (const char* name : {"configPath.txt", "TillProbe", "TillSetup.html", "probe", "started", "started.tmp"})
            std::filesystem::remove_all(name);
    }
    bool started() { return waitUntil([&] { return std::filesystem::exists(marker); }); }
    std::string folder;
    std::string marker;
};

}  // namespace

TEST_F(LaunchTest, AFolderLineEndingInASlashNamesTheProgramsFolder)
{
    std::ofstream("configPath.txt") << folder << "/\r\nsecond line\n";
    dlg().OnValidateexe();
    EXPECT_TRUE(started());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(text(IDC_ENTERDEVICENAME), "Enter the name");
}

TEST_F(LaunchTest, WithoutTheFinalSlashTheBareNameIsTried)
{
    std::ofstream("configPath.txt") << folder << "\n";
    dlg().OnValidateexe();
    EXPECT_EQ(host.messages, (std::vector<Shown>{{"The TillProbe does not exist", 0}}));
    EXPECT_FALSE(std::filesystem::exists(marker));
    makeProbe("TillProbe", marker);
    host.messages.clear();
    dlg().OnValidateexe();
    EXPECT_TRUE(started());
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(LaunchTest, WithNeitherFileTheMessageSaysSoAndTheFormIsReset)
{
    setText(IDC_ENTERDEVICENAME, "half typed");
    dlg().OnValidateexe();
    EXPECT_EQ(host.messages, (std::vector<Shown>{{"The TillProbe does not exist", 0}}));
    EXPECT_EQ(text(IDC_ENTERDEVICENAME), "Enter the name");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(LaunchTest, HelpIsShownRaisedOrReportedMissing)
{
    dlg().OnCommand(ID_HELP_HELPDOCVIEW);
    EXPECT_EQ(host.messages, (std::vector<Shown>{{"TillSetup help file does not exists", 0}}));
    std::ofstream("TillSetup.html") << "<html></html>";
    dlg().OnHelpButton();
    EXPECT_EQ(host.helpOpened.size(), 1u);
    EXPECT_EQ(host.raised, (std::vector<std::string>{"TillSuite Configuration Utility"}));
    host.helpOpen = true;
    dlg().OnHelpButton();
    EXPECT_EQ(host.helpOpened.size(), 1u);
    dlg().OnClose();
    EXPECT_EQ(host.ended, (std::vector<int>{0}));
    EXPECT_EQ(host.closedTitles, (std::vector<std::string>{"TillSuite Configuration Utility"}));
}

TEST_F(LaunchTest, KeysOfTheMainDialog)
{
    // Escape does nothing; letters on a button are swallowed; Enter presses
    // the focused control.
    EXPECT_TRUE(dlg().PreTranslateKey(0x1B, false, IDC_ADDBUTTON, ""));
    EXPECT_TRUE(host.ended.empty());
    EXPECT_TRUE(dlg().PreTranslateKey('A', false, IDC_ADDBUTTON, ""));
    EXPECT_FALSE(dlg().PreTranslateKey('A', false, IDC_ENTERDEVICENAME, ""));
    EXPECT_TRUE(dlg().PreTranslateKey('Y', false, IDC_EDITREMOVERADIO, ""));
    EXPECT_TRUE(dlg().PreTranslateKey(0x0D, false, IDC_ADDBUTTON, ""));
    EXPECT_EQ(host.lastMessage(), "Please specify a device name");
    EXPECT_TRUE(dlg().PreTranslateKey('X', false, IDC_COMPORTCOMBO, ""));
    EXPECT_FALSE(dlg().PreTranslateKey('C', false, IDC_COMPORTCOMBO, "-- Select --"));
    EXPECT_FALSE(dlg().PreTranslateKey(0x63, false, IDC_COMPORTCOMBO, "COM"));  // numeric pad 3
    EXPECT_FALSE(dlg().PreTranslateKey(0x08, false, IDC_COMPORTCOMBO, "COM123"));
}
