// The serial sync ping: tells whether a scanner answers on a serial port.
// Drains the port, sends the SYNC command and accepts the port when the
// four-byte answer carries the scanner's signature. A scanner that is
// scanning may send data packets before or after the answer: the answer is
// looked for outside them.
//
// Works on the CSerialPort held by a PORTINFO record, which the caller owns
// and keeps alive for the breaker's lifetime; the ping rewrites the record's
// read count and read delay (by baud rate) and does not restore them. The
// caller's cancel flag and time budget (the CStopper base) bound the ping and
// are handed on to the drain. Runs on its caller's thread.
#pragma once

#include "base/CStopper.h"
#include "discovery/PORTINFO.h"

#include <cstddef>

class CBreaker : public CStopper {
public:
    explicit CBreaker(PORTINFO* portInfo) : m_portInfo(portInfo) {}
    ~CBreaker() override = default;

    // Always false.
    virtual bool detect();
    // `usbSerial`: skip the baud-rate tuning. `filterDriverPort`: at 300 to
    // 4800 baud, reset the filter driver's transaction time-out first.
    virtual bool ping(bool usbSerial, bool filterDriverPort);
    // Nothing to restore.
    virtual void restore();

    // Reads into `buffer` until `expected` bytes (0: no limit) are in or the
    // port has stayed quiet for the record's read count of attempts, each
    // followed by the record's read delay; any data starts the count again.
    void readRaw(unsigned char* buffer, unsigned capacity, unsigned* count, unsigned expected);
    // ACK, NAK, then 0x5E 0x5F or 0xDE 0xDF in the first four bytes.
    static bool verifyPing(const unsigned char* answer);
    // Bytes the ping reads at most while it looks for the answer among a
    // scanning scanner's data packets.
    static constexpr std::size_t kAnswerSearchLimit = 8192;
    // The last ping failed because the port's line never fell quiet: no
    // other line setting will do better, so a caller gives the port up.
    bool lineNeverQuiet() const { return m_lineNeverQuiet; }

private:
    // Reads, as readRaw does, into what `room()` gives (a pointer and a
    // capacity) until `took(n)` says it has enough or the port stays quiet.
    template <typename Room, typename Took>
    void readWhileTalking(Room room, Took took);
    // Reads until the answer is found outside the data packets around it,
    // or the port stays quiet.
    bool readAnswer();

    PORTINFO* m_portInfo;
    bool m_lineNeverQuiet = false;
};
