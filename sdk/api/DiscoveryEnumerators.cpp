#include "api/DiscoveryEnumerators.h"

#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CUsbHidDeviceEnumerator.h"

#include <mutex>

namespace {

std::unique_ptr<CDeviceEnumerator> makeSdkEnumerator(DiscoveryEnumeratorKind kind,
                                                     const CDiscoveryTemplate* discoveryTemplate,
                                                     std::vector<CDevice*>* devices)
{
    switch (kind) {
    case DiscoveryEnumeratorKind::usbHid:
        return std::make_unique<CUsbHidDeviceEnumerator>(discoveryTemplate, devices);
    case DiscoveryEnumeratorKind::rs232:
        return std::make_unique<CSerialDeviceEnumerator>(discoveryTemplate, devices, CSerialDeviceEnumerator::kRs232);
    case DiscoveryEnumeratorKind::usbSerial:
        return std::make_unique<CSerialDeviceEnumerator>(discoveryTemplate, devices,
                                                         CSerialDeviceEnumerator::kUsbSerial);
    case DiscoveryEnumeratorKind::otherSerial:
        break;
    }
    return std::make_unique<CSerialDeviceEnumerator>(discoveryTemplate, devices, CSerialDeviceEnumerator::kOtherSerial);
}

std::mutex& makerLock()
{
    static std::mutex lock;
    return lock;
}

DiscoveryEnumeratorMaker& replacedMaker()
{
    static DiscoveryEnumeratorMaker maker;
    return maker;
}

}  // namespace

DiscoveryEnumeratorMaker discoveryEnumeratorMaker()
{
    std::lock_guard<std::mutex> guard(makerLock());
    if (replacedMaker())
        return replacedMaker();
    return &makeSdkEnumerator;
}

void setDiscoveryEnumeratorMaker(DiscoveryEnumeratorMaker maker)
{
    std::lock_guard<std::mutex> guard(makerLock());
    replacedMaker() = std::move(maker);
}
