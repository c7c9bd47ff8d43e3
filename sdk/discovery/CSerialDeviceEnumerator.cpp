#include "discovery/CSerialDeviceEnumerator.h"

#include "discovery/CPortEnumerator.h"
#include "discovery/CProbeMark.h"
#include "discovery/CSerialDeviceFactory.h"
#include "discovery/CSerialFilterDriver.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "ports/CBreaker.h"
#include "ports/CFilterDriver.h"
#include "ports/CSerialPort.h"
#include "protocol/CDeviceInfoFetcher.h"

#include <cstring>

namespace {

constexpr int kQoxTransactionTimeout = 15000;
constexpr int kNoAnswer = -1;

std::wstring devicePath(const std::string& port)
{
    return stringToWString("\\\\.\\" + port);
}

}  // namespace

CSerialDeviceEnumerator::CSerialDeviceEnumerator(const CDiscoveryTemplate* discoveryTemplate,
                                                 std::vector<CDevice*>* devices, int serialKind)
    : CDeviceEnumerator(discoveryTemplate, devices), m_serialKind(serialKind)
{
}

PORTINFO CSerialDeviceEnumerator::emptyPortInfo(CSerialPort* port)
{
    PORTINFO info;
    std::memset(&info, 0, sizeof info);
    info.port = port;
    return info;
}

int CSerialDeviceEnumerator::stopCheck(const char* method)
{
    if (isTimeout()) {
        SDK_LOG(logbit::trace, method, "Timeout..");
        return kTimedOut;
    }
    if (isCancelled()) {
        SDK_LOG(logbit::trace, method, "Cancelled..");
        return kCancelled;
    }
    if (maxCountReached()) {
        SDK_LOG(logbit::trace, method, "Already reach the maxCount_....");
        return kFinished;
    }
    return -1;
}

void CSerialDeviceEnumerator::transactionModeOff(HANDLE handle, const char* method)
{
    if (!CFilterDriver::setTransMode(handle, 0))
        SDK_LOG(logbit::error, method, "Disaster, can't switch it to transaction mode off.");
}

int CSerialDeviceEnumerator::enumerate()
{
    constexpr const char* kMethod = "CSerialDeviceEnumerator::enumerate";
    int stop = stopCheck(kMethod);
    if (stop >= 0)
        return stop;
    const bool qox = isQoxUsage();
    if (isLobUsage()) {
        const int result = enumerateLOB();
        if (result != 0)
            return result;
    }
    stop = stopCheck(kMethod);
    if (stop >= 0)
        return stop;
    return qox ? enumerateFDQox() : kFinished;
}

std::vector<std::string> CSerialDeviceEnumerator::getAllFDLOBPorts()
{
    CPortEnumerator ports;
    switch (m_serialKind) {
    case kRs232:
        return ports.enumerateFDSerial();
    case kUsbSerial:
        return ports.enumerateFDUsbSerial();
    case kOtherSerial:
        return ports.enumerateFDSerialOthers();
    default:
        return {};
    }
}

std::vector<std::string> CSerialDeviceEnumerator::getFilteredFDLOBPorts()
{
    std::vector<std::string> ports = getAllFDLOBPorts();
    return ports.empty() ? ports : filterPorts(std::move(ports));
}

std::vector<std::string> CSerialDeviceEnumerator::getFilteredNormalLOBPorts()
{
    CPortEnumerator enumerator;
    std::vector<std::string> ports;
    switch (m_serialKind) {
    case kRs232:
        ports = enumerator.enumerateSerialQZT();
        break;
    case kUsbSerial:
        ports = enumerator.enumerateUsbSerialQZT();
        break;
    case kOtherSerial:
        ports = m_template->serialOtherPatterns.empty()
                    ? enumerator.enumerateSerialOthers()
                    : enumerator.enumerateSerialOthersWithPattern(m_template->serialOtherPatterns);
        break;
    default:
        break;
    }
    return ports.empty() ? ports : filterPorts(std::move(ports));
}

bool CSerialDeviceEnumerator::modemLinesShowDevice(CSerialPort& port)
{
    const unsigned mask = static_cast<unsigned>(m_template->modemSignalMask);
    if ((mask & 0xF0u) == 0)
        return true;
    return ((mask & 0x10u) && port.getCTS()) || ((mask & 0x20u) && port.getDSR()) ||
           ((mask & 0x40u) && port.getRing()) || ((mask & 0x80u) && port.getRLSD());
}

bool CSerialDeviceEnumerator::noteChatter(const CBreaker& breaker)
{
    if (breaker.lineNeverQuiet())
        m_lineNeverQuiet = true;
    return m_lineNeverQuiet;
}

