#include "CDeviceInfo.h"

#include "COPOSKestrel.h"
#include "debug/ZRIDbgBase.h"

#include "discovery/CDevice.h"
#include "products/CProduct.h"

#include <algorithm>

namespace {
constexpr int kImagingFeature = 5;
}

CDeviceInfo::CDeviceInfo(ZRIDbgBase* debug, COPOSKestrel* facade)
    : m_strDescriptionText(kDefaultDescription), m_strNameText(kDefaultName), m_pDebug(debug), m_pFacade(facade)
{
}

int CDeviceInfo::GetInfo()
{
    static const char* const tag = "CDeviceInfo:GetInfo()";
    ZRIDbgBase& debug = ZRIDbgBase::Or(m_pDebug);
    debug.LogText(tag, "entered");
    CDevice device;
    if (m_pFacade == nullptr || !m_pFacade->GetDeviceRecord(device))
        return 1001;
    std::string interfaceName;
    switch (device.interfaceType) {
    case EIT_RS232:
    case EIT_OTHER_SERIAL:
        interfaceName = "RS232";
        break;
    case EIT_USB_SERIAL:
        interfaceName = "USBSER";
        break;
    case EIT_USB_HID_BARCODE_SCANNER:
        interfaceName = "USBHID";
        break;
    default:
        debug.LogTextNumber(tag, m_strInterface.c_str(), device.interfaceType);
        return 1001;
    }
    const CProduct* product = device.product;
    if (product == nullptr)
        return 1001;
    m_strInterface = interfaceName;
    debug.LogTextNumber(tag, "flashtype", product->flashType);
    m_nFlashType = product->flashType == 0 ? 5 : 6;
    m_strFirmwarePart = product->appSoftwarePartNumber;
    m_strAppDate = product->appDate;
    m_strDescription = product->description;
    m_strSerialNumber = product->serialNumber;
    m_strNameText = m_strDescription.substr(0, 31);
    m_strDescriptionText = m_strDescription + ", " + m_strSerialNumber;
    m_nImaging = std::find(product->features.begin(), product->features.end(), kImagingFeature) !=
                         product->features.end()
                     ? 1
                     : 0;
    return 0;
}
