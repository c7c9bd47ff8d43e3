// TillSetup's main dialog as a Qt window: the widgets of every control
// (named by their resource names), the menu, the accelerators and the key
// rules, kept in step with the controller's form. The user's input goes
// into the form, then to the controller's handler, then the form comes
// back onto the widgets. It is also the controller's host: the small
// dialogs, the help window and the end of the dialog.
#pragma once

#include "CFinal_UIDlg.h"
#include "ConfigurationHost.h"

#include <QDialog>
#include <QPointer>

#include <map>
#include <memory>

class QAction;
class QComboBox;
class QMenuBar;
class QMenu;

class ConfigurationWindow : public QDialog, public ConfigurationHost {
    Q_OBJECT
public:
    explicit ConfigurationWindow(RegistryApi& registry = RegistryApi::System(),
                                 DosDeviceSource dosDevices = systemDosDevices(), QWidget* parent = nullptr);
    ~ConfigurationWindow() override;

    CFinal_UIDlg& Controller() { return *m_controller; }
    QWidget* Control(int id) const;
    QAction* MenuAction(int command) const;
    QMenuBar* MenuBar() const { return m_menuBar; }

    // A device arrived or went (WM_DEVICECHANGE).
    void OnDeviceChange();
    // Another copy of the program was started: come forward.
    void RaiseFromAnotherCopy();
    // The form back onto the widgets.
    void SyncToWidgets();

    // ConfigurationHost.
    void ShowMessage(const std::string& text, int kind) override;
    int AskSaveChanges(const std::string& text) override;
    bool ConfirmRemove() override;
    void ShowAbout() override;
    bool RaiseWindow(const std::string& title) override;
    void OpenHelp(const std::string& path) override;
    void CloseWindowTitled(const std::string& title) override;
    void EndDialog(int result) override;
    void SetFrenchMenu(bool french) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void buildMenu();
    void wire();
    // Runs a handler with the user's input in the form, then shows the result.
    template <typename Handler>
    void act(Handler handler);
    int idOf(const QWidget* widget) const;

    std::unique_ptr<CFinal_UIDlg> m_controller;
    std::map<int, QWidget*> m_widgets;
    std::map<int, QAction*> m_actions;
    std::map<QAction*, UINT> m_actionTexts;
    QMenuBar* m_menuBar = nullptr;
    std::map<QMenu*, UINT> m_menuTexts;
    bool m_french = false;
    bool m_syncing = false;
    bool m_ending = false;
    int m_appliedFocus = 0;
    QPointer<QWidget> m_help;
    QMetaObject::Connection m_focusWatch;
};
