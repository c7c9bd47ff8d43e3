// The facade's result codes and texts, each provoked, with the fake flash
// library where a library is needed.
#include "FirmwareFixture.h"

#include "api/CConnection.h"
#include "discovery/CUsbHidDevice.h"
#include "products/CProduct.h"

#include "platform/file.h"
#include "platform/sync.h"

using namespace vxtest;

namespace {

const char* const kNotInitialized = "FirmwareUpdater not initialized!";

using FirmwareFacade = FakeFirmwareTest;

// Before a successful intialize (and after a failed one) every operation
// but intialize answers 5; unInitialize always answers 0.
TEST_F(FirmwareFacade, NotInitialisedAnswersFive)
{
    ASSERT_TRUE(m_fake.loaded());
    CDevice* device = connectHid("facade-five");
    ASSERT_NE(device, nullptr);
    CFirmwareUpdater updater;
    auto expectNotInitialised = [&](const char* when) {
        SCOPED_TRACE(when);
        fileversion_type version{};
        std::string text;
        EXPECT_EQ(updater.flashFirmware(nullptr, "file.mocf"), 5);
        EXPECT_EQ(lastErrorOf(updater), kNotInitialized);
        EXPECT_EQ(updater.cancelFlash(), 5);
        EXPECT_EQ(lastErrorOf(updater), kNotInitialized);
        EXPECT_EQ(updater.getDllVersion(text), 5);
        EXPECT_EQ(lastErrorOf(updater), kNotInitialized);
        EXPECT_EQ(updater.getFileVersion("file.mocf", &version), 5);
        EXPECT_EQ(lastErrorOf(updater), kNotInitialized);
    };
    expectNotInitialised("never initialised");

    ASSERT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 0) << lastErrorOf(updater);
    std::string version;
    EXPECT_EQ(updater.getDllVersion(version), 0);
    EXPECT_EQ(version, "FAKE-FLASH 9.8.7");
    // The same facade again, with a folder that holds no library.
    CFirmwareUpdaterTemplate empty;
    empty.flashDllFolder = m_dir.path().string();
    EXPECT_EQ(updater.intialize(&m_connection, empty), 2);
    EXPECT_EQ(lastErrorOf(updater), "can't find the dll file!");
    expectNotInitialised("after a failed initialise");

    EXPECT_EQ(updater.unInitialize(), 0);
    EXPECT_EQ(updater.unInitialize(), 0);
    std::string text;
    EXPECT_EQ(updater.getLastError(text), 0);
}

TEST_F(FirmwareFacade, TheConnectionMustBeConnectedAndExclusive)
{
    CFirmwareUpdater updater;
    EXPECT_EQ(updater.intialize(static_cast<CConnection*>(nullptr), fakeTemplate(0)), 1);
    EXPECT_EQ(lastErrorOf(updater), "invalid CConnection paramter!");
    CConnection notConnected;
    notConnected.initialize();
    EXPECT_EQ(updater.intialize(&notConnected, fakeTemplate(0)), 1);
    EXPECT_EQ(lastErrorOf(updater), "invalid CConnection paramter!");

    CDevice* device = connectHid("facade-shared", false);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(m_connection.isConnected());
    EXPECT_FALSE(m_connection.isExclusive());
    EXPECT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 1);
    EXPECT_EQ(lastErrorOf(updater), "invalid CConnection paramter!");
    EXPECT_EQ(updater.flashFirmware(nullptr, "file.mocf"), 5);
}

// The device record and the handle are checked in this order.
TEST_F(FirmwareFacade, DeviceRecordChecks)
{
    CUsbHidDevice noProduct;
    noProduct.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
    noProduct.connectible = true;
    CUsbHidDevice notConnectible;
    notConnectible.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
    notConnectible.CDevice::product = new CProduct();
    CUsbHidDevice good;
    good.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
    good.connectible = true;
    good.CDevice::product = new CProduct();
    HANDLE none = nullptr;
    HANDLE some = reinterpret_cast<HANDLE>(1);
    const struct {
        CDevice* device;
        HANDLE* handle;
        const char* text;
    } cases[] = {
        {nullptr, &some, "null CDevice pointer!"},
        {&noProduct, &some, "invalid CDevice object, it contain null CProduct pointer!"},
        {&notConnectible, &some, "invalid CDevice object, the interface type not supported!"},
        {&good, &none, "null handle pointer!"},
        {&good, nullptr, "null handle pointer!"},
    };
    CFirmwareUpdater updater;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(updater.intialize(c.device, c.handle, fakeTemplate(0)), 1);
        EXPECT_EQ(lastErrorOf(updater), c.text);
    }
    EXPECT_EQ(updater.flashFirmware(nullptr, "file.mocf"), 5);
}

