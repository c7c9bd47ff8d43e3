// A simulated scanner on a virtual serial port for the SDK's serial tests,
// and the COM path the host opens it by.
#pragma once

#include "TestSupport.h"

#include "platform/serial.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vxtest {

// A model from the catalogue, with wire time off unless asked for (fast
// tests; the ping's timing does not depend on it).
inline vxsim::SerialModel serialModel(const std::string& name, bool wireTime = false)
{
    const vxsim::SerialModel* model = vxsim::findSerialModel(name);
    EXPECT_NE(model, nullptr) << name;
    vxsim::SerialModel copy = model != nullptr ? *model : vxsim::SerialModel{};
    copy.wireTime = wireTime;
    return copy;
}

// Plugs a simulated scanner and finds its COM port.
class SimulatedSerialScanner {
public:
    explicit SimulatedSerialScanner(vxsim::SerialModel model, const std::string& id = "scanner")
        : m_port(std::make_unique<vxsim::VirtualSerialPort>(std::move(model), id))
    {
        EXPECT_TRUE(m_port->plug()) << m_port->lastError();
    }

    vxsim::VirtualSerialPort& device() { return *m_port; }
    vxsim::VirtualSerialPort* operator->() { return m_port.get(); }

    // "COMn".
    std::string comName() const
    {
        for (const auto& port : platform::listSerialPorts())
            if (port.devicePath == m_port->ptyPath())
                return port.comName;
        ADD_FAILURE() << "the simulated port has no COM name";
        return {};
    }
    // "\\.\COMn", as the SDK opens it.
    std::wstring path() const
    {
        const std::string com = "\\\\.\\" + comName();
        return std::wstring(com.begin(), com.end());
    }

private:
    std::unique_ptr<vxsim::VirtualSerialPort> m_port;
};

}  // namespace vxtest
