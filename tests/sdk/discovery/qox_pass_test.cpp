// The management (Qox) passes against simulated scanners behind the
// remote-management filter driver: the serial pass copies the record found
// on the line-of-business port or probes the management port itself, the
// HID pass questions the management interface, both inside the driver's
// transaction mode, which is off again afterwards whatever happened; a
// management port whose line-of-business port is held gets a single ping;
// the connector sets the line of a management port only while its
// line-of-business port is free, and connects it while another connector
// holds that port.
#include "DiscoveryFixture.h"

#include "discovery/CSerialDevice.h"
#include "discovery/CSerialDeviceConnector.h"
#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CSerialFilterDriver.h"
#include "discovery/CUsbHidDevice.h"
#include "discovery/CUsbHidDeviceEnumerator.h"
#include "discovery/CUsbHidFilterDriver.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidPort.h"
#include "products/CProduct.h"
#include "base/StringUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>

using vxtest::DeviceList;
using vxtest::searchTemplate;

namespace {

constexpr std::uint32_t kSetTransMode = 0x8023A004;
constexpr std::uint32_t kSetTimeoutFirst = 0x8023A008;

// The values the host switched transaction mode to, in order.
std::vector<int> modeSwitches(const std::vector<vxsim::DeviceRequest>& requests)
{
    std::vector<int> values;
    for (const auto& request : requests)
        if (request.code == kSetTransMode && request.input.size() >= 24)
            values.push_back(request.input[20]);
    return values;
}

// How many sync commands a port's host sent.
std::size_t syncsIn(const std::vector<unsigned char>& bytes)
{
    static const std::vector<unsigned char> sync = {0x16, 0x43, 0x0D, 0x00};
    std::size_t count = 0;
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), sync.begin(), sync.end())) != bytes.end(); ++at)
        ++count;
    return count;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

CDiscoveryTemplate qoxTemplate(std::vector<int> types, std::vector<int> usages)
{
    CDiscoveryTemplate search = searchTemplate(std::move(types));
    search.interfaceUsages = std::move(usages);
    return search;
}

class QoxPass : public vxtest::DiscoveryTest {
protected:
    static std::string qoxPortOf(const std::string& com) { return CSerialFilterDriver().getFDQoxPort(com); }

    static const CDevice* qoxRecord(const DeviceList& list)
    {
        const CDevice* found = nullptr;
        for (const CDevice* device : list.devices)
            if (device->interfaceUsage == EIU_QOX && device->fromFilterDriver == 1) {
                EXPECT_EQ(found, nullptr) << "one management record per device";
                found = device;
            }
        return found;
    }
};

}  // namespace

TEST_F(QoxPass, SerialCopiesTheRecordOfItsLineOfBusinessPortInAnyLetterCase)
{
    for (const bool lowerCased : {false, true}) {
        SCOPED_TRACE(lowerCased ? "recorded port in lower case" : "recorded port as listed");
        auto& scanner = plugSerial("filter-rs232", lowerCased ? "fdlow" : "fdlob");
        const std::string com = vxtest::comNameOf(scanner);
        const CDiscoveryTemplate search = qoxTemplate({0}, {0, 1});
        DeviceList list;
        CSerialDeviceEnumerator serial(&search, &list.devices, CSerialDeviceEnumerator::kRs232);
        ASSERT_EQ(serial.enumerateLOB(), 0);
        ASSERT_EQ(list.devices.size(), 1u);
        const auto* lob = dynamic_cast<const CSerialDevice*>(list.devices[0]);
        ASSERT_NE(lob, nullptr);
        EXPECT_EQ(lob->fromFilterDriver, 1);
        if (lowerCased)
            list.devices[0]->portName = lower(com);
        const std::size_t queriesBefore = scanner.menuCommands().size();

        ASSERT_EQ(serial.enumerateFDQox(), 0);
        const auto* qox = dynamic_cast<const CSerialDevice*>(qoxRecord(list));
        ASSERT_NE(qox, nullptr);
        ASSERT_EQ(list.devices.size(), 2u);
        EXPECT_EQ(qox->portName, qoxPortOf(com));
        EXPECT_EQ(qox->interfaceType, EIT_RS232);
        EXPECT_EQ(qox->baudRate, lob->baudRate);
        EXPECT_EQ(qox->dataBits, lob->dataBits);
        EXPECT_EQ(qox->parity, lob->parity);
        ASSERT_NE(qox->product, nullptr);
        EXPECT_EQ(qox->product->serialNumber, lob->product->serialNumber);
        const auto commands = scanner.menuCommands();
        const auto copyStart = commands.begin() + static_cast<std::ptrdiff_t>(queriesBefore);
        EXPECT_EQ(std::count(copyStart, commands.end(), "SERNUM?"), 0)
            << "a copy takes the identity from the record it copies";
        EXPECT_EQ(modeSwitches(scanner.requests()), (std::vector<int>{1, 0}));
        EXPECT_FALSE(scanner.filterDriverState().transactionMode);
        scanner.unplug();
    }
}

