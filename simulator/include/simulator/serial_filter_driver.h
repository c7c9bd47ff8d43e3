// The remote-management filter driver as the simulated scanner plays it: the
// device requests a host sends on a filter-driver port, with the records of
// the driver's interface (a 16-byte interface GUID, the record size, then
// the value) and its UTF-16LE text answers.
#pragma once

#include "simulator/serial_model.h"

#include <cstdint>
#include <map>
#include <vector>

namespace vxsim {

// Error codes the driver answers with (the host's platform numbering).
constexpr unsigned kErrorInvalidFunction = 1;
constexpr unsigned kErrorGenFailure = 31;
constexpr unsigned kErrorInvalidParameter = 87;

struct DeviceRequest {
    std::uint32_t code = 0;
    std::vector<unsigned char> input;
    std::uint32_t outputSize = 0;
};

struct DeviceAnswer {
    unsigned error = 0;  // 0: success
    std::vector<unsigned char> output;
};

class SimulatedFilterDriver {
public:
    explicit SimulatedFilterDriver(FilterDriverModel model) : m_model(std::move(model)) {}

    // Answers one request. Without a driver (model.present false) every
    // request fails with kErrorInvalidFunction.
    DeviceAnswer handle(const DeviceRequest& request);

    // Makes every later request with this code fail with `error`.
    void failRequest(std::uint32_t code, unsigned error = kErrorGenFailure) { m_failing[code] = error; }

    const FilterDriverModel& state() const { return m_model; }

private:
    FilterDriverModel m_model;
    std::map<std::uint32_t, unsigned> m_failing;
};

}  // namespace vxsim
