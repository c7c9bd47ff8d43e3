// Whole updates against scripted scanners: boot, application and both
// images over RS-232, USB HID and USB CDC, progress, cancel, and every
// failure path with its result code.
#include "UpdateFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using vxsim::BlockAction;
using namespace flashrun;

namespace {

struct UpdateCase {
    bool startInBoot;
    const char* file;
    int result;
};

class UpdateRuns : public flashrun::UpdateFixture {
protected:
    void runCases(Link link, const std::vector<UpdateCase>& cases);
    void runFailures(Link link);
};

// Boot, application and both, from application mode and from boot mode;
// the flash ends up holding the images, and progress adds up.
void UpdateRuns::runCases(Link link, const std::vector<UpdateCase>& cases)
{
    int n = 0;
    for (const UpdateCase& c : cases) {
        SCOPED_TRACE(std::string(linkName(link)) + (c.startInBoot ? " from boot " : " from app ") + c.file);
        BootloaderPeer peer(link, c.startInBoot, "peer" + std::to_string(n++));
        Host host;
        CFlashTool* t = tool(peer, link, host);
        EXPECT_EQ(flash(t, host, c.file), c.result);
        const bool boot = std::strcmp(c.file, "app.mocf") != 0;
        const bool app = std::strcmp(c.file, "boot.mocf") != 0;
        if (boot) {
            EXPECT_TRUE(peer.bootCopy() == m_expectedBoot);
        }
        if (app) {
            EXPECT_TRUE(peer.appCopy() == m_expectedApp);
        }
        EXPECT_FALSE(peer.inBoot());
        EXPECT_EQ(peer.refusals(), std::vector<std::string>{}) << "the host spoke out of turn";
        checkProgress(host, (boot ? kBootBlocks : 0) + (app ? kAppBlocks : 0), (boot ? 1 : 0) + (app ? 1 : 0));
        if (link == Link::rs232 && app) {
            EXPECT_EQ(peer.bootloaderBaud(), 115200u);
        }
        DestroyFlashTool(t);
    }
}

// One update a test, so that the slow links run side by side.
struct LinkCase {
    Link link;
    UpdateCase update;
};

// Names the case in the test list (the bytes of the record would differ
// from build to build).
void PrintTo(const LinkCase& c, std::ostream* os)
{
    *os << linkName(c.link) << (c.update.startInBoot ? " from boot " : " from app ") << c.update.file;
}

class ImagesReachTheFlash : public UpdateRuns, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(ImagesReachTheFlash, ByteForByte) { runCases(GetParam().link, {GetParam().update}); }

std::string linkCaseName(const ::testing::TestParamInfo<LinkCase>& info)
{
    std::string name = std::string(info.param.update.startInBoot ? "FromBoot_" : "FromApp_") + info.param.update.file;
    name.resize(name.size() - 5);  // ".mocf"
    return name;
}

INSTANTIATE_TEST_SUITE_P(OverRs232, ImagesReachTheFlash,
                         ::testing::Values(LinkCase{Link::rs232, {false, "boot.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::rs232, {false, "app.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::rs232, {false, "both.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::rs232, {true, "app.mocf", CUR_SUCCESS_RECOVERY}},
                                           LinkCase{Link::rs232, {true, "both.mocf", CUR_SUCCESS}}),
                         linkCaseName);

// A recovery over USB ends with 0.
INSTANTIATE_TEST_SUITE_P(OverHid, ImagesReachTheFlash,
                         ::testing::Values(LinkCase{Link::hid, {false, "boot.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::hid, {false, "app.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::hid, {false, "both.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::hid, {true, "app.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::hid, {true, "both.mocf", CUR_SUCCESS}}),
                         linkCaseName);

INSTANTIATE_TEST_SUITE_P(OverCdc, ImagesReachTheFlash,
                         ::testing::Values(LinkCase{Link::cdc, {false, "boot.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::cdc, {false, "app.mocf", CUR_SUCCESS}},
                                           LinkCase{Link::cdc, {false, "both.mocf", CUR_SUCCESS}}),
                         linkCaseName);

TEST_F(UpdateRuns, BootImageGoesToItsTwoAddressRanges)
{
    BootloaderPeer peer(Link::rs232);
    Host host;
    CFlashTool* t = tool(peer, Link::rs232, host);
    ASSERT_EQ(flash(t, host, "boot.mocf"), CUR_SUCCESS);
    std::vector<std::uint32_t> expected = {0x1FC00000u, 0x1FC01000u, 0x1FC02000u};
    for (std::uint32_t a = 0x1D078000u; a < 0x1D080000u; a += 0x1000)
        expected.push_back(a);
    EXPECT_EQ(peer.blocks(), expected);
    // Through the relay: per block erase, its address, program, the address
    // again and 256 frames; before them ESC and ACK.
    EXPECT_EQ(peer.relayCommands(), static_cast<int>(2 + kBootBlocks * (4 + 256)));
    DestroyFlashTool(t);
}

// A cancel written from another thread while the application goes out ends
// the update after the block in flight; the scanner is left in its
// bootloader and a second update from there succeeds.
TEST_F(UpdateRuns, CancelDuringApplicationStopsAfterTheBlockAndBootModeRecovers)
{
    for (Link link : {Link::rs232, Link::hid}) {
        SCOPED_TRACE(linkName(link));
        BootloaderPeer peer(link, false, std::string("cancel-") + linkName(link));
        Host host;
        CFlashTool* t = tool(peer, link, host);
        peer.setBlockHook([t](int done) {
            if (done == 2) {
                std::int32_t one = 1;
                t->SetSetting(CFS_CANCELIO, &one, 4);
            }
            return BlockAction::ack;
        });
        EXPECT_EQ(flash(t, host, "app.mocf"), CUR_CANCELED);
        EXPECT_EQ(peer.blocks().size(), 3u);
        EXPECT_EQ(host.calls.back().done, 3 * 4096);
        EXPECT_TRUE(peer.inBoot());
        peer.setBlockHook(nullptr);
        DestroyFlashTool(t);

        Host again;
        CFlashTool* second = tool(peer, link, again);
        EXPECT_EQ(flash(second, again, "app.mocf"), link == Link::rs232 ? CUR_SUCCESS_RECOVERY : CUR_SUCCESS);
        EXPECT_TRUE(peer.appCopy() == m_expectedApp);
        EXPECT_FALSE(peer.inBoot());
        DestroyFlashTool(second);
    }
}

// A cancel that another thread of the host sets while a block is in flight
// ends the update with its cancel result right after that block: no
// further block is sent, progress stops there, and the scanner is told to
// leave flash mode.
TEST_F(UpdateRuns, CancelFromAnotherThreadEndsTheUpdateAfterTheBlockInFlight)
{
    BootloaderPeer peer(Link::rs232, false, "thread-cancel");
    Host host;
    CFlashTool* t = tool(peer, Link::rs232, host);
    std::mutex mutex;
    std::condition_variable changed;
    bool blockInFlight = false, cancelSet = false, finished = false;
    // The scanner holds the third block's answer until the other thread
    // has asked for the cancel.
    peer.setBlockHook([&](int done) {
        if (done == 2) {
            std::unique_lock lock(mutex);
            blockInFlight = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(20), [&] { return cancelSet; });
        }
        return BlockAction::ack;
    });
    std::thread canceller([&] {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(60), [&] { return blockInFlight || finished; });
        std::int32_t one = 1;
        t->SetSetting(CFS_CANCELIO, &one, 4);
        cancelSet = true;
        changed.notify_all();
    });
    const int result = flash(t, host, "app.mocf");
    {
        std::lock_guard lock(mutex);
        finished = true;
        changed.notify_all();
    }
    canceller.join();
    EXPECT_TRUE(blockInFlight);
    EXPECT_EQ(result, CUR_CANCELED);
    EXPECT_EQ(peer.blocks().size(), 3u);
    EXPECT_EQ(host.calls.back().done, 3 * 4096);
    const std::vector<std::string> log = peer.log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"boot block 1d002000", "boot X", "restart into boot"}));
    EXPECT_TRUE(peer.inBoot());
    DestroyFlashTool(t);
}

// Over CDC the update runs only from application mode: a cancel leaves the
// scanner in its bootloader, which the CDC interface cannot reach (its
// serial port belongs to the application), so the next CDC update fails
// without writing; the bootloader's own HID device still takes the image.
TEST_F(UpdateRuns, CancelOverCdcLeavesBootModeForTheHidBootloader)
{
    BootloaderPeer peer(Link::cdc, false, "cancel-cdc");
    Host host;
    CFlashTool* t = tool(peer, Link::cdc, host);
    peer.setBlockHook([t](int done) {
        if (done == 2) {
            std::int32_t one = 1;
            t->SetSetting(CFS_CANCELIO, &one, 4);
        }
        return BlockAction::ack;
    });
    EXPECT_EQ(flash(t, host, "app.mocf"), CUR_CANCELED);
    EXPECT_EQ(peer.blocks().size(), 3u);
    EXPECT_EQ(host.calls.back().done, 3 * 4096);
    EXPECT_TRUE(peer.inBoot());
    peer.setBlockHook(nullptr);
    DestroyFlashTool(t);

    Host cdcAgain;
    CFlashTool* overCdc = tool(peer, Link::cdc, cdcAgain);
    EXPECT_EQ(flash(overCdc, cdcAgain, "app.mocf"), CUR_FAILURE);
    EXPECT_EQ(peer.blocks().size(), 3u);
    EXPECT_TRUE(peer.inBoot());
    DestroyFlashTool(overCdc);

    // Through the bootloader's HID device the image goes in whole; the
    // restarted application is a serial device, so the HID status check
    // cannot find it afterwards.
    Host hidAgain;
    CFlashTool* overHid = CreateFlashTool();
    hidAgain.peer = &peer;
    std::int32_t iface = CIF_USBHID_BARCODE_SCANNER;
    ASSERT_EQ(overHid->SetSetting(CFS_INTERFACE, &iface, 4), CGSRET_SUCCESS);
    const std::string bootPath = peer.hidPath();
    std::u16string port(bootPath.begin(), bootPath.end());
    ASSERT_EQ(overHid->SetSetting(CFS_PORTFILENAME, port.data(), static_cast<std::uint32_t>((port.size() + 1) * 2)),
              CGSRET_SUCCESS);
    setShortTimings(overHid);
    EXPECT_EQ(flash(overHid, hidAgain, "app.mocf"), CUR_FAILURE_BRICK);
    EXPECT_TRUE(peer.appCopy() == m_expectedApp);
    EXPECT_FALSE(peer.inBoot());
    DestroyFlashTool(overHid);
}

TEST_F(UpdateRuns, CancelDuringBootImageHasNoEffect)
{
    for (Link link : {Link::rs232, Link::hid, Link::cdc}) {
        SCOPED_TRACE(linkName(link));
        BootloaderPeer peer(link, false, std::string("bootcancel-") + linkName(link));
        Host host;
        CFlashTool* t = tool(peer, link, host);
        peer.setBlockHook([t](int done) {
            if (done == 1) {
                std::int32_t one = 1;
                t->SetSetting(CFS_CANCELIO, &one, 4);
            }
            return BlockAction::ack;
        });
        EXPECT_EQ(flash(t, host, "boot.mocf"), CUR_SUCCESS);
        EXPECT_TRUE(peer.bootCopy() == m_expectedBoot);
        DestroyFlashTool(t);
    }
}

struct FailureCase {
    const char* what;
    BlockAction action;  // at the second block
    bool muteBootloader;
};

void UpdateRuns::runFailures(Link link)
{
    const FailureCase failures[] = {
        {"rejected block", BlockAction::reject, false},
        {"silence", BlockAction::silent, false},
        {"reset in the middle", BlockAction::reset, false},
        {"unplug", BlockAction::unplug, false},
        {"bootloader never answers", BlockAction::ack, true},
    };
    int n = 0;
    for (const char* name : {"app.mocf", "boot.mocf"}) {
        for (const FailureCase& f : failures) {
            if (f.muteBootloader && std::strcmp(name, "boot.mocf") == 0)
                continue;  // the boot image goes through the application
            SCOPED_TRACE(std::string(linkName(link)) + " " + name + ": " + f.what);
            BootloaderPeer peer(link, false, "fail" + std::to_string(n++));
            peer.setBootloaderMute(f.muteBootloader);
            peer.failAtBlock(1, f.action);
            Host host;
            CFlashTool* t = tool(peer, link, host);
            EXPECT_EQ(flash(t, host, name), CUR_FAILURE);
            EXPECT_LE(peer.blocks().size(), 1u);
            DestroyFlashTool(t);
        }
    }
}

// A rejected block, silence, a reset in the middle and an unplug at the
// second block, and a bootloader that never opens its session: each ends
// the update with 1, for either image.
TEST_F(UpdateRuns, EveryFailureOverRs232GivesItsCode) { runFailures(Link::rs232); }
TEST_F(UpdateRuns, EveryFailureOverHidGivesItsCode) { runFailures(Link::hid); }
TEST_F(UpdateRuns, EveryFailureOverCdcGivesItsCode) { runFailures(Link::cdc); }

// The simulator program serves the bootloader to a host in another process:
// the line it prints names the devices, and when its input closes it says
// how many blocks it stored.
TEST_F(UpdateRuns, SimulatorProgramTakesAnUpdateFromAnotherProcess)
{
    for (Link link : {Link::rs232, Link::hid, Link::cdc}) {
        SCOPED_TRACE(linkName(link));
        const std::string id = std::string("program-") + linkName(link);
        const std::string out = m_dir.file(id + ".out");
        const std::string command = "exec '" + vxtest::programDirectory() + "/vxsimulator' --bootloader " +
                                    linkName(link) + " --id " + id +
                                    " --no-wire-time --report-interval 0 --until-eof > '" + out + "' 2>&1";
        // Its standard input is our pipe: should this test die, the
        // simulator stops too.
        std::FILE* simulator = ::popen(command.c_str(), "w");
        ASSERT_NE(simulator, nullptr);
        ASSERT_TRUE(vxtest::waitUntil([&] { return vxtest::readFile(out).find('\n') != std::string::npos; }));
        std::istringstream line(vxtest::readFile(out));
        std::string name, first, second;
        line >> name >> first >> second;
        EXPECT_EQ(name, id);
        std::string port = first;  // the HID path
        if (link != Link::hid) {
            port.clear();
            for (const auto& serial : platform::listSerialPorts())
                if (serial.devicePath == first)
                    port = "\\\\.\\" + serial.comName;
            EXPECT_EQ(second.empty(), link == Link::rs232);
        }
        Host host;
        CFlashTool* t = tool(std::u16string(port.begin(), port.end()), link);
        EXPECT_EQ(flash(t, host, "app.mocf"), CUR_SUCCESS);
        checkProgress(host, kAppBlocks, 1);
        DestroyFlashTool(t);
        EXPECT_EQ(::pclose(simulator), 0);
        EXPECT_NE(vxtest::readFile(out).find(id + " stored " + std::to_string(kAppBlocks) + " blocks\n"),
                  std::string::npos)
            << vxtest::readFile(out);
    }
}

TEST_F(UpdateRuns, SilentScannerGivesFailureWithoutWriting)
{
    BootloaderPeer peer(Link::rs232);
    peer.setApplicationMute(true);
    Host host;
    CFlashTool* t = tool(peer, Link::rs232, host);
    EXPECT_EQ(flash(t, host, "both.mocf"), CUR_FAILURE);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(peer.blocks().empty());
    DestroyFlashTool(t);
}

// The second writer of a USB package that started in boot mode finds the
// application by the identifiers the scanner gave; when it cannot, the
// package fails even though the first writer succeeded.
TEST_F(UpdateRuns, UsbPackageWhoseSecondWriterFindsNoDeviceFails)
{
    BootloaderPeer peer(Link::hid, true, "gone");
    Host host;
    CFlashTool* t = tool(peer, Link::hid, host);
    MyPrivateParams* engine = t->engine();
    engine->pinfo = PinfoRecord{};
    engine->pinfo.mode = 'B';
    engine->pinfo.physical_cable_type = 'U';
    engine->pinfo.usbvid = 0x7A11;
    engine->pinfo.usbpid = 0x0B01;
    engine->m_bootImage.bytes.assign(0xB000, 0xFF);
    engine->m_deviceSearch = true;
    engine->m_caller = &host;
    int result = CUR_SUCCESS;  // as the application writer left it
    EXPECT_FALSE(engine->FlashScanner_Boot_USB(&result));
    EXPECT_EQ(result, CUR_FAILURE);
    DestroyFlashTool(t);
}

}  // namespace
