#include "discovery/CUsbHidDeviceFactory.h"

#include "discovery/CPortEnumerator.h"
#include "discovery/CSerialDevice.h"
#include "discovery/CUsbHidTable.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "products/CProduct.h"
#include "protocol/CDeviceInfoFetcher.h"
#include "protocol/CDeviceInfoFiller.h"

#include <cctype>
#include <cstring>

namespace {

constexpr int kTerminalIdHidPos = 124;
constexpr int kLostDevice = 1167;

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

PORTINFO portInfoOn(InterfacePort* port, int readCount, int readDelay)
{
    PORTINFO info;
    std::memset(&info, 0, sizeof info);
    info.port = port;
    info.readCount = readCount;
    info.readDelay = readDelay;
    return info;
}

}  // namespace

CUsbHidDeviceFactory::CUsbHidDeviceFactory(const HidDeviceInfo& info, CMenuMemory* menuMemory)
    : CDeviceFactory(menuMemory), m_hidInfo(info), m_hidPort(true)
{
}

CUsbHidDeviceFactory::~CUsbHidDeviceFactory() = default;

void CUsbHidDeviceFactory::prepareFetcher(CDeviceInfoFetcher& fetcher)
{
    fetcher.setCancelFlag(getCancelFlag());
    fetcher.setTimeout(getRemaingTimeout());
}

int CUsbHidDeviceFactory::openPort()
{
    if (m_portHandle != nullptr)
        return m_hidPort.open(m_portHandle);
    return m_hidPort.open(stringToWString(m_hidInfo.path));
}

void CUsbHidDeviceFactory::release()
{
    send254Report(0);
    m_hidPort.close();
}

bool CUsbHidDeviceFactory::send254Report(int value)
{
    unsigned char report[CUsbHidBarcodeScanner::kReportLength] = {};
    report[0] = CUsbHidBarcodeScanner::kPosFeatureReportId;
    report[1] = static_cast<unsigned char>(value);
    if (!m_hidPort.setFeature(report, 2)) {
        SDK_LOG(logbit::error, "CUsbHidDeviceFactory::send254Report", "Failure to write 254 report.");
        return false;
    }
    return true;
}

bool CUsbHidDeviceFactory::isGeneratedByFilterDriver(std::string path)
{
    const std::size_t at = upper(std::move(path)).find("VID_");
    return at != std::string::npos && at > 20;
}

void CUsbHidDeviceFactory::fillUsbHidSetting(CUsbHidDevice* device)
{
    if (device != nullptr)
        device->setHidSettings(m_hidInfo);
}

int CUsbHidDeviceFactory::createDevice(CDevice*& device)
{
    constexpr const char* kMethod = "CUsbHidDeviceFactory::createDevice";
    if (dynamic_cast<CUsbHidDevice*>(device) == nullptr) {
        SDK_LOG(logbit::trace, kMethod, "Internal Error happened.");
        return 7;
    }
    if (isStopped())
        return 3;
    const int type = CUsbHidTable::getInterfaceType(m_hidInfo);
    if (isStopped())
        return 3;
    switch (type) {
    case EIT_USB_HID_BARCODE_SCANNER:
        return createDeviceByUsbHidBarcodeScanner(device);
    case EIT_USB_HID_IBM_SUREPOS:
        if (!m_namedProducts.empty()) {
            SDK_LOG(logbit::trace, kMethod,
                    "the namedProducts isn't empty and we are IBM SUREPOS interface so that we will omit this "
                    "interface.");
            return 5;
        }
        return createDeviceByUsbHidIbmSurePos(device);
    case EIT_USB_HID_KBD:
        if (!m_namedProducts.empty()) {
            SDK_LOG(logbit::trace, kMethod,
                    "the namedProducts isn't empty and we are KBD interface so that we will omit this interface.");
            return 5;
        }
        return createDeviceByUsbHidKBD(device);
    default:
        SDK_LOG(logbit::error, kMethod, "Unknown interface type.");
        return -1;
    }
}

