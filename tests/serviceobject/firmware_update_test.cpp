// Firmware updates through the exported interface with the flash library
// in "FlashDLLs" beside the test program, against flashable simulated
// scanners: progress as percentage statuses, then 2205; a refused file; a
// device blocked by another update; a scanner that vanishes mid-flash; a
// release during the flash.
#include "FirmwareFixture.h"

#include "COPOSKestrel.h"
#include "CScannerMgr.h"
#include "CScannerWrapper.h"

#include "platform/serial.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace vxtest;

namespace {

struct Statuses {
    std::mutex mutex;
    std::vector<long> list;
    static Statuses& get()
    {
        static Statuses statuses;
        return statuses;
    }
    static void onStatus(long status)
    {
        std::lock_guard lock(get().mutex);
        get().list.push_back(status);
    }
    std::vector<long> snapshot()
    {
        std::lock_guard lock(mutex);
        return list;
    }
    bool waitFor(long status)
    {
        return waitUntil([&] {
            const auto now = snapshot();
            return std::find(now.begin(), now.end(), status) != now.end();
        });
    }
};

class SOFirmware : public ApiTest {
protected:
    SOFirmware()
    {
        std::lock_guard lock(statuses.mutex);
        statuses.list.clear();
    }
    // The facade goes too: it keeps the settings it was first given (this
    // test's protocol file) for its whole life.
    ~SOFirmware() override
    {
        CScannerWrapper::ScannerCloseService();
        CScannerWrapper::ScannerReleaseInstance();
        COPOSKestrel::ReleaseInstance();
    }
    // An RS-232 flashable scanner, opened, claimed and enabled by a host.
    vxsim::FlashableScanner& openFlashable(const std::string& serial, int appType = 1)
    {
        vxsim::FlashableOptions options;
        options.kind = vxsim::FlashableKind::rs232;
        options.id = "so-fw";
        options.serialNumber = serial;
        m_scanner = std::make_unique<vxsim::FlashableScanner>(options);
        std::string port;
        EXPECT_TRUE(waitUntil([&] {
            for (const auto& listed : platform::listSerialPorts())
                if (listed.devicePath == m_scanner->serialPath())
                    port = listed.comName;
            return !port.empty();
        }));
        const std::string protocol = m_files.protocolFile();
        CScannerWrapper::ScannerInit(appType, "0", "", "1", "0", "", protocol.c_str(), "0", "250");
        CScannerWrapper::Set_StatusEventFP(&Statuses::onStatus);
        EXPECT_EQ(CScannerWrapper::ScannerOpenService("SimScanner", "False", port.c_str(), "", "", "0", "0"), 0);
        EXPECT_EQ(CScannerWrapper::ScannerClaimDevice(10000), 0);
        EXPECT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
        return *m_scanner;
    }
    static long number(long index) { return CScannerWrapper::ScannerGetPropertyNumber(index); }

    FirmwareFiles m_files;
    std::unique_ptr<vxsim::FlashableScanner> m_scanner;
    Statuses& statuses = Statuses::get();
};

TEST_F(SOFirmware, ProgressAsPercentagesThenComplete)
{
    auto& scanner = openFlashable("SN-SO-FW");
    ASSERT_EQ(CScannerWrapper::ScannerUpdateFirmware(m_files.application().c_str()), 0);
    EXPECT_EQ(number(9), 3);  // busy while it flashes
    EXPECT_EQ(CScannerWrapper::ScannerClaimDevice(1000), 113);  // busy
    ASSERT_TRUE(statuses.waitFor(2205)) << ::testing::PrintToString(statuses.snapshot());
    const auto list = statuses.snapshot();
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list.back(), 2205);
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        EXPECT_GE(list[i], 0);
        EXPECT_LE(list[i], 100);
        if (i > 0) {
            EXPECT_GT(list[i], list[i - 1]) << "percentages rise without repeats";
        }
    }
    EXPECT_TRUE(scanner.bootloader().appCopy() == m_files.expectedApplication());
    EXPECT_TRUE(waitUntil([&] { return number(9) == 2; }));
}

// For the COM class the service object claims the flashed device again
// itself (its events go to the control object, which is not here).
TEST_F(SOFirmware, TheComClassIsClaimedAgainAfterAnUpdate)
{
    auto& scanner = openFlashable("SN-SO-TYPE0", 0);
    ASSERT_EQ(CScannerWrapper::ScannerUpdateFirmware(m_files.application().c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return scanner.bootloader().appCopy() == m_files.expectedApplication(); }));
    // The claim's settings and its disable switch go out a second time: the
    // service object has claimed the device again (until then the claim of
    // before the update still reads 1).
    ASSERT_TRUE(waitUntil([&] {
        const std::vector<std::string> commands = scanner.menuCommands();
        return std::count(commands.begin(), commands.end(), "OPSADM0") >= 2 && commands.back() == "0";
    }));
    ASSERT_TRUE(waitUntil([&] { return number(9) == 2 && number(1) == 1 && number(6) == 0; }));
    EXPECT_TRUE(waitUntil([&] { return COPOSKestrel::GetInstance()->IsConnected(); }));
    EXPECT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    EXPECT_TRUE(statuses.snapshot().empty());  // type 0 fires through the COM class only
}

