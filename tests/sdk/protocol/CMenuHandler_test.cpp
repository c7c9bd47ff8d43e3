// The menu transport against the bytes on the wire, and the reply cache.
#include "FakePort.h"

#include "TestSupport.h"

#include "ports/CSerialPort.h"
#include "protocol/CMenuHandler.h"
#include "protocol/CMenuMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <cstring>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

PORTINFO portInfoFor(InterfacePort* port, int readCount = 3)
{
    PORTINFO info;
    std::memset(&info, 0, sizeof info);
    info.port = port;
    info.readDelay = 0;
    info.readCount = readCount;
    return info;
}

TEST(CMenuHandlerFrame, CommandsAddressesHeadersAndEndingsGiveTheseBytes)
{
    struct Case {
        int frameKind;
        int storageKind;
        std::string address;
        std::string wire;
    } cases[] = {
        {0, 1, "2", "\x16M\r:2:SERNUM?."},
        {0, 0, "", "\x16M\rSERNUM?!"},
        {1, 2, "", "\x16Y\rSERNUM?@"},
        {2, 3, "", "SERNUM?"},
        {7, 9, "12", ":12:SERNUM?"},
    };
    for (const Case& c : cases) {
        FakePort port;
        port.onWrite = [&](const std::string&) { port.push("SERNUM?42\x06."); };
        PORTINFO info = portInfoFor(&port);
        CMenuHandler handler(&info);
        MenuResponse response;
        ASSERT_TRUE(handler.sendMenu(MenuCommand{"SERNUM?", &response, c.frameKind, c.storageKind, c.address, ""}));
        EXPECT_EQ(port.written(), c.wire) << c.frameKind << "/" << c.storageKind;
        EXPECT_EQ(response.text, "SERNUM?42\x06.");
        EXPECT_EQ(response.status, 6);
    }
}

TEST(CMenuHandlerFrame, LongestFramesAreWrittenWholeByTheirLength)
{
    FakePort port;
    PORTINFO info = portInfoFor(&port, 0);
    CMenuHandler handler(&info);
    MenuResponse response;
    const std::string menu(253, 'm');
    const std::string address(253, 'a');
    ASSERT_TRUE(handler.sendMenu(MenuCommand{menu, &response, 0, 1, address, ""}));
    const std::string expected = "\x16M\r:" + address + ":" + menu + ".";
    EXPECT_EQ(port.written(), expected);
    // Written in 32-byte pieces, the last one shorter.
    const auto writes = port.writes();
    ASSERT_EQ(writes.size(), (expected.size() + 31) / 32);
    EXPECT_EQ(writes.front().size(), 32u);

    // The record form takes full 256-character fields without terminators.
    FakePort port2;
    PORTINFO info2 = portInfoFor(&port2, 0);
    CMenuHandler handler2(&info2);
    MenuCommandRecord record;
    record.frameKind = 1;
    record.storageKind = 2;
    std::memset(record.menu, 'M', sizeof record.menu);
    std::memset(record.address, 'A', sizeof record.address);
    record.response = &response;
    ASSERT_TRUE(handler2.sendMenu(record));
    EXPECT_EQ(port2.written(), "\x16Y\r:" + std::string(256, 'A') + ":" + std::string(256, 'M') + "@");
}

TEST(CMenuHandlerFrame, OverlongMenuOrAddressIsRefusedWithNothingWritten)
{
    FakePort port;
    PORTINFO info = portInfoFor(&port, 0);
    CMenuHandler handler(&info);
    MenuResponse response;
    EXPECT_FALSE(handler.sendMenu(MenuCommand{std::string(254, 'm'), &response, 0, 0, "", ""}));
    EXPECT_EQ(response.status, 49);
    EXPECT_FALSE(handler.sendMenu(MenuCommand{"M", &response, 0, 0, std::string(254, 'a'), ""}));
    EXPECT_EQ(response.status, 48);
    EXPECT_TRUE(port.writes().empty());

    PORTINFO none = portInfoFor(nullptr);
    CMenuHandler orphan(&none);
    EXPECT_FALSE(orphan.sendMenu(MenuCommand{"M", &response, 0, 0, "", ""}));
    EXPECT_EQ(response.status, -1);
}

