#include "CMenuHandler.h"

#include "CDataPacketFilter.h"

#include "base/CScanningSDK.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidBarcodeScanner.h"

#include "platform/time.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

bool isStatusByte(unsigned char b)
{
    return b == 0x06 || b == 0x15 || b == 0x05;
}

bool isMark(unsigned char b)
{
    return b == '.' || b == '!' || b == '@';
}

std::string upper(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string fieldText(const char* field)
{
    return std::string(field, strnlen(field, 256));
}

// A HID scanner's string read joins the reports of one message. For the
// reply wait it answers to the handler's cancel flag and budget, so that a
// device that never sends a message's last report cannot hold the caller.
class HidReadStop {
public:
    HidReadStop(InterfacePort* port, const CStopper* stopper)
        : m_scanner(dynamic_cast<CUsbHidBarcodeScanner*>(port))
    {
        if (m_scanner != nullptr) {
            m_scanner->setStopper(stopper);
        }
    }
    ~HidReadStop()
    {
        if (m_scanner != nullptr) {
            m_scanner->setStopper(nullptr);
        }
    }
    HidReadStop(const HidReadStop&) = delete;
    HidReadStop& operator=(const HidReadStop&) = delete;

private:
    CUsbHidBarcodeScanner* m_scanner;
};

// One read of the reply, as the bytes came. The string reads leave zero
// bytes out (a HID scanner's) or end at the first one (a serial port's),
// and the labels a scanning scanner sends hold zero bytes in their packets'
// lengths: the packets could not be stepped over, and a reply behind one
// would be lost. A serial port gives what it has, a HID scanner one input
// report's data bytes; any other port is read by its string read.
int readPiece(InterfacePort* port, std::string& piece)
{
    piece.clear();
    if (dynamic_cast<CSerialPort*>(port) == nullptr && dynamic_cast<CUsbHidBarcodeScanner*>(port) == nullptr) {
        return port->read(piece);
    }
    unsigned char buffer[256];
    unsigned int count = 0;
    const int code = port->read(buffer, 255, &count);
    piece.assign(reinterpret_cast<const char*>(buffer), std::min<unsigned int>(count, 255));
    return code;
}

}  // namespace

std::string CMenuHandler::buildFrame(int frameKind, int storageKind, const std::string& menu,
                                     const std::string& address)
{
    std::string frame;
    frame.reserve(3 + address.size() + 2 + menu.size() + 1);
    if (frameKind == 0) {
        frame += "\x16M\r";
    } else if (frameKind == 1) {
        frame += "\x16Y\r";
    }
    if (!address.empty()) {
        frame += ':';
        frame += address;
        frame += ':';
    }
    frame += menu;
    switch (storageKind) {
    case 0: frame += '!'; break;
    case 1: frame += '.'; break;
    case 2: frame += '@'; break;
    default: break;
    }
    return frame;
}

bool CMenuHandler::isComplete(const std::string& reply)
{
    const std::size_t n = reply.size();
    return n >= 3 && isStatusByte(static_cast<unsigned char>(reply[n - 2]))
        && isMark(static_cast<unsigned char>(reply[n - 1]));
}

bool CMenuHandler::holdsExpectedReply(const std::string& reply, const std::string& expected)
{
    // The device-mode query is answered "APP" or "BOOT", which may arrive
    // in pieces: the wait goes on until one of them is whole.
    const std::string text = upper(reply);
    return text.find(upper(expected)) != std::string::npos || text.find("BOOT") != std::string::npos;
}

int CMenuHandler::classify(const std::string& reply)
{
    if (reply.size() <= 2) {
        return -1;
    }
    switch (static_cast<unsigned char>(reply[reply.size() - 2])) {
    case 0x05: return 5;
    case 0x06: return 6;
    case 0x15: return 21;
    default: return 0;
    }
}

