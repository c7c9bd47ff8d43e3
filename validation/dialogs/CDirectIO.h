// CDirectIO: the entry dialog of one DirectIO value (a serial command or a
// command time-out). The caller may replace the three texts before exec();
// an empty one is replaced by its language string.
//
// exec() ends with 1 after Send, the OK command or Enter (Enter acts on the
// focused control, and from the entry it is the OK command), m_strValue then
// holding the entry's text as typed (ISO-8859-1, the control's text form);
// with 2 after the close box or Escape. The three texts are UTF-8, as the
// language module gives them.
#pragma once

#include <QDialog>

#include <string>

class CClrButton;
class QLabel;
class QLineEdit;

class CDirectIO : public QDialog {
    Q_OBJECT
public:
    explicit CDirectIO(QWidget* parent = nullptr);

    std::string m_strValue;
    std::string m_strHelpText;
    std::string m_strButtonText;
    std::string m_strLabel;

    CClrButton* sendButton() const { return m_send; }
    QLineEdit* entry() const { return m_entry; }
    QLabel* helpLabel() const { return m_help; }
    QLabel* entryLabel() const { return m_label; }

public slots:
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void initDialog();
    CClrButton* m_send = nullptr;
    QLineEdit* m_entry = nullptr;
    QLabel* m_help = nullptr;
    QLabel* m_label = nullptr;
    bool m_initialised = false;
};
