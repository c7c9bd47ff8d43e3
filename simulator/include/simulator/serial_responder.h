// The scanner's side of the serial byte stream, without any I/O: takes the
// bytes the host sent under the host's line settings and gives the bytes to
// send back. It answers only when the host's rate and framing match its own
// (a USB-serial device ignores them), ignores the XON and ACK bytes that a
// host sends to drain the line, and answers the sync command
// (SYN 'C' CR, then a NUL) with the model's ping reply.
#pragma once

#include "simulator/serial_model.h"

#include <cstddef>
#include <vector>

namespace vxsim {

// The host's line settings as the side channel carried them.
struct HostLine {
    bool known = false;  // no settings arrived yet
    unsigned baudRate = 0;
    int dataBits = 8;
    int parity = 0;
    int stopBits = 0;
    bool ctsFlow = false;
    bool dsrFlow = false;
    int dtrControl = 0;
    int rtsControl = 0;
    bool outX = false;
    bool inX = false;
    unsigned xonChar = 0x11;
    unsigned xoffChar = 0x13;
};

class SerialResponder {
public:
    explicit SerialResponder(const SerialModel& model) : m_model(model) {}

    bool lineMatches(const HostLine& line) const;

    // The reply to `count` bytes the host sent under `line` (often empty).
    std::vector<unsigned char> take(const unsigned char* bytes, std::size_t count, const HostLine& line);

    // Switches the answer to the sync command off (a silent device).
    void setSilent(bool silent) { m_silent = silent; }
    int pingsAnswered() const { return m_pings; }

private:
    const SerialModel& m_model;
    std::vector<unsigned char> m_frame;  // a command being received
    bool m_silent = false;
    int m_pings = 0;
};

}  // namespace vxsim
