// The scanner's side of the serial byte stream.
#include "simulator/serial_responder.h"

namespace vxsim {

namespace {

constexpr unsigned char kSyn = 0x16;
constexpr unsigned char kCr = 0x0D;

}  // namespace

bool SerialResponder::lineMatches(const HostLine& line) const
{
    if (m_model.usbSerial)
        return true;
    // The stop bits do not change what a receiver makes of a byte; rate,
    // size and parity do.
    return line.known && line.baudRate == m_model.baudRate && line.dataBits == m_model.dataBits &&
           line.parity == m_model.parity;
}

std::vector<unsigned char> SerialResponder::take(const unsigned char* bytes, std::size_t count, const HostLine& line)
{
    std::vector<unsigned char> reply;
    if (!lineMatches(line)) {
        // Garbage to the device: whatever it was collecting is lost.
        m_frame.clear();
        return reply;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char b = bytes[i];
        if (m_frame.empty()) {
            if (b == kSyn)
                m_frame.push_back(b);
            // XON, ACK and anything else between commands are not for us.
            continue;
        }
        if (m_frame.size() == 3 && m_frame[1] == 'C') {
            // The NUL that pads the sync command (or the next byte, which
            // starts over).
            m_frame.clear();
            if (b == kSyn)
                m_frame.push_back(b);
            continue;
        }
        m_frame.push_back(b);
        if (m_frame.size() == 2 && b != 'C') {
            // Menu commands and the rest come with the menu engine.
            m_frame.clear();
            continue;
        }
        if (m_frame.size() == 3) {
            if (b != kCr) {
                m_frame.clear();
                continue;
            }
            if (!m_silent) {
                reply.insert(reply.end(), m_model.pingReply.begin(), m_model.pingReply.end());
                ++m_pings;
            }
            // Keep the frame so that the padding NUL is swallowed.
        }
    }
    return reply;
}

}  // namespace vxsim