// The library's log settings: sent only when both level and type are
// given, refused with a text when out of range.
TEST_F(FirmwareFacade, LogSettings)
{
    CDevice* device = connectHid("facade-log");
    ASSERT_NE(device, nullptr);
    const struct {
        int type;
        int level;
        const char* file;
        int result;
        const char* text;     // the last error
        const char* pushed;   // the log setting the library took, "" for none
    } cases[] = {
        {-1, 1, "log.txt", 0, "intialize successful!", ""},
        {1, -1, "log.txt", 0, "intialize successful!", ""},
        {-1, -1, "", 0, "intialize successful!", ""},
        {1, 0, "log.txt", 1, "Invalid debug level setting!", ""},
        {1, 4, "log.txt", 1, "Invalid debug level setting!", ""},
        {3, 1, "log.txt", 1, "Invalid debug type setting!", ""},
        {1, 2, "", 1, "Invalid debug file name setting!", ""},
        {1, 3, "flash.log", 0, "intialize successful!", "Set 3 1,flash.log,3 size 24"},
        {0, 1, "", 0, "intialize successful!", "Set 3 0,,1 size 24"},
        {2, 2, "", 0, "intialize successful!", "Set 3 2,,2 size 24"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.level) + "/" + c.file);
        m_fake.control().snapshot();
        {
            std::lock_guard<std::mutex> lock(m_fake.control().mutex);
            m_fake.control().calls.clear();
        }
        CFirmwareUpdaterTemplate updaterTemplate = fakeTemplate(device->product->flashType);
        updaterTemplate.logType = c.type;
        updaterTemplate.logLevel = c.level;
        updaterTemplate.logFile = c.file;
        CFirmwareUpdater updater;
        EXPECT_EQ(updater.intialize(&m_connection, updaterTemplate), c.result);
        EXPECT_EQ(lastErrorOf(updater), c.text);
        const std::vector<std::string> pushed = m_fake.callsStartingWith("Set 3 ");
        if (std::string(c.pushed).empty()) {
            EXPECT_TRUE(pushed.empty()) << ::testing::PrintToString(pushed);
        } else {
            EXPECT_EQ(pushed, std::vector<std::string>{c.pushed});
        }
    }
}

