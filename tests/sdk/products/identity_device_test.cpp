// The information filler, the fetcher and the sub-product walk against the
// simulated scanner's identities, on a virtual serial port and on a virtual
// HID interface.
#include "../ports/SerialSimulatorFixture.h"

#include "TestSupport.h"

#include "discovery/CSerialDevice.h"
#include "discovery/CUsbHidDevice.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidBarcodeScanner.h"
#include "products/CHubProduct.h"
#include "products/CProduct.h"
#include "products/CSubProductHandler.h"
#include "products/SyncMenuChannel.h"
#include "protocol/CDataProcessor.h"
#include "protocol/CDeviceInfoFetcher.h"
#include "protocol/CDeviceInfoFiller.h"
#include "protocol/CMenuData.h"
#include "protocol/CMenuMemory.h"

#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

const vxsim::IdentityModel& identity(const std::string& name)
{
    const vxsim::IdentityModel* model = vxsim::findIdentityModel(name);
    if (model == nullptr)
        throw std::runtime_error("no identity " + name);
    return *model;
}

std::size_t countOf(const std::vector<std::string>& commands, const std::string& command)
{
    return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), command));
}

bool anyStartsWith(const std::vector<std::string>& commands, const std::string& prefix)
{
    return std::any_of(commands.begin(), commands.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

// A simulated scanner with an identity, the host's open port to it and the
// device record discovery would have made for it.
class Device {
public:
    virtual ~Device() = default;
    virtual InterfacePort* port() = 0;
    virtual CDevice& record() = 0;
    virtual std::vector<std::string> menuCommands() = 0;
    virtual void setFaults(const vxsim::DataFaults& faults) = 0;
    virtual void unplug() = 0;
    // Sync pings answered (serial only; -1 on HID).
    virtual int pings() = 0;

    PORTINFO info()
    {
        PORTINFO portInfo;
        std::memset(&portInfo, 0, sizeof portInfo);
        portInfo.port = port();
        portInfo.readDelay = 5;
        portInfo.readCount = 40;
        return portInfo;
    }
};

class SerialDevice : public Device {
public:
    explicit SerialDevice(const std::string& name) : m_scanner(model(name))
    {
        EXPECT_EQ(m_port.open(m_scanner.path()), 0);
        EXPECT_EQ(m_port.setup(115200, 8, 0, 0), 0);
        EXPECT_TRUE(vxtest::waitUntil([&] { return m_scanner->hostLine().baudRate == 115200; }));
        m_record.interfaceType = EIT_RS232;
        m_record.portName = m_scanner.comName();
    }
    InterfacePort* port() override { return &m_port; }
    CDevice& record() override { return m_record; }
    std::vector<std::string> menuCommands() override { return m_scanner->menuCommands(); }
    void setFaults(const vxsim::DataFaults& faults) override { m_scanner->setDataFaults(faults); }
    void unplug() override { m_scanner->unplug(); }
    int pings() override { return m_scanner->pingsAnswered(); }

private:
    static vxsim::SerialModel model(const std::string& name)
    {
        vxsim::SerialModel m = vxtest::serialModel("rs232-115200");
        m.menu = vxsim::identityMenu(identity(name), m.menu);
        return m;
    }
    vxtest::SimulatedSerialScanner m_scanner;
    CSerialPort m_port;
    CSerialDevice m_record;
};

class HidDevice : public Device {
public:
    explicit HidDevice(const std::string& name) : m_scanner(model(name), "pos1")
    {
        EXPECT_TRUE(m_scanner.plug()) << m_scanner.lastError();
        const std::string path = m_scanner.hostPath();
        EXPECT_EQ(m_port.open(std::wstring(path.begin(), path.end())), 0);
        EXPECT_TRUE(vxtest::waitUntil([&] { return m_scanner.connections() == 1; }));
        m_record.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
        m_record.portName = path;
    }
    ~HidDevice() override { m_port.close(); }
    InterfacePort* port() override { return &m_port; }
    CDevice& record() override { return m_record; }
    std::vector<std::string> menuCommands() override { return m_scanner.menuCommands(); }
    void setFaults(const vxsim::DataFaults& faults) override { m_scanner.setDataFaults(faults); }
    void unplug() override { m_scanner.unplug(); }
    int pings() override { return -1; }

private:
    static vxsim::HidModel model(const std::string& name)
    {
        vxsim::HidModel m = *vxsim::findHidModel("hid-pos");
        m.reportIntervalUs = 200;
        m.menu = vxsim::identityMenu(identity(name), m.menu);
        return m;
    }
    vxsim::HidScanner m_scanner;
    CUsbHidBarcodeScanner m_port;
    CUsbHidDevice m_record;
};

std::unique_ptr<Device> makeDevice(const std::string& transport, const std::string& name)
{
    if (transport == "serial")
        return std::make_unique<SerialDevice>(name);
    return std::make_unique<HidDevice>(name);
}

std::set<int> featureSet(const CProduct& product)
{
    return {product.features.begin(), product.features.end()};
}

struct SubExpect {
    std::string address;
    std::string name;
    int kind;
};

// What the information filler makes of each identity.
struct FillCase {
    const char* model;
    int mode;
    int architecture;
    int kind;
    std::string name;
    std::string description;
    std::string serial;
    std::string partNumber;
    std::string version;
    std::string date;
    std::string time;
    std::string bootPartNumber;
    int flashType;
    int terminalId;
    std::set<int> features;
    std::vector<SubExpect> subs;
};

const FillCase kFillCases[] = {
    {"arch0", EDM_APP, ARCH_QUARTZ, PT_NORMAL, "VX-1000", "Linear imager", "Q0000001", "WA-100", "SW-100",
     "Jan 12 2009", "09:15:00", "", 0, 7, {1, 3, 6, 8, 9}, {}},
    {"arch1", EDM_APP, ARCH_TALON_R1, PT_NORMAL, "VX-1100", "Area imager", "T1000002", "WA-110", "SW-110",
     "Jan 12 2009", "09:15:00", "", 0, 7, {EFS_COMPID, 1, 2, 5, 7, 11}, {}},
    {"arch2", EDM_APP, ARCH_TALON_R2, PT_NORMAL, "VX-1200", "Area imager", "T2000003", "AP-120", "v120",
     "2021/03/04", "10:31:02", "BT-120", 2, 124, {EFS_COMPID, EFS_FLASH_DLL_SUPPORT, 1, 2, 4, 5, 6, 10}, {}},
    {"arch3", EDM_APP, ARCH_KELP, PT_NORMAL, "VX-1300", "Presentation imager", "K3000004", "AP-130", "v130",
     "2021/03/04", "10:31:02", "BT-130", 3, 124, {EFS_FLASH_DLL_SUPPORT, 3, 7}, {}},
    {"arch4", EDM_APP, ARCH_TZW, PT_NORMAL, "VX-1400", "Mobile computer", "Z4000005", "AP-140", "v140",
     "2021/03/04", "10:31:02", "BT-140", 4, 124, {1, 11, EFS_FLASH_DLL_SUPPORT, EFS_COMPID}, {}},
    // In the boot loader: no hub test, no architecture features, no feature
    // queries; the architecture is still probed.
    {"boot-pinfo", EDM_BOOT, ARCH_TALON_R2, PT_NORMAL, "VX-1200-BL", "Boot loader", "B2000006", "WA-120", "SW-120",
     "Mar 4 2021", "10:31:02", "BT-120", 2, 124, {}, {}},
    {"boot-devtype", EDM_BOOT, ARCH_QUARTZ, PT_NORMAL, "VX-1000-BL", "Boot loader", "B0000007", "WA-100", "SW-100",
     "Jan 12 2009", "09:15:00", "", 0, 7, {}, {}},
    {"hub-single", EDM_APP, ARCH_TALON_R2, PT_HUB, "VX-BASE", "Charging base", "H0000010", "AP-200", "v200",
     "2021/03/04", "10:31:02", "BT-200", 2, 124, {EFS_COMPID, EFS_FLASH_DLL_SUPPORT, 1, 2, EFS_WORKGROUP},
     {{"#1", "VX-1300", PT_SUB_EXTERNAL}, {"#2", "VX-1000", PT_SUB_INTERNAL},
      {"#3", "VX-V", PT_SUB_INTERNAL_VIRTUAL}, {"#4", "VX-DOCK", PT_SUB_UNKNOWN}}},
    {"hub-multi", EDM_APP, ARCH_TALON_R2, PT_HUB, "VX-MULTI", "Multi-port base", "H0000020", "AP-210", "v210",
     "2021/03/04", "10:31:02", "BT-210", 2, 124, {EFS_COMPID, EFS_FLASH_DLL_SUPPORT},
     {{"#1", "VX-1300", PT_SUB_EXTERNAL}, {"#2", "VX-1000", PT_SUB_INTERNAL}, {"#5", "VX-1400", PT_SUB_EXTERNAL}}},
    {"hub-rptscn", EDM_APP, ARCH_TALON_R1, PT_HUB, "VX-RBASE", "Radio base", "H0000030", "WA-300", "SW-300",
     "Jan 12 2009", "09:15:00", "", 0, 7, {EFS_RPTSCN, EFS_COMPID, 1, 12, EFS_WORKGROUP},
     {{"#3", "VX-1100", PT_SUB_EXTERNAL}, {"#4", "VX-1300", PT_SUB_EXTERNAL}}},
};

class IdentityOnDevice : public ::testing::TestWithParam<const char*> {};

TEST_P(IdentityOnDevice, FillerFillsModeStatusAndProductOfEveryIdentity)
{
    for (const FillCase& c : kFillCases) {
        SCOPED_TRACE(c.model);
        const std::unique_ptr<Device> device = makeDevice(GetParam(), c.model);
        PORTINFO info = device->info();
        CMenuMemory cache;
        CDeviceInfoFiller filler(&device->record(), &info, &cache, 1);
        ASSERT_TRUE(filler.fillDeviceInfo());
        const CDevice& record = device->record();
        EXPECT_EQ(record.mode, c.mode);
        ASSERT_NE(record.product, nullptr);
        const CProduct& product = *record.product;
        EXPECT_EQ(product.architecture, c.architecture);
        EXPECT_EQ(product.productType, c.kind);
        EXPECT_EQ(product.name, c.name);
        EXPECT_EQ(product.description, c.description);
        EXPECT_EQ(product.serialNumber, c.serial);
        EXPECT_EQ(product.appSoftwarePartNumber, c.partNumber);
        EXPECT_EQ(product.appVersion, c.version);
        EXPECT_EQ(product.appDate, c.date);
        EXPECT_EQ(product.appTime, c.time);
        EXPECT_EQ(product.bootSoftwarePartNumber, c.bootPartNumber);
        EXPECT_EQ(product.flashType, c.flashType);
        EXPECT_EQ(product.terminalId, c.terminalId);
        EXPECT_EQ(featureSet(product), c.features);
        EXPECT_EQ(product.features.size(), c.features.size()) << "a feature added twice";
        EXPECT_EQ(product.deviceAddress, "");

        const auto* hub = dynamic_cast<const CHubProduct*>(&product);
        EXPECT_EQ(hub != nullptr, c.kind == PT_HUB);
        EXPECT_EQ(record.interfaceUsage, c.kind == PT_HUB ? EIU_LOB : EIU_UNKNOWN);
        if (hub != nullptr) {
            ASSERT_EQ(hub->subProducts.size(), c.subs.size());
            for (std::size_t i = 0; i < c.subs.size(); ++i) {
                EXPECT_EQ(hub->subProducts[i].deviceAddress, c.subs[i].address) << i;
                EXPECT_EQ(hub->subProducts[i].name, c.subs[i].name) << i;
                EXPECT_EQ(hub->subProducts[i].productType, c.subs[i].kind) << i;
            }
        }

        // What was asked: P_INFO or the device-type query for the mode, and
        // a feature query only in the application.
        const std::vector<std::string> commands = device->menuCommands();
        EXPECT_GE(countOf(commands, "P_INFO"), 1u);
        EXPECT_EQ(anyStartsWith(commands, "n,DEVICETYPE"), !identity(c.model).device.pinfo);
        EXPECT_EQ(anyStartsWith(commands, "TRM?"), c.mode == EDM_APP);
        EXPECT_EQ(countOf(commands, "RPTSCN") != 0, c.mode == EDM_APP && !identity(c.model).device.pinfo);
    }
}

// A boot loader without P_INFO says so only in its answer to the
// device-type query; cut into single bytes ("BOO", then "T", as a slow line
// may bring it) it is still a boot loader, and is asked no application
// question (no hub test, no architecture features, no feature batches).
TEST_P(IdentityOnDevice, BootLoaderAnswerArrivingByteByByteIsStillTheBootLoader)
{
    const std::unique_ptr<Device> device = makeDevice(GetParam(), "boot-devtype");
    vxsim::DataFaults split;
    split.splitEvery = 1;
    device->setFaults(split);
    PORTINFO info = device->info();
    info.readDelay = 1;
    CMenuMemory cache;
    CDeviceInfoFiller filler(&device->record(), &info, &cache, 1);
    ASSERT_TRUE(filler.fillDeviceInfo());
    EXPECT_EQ(device->record().mode, EDM_BOOT);
    const std::vector<std::string> commands = device->menuCommands();
    EXPECT_TRUE(anyStartsWith(commands, "n,DEVICETYPE"));
    EXPECT_FALSE(anyStartsWith(commands, "TRM?")) << ::testing::PrintToString(commands);
    EXPECT_EQ(countOf(commands, "RPTSCN"), 0u);
}

TEST_P(IdentityOnDevice, LevelTwoChecksTheDeviceAndBuildsTheQuickProductOnly)
{
    const std::unique_ptr<Device> device = makeDevice(GetParam(), "arch2");
    PORTINFO info = device->info();
    const int pingsBefore = device->pings();
    CDeviceInfoFiller filler(&device->record(), &info, nullptr, 2);
    ASSERT_TRUE(filler.fillDeviceInfo());
    const std::vector<std::string> expected = {"P_NAME?", "SERNUM?"};
    EXPECT_EQ(device->menuCommands(), expected);  // no P_INFO, no device-type query
    if (std::string(GetParam()) == "serial") {
        EXPECT_EQ(device->pings(), pingsBefore + 1);  // the check came first
    }
    ASSERT_NE(device->record().product, nullptr);
    const CProduct& product = *device->record().product;
    EXPECT_EQ(product.productType, PT_QUICK);
    EXPECT_EQ(product.architecture, ARCH_UNKNOWN);
    EXPECT_EQ(product.name, "VX-1200");
    EXPECT_EQ(product.serialNumber, "T2000003");
    EXPECT_TRUE(product.features.empty());
    EXPECT_EQ(device->record().mode, EDM_UNKNOWN);

    // A device that is gone before the check gets no product.
    const std::unique_ptr<Device> gone = makeDevice(GetParam(), "arch2");
    PORTINFO goneInfo = gone->info();
    gone->unplug();
    CDeviceInfoFiller goneFiller(&gone->record(), &goneInfo, nullptr, 2);
    EXPECT_FALSE(goneFiller.fillDeviceInfo());
    EXPECT_EQ(gone->record().product, nullptr);
}

// Forwards to the real port, and unplugs the simulated device just before
// the host writes a frame that holds `trigger`.
class UnplugOnWrite : public InterfacePort {
public:
    UnplugOnWrite(Device& device, std::string trigger) : m_device(device), m_trigger(std::move(trigger)) {}
    int open(HANDLE handle) override { return m_device.port()->open(handle); }
    int open(std::wstring path) override { return m_device.port()->open(std::move(path)); }
    int close() override { return m_device.port()->close(); }
    int read(std::string& text) override { return m_device.port()->read(text); }
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        return m_device.port()->read(buffer, size, count);
    }
    int write(const unsigned char* buffer, int length, unsigned int* count) override
    {
        const std::string bytes(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
        if (!m_unplugged && bytes.find(m_trigger) != std::string::npos) {
            m_unplugged = true;
            m_device.unplug();
        }
        return m_device.port()->write(buffer, length, count);
    }
    int flush() override { return m_device.port()->flush(); }
    bool isOpened() override { return m_device.port()->isOpened(); }
    int getLastError() override { return m_device.port()->getLastError(); }
    bool isDisconnected() override { return m_device.port()->isDisconnected(); }
    HANDLE getHandle() override { return m_device.port()->getHandle(); }

private:
    Device& m_device;
    std::string m_trigger;
    bool m_unplugged = false;
};

TEST_P(IdentityOnDevice, ADeviceLostDuringTheQueriesLeaves1167)
{
    for (const char* trigger : {"P_INFO", "COMPID?", "TERMID?", "TRM?"}) {
        SCOPED_TRACE(trigger);
        const std::unique_ptr<Device> device = makeDevice(GetParam(), "arch2");
        UnplugOnWrite port(*device, trigger);
        PORTINFO info = device->info();
        info.port = &port;
        CDeviceInfoFiller filler(&device->record(), &info, nullptr, 1);
        EXPECT_FALSE(filler.fillDeviceInfo());
        EXPECT_EQ(info.errorCode, 1167);
    }
}

TEST_P(IdentityOnDevice, TheCacheAnswersARepeatedQueryWithoutAnExchange)
{
    const std::unique_ptr<Device> device = makeDevice(GetParam(), "arch2");
    PORTINFO info = device->info();
    CMenuMemory cache;
    {
        CDeviceInfoFetcher fetcher(&info, &cache);
        EXPECT_EQ(fetcher.getSerialNum(""), "T2000003");
        EXPECT_EQ(fetcher.getSerialNum(""), "T2000003");
        EXPECT_EQ(fetcher.getProductName("#9"), "");  // nobody at that address
    }
    // A second fetcher on the same cache, as the next step of discovery.
    CDeviceInfoFetcher later(&info, &cache);
    EXPECT_EQ(later.getSerialNum(""), "T2000003");
    const std::vector<std::string> commands = device->menuCommands();
    EXPECT_EQ(countOf(commands, "SERNUM?"), 1u);
    EXPECT_EQ(later.getTerminalID(""), 124);
    EXPECT_EQ(later.get232BaudRate(), 9600);
    EXPECT_EQ(later.get232DpsSetting(), 2);
}

// The walk's channel over the data processor's synchronous message.
class ProcessorChannel : public SyncMenuChannel {
public:
    explicit ProcessorChannel(CDataProcessor& processor) : m_processor(processor) {}
    CMenuData* sendMenuCmdSync(int* result, std::string frame, DWORD timeoutMs) override
    {
        std::string error;
        CData* reply = m_processor.sendMsgSync(result, std::move(frame), timeoutMs, error);
        if (auto* menu = dynamic_cast<CMenuData*>(reply))
            return menu;
        delete reply;
        return nullptr;
    }

private:
    CDataProcessor& m_processor;
};

struct WalkExpect {
    std::string address;
    std::string name;
    std::string description;
    std::string serial;
    int architecture;
    int flashType;
    int terminalId;
};

TEST_P(IdentityOnDevice, TheWalkIdentifiesEveryDeviceBehindEachKindOfHub)
{
    struct Case {
        const char* model;
        std::vector<WalkExpect> subs;
    } cases[] = {
        {"hub-single",
         {{"#1", "VX-1300", "Cordless imager", "S0000011", ARCH_KELP, 3, 124},
          {"#2", "VX-1000", "Linear imager", "S0000012", ARCH_QUARTZ, 0, 7},
          {"#3", "VX-V", "Virtual port", "S0000013", ARCH_TALON_R1, 0, 7},
          {"#4", "VX-DOCK", "Dock", "S0000014", ARCH_TZW, 0, 124}}},
        {"hub-multi",
         {{"#1", "VX-1300", "Cordless imager", "S0000021", ARCH_KELP, 3, 124},
          {"#2", "VX-1000", "Linear imager", "S0000022", ARCH_QUARTZ, 0, 7},
          {"#5", "VX-1400", "Mobile computer", "S0000023", ARCH_KELP, 4, 124}}},
        {"hub-rptscn",
         {{"#3", "VX-1100", "Cordless imager", "S0000031", ARCH_TALON_R1, 0, 7},
          {"#4", "VX-1300", "Cordless imager", "S0000032", ARCH_KELP, 3, 124}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        const std::unique_ptr<Device> device = makeDevice(GetParam(), c.model);
        CDataProcessor processor(device->port(), 1, 0, 0, 0);
        ProcessorChannel channel(processor);
        CSubProductHandler handler(&channel, 60000);
        device->record().product = new CHubProduct();
        ASSERT_TRUE(handler.fillSubProductDetails(&device->record()));
        EXPECT_FALSE(handler.isTimedOut());
        const auto& hub = dynamic_cast<const CHubProduct&>(*device->record().product);
        ASSERT_EQ(hub.subProducts.size(), c.subs.size());
        for (std::size_t i = 0; i < c.subs.size(); ++i) {
            SCOPED_TRACE(i);
            const CProduct& sub = hub.subProducts[i];
            const WalkExpect& e = c.subs[i];
            EXPECT_EQ(sub.deviceAddress, e.address);
            EXPECT_EQ(sub.name, e.name);
            EXPECT_EQ(sub.description, e.description);
            EXPECT_EQ(sub.serialNumber, e.serial);
            EXPECT_EQ(sub.architecture, e.architecture);
            EXPECT_EQ(sub.flashType, e.flashType);
            EXPECT_EQ(sub.terminalId, e.terminalId);
            // Each device answered for itself, by its own address.
            const std::vector<std::string> commands = device->menuCommands();
            EXPECT_EQ(countOf(commands, ":" + e.address + ":TERMID?"), 1u);
        }
    }
}

TEST_P(IdentityOnDevice, ABudgetThatRunsOutEndsTheWalkTimedOut)
{
    const std::unique_ptr<Device> device = makeDevice(GetParam(), "hub-single");
    // The third device stops answering the queries the budget times.
    vxsim::DataFaults faults;
    faults.silentFrom = ":#3:TERMID?";
    device->setFaults(faults);
    CDataProcessor processor(device->port(), 1, 0, 0, 0);
    ProcessorChannel channel(processor);
    CSubProductHandler handler(&channel, 4000);
    device->record().product = new CHubProduct();
    EXPECT_FALSE(handler.fillSubProductDetails(&device->record()));
    EXPECT_TRUE(handler.isTimedOut());
    const auto& hub = dynamic_cast<const CHubProduct&>(*device->record().product);
    ASSERT_EQ(hub.subProducts.size(), 4u);
    EXPECT_EQ(hub.subProducts[0].serialNumber, "S0000011");
    EXPECT_EQ(hub.subProducts[1].serialNumber, "S0000012");
    EXPECT_EQ(hub.subProducts[2].serialNumber, "S0000013");  // found before the silence
    EXPECT_EQ(hub.subProducts[2].terminalId, -1);
    EXPECT_EQ(hub.subProducts[3].serialNumber, "");
}

INSTANTIATE_TEST_SUITE_P(Transports, IdentityOnDevice, ::testing::Values("serial", "hid"));

}  // namespace
