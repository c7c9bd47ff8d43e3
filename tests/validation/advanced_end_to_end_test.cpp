// The Advanced View on the real road: open, claim and enable a simulated
// imager through the real control and service object, read a label, list
// every property while it is claimed, release and close.
#include "AdvancedEndToEnd.h"

using namespace adv;

namespace vxtest {
namespace {

class AdvancedRoadTest : public AdvancedEndToEndTest, public ::testing::WithParamInterface<ScannerWire> {
protected:
    // The newest `count` entries of the output.
    std::string newest(int count)
    {
        const std::string& output = model().output;
        std::size_t end = 0;
        for (int i = 0; i < count && end != std::string::npos; ++i)
            end = output.find("\r\n\r\n", end == 0 ? 0 : end + 4);
        return end == std::string::npos ? output : output.substr(0, end);
    }
};

TEST_P(AdvancedRoadTest, OpenClaimEnableAndALabelsLines)
{
    plug(GetParam());
    start();
    openAndClaim();
    EXPECT_EQ(model().output,
              "Set Device Enable and Data Event Enable to true for reading data\r\nClaimDevice     :    OPOS_SUCCESS"
              "\r\n\r\nOpen   :    OPOS_SUCCESS");
    EXPECT_FALSE(at(IDC_COMBO_DEVICENAME).enabled);
    EXPECT_EQ(host.timers, (std::map<UINT, UINT>{{kDataCountTimer, 10}}));

    at(IDC_COMBO_DECODEDATA).selection = 0;
    dlg().OnCommand(IDC_BTN_SETDECODEDATA);
    enable();
    EXPECT_EQ(newest(2), "Set DataEventEnabled  :  True  ,  ResultCode   :   OPOS_SUCCESS\r\n\r\n"
                         "Set DeviceEnable  :  True  ,  ResultCode   :   OPOS_SUCCESS");

    scan("A\r\nB", 'j', "C0");
    ASSERT_TRUE(waitFor([&] { return !at(IDC_EDIT_SCANDATATYPE).text.empty(); })) << model().output;
    const std::string type = dlg().IniText("ScanDataType", 110);
    EXPECT_EQ(newest(3), "ScanDataType  :  " + type + "\r\n\r\nScanDataLabel  :  A[CR][LF]\nB\r\n\r\n"
                         "ScanData  :  j]C0A[CR][LF]\nB");
    EXPECT_EQ(at(IDC_EDIT_SCANDATALABEL).text, "A[CR][LF]\nB");
    EXPECT_EQ(at(IDC_EDIT_SCANDATA).text, "j]C0A[CR][LF]\nB");
    EXPECT_EQ(at(IDC_EDIT_SCANDATATYPE).text, type);
    EXPECT_NE(type, "110");

    dlg().OnCommand(IDC_BTN_RELEASE);
    EXPECT_EQ(newest(1), "ReleaseDevice    :   OPOS_SUCCESS");
    EXPECT_EQ(at(IDC_STATIC_DATACOUNT).text, "DataCount  :  0");
    EXPECT_TRUE(host.timers.empty());
    dlg().OnCommand(IDC_BTN_CLOSE);
    EXPECT_EQ(newest(1), "Close    :   OPOS_SUCCESS");
    EXPECT_EQ(dlg().m_nScannerOpenResult, 104);
    EXPECT_TRUE(at(IDC_COMBO_DEVICENAME).enabled);
}

TEST_P(AdvancedRoadTest, GetAllPropertiesWhileClaimed)
{
    plug(GetParam());
    start();
    openAndClaim();
    enable();
    dlg().OnBtnClearlog();
    dlg().OnCommand(IDC_BTN_GETALLPROPS);
    const std::string& all = model().output;
    EXPECT_EQ(all.rfind("*************  Get All Properties ***", 0), 0u) << all;
    const std::string name = GetParam() == ScannerWire::hid ? "SIMHID" : "SIMSERIAL";
    for (const std::string& line : std::vector<std::string>{"\r\nClaimed   :   True\r\n", "\r\nState    :   OPOS_S_IDLE\r\n",
                                   "\r\nDeviceName   :   " + name + "\r\n", "\r\nOpenResult    :   OPOS_SUCCESS\r\n",
                             "\r\nGet DeviceEnable  :    True\r\n",
                             "\r\nSODescription   :   Varnex OPOS Scanner (Barcode) Service Object\r\n"})
        EXPECT_NE(all.find(line), std::string::npos) << line << "\n" << all;
    EXPECT_EQ(all.substr(all.size() - 10), std::string(10, '*'));
}

INSTANTIATE_TEST_SUITE_P(Wires, AdvancedRoadTest, ::testing::Values(ScannerWire::hid, ScannerWire::serial),
                         [](const auto& info) { return info.param == ScannerWire::hid ? "Hid" : "Serial"; });

}  // namespace
}  // namespace vxtest
