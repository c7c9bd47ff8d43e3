// A label read in the Advanced View: the scanned data, label and type
// shown, DataEventEnabled re-armed or shown off, and the timer's DataCount
// line and DeviceEnabled list; first on the scripted control, then through
// the real control and service object with a simulated scanner.
// Before Qt's headers, whose "slots" it would meet.
#include "AdvancedEndToEnd.h"
#include "AdvancedTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace vxtest;
using namespace adv;

namespace {

constexpr char kEventResults[] =
    "[ResultCode]\r\n0=OPOS_SUCCESS\r\n106=OPOS_E_ILLEGAL\r\n"
    "[ScanDataType]\r\n101=SCAN_SDT_UPCA\r\n";

using Handler = void (CAdvancedValidation::*)();

class DataEventsTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        std::ofstream("resultsProperty.ini", std::ios::binary | std::ios::trunc) << kEventResults;
        addEntry("Lane Scanner");
        start();
        control.SetNumber("State", 2);
        control.SetText("ScanData", "\x02" "A0123456789\r");
        control.SetText("ScanDataLabel", "0123456789");
        control.SetNumber("ScanDataType", 101);
        setOutput("");
    }
    void setOutput(const std::string& text) { dlg().m_strOutput = model().output = text; }
};

TEST_F(DataEventsTest, WithDecodeDataALabelShowsItsDataLabelAndType)
{
    control.SetNumber("DecodeData", 1);
    control.FireDataEvent(0);
    const std::vector<std::string> lines = entries(model().output);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "ScanDataType  :  SCAN_SDT_UPCA");
    EXPECT_EQ(lines[1], "ScanDataLabel  :  0123456789");
    EXPECT_EQ(lines[2], "ScanData  :  [STX]A0123456789[CR]");
    EXPECT_EQ(at(IDC_EDIT_SCANDATA).text, "[STX]A0123456789[CR]");
    EXPECT_EQ(at(IDC_EDIT_SCANDATALABEL).text, "0123456789");
    EXPECT_EQ(at(IDC_EDIT_SCANDATATYPE).text, "SCAN_SDT_UPCA");
    EXPECT_EQ(model().focus, IDC_COMBO_DATAEVENTENABLE);
}

TEST_F(DataEventsTest, WithoutDecodeDataTheLabelIsEmptyAndTheTypeUnknown)
{
    control.SetNumber("DecodeData", 0);
    at(IDC_EDIT_SCANDATALABEL).text = "earlier";
    at(IDC_EDIT_SCANDATATYPE).text = "earlier";
    control.ClearCalls();
    control.FireDataEvent(0);
    EXPECT_EQ(entries(model().output), std::vector<std::string>{"ScanData  :  [STX]A0123456789[CR]"});
    EXPECT_EQ(at(IDC_EDIT_SCANDATALABEL).text, "");
    EXPECT_EQ(at(IDC_EDIT_SCANDATATYPE).text, "SCAN_SDT_UNKNOWN");
    for (const std::string& call : calls()) {
        EXPECT_NE(call, "get ScanDataLabel");
        EXPECT_NE(call, "get ScanDataType");
    }
}

TEST_F(DataEventsTest, ReEnableDataEventReArmsEachReadAndWithoutItTheListShowsFalse)
{
    control.SetNumber("DecodeData", 0);
    at(IDC_COMBO_DATAEVENTENABLE).selection = 0;
    dlg().OnCommand(ID_FILE_REENABLEDATAEVENT);
    ASSERT_TRUE(model().reEnableDataEvent);
    for (int read = 0; read < 3; ++read) {
        control.ClearCalls();
        control.FireDataEvent(0);
        EXPECT_EQ(control.Number("DataEventEnabled"), 1) << read;
        EXPECT_EQ(entries(model().output).front(),
                  "Set DataEventEnabled  :  True  ,  ResultCode   :   OPOS_SUCCESS");
        EXPECT_EQ(dlg().m_bDataEventEnabled, 1);
    }

    dlg().OnCommand(ID_FILE_REENABLEDATAEVENT);
    ASSERT_FALSE(model().reEnableDataEvent);
    control.FireDataEvent(0);
    EXPECT_EQ(control.Number("DataEventEnabled"), 0);
    EXPECT_EQ(model().selectedText(IDC_COMBO_DATAEVENTENABLE), "False");
    EXPECT_EQ(dlg().m_bDataEventEnabled, 0);
    EXPECT_EQ(entries(model().output).front(), "ScanData  :  [STX]A0123456789[CR]");
}

