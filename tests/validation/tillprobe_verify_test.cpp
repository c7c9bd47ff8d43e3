// Verify on the scripted scanner control through the real site and
// wrapper: the calls in order, the countdown on a driven timer, labels,
// failures ending in a row of the state table, and the control's events.
#include "ProbeStrings.h"
#include "ProbeTestSupport.h"
#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <regex>

using namespace vxtest;

namespace {

const std::vector<std::string> kCloseCalls = {"put DataEventEnabled=0", "put DeviceEnabled=0", "put DecodeData=0",
                                              "ReleaseDevice()", "Close()"};

bool contains(const std::vector<std::string>& calls, const std::string& call)
{
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

class VerifyTest : public ProbeTest {
protected:
    void tick() { dlg().OnTimmer(probe::kCountdownTimer); }
    std::string progress() const { return m_dlg->Model().progressShown ? m_dlg->Model().progressText : "(hidden)"; }
    std::string error() const { return m_dlg->Model().errorShown ? m_dlg->Model().errorText : "(hidden)"; }
};

}  // namespace

TEST_F(VerifyTest, OpensClaimsEnablesThenCountsDownAndClosesOnTheFourthTick)
{
    addEntry("Lane", "20000");
    countdownFrom(3);
    start();
    verify("Lane");
    EXPECT_EQ(calls(), (std::vector<std::string>{"Open(Lane)", "ClaimDevice(20000)", "put DeviceEnabled=1",
                                                 "get ResultCode", "put DataEventEnabled=1", "get ResultCode",
                                                 "put DecodeData=1", "get ResultCode"}));
    EXPECT_EQ(progress(), "Device opened successfully");
    EXPECT_EQ(error(), "(hidden)");
    EXPECT_EQ(model().output, probe::T(probe::kOutputPrompt));
    EXPECT_EQ(model().focus, probe::IDC_BTN_ADVANCED);
    EXPECT_EQ(host.period, 1000u);
    EXPECT_EQ(row(), "reading");

    control.ClearCalls();
    for (const char* shown : {"Read data with in 3 seconds", "Read data with in 2 seconds",
                              "Read data with in 1 seconds"}) {
        tick();
        EXPECT_EQ(progress(), shown);
        EXPECT_EQ(row(), "reading");
    }
    EXPECT_TRUE(calls().empty());
    tick();
    EXPECT_EQ(calls(), kCloseCalls);
    EXPECT_EQ(progress(), "Device closed successfully");
    EXPECT_EQ(row(), "device chosen");

    // And again.
    control.ClearCalls();
    dlg().OnCommand(probe::IDC_BTN_VERIFY);
    EXPECT_EQ(calls().at(0), "Open(Lane)");
    EXPECT_EQ(row(), "reading");
}

TEST_F(VerifyTest, ALabelRestartsTheCountAndReArmsDataEvents)
{
    addEntry("Lane");
    countdownFrom(3);
    start();
    verify("Lane");
    tick();
    tick();
    tick();
    ASSERT_EQ(progress(), "Read data with in 1 seconds");
    control.ClearCalls();
    control.SetText("ScanDataLabel", "A\r\nB");
    control.FireDataEvent(0);
    EXPECT_EQ(calls(), (std::vector<std::string>{"get ScanDataLabel", "put DataEventEnabled=1"}));
    EXPECT_EQ(control.Number("DataEventEnabled"), 1);
    EXPECT_EQ(model().output, "A[CR][LF]\nB");
    tick();
    EXPECT_EQ(progress(), "Read data with in 3 seconds");
    EXPECT_EQ(row(), "reading");
}

TEST_F(VerifyTest, LabelsShowTheirControlCharactersSpelledOut)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"A\r\nB", "A[CR][LF]\nB"},
        {"\n", "[LF]"},
        {"\rx\n", "[CR]x[LF]\n"},
        {"a\tb", "a\tb"},
        {"\x10", "[DLF]"},
        {std::string(1, '\0') + "Z", "[NUL]Z"},
        {"\x1F\x02", "[US][STX]"},
        // The label's ISO-8859-1 byte, shown as its character.
        {"Caf\xE9", "Caf\xC3\xA9"},
    };
    addEntry("Lane");
    start();
    verify("Lane");
    for (const auto& [label, shown] : cases) {
        control.SetText("ScanDataLabel", label);
        control.FireDataEvent(0);
        EXPECT_EQ(model().output, shown);
    }
}

