// Whole updates against the strict simulated scanner, read from its log and
// from the library's own: the order of the commands on each link, the
// host's line settings and the baud search, every retry loop, and the
// compatibility check.
#include "UpdateFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

using namespace flashrun;

namespace {

// The scanner's log with the lines of each run of blocks folded into one
// ("boot blocks 120").
std::vector<std::string> summary(const std::vector<std::string>& log)
{
    std::vector<std::string> out;
    std::string who;
    int blocks = 0;
    auto flush = [&] {
        if (blocks > 0)
            out.push_back(who + " blocks " + std::to_string(blocks));
        blocks = 0;
    };
    for (const std::string& line : log) {
        bool blockLine = false;
        for (const std::string w : {"boot", "relay"}) {
            if (line.rfind(w + " E ", 0) == 0 || line == w + " P" || line.rfind(w + " P ", 0) == 0 ||
                line.rfind(w + " block ", 0) == 0) {
                if (blocks > 0 && who != w)
                    flush();
                who = w;
                blocks += line.rfind(w + " block ", 0) == 0 ? 1 : 0;
                blockLine = true;
            }
        }
        if (blockLine)
            continue;
        flush();
        out.push_back(line);
    }
    flush();
    return out;
}

std::size_t count(const std::string& text, const std::string& piece)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

class ProtocolRuns : public UpdateFixture {
protected:
    // A tool for the peer that also logs to `name` in the test's folder at
    // `level`.
    CFlashTool* loggingTool(BootloaderPeer& peer, Link link, Host& host, const std::string& name, int level)
    {
        CFlashTool* t = tool(peer, link, host);
        const std::u16string file = flashfix::wide(m_dir.file(name));
        log_settings settings{CFS_LOG_FILE, file.c_str(), level};
        EXPECT_EQ(t->SetSetting(CFS_LOGGING, &settings, sizeof settings), CGSRET_SUCCESS);
        return t;
    }

