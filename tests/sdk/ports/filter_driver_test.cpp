// The filter-driver client against the simulated driver of a filter-driver
// port, and against ports without the driver.
#include "SerialSimulatorFixture.h"
#include "TestSupport.h"

#include "ports/CFilterDriver.h"
#include "ports/CSerialPort.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using vxtest::serialModel;
using vxtest::SimulatedSerialScanner;

const std::vector<unsigned char> kGuid = {0xf8, 0xd1, 0x4d, 0x5b, 0x57, 0x1e, 0xa1, 0x4d,
                                          0x80, 0xdc, 0x9b, 0x96, 0x3b, 0x5d, 0x95, 0x9e};

// GUID, size, then `tail`.
std::vector<unsigned char> record(std::uint32_t size, std::vector<unsigned char> tail)
{
    std::vector<unsigned char> r = kGuid;
    for (int i = 0; i < 4; ++i)
        r.push_back(static_cast<unsigned char>(size >> (8 * i)));
    r.insert(r.end(), tail.begin(), tail.end());
    return r;
}

std::vector<unsigned char> valueRecord(std::uint32_t value)
{
    return record(24, {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                       static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)});
}

class FilterDriver : public ::testing::Test {
protected:
    explicit FilterDriver(vxsim::SerialModel model = serialModel("filter-rs232")) : scanner(std::move(model)) {}
    void SetUp() override { ASSERT_EQ(port.open(scanner.path()), 0); }
    HANDLE handle() { return port.getHandle(); }

    SimulatedSerialScanner scanner;
    CSerialPort port;
};

TEST_F(FilterDriver, ResetTransTimeoutLeavesSetsAndReentersInThatOrder)
{
    ASSERT_TRUE(CFilterDriver::resetTransTimeout(handle(), 20000));
    const auto requests = scanner->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].code, 0x8023A004u);
    EXPECT_EQ(requests[0].input, valueRecord(0));
    EXPECT_EQ(requests[1].code, 0x8023A008u);
    EXPECT_EQ(requests[2].code, 0x8023A00Cu);
    ASSERT_EQ(requests[1].input.size(), 32u);
    EXPECT_EQ(requests[1].input, requests[2].input);
    EXPECT_EQ(std::vector<unsigned char>(requests[1].input.begin(), requests[1].input.begin() + 20),
              record(32, {}));
    // 20000 = 0x4E20 as a 64-bit value in bytes 24-31.
    EXPECT_EQ(std::vector<unsigned char>(requests[1].input.begin() + 24, requests[1].input.end()),
              (std::vector<unsigned char>{0x20, 0x4E, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(requests[3].code, 0x8023A004u);
    EXPECT_EQ(requests[3].input, valueRecord(1));

    const auto state = scanner->filterDriverState();
    EXPECT_EQ(state.transactionTimeout, 20000u);
    EXPECT_TRUE(state.transactionMode);
    EXPECT_TRUE(CFilterDriver::isInTransMode(handle()));
}

TEST_F(FilterDriver, TheTimeoutIsTheArgumentZeroExtended)
{
    ASSERT_TRUE(CFilterDriver::setTransTimeOut(handle(), -1));
    EXPECT_EQ(scanner->filterDriverState().transactionTimeout, 0xFFFFFFFFull);
}

struct FailingStep {
    std::uint32_t failing;
    std::vector<std::uint32_t> sent;
};

TEST_F(FilterDriver, AFailingRequestStopsTheSequence)
{
    const FailingStep steps[] = {
        {0x8023A004, {0x8023A004}},
        {0x8023A008, {0x8023A004, 0x8023A008}},
        {0x8023A00C, {0x8023A004, 0x8023A008, 0x8023A00C}},
    };
    for (const FailingStep& step : steps) {
        SCOPED_TRACE(std::to_string(step.failing));
        scanner.device().unplug();
        SimulatedSerialScanner fresh(serialModel("filter-rs232"), "fresh" + std::to_string(step.failing));
        CSerialPort freshPort;
        ASSERT_EQ(freshPort.open(fresh.path()), 0);
        fresh->failRequest(step.failing);
        EXPECT_FALSE(CFilterDriver::resetTransTimeout(freshPort.getHandle(), 40000));
        std::vector<std::uint32_t> sent;
        for (const auto& r : fresh->requests())
            sent.push_back(r.code);
        EXPECT_EQ(sent, step.sent);
        EXPECT_FALSE(fresh->filterDriverState().transactionMode);
    }
}

TEST_F(FilterDriver, WrapperAndTransactionModeRoundTrip)
{
    EXPECT_FALSE(CFilterDriver::isWrapper(handle()));
    EXPECT_TRUE(CFilterDriver::setWrapper(handle(), true));
    EXPECT_TRUE(CFilterDriver::isWrapper(handle()));
    EXPECT_TRUE(CFilterDriver::setWrapper(handle(), false));
    EXPECT_FALSE(CFilterDriver::isWrapper(handle()));

    EXPECT_FALSE(CFilterDriver::isInTransMode(handle()));
    EXPECT_TRUE(CFilterDriver::setTransMode(handle(), 1));
    EXPECT_TRUE(CFilterDriver::isInTransMode(handle()));
    const auto requests = scanner->requests();
    EXPECT_EQ(requests.back().code, 0x8022200Cu);
    EXPECT_EQ(requests.back().input, valueRecord(0));
    EXPECT_EQ(requests.back().outputSize, 24u);
}

TEST_F(FilterDriver, PortNamesAreReadFromTheirOffsets)
{
    EXPECT_EQ(CFilterDriver::getOrigPortString(handle()), "\\\\.\\COM9");
    EXPECT_EQ(CFilterDriver::getFDLOBPortString(handle()), "\\\\.\\COM9");
    const auto requests = scanner->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].code, 0x80232018u);
    EXPECT_EQ(requests[0].outputSize, 520u);
    EXPECT_TRUE(requests[0].input.empty());
    EXPECT_EQ(requests[1].code, 0x8023201Cu);
    EXPECT_EQ(requests[1].outputSize, 2560u);
}

