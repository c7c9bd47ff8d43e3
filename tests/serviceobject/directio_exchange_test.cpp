// DirectIO 18 against a simulated scanner, where the host's text meets the
// menu exchange: a command longer than a menu frame carries is refused
// before it reaches the line, a wait for another exchange uses up the same
// CommandTimeOut as the reply does, and the answer is the caller's string
// whole, without what the string held before.
#include "ScannerHost.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace sotest;

namespace {

const std::string kMenu = "\x16M\r";

class DirectIOExchange : public ScannerHostTest, public ::testing::WithParamInterface<Wire> {};
using DirectIOWait = ScannerHostTest;

// DirectIO 19: the command time-out in milliseconds.
void setTimeout(const std::string& ms)
{
    BSTR value = platform::bstrFromAnsi(ms);
    long n = 0;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO(19, &n, &value), 0);
    SysFreeString(value);
}

TEST_P(DirectIOExchange, ACommandLongerThanAMenuFrameCarriesIsRefusedUnsent)
{
    plug(GetParam());
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(5000), 0);
    struct Case {
        std::string text;
        long result;
        bool sent;
    };
    const std::string longest(253 - 6, 'A');  // a menu of 253 characters
    const Case cases[] = {
        {"BEPLVL" + std::string(100000, '2'), 106, false},
        {"BEPLVL" + longest + "A", 106, false},  // 254
        {":" + std::string(254, '1') + ":BEPLVL?", 106, false},
        {"BEPLVL" + longest, 0, true},
        {":" + std::string(253, '1') + ":BEPLVL?", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        const std::size_t from = wire().size();
        BSTR string = platform::bstrFromAnsi(c.text);
        long count = 16;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CScannerWrapper::ScannerDirectIO(18, &count, &string), c.result);
        if (c.sent) {
            EXPECT_TRUE(waitForWire(kMenu + c.text + ".", from));
        } else {
            EXPECT_EQ(wire().size(), from);
            EXPECT_EQ(number(6), 106);
            // Refused at once, not after the line has been busy with it.
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        }
        SysFreeString(string);
    }
    // The exchange is free for the next command.
    BSTR string = platform::bstrFromAnsi("BEPLVL?");
    long count = 64;
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO(18, &count, &string), 0);
    SysFreeString(string);
}

// Another exchange holds the line past this caller's CommandTimeOut: the
// caller gets 112 once its time-out is spent, counted from its call, and
// its command is never sent, not even when the line frees up later.
TEST_F(DirectIOWait, WaitingForAnotherExchangeCountsAgainstTheTimeOutOnce)
{
    plug(Wire::serial, [](vxsim::MenuModel& menu) { menu.rules.push_back(quietRule("SLOWCM")); });
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(5000), 0);
    // The caller's CommandTimeOut; the holder's exchange has 30 s of its own.
    constexpr long kTimeoutMs = 3000;
    setTimeout(std::to_string(kTimeoutMs));

    int first = -1;
    std::string firstReply;
    std::thread holder([&] { first = mgr().SendCmdToDevice("SLOWCM.", &firstReply, 30000, 0); });
    ASSERT_TRUE(waitForWire(kMenu + "SLOWCM."));
    const std::size_t from = wire().size();
    std::atomic<bool> done{false};
    long second = -1;
    std::chrono::steady_clock::duration took{};
    std::thread waiter([&] {
        BSTR text = platform::bstrFromAnsi("BEPLVL?");
        long count = 64;
        const auto start = std::chrono::steady_clock::now();
        second = CScannerWrapper::ScannerDirectIO(18, &count, &text);
        took = std::chrono::steady_clock::now() - start;
        SysFreeString(text);
        done = true;
    });
    ASSERT_TRUE(vxtest::waitUntil([&] { return mgr().ExchangesWaiting() == 1; }));
    const bool ended = vxtest::waitUntil([&] { return done.load(); }, std::chrono::seconds(30));
    // Only now does the holder's exchange end.
    m_serial.back()->send({'S', 'L', 'O', 'W', 'C', 'M', 0x06, '.'});
    holder.join();
    waiter.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(second, 112);
    EXPECT_GE(took, std::chrono::milliseconds(kTimeoutMs - 100));
    // One time-out, not one for each wait (a scheduler's delay is allowed
    // for; a second wait would take as long again).
    EXPECT_LT(took, std::chrono::milliseconds(2 * kTimeoutMs));
    EXPECT_EQ(first, 0) << firstReply;
    EXPECT_EQ(wire().find("BEPLVL", from), std::string::npos);
    EXPECT_EQ(mgr().ExchangesWaiting(), 0);
}

// The answer becomes the caller's string: a string that held more (the
// command in a buffer with room, something after the NUL) keeps no tail.
TEST_P(DirectIOExchange, TheAnswerIsTheWholeStringWithNoTailOfTheOldOne)
{
    plug(GetParam(), [](vxsim::MenuModel& menu) {
        vxsim::MenuRule version;
        version.command = "REV_SW";
        version.value = "SW-100";
        menu.rules.push_back(version);
    });
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(5000), 0);
    const std::string answer = "REV_SWSW-100\x06.";

    BSTR text = SysAllocStringLen(nullptr, 64);
    std::fill(text, text + 64, u'e');
    std::copy_n(u"REV_SW\0", 7, text);
    long count = 64;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO(18, &count, &text), 0);
    EXPECT_EQ(count, static_cast<long>(answer.size()));
    EXPECT_EQ(SysStringLen(text), answer.size());
    EXPECT_EQ(platform::ansiFromBstr(text), answer);
    SysFreeString(text);

    // Cut to *pData: the string is that long too.
    text = platform::bstrFromAnsi("REV_SW              ");
    count = 4;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO(18, &count, &text), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(SysStringLen(text), 4u);
    EXPECT_EQ(platform::ansiFromBstr(text), "REV_");
    SysFreeString(text);
}

INSTANTIATE_TEST_SUITE_P(Wires, DirectIOExchange, ::testing::Values(Wire::serial, Wire::hid), wireName);

}  // namespace
