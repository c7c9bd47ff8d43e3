// The management (Qox) port behind a COM port that the remote-management
// filter driver presents: the driver's child device whose "PortName" is the
// port, found by a walk of the COM-port interface class.
//
// Stateless: callers make one object per question, on the stack. Every
// failure answers an empty string (the port has no management port); the
// walk is bounded, so a device set with gaps cannot keep it going.
#pragma once

#include "ports/CFilterDriver.h"

#include <string>

class CSerialFilterDriver : public CFilterDriver {
public:
    CSerialFilterDriver() = default;
    ~CSerialFilterDriver() override = default;

    // `port` is a COM name in any letter case ("com5" finds "COM5").
    std::string getFDQoxPort(std::string port) override;
};