TEST_F(SOFirmware, ARefusedFileGives114AndTheDeviceBack)
{
    openFlashable("SN-SO-BAD");
    const std::string bad = m_files.dir().file("refused.bin");
    flashfix::writeText(bad, "not firmware");
    EXPECT_EQ(CScannerWrapper::ScannerUpdateFirmware(bad.c_str()), 114);
    EXPECT_EQ(number(6), 114);
    EXPECT_EQ(number(7), 281);
    EXPECT_TRUE(waitUntil([&] { return number(9) == 2; }));
    EXPECT_TRUE(COPOSKestrel::GetInstance()->IsConnected());
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(1), 0);
    EXPECT_TRUE(statuses.snapshot().empty()) << ::testing::PrintToString(statuses.snapshot());
}

// Runs vx_block_holder on a serial number; it holds the device block until
// it is killed.
class BlockHolder {
public:
    BlockHolder(const std::string& serial, const TempDir& dir) : m_out(dir.file("holder.out"))
    {
        m_pipe = ::popen(("exec '" + programDirectory() + "/vx_block_holder' '" + serial + "' > '" + m_out + "' 2>&1")
                             .c_str(),
                         "w");
    }
    ~BlockHolder()
    {
        long pid = 0;
        if (std::sscanf(readFile(m_out).c_str(), "held %ld", &pid) == 1 && pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        if (m_pipe != nullptr)
            ::pclose(m_pipe);
    }
    bool waitHeld()
    {
        return m_pipe != nullptr && waitUntil([&] { return readFile(m_out).find('\n') != std::string::npos; }) &&
               readFile(m_out).rfind("held ", 0) == 0;
    }

private:
    std::string m_out;
    std::FILE* m_pipe = nullptr;
};

TEST_F(SOFirmware, ADeviceBlockedElsewhereStartsThenFailsUsable)
{
    openFlashable("SN-SO-BLOCK");
    BlockHolder holder("SN-SO-BLOCK", m_files.dir());
    ASSERT_TRUE(holder.waitHeld());
    EXPECT_EQ(CScannerWrapper::ScannerUpdateFirmware(m_files.application().c_str()), 0);
    ASSERT_TRUE(statuses.waitFor(2201)) << ::testing::PrintToString(statuses.snapshot());
    EXPECT_TRUE(waitUntil([&] { return number(9) == 2; }));
    EXPECT_TRUE(COPOSKestrel::GetInstance()->IsConnected());
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(1), 0);
}

// The scanner drops off the bus while its blocks are being written: the
// flash fails, the device cannot be connected again, and the last status is
// 2204 (failed, device state unknown), with no 2205 and nothing after it.
TEST_F(SOFirmware, AFailedFlashOnAVanishedDeviceEndsWith2204)
{
    auto& scanner = openFlashable("SN-SO-GONE");
    Gate gate;
    scanner.bootloader().setBlockHook([&](int done) {
        if (done != 2)
            return vxsim::BlockAction::ack;
        gate.arriveAndWait();
        return vxsim::BlockAction::unplug;
    });
    ASSERT_EQ(CScannerWrapper::ScannerUpdateFirmware(m_files.application().c_str()), 0);
    ASSERT_TRUE(gate.waitReached());
    EXPECT_EQ(number(9), 3);  // still flashing when the device goes
    gate.release();
    ASSERT_TRUE(statuses.waitFor(2204)) << ::testing::PrintToString(statuses.snapshot());
    EXPECT_TRUE(waitUntil([&] { return number(9) == 2; }));
    EXPECT_FALSE(CScannerWrapper::Instance()->Firmware().Running());
    EXPECT_FALSE(COPOSKestrel::GetInstance()->IsConnected());
    EXPECT_EQ(scanner.bootloader().blocks().size(), 2u);
    // Releasing and closing end every thread that could still report.
    EXPECT_EQ(CScannerWrapper::ScannerReleaseDevice(), 0);
    EXPECT_EQ(CScannerWrapper::ScannerCloseService(), 0);
    const auto list = statuses.snapshot();
    ASSERT_GE(list.size(), 2u) << "percentages before the failure";
    EXPECT_EQ(list.back(), 2204) << ::testing::PrintToString(list);
    EXPECT_EQ(std::count(list.begin(), list.end(), 2204), 1);
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        EXPECT_GE(list[i], 0) << ::testing::PrintToString(list);
        EXPECT_LT(list[i], 100) << ::testing::PrintToString(list);
    }
}

TEST_F(SOFirmware, ReleaseDuringTheFlashCancelsItAndLeavesTheDeviceReleased)
{
    auto& scanner = openFlashable("SN-SO-CANCEL");
    Gate gate;
    scanner.bootloader().setBlockHook([&](int done) {
        if (done == 2)
            gate.arriveAndWait();
        return vxsim::BlockAction::ack;
    });
    ASSERT_EQ(CScannerWrapper::ScannerUpdateFirmware(m_files.application().c_str()), 0);
    ASSERT_TRUE(gate.waitReached());
    long released = -1;
    std::thread release([&] { released = CScannerWrapper::ScannerReleaseDevice(); });
    // The cancel is set before the held block is answered.
    ASSERT_TRUE(waitUntil([&] { return CScannerWrapper::Instance()->Firmware().CancelsRequested() == 1; }));
    gate.release();
    release.join();
    EXPECT_EQ(released, 0);
    EXPECT_EQ(number(1), 0);
    EXPECT_FALSE(CScannerWrapper::Instance()->Firmware().Running());
    EXPECT_FALSE(COPOSKestrel::GetInstance()->IsConnected());
    EXPECT_FALSE(scanner.bootloader().appCopy() == m_files.expectedApplication());
}

}  // namespace
