// Asking the scanner about itself (P_INFO), the input and compatibility
// checks, entering the bootloader, leaving flash mode and checking that the
// scanner came back.
#include "MyPrivateParams.h"
#include "ScannerCommands.h"

#include "platform/time.h"

#include <cstring>
#include <string>

namespace {

constexpr const char* GP = "MyPrivateParams -- Scanner_GetPinfo: ";
constexpr const char* DS = "MyPrivateParams -- CheckDeviceStatus: ";
constexpr std::size_t kPinfoHeader = 6;  // "P_INFO"

// Lines that name the line settings in use (prefix, baud rate, byte size,
// parity, stop bits).
constexpr const char* kValidHeader =
    "%sget P_INFO string with valid header format in baudrate %d, ByteSize = %d, Parity = %d, StopBits = %d. \n";
constexpr const char* kInvalidHeader =
    "%sget P_INFO string with invalid header format in baudrate %d, ByteSize = %d, Parity = %d, StopBits = %d. \n";
constexpr const char* kNoPinfo =
    "%scould not get P_INFO string in baudrate %d, ByteSize = %d, Parity = %d, StopBits = %d. \n";
constexpr const char* kNoSyncReply =
    "%scould not get any response for SYN C command in baudrate %d, ByteSize = %d, Parity = %d, StopBits = %d. \n";

bool is8N1(const DCB& dcb) { return dcb.ByteSize == 8 && dcb.Parity == NOPARITY && dcb.StopBits == ONESTOPBIT; }

bool sameFraming(const DCB& a, const DCB& b)
{
    return a.ByteSize == b.ByteSize && a.Parity == b.Parity && a.StopBits == b.StopBits;
}

std::string hexBytes(const std::uint8_t* bytes, std::size_t n)
{
    std::string out;
    char piece[8];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(piece, sizeof piece, "0X%02X ", bytes[i]);
        out += piece;
    }
    return out;
}

// The reply text without "P_INFO" and without the two closing characters
// (ACK and mark); false when the reply is too short to hold them.
bool pinfoBody(const std::string& afterHeader, std::string* body)
{
    if (afterHeader.size() < 2)
        return false;
    *body = afterHeader.substr(0, afterHeader.size() - 2);
    return true;
}

}  // namespace

bool MyPrivateParams::usbCommand(std::uint32_t id, std::uint8_t* reply, bool read)
{
    std::uint8_t report[64] = {0xFD};
    const std::size_t n = BuildCommand(id, report + 2);
    report[1] = static_cast<std::uint8_t>(n);
    if (m_usb.WriteReport(report, n + 2) == 0)
        return false;
    if (read)
        m_usb.ReadReport(reply, 64, static_cast<DWORD>(m_MenuCmd_Timeout_mSecs > 0 ? m_MenuCmd_Timeout_mSecs : 0));
    return true;
}

bool MyPrivateParams::findApplicationDevice(const char* prefix)
{
    // Product ids vendor id + 0 to + 5 on interface 1, then + 10 on
    // interface 2 (formed from the vendor id the scanner reported).
    static const struct {
        unsigned offset;
        unsigned interfaceNumber;
    } kCandidates[] = {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {10, 2}};
    for (const auto& candidate : kCandidates) {
        const auto product = static_cast<std::uint16_t>(pinfo.usbvid + candidate.offset);
        if (m_usb.FindHidDevice(pinfo.usbvid, product, candidate.interfaceNumber, true)) {
            m_log->print(2, "%sFind APP HidDevice VendorID = 0x%04x, ProductID = 0x%04x, and Usage # = 0x%04x.\n",
                         prefix, pinfo.usbvid, static_cast<unsigned>(product), 2u);
            return true;
        }
    }
    return false;
}

