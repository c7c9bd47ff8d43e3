#include "CDeviceInfoFiller.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "products/CProductFactory.h"
#include "products/ProductInfoText.h"

#include <cstring>

namespace {

constexpr int kAck = 6;
constexpr int kNak = 21;
constexpr int kEnq = 5;
// SYN "n,DEVICETYPE" CR: sent as it is, without header or storage mark.
constexpr char kDeviceTypeQuery[] = "\x16n,DEVICETYPE\r";

}  // namespace

CDeviceInfoFiller::CDeviceInfoFiller() : m_menuHandler(nullptr) {}

CDeviceInfoFiller::CDeviceInfoFiller(CDevice* device, PORTINFO* portInfo, CMenuMemory* menuMemory, int infoLevel)
    : m_device(device), m_portInfo(portInfo), m_menuMemory(menuMemory), m_infoLevel(infoLevel),
      m_fetcher(portInfo, menuMemory), m_menuHandler(portInfo)
{
}

CDeviceInfoFiller::~CDeviceInfoFiller()
{
    m_pinfo.clear();
}

bool CDeviceInfoFiller::setupFiller()
{
    static const char* const kMethod = "CDeviceInfoFiller::setupFiller";
    if (m_device == nullptr) {
        SDK_LOG(logbit::trace, kMethod, "Device is null.");
        return false;
    }
    if (m_portInfo == nullptr) {
        SDK_LOG(logbit::trace, kMethod, "Port info is null.");
        return false;
    }
    m_fetcher.setCancelFlag(getCancelFlag());
    m_fetcher.setTimeout(getRemaingTimeout());
    m_menuHandler.setCancelFlag(getCancelFlag());
    m_menuHandler.setTimeout(getRemaingTimeout());
    return true;
}

bool CDeviceInfoFiller::gate() const
{
    return m_portInfo != nullptr && m_portInfo->errorCode != CDeviceInfoFetcher::kDisconnected && !isStopped();
}

bool CDeviceInfoFiller::isSupportCOMPID()
{
    CLogHelper trace("CDeviceInfoFiller::isSupportCOMPID");
    if (m_device == nullptr) {
        return false;
    }
    MenuResponse reply;
    return m_fetcher.getInfoViaStandardMenu(&reply, "COMPID?", 0, 0, std::string(), true, 1) && reply.status != kEnq;
}

bool CDeviceInfoFiller::isSupportPINFO(std::map<std::string, std::string>& info)
{
    static const char* const kMethod = "CDeviceInfoFiller::isSupportPINFO";
    CLogHelper trace(kMethod);
    if (m_device == nullptr || m_infoLevel == 2) {
        return false;
    }
    MenuResponse reply;
    if (!m_fetcher.getInfoViaStandardMenu(&reply, "P_INFO", 0, 0, std::string(), true, 1)) {
        return false;
    }
    if (reply.status == kAck) {
        m_pinfoText = reply.text;
        info = parseKeyValueText(m_pinfoText);
        return true;
    }
    if (reply.status == kNak) {
        SDK_LOG(logbit::error, kMethod,
                "Funny thing happens here. The device supports P_INFO. But it return NAK for the P_INFO command. "
                "Device Path="
                    + m_device->portName);
        return true;
    }
    return false;
}

bool CDeviceInfoFiller::fillDeviceStatus()
{
    static const char* const kMethod = "CDeviceInfoFiller::fillDeviceStatus";
    CLogHelper trace(kMethod);
    if (!setupFiller()) {
        return false;
    }
    m_supportsPinfo = isSupportPINFO(m_pinfo);
    if (m_supportsPinfo) {
        std::string mode;
        if (!productinfo::findValue(m_pinfo, "mode", &mode)) {
            return true;
        }
        const std::string lower = productinfo::lowerCase(mode);
        if (lower == "app") {
            m_device->mode = EDM_APP;
            SDK_LOG(logbit::trace, kMethod, "APP (Support P_INFO).");
        } else if (lower == "boot") {
            m_device->mode = EDM_BOOT;
            SDK_LOG(logbit::trace, kMethod, "BOOT (Support P_INFO).");
        } else {
            m_device->mode = EDM_UNKNOWN;
            SDK_LOG(logbit::error, kMethod, "Unknown(Support P_INFO) Let's see the mode=" + mode);
        }
        return true;
    }

    MenuResponse response;
    MenuCommandRecord query;
    query.frameKind = 2;
    query.storageKind = 3;
    std::memcpy(query.menu, kDeviceTypeQuery, sizeof kDeviceTypeQuery - 1);
    query.response = &response;
    query.expected = "APP";
    m_menuHandler.sendMenu(query);
    const std::string reply = response.text;

    const std::size_t prepareLength
        = strnlen(reinterpret_cast<const char*>(m_portInfo->prepareData), sizeof m_portInfo->prepareData);
    if (m_portInfo->port != nullptr && prepareLength > 0) {
        for (int i = 0; i < 6; ++i) {
            m_portInfo->port->write(m_portInfo->prepareData, static_cast<int>(prepareLength), nullptr);
        }
        m_portInfo->port->flush();
    }

    const std::string upper = productinfo::upperCase(reply);
    if (upper.find("BOOT") != std::string::npos) {
        m_device->mode = EDM_BOOT;
        SDK_LOG(logbit::error, kMethod, "BOOT Mode via [SYN]n,DEVICETYPE[CR] response.");
    } else if (upper.find("APP") != std::string::npos) {
        m_device->mode = EDM_APP;
        SDK_LOG(logbit::error, kMethod, "APP Mode via [SYN]n,DEVICETYPE[CR] response.");
    } else {
        m_device->mode = EDM_UNKNOWN;
        SDK_LOG(logbit::error, kMethod, "Unkown mode via [SYN]n,DEVICETYPE[CR] response. Let's see the mode=" + reply);
    }
    return true;
}

bool CDeviceInfoFiller::fillDeviceInfo()
{
    static const char* const kMethod = "CDeviceInfoFiller::fillDeviceInfo";
    CLogHelper trace(kMethod);
    if (!setupFiller() || !gate()) {
        return false;
    }
    if (m_infoLevel != 2 && !fillDeviceStatus()) {
        SDK_LOG(logbit::trace, kMethod, "Error happens during set the device status.");
        return false;
    }
    SDK_LOG(logbit::trace, kMethod, "Set device status:" + intToString(m_device->mode));
    if (!gate()) {
        return false;
    }
    // Without any query (level 2) nothing has shown yet that the device is
    // there, so the check runs whatever the last reply code says.
    if ((m_infoLevel == 2 || m_fetcher.getLastMenuResponseCode() == -1)
        && !isDeviceFunctional(m_portInfo, m_device->interfaceType)) {
        SDK_LOG(logbit::trace, kMethod, "Device is disconnected...");
        return false;
    }
    SDK_LOG(logbit::trace, kMethod, "Creat the product.");
    CProductFactory factory(m_device, m_portInfo, m_menuMemory, m_infoLevel);
    factory.setCancelFlag(getCancelFlag());
    factory.setTimeout(getRemaingTimeout());
    if (!factory.generateProduct()) {
        SDK_LOG(logbit::trace, kMethod, "Error happened during generate product.");
        return false;
    }
    CProduct* product = m_device->product;
    if (product != nullptr) {
        if (product->productType == PT_HUB && m_device->interfaceUsage == EIU_UNKNOWN) {
            m_device->interfaceUsage = EIU_LOB;
        }
        if (product->architecture == ARCH_QUARTZ || product->architecture == ARCH_TALON_R1) {
            product->flashType = 0;
        }
    }
    return true;
}
