// CTillProbeApp: one TillProbe per desktop, the Qt bridge to the
// platform's queue, the two hosted controls and the views.
//
// The running copy holds the mutex "Global\CTillProbeApp{B98C6AA5-57C0}"
// for its life. A copy that finds it taken broadcasts the registered
// message "TillProbe raise" and ends with 0; the running copy, on that
// message, brings forward the view it shows (restored when minimised).
// When either control cannot be created the program says so and ends
// normally. Views never nest: the view shown ends before the other one is
// made and shown (Alt+A from the Basic View, "Basic View" back).
#pragma once

#include "AdvancedWindow.h"
#include "ControlSite.h"
#include "QtMessagePump.h"
#include "TillProbeWindow.h"

#include <QPointer>

#include <memory>

class CTillProbeApp {
public:
    static constexpr const char* kMutexName = "Global\\CTillProbeApp{B98C6AA5-57C0}";

    // Needs a QApplication. When another copy runs, tells it to come
    // forward and leaves the rest unmade (IsFirstCopy() false).
    CTillProbeApp();
    ~CTillProbeApp();
    CTillProbeApp(const CTillProbeApp&) = delete;
    CTillProbeApp& operator=(const CTillProbeApp&) = delete;

    bool IsFirstCopy() const { return m_first; }
    // The Basic View and the Advanced View while Run shows them (null
    // before and after).
    TillProbeWindow* Window() const { return m_window.get(); }
    AdvancedWindow* AdvancedView() const { return m_advanced.get(); }
    // The view shown now.
    QWidget* ShownView() const { return m_shown; }

    // Creates the controls and runs the views modally; 0 when they end.
    int Run();

    static UINT RaiseMessage();

private:
    bool m_first = false;
    HANDLE m_mutex = nullptr;
    std::unique_ptr<QtMessagePump> m_pump;
    std::unique_ptr<MessageWindow> m_messages;
    std::unique_ptr<TillProbeWindow> m_window;
    std::unique_ptr<AdvancedWindow> m_advanced;
    QPointer<QWidget> m_shown;
};

// The program: a QApplication and CTillProbeApp.
int runTillProbe(int argc, char** argv);
