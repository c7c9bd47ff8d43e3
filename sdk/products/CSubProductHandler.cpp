#include "CSubProductHandler.h"

#include "FeatureQuery.h"
#include "ProductInfoText.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "discovery/CDevice.h"
#include "protocol/CMenuData.h"

#include "platform/time.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// A reply record that the handler always deletes.
using ReplyHolder = std::unique_ptr<CMenuData>;

// CMenuData's own code for an ACK status byte.
constexpr int kRecordAck = 0;

bool answered(const CMenuData* reply)
{
    return reply != nullptr && reply->getType() == CData::kMenuResponse && reply->response == kRecordAck;
}

std::string replyText(const CMenuData* reply)
{
    if (reply == nullptr || reply->getData() == nullptr) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(reply->getData()), reply->getLength());
}

}  // namespace

CSubProductHandler::CSubProductHandler() = default;

CSubProductHandler::CSubProductHandler(SyncMenuChannel* channel, DWORD budgetMs)
    : m_channel(channel), m_budget(budgetMs), m_startTick(GetTickCount())
{
}

std::string CSubProductHandler::buildFrame(int frameKind, const std::string& address, const std::string& menu)
{
    std::string frame;
    if (frameKind == 0) {
        frame = "\x16M\r";
    } else if (frameKind == 1) {
        frame = "\x16Y\r";
    }
    if (!address.empty()) {
        frame += ':' + address + ':';
    }
    return frame + menu + '!';
}

bool CSubProductHandler::timeLeft(DWORD* remaining) const
{
    // A single reading: a second one could pass the end of the budget and
    // make the remainder wrap to about 49 days.
    const DWORD elapsed = platform::tickElapsed(m_startTick, GetTickCount());
    if (elapsed >= m_budget) {
        return false;
    }
    if (remaining != nullptr) {
        *remaining = std::max<DWORD>(m_budget - elapsed, 1);
    }
    return true;
}

CMenuData* CSubProductHandler::exchange(const std::string& frame, DWORD timeoutMs, int* result)
{
    *result = 0;
    CData* record = m_channel->sendMenuCmdSync(result, frame, timeoutMs);
    return static_cast<CMenuData*>(record);
}

std::string CSubProductHandler::getMenuResponse(std::string address, std::string menu, int frameKind, int timeoutMs)
{
    static const char* const kMethod = "CSubProductHandler::getMenuResponse";
    if (m_channel == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null data collection pointer!");
        return std::string();
    }
    const std::string frame = buildFrame(frameKind, address, menu);
    DWORD remaining = 0;
    if (!timeLeft(&remaining)) {
        m_timedOut = true;
        return std::string();
    }
    int result = 0;
    const DWORD timeout = timeoutMs != 0 ? static_cast<DWORD>(timeoutMs) : remaining;
    ReplyHolder reply(exchange(frame, timeout, &result));
    if (result == 2 && timeoutMs == 0) {
        m_timedOut = true;
    }
    return answered(reply.get()) ? replyText(reply.get()) : std::string();
}

CMenuData* CSubProductHandler::hubQuery(const char* method, const char* menu)
{
    if (m_channel == nullptr) {
        SDK_LOG(logbit::error, method, "null data collection pointer!");
        return nullptr;
    }
    // A spent budget only answers no: the timed-out flag stays as it is.
    DWORD remaining = 0;
    if (!timeLeft(&remaining)) {
        return nullptr;
    }
    int result = 0;
    return exchange(buildFrame(0, std::string(), menu), remaining, &result);
}

bool CSubProductHandler::isHubProductViaBASLDA()
{
    ReplyHolder reply(hubQuery("CSubProductHandler::isHubProductViaBASLDA", "BASLDA"));
    return answered(reply.get());
}

bool CSubProductHandler::isHubProductViaRPTSCN(std::string& report)
{
    ReplyHolder reply(hubQuery("CSubProductHandler::isHubProductViaRPTSCN", "RPTSCN"));
    if (reply != nullptr && reply->getType() == CData::kMenuResponse) {
        report = replyText(reply.get());
    }
    return answered(reply.get());
}

bool CSubProductHandler::isHubProductViaPINFO(KeyValues& info)
{
    ReplyHolder reply(hubQuery("CSubProductHandler::isHubProductViaPINFO", "P_INFO"));
    if (reply == nullptr || reply->getType() != CData::kMenuResponse) {
        return false;
    }
    info = parseKeyValueText(replyText(reply.get()));
    return info.count("hubs") != 0 || info.count("hub-connections") != 0;
}

