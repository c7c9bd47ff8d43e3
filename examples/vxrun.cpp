// The main job of ./run. It grows with the suite: for now it plugs a
// simulated scanner on a virtual serial port and one on a virtual HID
// interface, and drives each through the SDK's ports as a host would.
#include "base/CScanningSDK.h"
#include "discovery/PORTINFO.h"
#include "ports/CBreaker.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidBarcodeScanner.h"
#include "ports/CUsbHidPort.h"

#include "platform/serial.h"

#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

bool report(bool ok, const std::string& what)
{
    std::printf("  [%s] %s\n", ok ? " ok " : "FAIL", what.c_str());
    return ok;
}

bool runSerial()
{
    std::printf("Serial: a simulated RS-232 scanner at 9600 8N1\n");
    vxsim::VirtualSerialPort device(*vxsim::findSerialModel("rs232"), "vxrun-rs232");
    const bool plugged = device.plug();
    if (!report(plugged, "virtual port published (" + device.ptyPath() + ")"))
        return false;

    std::string comName;
    for (const platform::SerialPortInfo& port : platform::listSerialPorts())
        if (port.isVirtual && port.devicePath == device.ptyPath())
            comName = port.comName;
    if (!report(!comName.empty(), "listed as " + (comName.empty() ? std::string("nothing") : comName)))
        return false;

    CSerialPort port;
    const std::string path = "\\\\.\\" + comName;
    if (!report(port.open(std::wstring(path.begin(), path.end())) == 0, "opened " + path))
        return false;
    bool ok = true;
    for (int baud : {115200, 9600}) {
        port.setup(baud, 2u);
        PORTINFO info{};
        info.port = &port;
        CBreaker breaker(&info);
        const bool answered = breaker.ping(false, false);
        ok &= report(answered == (baud == 9600), "sync ping at " + std::to_string(baud) + (answered ? ": answered" : ": silent"));
    }
    port.close();
    return ok;
}

bool runHid()
{
    std::printf("USB HID: a simulated point-of-sale scanner\n");
    vxsim::HidScanner device(*vxsim::findHidModel("hid-pos"), "vxrun-hid");
    if (!report(device.plug(), "virtual interface published"))
        return false;

    bool listed = false;
    for (const HidDeviceInfo& info : CUsbHidPort::listHidDevice(0, 0, 0, 0))
        listed |= info.path == device.hostPath();
    if (!report(listed, "listed as " + device.hostPath()))
        return false;

    CUsbHidBarcodeScanner port;
    const std::string path = device.hostPath();
    if (!report(port.open(std::wstring(path.begin(), path.end())) == 0, "opened"))
        return false;
    unsigned char scannerOn[2] = {254, 1};
    bool ok = report(port.setFeature(scannerOn, 2), "feature report 254 = 1 (scanner on)");

    const std::string label = "0123456789012";
    ok &= report(device.sendMessage(label), "label " + label + " scanned");
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (text.empty() && std::chrono::steady_clock::now() < deadline)
        port.read(text);
    ok &= report(text.find(label) != std::string::npos, "label read back: \"" + text + "\"");

    unsigned char scannerOff[2] = {254, 0};
    ok &= report(port.setFeature(scannerOff, 2), "feature report 254 = 0 (scanner off)");
    port.close();
    return ok;
}

}  // namespace

int main()
{
    CScanningSDK::setLogLevel(1);
    std::printf("Scanning SDK %s (log: scanningsdk.log in the current folder)\n", CScanningSDK::getVersion().c_str());
    const bool serial = runSerial();
    const bool hid = runHid();
    std::printf("%s\n", serial && hid ? "All steps passed." : "Some steps failed.");
    return serial && hid ? 0 : 1;
}
