// The common properties: time-outs and ports from the device entry, the
// claim's time-out, the registry readers, UpdateFirmware with a worker
// double, CheckHealth(3) with a dialog double, the statistics, the
// connection descriptor and the device information.
#include "SOFixtures.h"

#include "CCommonSO.h"
#include "COPOSKestrel.h"
#include "RegistrySettings.h"

#include "discovery/CDevice.h"
#include "products/CProduct.h"

#include "platform/registry.h"
#include "platform/sync.h"
#include "platform/thread.h"

#include <fstream>
#include <memory>
#include <thread>

using namespace sotest;

namespace {

const char* const kDevice = "Scanner1";

std::string deviceKey()
{
    return DeviceKeyPath("Scanner", kDevice);
}

void setString(const std::string& keyPath, const char* name, const std::string& value)
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

void setDword(const std::string& keyPath, const char* name, DWORD value)
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

DWORD dwordOf(const char* name)
{
    DWORD value = 0xDEAD;
    ReadDeviceDword(deviceKey(), name, value);
    return value;
}

TEST(CommonProperties, TimeOutsFromTheirTexts)
{
    CCommonSO common;
    const struct {
        const char* maximum;
        const char* command;
        std::int64_t maximumKept;
        std::int64_t commandKept;
    } cases[] = {
        {"1000", "5000", 60000, 10000}, {"", "45000", 300000, 30000}, {"900000", "", 900000, 10000},
        {"60000", "10000", 60000, 10000}, {"abc", "30000", 60000, 30000}, {"70000", "20000", 70000, 20000},
    };
    for (const auto& c : cases) {
        common.SetTimeOuts(c.maximum, c.command);
        EXPECT_EQ(common.m_llMaximumTimeOut, c.maximumKept) << c.maximum;
        EXPECT_EQ(common.m_llCommandTimeOut, c.commandKept) << c.command;
    }
    // An empty text leaves the copy taken at open as it was.
    EXPECT_EQ(common.m_llCommandTimeOutAtOpen, 20000);
}

TEST(CommonProperties, PortsFromTheirTexts)
{
    const struct {
        const char* port;
        int number;
        const char* type;
    } cases[] = {
        {"COM12", 11, "RS232"}, {"COM1", 0, "RS232"}, {"COM1234", 122, "RS232"}, {"HID1", 256, "USBHID"},
        {"hid2", 256, "USBHID"}, {"Hid10", 256, "USBHID"}, {"HIDX", -1, "RS232"}, {"", -1, "RS232"},
    };
    for (const auto& c : cases) {
        CConDescriptor descriptor;
        CCommonSO::DescriptorFromPort(c.port, descriptor);
        EXPECT_EQ(descriptor.GetPort(), c.number) << c.port;
        EXPECT_STREQ(descriptor.GetType(), c.type) << c.port;
    }
}

TEST(CommonProperties, ClaimTimeOuts)
{
    CCommonSO common;
    common.m_strDeviceKey = deviceKey();
    common.m_llMaximumTimeOut = 123456;
    EXPECT_EQ(common.ClaimTimeout(-1), 123456);
    EXPECT_EQ(common.ClaimTimeout(700), 700);
    EXPECT_EQ(common.ClaimTimeout(0), 500);  // no key yet
    setString(deviceKey(), "PORT", "COM1");
    EXPECT_EQ(common.ClaimTimeout(0), 500);  // no value
    setString(deviceKey(), "CLAIMTIMEOUT_0", "2500");
    EXPECT_EQ(common.ClaimTimeout(0), 2500);
    setString(deviceKey(), "CLAIMTIMEOUT_0", "-7");
    EXPECT_EQ(common.ClaimTimeout(0), 500);
    HostDouble host(1);
    SetSOHost(&host);
    EXPECT_EQ(common.GetClaimTimeoutWhenZero(), 500);
    EXPECT_EQ(common.ClaimTimeout(0), 0);  // a bound program's 0 is taken as given
    SetSOHost(nullptr);

    EXPECT_EQ(common.ClaimDevice(-2), 106);
    EXPECT_EQ(common.m_nResultCode, 106);
    EXPECT_EQ(common.m_nClaimed, 0);
    // Without a facade the connection cannot be made: 112, and Claimed as
    // the scanner logic expects to release it.
    EXPECT_EQ(common.ClaimDevice(1), 112);
    EXPECT_EQ(common.m_nResultCodeExtended, 112);
    EXPECT_EQ(common.m_nClaimed, 1);
    EXPECT_EQ(common.ClaimDevice(1), 0);  // already claimed
}

TEST(RegistryReaders, DeviceAndSuiteValues)
{
    setString(deviceKey(), "PORT", "COM3");
    setDword(deviceKey(), "SCANDATAOPTION_01", 1);
    setDword(deviceKey(), "GOODSCANCOUNT", 0xFFFFFFFFu);
    setString(deviceKey(), "LONG", std::string(300, 'x'));
    std::string text;
    EXPECT_TRUE(ReadDeviceValue("Scanner", kDevice, "PORT", text));
    EXPECT_EQ(text, "COM3");
    EXPECT_TRUE(ReadDeviceValue("Scanner", kDevice, "scandataoption_01", text));
    EXPECT_EQ(text, "1");
    EXPECT_TRUE(ReadDeviceValue("Scanner", kDevice, "GOODSCANCOUNT", text));
    EXPECT_EQ(text, "-1");  // as the platform's 32-bit long prints it
    EXPECT_FALSE(ReadDeviceValue("Scanner", kDevice, "LONG", text));  // over 256 bytes
    EXPECT_FALSE(ReadDeviceValue("Scanner", kDevice, "MISSING", text));
    EXPECT_FALSE(ReadDeviceValue("Scanner", "NoSuchDevice", "PORT", text));
    EXPECT_FALSE(ReadDeviceValue("Scanner", kDevice, "PORT2", text));

    setDword(kSuiteKey, "DEVICE_POLL_FREQUENCY", 4000);
    setString(kSuiteKey, "OTHER", "value");
    EXPECT_TRUE(ReadSuiteValue("DEVICE_POLL_FREQUENCY", text));
    EXPECT_EQ(text, "4000");
    EXPECT_TRUE(ReadSuiteValue("OTHER", text));
    EXPECT_EQ(text, "value");

    EXPECT_TRUE(WriteDeviceCounter(deviceKey(), "noreadcount", 5));
    EXPECT_EQ(dwordOf("NOREADCOUNT"), 5u);
    EXPECT_FALSE(WriteDeviceCounter(deviceKey(), "PORT", 5));  // only the counters
    EXPECT_FALSE(WriteDeviceCounter("SOFTWARE\\missing", "GOODSCANCOUNT", 5));
}

// A number stored as another type is missing, whatever its size, and the
// log tells so once per value while it stays wrong.
TEST(RegistryReaders, ANumberOfAnotherTypeIsMissingAndToldOnce)
{
    const std::string key = DeviceKeyPath("Scanner", "WrongTypes");
    setString(key, "SCANDATAOPTION_01", "123");  // four bytes with the NUL
    setString(kSuiteKey, "DEVICE_POLL_FREQUENCY", "4000");
    HKEY opened = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr);
    const unsigned char bytes[4] = {9, 0, 0, 0};
    RegSetValueExA(opened, "GOODSCANCOUNT", 0, REG_BINARY, bytes, sizeof bytes);
    RegCloseKey(opened);

