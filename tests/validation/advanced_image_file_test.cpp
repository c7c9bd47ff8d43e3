// The frame data's "Image.jpg" in a working folder others may share: a
// link planted under the name is replaced by the new image, never written
// through, and nothing else is left in the folder.
#include "AdvancedTestSupport.h"
#include "TestSupport.h"

#include "simulator/imager_images.h"

#include <filesystem>
#include <fstream>

using namespace adv;

namespace vxtest {
namespace {

class ImageFileTest : public AdvancedTest {};

TEST_F(ImageFileTest, ALinkUnderTheImagesNameIsReplacedNotWrittenThrough)
{
    start();
    dlg().ShowImageScannerLayout();
    const std::string victim = std::filesystem::absolute("victim.txt").string();
    std::ofstream(victim) << "mine";
    std::filesystem::remove("Image.jpg");
    std::filesystem::create_symlink(victim, "Image.jpg");
    const auto before = std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator());

    const std::string jpeg = vxsim::imagerImage(vxsim::ImageFormat::jpeg);
    imageControl.SetText("FrameData", jpeg);
    dlg().OnCommand(IDC_BTN_FRAMEDATA);
    EXPECT_EQ(readFile(victim), "mine");
    EXPECT_FALSE(std::filesystem::is_symlink("Image.jpg"));
    EXPECT_EQ(readFile("Image.jpg"), jpeg);
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "The displayed image is saved as Image.jpg ");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()), before);

    // The next image replaces this one whole.
    const std::string shorter = jpeg.substr(0, jpeg.size() / 2);
    imageControl.SetText("FrameData", shorter);
    dlg().OnCommand(IDC_BTN_FRAMEDATA);
    EXPECT_EQ(readFile("Image.jpg"), shorter);
    EXPECT_EQ(readFile(victim), "mine");
}

}  // namespace
}  // namespace vxtest
