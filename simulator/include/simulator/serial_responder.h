// The scanner's side of the serial byte stream, without any I/O: takes the
// bytes the host sent under the host's line settings and gives the bytes to
// send back. It answers only when the host's rate and framing match its own
// (a USB-serial device ignores them), ignores the XON and ACK bytes that a
// host sends to drain the line, answers the sync command (SYN 'C' CR, then
// a NUL) with the model's ping reply and hands every other byte to the menu
// engine, which answers the menu commands.
#pragma once

#include "simulator/menu_engine.h"
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
    explicit SerialResponder(const SerialModel& model) : m_model(model), m_engine(model.menu) {}

    bool lineMatches(const HostLine& line) const;

    // The reply to `count` bytes the host sent under `line` (often empty).
    std::vector<unsigned char> take(const unsigned char* bytes, std::size_t count, const HostLine& line);
    // The same, one entry per piece the device sends on its own (a menu
    // reply split by the faults comes in several).
    std::vector<std::vector<unsigned char>> takePieces(const unsigned char* bytes, std::size_t count,
                                                       const HostLine& line);

    MenuEngine& engine() { return m_engine; }
    const MenuEngine& engine() const { return m_engine; }

    // Switches the answer to the sync command off (a silent device).
    void setSilent(bool silent) { m_silent = silent; }
    int pingsAnswered() const { return m_pings; }
    // Sync commands received, answered or not.
    int syncCommands() const { return m_syncCommands; }

private:
    const SerialModel& m_model;
    MenuEngine m_engine;
    std::vector<unsigned char> m_frame;  // a sync command being received
    bool m_engineFrame = false;          // the engine is collecting a frame
    bool m_silent = false;
    int m_pings = 0;
    int m_syncCommands = 0;
};

}  // namespace vxsim