    RecordingDebug debug;
    const auto told = [&] {
        int n = 0;
        for (const auto& line : debug.lines())
            n += line.find("wrong type") != std::string::npos ? 1 : 0;
        return n;
    };
    std::string text = "kept";
    DWORD value = 77;
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(ReadDeviceValue("Scanner", "WrongTypes", "SCANDATAOPTION_01", text, &debug));
        EXPECT_FALSE(ReadSuiteValue("DEVICE_POLL_FREQUENCY", text, &debug));
        EXPECT_FALSE(ReadDeviceDword(key, "GOODSCANCOUNT", value, &debug));
    }
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(told(), 3);
    EXPECT_TRUE(debug.contains(key + "\\SCANDATAOPTION_01"));

    // Put right, it is read; gone wrong again, it is told again.
    setDword(key, "SCANDATAOPTION_01", 2);
    EXPECT_TRUE(ReadDeviceValue("Scanner", "WrongTypes", "SCANDATAOPTION_01", text, &debug));
    EXPECT_EQ(text, "2");
    setString(key, "SCANDATAOPTION_01", "2");
    EXPECT_FALSE(ReadDeviceValue("Scanner", "WrongTypes", "SCANDATAOPTION_01", text, &debug));
    EXPECT_EQ(told(), 4);

    HKEY suite = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, KEY_ALL_ACCESS, &suite);
    RegDeleteValueA(suite, "DEVICE_POLL_FREQUENCY");  // later tests read the suite's period
    RegCloseKey(suite);
}

