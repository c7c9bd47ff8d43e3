// The image-scanner rows of the Advanced View, reached only with the
// device type "ImageScanner" (forced here): getters, list getters and
// setters with their value mappings, the sessions, the frame data of a
// read written to "Image.jpg", and the control's status and error events.
#include "AdvancedTestSupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace vxtest;
using namespace adv;

namespace {

constexpr char kImageResults[] =
    "[ResultCode]\r\n0=OPOS_SUCCESS\r\n106=OPOS_E_ILLEGAL\r\n"
    "[ErrorEvent]\r\n2=OPOS_EL_INPUT\r\n12=OPOS_ER_CLEAR\r\n"
    "[StatusUpdateEvent]\r\n2001=OPOS_SUE_POWER_ONLINE\r\n"
    "[FrameType]\r\n1=FRAME_STILL\r\n"
    "[ImageType]\r\n3=IMAGE_JPEG\r\n"
    "[ImageMode]\r\n0x01=Decode only\r\n0x02=Still only\r\n0x03=Still decode\r\n0x05=Video decode\r\n0xFF=All\r\n"
    "[ImageQuality]\r\n0x01=Low\r\n0x03=High\r\n";

class ImageScannerTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        std::ofstream("resultsProperty.ini", std::ios::binary | std::ios::trunc) << kImageResults;
        start();
        dlg().m_strDeviceType = "ImageScanner";
        imageControl.SetNumber("State", 2);
        setOutput("");
    }
    void setOutput(const std::string& text) { dlg().m_strOutput = model().output = text; }
    std::string top() { return entries(model().output).front(); }
};

using Handler = void (CAdvancedValidation::*)();