    std::string logText(const std::string& name) const { return vxtest::readFile(m_dir.file(name)); }
};

// The tests below take one row of their table each (rows run side by side).
class ProtocolRow : public ProtocolRuns, public ::testing::WithParamInterface<int> {
protected:
    // Whether `row` (counted by the caller) is this test's.
    bool mine(int& row) const { return row++ == GetParam(); }
};

// One package per link, the command order read from the scanner's log: the
// trigger lock before flash mode, NEWBLE at the end of the boot image, the
// bootloader's handshake before its blocks, 'X' after them, VISMN40 once
// the update is complete. The library's log has the lines of each step.
using CommandOrder = ProtocolRow;
TEST_P(CommandOrder, OfAPackage)
{
    const std::vector<std::string> bootImageThroughTheApplication = {
        "app TRGMOD0;TRGITG1!", "app NEWBLS.", "relay ESC", "relay ACK", "relay blocks 11", "app NEWBLE.",
    };
    const std::vector<std::string> applicationThroughTheBootloader = {
        "boot BTLPRO*.", "boot ESC", "boot ACK", "boot blocks 120", "boot X", "restart into app",
    };
    auto join = [](std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    // From application mode: the boot image first, then the application.
    const std::vector<std::string> fromApplication = join({
        {"app P_INFO."},
        bootImageThroughTheApplication,
        {"app P_INFO.", "app TRGMOD0;TRGITG1!", "app NEWAP2.", "restart into boot"},
        applicationThroughTheBootloader,
        {"app P_INFO.", "app VISMN40."},
    });
    // From boot mode over RS-232: the application first; the restarted
    // application is found by the sync probe, not asked for P_INFO.
    const std::vector<std::string> fromBoot = join({
        {"boot P_INFO."},
        applicationThroughTheBootloader,
        {"app SYN C"},
        bootImageThroughTheApplication,
        {"app SYN C", "app VISMN40."},
    });
    const struct {
        Link link;
        bool startInBoot;
        const std::vector<std::string>& order;
        std::vector<std::string> logLines;
    } cases[] = {
        {Link::rs232,
         true,
         fromBoot,
         {"MyPrivateParams -- Scanner_GetPinfo: get P_INFO string with valid header format in baudrate 115200, ByteSize "
          "= 8, Parity = 0, StopBits = 0. \n",
          "MyPrivateParams -- CheckDeviceStatus: scanner is working in baudrate 115200, ByteSize = 8, Parity = 0, "
          "StopBits = 0. \n",
          "MyPrivateParams -- FlashScanner_RS232_Boot: send the address again, response = 0X4E",
          "MyPrivateParams -- FlashScanner_App_RS232: BTLPRO command response = 0X42"}},
        {Link::hid,
         false,
         fromApplication,
         {"MyPrivateParams -- FlashScanner_Boot_USB: Send Start Address command again, response = ",
          "MyPrivateParams -- FlashScanner_App_USB: Start Address command response = ",
          "MyPrivateParams -- CheckDeviceStatus: get P_INFO string with valid header.\n"}},
        {Link::cdc,
         false,
         fromApplication,
         {"MyPrivateParams -- FlashScanner_RS232_Boot: send the address again, response = 0X",
          "MyPrivateParams -- FlashScanner_App_USB: Start Address command response = "}},
    };
    int row = 0;
    for (const auto& c : cases) {
        if (!mine(row))
            continue;
        SCOPED_TRACE(linkName(c.link));
        BootloaderPeer peer(c.link, c.startInBoot, std::string("order-") + linkName(c.link));
        Host host;
        const std::string logName = std::string("order-") + linkName(c.link) + ".log";
        CFlashTool* t = loggingTool(peer, c.link, host, logName, 3);
        EXPECT_EQ(flash(t, host, "both.mocf"), CUR_SUCCESS);
        DestroyFlashTool(t);
        EXPECT_EQ(summary(peer.log()), c.order);
        EXPECT_EQ(peer.refusals(), std::vector<std::string>{});

        const std::string text = logText(logName);
        EXPECT_EQ(text.rfind("START : (Abs: ", 0), 0u) << text.substr(0, 80);
        EXPECT_NE(text.find("\nFlashScanner BEGIN : (Abs: "), std::string::npos);
        EXPECT_NE(text.find("\nFlashScanner END : (Abs: "), std::string::npos);
        EXPECT_NE(text.rfind("END: : (Abs: "), std::string::npos);
        for (const std::string& line : c.logLines)
            EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

// The application works at its own line only and the bootloader at 115200
// 8N1: the host finds the application by the P_INFO retry in its own
// framing and by the baud search, and talks to the bootloader at 115200.
using LineSettings = ProtocolRow;
TEST_P(LineSettings, HostAndApplication)
{
    const struct {
        const char* name;
        DWORD hostBaud;
        BYTE hostParity;
        BYTE hostByteSize;
        vxsim::BootLine app;
        bool startInBoot;
        int level;
        CONST_UPGRADERETURN result;
        // Every refusal the scanner logs begins with this, and none holds
        // `never`.
        std::string refusals;
        std::string never;
        std::vector<std::string> logged;
        std::vector<std::string> notLogged;
    } cases[] = {
        // The host at 9600 7E1 as the application: P_INFO in 8N1 first (not
        // heard), then in the host's framing; the bootloader at 115200.
        {"host and application at 9600 7E1", 9600, EVENPARITY, 7, {9600, 7, 2}, false, 3, CUR_SUCCESS,
         "refused app: 10 bytes at 9600 8N", "",
         {"MyPrivateParams -- Scanner_GetPinfo: get P_INFO string with valid header format in baudrate 9600, ByteSize "
          "= 7, Parity = 2, StopBits = 0. \n",
          "MyPrivateParams -- CheckDeviceStatus: Can not get P_INFO command, try again with inputted rs232 settings. "
          "\n"},
         {}},
        // From boot mode (where the bootloader answers at 115200 only) the
        // restarted application at 9600 7E1 is found by the baud search.
        // The log at level 1 holds the failed probes, not the success lines.
        {"application at 9600 7E1 found by the baud search", 115200, EVENPARITY, 7, {9600, 7, 2}, true, 1,
         CUR_SUCCESS, "refused app: 3 bytes at ", "9600 7E",
         {"MyPrivateParams -- CheckDeviceStatus: could not get any response for SYN C command in baudrate 115200, "
          "ByteSize = 8, Parity = 0, StopBits = 0. \n",
          "MyPrivateParams -- CheckDeviceStatus: could not get any response for SYN C command in baudrate 19200, "
          "ByteSize = 7, Parity = 2, StopBits = 0. \n"},
         {"scanner is working in baudrate", "valid header format", "MyPrivateParams -- CheckDeviceStatus: try again"}},
        // A host at another rate than the application's reaches nothing.
        {"host at 38400, application at 9600", 38400, NOPARITY, 8, {9600, 8, 0}, false, 3, CUR_FAILURE,
         "refused app: 10 bytes at 38400 8N", "", {}, {}},
    };
    int n = 0;
    int row = 0;
    for (const auto& c : cases) {
        if (!mine(row))
            continue;
        SCOPED_TRACE(c.name);
        vxsim::BootloaderOptions options;
        options.id = "line-" + std::to_string(n++);
        options.startInBoot = c.startInBoot;
        options.appLine = c.app;
        BootloaderPeer peer(options);
        m_hostBaud = c.hostBaud;
        m_hostParity = c.hostParity;
        m_hostByteSize = c.hostByteSize;
        Host host;
        const std::string logName = options.id + ".log";
        CFlashTool* t = loggingTool(peer, Link::rs232, host, logName, c.level);
        EXPECT_EQ(flash(t, host, "both.mocf"), c.result);
        DestroyFlashTool(t);
        if (c.result == CUR_SUCCESS) {
            EXPECT_TRUE(peer.bootCopy() == m_expectedBoot);
            EXPECT_TRUE(peer.appCopy() == m_expectedApp);
            EXPECT_EQ(peer.bootloaderBaud(), 115200u);
        } else {
            EXPECT_TRUE(peer.blocks().empty());
        }
        const std::vector<std::string> refusals = peer.refusals();
        EXPECT_FALSE(refusals.empty());
        for (const std::string& line : refusals) {
            EXPECT_EQ(line.rfind(c.refusals, 0), 0u) << line;
            if (!c.never.empty()) {
                EXPECT_EQ(line.find(c.never), std::string::npos) << line;
            }
        }
        const std::string text = logText(logName);
        for (const std::string& line : c.logged)
            EXPECT_NE(text.find(line), std::string::npos) << line;
        for (const std::string& line : c.notLogged)
            EXPECT_EQ(text.find(line), std::string::npos) << line;
    }
}

// A scanner in its bootloader whose application works at 38400: the host
// (at 115200, the only rate a bootloader hears) writes the application,
// finds it restarted by the baud search, and a host at the rate found
// updates it again through the running application.
TEST_F(ProtocolRuns, AnApplicationFoundByTheBaudSearchIsThenUpdatedAtItsRate)
{
    vxsim::BootloaderOptions options;
    options.id = "found-then-updated";
    options.startInBoot = true;
    options.appLine = {38400, 8, 0};
    BootloaderPeer peer(options);
    {
        Host host;
        CFlashTool* t = loggingTool(peer, Link::rs232, host, "found.log", 3);
        EXPECT_EQ(flash(t, host, "app.mocf"), CUR_SUCCESS_RECOVERY);
        DestroyFlashTool(t);
    }
    ASSERT_FALSE(peer.inBoot());
    EXPECT_TRUE(peer.appCopy() == m_expectedApp);
    const std::string found = logText("found.log");
    for (const char* rate : {"115200", "57600"})
        EXPECT_NE(found.find(std::string("MyPrivateParams -- CheckDeviceStatus: could not get any response for SYN C "
                                         "command in baudrate ") +
                             rate + ", ByteSize = 8, Parity = 0, StopBits = 0. \n"),
                  std::string::npos)
            << rate;
    EXPECT_NE(found.find("MyPrivateParams -- CheckDeviceStatus: scanner is working in baudrate 38400, ByteSize = 8, "
                         "Parity = 0, StopBits = 0. \n"),
              std::string::npos);
    const std::size_t blocksBefore = peer.blocks().size();
    const std::size_t refusalsBefore = peer.refusals().size();

    m_hostBaud = 38400;
    Host host;
    CFlashTool* t = loggingTool(peer, Link::rs232, host, "updated.log", 3);
    host.peer = nullptr;  // its commands are those of both updates
    EXPECT_EQ(flash(t, host, "both.mocf"), CUR_SUCCESS);
    DestroyFlashTool(t);
    EXPECT_FALSE(peer.inBoot());
    EXPECT_TRUE(peer.bootCopy() == m_expectedBoot);
    EXPECT_TRUE(peer.appCopy() == m_expectedApp);
    EXPECT_EQ(peer.blocks().size() - blocksBefore, kBootBlocks + kAppBlocks) << "both images written again";
    EXPECT_EQ(peer.bootloaderBaud(), 115200u);
    const std::vector<std::string> refusals = peer.refusals();
    EXPECT_EQ(std::vector<std::string>(refusals.begin() + static_cast<std::ptrdiff_t>(refusalsBefore), refusals.end()),
              std::vector<std::string>{})
        << "the second update spoke to the application at its own rate only";
    const std::string updated = logText("updated.log");
    EXPECT_NE(updated.find("MyPrivateParams -- Scanner_GetPinfo: get P_INFO string with valid header format in baudrate "
                           "38400, ByteSize = 8, Parity = 0, StopBits = 0. \n"),
              std::string::npos);
    checkProgress(host, kBootBlocks + kAppBlocks, 2);
}

// Every retry loop retries: the scanner answers the first attempt of each
// step wrongly and a later one rightly, and the update still succeeds (a
// host that gave up, or took the wrong answer, would fail or write
// nothing).
using Retries = ProtocolRow;
TEST_P(Retries, EveryLoopRetries)
{
    const struct {
        Link link;
        // The trigger lock is tested only when entering the bootloader over
        // a serial port (its first use there, before flash mode, is not),
        // but at both places over HID.
        std::vector<int> trgmod;
        bool serialStatus;  // the status check reads VISMN40's answer
        // What the library logs of the wrong P_INFO answers (ENQ).
        std::vector<std::string> logged;
    } cases[] = {
        {Link::rs232,
         {2},
         true,
         {"MyPrivateParams -- Scanner_GetPinfo: get P_INFO string with invalid header format in baudrate 115200, "
          "ByteSize = 8, Parity = 0, StopBits = 0. \n",
          "MyPrivateParams -- Scanner_GetPinfo: Hex P_INFO string: \n0X05 0X00 0X00 0X00 0X00 0X00 \n",
          "MyPrivateParams -- CheckDeviceStatus: has failed to get scanner info with inputted rs232 settings, no need "
          "to try again.\n"}},
        {Link::hid,
         {1, 3},
         false,
         {"MyPrivateParams -- Scanner_GetPinfo: get P_INFO string with invalid header format in baudrate ",
          "MyPrivateParams -- Scanner_GetPinfo: Hex P_INFO hearder string: \n0X05 0X00 ",
          "MyPrivateParams -- CheckDeviceStatus: get P_INFO string with invalid header.\n"}},
        {Link::cdc, {2}, true, {"MyPrivateParams -- Scanner_GetPinfo: Hex P_INFO string: \n0X05 "}},
    };
    int row = 0;
    for (const auto& c : cases) {
        if (!mine(row))
            continue;
        SCOPED_TRACE(linkName(c.link));
        vxsim::BootloaderOptions options;
        options.link = c.link;
        options.id = std::string("retries-") + linkName(c.link);
        // The bootloader's HID device shows up only after a few searches.
        options.bootDeviceDelayMs = c.link == Link::rs232 ? 0 : 300;
        BootloaderPeer peer(options);
        // P_INFO: the query before the update, then the status check after
        // the boot image (the third query).
        peer.answerWrongly(vxsim::BootStep::pinfo, {1, 3});
        peer.answerWrongly(vxsim::BootStep::trgmod, c.trgmod);
        peer.answerWrongly(vxsim::BootStep::newbls, {1});
        peer.answerWrongly(vxsim::BootStep::btlpro, {1});
        // The relayed handshake first, then the bootloader's own.
        peer.answerWrongly(vxsim::BootStep::escape, {1, 3});
        peer.answerWrongly(vxsim::BootStep::vismn40, {1});
        Host host;
        const std::string logName = options.id + ".log";
        CFlashTool* t = loggingTool(peer, c.link, host, logName, 3);
        EXPECT_EQ(flash(t, host, "both.mocf"), CUR_SUCCESS);
        DestroyFlashTool(t);
        EXPECT_TRUE(peer.bootCopy() == m_expectedBoot);
        EXPECT_TRUE(peer.appCopy() == m_expectedApp);
        EXPECT_EQ(peer.refusals(), std::vector<std::string>{});
        const std::vector<std::string> log = peer.log();
        const auto wrong = std::count_if(log.begin(), log.end(), [](const std::string& l) {
            return l.find("(answered wrongly)") != std::string::npos;
        });
        EXPECT_EQ(wrong, static_cast<long>(7 + c.trgmod.size()));

        const std::string text = logText(logName);
        EXPECT_NE(text.find("MyPrivateParams -- ExitFlashMode: try to check device status 1th.\n"), std::string::npos);
        if (c.serialStatus) {
            EXPECT_NE(text.find("MyPrivateParams -- CheckDeviceStatus: retry 1th to read date, VISMN40 command response = "
                                "0X56"),
                      std::string::npos);
        }
        for (const std::string& line : c.logged)
            EXPECT_NE(text.find(line), std::string::npos) << line;
        if (c.link != Link::rs232) {
            char search[128];
            std::snprintf(search, sizeof search, "Searching for VendorID = 0x%04x, ProductID = 0x%04x",
                          vxsim::bootmap::kVendor, vxsim::bootmap::kBootProduct);
            EXPECT_GE(count(text, search), 2u);
        }
    }
}

// The compatibility check: the file's compatibility record (low bytes)
// against the codes the scanner reported.
TEST_F(ProtocolRuns, CompatibilityCheck)
{
    const struct {
        const char* name;
        std::vector<std::uint32_t> compat;
        std::vector<std::uint32_t> incompat;
        std::optional<std::vector<std::uint32_t>> file;  // none: no record
        bool accepted;
    } cases[] = {
        {"scanner without compatibility codes accepts every file", {}, {5}, std::vector<std::uint32_t>{5}, true},
        {"an incompatible code refuses even with a compatible one", {17}, {5}, std::vector<std::uint32_t>{17, 5}, false},
        {"the refusing code after another of the scanner's", {17}, {9, 5}, std::vector<std::uint32_t>{17, 5}, false},
        {"no record, scanner with incompatible codes", {17}, {5}, std::nullopt, false},
        {"no record, scanner with compatible codes only", {17}, {}, std::nullopt, true},
        {"a compatible code", {18, 17}, {}, std::vector<std::uint32_t>{17}, true},
        {"no code in common", {17}, {}, std::vector<std::uint32_t>{18}, false},
        {"only the low byte of a file's entry counts", {17}, {}, std::vector<std::uint32_t>{0x111}, true},
    };
    BootloaderPeer unused(Link::rs232, false, "compat-table");
    Host host;
    CFlashTool* t = tool(unused, Link::rs232, host);
    MyPrivateParams* engine = t->engine();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine->pinfo = PinfoRecord{};
        std::copy(c.compat.begin(), c.compat.end(), engine->pinfo.compat);
        std::copy(c.incompat.begin(), c.incompat.end(), engine->pinfo.incompat);
        ClearFileCompatTable();
        if (c.file) {
            FileCompatTable().count = static_cast<std::uint32_t>(c.file->size());
            std::copy(c.file->begin(), c.file->end(), FileCompatTable().values);
        }
        EXPECT_EQ(engine->CheckCompatibleData(), c.accepted);
    }
    // Only 32 incompatibility codes are looked at.
    engine->pinfo = PinfoRecord{};
    engine->pinfo.compat[0] = 17;
    for (int i = 0; i < 32; ++i)
        engine->pinfo.incompat[i] = static_cast<std::uint32_t>(100 + i);
    engine->pinfo.incompat[32] = 5;
    ClearFileCompatTable();
    FileCompatTable().count = 2;
    FileCompatTable().values[0] = 5;
    FileCompatTable().values[1] = 17;
    EXPECT_TRUE(engine->CheckCompatibleData());
    DestroyFlashTool(t);

    // Through an update: a scanner that refuses code 5 and a file that
    // lists it get 4, before anything but the query reached the scanner.
    vxsim::BootloaderOptions options;
    options.id = "compat-refused";
    options.appIncompat = {5};
    BootloaderPeer peer(options);
    const std::vector<std::string> appLines = flashfix::hexLines(flashfix::appImage(), false);
    const flashfix::Record app{0x0B000001u, flashfix::textBytes(flashfix::joinLines(appLines))};
    flashfix::writeFile(m_dir.file("listed.mocf"), flashfix::container({{2, flashfix::compatValue({17, 5})}, app}));
    flashfix::writeFile(m_dir.file("fits.mocf"), flashfix::container({{2, flashfix::compatValue({17})}, app}));
    Host refusedHost;
    CFlashTool* refusedTool = tool(peer, Link::rs232, refusedHost);
    EXPECT_EQ(flash(refusedTool, refusedHost, "listed.mocf"), CUR_FILE_INCOMPATIBLE);
    DestroyFlashTool(refusedTool);
    EXPECT_EQ(peer.log(), std::vector<std::string>{"app P_INFO."});
    EXPECT_TRUE(refusedHost.calls.empty());
    EXPECT_TRUE(peer.blocks().empty());

    Host fitsHost;
    CFlashTool* fitsTool = tool(peer, Link::rs232, fitsHost);
    EXPECT_EQ(flash(fitsTool, fitsHost, "fits.mocf"), CUR_SUCCESS);
    DestroyFlashTool(fitsTool);
    EXPECT_TRUE(peer.appCopy() == m_expectedApp);
}

// When the status check's first P_INFO finds the application in another
// framing, the query again in the host's framing follows the line change
// and its 50 ms pause, without another settle pause.
TEST_F(ProtocolRuns, StatusRecheckPausesAsTheProtocolSays)
{
    vxsim::BootloaderOptions options;
    options.id = "recheck";
    options.appLine = {9600, 7, 2};
    BootloaderPeer peer(options);
    m_hostBaud = 9600;
    m_hostParity = EVENPARITY;
    m_hostByteSize = 7;
    Host host;
    CFlashTool* t = tool(peer, Link::rs232, host);
    MyPrivateParams* engine = t->engine();
    engine->pinfo = PinfoRecord{};
    engine->pinfo.mode = 'A';
    engine->pinfo.physical_cable_type = 'R';
    engine->m_rs232.dcb.BaudRate = 9600;
    engine->m_working = engine->m_rs232;
    engine->m_working.dcb.ByteSize = 8;
    engine->m_working.dcb.Parity = NOPARITY;
    engine->m_bytesDone = 0;
    engine->m_bytesTotal = 1;  // not complete: no VISMN40
    const std::uint64_t before = FixedPauseAskedMs();
    EXPECT_TRUE(engine->CheckDeviceStatus());
    // 200 settling after the open, 10 after the failed query, 200 in the
    // line change, 50 after it.
    EXPECT_EQ(FixedPauseAskedMs() - before, 460u);
    EXPECT_EQ(summary(peer.log()), (std::vector<std::string>{"refused app: 10 bytes at 9600 8N", "app P_INFO."}));
    DestroyFlashTool(t);
}

std::string orderName(const ::testing::TestParamInfo<int>& info)
{
    static const char* const kNames[] = {"Rs232FromBoot", "HidFromApplication", "CdcFromApplication"};
    return kNames[info.param];
}
std::string lineName(const ::testing::TestParamInfo<int>& info)
{
    static const char* const kNames[] = {"BothAt9600_7E1", "BaudSearchFromBoot", "HostAtAnotherRate"};
    return kNames[info.param];
}
std::string retryName(const ::testing::TestParamInfo<int>& info)
{
    static const char* const kNames[] = {"Rs232", "Hid", "Cdc"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Links, CommandOrder, ::testing::Range(0, 3), orderName);
INSTANTIATE_TEST_SUITE_P(Rows, LineSettings, ::testing::Range(0, 3), lineName);
INSTANTIATE_TEST_SUITE_P(Links, Retries, ::testing::Range(0, 3), retryName);

}  // namespace