bool CSubProductHandler::fillArchitecture(CProduct* product, bool pinfo, bool compid, bool lsrdf2)
{
    static const char* const kMethod = "CSubProductHandler::fillArchitecture";
    if (product == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null product pointer!");
        return false;
    }
    if (lsrdf2) {
        product->architecture = ARCH_TZW;
        SDK_LOG(logbit::trace, kMethod, "TZW.");
    } else if (compid && pinfo) {
        product->architecture = ARCH_TALON_R2;
        SDK_LOG(logbit::trace, kMethod, "Talon release 2.");
    } else if (compid) {
        product->architecture = ARCH_TALON_R1;
        SDK_LOG(logbit::trace, kMethod, "Talon release 1.");
    } else if (pinfo) {
        product->architecture = ARCH_KELP;
        SDK_LOG(logbit::trace, kMethod, "KELP.");
    } else {
        product->architecture = ARCH_QUARTZ;
        SDK_LOG(logbit::trace, kMethod, "Quartz.");
    }
    return true;
}

void CSubProductHandler::putFeatureViaStrucure(CProduct* product)
{
    static const char* const kMethod = "CSubProductHandler::putFeatureViaStrucure";
    if (product == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null product pointer!");
        return;
    }
    switch (product->architecture) {
    case ARCH_TALON_R1:
        product->features.push_back(EFS_COMPID);
        SDK_LOG(logbit::trace, kMethod, "Add feature - EFS_COMPID.");
        break;
    case ARCH_TALON_R2:
        product->features.push_back(EFS_COMPID);
        product->features.push_back(EFS_FLASH_DLL_SUPPORT);
        SDK_LOG(logbit::trace, kMethod, "Add feature - EFS_COMPID,EFS_FLASH_DLL_SUPPORT.");
        break;
    case ARCH_KELP:
        product->features.push_back(EFS_FLASH_DLL_SUPPORT);
        SDK_LOG(logbit::trace, kMethod, "Add feature - EFS_FLASH_DLL_SUPPORT.");
        break;
    default:
        break;
    }
}

bool CSubProductHandler::fillProductFeatureSet(CProduct* product)
{
    static const char* const kMethod = "CSubProductHandler::fillProductFeatureSet";
    if (product == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null product pointer!");
        return false;
    }
    const std::string address = product->deviceAddress;
    for (const FeatureQuery& entry : kFeatureQueries) {
        if (product->hasFeature(entry.id)) {
            continue;
        }
        const std::string query = featureQueryText(entry);
        SDK_LOG(logbit::trace, kMethod, "Fill feature - " + query);
        if (!getMenuResponse(address, query, 0, 0).empty()) {
            product->features.push_back(entry.id);
        } else if (m_timedOut) {
            return false;
        }
    }
    return true;
}

int CSubProductHandler::listingCount(const KeyValues& info, const std::string& key, std::string* text)
{
    std::string value;
    productinfo::findValue(info, key, &value);
    if (text != nullptr) {
        *text = value;
    }
    // The count comes from the device: a listing of n devices needs more
    // than n pairs, so a larger count cannot be truthful and would only
    // drive a loop of up to 2^31 steps.
    const int count = productinfo::readDecimal(value);
    return std::min<long long>(count, static_cast<long long>(info.size()));
}

bool CSubProductHandler::appendListedDevice(CHubProduct* hub, const KeyValues& info, const std::string& prefix)
{
    std::string address;
    std::string name;
    std::string type;
    if (!productinfo::findValue(info, prefix + "-addr", &address) || !productinfo::findValue(info, prefix + "-name", &name)
        || !productinfo::findValue(info, prefix + "-type", &type)) {
        return false;
    }
    CProduct device;
    device.deviceAddress = address;
    device.name = name;
    const std::string kind = productinfo::lowerCase(type);
    if (kind == "external") {
        device.productType = PT_SUB_EXTERNAL;
    } else if (kind == "internal") {
        device.productType = PT_SUB_INTERNAL;
    } else if (kind == "internal-virtual") {
        device.productType = PT_SUB_INTERNAL_VIRTUAL;
    } else {
        device.productType = PT_SUB_UNKNOWN;
        SDK_LOG(logbit::error, "CSubProductHandler::fillAttrViaPinfo", "hubSubDevice has no type. P_INFO=" + hub->productInfo);
    }
    hub->subProducts.push_back(device);
    return true;
}

