// What the Basic View's controller asks of the world around it: the hosted
// scanner control, and the window that shows it (small dialogs, the help
// window, the countdown timer, the end of the view). The Qt view and the
// application implement them; tests answer them from a script.
#pragma once

#include "platform/window.h"

#include <string>

// The scanner control's members the Basic View uses. A failed call throws
// (the hosting wrapper's ControlCallError); a property write answers
// nothing, so callers read ResultCode after it.
class ScannerControl {
public:
    virtual ~ScannerControl() = default;
    virtual LONG Open(const std::string& deviceName) = 0;
    virtual LONG ClaimDevice(LONG timeout) = 0;
    virtual LONG ReleaseDevice() = 0;
    virtual LONG Close() = 0;
    virtual void SetDeviceEnabled(BOOL value) = 0;
    virtual void SetDataEventEnabled(BOOL value) = 0;
    virtual void SetDecodeData(BOOL value) = 0;
    virtual LONG GetResultCode() = 0;
    // ISO-8859-1 bytes as the control gives them.
    virtual std::string GetScanDataLabel() = 0;
};

class ProbeHost {
public:
    virtual ~ProbeHost() = default;

    // CMsgBox with OK.
    virtual void ShowMessage(const std::string& text) = 0;
    // The error-event dialog for the locus, run modally; its response.
    virtual int RunErrorEvent(LONG errorLocus) = 0;
    virtual void ShowAbout() = 0;
    virtual void ShowFullImage() = 0;
    // Brings a shown top-level window of this program with the title
    // forward, restoring it when minimised; false when there is none.
    virtual bool RaiseWindow(const std::string& title) = 0;
    // Shows the help file in the program's help window.
    virtual void OpenHelp(const std::string& path) = 0;
    // Closes a top-level window of this program with the title, if any.
    virtual void CloseWindowTitled(const std::string& title) = 0;
    // Ends the view's modal run.
    virtual void EndDialog(int result) = 0;
    // Once the view has ended: show the Advanced View instead.
    virtual void SwitchToAdvancedView() = 0;
    // A periodic timer whose ticks come back as OnTimmer(id).
    virtual void SetTimer(UINT id, UINT periodMs) = 0;
    virtual void KillTimer(UINT id) = 0;
    // Menu 216 (French) or 129.
    virtual void SetFrenchMenu(bool french) = 0;
};