// A firmware worker whose thread reports a chosen start status (or none).
class WorkerDouble : public IFirmwareWorker {
public:
    enum class Plan { report, endSilently, neverStart };
    WorkerDouble(Plan plan, int status) : m_plan(plan), m_status(status) {}
    ~WorkerDouble() override
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    void SetFirmwareFile(const std::string& name) override { file = name; }
    void SetReconnectTimeout(long ms) override { reconnect = ms; }
    void ClearStartStatus() override { m_reported = 0; }
    int GetStartStatus() const override { return m_reported.load(); }
    bool StartThread() override
    {
        if (m_plan == Plan::neverStart)
            return false;
        m_running = true;
        m_thread = std::thread([this] {
            if (m_plan == Plan::report)
                m_reported = m_status;
            m_running = false;
        });
        return true;
    }
    bool ThreadEnded() const override { return !m_running.load(); }
    std::string file;
    long reconnect = 0;

private:
    Plan m_plan;
    int m_status;
    std::atomic<int> m_reported{0};
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};

TEST(CommonProperties, UpdateFirmwareNamesAndWorkerOutcomes)
{
    vxtest::TempDir dir;
    for (const char* name : {"fw.bin", "fw.MOCF", "fw.moc", "notes.txt", "fw.moc.txt", "fw.hex"})
        std::ofstream(dir.file(name)) << "x";
    CCommonSO common;
    common.m_llCommandTimeOut = 15000;
    const struct {
        std::string file;
        WorkerDouble::Plan plan;
        int status;
        int result;
        int code;
        int extended;
    } cases[] = {
        {"", WorkerDouble::Plan::report, 1, 109, 101, 101},  // ResultCode untouched
        {dir.file("missing.bin"), WorkerDouble::Plan::report, 1, 109, 109, 109},
        {dir.file("notes.txt"), WorkerDouble::Plan::report, 1, 114, 114, 281},
        {dir.file("fw.moc.txt"), WorkerDouble::Plan::report, 1, 114, 114, 281},
        {dir.file("fw.hex"), WorkerDouble::Plan::report, 1, 114, 114, 281},
        {dir.file("fw.bin"), WorkerDouble::Plan::report, 1, 0, 0, 0},
        {dir.file("fw.MOCF"), WorkerDouble::Plan::report, 1, 0, 0, 0},
        {dir.file("fw.moc"), WorkerDouble::Plan::report, 281, 114, 114, 281},
        {dir.file("fw.bin"), WorkerDouble::Plan::endSilently, 0, 111, 111, 111},
        {dir.file("fw.bin"), WorkerDouble::Plan::neverStart, 0, 111, 111, 111},
    };
    for (const auto& c : cases) {
        common.m_nResultCode = common.m_nResultCodeExtended = 101;
        WorkerDouble worker(c.plan, c.status);
        EXPECT_EQ(common.UpdateFirmware(c.file, &worker), c.result) << c.file;
        EXPECT_EQ(common.m_nResultCode, c.code) << c.file;
        EXPECT_EQ(common.m_nResultCodeExtended, c.extended) << c.file;
        if (!c.file.empty()) {
            EXPECT_EQ(worker.file, c.file);
            EXPECT_EQ(worker.reconnect, 15000);
        }
    }
}

class DialogDouble : public ICheckHealthDialog {
public:
    DialogDouble(int result, CCommonSO& common) : m_result(result), m_common(common) {}
    int DoModal() override
    {
        flagDuring = m_common.m_nInteractiveCheck.load();
        return m_result;
    }
    int flagDuring = -1;

private:
    int m_result;
    CCommonSO& m_common;
};

TEST(CommonProperties, InteractiveCheckHealth)
{
    CCommonSO common;
    const struct {
        int dialog;
        int result;
        const char* text;
    } cases[] = {{0, 0, "Interactive HCheck; Successful"}, {111, 111, "Interactive HCheck; Failed"}};
    for (const auto& c : cases) {
        DialogDouble dialog(c.dialog, common);
        common.SetCheckHealthDialog(&dialog);
        EXPECT_EQ(common.CheckHealth(3), c.result);
        EXPECT_EQ(dialog.flagDuring, 1);
        EXPECT_EQ(common.m_nInteractiveCheck.load(), 0);
        EXPECT_EQ(common.m_strCheckHealthText, c.text);
        EXPECT_EQ(common.m_nResultCode, c.result);
    }
    EXPECT_EQ(common.CheckHealth(1), 101);  // the scanner logic's levels
    common.SetCheckHealthDialog(nullptr);
    EXPECT_EQ(common.CheckHealth(3), 111);
}

