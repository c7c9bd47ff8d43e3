// The simulated scanner as the flash library meets it: the application (menu
// commands, P_INFO, the commands that put it into its bootloader and take it
// out, the relay of bootloader bytes in NEWBLI commands) and the bootloader
// itself (BTLPRO, the single-byte handshake, erase, program, exit), on the
// simulated scanner's serial port and HID interfaces with their own menu
// answers switched off.
//
// Links:
//   rs232: application and bootloader on one virtual serial port;
//   hid:   the application is one HID interface (product id vendor id + 1,
//          interface 1, as the host's package search forms it), the
//          bootloader another (product id 0x0B01, interface 0), plugged
//          only while it runs;
//   cdc:   the application on a virtual serial port (a USB serial device),
//          the bootloader a HID interface.
// Both HID interfaces carry the maker's first vendor id and usage 2 on the
// bar-code scanner page; their paths hold "vid_%04x&pid_%04x&mi_%02x".
//
// A strict peer: it answers only what the wire formats allow, and refuses
// (no answer, or NAK where the protocol has one) anything else, so that a
// host that speaks the protocol wrongly fails:
//  - A menu command is SYN, the command's own class letter ('M' for P_INFO,
//    TRGMOD0;TRGITG1!, VISMN40; 'Y' for NEWAP2, NEWBLS, NEWBLE, NEWBLI...,
//    BTLPRO*), CR, and the text up to its '.' or '!'. Another letter, a
//    missing CR or a byte outside a frame is refused. The sync probe (SYN
//    'C' CR, a NUL may follow) is answered with ACK by the application.
//    Commands it does not know get ENQ.
//  - Serial line (rs232): the application takes only bytes sent at its own
//    rate, data bits and parity (`appLine`; stop bits are not seen by a
//    receiver), the bootloader only at 115200 8N1; other bytes are garbage
//    to it and cut short whatever it was collecting. A USB serial port
//    (cdc) takes any line.
//  - HID: every output report carries id 0xFD, a count of at most 62,
//    zeros behind the count and the interface's output length. A menu or
//    relay command fills one report. The bootloader takes its single bytes
//    one per report, an address in a report of 4, a block's data in 66
//    reports of 62 and one of 4, its sum in a report of 2; a report of
//    another size is refused with NAK.
//  - The bootloader's session opens with BTLPRO*; ESC, then ACK (ESC may
//    be repeated) come before any operation. An operation before the
//    handshake, ACK before ESC, or an unknown operation is refused with NAK.
//    Erase: 'E', then the block's address (4 bytes, high first). Program:
//    'P', DC1, the address, the 4096 bytes, their 16-bit sum (high first).
//    'X' leaves the bootloader.
//  - The relay (NEWBLI commands, only after NEWBLS opened flash mode, until
//    NEWBLE) keeps the same rules: ESC, ACK, then 'E' and an address, 'P'
//    and an address, 256 frames of 16 data bytes and their sum. A relay
//    command carries 1 byte (an operation), 4 (an address) or 18 (a frame);
//    anything else is answered with NAK.
// Everything it took in, refused or not, is in log() in order.
//
// The flash is modelled as flash: erasing sets 0xFF, programming ANDs the
// data in, so a block programmed without its erase reads back wrong. Before
// any update the flash holds 0x00 everywhere ("old firmware"). The written
// images stay readable for a byte-for-byte comparison. The application
// starts again only when every one of its blocks was written since it was
// last erased.
//
// Faults: a block hook (or failAtBlock) decides what the device does when a
// data block is complete: acknowledge it, reject it, fall silent, restart in
// the middle of the session, or disappear from the host. The application
// and the bootloader can each be made mute. answerWrongly makes chosen
// attempts of a step get a wrong answer (so that a host's retry shows).
//
// Threads: one thread polls the simulated devices and answers; every public
// call may be made from any thread. The block hook runs on that thread.
#pragma once

#include "simulator/hid_model.h"
#include "simulator/serial_model.h"
#include "simulator/vendor_ids.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vxsim {

class HidScanner;
class VirtualSerialPort;

enum class BootLink { rs232, hid, cdc };

// What the device does when a data block is complete, before it answers.
enum class BlockAction {
    ack,     // stores the block and acknowledges it
    reject,  // answers NAK
    silent,  // never answers anything again
    reset,   // restarts: forgets the session and answers nothing until a new one
    unplug,  // disappears from the host
};

// Steps that answerWrongly can make fail, and the wrong answer each gets.
enum class BootStep {
    pinfo,    // P_INFO (application or bootloader): ENQ, no "P_INFO" header
    trgmod,   // the trigger lock: NAK where its first ACK belongs
    newbls,   // flash mode for the boot image: NAK where DC1 belongs
    btlpro,   // the bootloader's session: its ACK a byte early (byte 8)
    escape,   // the handshake's ESC, direct or relayed: NAK
    vismn40,  // back to normal operation: 16 zero bytes ahead of the reply
};

namespace bootmap {
constexpr std::uint16_t kVendor = kMakerVendorId1;
constexpr std::uint16_t kAppProduct = kVendor + 1;
constexpr unsigned kAppInterface = 1;
constexpr std::uint16_t kBootProduct = 0x0B01;
constexpr std::size_t kBlock = 4096;
constexpr std::uint32_t kBootLowBase = 0x1FC00000u;
constexpr std::size_t kBootLowSize = 0x3000;
constexpr std::uint32_t kMainBase = 0x1D000000u;
constexpr std::size_t kMainSize = 0x80000;  // the application, then the boot image's upper part
constexpr std::size_t kAppSize = 0x78000;
}  // namespace bootmap

