// The validation utility's Basic View without widgets: the device lists
// read from the OPOS device entries, the verification of a chosen scanner
// through the hosted control (open, claim, enable, a once-a-second
// countdown that each label restarts, close), the control's events, and
// the navigation (Advanced View, TillSetup, help, About, exit).
//
// The controller keeps the view's state in a BasicViewModel; the Qt view
// mirrors it onto its widgets after each handler and puts the user's
// choice of list entries into it before. It asks its ProbeHost for the
// small dialogs and the countdown timer, and calls the scanner through a
// ScannerControl.
//
// UI thread only. Control events arrive on it, possibly from inside a
// modal loop the controller itself started (the error-event dialog).
#pragma once

#include "AppLog.h"
#include "IniFile.h"
#include "ProbeHost.h"

#include <mutex>
#include <string>
#include <vector>

namespace probe {

// Control and command ids of the Basic View.
constexpr int IDC_COMBO_DEVICETYPE = 1014;
constexpr int IDC_COMBO_DEVICE = 1003;
constexpr int IDC_BTN_VERIFY = 1004;
constexpr int IDC_BTN_ADVANCED = 1011;
constexpr int IDC_BTN_CONFIG = 1010;
constexpr int IDC_BTN_FULLIMAGE = 1124;
constexpr int IDC_OUTPUT = 1345;
constexpr int IDC_PICTURE = 1353;
constexpr int IDC_ERROR_LINE = 1196;
constexpr int IDC_PROGRESS_LINE = 1197;
constexpr int IDC_BTN_EXIT_KEY = 1127;
constexpr int IDC_BTN_ABOUT_KEY = 1188;
constexpr int ID_FILE_EXIT = 32774;
constexpr int ID_VIEW_ADVANCED = 32771;
constexpr int ID_VIEW_CONFIG = 32777;
constexpr int ID_HELP_FILE = 32779;
constexpr int ID_HELP_ABOUT = 32772;

constexpr UINT kCountdownTimer = 1;

}  // namespace probe

// What the Basic View shows. Every text is UTF-8, as the program's own
// texts are: a device name the registry keeps in ISO-8859-1, a label's
// bytes and a word of the results file are turned into it on their way in.
struct BasicViewModel {
    enum class Verify { Ready, Running, Unavailable };

    std::vector<std::string> deviceTypes;
    int deviceType = -1;
    std::vector<std::string> devices;
    int device = -1;
    bool devicesEnabled = true;
    Verify verifyLook = Verify::Ready;
    bool verifyEnabled = true;
    std::string output;
    bool outputShown = true;
    bool pictureShown = false;
    std::string errorText;
    bool errorShown = false;
    std::string progressText;
    bool progressShown = false;
    bool fullImageShown = false;
    bool fullImageEnabled = false;
    int focus = 0;  // a control id to focus after the handler, 0: leave it

    bool operator==(const BasicViewModel&) const = default;

    std::string deviceText() const;
    std::string deviceTypeText() const;
};

class CTillProbeDlg {
public:
    CTillProbeDlg(ProbeHost& host, ScannerControl& scanner);
    // Removes the image files the Advanced View's DirectIO commands left.
    ~CTillProbeDlg();
    CTillProbeDlg(const CTillProbeDlg&) = delete;
    CTillProbeDlg& operator=(const CTillProbeDlg&) = delete;

    // The registered message "ADD_DEVICE" (registered once per process).
    static UINT AddDeviceMessage();

    BasicViewModel& Model() { return m_model; }
    const BasicViewModel& Model() const { return m_model; }

    void OnInitDialog();
    // Buttons, menu items and the hidden keyboard routes.
    void OnCommand(int id);
    // Key-down filter: true when the key is consumed (Escape is swallowed,
    // Enter presses the focused control).
    bool PreTranslateKey(int key, int focusId);

    void OnSelchangeComboDevicetype();
    void OnSelchangeComboDevice();
    void OnDropdownComboDevice();
    void OnBtnVerify();
    void OnTimmer(UINT id);
    void OnDataEventScanner();
    void OnErrorEventScanner(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* errorResponse);
    void OnStatusUpdateEventScanner(LONG data);
    void OnBtnAdvanced();
    void OnBtnConfig();
    void OnBtnHelp();
    void OnAbout();
    void OnFileExit();
    void OnViewFullImage();
    LRESULT OnAddDevice();
    void CloseDevice();
    std::string ShowResultText(LONG code);

    // State the tests look at.
    int CountdownStart() const { return m_countdownStart; }
    int Countdown() const;
    const std::string& ClaimTimeoutText() const { return m_claimTimeout; }
    LONG LastOpenResult() const { return m_openResult; }
    const std::string& DeviceName() const { return m_deviceName; }
    bool DeviceListStale() const { return m_stale; }

    // Pieces with rules of their own (public for the tests).
    static int CountdownStartFrom(const std::string& text);
    static bool IsClaimTimeoutText(const std::string& text);

private:
    void log(const std::string& method, const std::string& label, const std::string& value = std::string());
    void SetControlTexts();
    void FillDeviceList(const std::string& type);
    void ResetOutputBox();
    void ShowError(const std::string& text);
    void ShowProgress(const std::string& text);
    void SetVerify(BasicViewModel::Verify look, bool enabled);
    void SetCountdown(int value);
    void ReadClaimTimeout();
    // Step 6's property writes; false (the failure shown, the device
    // closed) when one throws or is refused.
    bool EnableForReading();
    void EndCountdown();
    // The end of a control event's handler.
    void LeaveEvent();
    bool IsScannerChosen() const;
    void ReselectAfterRefill();
    std::string iniText(const std::string& section, LONG value) const;

    ProbeHost& m_host;
    ScannerControl& m_scanner;
    BasicViewModel m_model;
    CAppLog m_log;
    CIniFile m_ini;

    std::string m_deviceName;
    std::string m_deviceType;
    std::string m_lastException;
    std::string m_claimTimeout = "10000";
    LONG m_openResult = 104;
    LONG m_claimResult = 0;
    LONG m_releaseResult = 0;
    LONG m_closeResult = 0;
    int m_countdownStart = 10;
    int m_countdown = 0;
    mutable std::mutex m_countdownLock;
    std::string m_lastData;
    bool m_stale = false;

    // Control events being handled now (their handlers may run modal loops,
    // in which the countdown still ticks), and a countdown that ran out
    // meanwhile: the device is closed once the outermost handler returned.
    int m_eventDepth = 0;
    bool m_closeWhenEventsReturn = false;
};
