#include "simulator/timeline.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace vxsim {

TimelineEvent timelineEvent(TimelineEvent::Kind kind, const std::string& device, std::vector<unsigned char> data,
                            std::uint32_t code, bool management)
{
    static std::atomic<std::uint64_t> counter{0};
    TimelineEvent event;
    event.kind = kind;
    event.order = ++counter;
    event.device = device;
    event.management = management;
    event.data = std::move(data);
    event.code = code;
    return event;
}

std::vector<TimelineEvent> mergeTimelines(const std::vector<std::vector<TimelineEvent>>& timelines)
{
    std::vector<TimelineEvent> all;
    for (const auto& timeline : timelines)
        all.insert(all.end(), timeline.begin(), timeline.end());
    std::sort(all.begin(), all.end(), [](const TimelineEvent& a, const TimelineEvent& b) { return a.order < b.order; });
    return all;
}

std::string describe(const TimelineEvent& event)
{
    static const char* const kKinds[] = {"open", "close", "bytes", "report", "request", "feature"};
    std::string text = kKinds[static_cast<int>(event.kind)];
    text += " " + event.device + (event.management ? " (management)" : "");
    if (event.kind == TimelineEvent::Kind::request) {
        char code[16];
        std::snprintf(code, sizeof code, " %08x", event.code);
        text += code;
    }
    if (!event.data.empty()) {
        text += " ";
        for (unsigned char c : event.data) {
            if (c >= 0x20 && c < 0x7F) {
                text.push_back(static_cast<char>(c));
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
                text += escaped;
            }
        }
    }
    return text;
}

}  // namespace vxsim