TEST_F(ImageScannerTest, EachGetterPutsItsLineOnTop)
{
    struct {
        Handler handler;
        const char* member;
        LONG value;
        const char* line;
    } cases[] = {
        {&CAdvancedValidation::OnButtonCapaim, "CapAim", 1, "CAPAim     :   True"},
        {&CAdvancedValidation::OnButtonCapdecodedata, "CapDecodeData", 0, "CAPDecodeData     :   False"},
        {&CAdvancedValidation::OnButtonCaphosttrigger, "CapHostTriggered", 1, "CAPHostTriggered    :   True"},
        {&CAdvancedValidation::OnButtonCapimagequality, "CapImageQuality", 1, "CAPImageQuality     :   True"},
        {&CAdvancedValidation::OnButtonCapvideodata, "CapVideoData", 0, "CAPVideoData     :   False"},
        {&CAdvancedValidation::OnButtonCapimagedata, "CapImageData", 1, "CAPImageData     :   True"},
        {&CAdvancedValidation::OnButtonCapilluminate, "CapIlluminate", 1, "CAPIlluminate   True"},
        {&CAdvancedValidation::OnButtonFrametype, "FrameType", 1, "FrameType     :   FRAME_STILL"},
        {&CAdvancedValidation::OnButtonFrametype, "FrameType", 4, "FrameType     :   4"},
        {&CAdvancedValidation::OnButtonBitsperpixel, "BitsPerPixel", 8, "BitsPerPixel      :   8"},
        {&CAdvancedValidation::OnButtonImagetype, "ImageType", 3, "ImageType     :   IMAGE_JPEG"},
        {&CAdvancedValidation::OnButtonImagetype, "ImageType", 9, "ImageType     :   9"},
        {&CAdvancedValidation::OnButtonImagewidth, "ImageWidth", 640, "ImageWidth    :   640"},
        {&CAdvancedValidation::OnButtonImageheight, "ImageHeight", 480, "ImageHeight     :   480"},
        {&CAdvancedValidation::OnButtonImagelength, "ImageLength", 307200, "ImageLength      :   307200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        imageControl.SetNumber(c.member, c.value);
        (dlg().*c.handler)();
        EXPECT_EQ(top(), c.line);
    }
    // Read from the image-scanner control only.
    for (const std::string& call : calls())
        EXPECT_EQ(call.find("Cap"), std::string::npos) << call;
}

TEST_F(ImageScannerTest, AGetterWhoseReadFailsAddsNothing)
{
    switchLogOn();
    imageControl.Fail("get ImageWidth", "gone");
    imageControl.Fail("get ImageMode", "gone");
    setOutput("older");
    dlg().OnButtonImagewidth();
    EXPECT_EQ(dlg().GetImageMode(), "");
    EXPECT_EQ(model().output, "older");
    const std::string log = logText();
    EXPECT_NE(log.find("OnButtonImagewidth"), std::string::npos);
    EXPECT_NE(log.find("GetImageMode"), std::string::npos);
}

TEST_F(ImageScannerTest, ListGettersSelectTheEntryOfTheValue)
{
    struct {
        std::string (CAdvancedValidation::*getter)();
        const char* member;
        LONG value;
        int list;
        int entry;
        const char* line;
    } cases[] = {
        {&CAdvancedValidation::GetImageMode, "ImageMode", 1, IDC_COMBO_IMAGEMODE, 0, "Get ImageMode    :   0"},
        {&CAdvancedValidation::GetImageMode, "ImageMode", 2, IDC_COMBO_IMAGEMODE, 1, "Get ImageMode    :   1"},
        {&CAdvancedValidation::GetImageMode, "ImageMode", 3, IDC_COMBO_IMAGEMODE, 2, "Get ImageMode    :   2"},
        {&CAdvancedValidation::GetImageMode, "ImageMode", 5, IDC_COMBO_IMAGEMODE, 3, "Get ImageMode    :   3"},
        {&CAdvancedValidation::GetImageMode, "ImageMode", 6, IDC_COMBO_IMAGEMODE, 4, "Get ImageMode    :   4"},
        {&CAdvancedValidation::GetImageMode, "ImageMode", 255, IDC_COMBO_IMAGEMODE, 5, "Get ImageMode    :   5"},
        // Any other value is taken as the entry itself.
        {&CAdvancedValidation::GetImageMode, "ImageMode", 4, IDC_COMBO_IMAGEMODE, 4, "Get ImageMode    :   4"},
        {&CAdvancedValidation::GetImageMode, "ImageMode", 0, IDC_COMBO_IMAGEMODE, 0, "Get ImageMode    :   0"},
        {&CAdvancedValidation::GetImageQuality, "ImageQuality", 1, IDC_COMBO_IMAGEQUALITY, 0,
         "Get ImageQuality    :   0"},
        {&CAdvancedValidation::GetImageQuality, "ImageQuality", 3, IDC_COMBO_IMAGEQUALITY, 2,
         "Get ImageQuality    :   2"},
        {&CAdvancedValidation::GetImageQuality, "ImageQuality", 7, IDC_COMBO_IMAGEQUALITY, 7,
         "Get ImageQuality    :   7"},
        {&CAdvancedValidation::GetVideoCount, "VideoCount", 99, IDC_COMBO_VIDEOCOUNT, 0, "Get VideoCount    :   15"},
        {&CAdvancedValidation::GetVideoRate, "VideoRate", 99, IDC_COMBO_VIDEORATE, 0, "Get VideoRate   :   30"},
        {&CAdvancedValidation::GetAimMode, "AimMode", 1, IDC_COMBO_AIMMODE, 0, "Get AimMode    :   True"},
        {&CAdvancedValidation::GetAimMode, "AimMode", 0, IDC_COMBO_AIMMODE, 1, "Get AimMode    :   False"},
        {&CAdvancedValidation::GetIlluminateMode, "IlluminateMode", 1, IDC_COMBO_ILLUMINATEMODE, 0,
         "Get IlluminateMode     :   True"},
        {&CAdvancedValidation::GetIlluminateMode, "IlluminateMode", 0, IDC_COMBO_ILLUMINATEMODE, 1,
         "Get IlluminateMode     :   False"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        imageControl.SetNumber(c.member, c.value);
        imageControl.ClearCalls();
        at(c.list).selection = 3;
        const std::string shown = (dlg().*c.getter)();
        EXPECT_EQ(top(), c.line);
        EXPECT_EQ(at(c.list).selection, c.entry);
        EXPECT_EQ(std::string(c.line).substr(std::string(c.line).rfind("   ") + 3), shown);
        EXPECT_EQ(imageControl.Calls(), std::vector<std::string>{std::string("get ") + c.member});
    }
}

TEST_F(ImageScannerTest, EachSetterWritesTheMappedValueAndShowsItsWord)
{
    struct {
        Handler handler;
        int list;
        int entry;
        const char* put;
        const char* line;
    } cases[] = {
        {&CAdvancedValidation::OnBtnImagemode, IDC_COMBO_IMAGEMODE, 0, "put ImageMode=1",
         "Set ImageMode     :   Decode only"},
        {&CAdvancedValidation::OnBtnImagemode, IDC_COMBO_IMAGEMODE, 3, "put ImageMode=5",
         "Set ImageMode     :   Video decode"},
        // No results entry: the key itself.
        {&CAdvancedValidation::OnBtnImagemode, IDC_COMBO_IMAGEMODE, 4, "put ImageMode=6", "Set ImageMode     :   0x06"},
        {&CAdvancedValidation::OnBtnImagemode, IDC_COMBO_IMAGEMODE, 5, "put ImageMode=255", "Set ImageMode     :   All"},
        // Beyond the table, or nothing chosen: the entry itself, no word.
        {&CAdvancedValidation::OnBtnImagemode, IDC_COMBO_IMAGEMODE, 6, "put ImageMode=6", "Set ImageMode     :   "},
        {&CAdvancedValidation::OnBtnImagemode, IDC_COMBO_IMAGEMODE, -1, "put ImageMode=-1", "Set ImageMode     :   "},
        {&CAdvancedValidation::OnBtnSetImagequality, IDC_COMBO_IMAGEQUALITY, 0, "put ImageQuality=1",
         "Set ImageQuality     :   Low"},
        {&CAdvancedValidation::OnBtnSetImagequality, IDC_COMBO_IMAGEQUALITY, 1, "put ImageQuality=2",
         "Set ImageQuality     :   0x02"},
        {&CAdvancedValidation::OnBtnSetImagequality, IDC_COMBO_IMAGEQUALITY, 2, "put ImageQuality=3",
         "Set ImageQuality     :   High"},
        {&CAdvancedValidation::OnBtnVideocount, IDC_COMBO_VIDEOCOUNT, 0, "put VideoCount=15",
         "Set VideoCount     :   15"},
        {&CAdvancedValidation::OnBtnVideocount, IDC_COMBO_VIDEOCOUNT, 2, "put VideoCount=2", "Set VideoCount     :   "},
        {&CAdvancedValidation::OnBtnVideorate, IDC_COMBO_VIDEORATE, 0, "put VideoRate=30", "Set VideoRate     :   30"},
        {&CAdvancedValidation::OnBtnVideorate, IDC_COMBO_VIDEORATE, 1, "put VideoRate=1", "Set VideoRate     :   "},
        {&CAdvancedValidation::OnBtnSetAimmode, IDC_COMBO_AIMMODE, 0, "put AimMode=1", "Set AimMode    :   True"},
        {&CAdvancedValidation::OnBtnSetIlluminatemode, IDC_COMBO_ILLUMINATEMODE, 1, "put IlluminateMode=0",
         "Set IlluminateMode    :   False"},
    };
    control.ClearCalls();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        imageControl.ClearCalls();
        at(c.list).selection = c.entry;
        (dlg().*c.handler)();
        EXPECT_EQ(imageControl.Calls(), (std::vector<std::string>{c.put, "get ResultCode"}));
        EXPECT_EQ(top(), std::string(c.line) + "  ,  ResultCode   :   OPOS_SUCCESS");
    }
    EXPECT_TRUE(calls().empty());
}

TEST_F(ImageScannerTest, ASetterWhoseWriteThrowsIsLoggedAndStillShowsItsLine)
{
    switchLogOn();
    imageControl.Fail("put ImageQuality", "gone");
    imageControl.SetNumber("ResultCode", 106);
    at(IDC_COMBO_IMAGEQUALITY).selection = 2;
    dlg().OnBtnSetImagequality();
    EXPECT_EQ(top(), "Set ImageQuality     :   High  ,  ResultCode   :   OPOS_E_ILLEGAL");
    EXPECT_NE(logText().find("OnBtnSetImagequality"), std::string::npos);
}

TEST_F(ImageScannerTest, SessionsShowTheirResult)
{
    imageControl.SetNumber("StopSession", 106);
    dlg().OnButtonStartsession();
    dlg().OnButtonStopsession();
    EXPECT_EQ(entries(model().output),
              (std::vector<std::string>{"StopSession    :   OPOS_E_ILLEGAL", "StartSession     :  OPOS_SUCCESS"}));
    EXPECT_EQ(imageControl.Calls(), (std::vector<std::string>{"StartSession()", "StopSession()"}));
}

TEST_F(ImageScannerTest, AStatusEventGoesOnTopWithItsSeparatorEvenOnAnEmptyOutput)
{
    imageControl.FireStatusUpdateEvent(2001);
    EXPECT_EQ(model().output, "StatusUpdateEvent     :   OPOS_SUE_POWER_ONLINE\r\n\r\n");
    imageControl.FireStatusUpdateEvent(50);
    EXPECT_EQ(model().output,
              "StatusUpdateEvent     :   50\r\n\r\nStatusUpdateEvent     :   OPOS_SUE_POWER_ONLINE\r\n\r\n");
}

TEST_F(ImageScannerTest, AnErrorEventIsLoggedAndKeepsTheProposedResponse)
{
    switchLogOn();
    EXPECT_EQ(imageControl.FireErrorEvent(106, 301, 2, 12), 12);
    EXPECT_EQ(model().output, "");
    EXPECT_TRUE(host.loci.empty());
    const std::string log = logText();
    for (const char* item : {"OPOS_E_ILLEGAL", "301", "OPOS_EL_INPUT", "OPOS_ER_CLEAR", "OnErrorEventImagescanner"})
        EXPECT_NE(log.find(item), std::string::npos) << item;
}

TEST_F(ImageScannerTest, AReadWritesTheFrameToImageJpgAndRefreshesTheLists)
{
    const std::string frame("\xFF\xD8\xFF\xE0" "frame\0data\xFF\xD9", 16);
    imageControl.SetText("FrameData", frame);
    imageControl.SetNumber("AutoDisable", 1);
    imageControl.SetNumber("DeviceEnabled", 0);
    at(IDC_COMBO_AUTODISABLE).selection = 1;
    at(IDC_COMBO_DEVICEENABLE).selection = 0;
    dlg().m_bDeviceEnabled = 1;

    imageControl.FireDataEvent(0);

    std::ifstream written("Image.jpg", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), frame);
    EXPECT_TRUE(at(IDC_PREVIEW).shown);
    EXPECT_EQ(model().selectedText(IDC_COMBO_DATAEVENTENABLE), "False");
    EXPECT_EQ(model().selectedText(IDC_COMBO_AUTODISABLE), "True");
    EXPECT_EQ(model().selectedText(IDC_COMBO_DEVICEENABLE), "False");
    EXPECT_EQ(dlg().m_bDeviceEnabled, 0);
    EXPECT_EQ(model().focus, IDC_COMBO_DATAEVENTENABLE);

    // With "Re-Enable DataEvent" the image scanner is armed again.
    at(IDC_COMBO_DATAEVENTENABLE).selection = 0;
    model().reEnableDataEvent = true;
    imageControl.FireDataEvent(0);
    EXPECT_EQ(imageControl.Number("DataEventEnabled"), 1);
    EXPECT_EQ(top(), "Set DataEventEnabled  :  True  ,  ResultCode   :   OPOS_SUCCESS");
}