bool CMenuHandler::sendMenu(const MenuCommand& command)
{
    static const char* const kMethod = "CMenuHandler::sendMenu";
    MenuResponse* response = command.response;
    if (response != nullptr) {
        response->text.clear();
        response->status = -1;
    }
    if (command.menu.size() >= kMaxTextLength) {
        SDK_LOG(logbit::trace, kMethod, "menu length >254 menu=" + command.menu);
        if (response != nullptr) {
            response->status = 49;
        }
        return false;
    }
    if (command.address.size() >= kMaxTextLength) {
        SDK_LOG(logbit::trace, kMethod, "device address >254 menu=" + command.address);
        if (response != nullptr) {
            response->status = 48;
        }
        return false;
    }
    SDK_LOG(logbit::trace, kMethod, "menu:" + command.menu + "addr:" + command.address);
    MenuCommandRecord record;
    record.frameKind = command.frameKind;
    record.storageKind = command.storageKind;
    std::memcpy(record.menu, command.menu.data(), command.menu.size());
    std::memcpy(record.address, command.address.data(), command.address.size());
    record.response = response;
    record.expected = command.expected;
    const bool result = sendMenu(record);
    if (response != nullptr) {
        SDK_LOG(logbit::response, kMethod, "response:" + response->text);
        SDK_LOG(logbit::trace, kMethod, "ret:" + std::to_string(response->status));
    }
    return result;
}

bool CMenuHandler::sendMenu(MenuCommandRecord command)
{
    static const char* const kMethod = "CMenuHandler::sendMenu";
    MenuResponse scratch;
    MenuResponse* response = command.response != nullptr ? command.response : &scratch;
    response->status = -1;
    if (m_portInfo == nullptr || m_portInfo->port == nullptr) {
        SDK_LOG(logbit::error, kMethod, "port is null.");
        return false;
    }
    InterfacePort* port = m_portInfo->port;
    const std::string frame
        = buildFrame(command.frameKind, command.storageKind, fieldText(command.menu), fieldText(command.address));
    port->flush();
    if (!sendPrepareData()) {
        SDK_LOG(logbit::trace, kMethod, "**Error happened during send preparation data - read.");
        return false;
    }
    if (!sendMenuData(frame)) {
        SDK_LOG(logbit::trace, kMethod, "**Error happened during send menu data -" + frame);
        return false;
    }

    std::string reply;
    // A scanner that is scanning sends its labels around the reply: they
    // are stepped over, and the reply is what lies outside them.
    CDataPacketFilter packets;
    bool prepareFailed = false;
    const int readCount = m_portInfo->readCount;
    if (readCount >= 0) {
        const HidReadStop hidReadStop(port, this);
        int counter = 0;
        bool restartArmed = true;
        for (;;) {
            ++counter;
            if (isStopped()) {
                break;
            }
            std::string piece;
            m_portInfo->errorCode = readPiece(port, piece);
            if (!piece.empty()) {
                const std::size_t replied = reply.size();
                packets.take(reinterpret_cast<const unsigned char*>(piece.data()), piece.size(), reply);
                if (isComplete(reply)) {
                    break;
                }
                if (!command.expected.empty() && holdsExpectedReply(reply, command.expected)) {
                    break;
                }
                // Only the reply's own bytes renew the wait: a scanner that
                // keeps scanning would otherwise hold a query it never
                // answers open for as long as its labels come.
                if (reply.size() != replied) {
                    counter = 0;
                }
            } else {
                if (counter + 1 == readCount) {
                    if (!sendPrepareData()) {
                        prepareFailed = true;
                        break;
                    }
                    if (restartArmed) {
                        restartArmed = false;
                        counter = 0;
                    }
                }
                if (m_portInfo->errorCode == 1167) {
                    break;
                }
                Sleep(static_cast<DWORD>(std::max(m_portInfo->readDelay, 0)));
            }
            if (counter > readCount) {
                break;
            }
        }
    }
    // However the wait ended (a cancel or a spent budget included), what
    // arrived stays stored with its status, whatever the command answers.
    if (!isComplete(reply)) {
        packets.finish(reply);
    }
    response->text = reply;
    response->status = classify(reply);
    if (prepareFailed || !sendPrepareData()) {
        SDK_LOG(logbit::trace, kMethod, "**Error happened during send preparation data - read.");
        return false;
    }
    return true;
}