TEST_F(DataEventsTest, ATickShowsTheDataCountAndADeviceThatAutoDisableSwitchedOff)
{
    claimDevice("Lane Scanner");
    control.SetNumber("DeviceEnabled", 1);
    at(IDC_COMBO_DEVICEENABLE).selection = 0;
    dlg().OnButtonSetDeviceenable();
    ASSERT_EQ(dlg().m_bDeviceEnabled, 1);

    control.SetNumber("DataCount", 4);
    control.ClearCalls();
    tick();
    EXPECT_EQ(at(IDC_STATIC_DATACOUNT).text, "DataCount   :  4");
    // Nothing changed: two reads.
    EXPECT_EQ(calls(), (std::vector<std::string>{"get DataCount", "get DeviceEnabled"}));
    EXPECT_EQ(model().selectedText(IDC_COMBO_DEVICEENABLE), "True");

    // AutoDisable switched the device off after a read.
    control.SetNumber("DeviceEnabled", 0);
    tick();
    EXPECT_EQ(model().selectedText(IDC_COMBO_DEVICEENABLE), "False");
    EXPECT_EQ(dlg().m_bDeviceEnabled, 0);
}

TEST_F(DataEventsTest, ATickWhoseReadFailsLeavesTheLine)
{
    switchLogOn();
    at(IDC_STATIC_DATACOUNT).text = "DataCount   :  2";
    control.Fail("get DataCount", "gone");
    dlg().OnTimer(kDataCountTimer);
    EXPECT_EQ(at(IDC_STATIC_DATACOUNT).text, "DataCount   :  2");
    EXPECT_NE(logText().find("OnBtnDataCount"), std::string::npos);
}

TEST_F(DataEventsTest, ADataEventWhoseReadsFailChangesNothingAndIsLogged)
{
    switchLogOn();
    control.SetNumber("DecodeData", 1);
    control.Fail("get DecodeData", "gone");
    setOutput("older");
    control.FireDataEvent(0);
    // The ScanData line came before the failing read and stays; nothing else.
    EXPECT_EQ(entries(model().output),
              (std::vector<std::string>{"ScanData  :  [STX]A0123456789[CR]", "older"}));
    EXPECT_NE(logText().find("OnDataEventScanner"), std::string::npos);
}

// A label read through the real control and service object (the shared
// end-to-end fixture: a simulated scanner on USB HID).
class DataEventsEndToEndTest : public AdvancedEndToEndTest {
protected:
    void SetUp() override
    {
        AdvancedEndToEndTest::SetUp();
        plug();
        start();
        openAndClaim();
    }
    // Sets a true/false property through its setter and checks the line.
    void set(Handler handler, int list, bool value, const std::string& title)
    {
        at(list).selection = value ? 0 : 1;
        (dlg().*handler)();
        EXPECT_EQ(entries(model().output).front(),
                  title + "  :  " + (value ? "True" : "False") + "  ,  ResultCode   :   OPOS_SUCCESS");
    }
    // Scans a label and waits until one more ScanData line is in the output.
    bool read(const std::string& label)
    {
        const std::size_t before = count("ScanData  :  ");
        scan(label, 'd', "E0");
        return waitFor([&] { return count("ScanData  :  ") > before; });
    }
    std::size_t count(const std::string& prefix)
    {
        const std::vector<std::string> lines = entries(model().output);
        return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(prefix, 0) == 0;
        }));
    }
    void tick()
    {
        ASSERT_TRUE(host.TimerOn(kDataCountTimer));
        dlg().OnTimer(kDataCountTimer);
    }
};

