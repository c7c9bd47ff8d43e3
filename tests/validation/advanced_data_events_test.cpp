// A label read in the Advanced View: the scanned data, label and type
// shown, DataEventEnabled re-armed or shown off, and the timer's DataCount
// line and DeviceEnabled list; first on the scripted control, then through
// the real control and service object with a simulated scanner.
#include "AdvancedTestSupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace vxtest;
using namespace adv;

namespace {

constexpr char kResults[] =
    "[ResultCode]\r\n0=OPOS_SUCCESS\r\n106=OPOS_E_ILLEGAL\r\n"
    "[ScanDataType]\r\n101=SCAN_SDT_UPCA\r\n";

std::vector<std::string> entries(const std::string& output)
{
    std::vector<std::string> found;
    std::size_t from = 0;
    while (true) {
        const std::size_t at = output.find("\r\n\r\n", from);
        found.push_back(output.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return found;
        from = at + 4;
    }
}

class DataEventsTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        std::ofstream("resultsProperty.ini", std::ios::binary | std::ios::trunc) << kResults;
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

}  // namespace
