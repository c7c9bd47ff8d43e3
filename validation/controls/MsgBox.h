// CMsgBox: the validation utility's message box ("TillProbe"): the
// program's icon, an information picture, a text and either OK, or Yes and
// No for a question (Qt's own words for them), on (224, 223, 228).
//
// Answer: 1 for Yes; 0 for No, Escape or the close box. Enter presses the
// focused button.
#pragma once

#include <QDialog>

class CClrButton;
class QLabel;

class CMsgBox : public QDialog {
    Q_OBJECT
public:
    explicit CMsgBox(QWidget* parent = nullptr);

    void SetText(const QString& text);
    // Asks Yes/No instead of showing OK; Yes gets the focus.
    void SetQuestion(bool question);
    int Answer() const { return m_answer; }

    CClrButton* okButton() const { return m_ok; }
    CClrButton* yesButton() const { return m_yes; }
    CClrButton* noButton() const { return m_no; }
    QLabel* picture() const { return m_picture; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_picture = nullptr;
    QLabel* m_text = nullptr;
    CClrButton* m_ok = nullptr;
    CClrButton* m_yes = nullptr;
    CClrButton* m_no = nullptr;
    bool m_question = false;
    int m_answer = 0;
};