// A reply is complete with a status byte and a mark. The device-mode query
// (sent as it is, with "APP" as its expected text) is answered "APP" or
// "BOOT" without either: its wait ends once one of those words is whole,
// however the reply was cut, and otherwise when the read budget is spent.
TEST(CMenuHandlerReply, RepliesAreGatheredAndClassified)
{
    const MenuCommand revision{"REV_SW?", nullptr, 0, 0, "", ""};
    const MenuCommand deviceMode{"\x16n,DEVICETYPE\r", nullptr, 2, 3, "", "APP"};
    // A scanner that is scanning sends its labels around the reply.
    const std::string label = synPacket(barcodePayload("0123456789012"));
    struct Case {
        const MenuCommand& command;
        std::vector<std::string> pieces;
        std::string text;
        int status;
        bool restLeft = false;  // pieces after the reply stay unread
    } cases[] = {
        {revision, {"REV", "_SW?1.2", "\x06."}, "REV_SW?1.2\x06.", 6},
        {revision, {"X\x15!"}, "X\x15!", 21},
        {revision, {"X\x05@"}, "X\x05@", 5},
        {revision, {"AB"}, "AB", -1},
        {revision, {"ABC"}, "ABC", 0},
        {revision, {}, "", -1},
        {deviceMode, {"B", "O", "O", "T", "more"}, "BOOT", 0, true},
        {deviceMode, {"BOO", "T", "more"}, "BOOT", 0, true},
        {deviceMode, {"A", "P", "P", "more"}, "APP", 0, true},
        {deviceMode, {"bo", "ot", "more"}, "boot", 0, true},
        {deviceMode, {"\r\n", "APP", "more"}, "\r\nAPP", 0, true},
        {deviceMode, {"XY", "Z"}, "XYZ", 0},  // no mode word: read until the budget ends
        {revision, {label, "REV_SW?1.2\x06."}, "REV_SW?1.2\x06.", 6},
        {revision, {"REV_SW?", label + "1.2", "\x06."}, "REV_SW?1.2\x06.", 6},
        {revision, {"REV_SW?1.2\x06." + label}, "REV_SW?1.2\x06.", 6},
        {revision, {label.substr(0, 3), label.substr(3) + "OK\x06", "."}, "OK\x06.", 6},
        {deviceMode, {label, "AP", label, "P", "more"}, "APP", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        FakePort port;
        port.onWrite = [&](const std::string&) {
            for (const auto& piece : c.pieces) port.push(piece);
        };
        PORTINFO info = portInfoFor(&port, 3);
        CMenuHandler handler(&info);
        MenuResponse response;
        MenuCommand command = c.command;
        command.response = &response;
        ASSERT_TRUE(handler.sendMenu(command));
        EXPECT_EQ(port.written(), CMenuHandler::buildFrame(command.frameKind, command.storageKind, command.menu, ""));
        EXPECT_EQ(response.text, c.text);
        EXPECT_EQ(response.status, c.status);
        EXPECT_EQ(port.drained(), !c.restLeft);
    }
}

// A serial port whose reads hand over the scripted chunks, answering the
// first write (the command) with them.
class ScriptedSerialPort : public CSerialPort {
public:
    bool isOpened() override { return true; }
    int flush() override { return 0; }
    int write(const unsigned char* buffer, int length, unsigned int* count) override
    {
        written.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
        if (count != nullptr) {
            *count = static_cast<unsigned int>(length);
        }
        pending.insert(pending.end(), answer.begin(), answer.end());
        answer.clear();
        return 0;
    }
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        *count = 0;
        if (pending.empty()) {
            return 0;
        }
        const std::string chunk = pending.front();
        pending.pop_front();
        const std::size_t n = std::min(chunk.size(), static_cast<std::size_t>(size));
        std::memcpy(buffer, chunk.data(), n);
        *count = static_cast<unsigned int>(n);
        return 0;
    }
    std::vector<std::string> answer;
    std::deque<std::string> pending;
    std::string written;
};

// On a serial port a label and the reply may come in one read: the label's
// zero bytes must not cut the reply off.
TEST(CMenuHandlerReply, AReplyBehindALabelInOneSerialReadIsKept)
{
    const std::string label = synPacket(barcodePayload("0123456789012"));
    ASSERT_NE(label.find('\0'), std::string::npos);
    ScriptedSerialPort port;
    port.answer = {label + "REV_SW?1.2\x06." + label};
    PORTINFO info = portInfoFor(&port, 3);
    CMenuHandler handler(&info);
    MenuResponse response;
    MenuCommand command{"REV_SW?", &response, 0, 0, "", ""};
    ASSERT_TRUE(handler.sendMenu(command));
    EXPECT_EQ(response.text, "REV_SW?1.2\x06.");
    EXPECT_EQ(response.status, 6);
}

