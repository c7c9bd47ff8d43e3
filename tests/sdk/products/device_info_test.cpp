// The information queries, the status checker and the information filler
// against a scripted scanner on an in-memory port.
#include "ScriptedDevice.h"

#include "base/CancelFlag.h"
#include "discovery/CDevice.h"
#include "discovery/CUsbHidDevice.h"
#include "ports/CSerialPort.h"
#include "products/CProduct.h"
#include "protocol/CDeviceInfoFetcher.h"
#include "protocol/CDeviceInfoFiller.h"
#include "protocol/CDeviceStatusChecker.h"
#include "protocol/CMenuMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace scripted;

PORTINFO portInfoFor(InterfacePort* port, int readCount = 2)
{
    PORTINFO info;
    std::memset(&info, 0, sizeof info);
    info.port = port;
    info.readCount = readCount;
    return info;
}

// ---- fetcher ----------------------------------------------------------------

TEST(DeviceInfoFetcher, SingleQueriesReadTheValueOfAnAckReply)
{
    ScriptedDevice device;
    device.replies = {
        {"Y:P_NAME?", ack("P_NAME", "VX-1200")},
        {"M:P_NAME?", nak("P_NAME")},
        {"M:P_NAME", ack("P_NAME", "Area imager")},
        {"SERNUM?", ack("SERNUM", "S123")},
        {"TERMID?", ack("TERMID", "0124")},
        {"REV_WA?", ack("REV_WA", "WA-7")},
        {"REV_SW?", ack("REV_SW", "SW-8")},
        {"REV_TD?", ack("REV_TD", "12:30:00 Feb  3 2001")},
        {"232BAD?", ack("232BAD", "5")},
        {"232WRD?", ack("232WRD", "2")},
        {"DLYCHR?", ack("DLYCHR", "x")},
        {"USBCTS?", nak("USBCTS")},
    };
    PORTINFO info = portInfoFor(&device);
    CDeviceInfoFetcher fetcher(&info, nullptr);
    EXPECT_EQ(fetcher.getProductName(""), "VX-1200");
    EXPECT_EQ(fetcher.getProductDescription(""), "Area imager");  // NAK, then the query without '?'
    EXPECT_EQ(fetcher.getSerialNum(""), "S123");
    EXPECT_EQ(fetcher.getTerminalID(""), 124);
    EXPECT_EQ(fetcher.getAppSoftwarePartNumberREVWA(""), "WA-7");
    EXPECT_EQ(fetcher.getAppVersionREVSW(""), "SW-8");
    EXPECT_EQ(fetcher.getFirmwareBuildDate(""), "Feb 3 2001");
    EXPECT_EQ(fetcher.getFirmwareBuildTime(""), "12:30:00");
    EXPECT_EQ(fetcher.get232BaudRate(), 9600);
    EXPECT_EQ(fetcher.get232DpsSetting(), 2);
    EXPECT_EQ(fetcher.get232DlyChr(), 0);  // no digits
    EXPECT_EQ(fetcher.getUSBCTS(), -1);
    EXPECT_EQ(fetcher.getLastMenuResponseCode(), 21);
    EXPECT_EQ(fetcher.get232XON(), -1);  // ENQ
    EXPECT_EQ(fetcher.getLastMenuResponseCode(), 5);

    // The frames: SYN 'Y' CR for the name and the serial number, SYN 'M' CR
    // for the rest, each ended by '!'.
    const std::vector<Frame> frames = device.frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0].raw, "\x16Y\rP_NAME?!");
    EXPECT_EQ(frames[1].raw, "\x16M\rP_NAME?!");
}

