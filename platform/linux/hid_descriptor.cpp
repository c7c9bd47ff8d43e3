// The report-descriptor parser (see internal/hid_descriptor.h).
#include "linux/internal/hid_descriptor.h"

#include <array>
#include <map>
#include <vector>

namespace platform {
namespace {

// Limits of the kernel's parser; a descriptor beyond them is not a device's.
constexpr std::uint32_t kMaxReportSize = 256;    // bits per field
constexpr std::uint32_t kMaxReportCount = 12288;  // fields per main item
constexpr std::size_t kMaxPushDepth = 16;
constexpr std::uint64_t kMaxReportBytes = 0xFFFF;  // the caps fields are 16 bits

// Item types and tags.
constexpr unsigned kTypeMain = 0;
constexpr unsigned kTypeGlobal = 1;
constexpr unsigned kTypeLocal = 2;
constexpr unsigned kLongItemPrefix = 0xFE;

constexpr unsigned kMainInput = 0x8;
constexpr unsigned kMainOutput = 0x9;
constexpr unsigned kMainFeature = 0xB;
constexpr unsigned kMainCollection = 0xA;
constexpr unsigned kMainEndCollection = 0xC;

constexpr unsigned kGlobalUsagePage = 0x0;
constexpr unsigned kGlobalReportSize = 0x7;
constexpr unsigned kGlobalReportId = 0x8;
constexpr unsigned kGlobalReportCount = 0x9;
constexpr unsigned kGlobalPush = 0xA;
constexpr unsigned kGlobalPop = 0xB;

constexpr unsigned kLocalUsage = 0x0;

constexpr std::uint32_t kCollectionApplication = 0x01;

struct Globals {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

enum ReportKind { kInput = 0, kOutput = 1, kFeature = 2 };

}  // namespace

std::optional<HidReportLayout> parseHidReportDescriptor(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr)
        size = 0;

    HidReportLayout layout;
    Globals globals;
    std::vector<Globals> pushed;
    // Bits per report id, one map per report kind.
    std::array<std::map<std::uint32_t, std::uint64_t>, 3> bits;
    // First Usage since the last main item (0 with haveUsage false: none yet).
    std::uint32_t firstUsage = 0;
    bool haveUsage = false;
    int depth = 0;
    bool applicationFound = false;
    bool anyMainItem = false;

    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t prefix = data[at];
        if (prefix == kLongItemPrefix) {
            // A long item: prefix, data size, tag, data. Nothing we use.
            if (size - at < 3)
                return std::nullopt;
            const std::size_t length = data[at + 1];
            if (size - at - 3 < length)
                return std::nullopt;
            at += 3 + length;
            continue;
        }
        static constexpr std::size_t kSizes[4] = {0, 1, 2, 4};
        const std::size_t length = kSizes[prefix & 0x3];
        const unsigned type = (prefix >> 2) & 0x3;
        const unsigned tag = (prefix >> 4) & 0xF;
        if (size - at - 1 < length)
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < length; ++i)
            value |= static_cast<std::uint32_t>(data[at + 1 + i]) << (8 * i);
        at += 1 + length;

        if (type == kTypeMain) {
            anyMainItem = true;
            int kind = -1;
            if (tag == kMainInput)
                kind = kInput;
            else if (tag == kMainOutput)
                kind = kOutput;
            else if (tag == kMainFeature)
                kind = kFeature;
            if (kind >= 0) {
                std::uint64_t& total = bits[kind][globals.reportId];
                total += static_cast<std::uint64_t>(globals.reportSize) * globals.reportCount;
                if (total > kMaxReportBytes * 8)
                    return std::nullopt;
            } else if (tag == kMainCollection) {
                if (layout.collections < 0xFFFF)
                    ++layout.collections;
                if (depth == 0 && value == kCollectionApplication && !applicationFound) {
                    applicationFound = true;
                    const std::uint32_t usage = firstUsage;
                    // A four-byte usage names its page in its high half.
                    layout.usagePage = static_cast<std::uint16_t>(usage > 0xFFFF ? usage >> 16 : globals.usagePage);
                    layout.usage = static_cast<std::uint16_t>(usage & 0xFFFF);
                }
                ++depth;
            } else if (tag == kMainEndCollection) {
                if (depth > 0)
                    --depth;
            }
            firstUsage = 0;  // local items end with their main item
            haveUsage = false;
        } else if (type == kTypeGlobal) {
            switch (tag) {
            case kGlobalUsagePage:
                globals.usagePage = value & 0xFFFF;
                break;
            case kGlobalReportSize:
                if (value > kMaxReportSize)
                    return std::nullopt;
                globals.reportSize = value;
                break;
            case kGlobalReportCount:
                if (value > kMaxReportCount)
                    return std::nullopt;
                globals.reportCount = value;
                break;
            case kGlobalReportId:
                if (value == 0 || value > 255)
                    return std::nullopt;
                globals.reportId = value;
                layout.numbered = true;
                break;
            case kGlobalPush:
                if (pushed.size() >= kMaxPushDepth)
                    return std::nullopt;
                pushed.push_back(globals);
                break;
            case kGlobalPop:
                if (pushed.empty())
                    return std::nullopt;
                globals = pushed.back();
                pushed.pop_back();
                break;
            default:
                break;  // logical and physical ranges, units: not needed
            }
        } else if (type == kTypeLocal) {
            if (tag == kLocalUsage && !haveUsage) {
                firstUsage = length == 4 ? value : value & 0xFFFF;
                haveUsage = true;
            }
        }
        // Type 3 is reserved; such items are skipped.
    }
    if (!anyMainItem)
        return std::nullopt;

    std::uint16_t* const lengths[3] = {&layout.inputReportLength, &layout.outputReportLength,
                                       &layout.featureReportLength};
    for (int kind = 0; kind < 3; ++kind) {
        std::uint64_t longest = 0;
        for (const auto& [id, total] : bits[kind])
            if (total > 0 && (total + 7) / 8 > longest)
                longest = (total + 7) / 8;
        if (longest == 0)
            continue;
        if (longest + 1 > kMaxReportBytes)
            return std::nullopt;
        *lengths[kind] = static_cast<std::uint16_t>(longest + 1);  // + the report-id byte
    }
    return layout;
}

}  // namespace platform