// A scanner that keeps scanning but never answers the query: its labels are
// no reply, so they do not renew the wait, which ends with the budget.
TEST(CMenuHandlerReply, LabelsAloneDoNotKeepAnUnansweredQueryWaiting)
{
    struct ScanningPort : FakePort {
        std::string label = synPacket(barcodePayload("0123456789012"));
        int reads = 0;
        int read(std::string& text) override
        {
            ++reads;
            text.clear();
            if (reads > 1000) {
                return 1167;  // a wait that never ends is cut here, and fails below
            }
            if (reads % 2 == 1) {
                text = label;
            }
            return 0;
        }
        using FakePort::read;
    } port;
    PORTINFO info = portInfoFor(&port, 5);
    CMenuHandler handler(&info);
    MenuResponse response;
    ASSERT_TRUE(handler.sendMenu(MenuCommand{"Q", &response, 0, 0, "", ""}));
    EXPECT_EQ(response.status, -1);
    EXPECT_EQ(response.text, "");
    EXPECT_LT(port.reads, 100);
}

TEST(CMenuHandlerReply, SilentDeviceIsReadTwiceTheReadCountAndAGoneOneEndsTheWait)
{
    struct CountingPort : FakePort {
        int reads = 0;
        int read(std::string& text) override
        {
            ++reads;
            return FakePort::read(text);
        }
        using FakePort::read;
    };
    for (int readCount : {0, 1, 2, 5}) {
        CountingPort port;
        PORTINFO info = portInfoFor(&port, readCount);
        CMenuHandler handler(&info);
        MenuResponse response;
        ASSERT_TRUE(handler.sendMenu(MenuCommand{"Q", &response, 0, 0, "", ""}));
        const int expected = readCount == 0 ? 1 : (readCount == 1 ? 2 : 2 * readCount);
        EXPECT_EQ(port.reads, expected) << "read count " << readCount;
    }
    CountingPort gone;
    gone.gone = true;
    PORTINFO info = portInfoFor(&gone, 5);
    CMenuHandler handler(&info);
    MenuResponse response;
    EXPECT_FALSE(handler.sendMenu(MenuCommand{"Q", &response, 0, 0, "", ""}));  // the write fails
    EXPECT_EQ(info.errorCode, 1167);
}

TEST(CMenuHandlerWrite, ByteByByteWritesEachByteAndStopsAtTheFirstFailure)
{
    FakePort port;
    PORTINFO info = portInfoFor(&port, 0);
    info.writeByteByByte = 1;
    CMenuHandler handler(&info);
    MenuResponse response;
    ASSERT_TRUE(handler.sendMenu(MenuCommand{"BEPLVL2", &response, 0, 0, "", ""}));
    const std::string frame = "\x16M\rBEPLVL2!";
    EXPECT_EQ(port.written(), frame);
    EXPECT_EQ(port.writes().size(), frame.size());

    // The third byte fails: no retry, nothing after it.
    FakePort failing;
    int writes = 0;
    failing.onWrite = [&](const std::string&) {
        if (++writes == 2) failing.writeResult = 31;
    };
    PORTINFO info2 = portInfoFor(&failing, 0);
    info2.writeByteByByte = 1;
    CMenuHandler handler2(&info2);
    EXPECT_FALSE(handler2.sendMenu(MenuCommand{"BEPLVL2", &response, 0, 0, "", ""}));
    EXPECT_EQ(failing.written(), "\x16M");
    EXPECT_EQ(info2.errorCode, 31);
    EXPECT_EQ(response.status, -1);
}

TEST(CMenuHandlerWrite, AFailedPieceIsRetriedAfterAFlushFiveTimesAtMost)
{
    struct Case {
        int failures;
        bool sent;
        int flushes;  // one before the frame, one before each retry
    } cases[] = {{0, true, 1}, {2, true, 3}, {5, true, 6}, {6, false, 6}};
    for (const Case& c : cases) {
        FakePort port;
        port.failingWrites = c.failures;
        port.onWrite = [&](const std::string&) { port.push("BEPLVL2\x06!"); };
        PORTINFO info = portInfoFor(&port, 3);
        CMenuHandler handler(&info);
        MenuResponse response;
        EXPECT_EQ(handler.sendMenu(MenuCommand{"BEPLVL2", &response, 0, 0, "", ""}), c.sent) << c.failures;
        EXPECT_EQ(port.flushes(), c.flushes) << c.failures;
        EXPECT_EQ(port.written(), c.sent ? "\x16M\rBEPLVL2!" : "") << c.failures;
        EXPECT_EQ(response.status, c.sent ? 6 : -1) << c.failures;
    }

    // Preparation data that cannot be written is not fatal.
    FakePort port;
    port.failingWrites = 6;
    PORTINFO info = portInfoFor(&port, 0);
    std::memcpy(info.prepareData, "\x11", 2);
    CMenuHandler handler(&info);
    MenuResponse response;
    EXPECT_TRUE(handler.sendMenu(MenuCommand{"Q", &response, 2, 3, "", ""}));
    EXPECT_EQ(port.written(), "Q\x11");
}