void CSubProductHandler::appendHubDevices(CHubProduct* hub, const KeyValues& info, const std::string& countKey,
                                          const std::string& devicePrefix, const char* method)
{
    std::string text;
    const int count = listingCount(info, countKey, &text);
    if (count <= 0) {
        SDK_LOG(logbit::trace, method, "Wahoo,no more than 1 devices connected - hub-connection=" + text);
        return;
    }
    for (int n = 1; n <= count; ++n) {
        appendListedDevice(hub, info, devicePrefix + std::to_string(n));
    }
}

bool CSubProductHandler::fillAttrViaPinfoSingleHub(CHubProduct* hub, KeyValues info)
{
    static const char* const kMethod = "CSubProductHandler::fillAttrViaPinfoSingleHub";
    if (hub == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null hub product pointer!");
        return false;
    }
    appendHubDevices(hub, info, "hub-connections", "dev-", kMethod);
    return true;
}

bool CSubProductHandler::fillAttrViaPinfoMultipleHubs(CHubProduct* hub, KeyValues info)
{
    static const char* const kMethod = "CSubProductHandler::fillAttrViaPinfoMultipleHubs";
    if (hub == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null hub product pointer!");
        return false;
    }
    std::string text;
    const int hubs = listingCount(info, "hubs", &text);
    if (hubs <= 0) {
        SDK_LOG(logbit::trace, kMethod, "Wahoo,no more than 1 HUB connected - hubs=" + text);
        return true;
    }
    for (int h = 1; h <= hubs; ++h) {
        const std::string hubPrefix = "hub-" + std::to_string(h);
        appendHubDevices(hub, info, hubPrefix + "-connections", hubPrefix + "-dev-", kMethod);
    }
    return true;
}

bool CSubProductHandler::fillAttrViaRptscn(CHubProduct* hub, std::string report)
{
    static const char* const kMethod = "CSubProductHandler::fillAttrViaRptscn";
    if (hub == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null hub product pointer!");
        return false;
    }
    if (!hub->hasFeature(EFS_RPTSCN)) {
        hub->features.push_back(EFS_RPTSCN);
    }
    std::vector<std::string> lines;
    splitString(report, "\r\n", lines, false);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> words;
        splitString(lines[i], " ", words, false);
        if (words.size() <= 3 || productinfo::lowerCase(words[0]) == "port") {
            continue;
        }
        CProduct device;
        device.deviceAddress = words[3][0] == '#' ? words[3] : "#" + words[3];
        device.name = words[2];
        device.productType = PT_SUB_EXTERNAL;
        hub->subProducts.push_back(device);
    }
    return true;
}

void CSubProductHandler::fillAttrViaPinfo(CProduct* product, KeyValues info)
{
    static const char* const kMethod = "CSubProductHandler::fillAttrViaPinfo";
    if (product == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null product pointer!");
        return;
    }
    std::string value;
    if (productinfo::findValue(info, "hw-sn", &value)) {
        product->serialNumber = value;
        SDK_LOG(logbit::trace, kMethod, "serial num:" + value);
    }
    if (productinfo::findValue(info, "flash", &value)) {
        product->flashType = productinfo::readDecimal(value);
        SDK_LOG(logbit::trace, kMethod, "flash type:" + value);
    }
    if (productinfo::findValue(info, "app-p_name", &value)) {
        product->name = value;
        SDK_LOG(logbit::trace, kMethod, "Device module IN APP :" + value);
    } else if (productinfo::findValue(info, "boot-p_name", &value)) {
        product->name = value;
        SDK_LOG(logbit::trace, kMethod, "Device module in boot:" + value);
    } else {
        SDK_LOG(logbit::error, kMethod, "no app-m_name or boot-m_name..P_INFO=" + product->productInfo);
    }
}

bool CSubProductHandler::fillSubProductDetails(CDevice* device)
{
    static const char* const kMethod = "CSubProductHandler::fillSubProductDetails";
    auto* hub = device != nullptr ? dynamic_cast<CHubProduct*>(device->product) : nullptr;
    if (hub == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null hub product pointer!");
        return false;
    }
    hub->subProducts.clear();

    bool listed = false;
    KeyValues info;
    if (isHubProductViaPINFO(info)) {
        listed = info.count("hubs") == 0 ? fillAttrViaPinfoSingleHub(hub, info) : fillAttrViaPinfoMultipleHubs(hub, info);
    } else {
        std::string report;
        if (!isHubProductViaRPTSCN(report) || !isHubProductViaBASLDA()) {
            SDK_LOG(logbit::error, kMethod, "not one hub device!");
            return false;
        }
        listed = fillAttrViaRptscn(hub, report);
    }
    if (!listed || !timeLeft(nullptr)) {
        return false;
    }
    for (CProduct& subProduct : hub->subProducts) {
        if (!fillProductInfo(&subProduct)) {
            return false;
        }
    }
    return true;
}

