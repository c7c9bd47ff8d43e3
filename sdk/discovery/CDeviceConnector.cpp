#include "discovery/CDeviceConnector.h"

#include "base/CScanningSDK.h"

CDeviceConnector::CDeviceConnector(CDevice* device, bool breakSignal) : m_device(device), m_breakSignal(breakSignal)
{
}

CDeviceConnector::~CDeviceConnector()
{
    CDeviceConnector::disconnect();
    delete m_port;
    m_port = nullptr;
    delete m_connectedDevice;
    m_connectedDevice = nullptr;
}

std::string& CDeviceConnector::errorText()
{
    if (m_errorMsg == nullptr)
        m_errorMsg = &m_ownErrorMsg;
    return *m_errorMsg;
}

void CDeviceConnector::fail(const char* method, const std::string& text, int bit)
{
    errorText() = text;
    SDK_LOG(bit, method, text);
}

int CDeviceConnector::connect(int)
{
    return 0;
}

bool CDeviceConnector::copyDevice(CDevice*)
{
    return true;
}

bool CDeviceConnector::preCheck()
{
    constexpr const char* kMethod = "CDeviceConnector::preCheck";
    if (m_breakSignal) {
        fail(kMethod, "Not support break single yet.", logbit::trace);
        return false;
    }
    if (m_device == nullptr) {
        fail(kMethod, "Device is NULL.", logbit::trace);
        return false;
    }
    if (!m_device->connectible) {
        fail(kMethod, "Device is not connectible.", logbit::trace);
        return false;
    }
    return true;
}

int CDeviceConnector::disconnect()
{
    if (m_port != nullptr && m_port->close() != 0) {
        fail("CDeviceConnector::disconnect",
             "Error happened during disconnect. - Port can't't be closed successfully.", logbit::trace);
        return 2;
    }
    delete m_port;
    m_port = nullptr;
    delete m_connectedDevice;
    m_connectedDevice = nullptr;
    m_nativeHandle = nullptr;
    return 0;
}
