#include "CDevice.h"

#include "CSerialDevice.h"
#include "CUsbHidDevice.h"

#include "base/CScanningSDK.h"
#include "products/CHubProduct.h"
#include "products/CProduct.h"

CDevice::~CDevice()
{
    delete product;
    product = nullptr;
}

CDevice& CDevice::operator=(const CDevice& other)
{
    if (this != &other) {
        mode = other.mode;
        fromFilterDriver = other.fromFilterDriver;
        interfaceType = other.interfaceType;
        interfaceUsage = other.interfaceUsage;
        portName = other.portName;
        connectible = other.connectible;
    }
    return *this;
}

CProduct* cloneProduct(const CProduct* product, bool* refused, const char* method)
{
    if (refused != nullptr) {
        *refused = false;
    }
    if (product == nullptr) {
        return nullptr;
    }
    switch (product->productType) {
    case PT_QUICK:
    case PT_NORMAL:
        SDK_LOG(logbit::trace, method, "Original device's product type is NORMAL..");
        return new CProduct(*product);
    case PT_HUB: {
        SDK_LOG(logbit::trace, method, "Original device's product type is HUB..");
        const auto* hub = dynamic_cast<const CHubProduct*>(product);
        if (hub == nullptr) {
            SDK_LOG(logbit::error, method, "the orignial device isn't hub device, but its type is hub.");
            return nullptr;
        }
        return new CHubProduct(*hub);
    }
    default:
        SDK_LOG(logbit::error, method, "The orignal device's type is HUB SUB....It shouldn't...");
        if (refused != nullptr) {
            *refused = true;
        }
        return nullptr;
    }
}

bool copyDeviceRecord(const CDevice& source, CDevice& destination, const char* method)
{
    if (&source == &destination) {
        return true;
    }
    delete destination.product;
    destination.product = nullptr;

    const auto* hidSource = dynamic_cast<const CUsbHidDevice*>(&source);
    auto* hidDestination = dynamic_cast<CUsbHidDevice*>(&destination);
    const auto* serialSource = dynamic_cast<const CSerialDevice*>(&source);
    auto* serialDestination = dynamic_cast<CSerialDevice*>(&destination);
    if (hidSource != nullptr && hidDestination != nullptr) {
        *hidDestination = *hidSource;
    } else if (serialSource != nullptr && serialDestination != nullptr) {
        *serialDestination = *serialSource;
    } else {
        destination = source;
    }

    bool refused = false;
    destination.product = cloneProduct(source.product, &refused, method);
    return !refused;
}