// P_INFO over the open HID device: the text after "P_INFO", collected over
// as many reports as the scanner sends. `invalid` is the line that reports
// a reply without the header (its arguments the working line settings),
// `valid` (may be null) the one that reports a good header.
bool MyPrivateParams::usbReadPinfo(std::string* text, const char* prefix, const char* invalid, const char* valid)
{
    m_log->print(2, "%sSend PINFO command to get scanner info.\n", prefix);
    std::uint8_t reply[64];
    usbCommand(CC_P_INFO, reply, true);
    const DWORD timeout = static_cast<DWORD>(m_MenuCmd_Timeout_mSecs > 0 ? m_MenuCmd_Timeout_mSecs : 0);
    const std::size_t payloadMax = std::min<std::size_t>(60, m_usb.caps().InputReportByteLength > 5
                                                                 ? m_usb.caps().InputReportByteLength - 5
                                                                 : 0);
    std::size_t count = std::min<std::size_t>(reply[0], payloadMax);
    if (count == 0) {
        m_log->print(4, "%scould not get scanner info.\n", prefix);
        return false;
    }
    if (count < kPinfoHeader || std::memcmp(reply + 4, "P_INFO", kPinfoHeader) != 0) {
        m_log->print(4, invalid, prefix, static_cast<int>(m_working.dcb.BaudRate), m_working.dcb.ByteSize,
                     m_working.dcb.Parity, m_working.dcb.StopBits);
        m_log->print(4, "%sHex P_INFO hearder string: \n%s\n", prefix, hexBytes(reply + 4, 6).c_str());
        return false;
    }
    if (valid != nullptr)
        m_log->print(2, valid, prefix);
    text->assign(reinterpret_cast<const char*>(reply + 4 + kPinfoHeader), count - kPinfoHeader);
    bool lastPart = text->find("csum") != std::string::npos;
    for (int reports = 0; reports < 256; ++reports) {
        if (lastPart && text->size() >= 2 && static_cast<unsigned char>((*text)[text->size() - 2]) == 0x06)
            break;
        if (m_usb.ReadReport(reply, sizeof reply, timeout) == 0)
            break;
        count = std::min<std::size_t>(reply[0], payloadMax);
        const std::string piece(reinterpret_cast<const char*>(reply + 4), count);
        text->append(piece);
        if (piece.find("csum") != std::string::npos)
            lastPart = true;
    }
    return true;
}

bool MyPrivateParams::serialPinfoQuery(std::string* reply, bool settle)
{
    if (settle)
        FixedPause(200);
    m_serial.Purge();
    std::uint8_t command[20];
    const std::size_t n = BuildCommand(CC_P_INFO, command);
    m_serial.Write(command, n);
    std::uint8_t buffer[1024] = {};
    const std::size_t got = m_serial.ReadWithTimeout(buffer, 1023, static_cast<DWORD>(m_MenuCmd_Timeout_mSecs));
    reply->assign(reinterpret_cast<const char*>(buffer), got);
    return got > 0;
}

void MyPrivateParams::logWithLine(std::uint32_t messageClass, const char* format, const char* prefix)
{
    logWithLine(messageClass, format, prefix, m_working.dcb);
}

void MyPrivateParams::logWithLine(std::uint32_t messageClass, const char* format, const char* prefix, const DCB& dcb)
{
    m_log->print(messageClass, format, prefix, static_cast<int>(dcb.BaudRate), dcb.ByteSize, dcb.Parity, dcb.StopBits);
}

void MyPrivateParams::logHeaderBytes(const char* prefix, const char* title, std::string reply)
{
    reply.resize(std::max<std::size_t>(reply.size(), 6), '\0');
    m_log->print(4, "%s%s%s\n", prefix, title, hexBytes(reinterpret_cast<const std::uint8_t*>(reply.data()), 6).c_str());
}