TEST_F(DataEventsEndToEndTest, LabelsReadThroughTheRealControlShowTheirLinesAndReArm)
{
    set(&CAdvancedValidation::OnButtonSetDeviceenable, IDC_COMBO_DEVICEENABLE, true, "Set DeviceEnable");
    set(&CAdvancedValidation::OnBtnSetdeodedata, IDC_COMBO_DECODEDATA, true, "Set DecodeData");
    model().reEnableDataEvent = true;
    set(&CAdvancedValidation::OnBtnSetdataevent, IDC_COMBO_DATAEVENTENABLE, true, "Set DataEventEnabled");

    // Decoded: data, label and type, then the re-arm's line on top.
    ASSERT_TRUE(read("4006381333931")) << model().output;
    std::vector<std::string> lines = entries(model().output);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Set DataEventEnabled  :  True  ,  ResultCode   :   OPOS_SUCCESS");
    EXPECT_EQ(lines[1], "ScanDataType  :  " + at(IDC_EDIT_SCANDATATYPE).text);
    EXPECT_NE(at(IDC_EDIT_SCANDATATYPE).text, "SCAN_SDT_UNKNOWN");
    EXPECT_EQ(lines[2], "ScanDataLabel  :  4006381333931");
    EXPECT_EQ(lines[3].rfind("ScanData  :  ", 0), 0u);
    EXPECT_NE(lines[3].find("4006381333931"), std::string::npos);
    EXPECT_EQ(at(IDC_EDIT_SCANDATALABEL).text, "4006381333931");

    // Re-armed: the next label arrives with nobody touching the view.
    ASSERT_TRUE(read("96385074")) << model().output;
    EXPECT_EQ(at(IDC_EDIT_SCANDATALABEL).text, "96385074");

    // Without the re-arm, the list shows that data events are off now.
    model().reEnableDataEvent = false;
    set(&CAdvancedValidation::OnBtnSetdeodedata, IDC_COMBO_DECODEDATA, false, "Set DecodeData");
    ASSERT_TRUE(read("12345670")) << model().output;
    EXPECT_EQ(model().selectedText(IDC_COMBO_DATAEVENTENABLE), "False");
    EXPECT_EQ(dlg().m_bDataEventEnabled, 0);
    EXPECT_EQ(at(IDC_EDIT_SCANDATALABEL).text, "");
    EXPECT_EQ(at(IDC_EDIT_SCANDATATYPE).text, "SCAN_SDT_UNKNOWN");
    EXPECT_EQ(entries(model().output).front().rfind("ScanData  :  ", 0), 0u);
}

TEST_F(DataEventsEndToEndTest, ATickAfterAnAutoDisabledReadShowsTheDeviceOff)
{
    set(&CAdvancedValidation::OnButtonSetDeviceenable, IDC_COMBO_DEVICEENABLE, true, "Set DeviceEnable");
    set(&CAdvancedValidation::OnBtnSetautodisable, IDC_COMBO_AUTODISABLE, true, "Set AutoDisable");
    set(&CAdvancedValidation::OnBtnSetdataevent, IDC_COMBO_DATAEVENTENABLE, true, "Set DataEventEnabled");
    tick();
    EXPECT_EQ(at(IDC_STATIC_DATACOUNT).text, "DataCount   :  0");
    EXPECT_EQ(model().selectedText(IDC_COMBO_DEVICEENABLE), "True");

    ASSERT_TRUE(read("4006381333931")) << model().output;
    tick();
    EXPECT_EQ(model().selectedText(IDC_COMBO_DEVICEENABLE), "False");
    EXPECT_EQ(dlg().m_bDeviceEnabled, 0);
}

}  // namespace
