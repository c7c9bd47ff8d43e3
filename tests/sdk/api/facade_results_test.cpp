// The result codes and last-error texts a caller provokes on the three
// facades without a working device: calls before initialize, refused
// requests and bad arguments; and the enumerator that throws.
#include "ApiFixture.h"

#include "api/DiscoveryEnumerators.h"
#include "base/CancelFlag.h"
#include "discovery/CSerialDevice.h"
#include "discovery/CUsbHidDevice.h"
#include "products/CProduct.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

using namespace vxtest;

namespace {

class FacadeResultsTest : public ApiTest {};

// A HID scanner that answers no question and keeps sending reports none of
// which ends a message, from construction until destruction or until
// `bound` has passed; it then sends a last report, which ends any read that
// is still waiting for one, and answers again.
class EndlessMessage {
public:
    explicit EndlessMessage(vxsim::HidScanner& scanner, std::chrono::seconds bound = std::chrono::seconds(15))
        : m_scanner(silenced(scanner)), m_thread([this, &scanner, bound] {
              std::vector<std::uint8_t> more(64, 0);
              more[1] = 4;
              std::copy_n("more", 4, more.begin() + 5);
              more[63] = 1;
              const auto until = std::chrono::steady_clock::now() + bound;
              while (!m_stop) {
                  if (std::chrono::steady_clock::now() >= until) {
                      m_gaveUp = true;
                      break;
                  }
                  scanner.sendReport(more);
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
              more[63] = 0;
              scanner.sendReport(more);
          })
    {
    }
    ~EndlessMessage()
    {
        m_stop = true;
        m_thread.join();
        m_scanner.setDataFaults({});
    }
    EndlessMessage(const EndlessMessage&) = delete;
    EndlessMessage& operator=(const EndlessMessage&) = delete;
    // The bound ended the stream: whoever read it was not stopped before.
    bool gaveUp() const { return m_gaveUp; }

private:
    static vxsim::HidScanner& silenced(vxsim::HidScanner& scanner)
    {
        vxsim::DataFaults silent;
        silent.silent = true;
        scanner.setDataFaults(silent);
        return scanner;
    }

    vxsim::HidScanner& m_scanner;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_gaveUp{false};
    std::thread m_thread;
};

TEST_F(FacadeResultsTest, DiscoveryCodes)
{
    // Found by the searches that look at RS-232 ports.
    plugSerial("rs232", "res-discovery");
    // Found by the searches that look at HID ports; its first question is
    // answered with a message that never ends in the rows that say so.
    vxsim::HidScanner& endless = plugHid(hidScannerModel("hid-pos", "ENDLESS", "SN-endless"), "res-endless");
    // Whether the scanner has been asked a question since `before` ones.
    const auto askedSince = [&endless](std::size_t before) {
        return [&endless, before] { return endless.menuCommands().size() > before; };
    };
    struct Case {
        const char* name;
        bool initialized;
        std::function<int(CDiscovery&)> call;
        int code;
        std::string text;
        // Runs after the checks, before the object goes.
        std::function<void(CDiscovery&)> after = nullptr;
    };
    // A search that another thread runs meanwhile, held by the endless
    // message until it is cancelled.
    std::unique_ptr<EndlessMessage> held;
    std::thread holder;
    std::atomic<int> holderResult{-1};
    const auto enumerateKinds = [](std::vector<int> kinds) {
        return [kinds](CDiscovery& discovery) {
            DeviceList found;
            return discovery.enumerate(searchTemplate(kinds), &found.devices, 5000);
        };
    };
    const auto breakProbe = [](CDiscovery& discovery) {
        CDiscoveryTemplate search = searchTemplate({0});
        search.method = 1;
        DeviceList found;
        return discovery.enumerate(search, &found.devices, 5000);
    };
    const auto physicalPorts = [](CDiscovery& discovery) {
        std::vector<std::string> ports;
        return discovery.getPhysicalComPorts(&ports);
    };
    const auto cancel = [](CDiscovery& discovery) { return discovery.cancelEnumerate(); };
    const std::vector<Case> cases = {
        {"enumerate before initialize", false, enumerateKinds({2}), 7, "discovery not been initialized!"},
        {"enumerate after unInitialize", true,
         [&](CDiscovery& discovery) {
             discovery.unInitialize();
             return enumerateKinds({2})(discovery);
         },
         7, "discovery not been initialized!"},
        {"cancel before initialize", false, cancel, 7, "discovery not been initialized!"},
        {"physical ports before initialize", false, physicalPorts, 7, "discovery not been initialized!"},
        // The break probe is refused before the mutex is touched, but only
        // once the object is initialised.
        {"break method", true, breakProbe, 4, "Invalid discovery method, not support Break."},
        {"break method before initialize", false, breakProbe, 7, "discovery not been initialized!"},
        {"only unknown kinds", true, enumerateKinds({7, 9}), 0, "enumerate successful!"},
        // Without a list the search still runs and keeps nothing.
        {"no list", true,
         [](CDiscovery& discovery) { return discovery.enumerate(searchTemplate({2, 0}), nullptr, 10000); }, 0,
         "enumerate successful!"},
        {"cancel", true, cancel, 0, "cancelEnumerate successful!"},
        // A cancel from another thread while the device holds a question
        // with reports that never end the message.
        {"cancel during a search", true,
         [&](CDiscovery& discovery) {
             const auto asked = askedSince(endless.menuCommands().size());
             EndlessMessage stream(endless);
             std::thread canceller([&] {
                 EXPECT_TRUE(waitUntil(asked));
                 discovery.cancelEnumerate();
             });
             DeviceList found;
             const int result = discovery.enumerate(searchTemplate({2}), &found.devices, 60000);
             canceller.join();
             EXPECT_FALSE(stream.gaveUp()) << "the search waited for the message to end";
             EXPECT_TRUE(found.devices.empty());
             return result;
         },
         2, "Fail in USB HID scanner enumeration. Cancelled."},
        // Another search holds the object longer than this one may wait.
        {"busy with another search", true,
         [&](CDiscovery& discovery) {
             const auto asked = askedSince(endless.menuCommands().size());
             held = std::make_unique<EndlessMessage>(endless);
             holder = std::thread([&] {
                 DeviceList found;
                 holderResult = discovery.enumerate(searchTemplate({2}), &found.devices, 60000);
             });
             EXPECT_TRUE(waitUntil(asked));
             DeviceList found;
             return discovery.enumerate(searchTemplate({2}), &found.devices, 200);
         },
         1, "wait for another operation timeout!",
         [&](CDiscovery& discovery) {
             discovery.cancelEnumerate();
             holder.join();
             EXPECT_FALSE(held->gaveUp());
             held.reset();
             EXPECT_EQ(holderResult.load(), 2);
         }},
        // The flag is cleared when a search starts: a cancel before it is lost.
        {"cancel before enumerate", true,
         [](CDiscovery& discovery) {
             discovery.cancelEnumerate();
             DeviceList found;
             return discovery.enumerate(searchTemplate({7}), &found.devices, 5000);
         },
         0, "enumerate successful!"},
        {"physical ports", true, physicalPorts, 0, "getPhysicalComPorts successful!"},
        {"HID ports, not initialised", false,
         [](CDiscovery& discovery) {
             discovery.listUsbHidPorts();
             return 0;
         },
         0, "listUsbHidPorts successful!"},
        {"serial ports, not initialised", false,
         [](CDiscovery& discovery) {
             discovery.listSerialPorts(false);
             return 0;
         },
         0, "listSerialPorts successful!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDiscovery discovery;
        if (c.initialized)
            discovery.initialize();
        EXPECT_EQ(c.call(discovery), c.code);
        EXPECT_EQ(lastErrorOf(discovery), c.text);
        if (c.after)
            c.after(discovery);
    }
}

// Enough devices already in the caller's list: nothing is searched, and the
// physical ports are appended behind what the list held.
TEST_F(FacadeResultsTest, DiscoveryAppendsToTheCallersLists)
{
    auto& scanner = plugSerial("rs232", "res-append");
    CDiscovery discovery;
    discovery.initialize();

    DeviceList found;
    auto* held = new CSerialDevice();
    found.devices.push_back(held);
    CDiscoveryTemplate search = searchTemplate({0});
    search.maxCount = 1;
    const std::size_t before = scanner.received().size();
    EXPECT_EQ(discovery.enumerate(search, &found.devices, 10000), 0) << lastErrorOf(discovery);
    ASSERT_EQ(found.devices.size(), 1u);
    EXPECT_EQ(found.devices[0], held);
    EXPECT_EQ(scanner.received().size(), before);

    std::vector<std::string> ports = {"KEPT"};
    ASSERT_EQ(discovery.getPhysicalComPorts(&ports), 0) << lastErrorOf(discovery);
    ASSERT_GE(ports.size(), 2u);
    EXPECT_EQ(ports[0], "KEPT");
    EXPECT_EQ(ports[1].rfind(comNameOf(scanner) + " - ", 0), 0u) << ports[1];
}

// A connectible HID record of this kind on this path.
std::unique_ptr<CUsbHidDevice> hidRecord(int interfaceType, const std::string& path)
{
    auto device = std::make_unique<CUsbHidDevice>();
    device->interfaceType = interfaceType;
    device->connectible = true;
    device->portName = path;
    return device;
}

// An enumerator that fails the way no device can make one fail.
class ScriptedEnumerator : public CDeviceEnumerator {
public:
    using Script = std::function<int(ScriptedEnumerator&)>;
    ScriptedEnumerator(const CDiscoveryTemplate* search, std::vector<CDevice*>* devices, Script script)
        : CDeviceEnumerator(search, devices), m_script(std::move(script))
    {
    }
    int enumerate() override { return m_script(*this); }
    std::vector<CDevice*>& devices() { return *m_devices; }

private:
    Script m_script;
};

// Every kind's enumerator runs the script; the SDK's own maker comes back
// at the end of the scope.
class ScriptedEnumerators {
public:
    explicit ScriptedEnumerators(ScriptedEnumerator::Script script)
    {
        setDiscoveryEnumeratorMaker([script](DiscoveryEnumeratorKind, const CDiscoveryTemplate* search,
                                             std::vector<CDevice*>* devices) -> std::unique_ptr<CDeviceEnumerator> {
            return std::make_unique<ScriptedEnumerator>(search, devices, script);
        });
    }
    ~ScriptedEnumerators() { setDiscoveryEnumeratorMaker(nullptr); }
    ScriptedEnumerators(const ScriptedEnumerators&) = delete;
    ScriptedEnumerators& operator=(const ScriptedEnumerators&) = delete;
};

// An enumerator that throws ends the search with 6 and the kind's failure
// text, unless the time ran out (1) or the caller cancelled (2) first; the
// devices found before stay the caller's, and the mutex is free again: a
// search from another thread (the mutex is recursive for its owner) gets
// it at once.
TEST_F(FacadeResultsTest, EnumeratorFailures)
{
    struct Case {
        const char* name;
        int kind;
        DWORD budget;
        ScriptedEnumerator::Script script;
        int code;
        std::string text;
    };
    const auto found = [](ScriptedEnumerator& enumerator) { enumerator.devices().push_back(new CSerialDevice()); };
    const std::vector<Case> cases = {
        {"standard exception", 2, 60000,
         [&](ScriptedEnumerator& enumerator) -> int {
             found(enumerator);
             throw std::runtime_error("probe lost");
         },
         6, "Fail in USB HID scanner enumeration. Exception:probe lost"},
        {"anything else thrown", 0, 60000,
         [&](ScriptedEnumerator& enumerator) -> int {
             found(enumerator);
             throw 42;
         },
         6, "Fail in RS232 scanner enumeration. Exception:unknown"},
        {"thrown after a cancel", 1, 60000,
         [&](ScriptedEnumerator& enumerator) -> int {
             found(enumerator);
             requestCancel(enumerator.getCancelFlag());
             throw std::runtime_error("stopped");
         },
         2, "Fail in USB Serial scanner enumeration. Exception:stopped Cancelled."},
        {"thrown once the time ran out", 5, 300,
         [&](ScriptedEnumerator& enumerator) -> int {
             found(enumerator);
             EXPECT_TRUE(waitUntil([&] { return enumerator.isTimeout(); }));
             throw std::runtime_error("late");
         },
         1, "Fail in Serial Other type interface enumeration. Exception:late Timeout."},
        {"a code of its own", 3, 60000,
         [&](ScriptedEnumerator& enumerator) {
             found(enumerator);
             return 9;
         },
         9, "Fail in USB HID scanner enumeration."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDiscovery discovery;
        discovery.initialize();
        DeviceList list;
        {
            ScriptedEnumerators scripted(c.script);
            EXPECT_EQ(discovery.enumerate(searchTemplate({c.kind}), &list.devices, c.budget), c.code);
        }
        EXPECT_EQ(lastErrorOf(discovery), c.text);
        EXPECT_EQ(list.devices.size(), 1u);

        int later = -1;
        std::thread other([&] {
            DeviceList none;
            later = discovery.enumerate(searchTemplate({7}), &none.devices, 20000);
        });
        other.join();
        EXPECT_EQ(later, 0) << lastErrorOf(discovery);
    }
}

TEST_F(FacadeResultsTest, ConnectionCodes)
{
    struct Case {
        const char* name;
        bool initialized;
        std::function<int(CConnection&, HANDLE*)> call;
        int code;
        std::string text;
    };
    const auto connectRecord = [](int type, bool exclusive, bool connectible = true) {
        return [=](CConnection& connection, HANDLE* handle) {
            auto device = serialRecord(type, "COM250");
            device->connectible = connectible;
            return connection.connect(device.get(), handle, exclusive, false, 5000);
        };
    };
    const std::string notInitialized = "Connection not initialized!";
    const std::string notConnectible = "This interface isn't connectible.";
    const std::vector<Case> cases = {
        {"connect before initialize", false, connectRecord(EIT_RS232, true), 4, notInitialized},
        {"disconnect before initialize", false, [](CConnection& c, HANDLE*) { return c.disconnect(); }, 4,
         notInitialized},
        {"callback before initialize", false,
         [](CConnection& c, HANDLE*) {
             return c.setDisconnectCallback(nullptr, [](void*, std::string&) {});
         },
         4, notInitialized},
        {"monitor mask before initialize", false, [](CConnection& c, HANDLE*) { return c.setMonitorMask(0x20); }, 4,
         notInitialized},
        {"port test before initialize", false,
         [](CConnection& c, HANDLE*) {
             bool available = true;
             return c.isPortAvailable("COM1", &available);
         },
         4, notInitialized},
        {"null device", true, [](CConnection& c, HANDLE* handle) { return c.connect(nullptr, handle, true, false, 5000); },
         2, "Device is null."},
        {"device not connectible", true, connectRecord(EIT_RS232, true, false), 2, "Device is not connectible."},
        {"RS-232 shared", true, connectRecord(EIT_RS232, false), 2,
         "can't open with non exclusive access at RS232 device."},
        {"other serial shared", true, connectRecord(EIT_OTHER_SERIAL, false), 2,
         "can't open with non exclusive access at RS232 device."},
        {"USB serial shared", true, connectRecord(EIT_USB_SERIAL, false), 2,
         "can't open with non exclusive access at USB Serial device."},
        {"SurePOS interface", true, connectRecord(EIT_USB_HID_IBM_SUREPOS, true), 1, notConnectible},
        {"keyboard interface", true, connectRecord(EIT_USB_HID_KBD, true), 1, notConnectible},
        {"unknown interface", true, connectRecord(EIT_UNKNOWN, true), 1, notConnectible},
        {"disconnect, nothing connected", true, [](CConnection& c, HANDLE*) { return c.disconnect(); }, 0,
         "We are not connected currently."},
        // Kept for the next connection, whose loss it reports (see
        // LifecycleTest.DisconnectCallbackAcrossConnections); a null one
        // clears what was kept.
        {"callback before connect", true,
         [](CConnection& c, HANDLE*) {
             return c.setDisconnectCallback(nullptr, [](void*, std::string&) {});
         },
         0, "Set disconnection callback successfully!"},
        {"null callback before connect", true,
         [](CConnection& c, HANDLE*) { return c.setDisconnectCallback(nullptr, nullptr); }, 0,
         "Set disconnection callback successfully!"},
        {"monitor mask before connect", true, [](CConnection& c, HANDLE*) { return c.setMonitorMask(0x20); }, 2,
         "There is no device monitor currently."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CConnection connection;
        if (c.initialized)
            connection.initialize();
        HANDLE untouched = reinterpret_cast<HANDLE>(0x5a5a);
        HANDLE handle = untouched;
        EXPECT_EQ(c.call(connection, &handle), c.code);
        EXPECT_EQ(lastErrorOf(connection), c.text);
        EXPECT_EQ(handle, untouched);
        EXPECT_FALSE(connection.isConnected());
    }
}

// The port test squeezes out blanks and ignores case, answers 0 whatever
// it finds, and sees a port that a connection holds as taken.
TEST_F(FacadeResultsTest, PortAvailability)
{
    auto& scanner = plugSerial("rs232", "res-avail");
    std::string lower = comNameOf(scanner);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string spread = " " + lower.substr(0, 2) + " \t" + lower.substr(2) + " ";
    CConnection connection;
    connection.initialize();

    bool available = false;
    EXPECT_EQ(connection.isPortAvailable(spread, &available), 0);
    EXPECT_TRUE(available);
    EXPECT_EQ(lastErrorOf(connection), "isPortAvailable successful!");
    available = true;
    EXPECT_EQ(connection.isPortAvailable("COM250", &available), 0);
    EXPECT_FALSE(available);
    available = true;
    EXPECT_EQ(connection.isPortAvailable("\\\\?\\hid#nothing-here", &available), 0);
    EXPECT_FALSE(available);

    CDevice* device = discoverOne({0});
    ASSERT_NE(device, nullptr);
    HANDLE handle = nullptr;
    ASSERT_EQ(connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(connection);
    available = true;
    EXPECT_EQ(connection.isPortAvailable(spread, &available), 0);
    EXPECT_FALSE(available);
    // A second connect on a connected object is refused.
    EXPECT_EQ(connection.connect(device, &handle, true, false, 10000), 2);
    EXPECT_EQ(lastErrorOf(connection),
              "There is already one device connected. Please disconnect it before performing connecting another "
              "device.");
    EXPECT_TRUE(connection.isConnected());
    EXPECT_EQ(connection.disconnect(), 0);
    EXPECT_EQ(connection.isPortAvailable(spread, &available), 0);
    EXPECT_TRUE(available);
}

TEST_F(FacadeResultsTest, DataCollectionCodesBeforeInitialize)
{
    struct Case {
        const char* name;
        std::function<int(CDataCollection&)> call;
        int code;
        std::string text;
    };
    const std::string notInitialized = "data collection not been initialized!";
    // Set-up of this record, which the call keeps.
    const auto initializeWith = [](std::shared_ptr<CDevice> device) {
        return [device](CDataCollection& d) { return d.initialize(device.get(), nullptr, 1, 1000); };
    };
    const std::vector<Case> cases = {
        {"callback", [](CDataCollection& d) { return d.setCallback(nullptr, &RecordSink::callback); }, 3,
         notInitialized},
        {"pattern", [](CDataCollection& d) { return d.setPattern(CDataCollection::getDefaultPattern()); }, 3,
         notInitialized},
        // Not initialised is checked before the list.
        {"empty pattern", [](CDataCollection& d) { return d.setPattern({}); }, 3, notInitialized},
        {"synchronous command",
         [](CDataCollection& d) {
             int result = -1;
             EXPECT_EQ(d.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 1000), nullptr);
             return result;
         },
         3, notInitialized},
        {"asynchronous command", [](CDataCollection& d) { return d.sendMenuCmdAsync(menuFrame("BEPLVL?!")); }, 3,
         notInitialized},
        {"switch to raw", [](CDataCollection& d) { return d.switchProcessorState(0); }, 3, notInitialized},
        {"flush", [](CDataCollection& d) { return d.flush(); }, 3, notInitialized},
        {"sub-products", [](CDataCollection& d) { return d.getSubProductDetails(1000); }, 3, notInitialized},
        {"shut down", [](CDataCollection& d) { return d.shutDown(); }, 0, "shutDown successful!"},
        {"current state", [](CDataCollection& d) { return d.getCurrentState(); }, 1, "getCurrentState successful!"},
        {"library version",
         [](CDataCollection& d) {
             std::string version;
             int result = d.getLibraryVersion(version);
             EXPECT_EQ(version, "3.1.04");
             return result;
         },
         0, "getLibraryVersion successful!"},
        {"null connection", [](CDataCollection& d) { return d.initialize(nullptr, 1, 1000); }, 1,
         "parameter error with connection object!"},
        {"connection without device",
         [](CDataCollection& d) {
             CConnection connection;
             connection.initialize();
             return d.initialize(&connection, 1, 1000);
         },
         1, "parameter error with connection object!"},
        {"null device", [](CDataCollection& d) { return d.initialize(nullptr, nullptr, 1, 1000); }, 1,
         "parameter error for device or handle!"},
        {"device not connectible",
         [](CDataCollection& d) {
             auto device = serialRecord(EIT_RS232, "COM250");
             device->connectible = false;
             return d.initialize(device.get(), nullptr, 1, 1000);
         },
         1, "the device is not connectible!"},
        {"keyboard interface", initializeWith(hidRecord(EIT_USB_HID_KBD, "\\\\?\\hid#keyboard")), 1,
         "port type not supported!"},
        {"serial port missing", initializeWith(serialRecord(EIT_RS232, "COM250")), 5, "serial port open failed!"},
        {"HID interface missing",
         initializeWith(hidRecord(EIT_USB_HID_BARCODE_SCANNER, "\\\\?\\hid#vid_0000&pid_0000#missing")), 5,
         "usbhid port open failed!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDataCollection collection;
        EXPECT_EQ(c.call(collection), c.code);
        EXPECT_EQ(lastErrorOf(collection), c.text);
        // Nothing a refusal did leaves the object half initialised.
        EXPECT_EQ(collection.sendMenuCmdAsync(menuFrame("BEPLVL?!")), 3);
    }

    // The pass-throughs do nothing without a processor; the record stays
    // the caller's.
    CDataCollection collection;
    collection.injectData(nullptr);
    auto record = std::make_unique<CData>(4);
    collection.injectData(record.get());
    std::string buffer = "kept";
    collection.getLocalBuff(buffer);
    EXPECT_EQ(buffer, "kept");
}

TEST_F(FacadeResultsTest, DefaultPatternIsTheNineMenuEndings)
{
    const std::vector<std::string> expected = {"\x06@", "\x06!", "\x06.", "\x15@", "\x15!",
                                               "\x15.", "\x05@", "\x05!", "\x05."};
    EXPECT_EQ(CDataCollection::getDefaultPattern(), expected);
}

// Refusals of an initialised collection, and the set-up that finds a device
// record of the wrong kind for its interface.
TEST_F(FacadeResultsTest, DataCollectionRefusalsWhenInitialized)
{
    auto& scanner = plugSerial("rs232", "res-init");
    const std::string port = comNameOf(scanner);

    {
        // The port opens, but the record is no serial record: the port is
        // closed again.
        auto wrongKind = hidRecord(EIT_RS232, port);
        CDataCollection collection;
        EXPECT_EQ(collection.initialize(wrongKind.get(), nullptr, 1, 3000), 1);
        EXPECT_EQ(lastErrorOf(collection), "convert to CSerialDevice object failed!");
        CConnection probe;
        probe.initialize();
        bool available = false;
        probe.isPortAvailable(port, &available);
        EXPECT_TRUE(available);
    }

    auto device = serialRecord(EIT_RS232, port);
    CDataCollection collection;
    ASSERT_EQ(collection.initialize(device.get(), nullptr, 1, 3000), 0) << lastErrorOf(collection);
    EXPECT_EQ(lastErrorOf(collection), "initialize successful!");

    struct Case {
        const char* name;
        std::function<int()> call;
        int code;
        std::string text;
    };
    CProduct plain;
    const std::vector<Case> cases = {
        {"initialize again", [&] { return collection.initialize(device.get(), nullptr, 1, 3000); }, 4,
         "data collection already been initialized!"},
        {"initialize again from a connection",
         [&] {
             CConnection connection;
             return collection.initialize(&connection, 1, 3000);
         },
         4, "data collection already been initialized!"},
        {"empty pattern list", [&] { return collection.setPattern({}); }, 1,
         "invalid pattern parameter, empty pattern!"},
        {"empty pattern entry", [&] { return collection.setPattern({"\x06@", ""}); }, 1,
         "invalid pattern parameter, it has empty value."},
        {"pattern", [&] { return collection.setPattern({"\x06@", "\x06."}); }, 0, "set Pattern successful!"},
        {"null callback", [&] { return collection.setCallback(nullptr, nullptr); }, 1, "callback pointer is null!"},
        {"callback", [&] { return collection.setCallback(&m_sink, &RecordSink::callback); }, 0,
         "setCallback successful!"},
        {"device without product", [&] { return collection.getSubProductDetails(1000); }, 4,
         "null device or product pointer!"},
        {"product that is no hub",
         [&] {
             device->product = &plain;
             int result = collection.getSubProductDetails(1000);
             device->product = nullptr;
             return result;
         },
         4, "null sub product pointer!"},
        {"flush", [&] { return collection.flush(); }, 0, "flush successful!"},
        {"current state", [&] { return collection.getCurrentState(); }, 1, "getCurrentState successful!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), c.code);
        EXPECT_EQ(lastErrorOf(collection), c.text);
    }
    EXPECT_EQ(collection.shutDown(), 0);
    EXPECT_EQ(lastErrorOf(collection), "shutDown successful!");
}

}  // namespace