TEST(DeviceInfoFetcher, NumbersAndBuildStampsOfOddReplies)
{
    struct Case {
        std::string reply;
        int baud;
        int terminal;
        std::string date;
        std::string time;
    } cases[] = {
        {"12", -1, 12, "", ""},
        {"9", 115200, 9, "", ""},
        {" -3", -1, -3, "", ""},
        {"99999999999999999999", -1, 2147483647, "", ""},
        {"-99999999999999999999", -1, -2147483647 - 1, "", ""},
        {"10:00 Jan 2", -1, 10, "", "10:00"},
        {"10:00 Jan 2 2003 extra", -1, 10, "Jan 2 2003", "10:00"},
        {"", 300, 0, "", ""},
    };
    for (const Case& c : cases) {
        ScriptedDevice device;
        device.replies = {{"232BAD?", ack("232BAD", c.reply)},
                          {"TERMID?", ack("TERMID", c.reply)},
                          {"REV_TD?", ack("REV_TD", c.reply)}};
        PORTINFO info = portInfoFor(&device);
        CDeviceInfoFetcher fetcher(&info, nullptr);
        EXPECT_EQ(fetcher.get232BaudRate(), c.baud) << c.reply;
        EXPECT_EQ(fetcher.getTerminalID(""), c.terminal) << c.reply;
        EXPECT_EQ(fetcher.getFirmwareBuildDate(""), c.date) << c.reply;
        EXPECT_EQ(fetcher.getFirmwareBuildTime(""), c.time) << c.reply;
    }
}

TEST(DeviceInfoFetcher, EchoCheckRefusesRepliesThatDoNotEchoTheCommand)
{
    struct Case {
        std::string command;
        std::string reply;
        int code;
    } cases[] = {
        {"SERNUM?", std::string("SERNUM") + ACK, -1},  // not longer than the command
        {"SERNUM?", ack("SERNUM", "1"), 6},
        {"P_NAME?", ack("p_name", "lower"), 6},  // compared in upper case
        {"P_NAME?", ack("XXXXXX", "other"), -1},
        {"TRM?", ack("TR", "MM"), 6},  // shorter than six: length only
    };
    for (const Case& c : cases) {
        ScriptedDevice device;
        device.replies = {{c.command, c.reply}};
        PORTINFO info = portInfoFor(&device);
        CDeviceInfoFetcher fetcher(&info, nullptr);
        MenuResponse reply;
        EXPECT_TRUE(fetcher.getInfoViaStandardMenu(&reply, c.command, 0, 0, "", true, 1)) << c.reply;
        EXPECT_EQ(reply.status, c.code) << c.reply;
        EXPECT_EQ(fetcher.getLastMenuResponseCode(), c.code) << c.reply;
    }
}

TEST(DeviceInfoFetcher, RepeatedQueryIsAnsweredFromTheCacheWithoutTraffic)
{
    ScriptedDevice device;
    device.replies = {{"SERNUM?", ack("SERNUM", "S123")}, {"@#2:SERNUM?", ack("SERNUM", "SUB-2")}};
    PORTINFO info = portInfoFor(&device, 4);
    CMenuMemory cache;
    {
        CDeviceInfoFetcher first(&info, &cache);
        EXPECT_EQ(first.getSerialNum(""), "S123");
        EXPECT_EQ(first.getSerialNum("#2"), "SUB-2");
    }
    const std::size_t written = device.bytesWritten();
    CDeviceInfoFetcher second(&info, &cache);
    EXPECT_EQ(second.getSerialNum(""), "S123");
    EXPECT_EQ(second.getSerialNum("#2"), "SUB-2");
    EXPECT_EQ(device.bytesWritten(), written);
    EXPECT_EQ(device.count("SERNUM?"), 2u);
    EXPECT_EQ(info.readCount, 4);  // the addressed query put it back

    // An unanswered (ENQ) reply is cached too, a silent one is not.
    device.enqUnknown = false;
    EXPECT_EQ(second.getTerminalID(""), -1);
    EXPECT_EQ(second.getTerminalID(""), -1);
    EXPECT_EQ(device.count("TERMID?"), 4u);  // two tries per query
}