bool MyPrivateParams::Scanner_GetPinfo()
{
    pinfo = PinfoRecord{};
    m_log->print(2, "%senter function.\n", GP);
    std::string text;
    if (m_IfaceType == CIF_RS232 || m_IfaceType == CIF_USBCDC) {
        m_log->print(2, "%stry to send pinfo in 8,N,1 first.\n", GP);
        if (!is8N1(m_working.dcb)) {
            m_log->print(2, "%sThe inputted Rs232_Settigns is not in 8,N,1, change local_Rs232_Settigns to 8,N,1.\n", GP);
            m_working.dcb.ByteSize = 8;
            m_working.dcb.Parity = NOPARITY;
            m_working.dcb.StopBits = ONESTOPBIT;
        } else {
            m_log->print(2,
                         "%sThe inputted Rs232_Settigns is in 8,N,1, no need to change local_Rs232_Settigns to 8,N,1.\n",
                         GP);
        }
        if (!m_portName || !m_serial.OpenPort(*m_portName, m_working, 1000)) {
            m_log->print(4, "%scould not open the entered port fileName. port fileName = %s.\n", GP,
                         m_portName ? LogText(*m_portName).c_str() : "");
            return false;
        }
        std::string reply;
        const bool got = serialPinfoQuery(&reply, true);
        if (got && reply.compare(0, kPinfoHeader, "P_INFO") == 0) {
            logWithLine(2, kValidHeader, GP);
            m_serial.Close();
            text = reply.substr(kPinfoHeader);
        } else {
            if (!got) {
                logWithLine(4, kNoPinfo, GP);
            } else {
                logWithLine(4, kInvalidHeader, GP);
                logHeaderBytes(GP, "Hex P_INFO string: \n", reply);
            }
            if (is8N1(m_rs232.dcb)) {
                m_serial.Close();
                m_log->print(4, "%scould not get scanner info in baudrate %d.\n", GP,
                             static_cast<int>(m_working.dcb.BaudRate));
                return false;
            }
            m_log->print(2,
                         "%scould not get scanner info in 8, N, 1, and the inputted rs232_settings DCB is not in 8, "
                         "N,1. try it again.\n",
                         GP);
            m_working = m_rs232;
            m_serial.ChangeDcbSettings(m_working.dcb);
            const bool again = serialPinfoQuery(&reply, true);
            m_serial.Close();
            if (!again) {
                logWithLine(4, kNoPinfo, GP);
                return false;
            }
            if (reply.compare(0, kPinfoHeader, "P_INFO") != 0) {
                logWithLine(4, kInvalidHeader, GP);
                logHeaderBytes(GP, "Hex P_INFO string: \n", reply);
                return false;
            }
            logWithLine(2, kValidHeader, GP);
            text = reply.substr(kPinfoHeader);
        }
    } else if (m_IfaceType == CIF_USBHID_BARCODE_SCANNER) {
        if (m_deviceSearch) {
            if (!findApplicationDevice(GP)) {
                m_log->print(4, "%scould not auto detect the device.\n", GP);
                return false;
            }
        } else if (!m_portName || !m_usb.OpenUSBPort(*m_portName)) {
            m_log->print(4, "%scould not open the entered port fileName. port fileName = %s.\n", GP,
                         m_portName ? LogText(*m_portName).c_str() : "");
            return false;
        }
        const bool ok = usbReadPinfo(&text, GP, kInvalidHeader, nullptr);
        m_usb.Close();
        if (!ok)
            return false;
    } else {
        m_log->print(4, "%snot support yet except CIF_RS232 and CIF_USBHID_BARCODE_SCANNER.\n", GP);
        return false;
    }
    m_log->print(2, "%sScanner Pinfo information: \n", GP);
    m_log->write(2, text);
    m_log->print(2, "\nMyPrivateParams -- Scanner_GetPinfo: P_INFO END.\n");
    std::string body;
    if (!pinfoBody(text, &body) || ParsePinfo(body, &pinfo) != 0) {
        m_log->print(4, "%sparse scanner info failed.\n", GP);
        return false;
    }
    if (!InterpretPinfo(&pinfo)) {
        m_log->print(4, "%sScanner is in neither App nor Boot mode.\n", GP);
        return false;
    }
    m_log->print(2, pinfo.mode == 'A' ? "%sScanner is in APP mode.\n" : "%sScanner is in Boot mode.\n", GP);
    m_log->print(2, "%sexit function.\n", GP);
    return true;
}

