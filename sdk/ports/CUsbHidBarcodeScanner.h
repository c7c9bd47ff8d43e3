// The port of a scanner attached as a HID point-of-sale device: its data
// travels in 64-byte reports.
//
// Output report (host to scanner): byte 0 the report id 0xFD, byte 1 the
// number n of data bytes (1 to 62), then the data, then zeros.
// Input report (scanner to host): byte 0 the report id, byte 1 the number n
// of data bytes (at most 56), bytes 2-4 the AIM symbology identifier, bytes
// 5-60 the data area, byte 61 the code identifier, byte 63 the continuation
// flag (0 on the last report of a message).
// Feature report 254 (0xFE) with the value 1 switches the scanner's HID
// point-of-sale mode on before the host talks to it, 0 switches it off.
//
// The length byte of an input report comes from the device: a value above
// 56 is clamped to 56 (and logged), so no read runs past the data area.
//
// Threads: as CUsbHidPort; `write` holds the caller's thread for 30 ms
// between two reports.
#pragma once

#include "base/CStopper.h"
#include "ports/CUsbHidPort.h"

#include <string>

// One input report as the packet read hands it on.
struct HidScannerPacket {
    static constexpr int kDataLength = 1;   // n, at most 56
    static constexpr int kAim = 2;          // three bytes
    static constexpr int kData = 5;         // n bytes, zeros after them
    static constexpr int kCodeId = 62;
    static constexpr int kFinal = 63;       // 1 on the last packet of a message

    unsigned char bytes[64] = {};
};

class CUsbHidBarcodeScanner : public CUsbHidPort {
public:
    static constexpr int kReportLength = 64;
    static constexpr int kMaxInputData = 56;
    static constexpr int kMaxOutputData = 62;
    static constexpr unsigned char kOutputReportId = 0xFD;
    static constexpr unsigned char kPosFeatureReportId = 0xFE;

    CUsbHidBarcodeScanner();
    explicit CUsbHidBarcodeScanner(bool exclusive);
    ~CUsbHidBarcodeScanner() override = default;

    // One whole message: packets joined until the final one, zero bytes
    // left out. Gives up at the second failed packet read in a row and
    // returns its code with what was joined so far; ends with
    // ERROR_OPERATION_ABORTED (995) and what was joined so far when the
    // stopper given to setStopper is stopped before a packet read.
    int read(std::string& text) override;
    // The data bytes of one input report (at most `size`).
    int read(unsigned char* buffer, int size, unsigned int* count) override;
    // Cuts `length` bytes into output reports of up to 62 data bytes, 30 ms
    // apart (no pause after the last). `count` gets the data bytes sent.
    int write(const unsigned char* buffer, int length, unsigned int* count) override;
    // One input report into a packet record.
    virtual int read(HidScannerPacket& packet);

    // The cancel flag and time budget the string read answers to, so that a
    // device that keeps sending reports that are not the last of a message
    // cannot hold its caller; not owned, null (the default) for none. The
    // string read runs on the thread that set it.
    void setStopper(const CStopper* stopper) { m_stopper = stopper; }

    // Sends a complete 64-byte output report as it is; `length` says how
    // many of its bytes to log.
    int writeRaw(const unsigned char* report, int length, unsigned int* count);

    // The decoding of one 64-byte input report that the reads use; no I/O.
    // Copies at most `size` data bytes into `buffer` and answers how many.
    static int copyReportData(const unsigned char* report, unsigned char* buffer, int size);
    static void fillPacket(const unsigned char* report, HidScannerPacket& packet);
    // Appends the packet's non-zero data bytes to `text` (clearing a
    // non-zero byte 61 first); true when the packet is the last one.
    static bool appendPacketText(HidScannerPacket& packet, std::string& text);

private:
    // The report's length byte, clamped to the data area.
    static int dataLength(const unsigned char* report, const char* method);

    const CStopper* m_stopper = nullptr;
};
