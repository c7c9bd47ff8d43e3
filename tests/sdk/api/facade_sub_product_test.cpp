// Sub-product details through the facade, on a simulated hub connected over
// RS-232: what the caller gets when the hub answers, when its devices fall
// silent and spend the budget, when the hub itself is silent, and when the
// device no longer is a hub.
#include "ApiFixture.h"

#include "products/CHubProduct.h"
#include "simulator/identity_model.h"

using namespace vxtest;

namespace {

class SubProductFacadeTest : public ApiTest {
protected:
    // Plugs a one-hub scanner, discovers and connects it; the hub record.
    CHubProduct* connectHub(const std::string& id)
    {
        vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
        model.wireTime = false;
        model.menu = vxsim::identityMenu(m_identity);
        m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, id));
        EXPECT_TRUE(m_serial.back()->plug());
        connectAndCollect(discoverOne({0}));
        CDevice* connected = m_connection.getDevice();
        return connected != nullptr ? dynamic_cast<CHubProduct*>(connected->product) : nullptr;
    }

    const vxsim::IdentityModel m_identity = *vxsim::findIdentityModel("hub-single");
};

TEST_F(SubProductFacadeTest, OutcomesByWhatTheHubAnswers)
{
    const std::string firstAddress = m_identity.subProducts.at(0).address;
    struct Case {
        const char* name;
        std::function<void(vxsim::VirtualSerialPort&)> change;
        DWORD budget;
        int code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"every device answers", [](vxsim::VirtualSerialPort&) {}, 30000, 0, "getSubProductDetails successful!"},
        // The listing comes, the first device behind the hub never answers:
        // its identity query runs out of the budget.
        {"devices behind the hub silent",
         [&](vxsim::VirtualSerialPort& hub) {
             vxsim::DataFaults faults;
             faults.silentFrom = ":" + firstAddress + ":P_INFO";
             hub.setDataFaults(faults);
         },
         1500, 2, "timeout during get sub product details!"},
        // No answer to the hub tests says nothing about the budget: the
        // device is simply not recognised as a hub.
        {"hub silent",
         [](vxsim::VirtualSerialPort& hub) {
             vxsim::DataFaults faults;
             faults.silent = true;
             hub.setDataFaults(faults);
         },
         1000, 4, "error happen during get sub product details!"},
        {"no longer a hub",
         [](vxsim::VirtualSerialPort& hub) { hub.setMenuModel(identityMenuFor("PLAIN", "SN-PLAIN")); }, 30000, 4,
         "error happen during get sub product details!"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CHubProduct* hub = connectHub("api-hub-" + std::to_string(n++));
        ASSERT_NE(hub, nullptr);
        c.change(*m_serial.back());
        EXPECT_EQ(m_collection.getSubProductDetails(c.budget), c.code);
        EXPECT_EQ(lastErrorOf(m_collection), c.text);
        if (c.code == 0) {
            ASSERT_EQ(hub->subProducts.size(), m_identity.subProducts.size());
            for (std::size_t i = 0; i < hub->subProducts.size(); ++i) {
                EXPECT_EQ(hub->subProducts[i].deviceAddress, m_identity.subProducts[i].address);
                EXPECT_EQ(hub->subProducts[i].serialNumber, m_identity.subProducts[i].identity.serialNumber);
            }
        }
        m_serial.back()->setDataFaults({});
        ASSERT_EQ(m_collection.shutDown(), 0);
        ASSERT_EQ(m_connection.disconnect(), 0);
        m_serial.back()->unplug();
        for (CDevice* device : m_found.devices)
            delete device;
        m_found.devices.clear();
    }
}

// A scanner that is no hub has no sub-products to read.
TEST_F(SubProductFacadeTest, PlainScannerIsRefused)
{
    plugSerial("rs232", "api-plain");
    connectAndCollect(discoverOne({0}));
    EXPECT_EQ(m_collection.getSubProductDetails(5000), 4);
    EXPECT_EQ(lastErrorOf(m_collection), "null sub product pointer!");
}

}  // namespace
