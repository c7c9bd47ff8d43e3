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
    for (const auto& piece : takePieces(bytes, count, line))
        reply.insert(reply.end(), piece.begin(), piece.end());
    return reply;
}

std::vector<std::vector<unsigned char>> SerialResponder::takePieces(const unsigned char* bytes, std::size_t count,
                                                                    const HostLine& line)
{
    std::vector<std::vector<unsigned char>> pieces;
    if (!lineMatches(line)) {
        // Garbage to the device: whatever it was collecting is lost.
        m_frame.clear();
        m_engine.reset();
        m_engineFrame = false;
        return pieces;
    }
    std::vector<std::vector<unsigned char>> replies;
    auto flushReplies = [&]() {
        for (const auto& reply : replies)
            for (auto& piece : m_engine.replyPieces(reply))
                pieces.push_back(std::move(piece));
        replies.clear();
    };
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char b = bytes[i];
        if (m_engineFrame) {
            if (b == kSyn) {
                // A new frame: it may be the sync command.
                m_engineFrame = false;
                m_engine.reset();
                m_frame.assign(1, b);
                continue;
            }
            m_engine.take(&b, 1, replies);
            m_engineFrame = !m_engine.idle();
            flushReplies();
            continue;
        }
        if (m_frame.empty()) {
            if (b == kSyn) {
                m_engine.reset();
                m_frame.push_back(b);
                continue;
            }
            // Text without a header; the engine skips XON, ACK and the like.
            m_engine.take(&b, 1, replies);
            flushReplies();
            continue;
        }
        if (m_frame.size() == 3 && m_frame[1] == 'C') {
            // The NUL that pads the sync command (or the next byte, which
            // starts over).
            m_frame.clear();
            if (b == kSyn)
                m_frame.push_back(b);
            else if (b != 0) {
                m_engine.take(&b, 1, replies);
                flushReplies();
            }
            continue;
        }
        m_frame.push_back(b);
        if (m_frame.size() == 2 && b != 'C') {
            // A menu frame or noise: the engine decides.
            m_engine.take(m_frame.data(), m_frame.size(), replies);
            m_engineFrame = !m_engine.idle();
            m_frame.clear();
            flushReplies();
            continue;
        }
        if (m_frame.size() == 3) {
            if (b != kCr) {
                m_frame.clear();
                continue;
            }
            ++m_syncCommands;
            if (!m_silent) {
                pieces.push_back(m_model.pingReply);
                ++m_pings;
            }
            // Keep the frame so that the padding NUL is swallowed.
        }
    }
    return pieces;
}

}  // namespace vxsim