bool CSubProductHandler::fillProductInfo(CProduct* product)
{
    static const char* const kMethod = "CSubProductHandler::fillProductInfo";
    if (product == nullptr) {
        SDK_LOG(logbit::error, kMethod, "null product pointer!");
        return false;
    }
    const std::string address = product->deviceAddress;
    const auto single = [&](const std::string& menu, int frameKind, int timeoutMs) {
        return productinfo::singleQueryValue(getMenuResponse(address, menu, frameKind, timeoutMs));
    };

    product->productInfo = getMenuResponse(address, "P_INFO", 0, 0);
    if (m_timedOut) {
        return false;
    }
    const bool pinfoAnswered = !product->productInfo.empty();
    if (pinfoAnswered) {
        productinfo::applyIdentityKeys(*product, parseKeyValueText(product->productInfo), kMethod);
    } else if (!address.empty()) {
        product->flashType = 0;
    }

    // Name and description: the query with a question mark, then without.
    const auto askName = [&](std::string& member, int frameKind, const char* label) {
        std::string reply = getMenuResponse(address, "P_NAME?", frameKind, kSingleQueryTimeoutMs);
        if (reply.empty()) {
            if (m_timedOut) {
                return false;
            }
            reply = getMenuResponse(address, "P_NAME", frameKind, kSingleQueryTimeoutMs);
        }
        member = productinfo::singleQueryValue(reply);
        SDK_LOG(logbit::trace, kMethod, label + member);
        return !m_timedOut;
    };
    if (product->name.empty() && !askName(product->name, 1, "Device module:")) {
        return false;
    }
    if (product->description.empty() && !askName(product->description, 0, "Product Description:")) {
        return false;
    }
    if (product->serialNumber.empty()) {
        product->serialNumber = single("SERNUM?", 1, kSingleQueryTimeoutMs);
        SDK_LOG(logbit::trace, kMethod, "Serial Number:" + product->serialNumber);
        if (m_timedOut) {
            return false;
        }
    }

    const std::string terminal = single("TERMID?", 0, 0);
    if (m_timedOut) {
        return false;
    }
    product->terminalId = terminal.empty() ? -1 : productinfo::readDecimal(terminal);

    if (product->appSoftwarePartNumber.empty()) {
        product->appSoftwarePartNumber = single("REV_WA?", 0, kSingleQueryTimeoutMs);
        SDK_LOG(logbit::trace, kMethod, "Software Part number:" + product->appSoftwarePartNumber);
        if (m_timedOut) {
            return false;
        }
    }
    if (product->appVersion.empty()) {
        product->appVersion = single("REV_SW?", 0, kSingleQueryTimeoutMs);
        SDK_LOG(logbit::trace, kMethod, "App version:" + product->appVersion);
        if (m_timedOut) {
            return false;
        }
    }
    if (product->appDate.empty() || product->appTime.empty()) {
        const std::string stamp = single("REV_TD?", 0, kSingleQueryTimeoutMs);
        if (stamp.empty()) {
            product->appDate.clear();
        } else {
            const std::vector<std::string> words = productinfo::buildStampWords(stamp);
            if (words.size() >= 4) {
                product->appDate = words[1] + " " + words[2] + " " + words[3];
            }
            // A stamp without any blank gives no words; the time then stays.
            if (!words.empty()) {
                product->appTime = words[0];
            }
            SDK_LOG(logbit::trace, kMethod, "App date:" + product->appDate);
            SDK_LOG(logbit::trace, kMethod, "App time:" + product->appTime);
        }
        if (m_timedOut) {
            return false;
        }
    }

    const bool compid = !getMenuResponse(address, "COMPID?", 0, 0).empty();
    if (m_timedOut) {
        return false;
    }
    const bool lsrdf2 = !getMenuResponse(address, "LSRDF2?", 0, 0).empty();
    if (m_timedOut) {
        return false;
    }
    fillArchitecture(product, pinfoAnswered, compid, lsrdf2);
    return fillProductFeatureSet(product);
}