// The library is "<folder>/libVXFLASH0<flash type>.so"; one that is
// missing, lacks an export, makes no tool or is no library at all fails the
// initialise with 2.
TEST_F(FirmwareFacade, FlashLibraryLookupAndLoad)
{
    CDevice* device = connectHid("facade-load");
    ASSERT_NE(device, nullptr);
    CFirmwareUpdater updater;

    // Flash type 10: libVXFLASH010.so, not libVXFLASH01.so.
    device->product->flashType = 10;
    CConnection connection;
    connection.initialize();
    ASSERT_EQ(m_connection.disconnect(), 0);
    HANDLE handle = nullptr;
    ASSERT_EQ(connection.connect(device, &handle, true, false, 10000), 0);
    const std::filesystem::path wrongName = m_dir.path() / "type-1-only";
    m_fake.installAs(wrongName, 1);
    CFirmwareUpdaterTemplate updaterTemplate;
    updaterTemplate.flashDllFolder = wrongName.string();
    EXPECT_EQ(updater.intialize(&connection, updaterTemplate), 2);
    EXPECT_EQ(lastErrorOf(updater), "can't find the dll file!");
    EXPECT_EQ(updater.intialize(&connection, fakeTemplate(10)), 0) << lastErrorOf(updater);

    FakeFlash noDestroy(false);
    ASSERT_TRUE(noDestroy.loaded());
    const std::filesystem::path textFolder = m_dir.path() / "not-a-library";
    std::filesystem::create_directories(textFolder);
    flashfix::writeText((textFolder / "libVXFLASH010.so").string(), "not a library");
    CFirmwareUpdaterTemplate textTemplate;
    textTemplate.flashDllFolder = textFolder.string();
    const struct {
        const char* what;
        CFirmwareUpdaterTemplate updaterTemplate;
        bool nullTool;
    } cases[] = {
        {"missing DestroyFlashTool", fakeTemplate(10, &noDestroy), false},
        {"CreateFlashTool makes nothing", fakeTemplate(10), true},
        {"not a library", textTemplate, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_fake.control().createNull = c.nullTool;
        const int toolsBefore = m_fake.control().toolsAlive;
        EXPECT_EQ(updater.intialize(&connection, c.updaterTemplate), 2);
        EXPECT_EQ(lastErrorOf(updater), "load the dll file failed!");
        EXPECT_LE(m_fake.control().toolsAlive, toolsBefore) << "the tool of the earlier load was destroyed";
        EXPECT_EQ(updater.cancelFlash(), 5);
    }
    m_fake.control().createNull = false;
    EXPECT_EQ(noDestroy.control().toolsAlive, 0) << "no tool is made without a way to destroy it";
}

// The update's own refusals before anything reaches the library.
TEST_F(FirmwareFacade, UpdateRefusals)
{
    // Another update holds the device.
    CDevice* device = connectHid("facade-refuse");
    ASSERT_NE(device, nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 0);
    {
        const std::string name = "Global\\QZT_DEVICE_BLOCK_" + device->product->serialNumber;
        HANDLE held = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(updater.flashFirmware(nullptr, "file.mocf"), 4);
        EXPECT_EQ(lastErrorOf(updater), "the same device is blocked by another SDK operation!");
        CloseHandle(held);
    }
    EXPECT_EQ(updater.flashFirmware(nullptr, ""), 1);
    EXPECT_EQ(lastErrorOf(updater), "invalid firmware file specified!");
    EXPECT_TRUE(m_connection.isConnected()) << "nothing was freed yet";
    EXPECT_TRUE(m_fake.callsStartingWith("FlashScanner").empty());

    // The HID device is gone before the update.
    m_hidScanner->unplug();
    EXPECT_EQ(updater.flashFirmware(nullptr, "file.mocf"), 1);
    EXPECT_EQ(lastErrorOf(updater), "the device disconnect already, please check!");
    EXPECT_TRUE(m_fake.callsStartingWith("FlashScanner").empty());
}

TEST_F(FirmwareFacade, ASerialDeviceThatDoesNotAnswerIsNotUpdated)
{
    auto& port = plugSerial("rs232", "facade-silent");
    CDevice* device = connectFound({EIT_RS232});
    ASSERT_NE(device, nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 0) << lastErrorOf(updater);
    port.setSilent(true);
    EXPECT_EQ(updater.flashFirmware(nullptr, "file.mocf"), 1);
    EXPECT_EQ(lastErrorOf(updater), "can't verify the device!");
    EXPECT_TRUE(m_connection.isConnected());
    EXPECT_TRUE(m_fake.callsStartingWith("FlashScanner").empty());
}

// A point-of-sale HID scanner that refuses feature reports: the update
// stops before the library runs. The handle is the caller's own here.
TEST_F(FirmwareFacade, APointOfSaleScannerThatRefusesReport254)
{
    auto& scanner = plugHid(hidScannerModel("hid-pos", "POS", "SN-POS"), "facade-254");
    CDevice* device = discoverOne({EIT_USB_HID_BARCODE_SCANNER});
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->interfaceUsage, EIU_HID_POS);
    HANDLE handle = CreateFileA(device->portName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(device, &handle, fakeTemplate(device->product->flashType)), 0) << lastErrorOf(updater);
    scanner.setRefuseFeatures(true);
    EXPECT_EQ(updater.flashFirmware(nullptr, "file.mocf"), 1);
    EXPECT_EQ(lastErrorOf(updater), "Failure in sending 254 report.");
    EXPECT_EQ(handle, nullptr) << "the caller's handle was closed for the update";
    EXPECT_TRUE(m_fake.callsStartingWith("FlashScanner").empty());
}