TEST(CMenuHandlerStop, CancelAndBudgetEndTheWritesOrTheWait)
{
    // Cancelled before anything is written.
    {
        FakePort port;
        PORTINFO info = portInfoFor(&port, 3);
        CMenuHandler handler(&info);
        unsigned char cancel = 1;
        handler.setCancelFlag(&cancel);
        MenuResponse response;
        EXPECT_FALSE(handler.sendMenu(MenuCommand{"Q", &response, 0, 0, "", ""}));
        EXPECT_TRUE(port.writes().empty());
    }
    // Cancelled between two bytes of a byte-by-byte write.
    {
        FakePort port;
        PORTINFO info = portInfoFor(&port, 3);
        info.writeByteByByte = 1;
        CMenuHandler handler(&info);
        unsigned char cancel = 0;
        handler.setCancelFlag(&cancel);
        port.onWrite = [&](const std::string&) { cancel = 1; };
        MenuResponse response;
        EXPECT_FALSE(handler.sendMenu(MenuCommand{"Q", &response, 0, 0, "", ""}));
        EXPECT_EQ(port.written(), "\x16");
    }
    // Cancelled while a failed write waits for its retry: no retry follows,
    // for the preparation data as for the frame.
    for (const char* prepare : {"\x11", ""}) {
        struct CancellingPort : FakePort {
            unsigned char cancel = 0;
            int write(const unsigned char* buffer, int length, unsigned int* count) override
            {
                const int result = FakePort::write(buffer, length, count);
                if (result != 0) cancel = 1;
                return result;
            }
        } port;
        port.failingWrites = 6;
        PORTINFO info = portInfoFor(&port, 3);
        std::memcpy(info.prepareData, prepare, std::strlen(prepare) + 1);
        CMenuHandler handler(&info);
        handler.setCancelFlag(&port.cancel);
        MenuResponse response;
        EXPECT_FALSE(handler.sendMenu(MenuCommand{"Q", &response, 0, 0, "", ""}));
        EXPECT_EQ(port.failingWrites.load(), 5) << "one attempt only";
        EXPECT_EQ(port.flushes(), 1);
        EXPECT_TRUE(port.writes().empty());
    }
    // The budget ends the wait for a reply that never comes: the command
    // went out, so it reports true with no reply.
    {
        struct CountingPort : FakePort {
            std::atomic<int> reads{0};
            int read(std::string& text) override
            {
                ++reads;
                return FakePort::read(text);
            }
            using FakePort::read;
        } port;
        PORTINFO info = portInfoFor(&port, 100000);
        info.readDelay = 1;
        CMenuHandler handler(&info);
        handler.setTimeout(50);
        MenuResponse response;
        EXPECT_TRUE(handler.sendMenu(MenuCommand{"Q", &response, 0, 0, "", ""}));
        EXPECT_EQ(response.status, -1);
        EXPECT_LT(port.reads.load(), 100000);
        EXPECT_EQ(port.written(), "\x16M\rQ!");
    }
}

