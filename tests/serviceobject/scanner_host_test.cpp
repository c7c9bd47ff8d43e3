// The scanner service object end to end through its exported interface,
// as a host program drives it, against simulated serial and USB HID
// scanners: the bytes each call puts on the wire, labels as DataEvents on
// the event-window thread, AutoDisable, refused claims, DirectIO and
// CheckHealth against the device; an open whose event thread cannot start.
#include "ScannerHost.h"

#include "simulator/identity_model.h"

#include <atomic>
#include <cstdint>
#include <cstring>

using namespace sotest;

namespace {

const std::string kEnable = "\x16" "1\r.;\x16" "1\r.";
const std::string kDisable = "\x16" "0\r.;\x16" "0\r.";
const std::string kMenu = "\x16M\r";

class ScannerHost : public ScannerHostTest, public ::testing::WithParamInterface<Wire> {};

TEST_P(ScannerHost, EachCallPutsItsCommandsOnTheWire)
{
    plug(GetParam());
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(CScannerWrapper::ScannerGetOpenResult(), 0);
    const std::size_t beforeClaim = wire().size();
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    EXPECT_EQ(number(1), 1);
    const std::string claim = kMenu + "UPACKX1." + kMenu + "UPECKX1." + kMenu + "E13CKX1." + kMenu + "EA8CKX1." +
                              kMenu + "OPSADM0!" + kDisable;
    std::string sent = wire();
    const std::size_t first = sent.find(kMenu + "UPACKX1.", beforeClaim);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(sent.substr(first), claim);

    std::size_t from = wire().size();
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    EXPECT_EQ(wire().substr(from), kEnable);
    EXPECT_EQ(number(3), 1);
    from = wire().size();
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 0), 0);
    EXPECT_EQ(wire().substr(from), kDisable);
    EXPECT_EQ(number(3), 0);

    // Released, the device is left scanning.
    from = wire().size();
    ASSERT_EQ(CScannerWrapper::ScannerReleaseDevice(), 0);
    EXPECT_EQ(wire().substr(from), kEnable);
    EXPECT_EQ(number(1), 0);
    EXPECT_EQ(CScannerWrapper::ScannerCloseService(), 0);
}

TEST_P(ScannerHost, ALabelReachesTheHostOnTheEventWindowThreadThenAutoDisable)
{
    plug(GetParam());
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(10001, 1), 0);  // DecodeData
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    scan("ABC123");
    ASSERT_TRUE(events.waitFor("D:0"));
    EXPECT_NE(events.threads[0], GetCurrentThreadId());
    EXPECT_EQ(number(2), 0);  // DataEventEnabled falls with each DataEvent
    EXPECT_EQ(property(1010001), "j]C0ABC123");
    EXPECT_EQ(property(1010002), "ABC123");
    EXPECT_EQ(number(10002), 110);

    // AutoDisable: the device is disabled after the next label.
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(10, 1), 0);
    EXPECT_EQ(menuCommands().back(), "OPSADM1");
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    const std::size_t from = wire().size();
    scan("XYZ");
    ASSERT_TRUE(events.waitFor("D:0", 2));
    ASSERT_TRUE(vxtest::waitUntil([&] { return number(3) == 0; }));
    EXPECT_EQ(wire().substr(from), kDisable);

    // Disabled, the scanner holds its labels back: nothing arrives.
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    scan("HELD");
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(10, 0), 0);
    EXPECT_EQ(events.count("D:0"), 2);
    EXPECT_EQ(number(12), 0);
}

TEST_P(ScannerHost, ARefusedCheckDigitSettingLeavesTheServiceOpenAndUnclaimed)
{
    plug(GetParam(), [](vxsim::MenuModel& menu) {
        vxsim::MenuRule refuse;
        refuse.command = "UPACKX1";
        refuse.status = vxsim::kMenuNak;
        menu.rules.push_back(refuse);
    });
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 106);
    EXPECT_EQ(number(6), 106);
    EXPECT_EQ(number(7), 106);
    EXPECT_EQ(number(1), 0);
    EXPECT_EQ(CScannerWrapper::ScannerGetDeviceOpenStatus(), 1);
    const auto commands = menuCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "UPECKX1"), 0);
}

