// The image writers over a serial port: the application image straight to
// the bootloader, the boot image through the running application, which
// relays every bootloader byte it receives in NEWBLI commands.
#include "BlockFraming.h"
#include "MyPrivateParams.h"
#include "ScannerCommands.h"

#include "platform/time.h"

#include <cstring>
#include <string>

using namespace blockframing;

bool MyPrivateParams::FlashScanner_App_RS232(int* result)
{
    const char* P = "MyPrivateParams -- FlashScanner_App_RS232: ";
    const std::vector<std::uint8_t>& image = m_appImage.bytes;
    const std::size_t L = image.size();
    const std::uint32_t doneAtStart = m_bytesDone;
    const DWORD timeout = static_cast<DWORD>(m_MenuCmd_Timeout_mSecs > 0 ? m_MenuCmd_Timeout_mSecs : 0);
    progress();
    const std::string port = m_portName ? LogText(*m_portName) : std::string();
    m_log->print(2, "%sOpen com port = %s.\n", P, port.c_str());
    if (!m_portName || !m_serial.OpenPort(*m_portName, m_working, 0)) {
        m_log->print(4, "%scould not open the entered serial port. Port number = %s.\n", P, port.c_str());
        *result = CUR_FAILURE;
        return false;
    }
    FixedPause(200);
    m_serial.Purge();
    if (pinfo.mode != 'A') {
        *result = CUR_SUCCESS_RECOVERY;
    } else if (!EnterBootMode()) {
        m_log->print(4, "%scould not enter the scanner to boot mode .\n", P);
        m_serial.Close();
        *result = CUR_FAILURE;
        return false;
    }
    std::uint8_t reply[64];
    std::uint8_t command[20];
    auto failure = [&](int code) {
        *result = code;
        ExitFlashMode(IMAGE_KIND_APP, false);
        return false;
    };
    // Every reply is logged, under the name the step gives it.
    auto readReply = [&](std::size_t count, const char* label = "response") {
        std::memset(reply, 0, sizeof reply);
        m_serial.ReadWithTimeout(reply, count, timeout);
        m_log->print(0x20, "%s%s = %s\n", P, label, hex16(reply).c_str());
        return reply[0];
    };
    m_log->print(2, "%sBootloader always work in 115200,N,8,1. Change RS232 DCB settings to 115200,8,N,1.\n", P);
    m_working.dcb.BaudRate = 115200;
    m_working.dcb.ByteSize = 8;
    m_working.dcb.Parity = NOPARITY;
    m_working.dcb.StopBits = ONESTOPBIT;
    m_serial.ChangeDcbSettings(m_working.dcb);
    m_serial.Purge();
    SleepMs(m_MenuCmd_TimeDelay_mSecs);

    m_log->print(2, "%sSend BTLPRO command.\n", P);
    for (std::uint32_t attempt = 1;; ++attempt) {
        if (m_RetryMax == 0)
            return failure(CUR_FAILURE);
        m_serial.Write(command, BuildCommand(CC_BTLPRO, command));
        readReply(11, "BTLPRO command response");
        if (reply[9] == 0x06) {
            m_log->print(2, "%sRetry the %dth times, get valid response for CC_BTLPRO command. Scanner response = 0X%02X.\n",
                         P, static_cast<int>(attempt), reply[9]);
            break;
        }
        if (attempt >= m_RetryMax) {
            m_log->print(4,
                         "%sRetry %d times, but could not get valid response for CC_BTLPRO command. Scanner response = "
                         "0X%02X.\n",
                         P, static_cast<int>(attempt), reply[9]);
            return failure(CUR_FAILURE);
        }
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
    }
    SleepMs(m_MenuCmd_TimeDelay_mSecs);
    m_serial.Purge();
    m_log->print(2, "%sSend 0x1B command.\n", P);
    for (std::uint32_t attempt = 1;; ++attempt) {
        m_serial.Write(command, BuildCommand(CC_ESC, command));
        if (readReply(1) == 0x11) {
            m_log->print(2, "%sRetry the %dth times, get valid response for 0x1B command. Scanner response = 0X%02X.\n",
                         P, static_cast<int>(attempt), reply[0]);
            break;
        }
        if (attempt >= m_RetryMax) {
            m_log->print(4, "%sRetry %d times, but could not write the 0x1B to the scanner. Scanner response = 0X%02X.\n",
                         P, static_cast<int>(attempt), reply[0]);
            return failure(CUR_FAILURE);
        }
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
    }
    SleepMs(m_MenuCmd_TimeDelay_mSecs);
    m_log->print(2, "%sSend ACK command.\n", P);
    m_serial.Write(command, BuildCommand(CC_ACK, command));
    if (readReply(1) != 0x11) {
        m_log->print(4, "%scould not write the ACK to the scanner. Scanner response = 0X%02X.\n", P, reply[0]);
        return failure(CUR_FAILURE);
    }
    if (cancelled()) {
        m_log->print(4, "%sthe upgrade has been cancled.\n", P);
        return failure(CUR_CANCELED);
    }
    m_log->print(2, "%sLoop send mocf bytes to scanner.\n", P);
    std::uint32_t address = kAppAddress;
    std::vector<std::uint8_t> frame(4 + kBlock);
    for (std::size_t sent = 0; sent < L;) {
        FixedPause(10);
        m_serial.Write(command, BuildCommand(CC_ERASE, command));
        if (readReply(1) != 0x11) {
            m_log->print(4, "%scould not write the erase to the scanner. Scanner response = 0X%02X\n", P, reply[0]);
            return failure(CUR_FAILURE);
        }
        std::uint8_t a[4];
        addressBytes(address, a);
        m_serial.Write(a, 4);
        m_log->print(0x20, "%sSend start Address command = 0X%02X,0X%02X,0X%02X,0X%02X.\n", P, a[0], a[1], a[2], a[3]);
        if (readReply(1) != 0x11) {
            m_log->print(4, "%scould not write the erase start address to the scanner. Scanner response = 0X%02X.\n", P,
                         reply[0]);
            return failure(CUR_FAILURE);
        }
        FixedPause(10);
        m_serial.Write(command, BuildCommand(CC_PROGRAM, command));
        if (readReply(1) != 0x11) {
            m_log->print(4, "%scould not write the P command to the scanner. Scanner response = 0X%02X.\n", P, reply[0]);
            return failure(CUR_FAILURE);
        }
        m_serial.Write(command, BuildCommand(CC_DC1, command));
        std::memcpy(frame.data(), a, 4);
        blockAt(image, sent, frame.data() + 4);
        m_serial.Write(frame.data(), frame.size());
        const std::uint16_t sum = blockSum(frame.data() + 4, kBlock);
        const std::uint8_t sumBytes[2] = {static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)};
        m_serial.Write(sumBytes, 2);
        if (readReply(1) != 0x11) {
            m_log->print(4, "%scould not write the data to the scanner, ulBytesSent = %ld. Scanner response = 0X%02X.\n",
                         P, static_cast<long>(sent), reply[0]);
            return failure(CUR_FAILURE);
        }
        sent += kBlock;
        address += kBlock;
        m_bytesDone = doneAtStart + static_cast<std::uint32_t>(std::min(sent, L));
        progress();
        if (cancelled()) {
            m_log->print(4, "%sthe upgrade has been cancled.\n", P);
            return failure(CUR_CANCELED);
        }
    }
    FixedPause(500);
    m_log->print(2, "%sComplete send mocf bytes to scanner.\n", P);
    if (!ExitFlashMode(IMAGE_KIND_APP, true)) {
        *result = CUR_FAILURE_BRICK;
        return false;
    }
    m_log->print(2, "%sexit function.\n", P);
    return true;
}