class StatisticsTest : public ::testing::Test {
protected:
    StatisticsTest()
    {
        common.SetOpened();
        common.m_strDeviceKey = deviceKey();
        setDword(deviceKey(), "GOODSCANCOUNT", 7);
        setDword(deviceKey(), "NOREADCOUNT", 2);
    }
    CCommonSO common;
};

TEST_F(StatisticsTest, RetrievedAsTheStatisticsDocument)
{
    common.m_pDeviceInfo->m_strDescription = "Model 7";
    common.m_pDeviceInfo->m_strSerialNumber = "SN1";
    common.m_pDeviceInfo->m_strFirmwarePart = "APP-1";
    common.m_pDeviceInfo->m_strInterface = "USBHID";
    common.m_pDeviceInfo->m_strAppDate = "2026-01-02";
    std::string xml;
    ASSERT_EQ(common.RetrieveStatistics(xml), 0);
    EXPECT_EQ(xml,
              "<?xml version=\"1.0\" ?>\r\n"
              "<UPOSStat version=\"1.13.0\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
              "xmlns=\"http://www.nrf-arts.org/UnifiedPOS/namespace/\" "
              "xsi:schemaLocation=\"http://www.nrf-arts.org/UnifiedPOS/namespace/ UPOSStat.xsd\">\r\n"
              "\t<Event>\r\n"
              "\t\t<Parameter>\r\n\t\t\t<Name>U_GOODSCANCOUNT</Name>\r\n\t\t\t<Value>7</Value>\r\n\t\t</Parameter>\r\n"
              "\t\t<ManufacturerSpecific>\r\n\t\t\t<Name>M_NOREADCOUNT</Name>\r\n\t\t\t<Value>2</Value>\r\n"
              "\t\t</ManufacturerSpecific>\r\n"
              "\t</Event>\r\n"
              "\t<Equipment>\r\n\t\t<UnifiedPOSVersion>1.13</UnifiedPOSVersion>\r\n"
              "\t\t<DeviceCategory UPOS=\"Scanner\"/>\r\n\t\t<ManufacturerName>Varnex</ManufacturerName>\r\n"
              "\t\t<ModelName>Model 7</ModelName>\r\n\t\t<SerialNumber>SN1</SerialNumber>\r\n"
              "\t\t<FirmwareRevision>APP-1</FirmwareRevision>\r\n\t\t<Interface>USBHID</Interface>\r\n"
              "\t\t<InstallationDate>2026-01-02</InstallationDate>\r\n\t</Equipment>\r\n"
              "</UPOSStat>");

    const struct {
        const char* request;
        int result;
        bool good;
        bool noRead;
    } cases[] = {
        {"U_GOODSCANCOUNT", 0, true, false}, {"m_", 0, false, true},        {"U_,M_NOREADCOUNT", 0, true, true},
        {"u_goodscancount,X", 106, false, false}, {"GOODSCANCOUNT", 106, false, false},
    };
    for (const auto& c : cases) {
        std::string text = c.request;
        EXPECT_EQ(common.RetrieveStatistics(text), c.result) << c.request;
        if (c.result != 0)
            continue;
        EXPECT_EQ(text.find("<Value>7</Value>") != std::string::npos, c.good) << c.request;
        EXPECT_EQ(text.find("<Value>2</Value>") != std::string::npos, c.noRead) << c.request;
    }
}

