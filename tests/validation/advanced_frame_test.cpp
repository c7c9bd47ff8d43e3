// The Advanced View's frame without widgets: device lists and the registry
// summary, "ADD_DEVICE", the output log and its texts, the menu, the method
// layouts, the claim edit's key filter, saving the output.
#include "AdvancedStrings.h"
#include "AdvancedTestSupport.h"
#include "ProbeStrings.h"
#include "TestSupport.h"

#include "simulator/imager_images.h"

#include <filesystem>
#include <fstream>

using namespace adv;

namespace vxtest {
namespace {

class FrameTest : public AdvancedTest {};

TEST_F(FrameTest, TheDeviceListHoldsTheSuitesDevicesOfTheScannerCategory)
{
    addEntry("Lane 1");
    addEntry("Other maker", "10000", "Elsewhere");
    addEntry("No maker", "10000", "");
    writeDword(devicePath("Dword maker"), "Manufacturer", 7);
    addEntry("Lane 2");
    writeText(devicePath("Capitals"), "MANUFACTURER", "VARNEX");
    addEntry("Lane 0");
    start();
    const AdvancedControl& list = at(IDC_COMBO_DEVICENAME);
    // In the registry's order, not sorted.
    EXPECT_EQ(list.entries, (std::vector<std::string>{"-- Select --", "Lane 1", "Lane 2", "Capitals", "Lane 0"}));
    EXPECT_EQ(list.selectedText(), "-- Select --");
    EXPECT_TRUE(list.enabled);
    EXPECT_EQ(at(IDC_COMBO_DEVICETYPE).entries, (std::vector<std::string>{"-- Select --", "Scanner"}));
    EXPECT_EQ(at(IDC_COMBO_DEVICETYPE).selectedText(), "Scanner");
    EXPECT_FALSE(at(IDC_COMBO_DEVICETYPE).enabled);
    // Nothing chosen yet: no device information.
    EXPECT_FALSE(at(IDC_STATIC_DEVICEINFOTITLE).shown);
    EXPECT_EQ(at(IDC_STATIC_DEVICEINFO).text, "");
    EXPECT_EQ(at(IDC_EDIT_CLAIMTIMEOUT).text, "");
}

TEST_F(FrameTest, WithoutTheSuitesDevicesTheListSaysSoAndIsDisabled)
{
    for (const bool foreignOnly : {false, true}) {
        SCOPED_TRACE(foreignOnly);
        if (foreignOnly)
            addEntry("Other maker", "10000", "Elsewhere");
        start();
        const AdvancedControl& list = at(IDC_COMBO_DEVICENAME);
        EXPECT_EQ(list.entries, std::vector<std::string>{"No device exist"});
        EXPECT_EQ(list.selection, 0);
        EXPECT_FALSE(list.enabled);
    }
}

TEST_F(FrameTest, TheSummaryShowsAutoDetectAndThePortAsTillSetupWroteThem)
{
    addEntry("Fixed");
    modifiedEntry("Modified", "20000");
    addAutoDetectEntry("Detected");
    addAutoDetectEntry("Detected lower", "true");
    addAutoDetectEntry("Fixed lower", "false");
    start();
    const struct {
        const char* device;
        const char* summary;
    } cases[] = {
        {"Fixed", "Auto Detect = False\r\nPort = COM3\r\n"},
        {"Modified", "Auto Detect = False\r\nPort = COM3\r\n"},
        {"Detected", "Auto Detect = True"},
        {"Detected lower", "Auto Detect = true"},
        {"Fixed lower", "Auto Detect = false\r\nPort = COM3\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        at(IDC_EDIT_CLAIMTIMEOUT).text = "5";
        choose(c.device);
        EXPECT_EQ(at(IDC_STATIC_DEVICEINFO).text, c.summary);
        EXPECT_TRUE(at(IDC_STATIC_DEVICEINFOTITLE).shown);
        EXPECT_TRUE(at(IDC_STATIC_DEVICEINFO).shown);
        EXPECT_EQ(at(IDC_EDIT_CLAIMTIMEOUT).text, "10000");
    }
    // Back to "-- Select --": the information goes away.
    choose("-- Select --");
    EXPECT_EQ(at(IDC_STATIC_DEVICEINFO).text, "");
    EXPECT_FALSE(at(IDC_STATIC_DEVICEINFOTITLE).shown);
    EXPECT_EQ(at(IDC_EDIT_CLAIMTIMEOUT).text, "");
}

TEST_F(FrameTest, AddDeviceWithNoDeviceChosenRefillsTheListAtOnce)
{
    start();
    ASSERT_EQ(at(IDC_COMBO_DEVICENAME).entries, std::vector<std::string>{"No device exist"});
    addEntry("Lane 1");
    EXPECT_EQ(dlg().OnAddDevice(), 0);
    EXPECT_EQ(at(IDC_COMBO_DEVICENAME).entries, (std::vector<std::string>{"-- Select --", "Lane 1"}));
    EXPECT_TRUE(at(IDC_COMBO_DEVICENAME).enabled);
    EXPECT_EQ(at(IDC_COMBO_DEVICETYPE).selectedText(), "Scanner");
}

TEST_F(FrameTest, AddDeviceWithADeviceChosenOnlyFlagsTheNextDropDown)
{
    addEntry("Lane 1");
    start();
    choose("Lane 1");
    addEntry("Lane 2");
    dlg().OnAddDevice();
    EXPECT_TRUE(dlg().m_bRefreshDeviceList);
    EXPECT_EQ(at(IDC_COMBO_DEVICENAME).entries, (std::vector<std::string>{"-- Select --", "Lane 1"}));
    EXPECT_EQ(at(IDC_COMBO_DEVICENAME).selectedText(), "Lane 1");
    dlg().OnDropdownComboDeviceName();
    EXPECT_EQ(at(IDC_COMBO_DEVICENAME).entries, (std::vector<std::string>{"-- Select --", "Lane 1", "Lane 2"}));
    EXPECT_FALSE(dlg().m_bRefreshDeviceList);
    // A later drop-down leaves the list as it is.
    addEntry("Lane 3");
    dlg().OnDropdownComboDeviceName();
    EXPECT_EQ(at(IDC_COMBO_DEVICENAME).entries.size(), 3u);
}

TEST_F(FrameTest, AppendOutputPutsTheNewestEntryOnTopAfterOneEmptyLine)
{
    start();
    // The welcome text is shown, but it is not part of the output text.
    EXPECT_EQ(model().output,
              "\r\n\r\nThis screen changes according to:\r\n1. Device output\r\n2. Property results");
    dlg().AppendOutput("first");
    EXPECT_EQ(model().output, "first");
    dlg().AppendOutput("second");
    EXPECT_EQ(model().output, "second\r\n\r\nfirst");
    EXPECT_EQ(dlg().m_strOutput, "second\r\n\r\nfirst");
    dlg().OnCommand(IDC_BTN_CLEARLOG);
    EXPECT_EQ(model().output, "");
    dlg().AppendOutput("third");
    EXPECT_EQ(model().output, "third");
}

TEST_F(FrameTest, ResultCodesReadTheirWordsAndAMissingOneShowsItsNumber)
{
    start();
    EXPECT_EQ(dlg().ResultCodeText(0), "OPOS_SUCCESS");
    EXPECT_EQ(dlg().ResultCodeText(106), "OPOS_E_ILLEGAL");
    EXPECT_EQ(dlg().ResultCodeText(114), "OPOS_E_EXTENDED");
    EXPECT_EQ(dlg().ResultCodeText(115), "115");
    EXPECT_EQ(dlg().ResultCodeText(-3), "-3");
    EXPECT_EQ(dlg().IniText("NoSuchSection", 7), "7");
}

TEST_F(FrameTest, DecodeDataAndScanDataTypeShowTheirLines)
{
    start();
    control.SetNumber("DecodeData", 1);
    dlg().OnCommand(IDC_BTN_GETDECODEDATA);
    EXPECT_EQ(model().output, "Get DecodeData   :   True");
    EXPECT_EQ(at(IDC_COMBO_DECODEDATA).selection, 0);
    // A failed read keeps the value read last.
    control.Fail("get DecodeData", "gone");
    EXPECT_EQ(dlg().GetDecodeData(), "True");
    control.ClearFailure("get DecodeData");
    control.SetNumber("DecodeData", 0);
    EXPECT_EQ(dlg().GetDecodeData(), "False");
    EXPECT_EQ(at(IDC_COMBO_DECODEDATA).selection, 1);

    dlg().OnCommand(IDC_BTN_CLEARLOG);
    control.SetNumber("ScanDataType", 12345);
    dlg().OnCommand(IDC_BTN_SCANDATATYPE);
    EXPECT_EQ(model().output, "ScanDataType  :  12345");
    EXPECT_EQ(at(IDC_EDIT_SCANDATATYPE).text, "12345");
    control.Fail("get ScanDataType", "gone");
    dlg().OnCommand(IDC_BTN_SCANDATATYPE);
    EXPECT_EQ(model().output, "ScanDataType  :  12345");
}

TEST_F(FrameTest, RaiseErrorEventIsOfferedOnlyWithErrorEventEnableTen)
{
    const struct {
        const char* line;  // appended to [ErrorEvent], or nothing
        bool offered;
    } cases[] = {{nullptr, false}, {"Enable=1", false}, {"Enable=100", false}, {"Enable=10", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "absent");
        std::string ini = readFile(programDirectory() + "/resultsProperty.ini");
        if (c.line) {
            const auto at = ini.find("[ErrorEvent]\n");
            ASSERT_NE(at, std::string::npos);
            ini.insert(at + 13, std::string(c.line) + "\n");
        }
        std::ofstream("resultsProperty.ini", std::ios::binary | std::ios::trunc) << ini;
        start();
        EXPECT_EQ(model().removedMenuItems.count(ID_DIO_RAISEERROREVENT) == 0, c.offered);
        EXPECT_EQ(model().removedMenuItems.count(ID_DIO_GETSWREV), 1u);
        EXPECT_EQ(model().removedMenuItems.count(ID_DIO_MENUCOMMAND), 1u);
    }
}

TEST_F(FrameTest, ReEnableDataEventTogglesItsCheckMark)
{
    start();
    EXPECT_FALSE(model().reEnableDataEvent);
    dlg().OnCommand(ID_FILE_REENABLEDATAEVENT);
    EXPECT_TRUE(model().reEnableDataEvent);
    dlg().OnCommand(ID_FILE_REENABLEDATAEVENT);
    EXPECT_FALSE(model().reEnableDataEvent);
}

// What the method layout shows: placeholder 1337, path 1307, browse 1308,
// Apply 1309, statistics 1329 and its Apply 1310 ("-" hidden, "off"
// disabled, "on" shown and enabled).
std::string methodLayout(AdvancedViewModel& model)
{
    std::string layout;
    for (const int id : {IDC_EDIT_METHODPLACEHOLDER, IDC_EDIT_FIRMWAREPATH, IDC_BTN_BROWSE, IDC_BTN_APPLY,
                         IDC_EDIT_STATISTICS, IDC_BTN_STATAPPLY}) {
        const AdvancedControl& control = model.at(id);
        layout += !control.shown ? "-" : control.enabled ? "on" : "off";
        layout += " ";
    }
    layout.pop_back();
    return layout;
}

TEST_F(FrameTest, EachMethodHasItsLayoutAndApplyStaysOffWhileFirmwareIsBusy)
{
    start();
    const struct {
        int method;
        LONG state;
        const char* layout;
        const char* path;
        const char* statistics;
    } cases[] = {
        {kCompareFirmware, 2, "- on on on - -", "Enter file path here", ""},
        {kUpdateFirmware, 2, "- on on on - -", "Enter file path here", ""},
        {kUpdateFirmware, 3, "- on on off - -", "", ""},
        {kCompareFirmware, 3, "- on on off - -", "", ""},
        {kResetStatistics, 2, "- - - - on on", "", "Enter the statistics buffer input here"},
        {kRetrieveStatistics, 3, "- - - - on on", "", "Enter the statistics buffer input here"},
        {kUpdateStatistics, 2, "- - - - on on", "", "Enter the statistics buffer input here"},
        {kSelectMethod, 2, "off - off off - -", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method * 10 + c.state);
        control.SetNumber("State", c.state);
        at(IDC_EDIT_FIRMWAREPATH).text.clear();
        at(IDC_EDIT_STATISTICS).text.clear();
        at(IDC_BTN_APPLY).enabled = false;
        at(IDC_COMBO_METHOD).selection = c.method;
        dlg().OnSelchange(IDC_COMBO_METHOD);
        EXPECT_EQ(methodLayout(model()), c.layout);
        EXPECT_EQ(at(IDC_EDIT_FIRMWAREPATH).text, c.path);
        EXPECT_EQ(at(IDC_EDIT_STATISTICS).text, c.statistics);
    }
    at(IDC_COMBO_METHOD).selection = kUpdateFirmware;
    control.SetNumber("State", 2);
    dlg().OnSelchange(IDC_COMBO_METHOD);
    EXPECT_EQ(at(IDC_BTN_APPLY).tip, "Click to call UpdateFirmware method");
    // The placeholders clear themselves when their edit gains the focus;
    // typed text stays.
    dlg().OnSetFocus(IDC_EDIT_FIRMWAREPATH);
    EXPECT_EQ(at(IDC_EDIT_FIRMWAREPATH).text, "");
    at(IDC_EDIT_FIRMWAREPATH).text = "fw.mocf";
    dlg().OnSetFocus(IDC_EDIT_FIRMWAREPATH);
    EXPECT_EQ(at(IDC_EDIT_FIRMWAREPATH).text, "fw.mocf");
    at(IDC_COMBO_METHOD).selection = kRetrieveStatistics;
    dlg().OnSelchange(IDC_COMBO_METHOD);
    dlg().OnSetFocus(IDC_EDIT_STATISTICS);
    EXPECT_EQ(at(IDC_EDIT_STATISTICS).text, "");
}

TEST_F(FrameTest, TheClaimTimeoutEditTakesDigitsAndMinusOnly)
{
    start();
    constexpr bool pass = false;
    constexpr bool swallow = true;
    const struct {
        int key;
        bool shift;
        bool consumed;
    } cases[] = {
        {'0', false, pass},      {'7', false, pass},      {0x60, false, pass},  {0x69, false, pass},
        {0x6D, false, pass},     {0xBD, false, pass},     {0x10, false, pass},  {'A', false, swallow},
        {'Z', false, swallow},   {0x20, false, swallow},  {0xBE, false, swallow}, {'5', true, swallow},
        {'A', true, swallow},    {0xBD, true, swallow},   {0x08, false, pass},  {0x09, false, pass},
        {0x25, false, pass},     {0x26, false, pass},     {0x27, false, pass},  {0x28, false, pass},
        {0x2E, false, pass},     {0x08, true, pass},      {0x2E, true, pass},   {0x25, true, pass},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.key) + (c.shift ? " with Shift" : ""));
        EXPECT_EQ(dlg().PreTranslateKey(c.key, c.shift, IDC_EDIT_CLAIMTIMEOUT), c.consumed);
    }
    // Elsewhere letters pass; Escape is swallowed everywhere.
    EXPECT_FALSE(dlg().PreTranslateKey('A', false, IDC_EDIT_STATISTICS));
    EXPECT_TRUE(dlg().PreTranslateKey(0x1B, false, IDC_EDIT_STATISTICS));
    EXPECT_TRUE(host.ended.empty());
}

TEST_F(FrameTest, EnterPressesTheFocusedButton)
{
    start();
    dlg().AppendOutput("line");
    EXPECT_TRUE(dlg().PreTranslateKey(0x0D, false, IDC_BTN_CLEARLOG));
    EXPECT_EQ(model().output, "");
    EXPECT_TRUE(dlg().PreTranslateKey(0x0D, false, IDC_BTN_ABOUT_KEY));
    EXPECT_EQ(host.abouts, 1);
}

TEST_F(FrameTest, SavingOverALongerFileLeavesJustTheOutputText)
{
    start();
    dlg().AppendOutput("Open   :    OPOS_SUCCESS");
    dlg().AppendOutput("Close    :   OPOS_SUCCESS");
    std::filesystem::create_directory("saved");
    const std::string path = std::filesystem::absolute("saved/log.txt").string();
    std::ofstream(path, std::ios::binary) << std::string(5000, 'x');
    host.savePath = path;
    const std::string home = std::filesystem::current_path().string();
    std::filesystem::current_path("saved");
    dlg().OnCommand(IDC_BTN_SAVELOG);
    EXPECT_EQ(std::filesystem::current_path().string(), home);
    EXPECT_EQ(readFile(path), "Close    :   OPOS_SUCCESS\r\n\r\nOpen   :    OPOS_SUCCESS");
    EXPECT_EQ(model().output, "Close    :   OPOS_SUCCESS\r\n\r\nOpen   :    OPOS_SUCCESS");

    // Cancelled: nothing is written, and the folder still comes back.
    host.savePath.clear();
    std::filesystem::current_path("saved");
    dlg().OnCommand(IDC_BTN_SAVELOG);
    EXPECT_EQ(std::filesystem::current_path().string(), home);
    EXPECT_EQ(host.saveDialogs, 2);
}

TEST_F(FrameTest, TheScannerLayoutShowsTheScannerRowsAndTheWideOutputBox)
{
    start();
    EXPECT_EQ(at(IDC_STATIC_SPECIFICTITLE).text, "Scanner Specific Properties");
    for (const int id : {IDC_BTN_SETDECODEDATA, IDC_COMBO_DECODEDATA, IDC_BTN_SCANDATA, IDC_BTN_SCANDATALABEL,
                         IDC_BTN_SCANDATATYPE, IDC_EDIT_SCANDATA, IDC_EDIT_SCANDATALABEL, IDC_EDIT_SCANDATATYPE})
        EXPECT_TRUE(at(id).shown) << id;
    for (const int id : {IDC_BTN_CAPAIM, IDC_BTN_FRAMEDATA, IDC_BTN_SETIMAGEMODE, IDC_COMBO_IMAGEMODE,
                         IDC_BTN_STARTSESSION, IDC_PREVIEW, IDC_STATIC_PREVIEWCAPTION, IDC_BTN_VIEWIMAGE,
                         IDC_BTN_GETDEVICEENABLE, IDC_BTN_OUTPUTID, IDC_BTN_CLEAROUTPUT})
        EXPECT_FALSE(at(id).shown) << id;
    EXPECT_EQ(model().outputWidth, 661);

    dlg().ShowImageScannerLayout();
    EXPECT_EQ(at(IDC_STATIC_SPECIFICTITLE).text, "Imager Specific Properties");
    EXPECT_FALSE(at(IDC_BTN_SCANDATA).shown);
    EXPECT_TRUE(at(IDC_BTN_CAPAIM).shown);
    EXPECT_TRUE(at(IDC_BTN_VIEWIMAGE).shown);
    EXPECT_FALSE(at(IDC_BTN_VIEWIMAGE).enabled);
    EXPECT_FALSE(at(IDC_PREVIEW).shown);
    EXPECT_EQ(model().outputWidth, 515);
}

TEST_F(FrameTest, TheAdvancedTextsAgreeWithTheBasicViewsWhereTheyShareAnId)
{
    const auto& basic = probe::strings();
    for (const auto* table : {&frameStrings(), &propertyStrings(), &methodStrings()})
        for (const auto& [id, text] : *table) {
            const auto found = basic.find(id);
            if (found != basic.end()) {
                EXPECT_EQ(found->second, text) << id;
            }
            for (const auto* other : {&frameStrings(), &propertyStrings(), &methodStrings()}) {
                const auto same = other->find(id);
                if (same != other->end()) {
                    EXPECT_EQ(same->second, text) << id;
                }
            }
        }
}

}  // namespace
}  // namespace vxtest

