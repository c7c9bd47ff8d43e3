// The Advanced View's property buttons, list getters, setters, CheckHealth,
// Get All Properties and common methods, on the scripted scanner control:
// each line byte for byte as it lands on top of the output.
#include "AdvancedTestSupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace vxtest;
using namespace adv;

namespace {

// A results file with an entry for some values and none for others, so
// that a line shows which section it was looked up in.
constexpr char kPropertyResults[] =
    "[ResultCode]\r\n0=OPOS_SUCCESS\r\n106=OPOS_E_ILLEGAL\r\n111=OPOS_E_FAILURE\r\n"
    "[State]\r\n2=OPOS_S_IDLE\r\n"
    "[PowerState]\r\n2001=OPOS_PS_ONLINE\r\n"
    "[PowerReport]\r\n1=OPOS_PR_STANDARD\r\n"
    "[PowerNotify]\r\n1=OPOS_PN_ENABLED\r\n"
    "[BinaryConversion]\r\n1=OPOS_BC_NIBBLE\r\n2=OPOS_BC_DECIMAL\r\n"
    "[ScanDataType]\r\n101=SCAN_SDT_UPCA\r\n";

class PropertiesTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        std::ofstream("resultsProperty.ini", std::ios::binary | std::ios::trunc) << kPropertyResults;
        control.SetNumber("State", 2);
        start();
        setOutput("");
    }
    void setOutput(const std::string& text) { dlg().m_strOutput = model().output = text; }
    // The newest entry of the output.
    std::string top() { return entries(model().output).front(); }
    std::string selected(int list) { return model().selectedText(list); }
};

using Handler = void (CAdvancedValidation::*)();

struct PropertyCase {
    Handler handler;
    const char* member;
    LONG number;
    const char* text;
    const char* line;
};