TEST_F(QoxPass, SerialProbesTheManagementPortWhenNoRecordHasItsPort)
{
    struct Case {
        const char* model;
        int kind;
        int type;
    };
    for (const Case& c : {Case{"filter-rs232", CSerialDeviceEnumerator::kRs232, EIT_RS232},
                          Case{"filter-usb-serial", CSerialDeviceEnumerator::kUsbSerial, EIT_USB_SERIAL}}) {
        SCOPED_TRACE(c.model);
        auto& scanner = plugSerial(c.model, std::string("q") + c.model);
        const CDiscoveryTemplate search = qoxTemplate({c.type}, {1});
        DeviceList list;
        CSerialDeviceEnumerator serial(&search, &list.devices, c.kind);
        ASSERT_EQ(serial.enumerate(), 0);
        ASSERT_EQ(list.devices.size(), 1u) << "no line-of-business pass without usage 0";
        const auto* qox = dynamic_cast<const CSerialDevice*>(qoxRecord(list));
        ASSERT_NE(qox, nullptr);
        EXPECT_EQ(qox->portName, qoxPortOf(vxtest::comNameOf(scanner)));
        EXPECT_EQ(qox->interfaceType, c.type);
        if (c.kind == CSerialDeviceEnumerator::kRs232) {
            EXPECT_EQ(qox->baudRate, 9600) << "the whole rate search runs on a free port";
        }
        ASSERT_NE(qox->product, nullptr);
        EXPECT_EQ(qox->product->serialNumber, "SN-q" + std::string(c.model));
        EXPECT_EQ(modeSwitches(scanner.requests()), (std::vector<int>{1, 0}));
        scanner.unplug();
    }
}

