// A scanner that a host both uses and updates: the application answers the
// host's identification queries, the sync ping and the data collection's
// menu commands as the identity model says, scans labels, and hands the
// flash library's commands (P_INFO., TRGMOD, NEWAP2, NEWBLS, NEWBLI,
// NEWBLE, VISMN40) to the bootloader scanner underneath (bootloader.h),
// which flashes, restarts and comes back.
//
// Kinds:
//   rs232         application (9600 8N1) and bootloader (115200 8N1) on one
//                 RS-232 port;
//   usbSerial     the application on a USB-serial (CDC) port, the bootloader
//                 a HID interface;
//   hidPos        the application a point-of-sale HID interface (its product
//                 string says "HID POS", its terminal id is 124), the
//                 bootloader another HID interface;
//   hidLob        the same as a line-of-business interface (no "HID POS",
//                 terminal id 131);
//   filterRs232   the same RS-232 port behind the remote-management filter driver,
//                 with its management port (usage 1 on the host's side).
//
// The library's default init string (SYN 'M' CR "VISMN42.") is answered as
// a menu command: its echo, ACK and the mark, or without the mark when
// asked to (a reply the host never sees end).
//
// Threads: the bootloader scanner's thread answers; every public call may
// be made from any thread.
#pragma once

#include "simulator/bootloader.h"
#include "simulator/identity_model.h"
#include "simulator/timeline.h"

#include <memory>
#include <string>
#include <vector>

namespace vxsim {

enum class FlashableKind { rs232, usbSerial, hidPos, hidLob, filterRs232 };

struct FlashableOptions {
    FlashableKind kind = FlashableKind::rs232;
    // Names the devices in the runtime directory (the bootloader scanner's
    // id).
    std::string id = "flashable";
    // Who the application says it is; "arch2" (P_INFO with "flash: 2" and
    // "hw-sn") unless changed.
    IdentityModel identity = *findIdentityModel("arch2");
    // Replaces the identity's serial number (SERNUM? and "hw-sn"); empty
    // keeps it.
    std::string serialNumber;
    // Answers the init string with its final '.'.
    bool initStringMark = true;
    bool startInBoot = false;
    bool wireTime = false;
    // HID reports, one per interval each way (0: unpaced).
    unsigned reportIntervalUs = 0;
};

// The kind's name as the program takes it ("rs232", "cdc", "hid-pos",
// "hid-lob", "filter-rs232"); false for an unknown name.
bool flashableKindFromName(const std::string& name, FlashableKind* kind);

class FlashableScanner {
public:
    explicit FlashableScanner(FlashableOptions options);
    ~FlashableScanner();
    FlashableScanner(const FlashableScanner&) = delete;
    FlashableScanner& operator=(const FlashableScanner&) = delete;

    // The flash, the faults (block hook, mutes), the devices.
    BootloaderScanner& bootloader();
    const FlashableOptions& options() const;
    // The application's port: the serial port's pty (rs232, usbSerial,
    // filterRs232) or the application's HID path (hidPos, hidLob).
    std::string serialPath() const;
    std::string hidPath() const;

    // Scans a label as the application (its packet with the decode header
    // on, the label alone with it off); false while the scanner is in its
    // bootloader or nobody listens.
    bool scan(const std::string& label, char codeId = 'd', const std::string& aim = "E0");
    // Stops answering (or answers again) the sync ping.
    void setPingSilent(bool silent);
    void setInitStringMark(bool mark);
    // Menu commands the application answered itself, in order (see
    // MenuEngine::commands), and the init strings it received.
    std::vector<std::string> menuCommands() const;
    int initStrings() const;
    bool decodeHeader() const;
    // Everything the host did to the scanner's devices, in order.
    std::vector<TimelineEvent> timeline() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vxsim
