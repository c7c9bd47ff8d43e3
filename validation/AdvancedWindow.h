// TillProbe's Advanced View as a Qt window ("TillProbe - Advanced View"):
// the widgets of the frame's controls (named by their ids), the menu, the
// keys, the two hosted controls and the DataCount timer, kept in step with
// the controller's model. It is the controller's host.
#pragma once

#include "AdvancedValidation.h"
#include "ControlSite.h"

#include <QByteArray>
#include <QDialog>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>

class MessageWindow;
class QAction;
class QMenuBar;
class QTimer;

class AdvancedWindow : public QDialog, public AdvancedHost {
    Q_OBJECT
public:
    // Hosts the two controls (their events go to the controller) and starts
    // the view.
    AdvancedWindow(IDispatch* scanner, IDispatch* imageScanner, QWidget* parent = nullptr);
    ~AdvancedWindow() override;

    CAdvancedValidation& Controller() { return *m_controller; }
    QWidget* Control(int id) const;
    QAction* MenuAction(int command) const;
    QMenuBar* MenuBar() const { return m_menuBar; }
    QTimer* DataCountTimer() const { return m_timer; }
    // The view asked for the Basic View when it ended.
    bool SwitchRequested() const { return m_switch; }

    // The model back onto the widgets.
    void SyncToWidgets();

    // AdvancedHost.
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    bool RunDirectIO(const std::string& helpText, const std::string& buttonText, const std::string& label,
                     std::string& value) override;
    int RunErrorEvent(LONG errorLocus) override;
    void ShowFullImage(const std::vector<BYTE>& image) override;
    bool ChooseSaveFile(std::string& path) override;
    bool ChooseOpenFile(const std::string& filter, std::string& path) override;
    void SetTimer(UINT id, UINT periodMs) override;
    void KillTimer(UINT id) override;
    void Wait(UINT ms) override;
    void EndDialog(int result) override;
    void SwitchToBasicView() override;
    bool RaiseWindow(const std::string& title) override;
    void OpenHelp(const std::string& path) override;
    void CloseWindowTitled(const std::string& title) override;
    void ShowAbout() override;
    bool LaunchProgram(const std::string& path) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void buildMenu();
    // Runs a handler with the user's typing and choices in the model, then
    // shows the result.
    void act(const std::function<void()>& handler);
    void SyncFromWidgets();
    int idOf(const QWidget* widget) const;

    ControlSite m_scannerSite;
    ControlSite m_imageSite;
    COPOSScanner m_scanner;
    COPOSImageScanner m_imageScanner;
    std::unique_ptr<CAdvancedValidation> m_controller;
    std::unique_ptr<MessageWindow> m_messages;
    std::map<int, QWidget*> m_widgets;
    std::map<int, QAction*> m_actions;
    QMenuBar* m_menuBar = nullptr;
    QTimer* m_timer = nullptr;
    QByteArray m_previewShown;
    bool m_syncing = false;
    bool m_ending = false;
    bool m_switch = false;
    QPointer<QWidget> m_help;
};