TEST_F(VerifyTest, EachFailureShowsItsWordAndEndsInARowOfTheStateTable)
{
    struct Case {
        const char* name;
        std::function<void(FakeScannerControl&)> script;
        bool withResultsFile;
        std::string error;
        std::string row;
        bool closed;  // the device was closed again
    };
    const std::vector<Case> cases = {
        {"Open refused", [](FakeScannerControl& c) { c.SetNumber("Open", 109); }, true, "OPOS_E_NOEXIST",
         "open failed", false},
        {"Open refused, no results file", [](FakeScannerControl& c) { c.SetNumber("Open", 109); }, false, "109",
         "open failed", false},
        {"Open throws", [](FakeScannerControl& c) { c.Fail("Open", "gone"); }, true,
         "An exception has occured in service object", "device chosen", false},
        {"claim refused", [](FakeScannerControl& c) { c.SetNumber("ClaimDevice", 112); }, true, "OPOS_E_TIMEOUT",
         "device chosen", true},
        {"claim refused, no results file", [](FakeScannerControl& c) { c.SetNumber("ClaimDevice", 112); }, false,
         "112", "device chosen", true},
        {"claim throws", [](FakeScannerControl& c) { c.Fail("ClaimDevice", "gone"); }, true,
         "An exception has occured in application", "device chosen", true},
        {"DeviceEnabled refused", [](FakeScannerControl& c) { c.RefusePut("DeviceEnabled", 106); }, true,
         "OPOS_E_ILLEGAL", "device chosen", true},
        {"DecodeData refused", [](FakeScannerControl& c) { c.RefusePut("DecodeData", 105); }, true,
         "OPOS_E_DISABLED", "device chosen", true},
        {"DataEventEnabled throws", [](FakeScannerControl& c) { c.Fail("put DataEventEnabled", "gone"); }, true,
         "An exception has occured in service object", "device chosen", true},
    };
    addEntry("Lane");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::copy_file(programDirectory() + "/resultsProperty.ini", "resultsProperty.ini",
                                   std::filesystem::copy_options::overwrite_existing);
        if (!c.withResultsFile)
            std::filesystem::remove("resultsProperty.ini");
        FakeScannerControl fresh;
        site.Attach(&fresh);
        scanner.Attach(site.Dispatch());
        c.script(fresh);
        start();
        choose("Lane");
        dlg().OnCommand(probe::IDC_BTN_VERIFY);
        EXPECT_EQ(error(), c.error);
        EXPECT_EQ(row(), c.row);
        EXPECT_TRUE(model().devicesEnabled);
        const std::vector<std::string> made = fresh.Calls();
        EXPECT_EQ(contains(made, "Close()"), c.closed);
        if (c.closed) {
            EXPECT_EQ(made.back(), "Close()");
        }
        // A failed write also lets go of the claim.
        if (c.closed && contains(made, "put DeviceEnabled=1")) {
            EXPECT_TRUE(contains(made, "ReleaseDevice()"));
        }
        EXPECT_FALSE(host.timerOn);
        m_dlg.reset();
        site.Attach(nullptr);
    }
}

TEST_F(VerifyTest, ACloseThatThrowsStillReleasesClosesAndLeavesVerifyReady)
{
    addEntry("Lane");
    start();
    verify("Lane");
    control.Fail("put DataEventEnabled", "gone");
    control.ClearCalls();
    dlg().OnAbout();
    EXPECT_EQ(host.abouts, 1);
    EXPECT_EQ(calls(), kCloseCalls);
    EXPECT_EQ(error(), "An exception has occured in service object");
    EXPECT_EQ(row(), "device chosen");
}

