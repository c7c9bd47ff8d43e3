// What the tests of whole updates share: the firmware files, a tool set up
// for a simulated scanner with short protocol timings, the progress record.
#pragma once

#include "BootloaderPort.h"
#include "FlashFixtures.h"
#include "TestSupport.h"

#include "MyPrivateParams.h"
#include "include/VXFLASH02.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace flashrun {

using BootloaderPeer = vxsim::BootloaderScanner;
using Link = vxsim::BootLink;

constexpr std::uint32_t kAppBlocks = 0x78000 / 4096;
constexpr std::uint32_t kBootBlocks = 0xB000 / 4096;
// How long the host waits for a reply. Healthy runs wait it out several
// times per update (replies shorter than the reads that take them), so it
// is short; an instrumented build on a loaded machine answers several
// times slower and gets more (ThreadSanitizer's most: a reply may wait
// there a second behind the virtual interface's other connections).
#if defined(__SANITIZE_THREAD__)
constexpr std::int32_t kReplyTimeoutMs = 2500;
#elif defined(__SANITIZE_ADDRESS__)
constexpr std::int32_t kReplyTimeoutMs = 1500;
#else
constexpr std::int32_t kReplyTimeoutMs = 400;
#endif

struct Progress {
    std::int32_t done;
    std::int32_t total;
    std::vector<std::string> commandsSoFar;
};

struct Host {
    BootloaderPeer* peer = nullptr;
    std::vector<Progress> calls;
};

inline std::int32_t onProgress(void* caller, std::int32_t, std::int32_t done, std::int32_t total)
{
    Host* host = static_cast<Host*>(caller);
    // A peer in another process cannot be asked what it received.
    host->calls.push_back({done, total, host->peer ? host->peer->commands() : std::vector<std::string>{}});
    return 0;
}

inline const char* linkName(Link link)
{
    switch (link) {
    case Link::rs232: return "rs232";
    case Link::hid: return "hid";
    case Link::cdc: return "cdc";
    }
    return "?";
}

class UpdateFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The protocol's fixed pauses at a hundredth: these tests run dozens
        // of updates.
        SetFixedPausePercent(1);
        const std::vector<std::string> bootLines = flashfix::hexLines(flashfix::bootImage(), true);
        const std::vector<std::string> appLines = flashfix::hexLines(flashfix::appImage(), false);
        m_expectedBoot = flashfix::bootImage();
        m_expectedApp = flashfix::expectedAppImage(flashfix::appImage(), flashfix::firstLineIsLate(appLines));
        const flashfix::Record boot{0x0B000000u, flashfix::textBytes(flashfix::joinLines(bootLines))};
        const flashfix::Record app{0x0B000001u, flashfix::textBytes(flashfix::joinLines(appLines))};
        flashfix::writeFile(m_dir.file("boot.mocf"), flashfix::container({boot}));
        flashfix::writeFile(m_dir.file("app.mocf"), flashfix::container({app}));
        flashfix::writeFile(m_dir.file("both.mocf"), flashfix::container({boot, app}));
    }
    void TearDown() override { SetFixedPausePercent(100); }

    std::u16string file(const std::string& name) const { return flashfix::wide(m_dir.file(name)); }

    // A tool for the peer with short protocol timings.
    CFlashTool* tool(BootloaderPeer& peer, Link link, Host& host)
    {
        host.peer = &peer;
        return tool(flashpeer::portName(peer), link);
    }
    CFlashTool* tool(std::u16string port, Link link)
    {
        CFlashTool* t = CreateFlashTool();
        std::int32_t iface = link == Link::rs232 ? CIF_RS232 : link == Link::hid ? CIF_USBHID_BARCODE_SCANNER : CIF_USBCDC;
        EXPECT_EQ(t->SetSetting(CFS_INTERFACE, &iface, 4), CGSRET_SUCCESS);
        EXPECT_FALSE(port.empty());
        EXPECT_EQ(t->SetSetting(CFS_PORTFILENAME, port.data(), static_cast<std::uint32_t>((port.size() + 1) * 2)),
                  CGSRET_SUCCESS);
        win_rs232_settings rs{};
        rs.dcb.DCBlength = sizeof(DCB);
        rs.dcb.BaudRate = m_hostBaud;
        rs.dcb.ByteSize = m_hostByteSize;
        rs.dcb.Parity = m_hostParity;
        rs.dcb.fBinary = 1;
        rs.dwInQueue = 4096;
        rs.dwOutQueue = 4096;
        EXPECT_EQ(t->SetSetting(CFS_WIN32_232_SETTINGS, &rs, sizeof rs), CGSRET_SUCCESS);
        setShortTimings(t);
        return t;
    }

    static void setShortTimings(CFlashTool* t)
    {
        const struct {
            CONST_FLASHTOOL_SETTING id;
            std::int32_t value;
        } timings[] = {
            {CFS_TIMEOUT_MENUCMD, kReplyTimeoutMs},       {CFS_TIMEDELAY_MENUCMD, 10},     {CFS_RETRY_MAX, 3},
            {CFS_TIMEDELAY_TRGMOD, 0},        {CFS_TIMEDELAY_ENUMDEVICE, 0},   {CFS_TIMEDELAY_USB_NEWAP2, 50},
            {CFS_TIMEDELAY_RS232_NEWAP2, 50}, {CFS_TIMEDELAY_RS232_RESET, 50}, {CFS_TIMEDELAY_USB_RESET, 50},
            {CFS_TIMEDELAY_DETECT, 50},
        };
        for (auto timing : timings)
            EXPECT_EQ(t->SetSetting(timing.id, &timing.value, 4), CGSRET_SUCCESS);
        EXPECT_EQ(t->SetSetting(CFS_FWCALLBACK, reinterpret_cast<void*>(&onProgress), 4), CGSRET_SUCCESS);
    }

    int flash(CFlashTool* t, Host& host, const std::string& name)
    {
        const std::u16string path = file(name);
        return t->FlashScanner(&host, path.c_str());
    }

    // Progress is called first with nothing done and nothing yet sent by the
    // writer, never falls, and ends at the total; one call per block and one
    // per writer.
    static void checkProgress(const Host& host, std::uint32_t blocks, std::uint32_t writers)
    {
        ASSERT_FALSE(host.calls.empty());
        EXPECT_EQ(host.calls.front().done, 0);
        if (host.peer != nullptr) {
            EXPECT_EQ(host.calls.front().commandsSoFar, std::vector<std::string>{"P_INFO."});
        }
        for (std::size_t i = 1; i < host.calls.size(); ++i) {
            EXPECT_GE(host.calls[i].done, host.calls[i - 1].done) << "call " << i;
            EXPECT_EQ(host.calls[i].total, host.calls.front().total);
        }
        EXPECT_EQ(host.calls.back().done, host.calls.back().total);
        EXPECT_EQ(host.calls.size(), blocks + writers);
    }

    // The host's serial settings for the next tool.
    DWORD m_hostBaud = 115200;
    BYTE m_hostByteSize = 8;
    BYTE m_hostParity = NOPARITY;

    vxtest::TempDir m_dir;
    std::vector<std::uint8_t> m_expectedBoot;
    std::vector<std::uint8_t> m_expectedApp;
};

}  // namespace flashrun