bool MyPrivateParams::CheckInputParameters()
{
    const char* P = "MyPrivateParams -- CheckInputParameters: ";
    m_log->print(2, "%senter function..\n", P);
    m_log->print(2, "Interface    =\t%d.\n", m_IfaceType);
    m_log->print(2, "PortFileName =  %s.\n", m_portName ? LogText(*m_portName).c_str() : "");
    if (m_logTarget < 0 || m_logTarget > 2 || m_IfaceType < 0 || m_IfaceType > 4) {
        m_log->print(4, "%sinvalid interface type input.\n", P);
        return false;
    }
    if (!m_portName) {
        m_log->print(4, "%sinvalid PortFileName type input.\n", P);
        return false;
    }
    m_log->print(2, "%sexit function..\n", P);
    return true;
}

bool MyPrivateParams::CheckCompatibleData()
{
    const char* P = "MyPrivateParams -- CheckCompatibleData: ";
    if (pinfo.compat[0] == 0) {
        m_log->print(2, "%sMissing COMPAT Record.\n", P);
        return true;
    }
    for (int i = 0; i < 32 && pinfo.compat[i] != 0; ++i)
        m_log->print(2, "%sPINFO Compat: %d is: 0x%02x\n", P, i, pinfo.compat[i]);
    for (int i = 0; i < 33 && pinfo.incompat[i] != 0; ++i)
        m_log->print(2, "%sPINFO inCompat: %d is: 0x%02x\n", P, i, pinfo.incompat[i]);
    const CompatTable& file = FileCompatTable();
    auto fileHas = [&](std::uint32_t code) {
        if (file.count == 0)
            return true;
        for (std::uint32_t i = 0; i < file.count && i < 100; ++i)
            if ((file.values[i] & 0xFF) == code)
                return true;
        return false;
    };
    for (int i = 0; i < 32 && pinfo.incompat[i] != 0; ++i)
        if (fileHas(pinfo.incompat[i])) {
            m_log->print(4, "%sFile is incompatible: %d.\n", P, pinfo.incompat[i]);
            return false;
        }
    for (int i = 0; i < 32 && pinfo.compat[i] != 0; ++i)
        if (fileHas(pinfo.compat[i])) {
            m_log->print(2, "%sFile is compatible: %d.\n", P, pinfo.compat[i]);
            return true;
        }
    return false;
}

bool MyPrivateParams::EnterBootMode()
{
    const char* P = "MyPrivateParams -- EnterBootMode: ";
    const char* R = "MyPrivateParams -- EnterBootMode : ";
    const bool serial = m_IfaceType == CIF_RS232 || m_IfaceType == CIF_USBCDC;
    if (!serial && m_IfaceType != CIF_USBHID_BARCODE_SCANNER)
        return true;
    m_log->print(2, "%sSend TRGMOD command to lock the scanner before update.\n", P);
    for (std::uint32_t attempt = 1;; ++attempt) {
        if (m_RetryMax == 0)
            return false;
        std::uint8_t reply[64] = {};
        std::uint8_t status = 0;
        if (serial) {
            std::uint8_t command[20];
            m_serial.Write(command, BuildCommand(CC_TRGMOD, command));
            m_serial.ReadWithTimeout(reply, 32, static_cast<DWORD>(m_MenuCmd_Timeout_mSecs));
            m_log->print(0x20, "%sTRGMOD0;TRGITG1! command response 1th part = %s\n", P, hexBytes(reply, 16).c_str());
            m_log->print(0x20, "%sTRGMOD0;TRGITG1! command response 2th part = %s\n", P,
                         hexBytes(reply + 16, 16).c_str());
            status = reply[7];
        } else {
            usbCommand(CC_TRGMOD, reply, true);
            status = reply[11];
        }
        if (status == 0x06) {
            m_log->print(2,
                         serial ? "%sRetry the %dth times, get valid response for CC_TRGMOD command. Scanner response "
                                  "= 0X%02X.\n"
                                : "%sRetry the %dth times,  get valid response for CC_TRGMOD command. Scanner response "
                                  "= 0X%02X.\n",
                         R, static_cast<int>(attempt), status);
            break;
        }
        if (attempt >= m_RetryMax) {
            m_log->print(4,
                         "%sRetry %d times, but could not get valid response for CC_TRGMOD command. Scanner response = "
                         "0X%02X.\n",
                         R, static_cast<int>(attempt), status);
            return false;
        }
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
    }
    SleepMs(m_TRGMOD_TimeDelay_mSecs);
    m_log->print(2, "%sSend ENTERBOOT command to enter the scanner to boot mode.\n", P);
    if (serial) {
        std::uint8_t command[20];
        m_serial.Write(command, BuildCommand(CC_NEWAP2, command));
        SleepMs(m_RS232_NEWAP2_TimeDelay_mSecs);
    } else {
        usbCommand(CC_NEWAP2, nullptr, false);
        SleepMs(m_USB_NEWAP2_TimeDelay_mSecs);
    }
    return true;
}

