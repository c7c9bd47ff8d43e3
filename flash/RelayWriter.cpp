// The boot image through the running application, which relays every
// bootloader byte it receives in NEWBLI commands; the same over a serial
// port and over USB HID but for the framing of the commands and where the
// reply's status byte lies.
#include "BlockFraming.h"
#include "MyPrivateParams.h"
#include "ScannerCommands.h"

#include <cstring>

using namespace blockframing;

bool MyPrivateParams::sendRelay(const char* prefix, const std::uint8_t* bytes, std::size_t n, bool usb,
                                std::uint8_t* reply, const char* label)
{
    std::uint8_t command[2 * 255 + 16];
    const std::size_t length = BuildRelayCommand(command, n, bytes);
    std::memset(reply, 0, 64);
    const DWORD timeout = static_cast<DWORD>(m_MenuCmd_Timeout_mSecs > 0 ? m_MenuCmd_Timeout_mSecs : 0);
    if (usb) {
        std::uint8_t report[80] = {0xFD, static_cast<std::uint8_t>(length)};
        std::memcpy(report + 2, command, length);
        m_usb.WriteReport(report, length + 2);
        m_usb.ReadReport(reply, 64, timeout);
        m_log->print(0x20, "%s%s = %s\n", prefix, label, hex16(reply).c_str());
        return reply[10] == 0x11;
    }
    m_serial.Write(command, length);
    m_serial.ReadWithTimeout(reply, 9, timeout);
    m_log->print(0x20, "%s%s = %s\n", prefix, label, hex16(reply).c_str());
    return reply[6] == 0x11;
}

