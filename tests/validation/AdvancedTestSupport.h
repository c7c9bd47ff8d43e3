// Fixtures for TillProbe's Advanced View: a host that answers the dialogs
// from a script and records them (timers and the wait are driven by the
// test), the controller over the scripted scanner control (and a second
// scripted control behind the image-scanner wrapper) hosted through the
// real sites and wrappers, and device entries as TillSetup writes them
// (ProbeTestSupport.h).
#pragma once

#include "AdvancedValidation.h"
#include "ControlSite.h"
#include "FakeScannerControl.h"
#include "ProbeTestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vxtest {

// The output text's entries, newest first (AppendOutput separates them by
// an empty line).
std::vector<std::string> entries(const std::string& output);

class FakeAdvancedHost : public AdvancedHost {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override
    {
        questions.push_back(text);
        return answerYes;
    }
    // Answers from `directIOAnswers` in order (confirmed with the text, or
    // cancelled when the entry is null); cancelled when none is left.
    bool RunDirectIO(const std::string& helpText, const std::string& buttonText, const std::string& label,
                     std::string& value) override
    {
        directIODialogs.push_back({helpText, buttonText, label});
        if (directIOAnswers.empty()) {
            value.clear();
            return false;
        }
        const std::unique_ptr<std::string> answer = std::move(directIOAnswers.front());
        directIOAnswers.pop_front();
        value = answer ? *answer : std::string();
        return answer != nullptr;
    }
    void AnswerDirectIO(const std::string& text) { directIOAnswers.push_back(std::make_unique<std::string>(text)); }
    void CancelDirectIO() { directIOAnswers.push_back(nullptr); }
    int RunErrorEvent(LONG errorLocus) override
    {
        loci.push_back(errorLocus);
        return onErrorEvent ? onErrorEvent(errorLocus) : 12;
    }
    void ShowFullImage(const std::vector<BYTE>& image) override { fullImages.push_back(image); }
    bool ChooseSaveFile(std::string& path) override
    {
        ++saveDialogs;
        path = savePath;
        return !savePath.empty();
    }
    bool ChooseOpenFile(const std::string& filter, std::string& path) override
    {
        openFilters.push_back(filter);
        path = openPath;
        return !openPath.empty();
    }
    void SetTimer(UINT id, UINT periodMs) override { timers[id] = periodMs; }
    void KillTimer(UINT id) override { timers.erase(id); }
    void Wait(UINT ms) override
    {
        waits.push_back(ms);
        if (onWait)
            onWait(ms);
    }
    void EndDialog(int result) override { ended.push_back(result); }
    void SwitchToBasicView() override { ++switches; }
    bool RaiseWindow(const std::string& title) override
    {
        raised.push_back(title);
        return helpOpen;
    }
    void OpenHelp(const std::string& path) override { helpOpened.push_back(path); }
    void CloseWindowTitled(const std::string& title) override { closedTitles.push_back(title); }
    void ShowAbout() override { ++abouts; }
    bool LaunchProgram(const std::string& path) override
    {
        launched.push_back(path);
        return true;
    }

    bool TimerOn(UINT id) const { return timers.count(id) != 0; }

    struct DirectIODialog {
        std::string helpText;
        std::string buttonText;
        std::string label;
    };

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answerYes = true;
    std::vector<DirectIODialog> directIODialogs;
    std::deque<std::unique_ptr<std::string>> directIOAnswers;
    std::vector<LONG> loci;
    std::function<int(LONG)> onErrorEvent;
    std::vector<std::vector<BYTE>> fullImages;
    int saveDialogs = 0;
    std::string savePath;  // empty: the dialog is cancelled
    std::vector<std::string> openFilters;
    std::string openPath;  // empty: the dialog is cancelled
    std::map<UINT, UINT> timers;  // running timers and their periods
    std::vector<UINT> waits;
    std::function<void(UINT)> onWait;
    std::vector<int> ended;
    int switches = 0;
    bool helpOpen = false;
    std::vector<std::string> raised;
    std::vector<std::string> helpOpened;
    std::vector<std::string> closedTitles;
    int abouts = 0;
    std::vector<std::string> launched;
};

// The working folder as the program finds it: English, the shipped
// results file, the language module reset.
void prepareProbeFolder();

// A device entry whose port is detected: AUTODETECT not FALSE.
void addAutoDetectEntry(const std::string& name, const std::string& autoDetect = "True");

// The controller on the scripted controls, English, with the shipped
// results file in the working folder.
class AdvancedTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes the controller and runs its start-up.
    void start();
    CAdvancedValidation& dlg() { return *m_dlg; }
    AdvancedViewModel& model() { return m_dlg->Model(); }
    AdvancedControl& at(int id) { return m_dlg->Model().at(id); }
    // Drops the list down, selects an entry by text and runs the handler.
    void choose(const std::string& device);
    // Chooses `device` and opens it (the scanner answers Open with 0).
    void openDevice(const std::string& device);
    // ... and claims it with the default time-out.
    void claimDevice(const std::string& device);
    // A tick of a running timer.
    void tick(UINT id = adv::kDataCountTimer);
    std::vector<std::string> calls() const { return control.Calls(); }

    FakeAdvancedHost host;
    FakeScannerControl control;
    FakeScannerControl imageControl;
    ControlSite site;
    ControlSite imageSite;
    COPOSScanner scanner;
    COPOSImageScanner imageScanner;
    std::unique_ptr<CAdvancedValidation> m_dlg;
};

}  // namespace vxtest