TEST_F(ImageScannerTest, GetAllPropertiesAddsTheImageScannerLines)
{
    imageControl.SetText("FrameData", "Given file doesnot exists");
    dlg().OnBtnGetallprops();
    std::vector<std::string> lines = entries(model().output);
    ASSERT_GE(lines.size(), 2u);
    // The header rides on the newest line; the asterisks close the block.
    const std::string header = std::string(13, '*') + "  Get All Properties " + std::string(78, '*') + "\r\n";
    ASSERT_EQ(lines.front().rfind(header, 0), 0u);
    lines.front().erase(0, header.size());
    EXPECT_EQ(lines.back(), std::string(117, '*'));
    lines.pop_back();
    ASSERT_EQ(lines.size(), 45u);
    const std::vector<std::string> newest = {
        "Get IlluminateMode     :   False", "Get AimMode    :   False", "Get VideoRate   :   30",
        "Get VideoCount    :   15", "Get ImageQuality    :   0", "Get ImageMode    :   0",
        "ImageLength      :   0", "ImageHeight     :   0", "ImageWidth    :   0", "ImageType     :   0",
        "BitsPerPixel      :   0", "FrameType     :   0", "FrameData     :   Given file doesnot exists",
        "CAPDecodeData     :   False", "CAPImageData     :   False", "CAPVideoData     :   False",
        "CAPImageQuality     :   False", "CAPHostTriggered    :   False", "CAPIlluminate   False",
        "CAPAim     :   False", "ResultCodeExtended    :   OPOS_SUCCESS"};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 21), newest);
    EXPECT_EQ(lines.back(), "Get DeviceEnable  :    False");
}

}  // namespace