TEST(DeviceInfoFetcher, SilenceIsRetriedOnceAndALostDeviceLeaves1167)
{
    ScriptedDevice device;
    device.enqUnknown = false;
    PORTINFO info = portInfoFor(&device);
    CDeviceInfoFetcher fetcher(&info, nullptr);
    MenuResponse reply;
    EXPECT_TRUE(fetcher.getInfoViaStandardMenu(&reply, "SERNUM?", 1, 0, "", true, 1));
    EXPECT_EQ(reply.status, -1);
    EXPECT_EQ(device.count("SERNUM?"), 2u);
    EXPECT_EQ(info.errorCode, 0);

    // Unplugged after the command went out: no reply and a port that reports
    // the loss.
    ScriptedDevice lost;
    lost.vanishAfterFrames = 0;
    PORTINFO lostInfo = portInfoFor(&lost);
    CDeviceInfoFetcher lostFetcher(&lostInfo, nullptr);
    EXPECT_FALSE(lostFetcher.getInfoViaStandardMenu(&reply, "SERNUM?", 1, 0, "#2", true, 1));
    EXPECT_EQ(lostInfo.errorCode, 1167);
    EXPECT_STREQ(lostInfo.errorText, "Device is disconnected!");
    EXPECT_EQ(lostInfo.readCount, 2);
    EXPECT_EQ(lost.count("SERNUM?"), 1u);
}

TEST(DeviceInfoFetcher, StoppedOrWithoutRecordSendsNothing)
{
    ScriptedDevice device;
    PORTINFO info = portInfoFor(&device);
    unsigned char cancel = 0;
    CDeviceInfoFetcher fetcher(&info, nullptr);
    fetcher.setCancelFlag(&cancel);
    requestCancel(&cancel);
    MenuResponse reply;
    EXPECT_FALSE(fetcher.getInfoViaStandardMenu(&reply, "SERNUM?", 1, 0, "#1", true, 1));
    EXPECT_FALSE(fetcher.getInfoViaMutipleMenu(&reply, "TRM?;CBLTBL?", 0, 0, "#1"));
    EXPECT_EQ(device.bytesWritten(), 0u);
    EXPECT_EQ(info.readCount, 2);

    CDeviceInfoFetcher detached;
    EXPECT_FALSE(detached.getInfoViaStandardMenu(&reply, "SERNUM?", 1, 0, "", true, 1));
    EXPECT_EQ(detached.getSerialNum(""), "");
}

TEST(DeviceInfoFetcher, BatchReturnsTheRawReplyAndRestoresTheReadCount)
{
    ScriptedDevice device;
    device.features = {"TRM?"};
    PORTINFO info = portInfoFor(&device, 3);
    CDeviceInfoFetcher fetcher(&info, nullptr);
    MenuResponse reply;
    EXPECT_TRUE(fetcher.getInfoViaMutipleMenu(&reply, "TRM?;CBLTBL?", 0, 0, "#4"));
    EXPECT_EQ(reply.text, std::string("TRM1") + ACK + ";CBLTBL" + ENQ + "!");
    EXPECT_EQ(device.frames().at(0).raw, "\x16M\r:#4:TRM?;CBLTBL?!");
    EXPECT_EQ(info.readCount, 3);
}

// ---- status checker -----------------------------------------------------------

// A serial port whose device answers the sync ping (or stays silent).
class PingingSerialPort : public CSerialPort {
public:
    bool isOpened() override { return true; }
    int getBaudrate() override { return 9600; }
    int write(const unsigned char* buffer, int length, unsigned int* count) override
    {
        if (length >= 2 && buffer[0] == 0x16 && buffer[1] == 0x43 && answers) {
            pending = std::string("\x06\x15\x5E\x5F", 4);
        }
        if (count != nullptr) {
            *count = static_cast<unsigned>(length);
        }
        return 0;
    }
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        *count = static_cast<unsigned>(std::min<std::size_t>(pending.size(), static_cast<std::size_t>(size)));
        std::memcpy(buffer, pending.data(), *count);
        pending.erase(0, *count);
        return 0;
    }
    bool answers = true;
    std::string pending;
};

TEST(DeviceStatusChecker, SerialCheckPingsOnACopyOfTheRecord)
{
    for (const int type : {0, 1}) {
        for (const bool answers : {true, false}) {
            PingingSerialPort port;
            port.answers = answers;
            PORTINFO info = portInfoFor(&port, 77);
            info.readDelay = 0;
            info.errorCode = 42;
            std::strcpy(reinterpret_cast<char*>(info.prepareData), "prep");
            PORTINFO before;
            std::memcpy(&before, &info, sizeof info);
            CDeviceStatusChecker checker;
            EXPECT_EQ(checker.isDeviceFunctional(&info, type), answers) << type;
            EXPECT_EQ(std::memcmp(&before, &info, sizeof info), 0) << type;
        }
    }
}