// A point-of-sale scanner that leaves during a failed or cancelled flash
// (a bootloader that restarted, a cable pulled): report 254 cannot be sent
// afterwards, but the caller learns what the library answered.
TEST_F(FirmwareFacade, AFailedFlashKeepsTheLibrarysResultWhenReport254CannotFollow)
{
    struct Unplug {
        vxsim::HidScanner* scanner = nullptr;
        static std::int32_t callback(void* self, std::int32_t, std::int32_t done, std::int32_t)
        {
            if (done > 0)
                static_cast<Unplug*>(self)->scanner->unplug();
            return 0;
        }
    };
    auto& scanner = plugHid(hidScannerModel("hid-pos", "POS", "SN-POS-GONE"), "facade-gone");
    CDevice* device = discoverOne({EIT_USB_HID_BARCODE_SCANNER});
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->interfaceUsage, EIU_HID_POS);
    CFirmwareUpdaterTemplate updaterTemplate = fakeTemplate(device->product->flashType);
    updaterTemplate.progressCallback = &Unplug::callback;
    Unplug unplug{&scanner};
    // Connects the scanner (plugged back) and flashes it.
    auto flash = [&](CFirmwareUpdater& updater) {
        EXPECT_TRUE(scanner.plug()) << scanner.lastError();
        m_connection.initialize();
        HANDLE handle = nullptr;
        EXPECT_EQ(m_connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(m_connection);
        EXPECT_EQ(updater.intialize(&m_connection, updaterTemplate), 0) << lastErrorOf(updater);
        return updater.flashFirmware(&unplug, "file.mocf");
    };

    const struct {
        int library;
        int result;
        const char* returned;
    } cases[] = {
        {CUR_FAILURE, 1, "CUR_FAILURE"},
        {CUR_CANCELED, 1, "CUR_CANCELED"},
        {CUR_FILEBAD, 2, "CUR_FILEBAD"},
        {CUR_FILE_INCOMPATIBLE, 2, "CUR_FILE_INCOMPATIBLE"},
    };
    std::size_t flashes = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.returned);
        m_fake.control().flashResult = c.library;
        CFirmwareUpdater updater;
        EXPECT_EQ(flash(updater), c.result);
        EXPECT_EQ(lastErrorOf(updater),
                  std::string("API FlashScanner: Input[firmwareFileName file.mocf] Return [") + c.returned + "]");
        EXPECT_EQ(m_fake.callsStartingWith("FlashScanner").size(), ++flashes);
        EXPECT_EQ(scanner.posMode(), 1) << "the mode was switched on for the flash";
        EXPECT_FALSE(scanner.isPlugged());
    }
    m_fake.control().flashResult = CUR_SUCCESS;

    // A flash that succeeded but could not switch the point-of-sale mode
    // off again is still a failure.
    CFirmwareUpdater updater;
    EXPECT_EQ(flash(updater), 1);
    EXPECT_EQ(lastErrorOf(updater), "Failed to open the port to be send 254 report!");
}

TEST_F(FirmwareFacade, FileVersions)
{
    CDevice* device = connectHid("facade-file");
    ASSERT_NE(device, nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 0);
    fileversion_type version{};
    EXPECT_EQ(updater.getFileVersion("Firmwäre.mocf", &version), 0);
    EXPECT_STREQ(version.appVersion, "FAKE-APP");
    EXPECT_EQ(lastErrorOf(updater), "getFileVersion successful!");
    EXPECT_EQ(m_fake.callsStartingWith("GetFileVersion"), std::vector<std::string>{"GetFileVersion Firmwäre.mocf"});
    EXPECT_EQ(updater.getFileVersion("app.mocf", nullptr), 3);
    EXPECT_EQ(lastErrorOf(updater), "API GetFileVersion: Input[app.mocf] Return [CGSRET_INVALID]");
}

}  // namespace