TEST_F(PropertiesTest, EachPropertyButtonPutsItsLineOnTop)
{
    const PropertyCase cases[] = {
        {&CAdvancedValidation::OnBtnCheckHealthText, "CheckHealthText", 0, "Internal HCheck: Successful",
         "CheckHealthText     :         Internal HCheck: Successful"},
        {&CAdvancedValidation::OnBtnClaimed, "Claimed", 1, nullptr, "Claimed   :   True"},
        {&CAdvancedValidation::OnButtonCappowerReporting, "CapPowerReporting", 1, nullptr,
         "CAPPowerReporting    :   OPOS_PR_STANDARD"},
        {&CAdvancedValidation::OnBtnPowerState, "PowerState", 2001, nullptr, "PowerState    :   OPOS_PS_ONLINE"},
        {&CAdvancedValidation::OnBtnPowerState, "PowerState", 2004, nullptr, "PowerState    :   2004"},
        {&CAdvancedValidation::OnBtnResultCode, "ResultCode", 106, nullptr, "ResultCode   :   OPOS_E_ILLEGAL"},
        // The extended code is looked up among the result codes.
        {&CAdvancedValidation::OnButtonResultcodeExtn, "ResultCodeExtended", 106, nullptr,
         "ResultCodeExtended    :   OPOS_E_ILLEGAL"},
        {&CAdvancedValidation::OnButtonResultcodeExtn, "ResultCodeExtended", 302, nullptr,
         "ResultCodeExtended    :   302"},
        {&CAdvancedValidation::OnBtnControlobjVersion, "ControlObjectVersion", 1013002, nullptr,
         "COVersion   :   1013002"},
        {&CAdvancedValidation::OnButtonSover, "ServiceObjectVersion", 1013000, nullptr, "SOVersion   :   1013000"},
        {&CAdvancedValidation::OnBtnCapCompareFirmware, "CapCompareFirmwareVersion", 0, nullptr,
         "CAPCompareFirmwareVersion   :   False"},
        {&CAdvancedValidation::OnBtnCapUpdateFirmware, "CapUpdateFirmware", 1, nullptr, "CAPUpdateFirmware   :   True"},
        {&CAdvancedValidation::OnBtnCapStatisticsReporting, "CapStatisticsReporting", 1, nullptr,
         "CAPStatisticsReporting    :   True"},
        {&CAdvancedValidation::OnBtnCapUpdateStat, "CapUpdateStatistics", 0, nullptr,
         "CAPUpdateStatistics   :   False"},
        {&CAdvancedValidation::OnBtnDeviceDesc, "DeviceDescription", 0, "Lane 3 scanner",
         "DeviceDescription   :   Lane 3 scanner"},
        {&CAdvancedValidation::OnButtonOpenresult, "OpenResult", 0, nullptr, "OpenResult    :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnDeviceVersion, "DeviceName", 0, "Lane 3", "DeviceName   :   Lane 3"},
        {&CAdvancedValidation::OnButtonState, "State", 2, nullptr, "State    :   OPOS_S_IDLE"},
        {&CAdvancedValidation::OnButtonState, "State", 3, nullptr, "State    :   3"},
        {&CAdvancedValidation::OnBtnControlobjDescription, "ControlObjectDescription", 0, "The control",
         "CODescription    :   The control"},
        {&CAdvancedValidation::OnBtnServiceobjDesc, "ServiceObjectDescription", 0, "The service object",
         "SODescription   :   The service object"},
        // DataCount alone has a two-blank separator.
        {&CAdvancedValidation::OnBtnDataCount, "DataCount", 12, nullptr, "DataCount   :  12"},
    };
    for (const PropertyCase& c : cases) {
        SCOPED_TRACE(c.line);
        if (c.text != nullptr)
            control.SetText(c.member, c.text);
        else
            control.SetNumber(c.member, c.number);
        setOutput("older");
        (dlg().*c.handler)();
        EXPECT_EQ(model().output, std::string(c.line) + "\r\n\r\nolder");
    }
}

TEST_F(PropertiesTest, APropertyButtonWhoseReadFailsAddsNothing)
{
    switchLogOn();
    control.Fail("get Claimed", "gone");
    setOutput("older");
    dlg().OnBtnClaimed();
    EXPECT_EQ(model().output, "older");
    EXPECT_NE(logText().find("OnBtnClaimed"), std::string::npos);
}

struct ListCase {
    Handler handler;
    const char* property;
    LONG value;
    int list;
    int selection;
    const char* line;
};

TEST_F(PropertiesTest, ListGettersSelectTheValueAndShowIt)
{
    const ListCase cases[] = {
        {&CAdvancedValidation::OnButtonGetDeviceenable, "DeviceEnabled", 1, IDC_COMBO_DEVICEENABLE, 0,
         "Get DeviceEnable  :    True"},
        {&CAdvancedValidation::OnButtonGetDataenable, "DataEventEnabled", 0, IDC_COMBO_DATAEVENTENABLE, 1,
         "Get DataEventEnabled   :   False"},
        {&CAdvancedValidation::OnButtonGetAutodisable, "AutoDisable", 1, IDC_COMBO_AUTODISABLE, 0,
         "Get AutoDisable   :   True"},
        {&CAdvancedValidation::OnButtonGetFreezeevent, "FreezeEvents", 0, IDC_COMBO_FREEZEEVENTS, 1,
         "Get FreezeEvents   :   False"},
        {&CAdvancedValidation::OnButtonGetBinaryconversion, "BinaryConversion", 1, IDC_COMBO_BINARYCONVERSION, 1,
         "Get BinaryConversion  :   OPOS_BC_NIBBLE"},
        // No results entry: the number, and the entry of that number.
        {&CAdvancedValidation::OnButtonGetBinaryconversion, "BinaryConversion", 7, IDC_COMBO_BINARYCONVERSION, 7,
         "Get BinaryConversion  :   7"},
        {&CAdvancedValidation::OnButtonGetPowerNotify, "PowerNotify", 1, IDC_COMBO_POWERNOTIFY, 1,
         "Get PowerNotify   :   OPOS_PN_ENABLED"},
        {&CAdvancedValidation::OnButtonGetPowerNotify, "PowerNotify", 0, IDC_COMBO_POWERNOTIFY, 0,
         "Get PowerNotify   :   0"},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.line);
        control.SetNumber(c.property, c.value);
        at(c.list).selection = 3;
        (dlg().*c.handler)();
        EXPECT_EQ(top(), c.line);
        EXPECT_EQ(at(c.list).selection, c.selection);
    }
}

