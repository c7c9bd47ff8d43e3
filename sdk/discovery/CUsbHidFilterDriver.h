// The management (Qox) paths of HID interfaces that the remote-management
// filter driver presents: the driver's child devices in the HID class, whose
// instance ids begin with the driver's bus.
//
// Stateless: callers make one object per question. Every failure answers an
// empty string or an empty list.
#pragma once

#include "ports/CFilterDriver.h"

#include <string>
#include <vector>

class CUsbHidFilterDriver : public CFilterDriver {
public:
    CUsbHidFilterDriver() = default;
    ~CUsbHidFilterDriver() override = default;

    // The management path of the child whose interface path is `path` (any
    // letter case); empty for a device that is no filter-driver child.
    std::string getFDQoxPort(std::string path) override;

    // The management paths of every filter-driver HID child present, in
    // device order. A child whose key or "Uniquifier" cannot be read ends
    // the list there.
    static std::vector<std::string> listQoxHidDevice();
};