bool MyPrivateParams::writeBootThroughRelay(const char* P, const char* E, bool usb, int* result)
{
    const std::vector<std::uint8_t>& image = m_bootImage.bytes;
    const std::size_t L = image.size();
    const std::uint32_t doneAtStart = m_bytesDone;
    // Where a relayed reply's status byte lies: behind "NEWBLI" (or
    // "NEWBLS") on the serial line, behind the report's head as well over
    // USB.
    const std::size_t status = usb ? 10 : 6;
    std::uint8_t reply[64];
    auto failure = [&](int code) {
        *result = code;
        ExitFlashMode(IMAGE_KIND_BOOT, false);
        return false;
    };
    m_log->print(2, "%sSend NEWBLS command%s.\n", P, usb ? "" : " to enter the scanner to flash mode");
    for (std::uint32_t attempt = 1;; ++attempt) {
        if (usb) {
            usbCommand(CC_NEWBLS, reply, true);
        } else {
            if (m_RetryMax == 0)
                return failure(CUR_FAILURE);
            std::uint8_t command[20];
            m_serial.Write(command, BuildCommand(CC_NEWBLS, command));
            std::memset(reply, 0, sizeof reply);
            const DWORD timeout = static_cast<DWORD>(m_MenuCmd_Timeout_mSecs > 0 ? m_MenuCmd_Timeout_mSecs : 0);
            m_serial.ReadWithTimeout(reply, 9, timeout);
        }
        if (reply[status] == 0x11) {
            m_log->print(2,
                         "%sRetry the %dth times, get valid response for enter the scanner into flash mode command. "
                         "Scanner response = 0X%02X.\n",
                         P, static_cast<int>(attempt), reply[status]);
            break;
        }
        if (attempt >= m_RetryMax) {
            m_log->print(4, "%sRetry %d times, but could not enter the scanner into flash mode. Scanner response = 0X%02X.\n",
                         E, static_cast<int>(attempt), reply[status]);
            return failure(CUR_FAILURE);
        }
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
    }
    SleepMs(m_MenuCmd_TimeDelay_mSecs);
    m_log->print(2, "%sSend 0x1B command%s.\n", P, usb ? "" : " to scanner");
    const std::uint8_t esc = 0x1B, ack = 0x06;
    for (std::uint32_t attempt = 1;; ++attempt) {
        if (sendRelay(P, &esc, 1, usb, reply))
            break;
        if (attempt >= m_RetryMax) {
            m_log->print(4, "%sRetry %d times, but could not write the 0x1B to the scanner. Scanner response = 0X%02X.\n",
                         E, static_cast<int>(attempt), reply[status]);
            return failure(CUR_FAILURE);
        }
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
    }
    if (!usb)
        FixedPause(10);
    m_log->print(2, "%sSend ACK command%s.\n", P, usb ? "" : " to scanner");
    if (!sendRelay(P, &ack, 1, usb, reply)) {
        m_log->print(4, "%scould not write the ACK to the scanner. Scanner response = 0X%02X.\n", E, reply[status]);
        return failure(CUR_FAILURE);
    }
    if (cancelled()) {
        m_log->print(4, "%sthe upgrade has been cancled.\n", E);
        return failure(CUR_CANCELED);
    }
    m_log->print(2, "%sLoop send mocf bytes to scanner.\n", P);
    std::uint32_t address = kBootAddress;
    std::vector<std::uint8_t> block(kBlock);
    for (std::size_t sent = 0; sent < L;) {
        FixedPause(10);
        const std::uint8_t erase = 'E', program = 'P';
        if (!sendRelay(P, &erase, 1, usb, reply)) {
            m_log->print(4, "%scould not write the erase to the scanner. Scanner response = 0X%02X.\n", E, reply[status]);
            return failure(CUR_FAILURE);
        }
        std::uint8_t a[4];
        addressBytes(address, a);
        m_log->print(0x20, "%sSend start Address command = 0X%02X,0X%02X,0X%02X,0X%02X.\n", P, a[0], a[1], a[2], a[3]);
        if (!sendRelay(P, a, 4, usb, reply)) {
            m_log->print(4, "%scould not write the erase start address to the scanner. Scanner response = 0X%02X.\n", E,
                         reply[status]);
            return failure(CUR_FAILURE);
        }
        FixedPause(10);
        if (!sendRelay(P, &program, 1, usb, reply)) {
            m_log->print(4, "%scould not write the P command to the scanner. Scanner response = 0X%02X.\n", E,
                         reply[status]);
            return failure(CUR_FAILURE);
        }
        if (!sendRelay(P, a, 4, usb, reply,
                       usb ? "Send Start Address command again, response" : "send the address again, response")) {
            m_log->print(4, "%scould not write the program start address to the scanner. Scanner response = 0X%02X.\n",
                         E, reply[status]);
            return failure(CUR_FAILURE);
        }
        blockAt(image, sent, block.data());
        for (std::size_t piece = 0; piece < kBlock; piece += 16) {
            std::uint8_t data[18];
            std::memcpy(data, block.data() + piece, 16);
            const std::uint16_t sum = blockSum(data, 16);
            data[16] = static_cast<std::uint8_t>(sum >> 8);
            data[17] = static_cast<std::uint8_t>(sum);
            if (!sendRelay(P, data, 18, usb, reply)) {
                m_log->print(4,
                             "%scould not write the data to the scanner, ulBytesSent = %ld. Scanner response = 0X%02X.\n",
                             E, static_cast<long>(sent + piece), reply[status]);
                return failure(CUR_FAILURE);
            }
        }
        sent += kBlock;
        m_bytesDone = doneAtStart + static_cast<std::uint32_t>(std::min(sent, L));
        progress();
        address = sent == 3 * kBlock ? kBootUpperAddress : address + kBlock;
    }
    m_log->print(2, "%sComplete send mocf bytes to scanner.\n", P);
    FixedPause(500);
    if (!ExitFlashMode(IMAGE_KIND_BOOT, true)) {
        *result = CUR_FAILURE_BRICK;
        return false;
    }
    *result = CUR_SUCCESS;
    m_log->print(2, "%sexit function.\n", E);
    return true;
}
