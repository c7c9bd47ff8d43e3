// The Advanced View's controller on the real scanner control and service
// object, loaded through the registry, with a simulated imager on a virtual
// serial port without wire timing (fast enough for whole images): the device
// entry "Lane Imager" names it, and the control's events reach the
// controller while the test pumps messages.
#pragma once

#include "AdvancedTestSupport.h"
#include "ControlFixtures.h"
#include "DiscoveryFixture.h"
#include "QtTestApp.h"
#include "TestSupport.h"

#include "QtMessagePump.h"

#include "simulator/identity_model.h"
#include "simulator/virtual_serial_port.h"

#include <QApplication>

#include <cstdlib>
#include <memory>
#include <string>

namespace vxtest {

class AdvancedRealScannerTest : public AdvancedTest {
protected:
    static constexpr const char* kDevice = "Lane Imager";

    void SetUp() override
    {
        AdvancedTest::SetUp();
        qtApp();
        m_pump = std::make_unique<QtMessagePump>();
        ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
        ASSERT_EQ(controltest::RegisterLibrary("libVXKestrelSO.so"), S_OK);
        vxsim::SerialModel model = serialScannerModel("rs232-115200", "SIMSERIAL", "SN-IMAGER");
        model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("arch2"), model.menu);
        model.menu.image = std::string();  // real images in the format asked for
        adjustMenu(model.menu);
        device = std::make_unique<vxsim::VirtualSerialPort>(model, "advanced-e2e");
        ASSERT_TRUE(device->plug()) << device->lastError();
        addEntry(kDevice);
        writeText(devicePath(kDevice), "PORT", comNameOf(*device));
        ASSERT_EQ(realSite.Create(kScannerControlClsid), S_OK);
        scanner.Attach(realSite.Dispatch());
        start();
        realSite.onDataEvent = [this](LONG status) { m_dlg->OnDataEventScanner(status); };
        realSite.onErrorEvent = [this](LONG rc, LONG rce, LONG locus, LONG* response) {
            m_dlg->OnErrorEventScanner(rc, rce, locus, response);
        };
        realSite.onStatusUpdateEvent = [this](LONG data) { m_dlg->OnStatusUpdateEventScanner(data); };
    }
    void TearDown() override
    {
        if (m_dlg && (m_dlg->m_nScannerOpenResult == 0 || m_dlg->m_nScannerOpenResult == 106))
            scanner.Close();
        AdvancedTest::TearDown();
        scanner.Attach(nullptr);
        device.reset();
        m_pump.reset();
    }
    // A test's own menu rules, before the device is plugged.
    virtual void adjustMenu(vxsim::MenuModel&) {}

    // Opens, claims and enables the device through the view's own buttons
    // and lists.
    void openClaimEnable()
    {
        choose(kDevice);
        dlg().OnCommand(adv::IDC_BTN_OPEN);
        ASSERT_EQ(dlg().m_nScannerOpenResult, 0) << model().output << " OpenResult " << scanner.GetOpenResult();
        dlg().OnCommand(adv::IDC_BTN_CLAIM);
        ASSERT_EQ(dlg().m_nClaimResult, 0) << model().output;
        scanner.SetDeviceEnabled(TRUE);
        ASSERT_EQ(scanner.GetResultCode(), 0);
        dlg().OnBtnClearlog();
    }
    // Pumps the control's events until `done` holds (bounded).
    template <typename Condition>
    bool pumpUntil(Condition done)
    {
        return waitUntil([&] {
            QApplication::processEvents();
            return done();
        });
    }
    std::string output() { return model().output; }

    std::unique_ptr<QtMessagePump> m_pump;
    std::unique_ptr<vxsim::VirtualSerialPort> device;
    ControlSite realSite;
};

}  // namespace vxtest
