// What a host did to a simulated device, in the order it happened: opens
// and closes, the bytes it wrote, its output reports, device requests and
// feature reports. Every event of the process takes the next number of one
// counter, so the timelines of several devices (the interfaces of one
// scanner, say) merge into one true order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vxsim {

struct TimelineEvent {
    enum class Kind {
        open,     // a host connected (a serial port's side channel, a HID read/write open)
        close,    // that host went away
        bytes,    // serial data the host wrote, as one read took it in
        report,   // a HID output report (report id first)
        request,  // a device request (`code`, its input in `data`)
        feature,  // a HID feature report set (report id first)
    };
    Kind kind = Kind::bytes;
    std::uint64_t order = 0;
    // The id of the port or interface.
    std::string device;
    // Serial: the event came through the management port.
    bool management = false;
    std::vector<unsigned char> data;
    std::uint32_t code = 0;
};

// An event stamped with the process-wide order.
TimelineEvent timelineEvent(TimelineEvent::Kind kind, const std::string& device,
                            std::vector<unsigned char> data = {}, std::uint32_t code = 0, bool management = false);

// Several timelines as one, in order.
std::vector<TimelineEvent> mergeTimelines(const std::vector<std::vector<TimelineEvent>>& timelines);

// One line for a message: kind, device, and the data (printable bytes as
// they are, others as \xNN).
std::string describe(const TimelineEvent& event);

}  // namespace vxsim