void CSerialDeviceEnumerator::logIfGivenUp(const std::string& portName)
{
    if (m_lineNeverQuiet)
        SDK_LOG(logbit::error, "CSerialDeviceEnumerator::enumerate",
                "The line never fell quiet: port given up. Port=" + portName);
    m_lineNeverQuiet = false;
}

int CSerialDeviceEnumerator::enumerateLOB()
{
    constexpr const char* kMethod = "CSerialDeviceEnumerator::enumerateLOB";
    const int stop = stopCheck(kMethod);
    if (stop >= 0)
        return stop;

    struct Candidate {
        std::string name;
        bool viaFilterDriver;
    };
    std::vector<Candidate> candidates;
    for (std::string& name : getFilteredNormalLOBPorts())
        candidates.push_back({std::move(name), false});
    for (std::string& name : getFilteredFDLOBPorts())
        candidates.push_back({std::move(name), true});

    for (const Candidate& candidate : candidates) {
        const int portStop = stopCheck(kMethod);
        if (portStop >= 0)
            return portStop;
        SDK_LOG(logbit::trace, kMethod, "check port - " + candidate.name);
        // Declared before the port, so that the port is closed first.
        CProbeMark mark(candidate.name);
        if (!mark.take(*this))
            continue;  // stopped: the check above ends the walk
        CSerialPort port;
        if (port.open(devicePath(candidate.name)) != 0)
            continue;
        if (m_serialKind == kRs232 && !modemLinesShowDevice(port)) {
            SDK_LOG(logbit::trace, kMethod, "No device is connected!!!!" + candidate.name);
            port.close();
            continue;
        }
        port.purge();
        m_lineNeverQuiet = false;
        CDevice* device = new CSerialDevice();
        device->interfaceUsage = EIU_LOB;
        int result = kNoAnswer;
        if (m_serialKind == kUsbSerial) {
            SDK_LOG(logbit::trace, kMethod, "Use Ping at USB Serial port " + candidate.name);
            result = createUsbSerialDevice(device, &port);
        } else {
            if (m_serialKind == kRs232)
                SDK_LOG(logbit::trace, kMethod, "Use Ping at port " + candidate.name);
            result = createRS232Device(device, &port, false);
        }
        if (result == 0) {
            SDK_LOG(logbit::trace, kMethod, "find one device at port " + candidate.name);
            device->portName = candidate.name;
            device->fromFilterDriver = candidate.viaFilterDriver ? 1 : 0;
            if (m_serialKind == kOtherSerial)
                device->interfaceType = EIT_OTHER_SERIAL;
            m_devices->push_back(device);
        } else {
            delete device;
            SDK_LOG(logbit::trace, kMethod, "Fail to create device." + intToString(result));
            logIfGivenUp(candidate.name);
        }
        port.close();
    }
    if (isTimeout())
        return kTimedOut;
    if (isCancelled())
        return kCancelled;
    return kFinished;
}