bool MyPrivateParams::FlashScanner_RS232_Boot(int* result)
{
    const char* P = "MyPrivateParams -- FlashScanner_RS232_Boot: ";
    const DWORD timeout = static_cast<DWORD>(m_MenuCmd_Timeout_mSecs > 0 ? m_MenuCmd_Timeout_mSecs : 0);
    progress();
    const std::string port = m_portName ? LogText(*m_portName) : std::string();
    m_log->print(2, "%sOpen com port = %s.\n", P, port.c_str());
    if (!m_portName || !m_serial.OpenPort(*m_portName, m_working, 0)) {
        m_log->print(4, "%scould not open the entered serial port. Port number = %s", P, port.c_str());
        *result = CUR_FAILURE;
        return false;
    }
    std::uint8_t reply[64];
    std::uint8_t command[20];
    m_serial.Purge();
    m_log->print(2, "%sSend TRGMOD command to lock the scanner before update.\n", P);
    m_serial.Write(command, BuildCommand(CC_TRGMOD, command));
    std::memset(reply, 0, sizeof reply);
    m_serial.ReadWithTimeout(reply, 32, timeout);
    m_log->print(0x20, "%sTRGMOD0;TRGITG1! command response 1th part = %s\n", P, hex16(reply).c_str());
    m_log->print(0x20, "%sTRGMOD0;TRGITG1! command response 2th part = %s\n", P, hex16(reply + 16).c_str());
    SleepMs(m_TRGMOD_TimeDelay_mSecs);
    return writeBootThroughRelay(P, P, false, result);
}