TEST(DeviceStatusChecker, HidCheckAsksThePortOnlyAndOtherTypesAnswerFalse)
{
    LogCapture log;
    ScriptedDevice device;
    PORTINFO info = portInfoFor(&device);
    CDeviceStatusChecker checker;
    for (const int type : {2, 3, 4}) {
        EXPECT_TRUE(checker.isDeviceFunctional(&info, type)) << type;
    }
    EXPECT_EQ(device.bytesWritten(), 0u);
    device.gone = true;
    EXPECT_FALSE(checker.isDeviceFunctional(&info, 2));

    // A scripted port is no serial port: the ping refuses it.
    device.gone = false;
    EXPECT_FALSE(checker.isDeviceFunctional(&info, 0));

    log.clear();
    EXPECT_FALSE(checker.isDeviceFunctional(&info, 5));
    EXPECT_FALSE(log.contains("port info is null OR interface type is unknonw"));
    EXPECT_FALSE(checker.isDeviceFunctional(&info, -1));
    EXPECT_TRUE(log.contains("port info is null OR interface type is unknonw"));

    PORTINFO empty = portInfoFor(nullptr);
    for (const int type : {0, 1, 2, 3, 4, 5}) {
        EXPECT_FALSE(checker.isDeviceFunctional(&empty, type)) << type;
    }
    EXPECT_FALSE(checker.isDeviceFunctional(nullptr, 2));
}

// ---- filler -------------------------------------------------------------------

TEST(DeviceInfoFiller, ModeFromTheModeLineOfPinfo)
{
    struct Case {
        std::vector<std::string> lines;
        char status;
        int mode;
    } cases[] = {
        {{"mode: app"}, ACK, 1},
        {{"mode:BOOT"}, ACK, 0},
        {{"mode: app "}, ACK, -1},
        {{"mode: service"}, ACK, -1},
        {{"hw-sn: 1"}, ACK, 7},  // no mode line: unchanged
        {{"mode: boot"}, NAK, 7},  // NAK counts as support, without pairs
    };
    for (const Case& c : cases) {
        ScriptedDevice device;
        device.replies = {{"P_INFO", pinfo(c.lines, c.status)}};
        device.deviceType = "APP";
        PORTINFO info = portInfoFor(&device);
        CUsbHidDevice record;
        record.mode = 7;
        CDeviceInfoFiller filler(&record, &info, nullptr, 1);
        EXPECT_TRUE(filler.fillDeviceStatus()) << c.lines[0];
        EXPECT_EQ(record.mode, c.mode) << c.lines[0];
        EXPECT_EQ(device.count(std::string("\x16n,DEVICETYPE\r")), 0u);
    }
}

TEST(DeviceInfoFiller, ModeFromTheDeviceTypeQueryWithoutPinfo)
{
    struct Case {
        std::string answer;
        int mode;
    } cases[] = {
        {"APP", 1},
        {"boot", 0},
        {"BOOTAPP", 0},  // boot is tested first
        {"xyz", -1},
        {"", -1},  // no answer
    };
    for (const Case& c : cases) {
        ScriptedDevice device;
        device.deviceType = c.answer;
        PORTINFO info = portInfoFor(&device);
        CUsbHidDevice record;
        CDeviceInfoFiller filler(&record, &info, nullptr, 1);
        EXPECT_TRUE(filler.fillDeviceStatus()) << c.answer;
        EXPECT_EQ(record.mode, c.mode) << c.answer;
        const std::vector<Frame> frames = device.frames();
        ASSERT_EQ(frames.size(), 2u);  // P_INFO (answered ENQ), then the device type
        EXPECT_EQ(frames.back().raw, "\x16n,DEVICETYPE\r");
    }
}

