// What the SDK hands the flash library and how it reads the answers, with
// the fake flash library: the pushes in their order, each refusal's step
// code and text, the port path, the RS-232 block for serial devices only,
// the library's flash results, and buffers without a terminator.
#include "FirmwareFixture.h"

#include "api/CFirmwareUpdaterHelper.h"
#include "api/CFlashProcess.h"
#include "base/StringUtils.h"
#include "products/CProduct.h"

#include "platform/file.h"
#include "platform/hid.h"
#include "platform/serial.h"

#include <algorithm>
#include <cctype>

using namespace vxtest;

namespace {

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

class FirmwareBinding : public FakeFirmwareTest {
protected:
    void clearCalls()
    {
        std::lock_guard<std::mutex> lock(m_fake.control().mutex);
        m_fake.control().calls.clear();
    }
    // The calls since clearCalls, less Create and Destroy.
    std::vector<std::string> settingCalls()
    {
        std::vector<std::string> calls;
        for (const std::string& call : m_fake.control().snapshot())
            if (call != "Create" && call != "Destroy")
                calls.push_back(call);
        return calls;
    }
    CFirmwareUpdaterTemplate fullTemplate(int flashType)
    {
        CFirmwareUpdaterTemplate updaterTemplate = fakeTemplate(flashType);
        updaterTemplate.logType = 1;
        updaterTemplate.logLevel = 1;
        updaterTemplate.logFile = "fl.log";
        updaterTemplate.protocolFile = "proto.txt";
        return updaterTemplate;
    }
};

// Serial devices get the RS-232 block, HID devices do not; the interface
// goes before the protocol file; a COM name keeps its case behind the
// device prefix, a HID path is handed on in upper case.
TEST_F(FirmwareBinding, PushesInOrder)
{
    plugSerial("rs232", "bind-serial");
    CDevice* serial = discoverOne({EIT_RS232});
    ASSERT_NE(serial, nullptr);
    const std::string com = serial->portName;
    std::string lowered = com;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
    serial->portName = lowered;
    m_connection.initialize();
    HANDLE handle = nullptr;
    ASSERT_EQ(m_connection.connect(serial, &handle, true, false, 10000), 0) << lastErrorOf(m_connection);

    CFirmwareUpdater updater;
    clearCalls();
    ASSERT_EQ(updater.intialize(&m_connection, fullTemplate(serial->product->flashType)), 0) << lastErrorOf(updater);
    const std::string port = "\\\\.\\" + lowered;
    EXPECT_EQ(settingCalls(), (std::vector<std::string>{
                                  "Set 3 1,fl.log,1 size 24",
                                  "Set 1 callback",
                                  "Set 7 0",
                                  "Set 5 proto.txt size 18",
                                  "Set 4 " + port + " size " + std::to_string(2 * port.size()),
                                  "Set 8 9600 size 56",
                                  "Get 6",
                              }));
    ASSERT_EQ(m_connection.disconnect(), 0);

    vxsim::HidModel hid = hidScannerModel("hid-pos", "LOB", "SN-LOB");
    hid.product = "Varnex Area Imager";
    plugHid(hid, "bind-hid");
    DeviceList found;
    CDiscovery discovery;
    discovery.initialize();
    ASSERT_EQ(discovery.enumerate(searchTemplate({EIT_USB_HID_BARCODE_SCANNER}), &found.devices, 30000), 0);
    ASSERT_EQ(found.devices.size(), 1u);
    CConnection hidConnection;
    hidConnection.initialize();
    ASSERT_EQ(hidConnection.connect(found.devices[0], &handle, true, false, 10000), 0);
    clearCalls();
    CFirmwareUpdaterTemplate plain = fakeTemplate(found.devices[0]->product->flashType);
    ASSERT_EQ(updater.intialize(&hidConnection, plain), 0) << lastErrorOf(updater);
    const std::string hidPath = upper(found.devices[0]->portName);
    EXPECT_NE(hidPath, found.devices[0]->portName);
    EXPECT_EQ(settingCalls(), (std::vector<std::string>{
                                  "Set 1 callback",
                                  "Set 7 1",
                                  "Set 4 " + hidPath + " size " + std::to_string(2 * hidPath.size()),
                                  "Get 6",
                              }))
        << "no log setting without one, no protocol file, no RS-232 block";
}

// A refused push stops the preparation: its step code and its text.
TEST_F(FirmwareBinding, EachRefusalHasItsStepAndText)
{
    plugSerial("rs232", "bind-refuse");
    CDevice* serial = connectFound({EIT_RS232});
    ASSERT_NE(serial, nullptr);
    const std::string port = "\\\\.\\" + serial->portName;
    const struct {
        int setting;
        int refusal;
        int step;
        std::string text;
    } cases[] = {
        {CFS_LOGGING, CGSRET_FAILURE, 1, "API setLogging: Input[DebugLevel 1 DebugType1 fileName fl.log] Return [CGSRET_FAILURE]"},
        {CFS_FWCALLBACK, CGSRET_INVALID, 4, "API setCallback: Input[] Return [CGSRET_INVALID]"},
        {CFS_INTERFACE, CGSRET_FAILURE, 2, "API setInterface: Input[Interface 0] Return [CGSRET_FAILURE]"},
        {CFS_FLASH_PROTOCOL_SETTINGS, CGSRET_NOTSET, 3,
         "API setFlashProtocolSettings: Input[ProtocolFile proto.txt] Return [CGSRET_NOTSET]"},
        {CFS_PORTFILENAME, CGSRET_UNSUPPORTED, 3, "API setPortFileName: Input[PortName " + port + "] Return [CGSRET_UNSUPPORTED]"},
        {CFS_WIN32_232_SETTINGS, CGSRET_FAILURE, 7, "API setWin32Rs232Settings: Input[WIN32_232_T 96008N1] Return [CGSRET_FAILURE]"},
        {CFS_FLASH_INITSTRING, 9, 6, "API getFlashInitstring: Input[] Return []"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        m_fake.control().refusedSetting = c.setting;
        m_fake.control().refusal = c.refusal;
        CFirmwareUpdaterHelper helper;
        HANDLE handle = m_connection.getHandle();
        EXPECT_EQ(helper.initializeForUpdater(serial, &handle, fullTemplate(serial->product->flashType)), 1);
        std::string text;
        helper.getLastError(text);
        EXPECT_EQ(text, c.text);
        std::string processText;
        EXPECT_EQ(helper.getFlashProcess()->getLastError(processText), c.step);
        EXPECT_EQ(processText, c.text);
        // Through the facade: the same text.
        CFirmwareUpdater updater;
        EXPECT_EQ(updater.intialize(&m_connection, fullTemplate(serial->product->flashType)), 1);
        EXPECT_EQ(lastErrorOf(updater), c.text);
    }
}

// The interface value of a HID device in a refusal's text.
TEST_F(FirmwareBinding, RefusedInterfaceOfAHidDevice)
{
    CDevice* device = connectHid("bind-interface");
    ASSERT_NE(device, nullptr);
    m_fake.control().refusedSetting = CFS_INTERFACE;
    CFirmwareUpdater updater;
    EXPECT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 1);
    EXPECT_EQ(lastErrorOf(updater), "API setInterface: Input[Interface 1] Return [CGSRET_FAILURE]");
}

// The library's flash results: success and success after recovery give 0,
// a bad or incompatible file 2, every other answer 1; the text names the
// result (nothing for a value outside the table). The progress callback
// gets the caller's pointer.
TEST_F(FirmwareBinding, FlashResults)
{
    CDevice* device = connectHid("bind-results");
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(m_connection.disconnect(), 0);
    HANDLE handle = nullptr;
    CFirmwareUpdater updater;
    auto openHandle = [&] {
        handle = CreateFileA(device->portName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    };
    ASSERT_TRUE(openHandle());
    ASSERT_EQ(updater.intialize(device, &handle, fakeTemplate(device->product->flashType)), 0) << lastErrorOf(updater);
    const std::string file = "Firmwäre.mocf";
    auto refusal = [&](const char* name) {
        return "API FlashScanner: Input[firmwareFileName " + file + "] Return [" + name + "]";
    };
    const struct {
        int answer;
        int result;
        std::string text;
    } cases[] = {
        {CUR_SUCCESS, 0, "flashFirmware successful!"},
        {CUR_SUCCESS_RECOVERY, 0, "flashFirmware successful!"},
        {CUR_FILEBAD, 2, refusal("CUR_FILEBAD")},
        {CUR_FILE_INCOMPATIBLE, 2, refusal("CUR_FILE_INCOMPATIBLE")},
        {CUR_FAILURE, 1, refusal("CUR_FAILURE")},
        {CUR_CANCELED, 1, refusal("CUR_CANCELED")},
        {CUR_FAILURE_BRICK, 1, refusal("CUR_FAILURE_BRICK")},
        {CUR_SCANNER_NOT_IN_BASE, 1, refusal("CUR_SCANNER_NOT_IN_BASE")},
        {CUR_SCANNER_LOW_BATTERY, 1, refusal("CUR_SCANNER_LOW_BATTERY")},
        {9, 1, refusal("")},
        {-1, 1, refusal("")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        m_fake.control().flashResult = c.answer;
        if (handle == nullptr) {
            ASSERT_TRUE(openHandle());
        }
        ProgressLog progress;
        EXPECT_EQ(updater.flashFirmware(&progress, file), c.result);
        EXPECT_EQ(lastErrorOf(updater), c.text);
        EXPECT_EQ(handle, nullptr) << "the caller's handle is closed for the flash";
        progress.expectWholeRun();
    }
    EXPECT_EQ(m_fake.callsStartingWith("FlashScanner").size(), std::size(cases));
}

// After an update the worker can open the device's port again for the
// caller; a port that is gone gives its text.
TEST_F(FirmwareBinding, TheDeviceHandleOpensAgain)
{
    auto& serialPort = plugSerial("rs232", "bind-handle-serial");
    CDevice* serial = connectFound({EIT_RS232});
    ASSERT_NE(serial, nullptr);
    CFirmwareUpdaterHelper serialHelper;
    HANDLE serialHandle = m_connection.getHandle();
    ASSERT_EQ(serialHelper.initializeForUpdater(serial, &serialHandle, fakeTemplate(serial->product->flashType)), 0);
    ASSERT_EQ(m_connection.disconnect(), 0);
    serialHandle = nullptr;
    ASSERT_TRUE(serialHelper.getDeviceHandle());
    ASSERT_NE(serialHandle, nullptr);
    DCB dcb{};
    EXPECT_TRUE(GetCommState(serialHandle, &dcb)) << "an open serial handle";
    EXPECT_TRUE(CloseHandle(serialHandle));
    serialPort.unplug();
    serialHandle = nullptr;
    EXPECT_FALSE(serialHelper.getDeviceHandle());
    std::string text;
    serialHelper.getLastError(text);
    EXPECT_EQ(text, "can't open the serial device!");
    EXPECT_EQ(serialHandle, nullptr);

    for (CDevice* found : m_found.devices)
        delete found;
    m_found.devices.clear();
    CDevice* hid = connectHid("bind-handle-hid");
    ASSERT_NE(hid, nullptr);
    CFirmwareUpdaterHelper hidHelper;
    HANDLE hidHandle = m_connection.getHandle();
    ASSERT_EQ(hidHelper.initializeForUpdater(hid, &hidHandle, fakeTemplate(hid->product->flashType)), 0);
    ASSERT_EQ(m_connection.disconnect(), 0);
    hidHandle = nullptr;
    ASSERT_TRUE(hidHelper.getDeviceHandle());
    ASSERT_NE(hidHandle, nullptr);
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    EXPECT_TRUE(HidD_GetAttributes(hidHandle, &attributes)) << "an open HID handle";
    EXPECT_TRUE(CloseHandle(hidHandle));
    m_hidScanner->unplug();
    hidHandle = nullptr;
    EXPECT_FALSE(hidHelper.getDeviceHandle());
    hidHelper.getLastError(text);
    EXPECT_EQ(text, "can't open the usb hid device!");
}

// Buffers the library fills to the last byte, without a terminator, are
// read only to their end.
TEST_F(FirmwareBinding, AVersionWithoutTerminator)
{
    CDevice* device = connectHid("bind-version");
    ASSERT_NE(device, nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 0);
    m_fake.control().versionFillsBuffer = true;
    std::string version;
    ASSERT_EQ(updater.getDllVersion(version), 0) << lastErrorOf(updater);
    EXPECT_EQ(version, std::string(1024, 'V'));
    m_fake.control().versionFillsBuffer = false;
    m_fake.control().refusedSetting = CFS_VERSION;
    EXPECT_EQ(updater.getDllVersion(version), 1);
    EXPECT_EQ(lastErrorOf(updater), "API getVersion: Input[] Return [CGSRET_FAILURE]");
}

// The binding's whole sequence on stored values, as a host without the
// update worker runs it: its own push order, the flash, step 0.
TEST_F(FirmwareBinding, TheWholeSequence)
{
    CFlashProcess process;
    std::wstring library = stringToWString(fakeTemplate(2).flashDllFolder + "/libVXFLASH02.so");
    ASSERT_TRUE(process.setVXFlashDllFile(library));
    const std::wstring port = L"\\\\.\\COM7";
    const std::wstring firmware = L"f.mocf";
    process.setInterfaceValue(CIF_RS232);
    process.setPortFileNameValue(port.c_str());
    process.setCallbackValue(&ProgressLog::callback);
    win_rs232_settings settings{};
    settings.dcb.BaudRate = 19200;
    settings.dcb.ByteSize = 7;
    settings.dcb.Parity = EVENPARITY;
    settings.dcb.StopBits = TWOSTOPBITS;
    process.setWin32Rs232SettingsValue(settings);
    ProgressLog progress;
    process.setFlashScannerValue(&progress, firmware.c_str());
    clearCalls();
    ASSERT_TRUE(process.flash());
    std::string text;
    EXPECT_EQ(process.getLastError(text), 0);
    EXPECT_EQ(settingCalls(), (std::vector<std::string>{"Set 7 0", "Set 4 \\\\.\\COM7 size 16", "Get 6",
                                                         "Set 1 callback", "Set 8 19200 size 56", "FlashScanner f.mocf"}));
    EXPECT_EQ(CFlashProcess::getWin32Rs232SettingString(settings), "192007E2");
    progress.expectWholeRun();

    m_fake.control().refusedSetting = CFS_WIN32_232_SETTINGS;
    EXPECT_FALSE(process.flash());
    EXPECT_EQ(process.getLastError(text), 7);
    EXPECT_EQ(text, "API setWin32Rs232Settings: Input[WIN32_232_T 192007E2] Return [CGSRET_FAILURE]");

    // Nothing loaded: every push says so.
    process.cleanUp();
    EXPECT_FALSE(process.setInterface());
    process.getLastError(text);
    EXPECT_EQ(text, "Flash Dll is not loaded.");
    EXPECT_FALSE(process.setCancelIO(1));
}

}  // namespace