bool MyPrivateParams::ExitFlashMode(std::uint32_t kind, bool check)
{
    const char* P = "MyPrivateParams -- ExitFlashMode: ";
    m_log->print(2, "%senter function.\n", P);
    std::int32_t reboot = pinfo.physical_cable_type == 'R'   ? m_RS232_RESET_TimeDelay_mSecs
                          : pinfo.physical_cable_type == 'U' ? m_USB_RESET_TimeDelay_mSecs
                                                             : 0;
    std::uint8_t command[20];
    const bool boot = kind == IMAGE_KIND_BOOT;
    const bool app = kind == IMAGE_KIND_APP;
    switch (m_IfaceType) {
    case CIF_RS232:
        if (boot) {
            m_log->print(2, "%sSend NEWBLE command.\n", P);
            m_serial.Write(command, BuildCommand(CC_NEWBLE, command));
        } else if (app) {
            m_log->print(2, "%sSend X command.\n", P);
            m_serial.Write(command, BuildCommand(CC_EXIT, command));
        }
        m_serial.Close();
        break;
    case CIF_USBHID_BARCODE_SCANNER:
        if (boot)
            usbCommand(CC_NEWBLE, nullptr, false);
        else if (app)
            usbCommand(CC_EXIT, nullptr, false);
        m_usb.Close();
        break;
    case CIF_USBCDC:
        if (boot) {
            m_serial.Write(command, BuildCommand(CC_NEWBLE, command));
            m_serial.Close();
        } else if (app) {
            usbCommand(CC_EXIT, nullptr, false);
            m_usb.Close();
        }
        break;
    default:
        m_log->print(4, "%snot support yet.\n", P);
        break;
    }
    m_log->print(2, "%swait %d msec for reboot.\n", P, reboot);
    SleepMs(reboot);
    bool ok = false;
    if (check) {
        for (std::uint32_t i = 0; i < m_RetryMax; ++i) {
            m_log->print(2, "%stry to check device status %dth.\n", P, static_cast<int>(i));
            if (CheckDeviceStatus()) {
                ok = true;
                break;
            }
            if (i + 1 < m_RetryMax)
                FixedPause(3000);
        }
    }
    m_log->print(2, "%sexit function.\n", P);
    return ok;
}

