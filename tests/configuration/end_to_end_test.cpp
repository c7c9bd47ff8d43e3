// The whole road from the utility to a scanner: an entry added through the
// add flow for a simulated scanner's COM port is opened and claimed by the
// scanner control, through the service object the entry names, and a label
// reaches the application's thread.
#include "ConfigTestSupport.h"
#include "ControlFixtures.h"
#include "DiscoveryFixture.h"
#include "EventFixtures.h"

using namespace vxtest;
using namespace ctl;
using controltest::Container;
using controltest::Sink;
using platform::DispatchArg;
namespace id = controltest;

namespace {

class AddedEntryTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        start(RegistryApi::System());
        ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
        ASSERT_EQ(controltest::RegisterLibrary("libVXKestrelSO.so"), S_OK);
        m_scanner = std::make_unique<vxsim::VirtualSerialPort>(
            serialScannerModel("rs232-115200", "SIMSERIAL", "SN-TILL"), "till-e2e");
        ASSERT_TRUE(m_scanner->plug()) << m_scanner->lastError();
    }

    std::unique_ptr<vxsim::VirtualSerialPort> m_scanner;
};

}  // namespace

TEST_F(AddedEntryTest, OpensAndClaimsThroughTheControlAndTheServiceObject)
{
    const std::string port = comNameOf(*m_scanner);
    ASSERT_FALSE(port.empty());
    fillAdd("Lane Scanner", port);
    dlg().OnAddbutton();
    ASSERT_EQ(host.messages, (std::vector<Shown>{{"Device added successfully", 3}}));

    Sink sink;
    {
        Container container({&sink});
        auto& control = container.control;
        container.run([&] {
            ASSERT_EQ(control->open("Lane Scanner"), 0);
            ASSERT_EQ(control->call(id::ClaimDevice, {DispatchArg::i4(30000)}), 0);  // generous: the claim connects first
            control->put(id::DeviceEnabled, DispatchArg::boolean(true));
            control->put(id::DecodeData, DispatchArg::boolean(true));
            control->put(id::DataEventEnabled, DispatchArg::boolean(true));
            EXPECT_EQ(control->get(id::ResultCode), 0);
        });
        // The claim reached the scanner on the entry's port.
        const std::vector<std::string> commands = m_scanner->menuCommands();
        EXPECT_NE(std::find(commands.begin(), commands.end(), "UPACKX1"), commands.end());

        m_scanner->scan("TILL42", 'j', "C0");
        ASSERT_TRUE(waitUntil([&] { return sink.count() >= 1; }));
        EXPECT_EQ(sink.fired()[0].id, 101);
        container.run([&] {
            EXPECT_EQ(control->text(id::ScanDataLabel), "TILL42");
            EXPECT_EQ(control->call(id::Close), 0);
        });
    }
}
