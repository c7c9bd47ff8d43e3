// Fixtures for TillProbe's Basic View: a host that answers the small
// dialogs from a script and records them, the controller hosting the
// scripted scanner control through the real site and wrapper, device
// entries written the way TillSetup writes them, and a log reader.
#pragma once

#include "ControlSite.h"
#include "FakeScannerControl.h"
#include "HostedScanner.h"
#include "TillProbeDlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vxtest {

class FakeProbeHost : public ProbeHost {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    int RunErrorEvent(LONG errorLocus) override
    {
        loci.push_back(errorLocus);
        return onErrorEvent ? onErrorEvent(errorLocus) : 12;
    }
    void ShowAbout() override { ++abouts; }
    void ShowFullImage() override { ++fullImages; }
    bool RaiseWindow(const std::string& title) override
    {
        raised.push_back(title);
        return helpOpen;
    }
    void OpenHelp(const std::string& path) override { helpOpened.push_back(path); }
    void CloseWindowTitled(const std::string& title) override { closedTitles.push_back(title); }
    void EndDialog(int result) override { ended.push_back(result); }
    void SwitchToAdvancedView() override { ++switches; }
    void SetTimer(UINT id, UINT periodMs) override
    {
        timerOn = id == probe::kCountdownTimer;
        period = periodMs;
    }
    void KillTimer(UINT id) override
    {
        if (id == probe::kCountdownTimer)
            timerOn = false;
    }
    void SetFrenchMenu(bool french) override { frenchMenu = french; }

    std::vector<std::string> messages;
    std::vector<LONG> loci;
    std::function<int(LONG)> onErrorEvent;
    int abouts = 0;
    int fullImages = 0;
    bool helpOpen = false;
    std::vector<std::string> raised;
    std::vector<std::string> helpOpened;
    std::vector<std::string> closedTitles;
    std::vector<int> ended;
    int switches = 0;
    bool timerOn = false;
    UINT period = 0;
    bool frenchMenu = false;
};

std::string devicePath(const std::string& name, const std::string& category = "Scanner");
void writeText(const std::string& path, const std::string& name, const std::string& text);
void writeDword(const std::string& path, const std::string& name, DWORD value);
// A device entry in the order TillSetup's add flow writes it.
void addEntry(const std::string& name, const std::string& commandTimeout = "10000",
              const std::string& manufacturer = "Varnex");
// The same entry after a modify: the values rewritten in the modify's
// order, AUTODETECT last.
void modifiedEntry(const std::string& name, const std::string& commandTimeout);

// The shipped results file in the working folder with the countdown's
// start changed.
void countdownFrom(int seconds);

// The lines of the program's log, switched on for the test.
void switchLogOn();
std::string logText();

// Removes what a test may leave for the next one in the same process: the
// device entries and the log switch (the whole OPOS tree of the registry),
// and the files and folders the program and the tests make in the working
// folder.
void clearProbeState();

// The Basic View's controller on the scripted control, English, with the
// shipped results file in the working folder.
class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes the controller and runs its start-up.
    void start();
    CTillProbeDlg& dlg() { return *m_dlg; }
    BasicViewModel& model() { return m_dlg->Model(); }
    // Selects a device list entry by text and runs the selection handler.
    void choose(const std::string& device);
    // Chooses `device` and presses Verify.
    void verify(const std::string& device);
    // The view's state-table row: "no device chosen", "device chosen",
    // "open failed", "reading", or "other".
    std::string row() const;
    std::vector<std::string> calls() const { return control.Calls(); }

    FakeProbeHost host;
    FakeScannerControl control;
    ControlSite site;
    HostedScanner scanner;
    std::unique_ptr<CTillProbeDlg> m_dlg;
};

}  // namespace vxtest
