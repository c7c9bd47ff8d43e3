#include "CDeviceInfoFetcher.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "products/ProductInfoText.h"

#include "platform/time.h"

#include <cstring>

namespace {

// Puts the record's read count back on every way out of a query.
class ReadCountGuard {
public:
    ReadCountGuard(PORTINFO* portInfo, bool raise, int by) : m_portInfo(portInfo), m_saved(portInfo->readCount)
    {
        if (raise) {
            m_portInfo->readCount += by;
        }
    }
    ~ReadCountGuard() { m_portInfo->readCount = m_saved; }
    ReadCountGuard(const ReadCountGuard&) = delete;
    ReadCountGuard& operator=(const ReadCountGuard&) = delete;

private:
    PORTINFO* m_portInfo;
    int m_saved;
};

bool portReportsDisconnection(PORTINFO* portInfo)
{
    return portInfo->port != nullptr && portInfo->port->isDisconnected();
}

}  // namespace

CDeviceInfoFetcher::CDeviceInfoFetcher() : m_menuHandler(nullptr) {}

CDeviceInfoFetcher::CDeviceInfoFetcher(PORTINFO* portInfo, CMenuMemory* menuMemory)
    : m_portInfo(portInfo), m_menuHandler(portInfo), m_menuMemory(menuMemory)
{
}

MenuResponse* CDeviceInfoFetcher::beginQuery(MenuResponse* reply, MenuResponse& scratch, const char* method)
{
    m_lastMenuResponseCode = 6;
    if (isStopped())
        return nullptr;
    if (reply == nullptr)
        reply = &scratch;
    m_menuHandler.setCancelFlag(getCancelFlag());
    reply->text.clear();
    reply->status = -1;
    if (m_portInfo == nullptr) {
        SDK_LOG(logbit::trace, method, "Port Info is NULL");
        return nullptr;
    }
    return reply;
}

bool CDeviceInfoFetcher::getInfoViaStandardMenu(MenuResponse* reply, const std::string& command, int headerKind,
                                                int endingKind, const std::string& address, bool echoCheck,
                                                int cleanupFlag)
{
    static const char* const kMethod = "CDeviceInfoFetcher::getInfoViaStandardMenu";
    MenuResponse scratch;
    reply = beginQuery(reply, scratch, kMethod);
    if (reply == nullptr)
        return false;
    m_menuHandler.setTimeout(getRemaingTimeout());
    ReadCountGuard readCount(m_portInfo, !address.empty(), 3);

    bool cached = false;
    if (m_menuMemory != nullptr && m_menuMemory->find(command, reply, address, headerKind, endingKind)) {
        SDK_LOG(logbit::trace, kMethod, "*****find in menu memory*****");
        cached = true;
    }
    if (!cached) {
        for (int attempt = 1; attempt <= 2; ++attempt) {
            if (isStopped()) {
                return false;
            }
            m_menuHandler.setTimeout(getRemaingTimeout());
            const bool sent = m_menuHandler.sendMenu(MenuCommand{command, reply, headerKind, endingKind, address, ""});
            if (!sent) {
                SDK_LOG(logbit::trace, kMethod, "Fail sending menu, menu:" + command);
                SDK_LOG(logbit::trace, kMethod, "Fail sending menu, response:" + reply->text);
                SDK_LOG(logbit::trace, kMethod, "Fail sending menu, ret:" + intToString(reply->status));
                m_lastMenuResponseCode = reply->status;
                return false;
            }
            SDK_LOG(logbit::trace, kMethod, "menu:" + command);
            SDK_LOG(logbit::trace, kMethod, "response:" + reply->text);
            SDK_LOG(logbit::trace, kMethod, "ret:" + intToString(reply->status));
            if (reply->status != -1 && reply->status != 0) {
                break;
            }
            SDK_LOG(logbit::trace, kMethod, "Try again - " + intToString(attempt));
            if (portReportsDisconnection(m_portInfo)) {
                m_portInfo->errorCode = kDisconnected;
                break;
            }
            if (attempt == 2) {
                break;
            }
            Sleep(30);
        }
        if (echoCheck) {
            const std::string upperCommand = productinfo::upperCase(command);
            if (reply->text.size() <= command.size()
                || (command.size() >= 6
                    && productinfo::upperCase(reply->text).find(upperCommand.substr(0, 6)) == std::string::npos)) {
                reply->status = -1;
            }
        }
        if (m_menuMemory != nullptr && reply->status != -1) {
            m_menuMemory->store(command, *reply, address, headerKind, endingKind);
        }
    }
    CMenuHandler::cleanupMenuResponse(reply->text, command, cleanupFlag != 0);

    bool result = true;
    if (reply->status == -1 && portReportsDisconnection(m_portInfo)) {
        std::memset(m_portInfo->errorText, 0, sizeof m_portInfo->errorText);
        std::strncpy(m_portInfo->errorText, "Device is disconnected!", sizeof m_portInfo->errorText - 1);
        m_portInfo->errorCode = kDisconnected;
        result = false;
    }
    m_lastMenuResponseCode = reply->status;
    return result;
}