int CUsbHidDeviceFactory::createDeviceByUsbHidBarcodeScanner(CDevice*& device)
{
    constexpr const char* kMethod = "CUsbHidDeviceFactory::createDeviceByUsbHidBarcodeScanner";
    auto* hid = dynamic_cast<CUsbHidDevice*>(device);
    if (hid == nullptr) {
        SDK_LOG(logbit::trace, kMethod, "Orignal Device cann't dynamic cast to CUsbHidDevice");
        return 7;
    }
    hid->connectible = true;
    if (isStopped())
        return 3;
    if (openPort() != 0) {
        SDK_LOG(logbit::error, kMethod, "Cann't open the USB HID Port. Port=" + m_hidInfo.path);
        return 9;
    }
    send254Report(1);
    PORTINFO portInfo = portInfoOn(&m_hidPort, 8, 3);

    if (!checkProductName(&portInfo)) {
        SDK_LOG(logbit::trace, kMethod, "check the product name - fail.");
        release();
        return 5;
    }
    if (isStopped()) {
        release();
        return 3;
    }
    if (hid->interfaceUsage == EIU_UNKNOWN) {
        SDK_LOG(logbit::trace, kMethod, "I need to set the interface usage if it hasn't been set value..");
        hid->interfaceUsage = checkUsage(&portInfo);
        if (hid->interfaceUsage == EIU_UNKNOWN) {
            SDK_LOG(logbit::trace, kMethod, "check usage - fail.");
            release();
            return 5;
        }
    }
    hid->interfaceType = EIT_USB_HID_BARCODE_SCANNER;
    if (isDeviceFiltered(&portInfo, hid->interfaceUsage, EIT_USB_HID_BARCODE_SCANNER,
                         wstringToString(m_hidInfo.serialNumber))) {
        release();
        return 5;
    }
    fillUsbHidSetting(hid);
    hid->fromFilterDriver = isGeneratedByFilterDriver(m_hidInfo.path) ? 1 : 0;
    if (isStopped()) {
        release();
        return 3;
    }

    CDeviceInfoFiller filler(hid, &portInfo, &m_menuMemory, m_infoLevel);
    filler.setCancelFlag(getCancelFlag());
    filler.setTimeout(getRemaingTimeout());
    const bool filled = filler.fillDeviceInfo();
    send254Report(0);
    if (!filled) {
        m_hidPort.close();
        SDK_LOG(logbit::error, kMethod, "Error during fill the information. ");
        return 7;
    }
    const bool disconnected = m_hidPort.isDisconnected();
    m_hidPort.close();
    return (portInfo.errorCode == kLostDevice || disconnected) ? 4 : 0;
}

int CUsbHidDeviceFactory::createWithoutTraffic(CDevice*& device, int interfaceType)
{
    auto* hid = dynamic_cast<CUsbHidDevice*>(device);
    if (hid == nullptr) {
        SDK_LOG(logbit::trace,
                interfaceType == EIT_USB_HID_KBD ? "CUsbHidDeviceFactory::createDeviceByUsbHidKBD"
                                                 : "CUsbHidDeviceFactory::createDeviceByUsbHidIbmSurePos",
                "Orignal Device cann't dynamic cast to CUsbHidDevice");
        return 7;
    }
    if (!usageKept(EIU_LOB))
        return 5;
    hid->interfaceType = interfaceType;
    hid->mode = EDM_APP;
    hid->fromFilterDriver = isGeneratedByFilterDriver(m_hidInfo.path) ? 1 : 0;
    hid->interfaceUsage = EIU_LOB;
    delete hid->CDevice::product;
    hid->CDevice::product = nullptr;
    fillUsbHidSetting(hid);
    return isDeviceFiltered(nullptr, EIU_LOB, interfaceType, hid->serialNumber) ? 5 : 0;
}

int CUsbHidDeviceFactory::createDeviceByUsbHidKBD(CDevice*& device)
{
    return createWithoutTraffic(device, EIT_USB_HID_KBD);
}

int CUsbHidDeviceFactory::createDeviceByUsbHidIbmSurePos(CDevice*& device)
{
    return createWithoutTraffic(device, EIT_USB_HID_IBM_SUREPOS);
}

