// The SDK facade of the service object without a device: poll period,
// discovery requests, refusals, debug settings and the routing of every
// kind of SDK record.
#include "SOFixtures.h"

#include "COPOSKestrel.h"
#include "RegistrySettings.h"

#include "base/CBarcodeData.h"
#include "discovery/CDevice.h"
#include "protocol/CImageData.h"
#include "protocol/CMenuData.h"

#include "platform/debug.h"
#include "platform/registry.h"

#include <memory>

using namespace sotest;

namespace {

// A facade of its own per test (the process's instance is not involved).
class TestKestrel : public COPOSKestrel {
public:
    using COPOSKestrel::AdoptDebugOutput;
    using COPOSKestrel::ReplaceDevice;
};

TEST(Kestrel, PollPeriodKeepsItsBounds)
{
    TestKestrel kestrel;
    EXPECT_EQ(kestrel.GetPollFrequency(), 2000u);
    const struct {
        unsigned given;
        unsigned kept;
    } cases[] = {{100, 2000}, {250, 250}, {9999, 9999}, {10000, 10000}, {60000, 10000}, {249, 10000}};
    for (const auto& c : cases) {
        kestrel.SetPollFrequency(c.given);
        EXPECT_EQ(kestrel.GetPollFrequency(), c.kept) << c.given;
    }

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD period = 3000;
    RegSetValueExA(key, "DEVICE_POLL_FREQUENCY", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&period), 4);
    kestrel.ReadPollFrequency();
    EXPECT_EQ(kestrel.GetPollFrequency(), 3000u);
    // Later tests of the program read the suite's period too.
    RegDeleteValueA(key, "DEVICE_POLL_FREQUENCY");
    RegCloseKey(key);
}

TEST(Kestrel, DiscoveryRequestsByDescriptor)
{
    TestKestrel kestrel;
    const std::vector<int> defaultDps{2, 0, 8, 5, 6, 3};
    const std::vector<int> defaultRates{115200, 38400, 9600, 57600, 19200};
    const struct {
        const char* type;
        int port;
        int autoDetect;
        int result;
        std::vector<int> kinds;
        std::vector<std::string> ports;
        bool serialSettings;
    } cases[] = {
        {"USBHID", 256, 0, 0, {2}, {}, false},
        {"RS232", 4, 0, 0, {1, 0, 5}, {"COM5"}, true},
        {"USBSER", 0, 0, 0, {1, 0, 5}, {"COM1"}, true},
        {"IBMPOSS", 0, 0, 1005, {}, {}, false},
        {"rs232", 4, 0, 1005, {}, {}, false},  // types compare exactly
        {"IBMPOSS", 0, 1, 0, {1, 2, 0}, {}, true},
    };
    for (const auto& c : cases) {
        CConDescriptor descriptor;
        descriptor.SetType(c.type);
        descriptor.SetPort(c.port);
        CDiscoveryTemplate search;
        std::string port;
        EXPECT_EQ(kestrel.BuildDiscoveryTemplate(descriptor, c.autoDetect, search, port), c.result) << c.type;
        if (c.result != 0)
            continue;
        EXPECT_EQ(search.interfaceTypes, c.kinds) << c.type;
        EXPECT_EQ(search.namedPorts, c.ports) << c.type;
        EXPECT_EQ(search.maxCount, 1);
        EXPECT_EQ(search.interfaceUsages, std::vector<int>{0});
        EXPECT_EQ(search.dpsSettings, c.serialSettings ? defaultDps : std::vector<int>{}) << c.type;
        EXPECT_EQ(search.baudRates, c.serialSettings ? defaultRates : std::vector<int>{}) << c.type;
    }

    // An unsearchable type never starts (or creates) a discovery.
    CConDescriptor ibm;
    ibm.SetType("IBMPOSS");
    EXPECT_EQ(kestrel.Enumerate(&ibm, 0, 1000), 1005);
    EXPECT_FALSE(kestrel.HasDiscovery());
}

TEST(Kestrel, RefusalsWithoutADevice)
{
    TestKestrel kestrel;
    EXPECT_EQ(kestrel.Connect(1000, true), 1012);  // the break probe: before anything else
    EXPECT_EQ(kestrel.Connect(1000, false), 1005);  // no device found yet
    EXPECT_EQ(kestrel.SendMenuCmdASynch("UPACKX1.", 0), 1012);
    std::string reply;
    EXPECT_EQ(kestrel.SendMenuCmdSynch("UPACKX1.", &reply, 100, 0), 1012);
    EXPECT_EQ(kestrel.ShutDownDataCollection(), 3);
    EXPECT_EQ(kestrel.SwitchProcessorState(1), 3);
    EXPECT_EQ(kestrel.setDisconnectCallBack(), 1012);
    EXPECT_EQ(kestrel.ReConnect(), 1001);
    EXPECT_EQ(kestrel.CancelEnumerate(), 1001);
    EXPECT_EQ(kestrel.DisConnect(), 0);
    EXPECT_EQ(kestrel.UpgradeFirmware("x.bin"), 0);
    EXPECT_FALSE(kestrel.IsConnected());
}