TEST_F(PropertiesTest, EnabledGettersKeepTheStateRecord)
{
    control.SetNumber("DeviceEnabled", 1);
    control.SetNumber("DataEventEnabled", 1);
    EXPECT_EQ(dlg().GetDeviceenable(), "True");
    EXPECT_EQ(dlg().GetDataenable(), "True");
    EXPECT_EQ(dlg().m_bDeviceEnabled, 1);
    EXPECT_EQ(dlg().m_bDataEventEnabled, 1);
    control.SetNumber("DeviceEnabled", 0);
    EXPECT_EQ(dlg().GetDeviceenable(), "False");
    EXPECT_EQ(dlg().m_bDeviceEnabled, 0);
    EXPECT_EQ(dlg().m_bDataEventEnabled, 1);
}

TEST_F(PropertiesTest, AFailedReadLeavesTheListsAsTheyWereKnown)
{
    switchLogOn();
    control.SetNumber("DeviceEnabled", 1);
    dlg().GetDeviceenable();
    for (const char* property : {"DeviceEnabled", "DataEventEnabled", "AutoDisable", "FreezeEvents",
                                 "BinaryConversion", "PowerNotify"})
        control.Fail(std::string("get ") + property, "gone");
    at(IDC_COMBO_DEVICEENABLE).selection = 1;
    at(IDC_COMBO_AUTODISABLE).selection = 0;
    at(IDC_COMBO_FREEZEEVENTS).selection = 1;
    at(IDC_COMBO_BINARYCONVERSION).selection = 2;
    at(IDC_COMBO_POWERNOTIFY).selection = 1;

    // The two with a member go by what they stored last.
    EXPECT_EQ(dlg().GetDeviceenable(), "True");
    EXPECT_EQ(at(IDC_COMBO_DEVICEENABLE).selection, 0);
    EXPECT_EQ(dlg().GetDataenable(), "False");
    EXPECT_EQ(at(IDC_COMBO_DATAEVENTENABLE).selection, 1);
    // The others stay and give what they show.
    EXPECT_EQ(dlg().GetAutodisable(), "True");
    EXPECT_EQ(dlg().GetFreezeevent(), "False");
    EXPECT_EQ(dlg().GetBinaryconversion(), "Decimal");
    EXPECT_EQ(dlg().GetPowerNotify(), "Enabled");
    EXPECT_EQ(at(IDC_COMBO_AUTODISABLE).selection, 0);
    EXPECT_EQ(at(IDC_COMBO_BINARYCONVERSION).selection, 2);
    EXPECT_EQ(dlg().m_bDeviceEnabled, 1);

    dlg().OnButtonGetAutodisable();
    EXPECT_EQ(top(), "Get AutoDisable   :   True");
    const std::string log = logText();
    EXPECT_NE(log.find("GetDeviceenable"), std::string::npos);
    EXPECT_NE(log.find("An exception has occured in service object"), std::string::npos);
}

TEST_F(PropertiesTest, AResultCodeLineStandsAloneOnAnEmptyOutputAndAboveOlderLines)
{
    dlg().ReportResultCode(std::string());
    EXPECT_EQ(model().output, "ResultCode   :   OPOS_SUCCESS");
    control.SetNumber("ResultCode", 106);
    dlg().ReportResultCode("Set Something  :  True");
    EXPECT_EQ(model().output,
              "Set Something  :  True  ,  ResultCode   :   OPOS_E_ILLEGAL\r\n\r\nResultCode   :   OPOS_SUCCESS");
}