namespace vxtest {
namespace {

TEST_F(FrameTest, FrameDataGoesIntoImageJpgAndThePreview)
{
    start();
    dlg().ShowImageScannerLayout();
    // Nothing read: the preview stays hidden and the status says why it waits.
    imageControl.SetText("FrameData", "");
    dlg().OnCommand(IDC_BTN_FRAMEDATA);
    EXPECT_FALSE(at(IDC_PREVIEW).shown);
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "Processing the image. Please wait ...");
    EXPECT_FALSE(std::filesystem::exists("Image.jpg"));

    const std::string jpeg = vxsim::imagerImage(vxsim::ImageFormat::jpeg);
    imageControl.SetText("FrameData", jpeg);
    dlg().OnCommand(IDC_BTN_FRAMEDATA);
    EXPECT_EQ(readFile("Image.jpg"), jpeg);
    EXPECT_EQ(std::string(model().preview.begin(), model().preview.end()), jpeg);
    EXPECT_TRUE(at(IDC_PREVIEW).shown);
    EXPECT_FALSE(at(IDC_STATIC_PREVIEWCAPTION).shown);
    EXPECT_TRUE(at(IDC_BTN_VIEWIMAGE).enabled);
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "The displayed image is saved as Image.jpg ");
    EXPECT_FALSE(model().waitCursor);
    dlg().OnCommand(IDC_BTN_VIEWIMAGE);
    ASSERT_EQ(host.fullImages.size(), 1u);
    EXPECT_EQ(std::string(host.fullImages[0].begin(), host.fullImages[0].end()), jpeg);

    // The control says the file is missing (in any case): a line, no preview.
    imageControl.SetText("FrameData", "GIVEN FILE DOESNOT EXISTS");
    dlg().OnCommand(IDC_BTN_FRAMEDATA);
    EXPECT_EQ(model().output, "FrameData     :   GIVEN FILE DOESNOT EXISTS");
    EXPECT_FALSE(at(IDC_PREVIEW).shown);
    EXPECT_FALSE(at(IDC_BTN_VIEWIMAGE).enabled);
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
}

}  // namespace
}  // namespace vxtest
