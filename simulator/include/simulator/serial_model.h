// What a simulated scanner is on a serial line, as data: the kind of port it
// presents, its own line settings, its modem lines, its answer to the sync
// ping, and the filter driver it may sit behind. The catalogue gives a few
// named models; tests and the program copy one and change what they need.
#pragma once

#include "simulator/menu_engine.h"

#include <optional>
#include <string>
#include <vector>

namespace vxsim {

// Modem lines as the host reads them (CTS 16, DSR 32, ring 64, carrier 128).
constexpr unsigned kLineCts = 0x10;
constexpr unsigned kLineDsr = 0x20;
constexpr unsigned kLineRing = 0x40;
constexpr unsigned kLineCarrier = 0x80;

// The remote-management filter driver in front of the port.
struct FilterDriverModel {
    bool present = false;
    // Text answers of the driver (UTF-16 on the wire): the port it sits on,
    // and its line-of-business port.
    std::string originalPort = "\\\\.\\COM9";
    std::string lobPort = "\\\\.\\COM9";
    bool wrapper = false;          // "do not unwrap LOB data"
    bool transactionMode = false;  // the host's transaction mode
    unsigned long long transactionTimeout = 0;  // ms
};

struct SerialModel {
    std::string name;
    // The kernel-device kind the port presents: "Serial" (RS-232),
    // "varnex_cdc_acmSerial" (the maker's USB-serial), "Serial_ptvd" (behind
    // the filter driver) or another driver's name.
    std::string deviceKind = "Serial";
    // A USB-serial device ignores the host's rate and framing.
    bool usbSerial = false;
    unsigned baudRate = 9600;
    int dataBits = 8;
    int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;  // 0 one, 1 one and a half, 2 two
    // Lines the device keeps up while attached.
    unsigned modemLines = kLineCts | kLineDsr | kLineCarrier;
    // The answer to the sync ping: ACK, NAK and the signature.
    std::vector<unsigned char> pingReply = {0x06, 0x15, 0x5E, 0x5F};
    // Every byte takes its wire time at the host's rate, both ways (a pty
    // carries any amount at once). Off for fast tests.
    bool wireTime = true;
    bool defaultConfig = true;
    FilterDriverModel filterDriver;
    // How the host's device tree shows the port: its description (empty:
    // the host's default for the kind), the bus of the device behind the
    // filter driver ("serial", "usbcdc"; empty: the host's default) and the
    // driver child's uniquifier (none: the host's default; an empty text
    // publishes a child without one).
    std::string description;
    std::string filterBus;
    std::optional<std::string> uniquifier;
    // Settings and replies of the menu commands.
    MenuModel menu;
};

// The named models: "rs232" (9600 8N1), "rs232-115200", "rs232-lines-down"
// (an RS-232 port whose modem lines all stay down), "usb-serial",
// "filter-rs232" (behind the filter driver), "filter-usb-serial" (a
// USB-serial device behind the filter driver), "other-driver" (a port of
// another maker's driver, kind "VCP"). Null for an unknown name.
const SerialModel* findSerialModel(const std::string& name);
std::vector<std::string> serialModelNames();

// The dps code of the host's line code table (parity group x 3 + variant):
// fills data bits, parity and stop bits; false above 14.
bool applyDpsCode(unsigned code, SerialModel* model);

// Seconds x 1e6 that `bytes` bytes take on the model's line.
long long wireMicroseconds(const SerialModel& model, std::size_t bytes);

}  // namespace vxsim
