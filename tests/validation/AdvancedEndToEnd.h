// The Advanced View's controller on the real road: the real scanner control
// and service object, loaded through the registry, the device entry "Lane
// Scanner" as TillSetup writes it, and a simulated imager on an in-process
// USB HID device (or serial port). The host is the scripted one; control
// events arrive through the message pump, which waitFor turns.
#pragma once

// Before Qt's headers, whose "slots" it would meet.
#include "ControlFixtures.h"

#include "AdvancedTestSupport.h"
#include "DiscoveryFixture.h"
#include "QtMessagePump.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vxtest {

enum class ScannerWire { hid, serial };

class AdvancedEndToEndTest : public DiscoveryTest {
protected:
    static constexpr const char* kDevice = "Lane Scanner";
    // The service object reads its firmware settings once per process, at
    // its first open: every test names this protocol file (short timings),
    // in the working folder all tests of the program share.
    static constexpr const char* kProtocolFile = "fw-timings.txt";

    void SetUp() override;
    void TearDown() override;
    // Plugs the simulated imager (its menu model changed by `menu` first)
    // and writes its device entry with the port it sits on.
    void plug(ScannerWire wire = ScannerWire::hid, const std::function<void(vxsim::MenuModel&)>& menu = {});
    // Makes the controller on the real controls and runs its start-up.
    void start();
    // Chooses the device, opens and claims it, each OPOS_SUCCESS.
    void openAndClaim();
    // DeviceEnabled and DataEventEnabled set true through their buttons.
    void enable();
    // Turns the message pump until `condition` holds (a generous bound).
    bool waitFor(const std::function<bool()>& condition);

    // The simulated scanner.
    void scan(const std::string& label, char codeId = 'j', const std::string& aim = "C0");
    void unplug();
    bool replug();
    std::vector<std::string> menuCommands();
    void setMenu(const vxsim::MenuModel& menu);

    CAdvancedValidation& dlg() { return *m_dlg; }
    AdvancedViewModel& model() { return m_dlg->Model(); }
    AdvancedControl& at(int id) { return m_dlg->Model().at(id); }

    FakeAdvancedHost host;
    std::unique_ptr<QtMessagePump> pump;
    ControlSite scannerSite;
    ControlSite imageSite;
    COPOSScanner scanner;
    COPOSImageScanner imageScanner;
    std::unique_ptr<CAdvancedValidation> m_dlg;
    ScannerWire wire = ScannerWire::hid;
    std::string port;
};

}  // namespace vxtest
