// What the main dialog's controller asks of the window around it: the
// small modal dialogs, the help window, the menu and the end of the dialog.
// The Qt view implements it; tests answer it from a script.
#pragma once

#include <string>

class ConfigurationHost {
public:
    virtual ~ConfigurationHost() = default;

    // MsgBox: kind 0 (plain: the exclamation picture), 1 exclamation, 2
    // error, 3 information.
    virtual void ShowMessage(const std::string& text, int kind) = 0;
    // CAddDevice: 1 Yes (save), 2 No, 3 Cancel. `text` is kept upper-cased.
    virtual int AskSaveChanges(const std::string& text) = 0;
    // CConfirmation: true for Yes.
    virtual bool ConfirmRemove() = 0;
    virtual void ShowAbout() = 0;
    // Brings a top-level window of this program with the title forward,
    // restoring it when minimised; false when there is none.
    virtual bool RaiseWindow(const std::string& title) = 0;
    // Shows the help file in the program's help window.
    virtual void OpenHelp(const std::string& path) = 0;
    // Closes a top-level window of this program with the title, if any.
    virtual void CloseWindowTitled(const std::string& title) = 0;
    virtual void EndDialog(int result) = 0;
    // Menu 167 (French) or 151.
    virtual void SetFrenchMenu(bool french) = 0;
};