struct SetterCase {
    Handler handler;
    int list;
    int entry;
    const char* call;
    const char* line;
};

TEST_F(PropertiesTest, EachSetterWritesTheChosenValueAndShowsItsLine)
{
    const SetterCase cases[] = {
        {&CAdvancedValidation::OnButtonSetDeviceenable, IDC_COMBO_DEVICEENABLE, 0, "put DeviceEnabled=1",
         "Set DeviceEnable  :  True  ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnSetdataevent, IDC_COMBO_DATAEVENTENABLE, 1, "put DataEventEnabled=0",
         "Set DataEventEnabled  :  False  ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnSetautodisable, IDC_COMBO_AUTODISABLE, 0, "put AutoDisable=1",
         "Set AutoDisable  :  True  ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnSetfreezeevents, IDC_COMBO_FREEZEEVENTS, 1, "put FreezeEvents=0",
         "Set FreezeEvents  :  False  ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnSetdeodedata, IDC_COMBO_DECODEDATA, 0, "put DecodeData=1",
         "Set DecodeData  :  True  ,  ResultCode   :   OPOS_SUCCESS"},
        // Any entry but the first writes false.
        {&CAdvancedValidation::OnBtnSetdeodedata, IDC_COMBO_DECODEDATA, -1, "put DecodeData=0",
         "Set DecodeData  :  False  ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnPowernotify, IDC_COMBO_POWERNOTIFY, 1, "put PowerNotify=1",
         "Set PowerNotify  :  OPOS_PN_ENABLED  ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnPowernotify, IDC_COMBO_POWERNOTIFY, 0, "put PowerNotify=0",
         "Set PowerNotify  :  0  ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnBinaryconversion, IDC_COMBO_BINARYCONVERSION, 2, "put BinaryConversion=2",
         "Set BinaryConversion  :  OPOS_BC_DECIMAL  ,  ResultCode   :   OPOS_SUCCESS"},
    };
    for (const SetterCase& c : cases) {
        SCOPED_TRACE(c.line);
        control.ClearCalls();
        at(c.list).selection = c.entry;
        (dlg().*c.handler)();
        const std::vector<std::string> made = calls();
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(made.front(), c.call);
        EXPECT_EQ(top(), c.line);
    }
}

TEST_F(PropertiesTest, ARefusedEnableShowsTheWordAndTheCodeAndKeepsTheStateRecord)
{
    struct {
        Handler handler;
        const char* property;
        int list;
        int CAdvancedValidation::*record;
        const char* title;
    } cases[] = {
        {&CAdvancedValidation::OnButtonSetDeviceenable, "DeviceEnabled", IDC_COMBO_DEVICEENABLE,
         &CAdvancedValidation::m_bDeviceEnabled, "Set DeviceEnable"},
        {&CAdvancedValidation::OnBtnSetdataevent, "DataEventEnabled", IDC_COMBO_DATAEVENTENABLE,
         &CAdvancedValidation::m_bDataEventEnabled, "Set DataEventEnabled"},
    };
    // From each remembered state, a refused write of either word leaves the
    // record as it was; a taken one moves it.
    for (const auto& c : cases) {
        for (const int remembered : {0, 1}) {
            for (const int entry : {0, 1}) {
                SCOPED_TRACE(std::string(c.property) + " remembered " + std::to_string(remembered) + " entry " +
                             std::to_string(entry));
                control.RefusePut(c.property, 0);
                at(c.list).selection = remembered == 1 ? 0 : 1;
                (dlg().*c.handler)();
                ASSERT_EQ(dlg().*c.record, remembered);

                control.RefusePut(c.property, 106);
                at(c.list).selection = entry;
                (dlg().*c.handler)();
                EXPECT_EQ(top(), std::string(c.title) + "  :  " + (entry == 0 ? "True" : "False") +
                                     "  ,  ResultCode   :   OPOS_E_ILLEGAL");
                EXPECT_EQ(dlg().*c.record, remembered);

                control.RefusePut(c.property, 0);
                (dlg().*c.handler)();
                EXPECT_EQ(dlg().*c.record, entry == 0 ? 1 : 0);
            }
        }
    }
}