TEST_F(QoxPass, SerialManagementPortOfAHeldLineOfBusinessPortGetsASinglePing)
{
    // The scanner answers at 9600; the search tries 115200 first (with dps
    // codes 2 and 0), so a free port's search pings three times.
    const struct {
        const char* name;
        bool lobHeld;
        std::size_t pings;
    } cases[] = {
        {"line-of-business port held by another program", true, 1},
        {"line-of-business port free", false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto& scanner = plugSerial("filter-rs232", c.lobHeld ? "held" : "free");
        const std::string com = vxtest::comNameOf(scanner);
        std::optional<CSerialPort> holder;
        if (c.lobHeld) {
            holder.emplace();
            ASSERT_EQ(holder->open(stringToWString("\\\\.\\" + com)), 0);
        }
        const CDiscoveryTemplate search = qoxTemplate({0}, {1});
        DeviceList list;
        CSerialDeviceEnumerator serial(&search, &list.devices, CSerialDeviceEnumerator::kRs232);
        ASSERT_EQ(serial.enumerate(), 0);
        const auto* qox = dynamic_cast<const CSerialDevice*>(qoxRecord(list));
        ASSERT_NE(qox, nullptr);
        EXPECT_EQ(qox->portName, qoxPortOf(com));
        EXPECT_EQ(qox->baudRate, 9600);
        ASSERT_NE(qox->product, nullptr);
        EXPECT_EQ(qox->product->serialNumber, "SN-" + std::string(c.lobHeld ? "held" : "free"));
        EXPECT_EQ(syncsIn(scanner.managementReceived()), c.pings);
        EXPECT_TRUE(scanner.received().empty()) << "the line-of-business port is never probed";
        EXPECT_EQ(modeSwitches(scanner.requests()), (std::vector<int>{1, 0}));
        EXPECT_EQ(scanner.hostConnected(), c.lobHeld) << "the holder keeps its port";
        holder.reset();
        scanner.unplug();
    }
}

TEST_F(QoxPass, SerialDriverThatRefusesTransactionModeGivesNoManagementRecord)
{
    for (const std::uint32_t failing : {kSetTimeoutFirst, kSetTransMode}) {
        SCOPED_TRACE(failing);
        auto& scanner = plugSerial("filter-rs232", "refuse" + std::to_string(failing & 0xFF));
        scanner.failRequest(failing);
        const CDiscoveryTemplate search = qoxTemplate({0}, {0, 1});
        DeviceList list;
        CSerialDeviceEnumerator serial(&search, &list.devices, CSerialDeviceEnumerator::kRs232);
        ASSERT_EQ(serial.enumerate(), 0);
        ASSERT_EQ(list.devices.size(), 1u);
        EXPECT_EQ(list.devices[0]->interfaceUsage, EIU_LOB);
        EXPECT_FALSE(scanner.filterDriverState().transactionMode);
        scanner.unplug();
    }
}

TEST_F(QoxPass, ConnectorSetsTheManagementPortsLineOnlyWhileItsLineOfBusinessPortIsFree)
{
    auto& scanner = plugSerial("filter-rs232", "fdconn");
    const std::string com = vxtest::comNameOf(scanner);
    const auto record = [](int usage, const std::string& port) {
        auto device = std::make_unique<CSerialDevice>();
        device->interfaceType = EIT_RS232;
        device->fromFilterDriver = 1;
        device->interfaceUsage = usage;
        device->portName = port;
        return device;
    };
    const auto lobRecord = record(EIU_LOB, com);
    const auto qoxRecord = record(EIU_QOX, lower(qoxPortOf(com)));
    const auto strangerRecord = record(EIU_QOX, qoxPortOf(com) + "9");
    CSerialDevice& lob = *lobRecord;
    CSerialDevice& qox = *qoxRecord;
    CSerialDevice& stranger = *strangerRecord;
    CSerialDeviceConnector connector(&lob, false);

    EXPECT_FALSE(connector.isNeedPortSetting4Qox(nullptr));
    EXPECT_TRUE(connector.isNeedPortSetting4Qox(&lob)) << "not a management port";
    EXPECT_TRUE(connector.isNeedPortSetting4Qox(&stranger)) << "no listed port has it";
    EXPECT_TRUE(connector.isNeedPortSetting4Qox(&qox));
    {
        CSerialPort holder;
        ASSERT_EQ(holder.open(stringToWString("\\\\.\\" + com)), 0);
        EXPECT_FALSE(connector.isNeedPortSetting4Qox(&qox)) << "its line-of-business port is held";
    }
    EXPECT_TRUE(connector.isNeedPortSetting4Qox(&qox)) << "free again";
    {
        CSerialPort management;
        ASSERT_EQ(management.open(stringToWString(qoxPortOf(com))), 0);
        EXPECT_TRUE(connector.isNeedPortSetting4Qox(&qox)) << "holding the management port leaves its port free";
    }
}

TEST_F(QoxPass, ConnectorConnectsAManagementPortWhileAnotherConnectorHoldsItsLineOfBusinessPort)
{
    // At 19200 the scanner is off the ports' default rate, so whose line
    // settings apply shows.
    vxsim::SerialModel model = vxtest::serialScannerModel("filter-rs232", "SHARED", "SN-shared");
    model.baudRate = 19200;
    m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, "shared"));
    vxsim::VirtualSerialPort& scanner = *m_serial.back();
    ASSERT_TRUE(scanner.plug()) << scanner.lastError();
    CDiscoveryTemplate search = qoxTemplate({0}, {0, 1});
    search.baudRates = {19200};
    DeviceList list;
    CSerialDeviceEnumerator serial(&search, &list.devices, CSerialDeviceEnumerator::kRs232);
    ASSERT_EQ(serial.enumerate(), 0);
    ASSERT_EQ(list.devices.size(), 2u);
    CDevice* lob = list.devices[0];
    CDevice* qox = const_cast<CDevice*>(qoxRecord(list));
    ASSERT_EQ(lob->interfaceUsage, EIU_LOB);
    ASSERT_NE(qox, nullptr);

    auto readAll = [](InterfacePort* port) {
        std::string text;
        unsigned char buffer[256];
        unsigned count = 0;
        while (port->read(buffer, sizeof buffer, &count) == 0 && count > 0)
            text.append(reinterpret_cast<const char*>(buffer), count);
        return text;
    };
    for (const bool lobHeld : {true, false}) {
        SCOPED_TRACE(lobHeld ? "line-of-business port held" : "line-of-business port free");
        std::optional<CSerialDeviceConnector> holder;
        if (lobHeld) {
            holder.emplace(lob, false);
            ASSERT_EQ(holder->connect(5000), 0);
        }
        const std::size_t requestsBefore = scanner.requests().size();
        CSerialDeviceConnector management(qox, false);
        std::string error;
        management.setErrorMsg(&error);
        ASSERT_EQ(management.connect(5000), 0) << error;
        EXPECT_TRUE(scanner.managementConnected());
        EXPECT_EQ(scanner.managementLine().baudRate, lobHeld ? 9600u : 19200u)
            << "the record's line is set only on a free port";
        const auto requests = scanner.requests();
        EXPECT_EQ(modeSwitches({requests.begin() + static_cast<std::ptrdiff_t>(requestsBefore), requests.end()}),
                  (std::vector<int>{1, 0}));

        if (lobHeld) {
            scanner.scan("LABEL-7");
            std::string label;
            EXPECT_TRUE(vxtest::waitUntil([&] {
                label += readAll(holder->getPort());
                return label.find("LABEL-7") != std::string::npos;
            })) << label;
            EXPECT_EQ(readAll(management.getPort()), "") << "labels are line-of-business data";
            EXPECT_EQ(holder->disconnect(), 0);
        }
        EXPECT_EQ(management.disconnect(), 0);
        ASSERT_TRUE(vxtest::waitUntil([&] { return !scanner.managementConnected() && !scanner.hostConnected(); }));
    }
}

