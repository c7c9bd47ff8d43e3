#include "ports/CBreaker.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "ports/CFilterDriver.h"
#include "ports/CSerialPort.h"
#include "protocol/CHandshakingHandler.h"
#include "protocol/CDataPacketFilter.h"

#include "platform/time.h"

#include <cstring>
#include <utility>

namespace {

constexpr unsigned char kSyncCommand[4] = {0x16, 0x43, 0x0D, 0x00};
constexpr unsigned char kAck = 0x06;
constexpr std::size_t kAnswerLength = 4;

struct BaudTuning {
    int baudRate;
    int readCount;
    int transactionTimeoutMs;  // 0: no reset of the filter driver
};

// 4800 baud reads 16 times, not 24.
constexpr BaudTuning kTuning[] = {
    {300, 384, 320000},  {600, 192, 160000}, {1200, 96, 80000}, {2400, 48, 40000}, {4800, 16, 20000},
    {9600, 8, 0},        {19200, 8, 0},      {38400, 5, 0},     {57600, 5, 0},     {115200, 5, 0},
};

}  // namespace

bool CBreaker::detect()
{
    return false;
}

void CBreaker::restore() {}

bool CBreaker::verifyPing(const unsigned char* answer)
{
    if (answer[0] != 0x06 || answer[1] != 0x15)
        return false;
    return (answer[2] == 0x5E && answer[3] == 0x5F) || (answer[2] == 0xDE && answer[3] == 0xDF);
}

template <typename Room, typename Took>
void CBreaker::readWhileTalking(Room room, Took took)
{
    int attempts = 0;
    while (attempts < m_portInfo->readCount) {
        ++attempts;
        if (isStopped())
            return;
        const auto [at, capacity] = room();
        unsigned int n = 0;
        const int rc = m_portInfo->port->read(at, static_cast<int>(capacity), &n);
        if (rc == 0 && n > 0) {
            if (took(n))
                return;
            attempts = 0;
        }
        // The record is the caller's: a negative delay must not become a
        // sleep of days.
        Sleep(m_portInfo->readDelay > 0 ? static_cast<DWORD>(m_portInfo->readDelay) : 0);
    }
}

void CBreaker::readRaw(unsigned char* buffer, unsigned capacity, unsigned* count, unsigned expected)
{
    *count = 0;
    readWhileTalking([&] { return std::pair(buffer + *count, capacity - *count); },
                     [&](unsigned n) {
                         *count += n;
                         return expected != 0 && *count >= expected;
                     });
}

bool CBreaker::readAnswer()
{
    // Labels the scanner scans meanwhile come as data packets around the
    // answer; they are stepped over (and dropped: nobody collects data
    // while a port is being pinged). A line that keeps talking without an
    // answer is given up after kAnswerSearchLimit bytes.
    CDataPacketFilter packets;
    std::string outside;
    bool answered = false;
    const auto search = [&] {
        const auto* bytes = reinterpret_cast<const unsigned char*>(outside.data());
        for (std::size_t at = 0; !answered && at + kAnswerLength <= outside.size(); ++at)
            answered = verifyPing(bytes + at);
        // Only the last bytes may still begin an answer.
        if (outside.size() >= kAnswerLength)
            outside.erase(0, outside.size() - (kAnswerLength - 1));
        return answered;
    };
    unsigned char chunk[64];
    std::size_t total = 0;
    readWhileTalking([&] { return std::pair(chunk, static_cast<unsigned>(sizeof chunk)); },
                     [&](unsigned n) {
                         total += n;
                         packets.take(chunk, n, outside);
                         return search() || total >= kAnswerSearchLimit;
                     });
    if (!answered) {
        packets.finish(outside);
        search();
    }
    return answered;
}

bool CBreaker::ping(bool usbSerial, bool filterDriverPort)
{
    CLogHelper trace("CBreaker::ping");
    m_lineNeverQuiet = false;
    if (m_portInfo == nullptr || m_portInfo->port == nullptr || !m_portInfo->port->isOpened()) {
        SDK_LOG(logbit::error, "CBreaker::ping", "Port isn't opened.");
        return false;
    }
    auto* port = dynamic_cast<CSerialPort*>(m_portInfo->port);
    if (port == nullptr) {
        SDK_LOG(logbit::error, "CBreaker::ping", "Disaster- the interface port in the PORTINFO.");
        return false;
    }
    if (isStopped()) {
        SDK_LOG(logbit::error, "CBreaker::ping", "Stopped.");
        return false;
    }
    port->purge();
    m_portInfo->readCount = 6;
    m_portInfo->readDelay = 2;

    if (!usbSerial) {
        const int baud = port->getBaudrate();
        for (const BaudTuning& t : kTuning) {
            if (t.baudRate != baud)
                continue;
            if (t.transactionTimeoutMs != 0 && filterDriverPort &&
                !CFilterDriver::resetTransTimeout(port->getHandle(), t.transactionTimeoutMs))
                return false;
            m_portInfo->readCount = t.readCount;
            break;
        }
    }

    CHandshakingHandler drain(port);
    drain.setCancelFlag(getCancelFlag());
    drain.setTimeout(getRemaingTimeout());
    if (!drain.clearPortData()) {
        m_lineNeverQuiet = drain.neverQuiet();
        return false;
    }

    unsigned char buffer[64] = {};
    std::memcpy(buffer, kSyncCommand, sizeof kSyncCommand);
    unsigned int written = 0;
    if (port->write(buffer, sizeof kSyncCommand, &written) != 0) {
        SDK_LOG(logbit::error, "CBreaker::ping", "Error happened during writing the SYNC Command to the port.");
        return false;
    }
    Sleep(10);
    const unsigned char ack = kAck;
    port->write(&ack, 1, &written);

    if (isStopped())
        return false;
    return readAnswer();
}
