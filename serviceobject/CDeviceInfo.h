// The description of the connected scanner that the OPOS properties show,
// filled once per open from the device record that discovery found.
#pragma once

#include <string>

class COPOSKestrel;
class ZRIDbgBase;

class CDeviceInfo {
public:
    CDeviceInfo() = default;
    // Neither is owned.
    CDeviceInfo(ZRIDbgBase* debug, COPOSKestrel* facade);
    virtual ~CDeviceInfo() = default;

    // 0 when filled from the facade's device record, 1001 without a
    // facade, a device record, a known interface kind or a product (the
    // texts then keep their values).
    int GetInfo();

    int m_nFlashType = 0;  // 5 for the product's flash type 0, otherwise 6
    std::string m_strInterface;  // "RS232", "USBSER" or "USBHID"
    std::string m_strSerialNumber;
    std::string m_strFirmwarePart;
    std::string m_strDescription;
    std::string m_strAppDate;
    std::string m_strDescriptionText;  // description ", " serial number
    std::string m_strNameText;         // the description's first 31 characters
    int m_nImaging = 0;                // the product can take images (feature 5)

    static constexpr const char* kDefaultDescription = "Varnex Barcode Scanner";
    static constexpr const char* kDefaultName = "Varnex Scanner";

private:
    ZRIDbgBase* m_pDebug = nullptr;
    COPOSKestrel* m_pFacade = nullptr;
};
