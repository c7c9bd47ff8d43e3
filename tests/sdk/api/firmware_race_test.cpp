// The facade's calls from several threads at once (also run under
// ThreadSanitizer): cancels and version queries while a flash runs, and
// cancels while another thread prepares the update again and again, which
// releases the library's tool and makes a new one each time.
#include "FirmwareFixture.h"

#include "discovery/CUsbHidDevice.h"

#include <thread>

using namespace vxtest;

namespace {

using FirmwareRaces = FakeFirmwareTest;

// While the library flashes (until cancelled), other threads cancel, read
// the texts, ask for the library's version and a file's version through
// this facade and through another one. The version calls of this facade
// wait for the flash; a file version asked through another facade waits
// too, since the library keeps one table for all its tools.
TEST_F(FirmwareRaces, CancelAndVersionCallsDuringAFlash)
{
    CDevice* device = connectHid("race-flash");
    ASSERT_NE(device, nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 0) << lastErrorOf(updater);
    CFirmwareUpdater other;
    CUsbHidDevice record;
    ASSERT_TRUE(copyDeviceRecord(*device, record));
    HANDLE unused = reinterpret_cast<HANDLE>(1);
    ASSERT_EQ(other.intialize(&record, &unused, fakeTemplate(device->product->flashType)), 0) << lastErrorOf(other);

    m_fake.control().flashUntilCancelled = true;
    int flashResult = -1;
    std::thread flashing([&] { flashResult = updater.flashFirmware(&m_progress, "race.mocf"); });
    ASSERT_TRUE(waitUntil([&] { return m_fake.control().flashing.load(); }));

    std::string version;
    int versionResult = -1;
    std::thread versions([&] { versionResult = updater.getDllVersion(version); });
    fileversion_type fileVersion{};
    int fileResult = -1;
    std::thread files([&] { fileResult = other.getFileVersion("other.mocf", &fileVersion); });
    std::vector<std::thread> readers;
    std::atomic<bool> stop{false};
    for (int i = 0; i < 2; ++i)
        readers.emplace_back([&] {
            while (!stop) {
                std::string text;
                updater.getLastError(text);
                other.getLastError(text);
            }
        });
    // Let the flash report progress for a while under the readers.
    ASSERT_TRUE(waitUntil([&] { return m_progress.snapshot().size() > 20; }));
    std::thread cancelling([&] { EXPECT_EQ(updater.cancelFlash(), 0); });
    cancelling.join();
    flashing.join();
    versions.join();
    files.join();
    stop = true;
    for (auto& reader : readers)
        reader.join();

    EXPECT_EQ(flashResult, 1);
    EXPECT_EQ(lastErrorOf(updater), "API FlashScanner: Input[firmwareFileName race.mocf] Return [CUR_CANCELED]");
    EXPECT_EQ(versionResult, 0);
    EXPECT_EQ(version, "FAKE-FLASH 9.8.7");
    EXPECT_EQ(fileResult, 0);
    EXPECT_STREQ(fileVersion.appVersion, "FAKE-APP");
    // The file version came once the flash was over.
    const auto calls = m_fake.control().snapshot();
    const auto flashAt = std::find(calls.begin(), calls.end(), "FlashScanner race.mocf");
    const auto fileAt = std::find(calls.begin(), calls.end(), "GetFileVersion other.mocf");
    ASSERT_NE(flashAt, calls.end());
    ASSERT_NE(fileAt, calls.end());
    EXPECT_TRUE(std::find(flashAt, fileAt, "Set 0 1") != fileAt) << "the cancel ended the flash before";
}

// Cancels while another thread prepares the update over and over: a cancel
// never reaches a tool that is being destroyed or made. Each answers 0 (a
// tool took it), 1 (no library loaded at that moment) or 5 (not prepared at
// that moment).
TEST_F(FirmwareRaces, CancelWhilePreparingAgain)
{
    CUsbHidDevice device;
    device.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
    device.interfaceUsage = EIU_LOB;
    device.connectible = true;
    device.portName = "\\\\?\\hid#vid_7a11&pid_0001&mi_00#virtual-none#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    device.CDevice::product = new CProduct();
    device.CDevice::product->flashType = 2;
    device.CDevice::product->serialNumber = "SN-RACE";
    HANDLE unused = reinterpret_cast<HANDLE>(1);
    const CFirmwareUpdaterTemplate updaterTemplate = fakeTemplate(2);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&device, &unused, updaterTemplate), 0) << lastErrorOf(updater);

    // Preparations go on until a cancel has reached a tool (bounded).
    std::atomic<bool> done{false};
    std::atomic<int> reached{0};
    int unexpected = 0;
    std::thread preparing([&] {
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (int i = 0; i < 200 || (reached == 0 && std::chrono::steady_clock::now() < bound); ++i)
            if (updater.intialize(&device, &unused, updaterTemplate) != 0)
                ++unexpected;
        done = true;
    });
    int cancels[6] = {};
    while (!done) {
        const int result = updater.cancelFlash();
        ++cancels[result >= 0 && result < 6 ? result : 2];
        if (result == 0)
            ++reached;
    }
    preparing.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_EQ(cancels[2] + cancels[3] + cancels[4], 0);
    EXPECT_GT(cancels[0], 0);
    EXPECT_EQ(m_fake.control().toolsAlive, 1) << "every tool but the last one was destroyed";
}

}  // namespace
