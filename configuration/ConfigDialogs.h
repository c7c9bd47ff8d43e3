// TillSetup's small modal dialogs, in its colours (223, 224, 227) with its
// icon and coloured buttons: the unsaved-changes prompt (CAddDevice), the
// removal confirmation (CConfirmation), the message box (MsgBox) and the
// about box (CAboutDlg).
#pragma once

#include <QDialog>
#include <QIcon>

class CClrButton;
class QLabel;

// The program's icon (resource 128).
QIcon tillSetupIcon();
// Dialog background and button colour.
QColor tillSetupFace();

// Yes / No / Cancel: Choice() is 1, 2 or 3 (Escape and the close box are
// Cancel); the dialog always ends with code 1. Enter presses the focused
// button.
class CAddDevice : public QDialog {
    Q_OBJECT
public:
    CAddDevice(const QString& text, QWidget* parent);
    int Choice() const { return m_choice; }
    const QString& KeptText() const { return m_text; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void choose(int choice);
    QString m_text;
    int m_choice = 3;
    CClrButton* m_yes = nullptr;
    CClrButton* m_no = nullptr;
    CClrButton* m_cancel = nullptr;
};

// Yes (accepted) or No (rejected); No has the focus at first.
class CConfirmation : public QDialog {
    Q_OBJECT
public:
    explicit CConfirmation(QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CClrButton* m_yes = nullptr;
    CClrButton* m_no = nullptr;
};

// A message with OK and the picture of its kind: 1 exclamation (184), 2
// error (179), 3 information (180), any other the template's 184.
class MsgBox : public QDialog {
    Q_OBJECT
public:
    MsgBox(const QString& text, int kind, QWidget* parent);
    int PictureId() const { return m_pictureId; }

private:
    int m_pictureId = 184;
};

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent);
};

// The help viewer ("TillSuite Configuration Utility"): the help file in a
// window of the program's own.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    HelpWindow(const QString& path, const QString& title);
};
