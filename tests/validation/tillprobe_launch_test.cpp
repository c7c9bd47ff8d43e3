// Starting TillSetup through configPath.txt, and the help window.
#include "ProbeTestSupport.h"
#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace vxtest;

namespace {

// A stand-in TillSetup that writes which copy of it was started.
void makeSetup(const std::string& path, const std::string& marker, const std::string& which)
{
    std::ofstream(path) << "#!/bin/sh\necho " << which << " > '" << marker << ".tmp' && mv '" << marker << ".tmp' '"
                        << marker << "'\n";
    ::chmod(path.c_str(), 0755);
}

class LaunchTest : public ProbeTest {};

}  // namespace

TEST_F(LaunchTest, TillSetupIsFoundThroughTheConfigPathFileOrTheWorkingFolder)
{
    struct Case {
        const char* name;
        const char* configLine;  // null: no configPath.txt
        bool inFolder;
        bool inWorkingFolder;
        const char* started;  // null: the message
    };
    const std::vector<Case> cases = {
        {"a folder ending in a slash", "/\r\n", true, false, "folder"},
        {"the folder's copy before the working folder's", "/\n", true, true, "folder"},
        {"a folder ending in a slash, without the program", "/\n", false, true, "working"},
        {"a folder without the slash", "\n", true, false, nullptr},
        {"a folder without the slash, a copy here", "\n", true, true, "working"},
        {"no file, a copy here", nullptr, false, true, "working"},
        {"no file, no program", nullptr, false, false, nullptr},
    };
    start();
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = std::filesystem::absolute("setup" + std::to_string(++round)).string();
        std::filesystem::create_directory(folder);
        const std::string marker = std::filesystem::absolute("started" + std::to_string(round)).string();
        std::filesystem::remove("configPath.txt");
        std::filesystem::remove("TillSetup");
        if (c.configLine != nullptr)
            std::ofstream("configPath.txt") << folder << c.configLine << "second line\n";
        if (c.inFolder)
            makeSetup(folder + "/TillSetup", marker, "folder");
        if (c.inWorkingFolder)
            makeSetup("TillSetup", marker, "working");
        host.messages.clear();
        dlg().OnCommand(probe::IDC_BTN_CONFIG);
        if (c.started != nullptr) {
            EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(marker); }));
            EXPECT_EQ(readFile(marker), std::string(c.started) + "\n");
            EXPECT_TRUE(host.messages.empty());
        } else {
            EXPECT_EQ(host.messages, (std::vector<std::string>{"The TillSetup does not exist"}));
            EXPECT_FALSE(std::filesystem::exists(marker));
        }
    }
}

TEST_F(LaunchTest, HelpIsShownRaisedOrReportedMissingAndClosedAtExit)
{
    start();
    dlg().OnCommand(probe::ID_HELP_FILE);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"TillProbe help file does not exist"}));
    std::ofstream("TillProbe.html") << "<html></html>";
    dlg().OnCommand(probe::ID_HELP_FILE);
    EXPECT_EQ(host.helpOpened,
              (std::vector<std::string>{std::filesystem::absolute("TillProbe.html").string()}));
    EXPECT_EQ(host.raised, (std::vector<std::string>{"TillProbe"}));
    host.helpOpen = true;
    dlg().OnCommand(probe::ID_HELP_FILE);
    EXPECT_EQ(host.helpOpened.size(), 1u);
    dlg().OnCommand(probe::IDC_BTN_EXIT_KEY);
    EXPECT_EQ(host.ended, (std::vector<int>{0}));
    EXPECT_EQ(host.closedTitles, (std::vector<std::string>{"TillProbe"}));
}

TEST_F(LaunchTest, EscapeIsSwallowedAndEnterPressesTheFocusedControl)
{
    addEntry("Lane");
    start();
    choose("Lane");
    EXPECT_TRUE(dlg().PreTranslateKey(0x1B, probe::IDC_BTN_VERIFY));
    EXPECT_TRUE(host.ended.empty());
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(dlg().PreTranslateKey(0x0D, probe::IDC_BTN_VERIFY));
    EXPECT_EQ(row(), "reading");
    EXPECT_TRUE(dlg().PreTranslateKey(0x0D, probe::IDC_BTN_ABOUT_KEY));
    EXPECT_EQ(host.abouts, 1);
    EXPECT_FALSE(dlg().PreTranslateKey('A', probe::IDC_BTN_VERIFY));
}

TEST_F(LaunchTest, TheDirectIOImageFilesAreRemovedWhenTheViewEnds)
{
    const std::vector<std::string> images = {"DIOIMG_BMP.bmp", "DIOIMG_JPG.jpg", "DIOIMG_TIFFBIN.TFF",
                                             "DIOIMG_TIFFGRAY.TFF"};
    start();
    for (const std::string& name : images)
        std::ofstream(name) << "image";
    std::ofstream("DIOIMG_OTHER.bmp") << "kept";
    m_dlg.reset();
    for (const std::string& name : images)
        EXPECT_FALSE(std::filesystem::exists(name)) << name;
    EXPECT_TRUE(std::filesystem::exists("DIOIMG_OTHER.bmp"));
}