bool MyPrivateParams::CheckDeviceStatus()
{
    const bool complete = m_bytesDone == m_bytesTotal;
    const DWORD timeout = static_cast<DWORD>(m_MenuCmd_Timeout_mSecs > 0 ? m_MenuCmd_Timeout_mSecs : 0);
    auto checkAppMode = [&](const std::string& text) {
        std::string body;
        PinfoRecord fresh{};
        if (!pinfoBody(text, &body) || ParsePinfo(body, &fresh) != 0) {
            m_log->print(4, "%sparse scanner info failed.\n", DS);
            return false;
        }
        const char* mode = LookupPinfo(fresh, "mode");
        if (mode == nullptr || std::strcmp(mode, "app") != 0) {
            m_log->print(4, "%sScanner is not in APP mode %s.\n", DS, mode ? mode : "");
            return false;
        }
        m_log->print(2, "%sScanner is in APP mode, reboot successfully.\n", DS);
        return true;
    };
    if (m_IfaceType == CIF_USBHID_BARCODE_SCANNER) {
        if (pinfo.mode == 'A') {
            m_log->print(2, "%sFor App mode start, open inputted USB port name directly.\n", DS);
            if (!m_portName || !m_usb.OpenUSBPort(*m_portName)) {
                m_log->print(4, "%scould not open the entered port fileName. port fileName = %s.\n", DS,
                             m_portName ? LogText(*m_portName).c_str() : "");
                return false;
            }
            m_log->print(2, "%sopen the entered port fileName. port fileName = %s.\n", DS,
                         LogText(*m_portName).c_str());
            m_log->print(2, "%sForm App mode start, send P_INFO Menu command after reboot via HID device.\n", DS);
            FixedPause(1000);
            std::string text;
            if (!usbReadPinfo(&text, DS, "%sget P_INFO string with invalid header.\n",
                              "%sget P_INFO string with valid header.\n") ||
                !checkAppMode(text)) {
                m_usb.Close();
                return false;
            }
        } else {
            m_log->print(2, "%sFor boot mode start, detect the app device. \n\n", DS);
            if (!findApplicationDevice(DS)) {
                m_log->print(4, "%scould not detect the device.\n", DS);
                return false;
            }
        }
        if (complete) {
            SleepMs(m_MenuCmd_TimeDelay_mSecs);
            m_log->print(2, "%sSend VISMN40 command to return to normal operation to application after update.\n", DS);
            std::uint8_t reply[64] = {};
            usbCommand(CC_VISMN40, reply, true);
            m_log->print(0x20, "%sVISMN40 command response = %s\n", DS, hexBytes(reply, 8).c_str());
        }
        m_usb.Close();
        return true;
    }
    if (m_IfaceType != CIF_RS232 && m_IfaceType != CIF_USBCDC) {
        m_log->print(4, "%snot support yet.\n", DS);
        return false;
    }
    m_log->print(2, "PortFileName =  %s.\n", m_portName ? LogText(*m_portName).c_str() : "");
    if (!m_portName)
        return false;
    if (pinfo.mode == 'A') {
        m_log->print(2, "%sFor App mode start, send P_INFO command with inputted baudrate.\n", DS);
        m_working.dcb.BaudRate = m_rs232.dcb.BaudRate;
        if (!m_serial.OpenPort(*m_portName, m_working, 0)) {
            m_log->print(4, "%scould not open the entered port fileName. port fileName = %s.\n", DS,
                         LogText(*m_portName).c_str());
            return false;
        }
        std::string reply;
        bool got = serialPinfoQuery(&reply, true);
        if (!got || reply.compare(0, kPinfoHeader, "P_INFO") != 0) {
            if (got) {
                logWithLine(4, kInvalidHeader, DS);
                logHeaderBytes(DS, "Hex P_INFO string: \n", reply);
            } else {
                logWithLine(4,
                            "%scould not get P_INFO string with inputted baudrate %d, ByteSize = %d, Parity = %d, "
                            "StopBits = %d. \n",
                            DS);
            }
            if (sameFraming(m_working.dcb, m_rs232.dcb)) {
                m_serial.Close();
                m_log->print(4, "%shas failed to get scanner info with inputted rs232 settings, no need to try again.\n",
                             DS);
                return false;
            }
            FixedPause(10);
            m_log->print(2, "%sCan not get P_INFO command, try again with inputted rs232 settings. \n", DS);
            m_working = m_rs232;
            m_serial.ChangeDcbSettings(m_working.dcb);
            FixedPause(50);
            // No settle pause this time: the line was set 50 ms ago.
            got = serialPinfoQuery(&reply, false);
            if (!got || reply.compare(0, kPinfoHeader, "P_INFO") != 0) {
                m_serial.Close();
                if (!got)
                    logWithLine(4, kNoPinfo, DS);
                return false;
            }
        }
        if (!checkAppMode(reply.substr(kPinfoHeader))) {
            m_serial.Close();
            return false;
        }
    } else {
        m_log->print(2, "%sFor Boot mode start, loop send SYN C command from baudrate 115200 to 300. \n\n", DS);
        static const DWORD kRates[] = {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 600, 300};
        bool found = false;
        const std::uint8_t probe[3] = {0x16, 'C', 0x0D};
        for (DWORD rate : kRates) {
            m_log->print(2, "%stry baudrate: %d. \n", DS, static_cast<int>(rate));
            m_working.dcb.BaudRate = rate;
            if (!m_serial.OpenPort(*m_portName, m_working, 0)) {
                m_log->print(4, "%scould not open port with baudrate = %d. \n", DS, static_cast<int>(rate));
                FixedPause(10);
                continue;
            }
            m_serial.Purge();
            m_serial.Write(probe, 3);
            std::uint8_t reply[16] = {};
            m_serial.ReadWithTimeout(reply, 16, timeout);
            m_log->print(0x20, "%sSYN C command response = %s\n", DS, hexBytes(reply, 12).c_str());
            if (reply[0] == 0x06) {
                m_serial.Close();
                logWithLine(2, "%sscanner is working in baudrate %d, ByteSize = %d, Parity = %d, StopBits = %d. \n", DS);
                found = true;
                break;
            }
            logWithLine(4, kNoSyncReply, DS);
            FixedPause(10);
            if (!sameFraming(m_working.dcb, m_rs232.dcb)) {
                m_log->print(2, "%stry again with inputted rs232 settings.\n", DS);
                DCB dcb = m_rs232.dcb;
                dcb.BaudRate = rate;
                m_serial.ChangeDcbSettings(dcb);
                FixedPause(50);
                m_serial.Purge();
                m_serial.Write(probe, 3);
                std::memset(reply, 0, sizeof reply);
                m_serial.ReadWithTimeout(reply, 16, timeout);
                m_serial.Close();
                if (reply[0] == 0x06) {
                    m_working.dcb = dcb;
                    found = true;
                    break;
                }
                logWithLine(4, kNoSyncReply, DS, dcb);
                FixedPause(10);
            } else {
                m_serial.Close();
            }
        }
        if (!found) {
            m_log->print(4, "%scan not detect baudrate from baudrate 115200 to 300.\n", DS);
            return false;
        }
        m_log->print(2, "%sFrom boot mode, reopen com port to send VISMN40 Menu command after reboot via com port.\n",
                     DS);
        if (!m_serial.OpenPort(*m_portName, m_working, 0))
            return false;
        FixedPause(200);
        m_serial.Purge();
    }
    if (complete) {
        SleepMs(m_MenuCmd_TimeDelay_mSecs);
        m_log->print(2, "%sSend VISMN40 command to return to normal operation to application after update.\n", DS);
        std::uint8_t command[20];
        m_serial.Write(command, BuildCommand(CC_VISMN40, command));
        FixedPause(2000);
        for (std::uint32_t i = 0; i < m_RetryMax; ++i) {
            std::uint8_t reply[16] = {};
            m_serial.ReadWithTimeout(reply, 16, timeout);
            m_log->print(0x20, "%sretry %dth to read date, VISMN40 command response = %s\n", DS, static_cast<int>(i),
                         hexBytes(reply, 16).c_str());
            if (reply[0] != 0)
                break;
            if (i + 1 < m_RetryMax)
                FixedPause(1000);
        }
        m_serial.Purge();
    }
    m_serial.Close();
    return true;
}
