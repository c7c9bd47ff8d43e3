#include "protocol/CHandshakingHandler.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"

#include "platform/time.h"

#include <string>

namespace {

constexpr unsigned char kXon = 0x11;
constexpr unsigned char kAck = 0x06;

}  // namespace

void CHandshakingHandler::writeByte(unsigned char byte)
{
    unsigned int written = 0;
    m_port->write(&byte, 1, &written);
}

bool CHandshakingHandler::discardPending(bool* stopped)
{
    *stopped = false;
    bool found = false;
    for (;;) {
        std::string text;
        if (m_port->read(text) != 0 || text.empty())
            return found;
        found = true;
        SDK_LOG(logbit::trace, "CHandshakingHandler::clearPortData", "Cleaned data:" + text);
        if (isStopped() || overLimit()) {
            *stopped = true;
            return found;
        }
    }
}

bool CHandshakingHandler::overLimit() const
{
    return platform::tickElapsed(m_start, GetTickCount()) >= kDrainLimitMs;
}

bool CHandshakingHandler::drain(bool ackEachPass)
{
    // A budget alone would let one chattering line spend all of it (a whole
    // discovery's), so the drain has a limit of its own, between passes and
    // within one.
    m_neverQuiet = false;
    m_start = GetTickCount();
    for (;;) {
        if (overLimit()) {
            m_neverQuiet = true;
            SDK_LOG(logbit::error, "CHandshakingHandler::clearPortData", "The port never fell quiet.");
            return false;
        }
        if (ackEachPass) {
            writeByte(kAck);
            Sleep(20);
        }
        bool stopped = false;
        const bool found = discardPending(&stopped);
        if (stopped) {
            if (overLimit()) {
                m_neverQuiet = true;
                SDK_LOG(logbit::error, "CHandshakingHandler::clearPortData", "The port never fell quiet.");
            }
            return false;
        }
        m_port->purge();
        if (isStopped())
            return false;
        if (!found)
            return true;
    }
}

bool CHandshakingHandler::clearPortData()
{
    CLogHelper trace("CHandshakingHandler::clearPortData");
    if (m_port == nullptr)
        return false;
    writeByte(kXon);
    Sleep(10);
    return drain(true);
}

bool CHandshakingHandler::clearPortData(int handshakingMode)
{
    CLogHelper trace("CHandshakingHandler::clearPortData");
    if (m_port == nullptr)
        return false;
    if (handshakingMode == 1)
        m_port->setupRTS(RTS_CONTROL_ENABLE);
    else if (handshakingMode == 3)
        writeByte(kXon);
    Sleep(20);
    return drain(handshakingMode == 2);
}
