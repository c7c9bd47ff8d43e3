// TillProbe's Basic View as a Qt window ("TillProbe - Basic View"): the
// widgets of the view's controls (named by their ids), the menu, the keys,
// the hosted scanner and image-scanner controls, and the countdown timer,
// kept in step with the controller's model. It is the controller's host:
// the small dialogs, the help window and the end of the view. Also here:
// the About box and the help window.
#pragma once

#include "ControlSite.h"
#include "HostedScanner.h"
#include "TillProbeDlg.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>

class MessageWindow;
class QAction;
class QMenuBar;
class QTimer;

class TillProbeWindow : public QDialog, public ProbeHost {
    Q_OBJECT
public:
    // Hosts the two controls (the scanner's events go to the controller;
    // the image scanner is only held) and starts the view.
    TillProbeWindow(IDispatch* scanner, IDispatch* imageScanner, QWidget* parent = nullptr);
    ~TillProbeWindow() override;

    CTillProbeDlg& Controller() { return *m_controller; }
    QWidget* Control(int id) const;
    QAction* MenuAction(int command) const;
    QMenuBar* MenuBar() const { return m_menuBar; }
    QTimer* CountdownTimer() const { return m_timer; }
    // The view asked for the Advanced View when it ended.
    bool SwitchRequested() const { return m_switch; }

    // Another copy of the program was started: come forward.
    void RaiseFromAnotherCopy();
    // The model back onto the widgets.
    void SyncToWidgets();

    // ProbeHost.
    void ShowMessage(const std::string& text) override;
    int RunErrorEvent(LONG errorLocus) override;
    void ShowAbout() override;
    void ShowFullImage() override;
    bool RaiseWindow(const std::string& title) override;
    void OpenHelp(const std::string& path) override;
    void CloseWindowTitled(const std::string& title) override;
    void EndDialog(int result) override;
    void SwitchToAdvancedView() override;
    void SetTimer(UINT id, UINT periodMs) override;
    void KillTimer(UINT id) override;
    void SetFrenchMenu(bool french) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void buildMenu();
    // Runs a handler with the user's choices in the model, then shows the result.
    void act(const std::function<void()>& handler);
    int idOf(const QWidget* widget) const;

    ControlSite m_scannerSite;
    ControlSite m_imageSite;
    HostedScanner m_scanner;
    std::unique_ptr<CTillProbeDlg> m_controller;
    std::unique_ptr<MessageWindow> m_messages;
    std::map<int, QWidget*> m_widgets;
    std::map<int, QAction*> m_actions;
    std::map<QAction*, UINT> m_actionTexts;
    std::map<QWidget*, UINT> m_menuTexts;
    QMenuBar* m_menuBar = nullptr;
    QTimer* m_timer = nullptr;
    bool m_french = false;
    bool m_syncing = false;
    bool m_ending = false;
    bool m_switch = false;
    QPointer<QWidget> m_help;
};

// "About TillProbe".
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// The program's help window, captioned "TillProbe".
class ProbeHelpWindow : public QWidget {
    Q_OBJECT
public:
    ProbeHelpWindow(const QString& path, const QString& title);
};
