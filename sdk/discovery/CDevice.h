// The record of one interface of one attached scanner (a serial port or a
// USB HID interface), as discovery finds it and a connection uses it. The
// record owns its product and deletes it with itself.
//
// Copying never shares the product: the copy assignment copies every other
// field and leaves the destination's product as it was, the copy
// constructor does not exist, and copyDeviceRecord copies a record together
// with a clone of its product.
#pragma once

#include <string>

class CProduct;

// Interface types (`interfaceType`).
constexpr int EIT_UNKNOWN = -1;
constexpr int EIT_RS232 = 0;
constexpr int EIT_USB_SERIAL = 1;
constexpr int EIT_USB_HID_BARCODE_SCANNER = 2;
constexpr int EIT_USB_HID_IBM_SUREPOS = 3;
constexpr int EIT_USB_HID_KBD = 4;
constexpr int EIT_OTHER_SERIAL = 5;

// Interface usages (`interfaceUsage`); -1 not decided.
constexpr int EIU_UNKNOWN = -1;
constexpr int EIU_LOB = 0;
constexpr int EIU_QOX = 1;
constexpr int EIU_HID_POS = 2;

// Device modes (`mode`).
constexpr int EDM_UNKNOWN = -1;
constexpr int EDM_BOOT = 0;
constexpr int EDM_APP = 1;

class CDevice {
public:
    CDevice() = default;
    virtual ~CDevice();

    CDevice(const CDevice&) = delete;
    // Copies mode, filter-driver flag, interface type and usage, port name
    // and connectible flag; the destination keeps its own product.
    CDevice& operator=(const CDevice& other);

    int mode = EDM_UNKNOWN;
    int fromFilterDriver = -1;
    int interfaceType = EIT_UNKNOWN;
    int interfaceUsage = EIU_UNKNOWN;
    // Owned; a CHubProduct when productType is 2.
    CProduct* product = nullptr;
    // The COM port name or the HID device path.
    std::string portName;
    bool connectible = false;
};

// Copies `source` into `destination`: the device fields (the subclass
// settings too when both records are of the same subclass) and a clone of
// the source's product, which replaces the destination's. Products of kinds
// 0 and 1 are cloned as CProduct, kind 2 as CHubProduct with its
// sub-products; a kind-2 product that is not a hub leaves the destination
// without product (logged, still a success). A hub's sub-product (kinds 3 to
// 6) is refused: false, the destination then holds the copied fields and no
// product. `method` names the caller in the log lines.
bool copyDeviceRecord(const CDevice& source, CDevice& destination, const char* method = "CDevice::copyDeviceRecord");

// A clone of `product` by its kind, as copyDeviceRecord makes it: null for a
// null product or a kind-2 product that is not a hub; `refused` is set for
// kinds outside 0 to 2.
CProduct* cloneProduct(const CProduct* product, bool* refused, const char* method = "CDevice::cloneProduct");