bool CMenuHandler::writeWithRetries(const unsigned char* bytes, int length, bool* stopped)
{
    if (stopped != nullptr) {
        *stopped = false;
    }
    InterfacePort* port = m_portInfo->port;
    unsigned int written = 0;
    int result = port->write(bytes, length, &written);
    m_portInfo->errorCode = result;
    for (int retry = 0; result != 0 && retry < kWriteRetries; ++retry) {
        if (isStopped()) {
            if (stopped != nullptr) {
                *stopped = true;
            }
            return false;
        }
        SDK_LOG(logbit::retry, "CMenuHandler::sendMenuData", "try again to write the menu data.");
        port->flush();
        result = port->write(bytes, length, &written);
        m_portInfo->errorCode = result;
        Sleep(2);
    }
    return result == 0;
}

bool CMenuHandler::sendPrepareData()
{
    if (m_portInfo == nullptr || m_portInfo->port == nullptr) {
        return false;
    }
    const std::size_t length = strnlen(reinterpret_cast<const char*>(m_portInfo->prepareData),
                                       sizeof m_portInfo->prepareData);
    if (length == 0) {
        return true;
    }
    if (isStopped()) {
        return false;
    }
    // A write that keeps failing is not fatal here, a stop is.
    bool stopped = false;
    writeWithRetries(m_portInfo->prepareData, static_cast<int>(length), &stopped);
    if (stopped) {
        return false;
    }
    Sleep(30);
    return true;
}

bool CMenuHandler::sendMenuData(const std::string& frame)
{
    static const char* const kMethod = "CMenuHandler::sendMenuData";
    InterfacePort* port = m_portInfo->port;
    const auto* bytes = reinterpret_cast<const unsigned char*>(frame.data());
    if (m_portInfo->writeByteByByte != 0) {
        for (std::size_t i = 0; i < frame.size(); ++i) {
            if (isStopped()) {
                return false;
            }
            unsigned int written = 0;
            m_portInfo->errorCode = port->write(bytes + i, 1, &written);
            if (m_portInfo->errorCode != 0) {
                SDK_LOG(logbit::error, kMethod, "Error during sending byte " + std::string(1, frame[i]));
                return false;
            }
            SDK_LOG(logbit::trace, kMethod, "byte: " + std::to_string(i));
        }
        return true;
    }
    SDK_LOG(logbit::trace, kMethod, "Write the data to Port: " + frame);
    for (std::size_t at = 0; at < frame.size(); at += kPieceLength) {
        if (at > 0) {
            SDK_LOG(logbit::trace, kMethod, "*********SPLIT UP MENU**************");
        }
        if (isStopped()) {
            return false;
        }
        const std::size_t length = std::min(kPieceLength, frame.size() - at);
        if (!writeWithRetries(bytes + at, static_cast<int>(length))) {
            SDK_LOG(logbit::error, kMethod, "Write data failure.");
            std::string dump = "Data: ";
            for (std::size_t i = 0; i < std::min<std::size_t>(11, frame.size()); ++i) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%2x ", bytes[i]);
                dump += hex;
            }
            SDK_LOG(logbit::error, kMethod, dump);
            return false;
        }
    }
    return true;
}

void CMenuHandler::cleanupMenuResponse(std::string& reply, const std::string& menu, bool cutThrough)
{
    if (menu.empty()) {
        return;
    }
    std::string tag = menu;
    if (menu.size() > 6 && menu.find(';') == std::string::npos && menu.find(',') == std::string::npos) {
        tag = menu.substr(0, 6);
    }
    const std::size_t at = upper(reply).find(upper(tag));
    if (at != std::string::npos) {
        if (cutThrough) {
            reply.erase(0, at + tag.size());
        } else {
            reply.erase(at, tag.size());
        }
    }
    const std::size_t n = reply.size();
    if (n >= 2 && isStatusByte(static_cast<unsigned char>(reply[n - 2])) && isMark(static_cast<unsigned char>(reply[n - 1]))) {
        reply.erase(n - 2);
    }
    SDK_LOG(logbit::response, "CMenuHandler::cleanupMenuResponse", "FINAL response:" + reply);
}