TEST_F(PropertiesTest, ASetterWhoseWriteThrowsStillShowsItsLine)
{
    switchLogOn();
    struct {
        Handler handler;
        const char* put;
        int list;
        const char* line;
    } cases[] = {
        // The enable setters keep their word, and the state record.
        {&CAdvancedValidation::OnButtonSetDeviceenable, "put DeviceEnabled", IDC_COMBO_DEVICEENABLE,
         "Set DeviceEnable  :  True  ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnSetdataevent, "put DataEventEnabled", IDC_COMBO_DATAEVENTENABLE,
         "Set DataEventEnabled  :  True  ,  ResultCode   :   OPOS_SUCCESS"},
        // These three lose it.
        {&CAdvancedValidation::OnBtnSetautodisable, "put AutoDisable", IDC_COMBO_AUTODISABLE,
         "Set AutoDisable  :    ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnSetfreezeevents, "put FreezeEvents", IDC_COMBO_FREEZEEVENTS,
         "Set FreezeEvents  :    ,  ResultCode   :   OPOS_SUCCESS"},
        {&CAdvancedValidation::OnBtnSetdeodedata, "put DecodeData", IDC_COMBO_DECODEDATA,
         "Set DecodeData  :    ,  ResultCode   :   OPOS_SUCCESS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.put);
        control.Fail(c.put, "gone");
        at(c.list).selection = 0;
        (dlg().*c.handler)();
        EXPECT_EQ(top(), c.line);
    }
    EXPECT_EQ(dlg().m_bDeviceEnabled, 0);
    EXPECT_EQ(dlg().m_bDataEventEnabled, 0);
    EXPECT_NE(logText().find("An exception has occured in service object"), std::string::npos);
}

TEST_F(PropertiesTest, DecodeDataGoesToTheScannerControlWhateverTheTypeAndReportsTheActiveControlsCode)
{
    dlg().m_strDeviceType = "ImageScanner";
    imageControl.SetNumber("ResultCode", 106);
    imageControl.ClearCalls();
    control.ClearCalls();
    at(IDC_COMBO_DECODEDATA).selection = 0;
    dlg().OnBtnSetdeodedata();
    EXPECT_EQ(calls(), std::vector<std::string>{"put DecodeData=1"});
    EXPECT_EQ(imageControl.Calls(), std::vector<std::string>{"get ResultCode"});
    EXPECT_EQ(top(), "Set DecodeData  :  True  ,  ResultCode   :   OPOS_E_ILLEGAL");
}

TEST_F(PropertiesTest, CheckHealthCallsTheChosenLevelAndShowsItsResultWithoutACodeSuffix)
{
    switchLogOn();
    control.SetNumber("CheckHealth", 106);
    for (int entry : {0, 1, 2}) {
        control.ClearCalls();
        at(IDC_COMBO_CHECKHEALTH).selection = entry;
        dlg().OnButtonCheckhealth();
        EXPECT_EQ(calls(), std::vector<std::string>{"CheckHealth(" + std::to_string(entry + 1) + ")"});
        EXPECT_EQ(top(), "CheckHealth    :   OPOS_E_ILLEGAL");
    }
    control.Fail("CheckHealth", "gone");
    dlg().OnButtonCheckhealth();
    EXPECT_EQ(top(), "CheckHealth    :   OPOS_E_FAILURE");
    EXPECT_EQ(entries(model().output).size(), 4u);
}

TEST_F(PropertiesTest, ClearInputAndClearInputPropertiesShowTheirResult)
{
    switchLogOn();
    dlg().OnBtnClearInput();
    EXPECT_EQ(top(), "ClearInput  :  OPOS_SUCCESS");
    control.SetNumber("ClearInputProperties", 106);
    control.SetNumber("DataEventEnabled", 1);
    control.ClearCalls();
    dlg().OnButtonClearinputprop();
    EXPECT_EQ(top(), "ClearInputProperties  :  OPOS_E_ILLEGAL");
    // DataEventEnabled is read again afterwards.
    EXPECT_EQ(calls(), (std::vector<std::string>{"ClearInputProperties()", "get DataEventEnabled"}));
    EXPECT_EQ(at(IDC_COMBO_DATAEVENTENABLE).selection, 0);
    EXPECT_EQ(dlg().m_bDataEventEnabled, 1);

    // A call that threw gave no result: the failure's text stands in.
    control.Fail("ClearInput", "gone");
    control.Fail("ClearInputProperties", "gone");
    dlg().OnBtnClearInput();
    EXPECT_EQ(top(), "ClearInput  :  OPOS_E_FAILURE");
    dlg().OnButtonClearinputprop();
    EXPECT_EQ(top(), "ClearInputProperties  :  OPOS_E_FAILURE");
    EXPECT_NE(logText().find("An exception has occured in service object"), std::string::npos);
}

// The label of each line, newest first, of a Get All Properties block.
std::vector<std::string> blockLabels(const std::string& output, std::string& rest)
{
    const std::string header = std::string(13, '*') + "  Get All Properties " + std::string(78, '*') + "\r\n";
    const std::string footer = std::string(117, '*');
    std::vector<std::string> labels;
    if (output.rfind(header, 0) != 0)
        return labels;
    const std::size_t end = output.find(footer);
    if (end == std::string::npos)
        return labels;
    rest = output.substr(end + footer.size());
    for (const std::string& line : entries(output.substr(header.size(), end - header.size() - 4)))
        labels.push_back(line.substr(0, line.find(':')));
    return labels;
}

TEST_F(PropertiesTest, GetAllPropertiesWritesTheScannerBlockNewestFirst)
{
    setOutput("older");
    at(IDC_STATIC_STATUS).text = "something";
    dlg().OnBtnGetallprops();
    std::string rest;
    const std::vector<std::string> labels = blockLabels(model().output, rest);
    const std::vector<std::string> expected = {
        "ScanDataType  ", "ScanDataLabel  ", "ScanData  ", "Get DecodeData   ", "ResultCodeExtended    ",
        "ResultCode   ", "OpenResult    ", "COVersion   ", "CODescription    ", "SOVersion   ", "SODescription   ",
        "DataCount   ", "CAPPowerReporting    ", "CAPUpdateStatistics   ", "CAPStatisticsReporting    ",
        "CAPUpdateFirmware   ", "CAPCompareFirmwareVersion   ", "DeviceDescription   ", "DeviceName   ",
        "State    ", "PowerState    ", "Claimed   ", "CheckHealthText     ", "Get BinaryConversion  ",
        "Get PowerNotify   ", "Get FreezeEvents   ", "Get AutoDisable   ", "Get DataEventEnabled   ",
        "Get DeviceEnable  "};
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(labels.size(), 29u);
    // The asterisks close the block with one line break above what was there.
    EXPECT_EQ(rest, "\r\nolder");
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
}

TEST_F(PropertiesTest, GetAllPropertiesOfAnotherTypeGivesTheCommonLinesOnly)
{
    dlg().m_strDeviceType = "POSPrinter";
    dlg().OnBtnGetallprops();
    std::string rest = "unset";
    const std::vector<std::string> labels = blockLabels(model().output, rest);
    ASSERT_EQ(labels.size(), 25u);
    EXPECT_EQ(labels.front(), "ResultCodeExtended    ");
    EXPECT_EQ(labels.back(), "Get DeviceEnable  ");
    // On an empty output the asterisks end it.
    EXPECT_EQ(rest, "");
}

TEST_F(PropertiesTest, ResetPutsTheDisplaysBackToTheirDefaults)
{
    for (int list : {IDC_COMBO_DATAEVENTENABLE, IDC_COMBO_AUTODISABLE, IDC_COMBO_DEVICEENABLE, IDC_COMBO_FREEZEEVENTS,
                     IDC_COMBO_DECODEDATA, IDC_COMBO_BINARYCONVERSION, IDC_COMBO_POWERNOTIFY, IDC_COMBO_CHECKHEALTH,
                     IDC_COMBO_METHOD})
        at(list).selection = 2;
    for (int box : {IDC_EDIT_SCANDATA, IDC_EDIT_SCANDATALABEL, IDC_EDIT_SCANDATATYPE, IDC_EDIT_FIRMWAREPATH,
                    IDC_EDIT_STATISTICS})
        at(box).text = "kept";
    at(IDC_STATIC_DATACOUNT).text = "DataCount   :  9";

    dlg().resetValues();

    for (int list : {IDC_COMBO_DATAEVENTENABLE, IDC_COMBO_AUTODISABLE, IDC_COMBO_DEVICEENABLE, IDC_COMBO_FREEZEEVENTS,
                     IDC_COMBO_DECODEDATA})
        EXPECT_EQ(selected(list), "False") << list;
    for (int list : {IDC_COMBO_BINARYCONVERSION, IDC_COMBO_POWERNOTIFY, IDC_COMBO_CHECKHEALTH, IDC_COMBO_METHOD})
        EXPECT_EQ(at(list).selection, 0) << list;
    for (int box : {IDC_EDIT_SCANDATA, IDC_EDIT_SCANDATALABEL, IDC_EDIT_SCANDATATYPE, IDC_EDIT_FIRMWAREPATH,
                    IDC_EDIT_STATISTICS})
        EXPECT_EQ(at(box).text, "") << box;
    EXPECT_EQ(at(IDC_STATIC_DATACOUNT).text, "DataCount   :  0");
    // The method area shows the "Select method" layout.
    EXPECT_TRUE(at(IDC_EDIT_METHODPLACEHOLDER).shown);
    EXPECT_FALSE(at(IDC_BTN_APPLY).enabled);
}

TEST_F(PropertiesTest, HelpOpensTheFileOnceAndBringsItForwardAfterwards)
{
    dlg().OnBtnHelp();
    EXPECT_EQ(host.messages, std::vector<std::string>{"TillProbe help file does not exist"});
    EXPECT_EQ(model().focus, IDC_BTN_OPEN);
    EXPECT_TRUE(host.helpOpened.empty());

    std::ofstream("TillProbe.html") << "<html></html>";
    dlg().OnBtnHelp();
    ASSERT_EQ(host.helpOpened.size(), 1u);
    EXPECT_EQ(std::filesystem::path(host.helpOpened[0]).filename(), "TillProbe.html");
    host.helpOpen = true;
    dlg().OnBtnHelp();
    EXPECT_EQ(host.helpOpened.size(), 1u);
    EXPECT_EQ(host.raised, (std::vector<std::string>{"TillProbe", "TillProbe"}));
    std::filesystem::remove("TillProbe.html");
}

TEST_F(PropertiesTest, TheSystemMenusAboutEntryIgnoresTheLowBits)
{
    for (UINT command : {0x0010u, 0x0013u, 0x001Fu}) {
        EXPECT_TRUE(dlg().OnSysCommand(command)) << command;
    }
    EXPECT_EQ(host.abouts, 3);
    for (UINT command : {0x0020u, 0xF060u, 0x0000u})
        EXPECT_FALSE(dlg().OnSysCommand(command)) << command;
    EXPECT_EQ(host.abouts, 3);
}

}  // namespace