TEST_P(ScannerHost, DirectIOMenuPassThroughAndTimeOut)
{
    plug(GetParam(), [](vxsim::MenuModel& menu) {
        vxsim::MenuRule high;
        high.command = "REVINF";
        high.value = std::string("\x80\xFF", 2);
        menu.rules.push_back(high);
        vxsim::MenuRule refused;
        refused.command = "BADCMD";
        refused.status = vxsim::kMenuNak;
        menu.rules.push_back(refused);
    });
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);

    // The reply back, a long answer replacing a short string; bytes above
    // 0x7F widened without their sign.
    BSTR text = platform::bstrFromAnsi("REVINF");
    long count = 100;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO(18, &count, &text), 0);
    const std::string reply = std::string("REVINF\x80\xFF", 8) + "\x06.";
    EXPECT_EQ(count, static_cast<long>(reply.size()));
    ASSERT_EQ(SysStringLen(text), reply.size());
    EXPECT_EQ(text[6], 0x80);
    EXPECT_EQ(text[7], 0xFF);
    EXPECT_EQ(platform::ansiFromBstr(text), reply);
    SysFreeString(text);

    // At most *pData characters, and the string as long as they are.
    text = platform::bstrFromAnsi("REVINF              ");
    count = 4;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO(18, &count, &text), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(platform::ansiFromBstr(text), "REVI");
    EXPECT_EQ(SysStringLen(text), 4u);
    SysFreeString(text);

    struct Case {
        const char* text;
        long result;
        const char* wire;  // expected on the wire, "" for nothing
    };
    const Case cases[] = {
        {"BEP;LVL", 106, ""},
        {"BEPLV", 106, ""},
        {":02:BEPLVL?", 0, ":02:BEPLVL?."},
        {"BADCMD", 0, "BADCMD."},  // a refusal passed to the caller
    };
    for (const auto& c : cases) {
        const std::size_t from = wire().size();
        BSTR string = platform::bstrFromAnsi(c.text);
        long n = 64;
        EXPECT_EQ(CScannerWrapper::ScannerDirectIO(18, &n, &string), c.result) << c.text;
        if (*c.wire != '\0')
            EXPECT_NE(wire().find(kMenu + c.wire, from), std::string::npos) << c.text;
        else
            EXPECT_EQ(wire().size(), from) << c.text;
        if (std::string(c.text) == "BADCMD") {
            EXPECT_NE(platform::ansiFromBstr(string).find('\x15'), std::string::npos);
        }
        SysFreeString(string);
    }
    // A command handed in a buffer with room for the reply: the zeros after
    // it are not part of it.
    {
        const std::size_t from = wire().size();
        BSTR roomy = SysAllocStringLen(nullptr, 1024);
        std::fill(roomy, roomy + 1024, u'\0');
        std::copy_n(u"BEPLVL?", 7, roomy);
        long n = 1024;
        EXPECT_EQ(CScannerWrapper::ScannerDirectIO(18, &n, &roomy), 0);
        EXPECT_NE(wire().find(kMenu + std::string("BEPLVL?."), from), std::string::npos);
        SysFreeString(roomy);
    }
    long negative = -1;
    BSTR string = platform::bstrFromAnsi("BEPLVL?");
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO(18, &negative, &string), 106);
    SysFreeString(string);

    // DirectIO 19: the command time-out.
    struct TimeOut {
        const char* text;
        long result;
        long long timeout;
    };
    CCommonSO& common = mgr().Common();
    const long long atOpen = common.m_llCommandTimeOutAtOpen;
    const TimeOut timeouts[] = {{"-1", 0, common.m_llMaximumTimeOut},
                                {"2147483647", 0, 2147483647LL},
                                {"0", 0, atOpen},
                                {"2147483648", 106, atOpen},
                                {"12a", 106, atOpen},
                                {"", 106, atOpen},
                                {"-2", 106, atOpen},
                                {"750", 0, 750}};
    for (const auto& t : timeouts) {
        BSTR value = platform::bstrFromAnsi(t.text);
        long n = 0;
        EXPECT_EQ(CScannerWrapper::ScannerDirectIO(19, &n, &value), t.result) << t.text;
        EXPECT_EQ(common.m_llCommandTimeOut, t.timeout) << t.text;
        EXPECT_EQ(number(6), t.result) << t.text;
        SysFreeString(value);
    }
    // A time-out in a buffer larger than its text (as a host sizes it).
    BSTR roomy = SysAllocStringLen(nullptr, 1024);
    std::fill(roomy, roomy + 1024, u'\0');
    std::copy_n(u"500", 3, roomy);
    long room = 1024;
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO(19, &room, &roomy), 0);
    EXPECT_EQ(common.m_llCommandTimeOut, 500);
    SysFreeString(roomy);

    // A silent device: 112 once the (short) time-out passes.
    vxsim::DataFaults silent;
    silent.silent = true;
    setFaults(silent);
    string = platform::bstrFromAnsi("BEPLVL?");
    count = 10;
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO(18, &count, &string), 112);
    SysFreeString(string);
}

TEST_P(ScannerHost, DirectIOOtherNumbers)
{
    plug(GetParam());
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    BSTR string = SysAllocString(u"");
    long count = 5;
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO(15, &count, &string), 106);
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO(10, &count, &string), 106);  // not an imager
    // Any other number: one pass of the data simulator, whose empty
    // barcode comes back as an ErrorEvent.
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO(99, &count, &string), 106);
    EXPECT_TRUE(events.waitFor("E:111,2,2"));
    SysFreeString(string);
    EXPECT_EQ(CScannerWrapper::ScannerDirectIO(18, &count, nullptr), 106);
}

