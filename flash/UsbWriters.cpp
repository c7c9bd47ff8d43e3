// The image writers over USB HID: the application image to the bootloader,
// which shows itself as its own HID device, and the boot image through the
// running application's relay.
#include "BlockFraming.h"
#include "MyPrivateParams.h"
#include "ScannerCommands.h"

#include "platform/time.h"

#include <cstring>
#include <string>

using namespace blockframing;

bool MyPrivateParams::FlashScanner_App_USB(int* result)
{
    const char* P = "MyPrivateParams -- FlashScanner_App_USB: ";
    const std::vector<std::uint8_t>& image = m_appImage.bytes;
    const std::size_t L = image.size();
    const std::uint32_t doneAtStart = m_bytesDone;
    const DWORD timeout = static_cast<DWORD>(m_MenuCmd_Timeout_mSecs > 0 ? m_MenuCmd_Timeout_mSecs : 0);
    *result = CUR_SUCCESS;
    progress();
    const std::string port = m_portName ? LogText(*m_portName) : std::string();
    if (pinfo.mode != 'A') {
        *result = CUR_SUCCESS_RECOVERY;
    } else if (m_IfaceType == CIF_USBCDC) {
        m_log->print(2, "%sOpen com port = %s.\n", P, port.c_str());
        if (!m_portName || !m_serial.OpenPort(*m_portName, m_rs232, 0)) {
            m_log->print(4, "%scould not open the entered serial port. Port number = %s.\n", P, port.c_str());
            *result = CUR_FAILURE;
            return false;
        }
        const bool entered = EnterBootMode();
        m_serial.Close();
        if (!entered) {
            m_log->print(4, "%scould not enter the scanner to boot mode .\n", P);
            *result = CUR_FAILURE;
            return false;
        }
    } else {
        m_log->print(2, "%sOpen usb port = %s.\n", P, port.c_str());
        if (!m_portName || !m_usb.OpenUSBPort(*m_portName)) {
            m_log->print(4, "%scould not open the entered port fileName. port fileName = %s.\n", P, port.c_str());
            *result = CUR_FAILURE;
            return false;
        }
        const bool entered = EnterBootMode();
        m_usb.Close();
        if (!entered) {
            m_log->print(4, "%scould not enter the scanner to boot mode .\n", P);
            *result = CUR_FAILURE;
            return false;
        }
    }
    int search = 0;
    for (search = 1; search <= 20; ++search) {
        if (m_usb.FindHidDevice(pinfo.usbvid, pinfo.usbpid, 0, false))
            break;
        if (search < 20)
            SleepMs(m_USB_DETECT_TimeDelay_mSecs);
    }
    if (search > 20) {
        m_log->print(4, "%sthe USB device is not in boot mode. Vendor ID = 0x%04X, Product ID = 0x%04X.\n", P,
                     pinfo.usbvid, pinfo.usbpid);
        *result = CUR_FAILURE;
        return false;
    }
    m_log->print(2, "%sthe USB device has already in boot mode. Vendor ID = 0x%04X, Product ID = 0x%04X.\n", P,
                 pinfo.usbvid, pinfo.usbpid);
    if (search <= 2)
        SleepMs(m_EnumDevice_TimeDelay_mSecs);
    else
        SleepMs((8 * search + 1) * (m_USB_DETECT_TimeDelay_mSecs / 4));

    std::uint8_t reply[64];
    auto failure = [&](int code) {
        *result = code;
        ExitFlashMode(IMAGE_KIND_APP, false);
        return false;
    };
    auto single = [&](std::uint8_t byte) {
        const std::uint8_t report[3] = {0xFD, 1, byte};
        m_usb.WriteReport(report, 3);
        m_usb.ReadReport(reply, sizeof reply, timeout);
        return reply[4];
    };
    m_log->print(2, "%sSend BTLPRO command.\n", P);
    std::uint8_t btlpro[20] = {0xFD};
    btlpro[1] = static_cast<std::uint8_t>(BuildCommand(CC_BTLPRO, btlpro + 2));
    for (std::uint32_t attempt = 1;; ++attempt) {
        if (m_RetryMax == 0)
            return failure(CUR_FAILURE);
        m_usb.WriteReport(btlpro, btlpro[1] + 2u);
        m_usb.ReadReport(reply, sizeof reply, timeout);
        if (reply[13] == 0x06)
            break;
        if (attempt >= m_RetryMax) {
            m_log->print(4,
                         "%sRetry %d times, but could not get valid response for CC_BTLPRO command. Scanner response = "
                         "0X%02X.\n",
                         P, static_cast<int>(attempt), reply[13]);
            return failure(CUR_FAILURE);
        }
        FixedPause(1000);
    }
    m_log->print(2, "%sSend 0x1B command.\n", P);
    for (std::uint32_t attempt = 1;; ++attempt) {
        if (single(0x1B) == 0x11)
            break;
        if (attempt >= m_RetryMax) {
            m_log->print(4,
                         "%sRetry %d times, but could not get valid response for 0x1B command. Scanner response = "
                         "0X%02X.\n",
                         P, static_cast<int>(attempt), reply[4]);
            return failure(CUR_FAILURE);
        }
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
    }
    SleepMs(m_MenuCmd_TimeDelay_mSecs);
    m_log->print(2, "%sSend ACK command.\n", P);
    if (single(0x06) != 0x11) {
        m_log->print(4, "%scould not write the ACK to the scanner. Scanner response = 0X%02X.\n", P, reply[4]);
        return failure(CUR_FAILURE);
    }
    if (cancelled()) {
        m_log->print(4, "%sthe upgrade has been cancled.\n", P);
        return failure(CUR_CANCELED);
    }
    m_log->print(2, "%sLoop send mocf bytes to scanner.\n", P);
    std::uint32_t address = kAppAddress;
    std::vector<std::uint8_t> block(kBlock);
    for (std::size_t sent = 0; sent < L;) {
        FixedPause(10);
        if (single('E') != 0x11) {
            m_log->print(4, "%scould not write the erase to the scanner. Scanner response = 0X%02X.\n", P, reply[4]);
            return failure(CUR_FAILURE);
        }
        std::uint8_t addressReport[6] = {0xFD, 4};
        addressBytes(address, addressReport + 2);
        m_log->print(0x20, "%sSend start Address command = 0X%02X,0X%02X,0X%02X,0X%02X.\n", P, addressReport[2],
                     addressReport[3], addressReport[4], addressReport[5]);
        m_usb.WriteReport(addressReport, 6);
        m_usb.ReadReport(reply, sizeof reply, timeout);
        m_log->print(0x20, "%sStart Address command response = %s\n", P, hex16(reply).c_str());
        if (reply[4] != 0x11) {
            m_log->print(4, "%scould not write the erase start address to the scanner. Scanner response = 0X%02X.\n", P,
                         reply[4]);
            m_log->print(4, "%serase start address = 0X%02X,0X%02X,0X%02X,0X%02X.\n", P, addressReport[2],
                         addressReport[3], addressReport[4], addressReport[5]);
            return failure(CUR_FAILURE);
        }
        FixedPause(10);
        if (single('P') != 0x11) {
            m_log->print(4, "%scould not write the P command to the scanner. Scanner response = 0X%02X.\n", P, reply[4]);
            return failure(CUR_FAILURE);
        }
        const std::uint8_t dc1[3] = {0xFD, 1, 0x11};
        m_usb.WriteReport(dc1, 3);
        m_usb.WriteReport(addressReport, 6);
        blockAt(image, sent, block.data());
        for (std::size_t offset = 0; offset < kBlock;) {
            const std::size_t n = std::min<std::size_t>(62, kBlock - offset);
            std::uint8_t report[64] = {0xFD, static_cast<std::uint8_t>(n)};
            std::memcpy(report + 2, block.data() + offset, n);
            m_usb.WriteReport(report, n + 2);
            offset += n;
        }
        const std::uint16_t sum = blockSum(block.data(), kBlock);
        const std::uint8_t sumReport[4] = {0xFD, 2, static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)};
        m_usb.WriteReport(sumReport, 4);
        m_usb.ReadReport(reply, sizeof reply, timeout);
        if (reply[4] != 0x11) {
            m_log->print(4, "%scould not write the data to the scanner, ulBytesSent = %ld. Scanner response = 0X%02X.\n",
                         P, static_cast<long>(sent), reply[4]);
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
    m_log->print(2, "%sComplete send mocf bytes to scanner.\n", P);
    FixedPause(500);
    if (!ExitFlashMode(IMAGE_KIND_APP, true)) {
        *result = CUR_FAILURE_BRICK;
        return false;
    }
    *result = CUR_SUCCESS;
    m_log->print(2, "MyPrivateParams -- FlashScanner_App_USB : exit function.\n");
    return true;
}

bool MyPrivateParams::FlashScanner_Boot_USB(int* result)
{
    const char* P = "MyPrivateParams -- FlashScanner_Boot_USB: ";
    const char* F = "MyPrivateParams -- FlashScanner_Boot_USB : ";
    progress();
    const std::string port = m_portName ? LogText(*m_portName) : std::string();
    if (m_deviceSearch) {
        if (!findApplicationDevice(P)) {
            m_log->print(4, "%scould not auto detect the device.\n", F);
            *result = CUR_FAILURE;
            return false;
        }
    } else {
        m_log->print(2, "%sOpen usb port = %s.\n", P, port.c_str());
        if (!m_portName || !m_usb.OpenUSBPort(*m_portName)) {
            m_log->print(4, "%scould not open the entered port fileName. port fileName = %s.\n", F, port.c_str());
            *result = CUR_FAILURE;
            return false;
        }
    }
    SleepMs(m_USB_DETECT_TimeDelay_mSecs);
    std::uint8_t reply[64];
    auto failure = [&](int code) {
        *result = code;
        ExitFlashMode(IMAGE_KIND_BOOT, false);
        return false;
    };
    m_log->print(2, "%sSend TRGMOD command to lock the scanner before update.\n", P);
    for (std::uint32_t attempt = 1;; ++attempt) {
        if (m_RetryMax == 0)
            return failure(CUR_FAILURE);
        usbCommand(CC_TRGMOD, reply, true);
        if (reply[11] == 0x06) {
            m_log->print(2, "%sRetry the %dth times,  get valid response for CC_TRGMOD command. Scanner response = 0X%02X.\n",
                         P, static_cast<int>(attempt), reply[11]);
            break;
        }
        if (attempt >= m_RetryMax) {
            m_log->print(4,
                         "%sRetry %d times, but could not get valid response for CC_TRGMOD command. Scanner response = "
                         "0X%02X.\n",
                         F, static_cast<int>(attempt), reply[11]);
            return failure(CUR_FAILURE);
        }
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
    }
    SleepMs(m_TRGMOD_TimeDelay_mSecs);
    return writeBootThroughRelay(P, F, true, result);
}