struct DebuggerValues {
    const char* debugType;
    const char* logFile;
    const char* fwLevel;
    const char* fwType;
    const char* sdkLevel;
    int sink;
    const char* fwLevelKept;
    const char* fwTypeKept;
    const char* sdkLevelKept;
};

void writeDebugger(const DebuggerValues& v)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDebuggerKey);
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDebuggerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    auto set = [key](const char* name, const char* value) {
        if (value != nullptr)
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           static_cast<DWORD>(std::strlen(value) + 1));
    };
    set("DebugType", v.debugType);
    set("LogFile", v.logFile);
    set("FWDebugLevel", v.fwLevel);
    set("FWDebugType", v.fwType);
    set("SDKDebugLevel", v.sdkLevel);
    set("FWDebugFile", "fw.log");
    RegCloseKey(key);
}

TEST(Kestrel, DebugSettingsFromTheRegistry)
{
    vxtest::TempDir dir;
    const std::string logFile = dir.file("so.log");
    const DebuggerValues cases[] = {
        {"DEFAULT", "", "2", "1", "4", 1, "2", "1", "4"},
        {"thread id", nullptr, "7", "3", "9", 2, "1", "0", "0"},
        {"log file", "", "", "", "", 0, "1", "0", "0"},
        {"LOG FILE", logFile.c_str(), "-1", "-1", "0", 3, "1", "-1", "0"},
        {"THREAD", nullptr, "0", "2", "6", 0, "0", "2", "6"},
        {nullptr, nullptr, nullptr, nullptr, nullptr, 0, "1", "0", "2"},  // missing values leave the defaults
    };
    std::vector<std::string> notes;
    platform::setDebugOutputSink([&](const std::string& text) { notes.push_back(text); });
    for (const auto& c : cases) {
        writeDebugger(c);
        TestKestrel kestrel;
        kestrel.InitDebugger(kDebuggerKey);
        ASSERT_NE(kestrel.GetDebug(), nullptr);
        EXPECT_EQ(kestrel.GetDebug()->GetType(), c.sink) << (c.debugType ? c.debugType : "(none)");
        EXPECT_EQ(kestrel.FWDebugLevel(), c.fwLevelKept);
        EXPECT_EQ(kestrel.FWDebugType(), c.fwTypeKept);
        EXPECT_EQ(kestrel.SDKDebugLevel(), c.sdkLevelKept);
        EXPECT_EQ(kestrel.FWDebugFile(), "fw.log");
        kestrel.InitDebugger(kDebuggerKey);  // once only
    }
    platform::setDebugOutputSink({});
    EXPECT_NE(std::find(notes.begin(), notes.end(), "SO.InitDebugger: can't find FWProtocolFile\r\n"), notes.end());

    // No key at all: the silent sink.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDebuggerKey);
    TestKestrel keyless;
    keyless.InitDebugger(kDebuggerKey);
    EXPECT_EQ(keyless.GetDebug()->GetType(), 0);
}

TEST(Kestrel, DebugSettingsGivenAsTexts)
{
    const struct {
        const char* type;
        const char* file;
        const char* fwLevel;
        const char* fwType;
        const char* sdkLevel;
        int sink;
        const char* fwLevelKept;
        const char* fwTypeKept;
        const char* sdkLevelKept;
    } cases[] = {
        {"", "", "3", "2", "5", 0, "1", "0", "2"},  // both empty: silent, settings untouched
        {"DEFAULT", "", "", "", "", 1, "", "", ""},  // empty counts as 0 here: kept
        {"thread id", "", "4", "x", "7", 2, "1", "x", "0"},
        {"other", "f.log", "1", "-2", "6", 0, "1", "0", "6"},
    };
    for (const auto& c : cases) {
        TestKestrel kestrel;
        kestrel.InitDebuggerFromSettings(c.type, c.file, c.fwLevel, c.fwType, "fwfile", "proto", c.sdkLevel);
        EXPECT_EQ(kestrel.GetDebug()->GetType(), c.sink) << c.type;
        EXPECT_EQ(kestrel.FWDebugLevel(), c.fwLevelKept) << c.type;
        EXPECT_EQ(kestrel.FWDebugType(), c.fwTypeKept) << c.type;
        EXPECT_EQ(kestrel.SDKDebugLevel(), c.sdkLevelKept) << c.type;
    }
}

