#include "AdvancedEndToEnd.h"

#include "QtTestApp.h"
#include "TestSupport.h"

#include "FirmwareFixture.h"
#include "QtMessagePump.h"

#include <QApplication>

#include <filesystem>

namespace vxtest {

void AdvancedEndToEndTest::SetUp()
{
    prepareProbeFolder();
    qtApp();
    pump = std::make_unique<QtMessagePump>();
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
    ASSERT_EQ(controltest::RegisterLibrary("libVXKestrelSO.so"), S_OK);
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSImageScanner.so"), S_OK);
    const std::string protocolFile = std::filesystem::absolute(kProtocolFile).string();
    FirmwareFiles::writeProtocolFile(protocolFile, "");
    writeText("SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex\\Debugger", "FWProtocolFile", protocolFile);
}

void AdvancedEndToEndTest::TearDown()
{
    if (m_dlg) {
        // The service object lets go of the scanner before it goes.
        if (m_dlg->m_nScannerOpenResult == 0 || m_dlg->m_nScannerOpenResult == 106)
            scanner.Close();
        m_dlg.reset();
    }
    scannerSite.onDataEvent = nullptr;
    scannerSite.onErrorEvent = nullptr;
    scannerSite.onStatusUpdateEvent = nullptr;
    pump.reset();
    clearProbeState();
    std::filesystem::remove(kProtocolFile);
}

void AdvancedEndToEndTest::plug(ScannerWire chosen, const std::function<void(vxsim::MenuModel&)>& menu)
{
    wire = chosen;
    if (wire == ScannerWire::serial) {
        vxsim::SerialModel model = serialScannerModel("rs232-115200", "SIMSERIAL", "SN-PROBE");
        model.menu.image = std::string();
        if (menu)
            menu(model.menu);
        m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, "probe-e2e"));
        ASSERT_TRUE(m_serial.back()->plug()) << m_serial.back()->lastError();
        port = comNameOf(*m_serial.back());
    } else {
        vxsim::HidModel model = hidScannerModel("hid-pos", "SIMHID", "SN-PROBE");
        model.product = "Varnex Scanner";
        model.menu.image = std::string();
        if (menu)
            menu(model.menu);
        plugHid(model, "probe-e2e");
        port = "HID1";
    }
    addEntry(kDevice);
    writeText(devicePath(kDevice), "PORT", port);
}

void AdvancedEndToEndTest::start()
{
    ASSERT_EQ(scannerSite.Create(kScannerControlClsid), S_OK);
    ASSERT_EQ(imageSite.Create(kImageScannerControlClsid), S_OK);
    scanner.Attach(scannerSite.Dispatch());
    imageScanner.Attach(imageSite.Dispatch());
    m_dlg = std::make_unique<CAdvancedValidation>(host, scanner, imageScanner);
    scannerSite.onDataEvent = [this](LONG status) { m_dlg->OnDataEventScanner(status); };
    scannerSite.onErrorEvent = [this](LONG rc, LONG rce, LONG locus, LONG* response) {
        m_dlg->OnErrorEventScanner(rc, rce, locus, response);
    };
    scannerSite.onStatusUpdateEvent = [this](LONG data) { m_dlg->OnStatusUpdateEventScanner(data); };
    m_dlg->OnInitDialog();
}

void AdvancedEndToEndTest::openAndClaim()
{
    dlg().OnDropdownComboDeviceName();
    AdvancedControl& names = at(adv::IDC_COMBO_DEVICENAME);
    const auto found = std::find(names.entries.begin(), names.entries.end(), kDevice);
    ASSERT_NE(found, names.entries.end());
    names.selection = static_cast<int>(found - names.entries.begin());
    dlg().OnSelchange(adv::IDC_COMBO_DEVICENAME);
    dlg().OnCommand(adv::IDC_BTN_OPEN);
    ASSERT_EQ(dlg().m_nScannerOpenResult, 0) << model().output;
    // The claim connects to the scanner first: on a busy machine that may
    // take longer than the form's default; a claim that works returns at once.
    at(adv::IDC_EDIT_CLAIMTIMEOUT).text = "30000";
    dlg().OnCommand(adv::IDC_BTN_CLAIM);
    ASSERT_EQ(dlg().m_nClaimResult, 0) << model().output;
}

void AdvancedEndToEndTest::enable()
{
    at(adv::IDC_COMBO_DEVICEENABLE).selection = 0;
    dlg().OnCommand(adv::IDC_BTN_SETDEVICEENABLE);
    at(adv::IDC_COMBO_DATAEVENTENABLE).selection = 0;
    dlg().OnCommand(adv::IDC_BTN_SETDATAEVENT);
}

bool AdvancedEndToEndTest::waitFor(const std::function<bool()>& condition)
{
    return waitUntil([&] {
        QApplication::processEvents();
        return condition();
    });
}

void AdvancedEndToEndTest::scan(const std::string& label, char codeId, const std::string& aim)
{
    if (wire == ScannerWire::serial)
        m_serial.back()->scan(label, codeId, aim);
    else
        m_hid.back()->scan(label, codeId, aim);
}

void AdvancedEndToEndTest::unplug()
{
    if (wire == ScannerWire::serial)
        m_serial.back()->unplug();
    else
        m_hid.back()->unplug();
}

bool AdvancedEndToEndTest::replug()
{
    return wire == ScannerWire::serial ? m_serial.back()->plug() : m_hid.back()->plug();
}

std::vector<std::string> AdvancedEndToEndTest::menuCommands()
{
    return wire == ScannerWire::serial ? m_serial.back()->menuCommands() : m_hid.back()->menuCommands();
}

void AdvancedEndToEndTest::setMenu(const vxsim::MenuModel& menu)
{
    if (wire == ScannerWire::serial)
        m_serial.back()->setMenuModel(menu);
    else
        m_hid.back()->setMenuModel(menu);
}

}  // namespace vxtest