TEST_F(StatisticsTest, UpdatedAndReset)
{
    const struct {
        const char* request;
        bool reset;
        int result;
        int extended;
        DWORD good;
        DWORD noRead;
    } steps[] = {
        {"U_GOODSCANCOUNT=12", false, 0, 0, 12, 2},
        {"U_GOODSCANCOUNT=12a", false, 106, 106, 12, 2},
        {"U_GOODSCANCOUNT=4294967296", false, 106, 106, 12, 2},
        {"U_GOODSCANCOUNT=4294967295", false, 0, 0, 4294967295u, 2},
        {"U_GOODSCANCOUNT=", false, 106, 106, 4294967295u, 2},
        {"=5", false, 0, 0, 5, 5},
        {"m_=9", false, 0, 0, 5, 9},
        {"U_=3,BOGUS=1", false, 114, 280, 5, 9},
        {"", false, 106, 106, 5, 9},
        {"M_", true, 0, 0, 5, 0},
        {"U_GOODSCANCOUNT,X", true, 114, 280, 5, 0},
        {"X", true, 106, 106, 5, 0},
        {"", true, 0, 0, 0, 0},
    };
    for (const auto& s : steps) {
        const int result = s.reset ? common.ResetStatistics(s.request) : common.UpdateStatistics(s.request);
        EXPECT_EQ(result, s.result) << s.request;
        EXPECT_EQ(common.m_nResultCode, s.result) << s.request;
        EXPECT_EQ(common.m_nResultCodeExtended, s.extended) << s.request;
        EXPECT_EQ(dwordOf("GOODSCANCOUNT"), s.good) << s.request;
        EXPECT_EQ(dwordOf("NOREADCOUNT"), s.noRead) << s.request;
    }
}

TEST_F(StatisticsTest, CapabilitiesAndBoundPrograms)
{
    HostDouble host(1);
    SetSOHost(&host);
    std::string xml;
    EXPECT_EQ(common.RetrieveStatistics(xml), 0);
    EXPECT_NE(xml.find("<Value>0</Value>"), std::string::npos);  // the host keeps its own counts
    EXPECT_EQ(common.UpdateStatistics("=1"), 106);
    EXPECT_EQ(common.ResetStatistics(""), 106);
    SetSOHost(nullptr);
    EXPECT_EQ(dwordOf("GOODSCANCOUNT"), 7u);

    common.m_nCapUpdateStatistics = 0;
    EXPECT_EQ(common.UpdateStatistics("=1"), 106);
    EXPECT_EQ(common.ResetStatistics(""), 106);
    common.m_nCapStatisticsReporting = 0;
    xml.clear();  // the request
    EXPECT_EQ(common.RetrieveStatistics(xml), 106);

    common.m_nCapStatisticsReporting = common.m_nCapUpdateStatistics = 1;
    common.m_strDeviceKey = "SOFTWARE\\missing\\device";
    common.m_nResultCodeExtended = 42;
    EXPECT_EQ(common.UpdateStatistics("=1"), 111);
    EXPECT_EQ(common.m_nResultCodeExtended, 42);  // 111 paths leave the codes to the caller
    xml.clear();
    EXPECT_EQ(common.RetrieveStatistics(xml), 111);
}