class FilterDriverTexts : public FilterDriver {
protected:
    static vxsim::SerialModel model()
    {
        auto m = serialModel("filter-rs232");
        // Longer than the answer buffers hold: the driver's text has no NUL
        // inside them.
        m.filterDriver.originalPort = std::string(300, 'A') + "tail";
        m.filterDriver.lobPort = "";
        return m;
    }
    FilterDriverTexts() : FilterDriver(model()) {}
};

TEST_F(FilterDriverTexts, ATextIsReadUpToItsNulOrTheEndOfTheBufferNeverBeyond)
{
    // 520 bytes from offset 4: 258 UTF-16 units.
    EXPECT_EQ(CFilterDriver::getOrigPortString(handle()), std::string(258, 'A'));
    // A NUL at the start of the text gives an empty string.
    EXPECT_EQ(CFilterDriver::getFDLOBPortString(handle()), "");
}

class NoFilterDriver : public FilterDriver {
protected:
    NoFilterDriver() : FilterDriver(serialModel("rs232")) {}
};

TEST_F(NoFilterDriver, EveryRequestFailsOnAPortWithoutTheDriver)
{
    EXPECT_FALSE(CFilterDriver::isInTransMode(handle()));
    EXPECT_FALSE(CFilterDriver::isWrapper(handle()));
    EXPECT_FALSE(CFilterDriver::setTransMode(handle(), 1));
    EXPECT_FALSE(CFilterDriver::setTransTimeOut(handle(), 100));
    EXPECT_FALSE(CFilterDriver::setWrapper(handle(), true));
    EXPECT_FALSE(CFilterDriver::resetTransTimeout(handle(), 100));
    EXPECT_EQ(CFilterDriver::getOrigPortString(handle()), "");
    EXPECT_EQ(CFilterDriver::getFDLOBPortString(handle()), "");
    // The time-out's second request never went out.
    for (const auto& r : scanner->requests())
        EXPECT_NE(r.code, 0x8023A00Cu);

    // A closed handle, too.
    EXPECT_FALSE(CFilterDriver::isInTransMode(nullptr));
    EXPECT_EQ(CFilterDriver::getOrigPortString(nullptr), "");

    CFilterDriver lookup;
    EXPECT_EQ(lookup.getFDQoxPort("COM3"), "");
}

}  // namespace