// Records of every kind as the SDK delivers them to the data callback.
class CallbackTest : public ::testing::Test {
protected:
    CallbackTest()
    {
        kestrel.AdoptDebugOutput(debugOwned);
        kestrel.SetQueue(&queue);
        kestrel.SetInUse(true);
        queue.SetEventWindow(nullptr);
    }
    static CData* menuRecord(const std::string& bytes)
    {
        auto* record = new CMenuData(static_cast<DWORD>(bytes.size()));
        record->fillData(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
        record->parse();
        return record;
    }
    static CData* rawRecord(const std::string& bytes)
    {
        auto* record = new CData(static_cast<DWORD>(bytes.size()));
        record->fillData(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
        return record;
    }
    RecordingDebug* debugOwned = new RecordingDebug;  // the facade's
    RecordingDebug& debug = *debugOwned;
    CScannerDataQ queue{500, nullptr};
    TestKestrel kestrel;
};

TEST_F(CallbackTest, MenuRepliesAreStoredWhenTheyBelongToThePendingRequest)
{
    const std::string syn0 = std::string("\x16") + "0\r.;\x16" + "0\r.";
    const std::string syn1 = std::string("\x16") + "1\r.;\x16" + "1\r.";
    const struct {
        std::string request;
        std::string reply;
        bool stored;
    } cases[] = {
        {"UPACKX1.", "upackx1\x06.", true},   // behind ACK, lower case: stored as received
        {"UPACKX1.", "UPACKX1\x15.", true},
        {"UPACKX1.", "BEPLVL2\x06.", false},  // another command's reply
        {syn0, "1\x06" "1\x06", true},      // the six digit patterns, NAK ones too
        {syn0, "0\x06" "0\x06", true},
        {syn1, "1\x05" "1\x05", true},
        {syn1, "0\x05" "0\x05", true},
        {syn0, "0\x15" "0\x15", true},
        {syn1, "1\x15" "1\x15", true},
        {syn0, "1\x06" "0\x06", false},
        {syn0, "1\x06" "1\x06" "!", false},
        {"OTHER.", "1\x06" "1\x06", false},  // patterns count only for the digit requests
        {"", "ANYTHING\x06!", true},           // nothing pending: every reply
    };
    for (const auto& c : cases) {
        queue.ClearExchange();
        queue.SetPendingRequest(c.request);
        kestrel.AsynchCallBack(menuRecord(c.reply));
        EXPECT_EQ(queue.GetLastResponse(), c.stored ? c.reply : std::string()) << ::testing::PrintToString(c.reply);
    }
    kestrel.AsynchCallBack(new CMenuData(0));  // no bytes: nothing stored
    EXPECT_TRUE(debug.contains("Kestrel.AsynchCallBack(); |Received no data"));
}

TEST_F(CallbackTest, RawImageBarcodeAndOtherRecords)
{
    // A raw reply while in use becomes the last response, up to a zero byte.
    kestrel.AsynchCallBack(rawRecord(std::string("RAW\0TAIL", 8)));
    EXPECT_EQ(queue.GetLastResponse(), "RAW");

    // An image is kept; a second one replaces it.
    auto* image = new CImageData(4);
    image->fillData(reinterpret_cast<const unsigned char*>("IMG1"), 4, 0);
    kestrel.AsynchCallBack(image);
    auto* second = new CImageData(6);
    second->fillData(reinterpret_cast<const unsigned char*>("IMAGE2"), 6, 0);
    kestrel.AsynchCallBack(second);
    const std::vector<unsigned char> taken = queue.TakeLastImage();
    EXPECT_EQ(std::string(taken.begin(), taken.end()), "IMAGE2");
    EXPECT_EQ(queue.LastImageLength(), 0u);
    // A record of kind 2 that is not an image is refused.
    auto* fake = new CData(3);
    fake->setType(CData::kImage);
    kestrel.AsynchCallBack(fake);
    EXPECT_TRUE(debug.contains("Image event called with no data"));

    // Unknown kinds and null are freed and logged.
    auto* odd = new CData(1);
    odd->setType(9);
    kestrel.AsynchCallBack(odd);
    kestrel.AsynchCallBack(nullptr);
    EXPECT_TRUE(debug.contains("reached default case"));

    // Not in use: barcodes and raw replies are freed unused.
    kestrel.SetInUse(false);
    queue.ClearExchange();
    kestrel.AsynchCallBack(barcodeRecord("UNUSED"));
    kestrel.AsynchCallBack(rawRecord("RAW2"));
    EXPECT_EQ(queue.GetLastResponse(), "");
    EXPECT_EQ(queue.GetDataCount(), 0);
    EXPECT_TRUE(debug.contains("barcode available, scannerSO not in use"));
}

TEST(KestrelInstance, OneInstanceUntilReleased)
{
    COPOSKestrel* first = COPOSKestrel::GetInstance();
    EXPECT_EQ(COPOSKestrel::GetInstance(), first);
    COPOSKestrel::ReleaseInstance();
    COPOSKestrel* second = COPOSKestrel::GetInstance();
    ASSERT_NE(second, nullptr);
    COPOSKestrel::ReleaseInstance();
    COPOSKestrel::ReleaseInstance();  // nothing left: harmless
}

}  // namespace