int CUsbHidDeviceFactory::checkUsage(PORTINFO* portInfo)
{
    constexpr const char* kMethod = "CUsbHidDeviceFactory::checkUsage";
    int usage = CUsbHidTable::getDeviceUsage(m_hidInfo);
    if (usage == EIU_UNKNOWN) {
        SDK_LOG(logbit::error, kMethod, "Cann't get the usage of the device");
    } else if (usage == EIU_LOB) {
        const std::string product = upper(wstringToString(m_hidInfo.product));
        const bool bootQox = product.find("BOOT-QOX") != std::string::npos;
        const bool makers = m_hidInfo.vendorId == CPortEnumerator::kMakerVendorId1 ||
                            m_hidInfo.vendorId == CPortEnumerator::kMakerVendorId2;
        if (product.find("QOX") != std::string::npos && !bootQox) {
            usage = EIU_QOX;
        } else if (product.find("HID POS") != std::string::npos && makers) {
            usage = EIU_HID_POS;
        } else if (!bootQox) {
            CDeviceInfoFetcher fetcher(portInfo, &m_menuMemory);
            prepareFetcher(fetcher);
            const int terminalId = fetcher.getTerminalID(std::string());
            if (terminalId == kTerminalIdHidPos) {
                usage = EIU_HID_POS;
            } else if (terminalId < 0) {
                SDK_LOG(logbit::error, kMethod, "Amazed!! cann't get the termid. Pleae check.");
                usage = EIU_UNKNOWN;
            }
        }
    }
    if (!usageKept(usage)) {
        SDK_LOG(logbit::error, kMethod, "This usage will be filtered.");
        return EIU_UNKNOWN;
    }
    return usage;
}

int CUsbHidDeviceFactory::copyDevice(CDevice*& source, CDevice*& destination, bool copyOnly)
{
    constexpr const char* kMethod = "CUsbHidDeviceFactory::copyDevice";
    SDK_LOG(logbit::trace, kMethod, "copy one device from original device because they have same serial number.");
    auto* target = dynamic_cast<CUsbHidDevice*>(destination);
    const bool serialSource = dynamic_cast<CSerialDevice*>(source) != nullptr;
    if (source == nullptr || target == nullptr || (!serialSource && dynamic_cast<CUsbHidDevice*>(source) == nullptr)) {
        SDK_LOG(logbit::trace, kMethod, "Original device isn't USB HID DEVICE.");
        return 7;
    }
    const int ownUsage = target->interfaceUsage;
    // The device fields (and HID settings from a HID source) with a clone of
    // the product; products of kinds 0 and 1 are cloned alike, so a device
    // identified at information level 2 stays connectible over HID.
    if (!copyDeviceRecord(*source, *target, kMethod))
        return 7;
    if (copyOnly)
        return 0;

    // The clone describes this interface from now on, whatever interface
    // of the scanner it came from.
    target->interfaceType = CUsbHidTable::getInterfaceType(m_hidInfo);
    if (serialSource)
        target->fromFilterDriver = isGeneratedByFilterDriver(m_hidInfo.path) ? 1 : 0;

    if (openPort() != 0) {
        m_hidPort.close();
        CPortEnumerator ports;
        return ports.isUsbHidDeviceExist(m_hidInfo.path) ? 9 : 4;
    }
    PORTINFO portInfo = portInfoOn(&m_hidPort, 10, 3);
    send254Report(1);
    const int usage = checkUsage(&portInfo);
    if (usage == EIU_UNKNOWN) {
        SDK_LOG(logbit::trace, kMethod, "check usage - fail.");
        release();
        return 5;
    }
    target->interfaceUsage = ownUsage != EIU_UNKNOWN ? ownUsage : usage;
    const std::string serial = target->CDevice::product != nullptr ? target->CDevice::product->serialNumber : std::string();
    if (isDeviceFiltered(&portInfo, target->interfaceUsage, target->interfaceType, serial)) {
        SDK_LOG(logbit::trace, kMethod, "Filtered here....");
        release();
        return 5;
    }
    if (m_infoLevel != 2 && target->CDevice::product != nullptr) {
        CDeviceInfoFetcher fetcher(&portInfo, &m_menuMemory);
        prepareFetcher(fetcher);
        target->CDevice::product->terminalId = fetcher.getTerminalID(std::string());
    }
    release();
    fillUsbHidSetting(target);
    return 0;
}