// A cancel or a spent budget during the reply wait ends it. Behind it the
// preparation data cannot go out any more, so the command answers false,
// but the reply that arrived and its status stay stored.
TEST(CMenuHandlerStop, AStopDuringTheReplyWaitKeepsWhatArrived)
{
    struct StoppingPort : FakePort {
        unsigned char cancel = 0;
        int stopAtRead = 0;  // the read that sets the cancel flag (1 = first)
        int slowRead = 0;    // the read that takes longer than the budget
        int reads = 0;
        int read(std::string& text) override
        {
            ++reads;
            if (reads == slowRead) std::this_thread::sleep_for(std::chrono::milliseconds(400));
            const int result = FakePort::read(text);
            if (reads == stopAtRead) cancel = 1;
            return result;
        }
        using FakePort::read;
    };
    struct Case {
        const char* name;
        std::string reply;
        int stopAtRead;
        int slowRead;
        int status;
    } cases[] = {
        // An unterminated reply, then a cancel while the wait goes on: the
        // preparation data is due again and cannot be sent.
        {"cancel after a partial reply", "REV_SW?1.2", 2, 0, 0},
        {"budget spent after a partial reply", "REV_SW?1.2", 0, 2, 0},
        // A whole reply read as the cancel comes.
        {"cancel with the whole reply", "REV_SW?1.2\x06.", 1, 0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoppingPort port;
        port.stopAtRead = c.stopAtRead;
        port.slowRead = c.slowRead;
        bool answered = false;
        port.onWrite = [&](const std::string& bytes) {
            if (!answered && bytes.find("REV_SW?") != std::string::npos) {
                answered = true;
                port.push(c.reply);
            }
        };
        PORTINFO info = portInfoFor(&port, 2);
        std::memcpy(info.prepareData, "\x11", 2);
        CMenuHandler handler(&info);
        handler.setCancelFlag(&port.cancel);
        if (c.slowRead != 0) handler.setTimeout(200);
        MenuResponse response;
        EXPECT_FALSE(handler.sendMenu(MenuCommand{"REV_SW?", &response, 0, 0, "", ""}));
        EXPECT_EQ(response.text, c.reply);
        EXPECT_EQ(response.status, c.status);
    }
}

TEST(CMenuHandlerReply, CleanupRemovesTheEchoStatusAndMark)
{
    struct Case {
        std::string menu;
        std::string reply;
        bool cut;
        std::string expected;
    } cases[] = {
        {"ABCDEFGH", "xyabcdefGH42\x06.", false, "xyGH42"},
        {"ABCDEFGH", "xyabcdefGH42\x06.", true, "GH42"},
        {"SERNUM?;REV_SW?", "SERNUM?;REV_SW?1\x06.", true, "1"},
        {"", "keep\x06.", true, "keep\x06."},
    };
    for (const Case& c : cases) {
        std::string reply = c.reply;
        CMenuHandler::cleanupMenuResponse(reply, c.menu, c.cut);
        EXPECT_EQ(reply, c.expected) << c.menu;
    }
}

TEST(CMenuMemory, KeepsTheFirstReplyPerCommandAndRefusesLongKeys)
{
    CMenuMemory cache;
    MenuResponse out{"unchanged", 99};
    EXPECT_FALSE(cache.find("P_NAME?", &out, "", 0, 0));
    EXPECT_EQ(out.text, "unchanged");

    ASSERT_TRUE(cache.store("P_NAME?", {"first", 6}, "", 0, 0));
    ASSERT_TRUE(cache.store("P_NAME?", {"second", 21}, "", 0, 0));
    ASSERT_TRUE(cache.find("P_NAME?", &out, "", 0, 0));
    EXPECT_EQ(out.text, "first");
    EXPECT_EQ(out.status, 6);

    ASSERT_TRUE(cache.store("P_NAME?", {"hub12", 6}, "12", 0, 0));
    for (auto [address, frame, storage] : {std::tuple{"", 1, 0}, {"", 0, 1}, {"1", 0, 0}, {"123", 0, 0}}) {
        EXPECT_FALSE(cache.find("P_NAME?", &out, address, frame, storage)) << address << frame << storage;
    }
    ASSERT_TRUE(cache.find("P_NAME?", &out, "12", 0, 0));
    EXPECT_EQ(out.text, "hub12");

    const std::string menu63(63, 'm');
    const std::string menu64(64, 'm');
    EXPECT_TRUE(cache.store(menu63, {"ok", 6}, "", 0, 0));
    EXPECT_TRUE(cache.find(menu63, &out, "", 0, 0));
    EXPECT_FALSE(cache.store(menu64, {"no", 6}, "", 0, 0));
    EXPECT_FALSE(cache.find(menu64, &out, "", 0, 0));
    EXPECT_FALSE(cache.store("M", {"no", 6}, std::string(64, 'a'), 0, 0));
    EXPECT_FALSE(cache.find("M", &out, std::string(64, 'a'), 0, 0));

    CMenuMemory copy;
    copy = cache;
    EXPECT_TRUE(copy.find("P_NAME?", &out, "12", 0, 0));
}

}  // namespace
