#include "CProductFactory.h"

#include "CSubProductHandler.h"
#include "ProductInfoText.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

namespace {

constexpr int kAck = 6;
constexpr int kNak = 21;
constexpr int kEnq = 5;

// Triples the record's read count for the slow answers (COMPID? and the
// feature batches) and puts it back.
class TripledReadCount {
public:
    explicit TripledReadCount(PORTINFO* portInfo) : m_portInfo(portInfo), m_saved(portInfo->readCount)
    {
        m_portInfo->readCount = m_saved * 3;
    }
    ~TripledReadCount() { m_portInfo->readCount = m_saved; }
    TripledReadCount(const TripledReadCount&) = delete;
    TripledReadCount& operator=(const TripledReadCount&) = delete;

private:
    PORTINFO* m_portInfo;
    int m_saved;
};

}  // namespace

CProductFactory::CProductFactory(CDevice* device, PORTINFO* portInfo, CMenuMemory* menuMemory, int infoLevel)
    : m_device(device), m_portInfo(portInfo), m_menuMemory(menuMemory), m_infoLevel(infoLevel),
      m_fetcher(portInfo, menuMemory)
{
}

bool CProductFactory::aborted() const
{
    return m_portInfo == nullptr || m_portInfo->errorCode == CDeviceInfoFetcher::kDisconnected || isStopped();
}

bool CProductFactory::disconnected()
{
    if (m_fetcher.getLastMenuResponseCode() != -1) {
        return false;
    }
    if (isDeviceFunctional(m_portInfo, m_device != nullptr ? m_device->interfaceType : -1)) {
        return false;
    }
    SDK_LOG(logbit::trace, "CProductFactory::disconnected", "Device is disconnected...");
    return true;
}

bool CProductFactory::discard(CProduct* product)
{
    if (m_device != nullptr && m_device->product == product) {
        m_device->product = nullptr;
    }
    delete product;
    return false;
}

bool CProductFactory::generateProduct()
{
    if (m_device == nullptr) {
        return false;
    }
    m_fetcher.setCancelFlag(getCancelFlag());
    m_fetcher.setTimeout(getRemaingTimeout());
    // The device owns whatever product it still holds.
    delete m_device->product;
    m_device->product = nullptr;
    if (m_infoLevel == 2) {
        return createQuickQoxProduct();
    }
    if (aborted()) {
        return false;
    }
    const bool hub = isHubProduct();
    if (aborted() || disconnected()) {
        return false;
    }
    const bool built = hub ? creatHubProduct() : creatNormalProduct();
    if (aborted() || disconnected()) {
        return false;
    }
    return built;
}

bool CProductFactory::createQuickQoxProduct()
{
    static const char* const kMethod = "CProductFactory::createQuickQoxProduct";
    auto* product = new CProduct();
    product->name = m_fetcher.getProductName(std::string());
    SDK_LOG(logbit::trace, kMethod, "Device module:" + product->name);
    if (aborted()) {
        return discard(product);
    }
    product->serialNumber = m_fetcher.getSerialNum(std::string());
    SDK_LOG(logbit::trace, kMethod, "Serial Number:" + product->serialNumber);
    m_device->product = product;
    return true;
}

bool CProductFactory::probe(CProduct* product, const char* command, MenuResponse* reply, bool cutThrough)
{
    return m_fetcher.getInfoViaStandardMenu(reply, command, 0, 0, product->deviceAddress, true, cutThrough ? 1 : 0);
}

bool CProductFactory::supports(CProduct* product, const char* command)
{
    if (product == nullptr) {
        return false;
    }
    MenuResponse reply;
    return probe(product, command, &reply, true) && reply.status != kEnq;
}

bool CProductFactory::isSupportCOMPID(CProduct* product)
{
    return supports(product, "COMPID?");
}

bool CProductFactory::isSupportLSRDF2(CProduct* product)
{
    return supports(product, "LSRDF2?");
}

bool CProductFactory::isSupportPINFO(CProduct* product)
{
    if (product == nullptr) {
        return false;
    }
    MenuResponse reply;
    if (!probe(product, "P_INFO", &reply, true)) {
        return false;
    }
    if (reply.status == kAck) {
        product->productInfo = reply.text;
        return true;
    }
    if (reply.status == kNak) {
        SDK_LOG(logbit::error, "CProductFactory::isSupportPINFO",
                "Funny thing happens here. The device supports P_INFO. But it return NAK for the P_INFO command. "
                "Device Path="
                    + (m_device != nullptr ? m_device->portName : std::string()));
        return true;
    }
    return false;
}