TEST_F(QoxPass, HidQuestionsTheManagementInterfaceInsideTransactionMode)
{
    auto& managed = plugHid(vxtest::hidScannerModel("hid-filter-qox", "QOX", "SN-q"), "fdqox");
    auto& plain = plugHid(vxtest::hidScannerModel("hid-qox", "PLAIN", "SN-p"), "plainqox");
    const CDiscoveryTemplate search = qoxTemplate({2}, {1});
    DeviceList list;
    CUsbHidDeviceEnumerator hid(&search, &list.devices);
    ASSERT_EQ(hid.enumerateFDQox(), 0);
    ASSERT_EQ(list.devices.size(), 1u) << "only the driver's interface has a management path";
    const CDevice* qox = list.devices[0];
    EXPECT_NE(dynamic_cast<const CUsbHidDevice*>(qox), nullptr);
    EXPECT_EQ(qox->interfaceUsage, EIU_QOX);
    EXPECT_EQ(qox->fromFilterDriver, 1);
    EXPECT_EQ(qox->interfaceType, EIT_USB_HID_BARCODE_SCANNER);
    EXPECT_EQ(lower(qox->portName), lower(CUsbHidFilterDriver().getFDQoxPort(managed.hostPath())));
    ASSERT_NE(qox->product, nullptr);
    EXPECT_EQ(qox->product->serialNumber, "SN-q");
    EXPECT_EQ(modeSwitches(managed.deviceRequests()), (std::vector<int>{1, 0}));
    EXPECT_FALSE(managed.filterDriverState().transactionMode);
    EXPECT_TRUE(plain.menuCommands().empty());
}