TEST(CommonProperties, OpenCloseAndNumbers)
{
    CCommonSO common;
    long value = 0;
    EXPECT_EQ(common.GetPropertyNumber(6, &value), 1);
    EXPECT_EQ(value, 101);
    common.SetOpened();
    const struct {
        long index;
        long value;
    } opened[] = {{1, 0}, {11, 0}, {13, 0}, {501, 1}, {502, 1}, {503, 1}, {504, 0}, {505, 1}};
    for (const auto& c : opened) {
        EXPECT_EQ(common.GetPropertyNumber(c.index, &value), 1) << c.index;
        EXPECT_EQ(value, c.value) << c.index;
    }
    EXPECT_EQ(common.GetPropertyNumber(10, &value), 0);
    EXPECT_EQ(common.SetPropertyNumber(11, 2), 1);
    EXPECT_EQ(common.GetPropertyNumber(11, &value), 1);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(common.SetPropertyNumber(1, 1), 0);
    common.Reset();
    EXPECT_EQ(common.GetPropertyNumber(502, &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(CCommonSO::ToNibbles(std::string("\x12\xAB", 2)), "12:;");
    EXPECT_EQ(CCommonSO::ToDecimal(std::string("\x01\xFF", 2)), "001255");
    EXPECT_EQ(common.CompareFirmware("x.bin"), 106);  // the capability is off
    long number = 0;
    std::string text;
    EXPECT_EQ(common.DirectIO(5001, &number, &text), 106);  // no facade: nothing to inject into
    EXPECT_EQ(common.DirectIO(42, &number, &text), 106);
}

TEST(ConnectionDescriptor, SettingsAndComparison)
{
    CConDescriptor descriptor;
    descriptor.SetType("RS232");
    const SSerialSettings* settings = descriptor.GetSerialSettings();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(descriptor.GetPort(), 0);
    EXPECT_EQ(settings->m_nBaudRate, 115200);
    EXPECT_EQ(settings->m_nDataBits, 8);
    EXPECT_EQ(settings->m_nParity, 'N');
    EXPECT_EQ(settings->m_nStopBits, 1);
    const struct {
        const char* code;
        int rate;
    } rates[] = {{"0", 300}, {"5", 9600}, {"8", 57600}, {"9", 115200}, {"", 115200}, {"55", 115200}};
    for (const auto& r : rates) {
        descriptor.SetBaudRate(r.code);
        EXPECT_EQ(descriptor.GetSerialSettings()->m_nBaudRate, r.rate) << r.code;
    }
    const struct {
        const char* name;
        int parity;
    } parities[] = {{"ODD", 'O'}, {"EVEN", 'E'}, {"MARK", 'M'}, {"SPACE", 'S'}, {"odd", 'N'}, {"NONE", 'N'}};
    for (const auto& p : parities) {
        descriptor.SetParity(p.name);
        EXPECT_EQ(descriptor.GetSerialSettings()->m_nParity, p.parity) << p.name;
    }
    descriptor.SetDataBits("7");
    descriptor.SetStopBits("2");
    EXPECT_EQ(descriptor.GetSerialSettings()->m_nDataBits, 7);
    EXPECT_EQ(descriptor.GetSerialSettings()->m_nStopBits, 2);

    CConDescriptor copy(descriptor);
    EXPECT_TRUE(copy == descriptor);
    copy.SetStopBits("1");
    EXPECT_TRUE(copy != descriptor);
    for (const char* type : {"USBHID", "USBSER", "IBMPOSS"}) {
        CConDescriptor other;
        other.SetType(type);
        EXPECT_EQ(other.GetSerialSettings(), nullptr) << type;
    }
    CConDescriptor longType;
    longType.SetType("ABCDEFGHIJKLMNOP");
    EXPECT_STREQ(longType.GetType(), "ABCDEFGHIJK");
    EXPECT_TRUE(longType.IsType("ABC"));
}

class InfoKestrel : public COPOSKestrel {
public:
    using COPOSKestrel::ReplaceDevice;
};

TEST(DeviceInformation, FilledFromTheDeviceRecord)
{
    InfoKestrel kestrel;
    CDeviceInfo info(nullptr, &kestrel);
    EXPECT_EQ(info.m_strDescriptionText, "Varnex Barcode Scanner");
    EXPECT_EQ(info.m_strNameText, "Varnex Scanner");
    EXPECT_EQ(info.GetInfo(), 1001);  // no device yet

    const struct {
        int kind;
        int result;
        const char* interfaceName;
    } cases[] = {{0, 0, "RS232"}, {5, 0, "RS232"}, {1, 0, "USBSER"}, {2, 0, "USBHID"}, {3, 1001, "USBHID"},
                 {4, 1001, "USBHID"}};
    for (const auto& c : cases) {
        auto* device = new CDevice;
        device->interfaceType = c.kind;
        device->product = new CProduct;
        device->product->productType = 1;
        device->product->description = std::string(40, 'D');
        device->product->serialNumber = "SN" + std::to_string(c.kind);
        device->product->appSoftwarePartNumber = "PART";
        device->product->appDate = "DATE";
        device->product->flashType = c.kind == 2 ? 0 : 3;
        device->product->features = {1, 5};
        kestrel.ReplaceDevice(device);
        EXPECT_EQ(info.GetInfo(), c.result) << c.kind;
        EXPECT_EQ(info.m_strInterface, c.interfaceName) << c.kind;  // kinds 3 and 4 leave the last
        if (c.result != 0)
            continue;
        EXPECT_EQ(info.m_strNameText, std::string(31, 'D'));
        EXPECT_EQ(info.m_strDescriptionText, std::string(40, 'D') + ", SN" + std::to_string(c.kind));
        EXPECT_EQ(info.m_nFlashType, c.kind == 2 ? 5 : 6);
        EXPECT_EQ(info.m_nImaging, 1);
        EXPECT_EQ(info.m_strFirmwarePart, "PART");
        EXPECT_EQ(info.m_strAppDate, "DATE");
    }
    auto* bare = new CDevice;
    bare->interfaceType = 0;
    kestrel.ReplaceDevice(bare);
    EXPECT_EQ(info.GetInfo(), 1001);  // no product
}

}  // namespace