bool CProductFactory::fillProductArchitecture(CProduct* product)
{
    static const char* const kMethod = "CProductFactory::fillProductArchitecture";
    if (product == nullptr) {
        return false;
    }
    bool compid = false;
    if (m_portInfo != nullptr) {
        TripledReadCount slow(m_portInfo);
        compid = isSupportCOMPID(product);
    }
    if (compid) {
        SDK_LOG(logbit::trace, kMethod, "Support COMPID.");
    } else {
        SDK_LOG(logbit::trace, kMethod, "Not Support COMPID.");
        if (disconnected()) {
            return false;
        }
    }
    const bool pinfo = isSupportPINFO(product);
    SDK_LOG(logbit::trace, kMethod, pinfo ? "Support P_INFO." : "Not support P_INFO.");
    const bool lsrdf2 = isSupportLSRDF2(product);
    SDK_LOG(logbit::trace, kMethod, lsrdf2 ? "Support LSRDF2." : "Not support LSRDF2.");
    return CSubProductHandler::fillArchitecture(product, pinfo, compid, lsrdf2);
}

void CProductFactory::setFeatureViaArchitecture(CProduct* product)
{
    if (m_device == nullptr || product == nullptr) {
        SDK_LOG(logbit::error, "CProductFactory::setFeatureViaArchitecture", "Device or product is NULL.");
        return;
    }
    if (m_device->mode == EDM_BOOT || aborted()) {
        return;
    }
    CSubProductHandler::putFeatureViaStrucure(product);
}

bool CProductFactory::isHubProduct()
{
    if (aborted() || m_device->mode == EDM_BOOT) {
        return false;
    }
    CProduct probeProduct;
    if (isSupportPINFO(&probeProduct)) {
        return isHubProductViaPINFO(parseKeyValueText(probeProduct.productInfo));
    }
    return isHubProductViaRPTSCN() && isHubProductViaBASLDA();
}

bool CProductFactory::isHubProductViaPINFO(KeyValues info)
{
    if (aborted()) {
        return false;
    }
    if (info.count("hubs") != 0 || info.count("hub-connections") != 0) {
        m_hubByPinfo = true;
        return true;
    }
    return false;
}

bool CProductFactory::hubQueryAnswered(const char* command, const char* method, MenuResponse* reply)
{
    if (aborted()) {
        return false;
    }
    if (!m_fetcher.getInfoViaStandardMenu(reply, command, 0, 0, std::string(), true, 0)) {
        return false;
    }
    if (reply->status != kAck) {
        SDK_LOG(logbit::trace, method, std::string("Doesn't support ") + command);
        return false;
    }
    return true;
}

bool CProductFactory::isHubProductViaRPTSCN()
{
    MenuResponse reply;
    if (!hubQueryAnswered("RPTSCN", "CProductFactory::isHubProductViaRPTSCN", &reply)) {
        return false;
    }
    m_rptscnReply = reply.text;
    m_hubByRptscn = true;
    return true;
}

bool CProductFactory::isHubProductViaBASLDA()
{
    MenuResponse reply;
    return hubQueryAnswered("BASLDA", "CProductFactory::isHubProductViaBASLDA", &reply);
}

bool CProductFactory::creatNormalProduct()
{
    if (isStopped() || aborted()) {
        return false;
    }
    auto* product = new CProduct();
    product->productType = PT_NORMAL;
    if (!identify(product)) {
        return discard(product);
    }
    m_device->product = product;
    return !aborted();
}

bool CProductFactory::creatHubProduct()
{
    if (m_hubByPinfo) {
        return creatHubProductPINFO();
    }
    if (m_hubByRptscn) {
        return creatHubProductRPTSCN();
    }
    return false;
}

bool CProductFactory::creatHubProductPINFO()
{
    if (!m_hubByPinfo || aborted()) {
        return false;
    }
    auto* hub = new CHubProduct();
    hub->productInfo = m_fetcher.getProductInfo(std::string());
    hub->productType = PT_HUB;
    m_device->product = hub;
    if (!identify(hub) || isStopped()) {
        return discard(hub);
    }
    const KeyValues info = parseKeyValueText(hub->productInfo);
    if (info.count("hubs") == 0) {
        return CSubProductHandler::fillAttrViaPinfoSingleHub(hub, info);
    }
    return CSubProductHandler::fillAttrViaPinfoMultipleHubs(hub, info);
}

