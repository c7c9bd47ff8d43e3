#include "discovery/CSerialDisconnectMonitor.h"

#include "base/CScanningSDK.h"
#include "base/CThread.h"
#include "ports/CSerialPort.h"

#include "platform/time.h"

#include <exception>

CSerialDisconnectMonitor::CSerialDisconnectMonitor() = default;

CSerialDisconnectMonitor::CSerialDisconnectMonitor(std::string portName) : m_portName(std::move(portName)) {}

CSerialDisconnectMonitor::~CSerialDisconnectMonitor()
{
    closeGate();
    m_running.store(false);
    if (m_thread != nullptr)
        waitForThread(m_thread->getHandle());
}

int CSerialDisconnectMonitor::setCallback(DisconnectCallback callback)
{
    if (callback == nullptr) {
        SDK_LOG(logbit::error, "CSerialDisconnectMonitor::setCallback", "null callback pointer passed in!");
        return 1;
    }
    m_callback.store(callback);
    return 0;
}

int CSerialDisconnectMonitor::startThread(InterfacePort* port)
{
    if (port == nullptr) {
        SDK_LOG(logbit::error, "CSerialDisconnectMonitor::startThread", "null communication port!");
        return 2;
    }
    m_port = port;
    m_thread = std::make_unique<CThread>(
        fastdelegate::FastDelegate<int()>(this, &CSerialDisconnectMonitor::threadRoutine));
    return 0;
}

int CSerialDisconnectMonitor::threadRoutine()
{
    static const char* const kMethod = "CSerialDisconnectMonitor::threadRoutine";
    try {
        // The port is given once, before the thread starts: its kind is
        // decided once, not at every poll.
        auto* serial = dynamic_cast<CSerialPort*>(m_port);
        if (m_port != nullptr && serial == nullptr && m_running.load()) {
            SDK_LOG(logbit::error, kMethod, "convert to CSerialPort failed!");
            return 0;
        }
        while (m_running.load()) {
            if (m_port == nullptr) {
                SDK_LOG(logbit::error, kMethod, "null communication port pointer!");
            } else {
                if (!serial->isSignalOn(m_mask.load())) {
                    const DisconnectCallback callback = m_callback.load();
                    if (callback != nullptr)
                        startCallbackThread(callback, m_portName);
                    else
                        SDK_LOG(logbit::error, kMethod, "null call back pointer!");
                    return 0;
                }
            }
            Sleep(static_cast<DWORD>(m_pollInterval));
        }
    } catch (const std::exception& e) {
        SDK_LOG(logbit::error, kMethod, e.what());
    } catch (...) {
        SDK_LOG(logbit::error, kMethod, "unknown exception");
    }
    return 0;
}