bool CDeviceInfoFetcher::getInfoViaMutipleMenu(MenuResponse* reply, const std::string& command, int headerKind,
                                               int endingKind, const std::string& address)
{
    static const char* const kMethod = "CDeviceInfoFetcher::getInfoViaMutipleMenu";
    MenuResponse scratch;
    reply = beginQuery(reply, scratch, kMethod);
    if (reply == nullptr)
        return false;
    ReadCountGuard readCount(m_portInfo, !address.empty(), 8);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        if (isStopped()) {
            return false;
        }
        m_menuHandler.setTimeout(getRemaingTimeout());
        if (!m_menuHandler.sendMenu(MenuCommand{command, reply, headerKind, endingKind, address, ""})) {
            SDK_LOG(logbit::trace, kMethod, "Fail sending menu, menu:" + command);
            SDK_LOG(logbit::trace, kMethod, "Fail sending menu, response:" + reply->text);
            SDK_LOG(logbit::trace, kMethod, "Fail sending menu, ret:" + intToString(reply->status));
            m_lastMenuResponseCode = reply->status;
            return false;
        }
        SDK_LOG(logbit::trace, kMethod, "menu:" + command);
        SDK_LOG(logbit::trace, kMethod, "response:" + reply->text);
        SDK_LOG(logbit::trace, kMethod, "ret:" + intToString(reply->status));
        if (reply->status != -1 && reply->status != 0) {
            break;
        }
        if (attempt == 2) {
            break;
        }
        SDK_LOG(logbit::trace, kMethod, "Try again - " + intToString(attempt));
        Sleep(30);
    }
    m_lastMenuResponseCode = reply->status;
    return true;
}

std::string CDeviceInfoFetcher::queryText(const std::string& command, int headerKind, const std::string& address)
{
    MenuResponse reply;
    if (getInfoViaStandardMenu(&reply, command, headerKind, 0, address, true, 1) && reply.status == 6) {
        return reply.text;
    }
    return std::string();
}

int CDeviceInfoFetcher::queryNumber(const std::string& command)
{
    MenuResponse reply;
    if (getInfoViaStandardMenu(&reply, command, 0, 0, std::string(), true, 1) && reply.status == 6) {
        return productinfo::readDecimal(reply.text);
    }
    return -1;
}

std::string CDeviceInfoFetcher::queryName(int headerKind, const std::string& address)
{
    std::string name = queryText("P_NAME?", headerKind, address);
    if (name.empty()) {
        name = queryText("P_NAME", headerKind, address);
    }
    return name;
}

std::string CDeviceInfoFetcher::getProductName(const std::string& address)
{
    return queryName(1, address);
}

std::string CDeviceInfoFetcher::getProductDescription(const std::string& address)
{
    return queryName(0, address);
}

std::string CDeviceInfoFetcher::getProductInfo(const std::string& address)
{
    return queryText("P_INFO", 0, address);
}

std::string CDeviceInfoFetcher::getSerialNum(const std::string& address)
{
    return queryText("SERNUM?", 1, address);
}

int CDeviceInfoFetcher::getTerminalID(const std::string& address)
{
    MenuResponse reply;
    if (getInfoViaStandardMenu(&reply, "TERMID?", 0, 0, address, true, 1) && reply.status == 6) {
        return productinfo::readDecimal(reply.text);
    }
    return -1;
}

int CDeviceInfoFetcher::get232BaudRate()
{
    static const int kRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    const int code = queryNumber("232BAD?");
    if (code < 0 || code > 9) {
        return -1;
    }
    const int baud = kRates[code];
    CLogger* logger = CScanningSDK::getLogger();
    if (logger->isEnabled(logbit::trace)) {
        logger->log("CDeviceInfoFetcher::get232BaudRate - baud = " + intToString(baud) + ".", logbit::trace);
    }
    return baud;
}

int CDeviceInfoFetcher::get232DpsSetting() { return queryNumber("232WRD?"); }
int CDeviceInfoFetcher::get232DlyChr() { return queryNumber("DLYCHR?"); }
int CDeviceInfoFetcher::get232DlyMsg() { return queryNumber("DLYMSG?"); }
int CDeviceInfoFetcher::get232DlyFunc() { return queryNumber("DLYFNC?"); }
int CDeviceInfoFetcher::get232CTS() { return queryNumber("232CTS?"); }
int CDeviceInfoFetcher::get232XON() { return queryNumber("232XON?"); }
int CDeviceInfoFetcher::get232ACK() { return queryNumber("232ACK?"); }
int CDeviceInfoFetcher::getUSBACK() { return queryNumber("USBACK?"); }
int CDeviceInfoFetcher::getUSBCTS() { return queryNumber("USBCTS?"); }

std::string CDeviceInfoFetcher::getAppSoftwarePartNumberREVWA(const std::string& address)
{
    return queryText("REV_WA?", 0, address);
}

std::string CDeviceInfoFetcher::getAppVersionREVSW(const std::string& address)
{
    return queryText("REV_SW?", 0, address);
}

std::string CDeviceInfoFetcher::getFirmwareBuildDate(const std::string& address)
{
    const std::vector<std::string> words = productinfo::buildStampWords(queryText("REV_TD?", 0, address));
    if (words.size() < 4) {
        return std::string();
    }
    return words[1] + " " + words[2] + " " + words[3];
}

std::string CDeviceInfoFetcher::getFirmwareBuildTime(const std::string& address)
{
    const std::vector<std::string> words = productinfo::buildStampWords(queryText("REV_TD?", 0, address));
    if (words.size() < 2) {
        return std::string();
    }
    return words[0];
}