TEST_F(VerifyTest, LeavingTheDeviceClosesItAndLeavesVerifyReady)
{
    addEntry("Lane");
    start();
    for (const int command : {probe::ID_HELP_ABOUT, probe::ID_FILE_EXIT, probe::IDC_BTN_ADVANCED}) {
        SCOPED_TRACE(command);
        verify("Lane");
        ASSERT_EQ(row(), "reading");
        control.ClearCalls();
        host.messages.clear();
        dlg().OnCommand(command);
        EXPECT_EQ(calls(), kCloseCalls);
        EXPECT_EQ(row(), "device chosen");
    }
    EXPECT_EQ(host.abouts, 1);
    EXPECT_EQ(host.ended, (std::vector<int>{0, 0}));
    EXPECT_EQ(host.closedTitles, (std::vector<std::string>{"TillProbe"}));
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Currently opened device will be closed automatically"}));
    EXPECT_EQ(host.switches, 1);
}

TEST_F(VerifyTest, ErrorEventHandsTheResponseToTheControlAndLogsItInWords)
{
    switchLogOn();
    addEntry("Lane");
    start();
    verify("Lane");
    const BasicViewModel before = model();
    host.onErrorEvent = [](LONG) { return 11; };
    EXPECT_EQ(control.FireErrorEvent(111, 0, 2, 12), 11);
    EXPECT_EQ(host.loci, (std::vector<LONG>{2}));
    const std::string log = logText();
    for (const char* line : {"OnErrorEventScanner +ResultCode +OPOS_E_FAILURE",
                             "OnErrorEventScanner +ResultCodeExtended +OPOS_SUCCESS",
                             "OnErrorEventScanner +ErrorLocus +OPOS_EL_INPUT",
                             "OnErrorEventScanner +ErrorResponse +OPOS_ER_RETRY"})
        EXPECT_TRUE(std::regex_search(log, std::regex(line))) << line << "\n" << log;
    EXPECT_EQ(model(), before);

    // Values the file lacks are logged as numbers.
    host.onErrorEvent = [](LONG) { return 99; };
    EXPECT_EQ(control.FireErrorEvent(5000, 7, 9, 12), 99);
    for (const char* line : {"ResultCode +5000", "ResultCodeExtended +7", "ErrorLocus +9", "ErrorResponse +99"})
        EXPECT_TRUE(std::regex_search(logText(), std::regex(line))) << line;
}

TEST_F(VerifyTest, AStatusUpdateIsLoggedAndChangesNothingOnScreen)
{
    switchLogOn();
    addEntry("Lane");
    start();
    verify("Lane");
    dlg().OnTimmer(probe::kCountdownTimer);
    const BasicViewModel before = model();
    control.ClearCalls();
    control.FireStatusUpdateEvent(2002);
    EXPECT_EQ(model(), before);
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(std::regex_search(logText(), std::regex("OnStatusUpdateEventScanner +Scanner Status +OPOS_SUE_POWER_OFF")))
        << logText();
}

TEST_F(VerifyTest, ACountEndingInsideTheErrorDialogClosesOnlyAfterTheEventReturned)
{
    addEntry("Lane");
    countdownFrom(1);
    start();
    verify("Lane");
    control.ClearCalls();
    bool closedInside = true;
    host.onErrorEvent = [&](LONG) {
        // The dialog's modal loop serves the countdown's ticks.
        tick();
        EXPECT_EQ(progress(), "Read data with in 1 seconds");
        tick();
        closedInside = contains(control.Calls(), "Close()");
        return 13;
    };
    EXPECT_EQ(control.FireErrorEvent(111, 0, 2, 12), 13);
    EXPECT_FALSE(closedInside);
    EXPECT_EQ(calls(), kCloseCalls);
    EXPECT_EQ(progress(), "Device closed successfully");
    EXPECT_EQ(row(), "device chosen");
    // No further tick closes it again.
    control.ClearCalls();
    tick();
    EXPECT_TRUE(calls().empty());
}
