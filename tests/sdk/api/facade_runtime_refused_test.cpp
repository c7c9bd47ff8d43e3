// A runtime directory the platform refuses hides every virtual device: the
// search says so in the SDK log at the error bit and in its last-error
// text, naming the folder and why, instead of a plain success.
#include "ApiFixture.h"
#include "../SdkLogCapture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace vxtest;

namespace {

class RuntimeRefusedTest : public ApiTest {};

TEST_F(RuntimeRefusedTest, TheSearchNamesTheRefusedFolderInTheLogAndTheLastError)
{
    plugSerial("rs232", "refused-dir");
    const std::string ours = std::getenv("VX_RUNTIME_DIR");
    const std::string base = std::filesystem::absolute("refused-runtime").string();
    std::filesystem::create_directories(base + "/private");
    ::chmod((base + "/private").c_str(), 0700);
    std::filesystem::create_directory(base + "/open");
    ::chmod((base + "/open").c_str(), 0755);
    std::filesystem::create_symlink(base + "/private", base + "/link");
    std::ofstream(base + "/file") << "x";
    struct Case {
        const char* folder;
        const char* why;
    };
    const Case cases[] = {
        {"/link", "is a symbolic link"},
        {"/open", "is open to group or others (mode 0755)"},
        {"/file", "is not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = base + c.folder;
        const std::string line = "runtime directory " + folder + " refused: it " + c.why;
        SdkLogCapture log(CLogger::kDefaultMask);
        ::setenv("VX_RUNTIME_DIR", folder.c_str(), 1);
        CDiscovery discovery;
        discovery.initialize();
        DeviceList found;
        const int result = discovery.enumerate(searchTemplate({0}), &found.devices, 30000);
        const std::string text = lastErrorOf(discovery);
        ::setenv("VX_RUNTIME_DIR", ours.c_str(), 1);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(found.devices.empty());
        EXPECT_EQ(text, line);
        EXPECT_EQ(SdkLogCapture::linesWith(line),
                  (std::vector<std::string>{"CScanningSDK::checkRuntimeDirectory, " + line}));
    }
    // Back in its own folder the search finds the scanner and says nothing
    // of a refusal.
    SdkLogCapture log(CLogger::kDefaultMask);
    CDiscovery discovery;
    discovery.initialize();
    DeviceList found;
    EXPECT_EQ(discovery.enumerate(searchTemplate({0}), &found.devices, 30000), 0);
    EXPECT_EQ(found.devices.size(), 1u);
    EXPECT_EQ(lastErrorOf(discovery), "enumerate successful!");
    EXPECT_EQ(SdkLogCapture::count("refused"), 0u);
}

}  // namespace