TEST(DeviceInfoFiller, PreparationDataFollowsTheDeviceTypeQuerySixTimes)
{
    ScriptedDevice device;
    device.deviceType = "APP";
    PORTINFO info = portInfoFor(&device);
    std::strcpy(reinterpret_cast<char*>(info.prepareData), "Z.");
    device.preparation = "Z.";
    CUsbHidDevice record;
    CDeviceInfoFiller filler(&record, &info, nullptr, 1);
    EXPECT_TRUE(filler.fillDeviceStatus());
    EXPECT_EQ(record.mode, 1);
    // The menu transport writes it before and after each of the two
    // commands; the device-type query adds six more.
    EXPECT_EQ(device.preparationWrites(), 4 + 6);
}

TEST(DeviceInfoFiller, LevelTwoSkipsTheProbesButChecksTheDeviceFirst)
{
    ScriptedDevice device;
    device.replies = {{"Y:P_NAME?", ack("P_NAME", "QOX-1")}, {"SERNUM?", ack("SERNUM", "Q9")}};
    PORTINFO info = portInfoFor(&device);
    CUsbHidDevice record;
    record.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
    CDeviceInfoFiller filler(&record, &info, nullptr, 2);
    ASSERT_TRUE(filler.fillDeviceInfo());
    EXPECT_EQ(device.menus(), (std::vector<std::string>{"P_NAME?", "SERNUM?"}));
    ASSERT_NE(record.CDevice::product, nullptr);
    EXPECT_EQ(record.CDevice::product->productType, 0);
    EXPECT_EQ(record.CDevice::product->architecture, -1);
    EXPECT_EQ(record.CDevice::product->name, "QOX-1");
    EXPECT_EQ(record.CDevice::product->serialNumber, "Q9");
    EXPECT_TRUE(record.CDevice::product->features.empty());
    EXPECT_EQ(record.mode, -1);

    // The functional check runs without any earlier query: a HID port that
    // reports its loss, and a serial interface whose ping fails.
    for (const int type : {EIT_USB_HID_BARCODE_SCANNER, EIT_RS232}) {
        ScriptedDevice other;
        other.gone = type == EIT_USB_HID_BARCODE_SCANNER;
        PORTINFO otherInfo = portInfoFor(&other);
        CUsbHidDevice otherRecord;
        otherRecord.interfaceType = type;
        CDeviceInfoFiller otherFiller(&otherRecord, &otherInfo, nullptr, 2);
        EXPECT_FALSE(otherFiller.fillDeviceInfo()) << type;
        EXPECT_EQ(otherRecord.CDevice::product, nullptr) << type;
        EXPECT_EQ(other.bytesWritten(), 0u) << type;
    }
}

TEST(DeviceInfoFiller, DeviceLostAtAnyStepLeaves1167)
{
    for (const int vanishAfter : {0, 1, 3, 6}) {
        ScriptedDevice device;
        device.replies = {{"P_INFO", pinfo({"mode: app", "hw-sn: S1"})}, {"COMPID?", ack("COMPID", "1")}};
        device.vanishAfterFrames = vanishAfter;
        PORTINFO info = portInfoFor(&device);
        CUsbHidDevice record;
        record.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
        CDeviceInfoFiller filler(&record, &info, nullptr, 1);
        EXPECT_FALSE(filler.fillDeviceInfo()) << vanishAfter;
        EXPECT_EQ(info.errorCode, 1167) << vanishAfter;
    }
}

TEST(DeviceInfoFiller, GateRefusesALostOrCancelledDeviceBeforeAnyQuery)
{
    ScriptedDevice device;
    PORTINFO info = portInfoFor(&device);
    info.errorCode = 1167;
    CUsbHidDevice record;
    CDeviceInfoFiller lost(&record, &info, nullptr, 1);
    EXPECT_FALSE(lost.fillDeviceInfo());

    info.errorCode = 0;
    unsigned char cancel = 1;
    CDeviceInfoFiller cancelled(&record, &info, nullptr, 1);
    cancelled.setCancelFlag(&cancel);
    EXPECT_FALSE(cancelled.fillDeviceInfo());
    EXPECT_EQ(device.bytesWritten(), 0u);

    CDeviceInfoFiller empty;
    EXPECT_FALSE(empty.fillDeviceInfo());
    EXPECT_FALSE(empty.fillDeviceStatus());
}

}  // namespace
