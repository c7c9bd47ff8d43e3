// The report-descriptor parser: usages and report lengths of real-shaped
// descriptors, and refusal of bytes that are not a descriptor.
#include "hid_sysfs_fixture.h"

#include "../../platform/linux/internal/hid_descriptor.h"

#include <gtest/gtest.h>

namespace {

using vxtest::Bytes;

std::optional<platform::HidReportLayout> parse(const Bytes& bytes)
{
    return platform::parseHidReportDescriptor(bytes.data(), bytes.size());
}

struct LayoutCase {
    const char* name;
    Bytes descriptor;
    std::uint16_t usagePage, usage, input, output, feature;
    bool numbered;
};

TEST(HidDescriptor, UsagesAndReportLengthsIncludeTheIdByte)
{
    const LayoutCase cases[] = {
        {"numbered scanner", vxtest::scannerDescriptor(), 0x8C, 2, 64, 64, 2, true},
        {"vendor page", vxtest::scannerDescriptor(0x8C, 0xFF), 0xFF8C, 2, 64, 64, 2, true},
        {"unnumbered keyboard", vxtest::keyboardDescriptor(), 1, 6, 9, 2, 0, false},
        // A four-byte usage names its own page.
        {"extended usage", {0x0B, 0x02, 0x00, 0x45, 0xFF, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0xC0},
         0xFF45, 2, 5, 0, 0, false},
        // Two input reports: the longer one counts; bits round up to bytes.
        {"longest report",
         {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02,  // 3 bits
          0x85, 0x02, 0x75, 0x08, 0x95, 0x0A, 0x81, 0x02, 0xC0},                              // 10 bytes
         1, 2, 11, 0, 0, true},
        // A long item is skipped whole; the collection after it still counts.
        {"long item", {0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x02,
                       0x81, 0x02, 0xC0},
         0x0C, 1, 3, 0, 0, false},
        // Push and pop keep the report size of the outer level.
        {"push and pop", {0x05, 0x01, 0x09, 0x05, 0xA1, 0x01, 0x75, 0x08, 0xA4, 0x75, 0x10, 0xB4, 0x95, 0x02,
                          0x81, 0x02, 0xC0},
         1, 5, 3, 0, 0, false},
        // The first application collection at the outer level is the one.
        {"second collection ignored",
         {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0xC0, 0x05, 0x8C, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x01,
          0x81, 0x02, 0xC0},
         1, 6, 2, 0, 0, false},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto layout = parse(c.descriptor);
        ASSERT_TRUE(layout.has_value());
        EXPECT_EQ(layout->usagePage, c.usagePage);
        EXPECT_EQ(layout->usage, c.usage);
        EXPECT_EQ(layout->inputReportLength, c.input);
        EXPECT_EQ(layout->outputReportLength, c.output);
        EXPECT_EQ(layout->featureReportLength, c.feature);
        EXPECT_EQ(layout->numbered, c.numbered);
    }
}

TEST(HidDescriptor, BytesThatAreNotADescriptorAreRefused)
{
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"no main item", {0x05, 0x01, 0x09, 0x06}},
        {"item cut short", {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x96, 0x01}},
        {"four-byte item cut short", {0xA1, 0x01, 0x97, 0x01, 0x00, 0x00}},
        {"long item past the end", {0xA1, 0x01, 0xFE, 0x10, 0x00, 0x01}},
        {"report id 0", {0xA1, 0x01, 0x85, 0x00, 0xC0}},
        {"report id above 255", {0xA1, 0x01, 0x86, 0x00, 0x01, 0xC0}},
        {"report size above 256 bits", {0xA1, 0x01, 0x76, 0x01, 0x01, 0xC0}},
        {"report count above 12288", {0xA1, 0x01, 0x96, 0x01, 0x30, 0xC0}},
        {"pop without push", {0xB4, 0xA1, 0x01, 0xC0}},
        // 256 bits x 12288 fields: past the 16-bit report length.
        {"report too long", {0xA1, 0x01, 0x76, 0x00, 0x01, 0x96, 0x00, 0x30, 0x81, 0x02, 0xC0}},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(parse(bytes).has_value());
    }
    EXPECT_FALSE(platform::parseHidReportDescriptor(nullptr, 10).has_value());

    Bytes deepPush(17, 0xA4);
    for (const std::uint8_t byte : {0xA1, 0x01, 0xC0})
        deepPush.push_back(byte);
    EXPECT_FALSE(parse(deepPush).has_value());
}

TEST(HidDescriptor, NeverReadsPastTheBytesItIsGiven)
{
    // Every prefix of a valid descriptor, each in a buffer of exactly its own
    // size (AddressSanitizer catches a read past it).
    const Bytes full = vxtest::scannerDescriptor();
    for (std::size_t size = 0; size <= full.size(); ++size) {
        std::vector<std::uint8_t> exact(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        const auto layout = platform::parseHidReportDescriptor(exact.data(), exact.size());
        if (size == full.size()) {
            EXPECT_TRUE(layout.has_value());
        }
    }
}

}  // namespace
