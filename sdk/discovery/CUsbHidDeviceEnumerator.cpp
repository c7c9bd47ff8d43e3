#include "discovery/CUsbHidDeviceEnumerator.h"

#include "discovery/CPortEnumerator.h"
#include "discovery/CProbeMark.h"
#include "discovery/CUsbHidDevice.h"
#include "discovery/CUsbHidDeviceFactory.h"
#include "discovery/CUsbHidFilterDriver.h"
#include "discovery/CUsbHidTable.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "ports/CFilterDriver.h"
#include "ports/CUsbHidBarcodeScanner.h"
#include "ports/CUsbHidPort.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kQoxTransactionTimeout = 15000;

// The scanner protocol's packets fill 64-byte reports; an interface whose
// reports are shorter cannot carry them, and each query would only wait out
// its time.
bool reportsTooShort(const HidDeviceInfo& info, int interfaceType, const char* method)
{
    if (interfaceType != EIT_USB_HID_BARCODE_SCANNER ||
        (info.inputReportLength >= CUsbHidBarcodeScanner::kReportLength &&
         info.outputReportLength >= CUsbHidBarcodeScanner::kReportLength))
        return false;
    SDK_LOG(logbit::error, method,
            "The interface's reports are shorter than 64 bytes (input " + intToString(info.inputReportLength) +
                ", output " + intToString(info.outputReportLength) + "): interface skipped. Port=" + info.path);
    return true;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

CUsbHidDeviceEnumerator::CUsbHidDeviceEnumerator(const CDiscoveryTemplate* discoveryTemplate,
                                                 std::vector<CDevice*>* devices)
    : CDeviceEnumerator(discoveryTemplate, devices)
{
}

bool CUsbHidDeviceEnumerator::interfaceTypeWanted(int type) const
{
    const auto& types = m_template->interfaceTypes;
    return std::find(types.begin(), types.end(), type) != types.end();
}

bool CUsbHidDeviceEnumerator::walkEnds() const
{
    return isStopped() || maxCountReached();
}

void CUsbHidDeviceEnumerator::filterByNamedPorts(std::vector<HidDeviceInfo>& interfaces,
                                                 std::vector<std::string> namedPorts)
{
    if (interfaces.empty() || namedPorts.empty())
        return;
    std::erase_if(interfaces, [&](const HidDeviceInfo& info) {
        return std::none_of(namedPorts.begin(), namedPorts.end(),
                            [&](const std::string& named) { return sameName(named, info.path); });
    });
}

void CUsbHidDeviceEnumerator::filterByExclusionList(std::vector<HidDeviceInfo>& interfaces,
                                                    std::vector<CDevice*> exclusionList)
{
    if (interfaces.empty() || exclusionList.empty())
        return;
    std::vector<std::string> excluded;
    for (const CDevice* device : exclusionList)
        if (device != nullptr)
            excluded.push_back(device->portName);
    std::erase_if(interfaces, [&](const HidDeviceInfo& info) {
        return std::any_of(excluded.begin(), excluded.end(),
                           [&](const std::string& name) { return sameName(name, info.path); });
    });
}

void CUsbHidDeviceEnumerator::deleteDisconnectedDevice()
{
    CPortEnumerator ports;
    std::vector<std::string> present = ports.enumerateUsbHidPath();
    for (std::string& path : present)
        path = lower(path);
    for (auto it = m_devices->begin(); it != m_devices->end();) {
        CDevice* device = *it;
        const bool hidKind = device != nullptr && (device->interfaceType == EIT_USB_HID_BARCODE_SCANNER ||
                                                   device->interfaceType == EIT_USB_HID_IBM_SUREPOS ||
                                                   device->interfaceType == EIT_USB_HID_KBD);
        if (!hidKind) {
            ++it;
            continue;
        }
        if (dynamic_cast<CUsbHidDevice*>(device) == nullptr) {
            SDK_LOG(logbit::error, "CUsbHidDeviceEnumerator::deleteDisconnectedDevice",
                    "*****ERROR - this device should be usb hid device, but it isn't*****");
            ++it;
            continue;
        }
        if (std::find(present.begin(), present.end(), lower(device->portName)) != present.end()) {
            ++it;
            continue;
        }
        delete device;
        it = m_devices->erase(it);
    }
}

int CUsbHidDeviceEnumerator::enumerate()
{
    constexpr const char* kMethod = "CUsbHidDeviceEnumerator::enumerate";
    if (isCancelled())
        return kCancelled;
    if (isTimeout())
        return kTimedOut;

    CPortEnumerator ports;
    std::vector<HidDeviceInfo> interfaces = ports.enumerateUsbHid();
    filterByNamedPorts(interfaces, m_template->namedPorts);
    filterByExclusionList(interfaces, m_template->exclusionList);

    for (const HidDeviceInfo& info : interfaces) {
        if (walkEnds())
            break;
        const int type = CUsbHidTable::getInterfaceType(info);
        if (!interfaceTypeWanted(type)) {
            SDK_LOG(logbit::trace, kMethod, "The interface isn't in our detecing boundary. Port=" + info.path);
            continue;
        }
        if (reportsTooShort(info, type, kMethod))
            continue;
        CDevice* composite = checkCompositeDeviceExist(wstringToString(info.serialNumber));

        // The factory opens the interface: wait while another discovery has
        // it open for its own questions (declared first: released last).
        CProbeMark mark(info.path);
        if (!mark.take(*this))
            continue;
        CUsbHidDeviceFactory factory(info, &m_menuMemory);
        factory.setFilterInterfaceUsage(m_template->interfaceUsages);
        factory.setFilterNamedProduct(m_template->namedProducts);
        factory.setDeviceInfoLevel(m_template->deviceInfoLevel);
        factory.setCancelFlag(getCancelFlag());
        factory.setTimeout(getRemaingTimeout());

        CDevice* device = new CUsbHidDevice();
        int result = -1;
        if (composite != nullptr &&
            (composite->interfaceType == EIT_USB_HID_BARCODE_SCANNER || composite->interfaceType == EIT_USB_SERIAL) &&
            type == EIT_USB_HID_BARCODE_SCANNER) {
            result = factory.copyDevice(composite, device, false);
        } else if (isTimeout() || isCancelled()) {
            delete device;
            continue;
        } else {
            result = factory.createDevice(device);
        }

        if (result == 0) {
            SDK_LOG(logbit::trace, kMethod, "Find one device and add it to the list.");
            m_devices->push_back(device);
        } else {
            if (result == 4) {
                deleteDisconnectedDevice();
                SDK_LOG(logbit::trace, kMethod, "Fail to create device.");
            }
            delete device;
        }
    }

    if (isTimeout())
        return kTimedOut;
    if (isCancelled())
        return kCancelled;
    return enumerateFDQox();
}

int CUsbHidDeviceEnumerator::enumerateFDQox()
{
    constexpr const char* kMethod = "CUsbHidDeviceEnumerator::enumerateFDQox";
    if (!isQoxUsage())
        return kFinished;
    if (isCancelled())
        return kCancelled;
    if (isTimeout())
        return kTimedOut;

    const std::vector<std::string> paths = filterPorts(CUsbHidFilterDriver::listQoxHidDevice());
    for (const std::string& path : paths) {
        if (walkEnds())
            break;
        CProbeMark mark(path);
        if (!mark.take(*this))
            continue;
        CUsbHidPort port(true);
        if (port.open(stringToWString(path)) != 0) {
            SDK_LOG(logbit::trace, kMethod, "Device is already occupied.");
            continue;
        }
        HidDeviceInfo info;
        if (port.GetDeviceInfo(info) != 0) {
            SDK_LOG(logbit::trace, kMethod, "Error happened during get the device information.");
            port.close();
            continue;
        }
        const int type = CUsbHidTable::getInterfaceType(info);
        if (!interfaceTypeWanted(type) || reportsTooShort(info, type, kMethod)) {
            port.close();
            continue;
        }
        HANDLE handle = port.getHandle();
        if (!CFilterDriver::setTransTimeOut(handle, kQoxTransactionTimeout) ||
            !CFilterDriver::setTransMode(handle, 1)) {
            SDK_LOG(logbit::error, kMethod, "Cann't set the QOX Port into the transaction mode timeout.");
            port.close();
            continue;
        }
        CDevice* composite = checkCompositeDeviceExist(wstringToString(info.serialNumber));

        CUsbHidDeviceFactory factory(info, &m_menuMemory);
        factory.setFilterInterfaceUsage(m_template->interfaceUsages);
        factory.setFilterNamedProduct(m_template->namedProducts);
        factory.setDeviceInfoLevel(m_template->deviceInfoLevel);
        factory.setCancelFlag(getCancelFlag());
        factory.setTimeout(getRemaingTimeout());
        factory.setPortHandle(handle);

        CDevice* device = new CUsbHidDevice();
        device->interfaceUsage = EIU_QOX;
        int result = -1;
        if (composite != nullptr &&
            (composite->interfaceType == EIT_USB_HID_BARCODE_SCANNER || composite->interfaceType == EIT_USB_SERIAL) &&
            type == EIT_USB_HID_BARCODE_SCANNER) {
            result = factory.copyDevice(composite, device, false);
            if (device->interfaceUsage == EIU_LOB) {
                SDK_LOG(logbit::error, kMethod, "ERROR HAPPENS....We shouldn't get LOB USAGE..Now change it to QOX..");
                device->interfaceUsage = EIU_QOX;
            }
        } else if (!isTimeout() && !isCancelled()) {
            result = factory.createDevice(device);
        }
        if (!CFilterDriver::setTransMode(handle, 0))
            SDK_LOG(logbit::trace, kMethod, "***Error happened during exit the QOX transaction mode.");

        if (result == 0) {
            SDK_LOG(logbit::trace, kMethod, "Find one device and add it to the list.");
            device->interfaceUsage = EIU_QOX;
            device->fromFilterDriver = 1;
            m_devices->push_back(device);
        } else {
            if (result == 4) {
                deleteDisconnectedDevice();
                SDK_LOG(logbit::trace, kMethod, "Fail to create device.");
            }
            delete device;
        }
    }
    if (isTimeout())
        return kTimedOut;
    if (isCancelled())
        return kCancelled;
    return kFinished;
}