bool CProductFactory::creatHubProductRPTSCN()
{
    if (!m_hubByRptscn || aborted()) {
        return false;
    }
    auto* hub = new CHubProduct();
    hub->productType = PT_HUB;
    m_device->product = hub;
    CSubProductHandler::fillAttrViaRptscn(hub, m_rptscnReply);
    if (isStopped() || !identify(hub) || isStopped()) {
        return discard(hub);
    }
    return true;
}

bool CProductFactory::identify(CProduct* product)
{
    fillProductArchitecture(product);
    if (isStopped()) {
        return false;
    }
    setFeatureViaArchitecture(product);
    if (isStopped()) {
        return false;
    }
    fillProductInfo(product);
    return true;
}

void CProductFactory::fillProductFeatureSet(CProduct* product)
{
    if (product == nullptr || m_device == nullptr || m_device->mode == EDM_BOOT) {
        return;
    }
    fillProductFeatureSetCustom(product, kFeatureQueriesFirst, 8);
    if (!aborted()) {
        fillProductFeatureSetCustom(product, kFeatureQueriesSecond, 8);
    }
}

void CProductFactory::fillProductFeatureSetCustom(CProduct* product, const FeatureQuery* table, int count)
{
    static const char* const kMethod = "CProductFactory::fillProductFeatureSetCustom";
    if (product == nullptr || table == nullptr) {
        return;
    }
    std::string batch;
    for (int i = 0; i < count; ++i) {
        const FeatureQuery& entry = table[i];
        if (product->hasFeature(entry.id)) {
            continue;
        }
        const std::string query = featureQueryText(entry);
        if (m_menuMemory != nullptr) {
            MenuResponse cached;
            if (m_menuMemory->find(query.substr(0, 6), &cached, product->deviceAddress, 0, 0)) {
                if (cached.status == kAck || cached.status == kNak) {
                    product->features.push_back(entry.id);
                }
                continue;
            }
        }
        if (entry.id == EFS_WORKGROUP && !m_hubByPinfo && !m_hubByRptscn) {
            SDK_LOG(logbit::trace, kMethod, "Not one hub device, will not send EFS_WORKGROUP menu!");
            continue;
        }
        batch += query + ";";
    }
    if (batch.size() < 6) {
        return;
    }
    batch.pop_back();
    if (aborted()) {
        return;
    }
    MenuResponse reply;
    bool sent = false;
    {
        TripledReadCount slow(m_portInfo);
        sent = m_fetcher.getInfoViaMutipleMenu(&reply, batch, 0, 0, product->deviceAddress);
    }
    if (sent) {
        applyFeatureBatchReply(*product, table, count, reply.text);
    }
}

bool CProductFactory::fillProductInfo(CProduct* product)
{
    static const char* const kMethod = "CProductFactory::fillProductInfo";
    if (aborted() || product == nullptr) {
        return false;
    }
    const std::string address = product->deviceAddress;
    product->productInfo = m_fetcher.getProductInfo(address);
    if (!product->productInfo.empty() && m_fetcher.getLastMenuResponseCode() == kAck) {
        productinfo::applyIdentityKeys(*product, parseKeyValueText(product->productInfo), kMethod);
    }
    if (aborted()) {
        return false;
    }
    if (product->name.empty()) {
        product->name = m_fetcher.getProductName(address);
        SDK_LOG(logbit::trace, kMethod, "Device module:" + product->name);
    }
    if (product->description.empty()) {
        product->description = m_fetcher.getProductDescription(address);
        SDK_LOG(logbit::trace, kMethod, "Device description:" + product->description);
    }
    if (aborted()) {
        return false;
    }
    if (product->serialNumber.empty()) {
        product->serialNumber = m_fetcher.getSerialNum(address);
        SDK_LOG(logbit::trace, kMethod, "Serial Number:" + product->serialNumber);
    }
    if (aborted()) {
        return false;
    }
    product->terminalId = m_fetcher.getTerminalID(address);
    if (aborted()) {
        return false;
    }
    if (product->appSoftwarePartNumber.empty()) {
        product->appSoftwarePartNumber = m_fetcher.getAppSoftwarePartNumberREVWA(address);
    }
    if (product->appVersion.empty()) {
        product->appVersion = m_fetcher.getAppVersionREVSW(address);
    }
    if (product->appDate.empty()) {
        product->appDate = m_fetcher.getFirmwareBuildDate(address);
    }
    if (product->appTime.empty()) {
        product->appTime = m_fetcher.getFirmwareBuildTime(address);
    }
    if (aborted()) {
        return false;
    }
    fillProductFeatureSet(product);
    return true;
}
