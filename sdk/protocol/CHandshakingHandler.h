// Drains what a scanner still holds on a serial port before the host talks
// to it: sends the handshake bytes (XON, ACK) that release held data, reads
// and discards until a pass finds the line quiet.
//
// The user sets the cancel flag and the time budget of the CStopper base
// before use. The drain runs until the line is quiet, the budget is spent
// or kDrainLimitMs have passed, whichever comes first: a line that never
// falls quiet ends the drain with false (and neverQuiet() true), so that
// one chattering device cannot spend a whole discovery's budget.
//
// Used on its caller's thread; nothing else may read the port meanwhile.
#pragma once

#include "base/CStopper.h"
#include "ports/CSerialPort.h"

class CHandshakingHandler : public CStopper {
public:
    static constexpr DWORD kDrainLimitMs = 3000;

    // The port is not owned.
    explicit CHandshakingHandler(CSerialPort* port) : m_port(port) {}
    ~CHandshakingHandler() override = default;

    // XON, 10 ms, then passes of ACK, 20 ms, read and discard, purge. True
    // after the first pass that read nothing; false without a port, when
    // stopped, or when the drain hits its limit.
    bool clearPortData();
    // The same drain after a handshake of the given mode: 1 raises RTS
    // first, 2 sends ACK (with 20 ms) before every pass, 3 sends XON once.
    bool clearPortData(int handshakingMode);
    // The last drain ended because the line did not fall quiet within
    // kDrainLimitMs.
    bool neverQuiet() const { return m_neverQuiet; }

private:
    // Passes until one reads nothing. `ackEachPass`: each pass begins with
    // ACK and 20 ms.
    bool drain(bool ackEachPass);
    // Reads and discards until a read brings nothing; `stopped` is set when
    // the drain must end between reads (stopped, or out of its time).
    // Answers whether anything was read.
    bool discardPending(bool* stopped);
    // The drain has run for its limit.
    bool overLimit() const;
    void writeByte(unsigned char byte);

    CSerialPort* m_port;
    bool m_neverQuiet = false;
    DWORD m_start = 0;
};