int CSerialDeviceEnumerator::createRS232Device(CDevice*& device, CSerialPort* port, bool viaFilterDriver)
{
    constexpr const char* kMethod = "CSerialDeviceEnumerator::createRS232Device";
    if (isStopped())
        return 3;
    if (port->setup(115200, 2u) != 0) {
        SDK_LOG(logbit::error, kMethod, "Error during setup port - baud and dps.");
        return 7;
    }
    if (port->setupQueueSize(65536, 4096) != 0) {
        SDK_LOG(logbit::error, kMethod, "Error during setup port QUEUE SIZE.");
        return 7;
    }
    if (port->setupHandshaking(3) != 0) {
        SDK_LOG(logbit::error, kMethod, "Error during setup port handshaking.");
        return 7;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 5000;
    if (port->setTimeout(timeouts) != 0) {
        SDK_LOG(logbit::error, kMethod, "Error during setup port handshaking.");
        return 7;
    }
    DCB dcb{};
    if (port->getDCB(&dcb) != 0) {
        SDK_LOG(logbit::error, kMethod, "Error get port DCB.");
        return 7;
    }
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    if (port->setDCB(&dcb) != 0) {
        SDK_LOG(logbit::error, kMethod, "Error during set DCB.");
        return 7;
    }

    PORTINFO portInfo = emptyPortInfo(port);
    CBreaker breaker(&portInfo);
    breaker.setCancelFlag(getCancelFlag());
    breaker.setTimeout(getRemaingTimeout());
    int result = kNoAnswer;
    for (int baud : m_template->baudRates) {
        for (int dps : m_template->dpsSettings) {
            SDK_LOG(logbit::trace, kMethod, "baud rate=" + intToString(baud));
            SDK_LOG(logbit::trace, kMethod, "dps=" + intToString(dps));
            if (isStopped())
                return 3;
            if (port->setup(baud, static_cast<unsigned>(dps)) != 0) {
                SDK_LOG(logbit::error, kMethod, "Cann't setup the baud rate and DPS..");
                continue;
            }
            breaker.setTimeout(getRemaingTimeout());
            if (!breaker.ping(false, viaFilterDriver)) {
                // Every other line setting would drain as long again.
                if (noteChatter(breaker))
                    return kNoAnswer;
                continue;
            }
            result = createDeviceGeneral(device, &portInfo);
            if (result != 6)
                return result;
        }
    }
    return result;
}

int CSerialDeviceEnumerator::createUsbSerialDevice(CDevice*& device, CSerialPort* port)
{
    if (isStopped())
        return 3;
    PORTINFO portInfo = emptyPortInfo(port);
    CBreaker breaker(&portInfo);
    breaker.setCancelFlag(getCancelFlag());
    breaker.setTimeout(getRemaingTimeout());
    port->setupHandshaking(3);
    port->setupQueueSize(65536, 4096);
    if (isStopped())
        return 3;
    if (!breaker.ping(true, false)) {
        noteChatter(breaker);
        return kNoAnswer;
    }
    return createDeviceGeneral(device, &portInfo);
}

int CSerialDeviceEnumerator::createDeviceGeneral(CDevice*& device, PORTINFO* portInfo)
{
    constexpr const char* kMethod = "CSerialDeviceEnumerator::createDeviceGeneral";
    CSerialDeviceFactory factory(portInfo, m_serialKind == kUsbSerial, &m_menuMemory);
    factory.setFilterNamedProduct(m_template->namedProducts);
    factory.setFilterInterfaceUsage(m_template->interfaceUsages);
    factory.setDeviceInfoLevel(m_template->deviceInfoLevel);
    factory.setCancelFlag(getCancelFlag());
    factory.setTimeout(getRemaingTimeout());
    if (isStopped())
        return 3;
    if (!factory.calibratePortInfo()) {
        SDK_LOG(logbit::trace, kMethod, "Error happened during calibration of the port.");
        return 6;
    }
    if (isStopped())
        return 3;
    if (m_template->deviceInfoLevel == 2)
        return factory.createDevice(device);

    CDevice* earlier = nullptr;
    {
        CDeviceInfoFetcher fetcher(portInfo, nullptr);
        fetcher.setCancelFlag(getCancelFlag());
        fetcher.setTimeout(getRemaingTimeout());
        const std::string serial = fetcher.getSerialNum(std::string());
        if (!serial.empty())
            earlier = checkCompositeDeviceExist(serial);
    }
    if (isStopped())
        return 3;
    if (earlier != nullptr &&
        (m_serialKind != kUsbSerial ||
         (earlier->interfaceType == EIT_USB_HID_BARCODE_SCANNER && earlier->interfaceUsage == EIU_QOX)))
        return factory.copyDevice(earlier, device);
    return factory.createDevice(device);
}

int CSerialDeviceEnumerator::enumerateFDQox()
{
    constexpr const char* kMethod = "CSerialDeviceEnumerator::enumerateFDQox";
    int stop = stopCheck(kMethod);
    if (stop >= 0)
        return stop;
    const std::vector<std::string> lobPorts = getAllFDLOBPorts();
    for (const std::string& lob : lobPorts) {
        stop = stopCheck(kMethod);
        if (stop >= 0)
            return stop;
        CSerialFilterDriver driver;
        const std::string qox = driver.getFDQoxPort(lob);
        if (qox.empty() || isPortFiltered(qox))
            continue;
        SDK_LOG(logbit::trace, kMethod, "check LOB port state- " + lob);
        bool lobPortFree = false;
        {
            CProbeMark lobMark(lob);
            if (!lobMark.take(*this))
                continue;
            CSerialPort lobPort;
            lobPortFree = lobPort.open(devicePath(lob)) == 0;
            lobPort.close();
        }
        SDK_LOG(logbit::trace, kMethod, "check QOX port - " + qox);
        CProbeMark mark(qox);
        if (!mark.take(*this))
            continue;
        CSerialPort port;
        if (port.open(stringToWString(qox)) != 0) {
            SDK_LOG(logbit::trace, kMethod, "Can't open QOX port - " + qox);
            continue;
        }
        CDevice* lobDevice = nullptr;
        for (CDevice* device : *m_devices)
            if (device != nullptr && sameName(device->portName, lob)) {
                lobDevice = device;
                break;
            }
        if (lobDevice != nullptr) {
            copyFDQoxDeviceFromLOB(&port, lobDevice, qox);
            SDK_LOG(logbit::trace, kMethod, "FD LOB Port is already been detected......" + lob);
        } else {
            createFDQoxDeviceFromPort(&port, qox, lobPortFree);
        }
        port.close();
    }
    return kFinished;
}

void CSerialDeviceEnumerator::createFDQoxDeviceFromPort(CSerialPort* port, const std::string& qoxPort,
                                                        bool lobPortFree)
{
    CDevice* device = new CSerialDevice();
    device->interfaceUsage = EIU_QOX;
    m_lineNeverQuiet = false;
    if (createFDQoxDevice(device, port, lobPortFree) == 0) {
        device->fromFilterDriver = 1;
        device->interfaceUsage = EIU_QOX;
        device->portName = qoxPort;
        m_devices->push_back(device);
    } else {
        delete device;
        logIfGivenUp(qoxPort);
    }
}

int CSerialDeviceEnumerator::createFDQoxDevice(CDevice*& device, CSerialPort* port, bool lobPortFree)
{
    constexpr const char* kMethod = "CSerialDeviceEnumerator::createFDQoxDevice";
    if (isStopped())
        return 3;
    PORTINFO portInfo = emptyPortInfo(port);
    CBreaker breaker(&portInfo);
    breaker.setCancelFlag(getCancelFlag());
    breaker.setTimeout(getRemaingTimeout());
    HANDLE handle = port->getHandle();
    if (!CFilterDriver::setTransTimeOut(handle, kQoxTransactionTimeout)) {
        SDK_LOG(logbit::error, kMethod, "Cann't set the QOX Port into the transaction mode timeout.");
        return kNoAnswer;
    }
    if (!CFilterDriver::setTransMode(handle, 1)) {
        SDK_LOG(logbit::error, kMethod, "Cann't set the QOX Port into the transaction mode timeout.");
        transactionModeOff(handle, kMethod);
        return kNoAnswer;
    }
    if (isStopped()) {
        transactionModeOff(handle, kMethod);
        return 3;
    }
    int result = kNoAnswer;
    if (lobPortFree && m_serialKind != kUsbSerial) {
        result = createRS232Device(device, port, true);
    } else if (breaker.ping(m_serialKind == kUsbSerial, true)) {
        result = createDeviceGeneral(device, &portInfo);
    } else {
        noteChatter(breaker);
    }
    if (!CFilterDriver::setTransMode(handle, 0)) {
        SDK_LOG(logbit::error, kMethod, "Disaster, can't switch it to transaction mode off.");
        return kNoAnswer;
    }
    return result;
}

void CSerialDeviceEnumerator::copyFDQoxDeviceFromLOB(CSerialPort* port, CDevice* lobDevice,
                                                     const std::string& qoxPort)
{
    constexpr const char* kMethod = "CSerialDeviceEnumerator::copyFDQoxDeviceFromLOB";
    PORTINFO portInfo = emptyPortInfo(port);
    HANDLE handle = port->getHandle();
    if (!CFilterDriver::setTransTimeOut(handle, kQoxTransactionTimeout)) {
        SDK_LOG(logbit::error, kMethod, "Cann't set the QOX Port into the transaction mode timeout.");
        return;
    }
    if (!CFilterDriver::setTransMode(handle, 1)) {
        SDK_LOG(logbit::error, kMethod, "Cann't set the QOX Port into the transaction mode timeout.");
        transactionModeOff(handle, kMethod);
        return;
    }
    auto* lob = dynamic_cast<CSerialDevice*>(lobDevice);
    if (lob == nullptr) {
        SDK_LOG(logbit::error, kMethod, "The Lob device is not one CSerialDevice!");
        transactionModeOff(handle, kMethod);
        return;
    }
    port->setup(lob->baudRate, lob->dataBits, lob->parity, lob->stopBits);
    CBreaker breaker(&portInfo);
    breaker.setCancelFlag(getCancelFlag());
    breaker.setTimeout(getRemaingTimeout());
    if (breaker.ping(m_serialKind == kUsbSerial, true)) {
        CDevice* device = new CSerialDevice();
        device->interfaceUsage = EIU_QOX;
        CSerialDeviceFactory factory(&portInfo, m_serialKind == kUsbSerial, &m_menuMemory);
        factory.setFilterNamedProduct(m_template->namedProducts);
        factory.setFilterInterfaceUsage(m_template->interfaceUsages);
        factory.setDeviceInfoLevel(m_template->deviceInfoLevel);
        factory.setCancelFlag(getCancelFlag());
        factory.setTimeout(getRemaingTimeout());
        CDevice* source = lobDevice;
        if (factory.copyDevice(source, device) == 0) {
            device->interfaceUsage = EIU_QOX;
            device->fromFilterDriver = 1;
            device->portName = qoxPort;
            m_devices->push_back(device);
        } else {
            delete device;
            SDK_LOG(logbit::error, kMethod, "Error happened during copy device....");
        }
    }
    transactionModeOff(handle, kMethod);
}