// A serial line as the scanner receives it.
struct BootLine {
    unsigned baudRate = 115200;
    int dataBits = 8;
    int parity = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
};

struct BootloaderOptions {
    BootLink link = BootLink::rs232;
    // The scanner sits in its bootloader from the start (no valid
    // application).
    bool startInBoot = false;
    // Names the devices in the runtime directory; the HID interfaces add
    // "-app" and "-boot".
    std::string id = "bootloader";
    // Serial: bytes travel no faster than the host's baud rate would carry
    // them. Off, they go as fast as the pseudo-terminal takes them.
    bool wireTime = false;
    // HID: the interfaces' report interval in microseconds, one report per
    // interval each way: the device's input reports and the host's output
    // reports (0: unpaced).
    unsigned reportIntervalUs = 0;
    // rs232: the line the application works at (the bootloader's is always
    // 115200 8N1).
    BootLine appLine;
    // Firmware compatibility codes in P_INFO ("app-compat" ...); a code of
    // the firmware file's compatibility record that meets them decides.
    std::vector<unsigned> appCompat = {17};
    std::vector<unsigned> appIncompat;
    std::vector<unsigned> bootCompat;
    std::vector<unsigned> bootIncompat;
    // hid, cdc: the bootloader's HID interface appears this long after the
    // application restarted into it (a slow enumeration).
    unsigned bootDeviceDelayMs = 0;
    // The serial port (rs232, cdc) and the application's HID interface (hid)
    // as these models present them (kind, filter driver, rate, strings);
    // unset: an RS-232 or USB-serial port at 115200 and the point-of-sale
    // HID model. The ids, the interface numbers and the usage above stay.
    std::optional<SerialModel> serialModel{};
    std::optional<HidModel> applicationHidModel{};
    // Sees every byte the application receives before its flash commands
    // do, and returns the bytes (whole command frames) that go on to them;
    // what it keeps, it answers itself. Runs on the scanner's thread.
    std::function<std::vector<std::uint8_t>(std::uint8_t)> applicationFilter{};
};

class BootloaderScanner {
public:
    explicit BootloaderScanner(BootloaderOptions options);
    BootloaderScanner(BootLink link, bool startInBoot = false, const std::string& id = "bootloader");
    ~BootloaderScanner();
    BootloaderScanner(const BootloaderScanner&) = delete;
    BootloaderScanner& operator=(const BootloaderScanner&) = delete;

    BootLink link() const;
    // The pseudo-terminal of the serial port (rs232, cdc); empty for hid.
    std::string serialPath() const;
    // The host path of the HID device that runs now: the bootloader's while
    // the scanner is in boot mode, else the application's (hid); the
    // bootloader's for cdc; empty for rs232.
    std::string hidPath() const;

    // Runs on the simulator's thread with the number of blocks completed
    // before this one (over the whole life of the scanner). Null: every
    // block is acknowledged.
    void setBlockHook(std::function<BlockAction(int)> hook);
    // The block after `blocksDone` completed blocks gets `action`, every
    // other block is acknowledged.
    void failAtBlock(int blocksDone, BlockAction action);
    // A bootloader that never answers BTLPRO.
    void setBootloaderMute(bool mute);
    // An application that never answers anything.
    void setApplicationMute(bool mute);
    // The listed attempts at `step` (counted from 1 over the scanner's life)
    // get the step's wrong answer; the others the right one.
    void answerWrongly(BootStep step, std::vector<int> attempts);

    // The boot image as the flash holds it: the low part, then the upper
    // part behind the application.
    std::vector<std::uint8_t> bootCopy() const;
    std::vector<std::uint8_t> appCopy() const;
    // Menu commands the application and the bootloader accepted, as their
    // text with the mark ("P_INFO.", "NEWBLS."); relay commands are
    // counted, not listed.
    std::vector<std::string> commands() const;
    int relayCommands() const;
    // Everything taken in, in order, one line each:
    //   "app <command>"  a menu command the application took ("app P_INFO.",
    //                    "app SYN C" for the sync probe);
    //   "relay ESC", "relay ACK", "relay E <address>", "relay P <address>",
    //   "relay block <address>" (its 256 frames complete);
    //   "boot <command>" (BTLPRO*., P_INFO.), "boot ESC", "boot ACK",
    //   "boot E <address>", "boot P", "boot block <address>", "boot X";
    //   "restart into boot", "restart into app";
    //   "refused <app|relay|boot|hid>: <why>".
    // Addresses are eight lower-case hex digits. A wrongly answered
    // attempt carries " (answered wrongly)".
    std::vector<std::string> log() const;
    // The "refused ..." lines of log().
    std::vector<std::string> refusals() const;
    // Blocks stored, in order, by their flash address.
    std::vector<std::uint32_t> blocks() const;
    bool inBoot() const;
    // The host's baud rate when the bootloader session opened (serial).
    unsigned bootloaderBaud() const;

    // The devices the scanner presents, for a caller that plays more of
    // the scanner on them; null where the link has none.
    VirtualSerialPort* serialPort() const;
    HidScanner* applicationHid() const;
    HidScanner* bootloaderHid() const;

    // What crossed the links so far: serial bytes each way, HID reports
    // each way (output reports from the host, input reports to it).
    struct Traffic {
        std::size_t serialFromHost = 0;
        std::size_t serialToHost = 0;
        std::size_t reportsFromHost = 0;
        std::size_t reportsToHost = 0;
    };
    Traffic traffic() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vxsim