TEST_F(QoxPass, HidSkipsAnOccupiedOrRefusingManagementInterface)
{
    auto& occupied = plugHid(vxtest::hidScannerModel("hid-filter-qox", "QOX", "SN-o"), "occupied");
    auto& refusing = plugHid(vxtest::hidScannerModel("hid-filter-qox", "QOX", "SN-r"), "refusing");
    refusing.failRequest(kSetTransMode);
    CUsbHidPort holder(true);
    ASSERT_EQ(holder.open(stringToWString(occupied.hostPath())), 0);

    const CDiscoveryTemplate search = qoxTemplate({2}, {1});
    DeviceList list;
    CUsbHidDeviceEnumerator hid(&search, &list.devices);
    ASSERT_EQ(hid.enumerateFDQox(), 0);
    EXPECT_TRUE(list.devices.empty());
    EXPECT_TRUE(occupied.deviceRequests().empty());
    EXPECT_TRUE(refusing.menuCommands().empty()) << "never questioned outside transaction mode";
    EXPECT_FALSE(refusing.filterDriverState().transactionMode);
}

TEST_F(QoxPass, CompositeHidDeviceManagementInterfaceIsCopiedFromItsPointOfSaleRecord)
{
    std::vector<vxsim::HidModel> composite = vxsim::compositeHidDevice("SN-comp");
    for (auto& model : composite) {
        model.menu = vxtest::identityMenuFor("COMPOSITE", "SN-comp");
        model.reportIntervalUs = 0;
    }
    composite[1].filterDriver = true;
    auto& pos = plugHid(composite[0], "comp-pos");
    auto& qoxInterface = plugHid(composite[1], "comp-qox");

    const CDiscoveryTemplate search = qoxTemplate({2}, {0, 1, 2});
    DeviceList list;
    CUsbHidDeviceEnumerator hid(&search, &list.devices);
    ASSERT_EQ(hid.enumerate(), 0);

    const std::string qoxPath = lower(CUsbHidFilterDriver().getFDQoxPort(qoxInterface.hostPath()));
    const CDevice* posRecord = nullptr;
    const CDevice* qoxRecord = nullptr;
    for (const CDevice* device : list.devices) {
        if (lower(device->portName) == pos.hostPath())
            posRecord = device;
        if (lower(device->portName) == qoxPath)
            qoxRecord = device;
    }
    ASSERT_NE(posRecord, nullptr);
    ASSERT_NE(qoxRecord, nullptr);
    EXPECT_EQ(qoxRecord->interfaceUsage, EIU_QOX);
    EXPECT_EQ(qoxRecord->fromFilterDriver, 1);
    EXPECT_EQ(qoxRecord->interfaceType, EIT_USB_HID_BARCODE_SCANNER);
    ASSERT_NE(qoxRecord->product, nullptr);
    EXPECT_NE(qoxRecord->product, posRecord->product) << "a clone, not a shared product";
    EXPECT_EQ(qoxRecord->product->serialNumber, "SN-comp");
    EXPECT_FALSE(pos.menuCommands().empty());
    const auto commands = qoxInterface.menuCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "SERNUM?"), 0)
        << "the management interface is copied, not identified";
    EXPECT_EQ(modeSwitches(qoxInterface.deviceRequests()), (std::vector<int>{1, 0}));
}