TEST_P(ScannerHost, CheckHealthAnsweredAndSilent)
{
    plug(GetParam());
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(1), 105);
    EXPECT_EQ(property(1000001), "Device is not enabled");
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(1), 0);
    EXPECT_EQ(property(1000001), "Internal HCheck; Successful");
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(2), 0);
    EXPECT_EQ(property(1000001), "External HCheck; Successful");
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(4), 106);

    BSTR value = platform::bstrFromAnsi("500");
    long n = 0;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO(19, &n, &value), 0);
    SysFreeString(value);
    vxsim::DataFaults silent;
    silent.silent = true;
    setFaults(silent);
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(1), 111);
    EXPECT_EQ(property(1000001), "Internal HCheck; Not Responding");
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(2), 111);
    EXPECT_EQ(property(1000001), "External HCheck; Not Responding");
}

TEST_P(ScannerHost, InteractiveCheckHealthShowsALabelInsteadOfFiringIt)
{
    plug(GetParam());
    ASSERT_EQ(open(), 0);
    CScriptedCheckHealthView view(0);
    mgr().SetCheckHealthView(&view);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(10, 1), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    view.SetOnRun([&] {
        scan("A\r\nB\tC");
        EXPECT_TRUE(vxtest::waitUntil([&] { return !view.Texts().empty(); }));
    });
    const std::size_t commands = menuCommands().size();
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(3), 0);
    EXPECT_EQ(property(1000001), "Interactive HCheck; Successful");
    EXPECT_EQ(view.Instructions(), CInteractive::kInstructions);
    ASSERT_EQ(view.Texts().size(), 1u);
    EXPECT_EQ(view.Texts()[0], "A[CR][LF]\nB\tC");
    EXPECT_EQ(events.count("D:0"), 0);
    const auto sent = menuCommands();
    ASSERT_GE(sent.size(), commands + 2);
    EXPECT_EQ(sent[commands], "OPSADM0");
    EXPECT_EQ(sent.back(), "OPSADM1");

    // Closed without a decision.
    view.SetOnRun([] {});
    view.SetAnswer(111);
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(3), 111);
    EXPECT_EQ(property(1000001), "Interactive HCheck; Failed");
    mgr().SetCheckHealthView(nullptr);
}

TEST_P(ScannerHost, AnImagersCaptureAsNibblesAndAsBytes)
{
    const std::string image("\x01\x02\xFE\x80\x00\x7F", 6);
    plug(GetParam(), [&](vxsim::MenuModel& menu) {
        vxsim::IdentityModel identity = *vxsim::findIdentityModel("arch1");  // answers IMGSNP?
        identity.device.serialNumber = "SN-IMAGER";
        menu = vxsim::identityMenu(identity, menu);
        menu.image = image;
    });
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    ASSERT_EQ(mgr().Common().m_pDeviceInfo->m_nImaging, 1);

    // Nibbles for a host, whatever BinaryConversion says; an answer longer
    // than the string replaces it.
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(11, 2), 0);
    BSTR text = platform::bstrFromAnsi("x");
    long count = 3;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO(10, &count, &text), 0);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(platform::ansiFromBstr(text), "0102?>");
    EXPECT_EQ(menuCommands().back(), "IMGSNP1L;IMGSHP2P8F");
    SysFreeString(text);

    // The byte buffer gets the image bytes back, at most as many as asked.
    unsigned char buffer[16] = {};
    count = 16;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO2(11, &count, buffer), 0);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 6), image);
    unsigned char small[4] = {0, 0, 0, 0xAA};
    count = 3;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO2(12, &count, small), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(small), 3), image.substr(0, 3));
    EXPECT_EQ(small[3], 0xAA);

    // DirectIO 18 with a capture command: the nibble text, cut to the buffer.
    unsigned char capture[8] = {};
    std::memcpy(capture, "IMGSHP2P", 8);
    count = 8;
    ASSERT_EQ(CScannerWrapper::ScannerDirectIO2(18, &count, capture), 0);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(capture), 8), "0102?>80");
}

INSTANTIATE_TEST_SUITE_P(Wires, ScannerHost, ::testing::Values(Wire::serial, Wire::hid), wireName);

// The event-window thread cannot be started: the open fails as for a window
// that could not be made (OpenResult 403) and leaves the service closed;
// the next open, whose thread starts, works and delivers events.
TEST_F(ScannerHostTest, AnEventThreadThatCannotStartFailsTheOpen)
{
    plug(Wire::serial);
    static std::atomic<int> starts{0};
    starts = 0;
    mgr().SetWindowThreadStarter([](void*, unsigned, ThreadProc, void*, unsigned, unsigned*) -> std::uintptr_t {
        ++starts;
        return 0;
    });
    EXPECT_EQ(open(), 104);
    EXPECT_EQ(starts.load(), 1);
    EXPECT_EQ(CScannerWrapper::ScannerGetOpenResult(), 403);
    EXPECT_EQ(number(6), 104);
    EXPECT_EQ(CScannerWrapper::ScannerGetDeviceOpenStatus(), 0);
    EXPECT_EQ(mgr().Queue(), nullptr);
    EXPECT_EQ(CScannerWrapper::ScannerClaimDevice(5000), 101);

    mgr().SetWindowThreadStarter(nullptr);
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(CScannerWrapper::ScannerGetOpenResult(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    scan("AFTER");
    ASSERT_TRUE(events.waitFor("D:0"));
    EXPECT_EQ(starts.load(), 1);
}

}  // namespace
