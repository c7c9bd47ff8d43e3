// CErrorEvent: asks the user how the device goes on after an ErrorEvent.
// The caller sets m_nResponse to the ErrorLocus (1 output, 2 input, 3 input
// data) before exec() and reads the response (11 retry, 12 clear, 13
// continue input) after it.
//
// The locus's own button has the focus at first (for the output locus that
// is the hidden Retry). Enter presses the focused button; Escape and the
// close box end with the locus's default response (1 -> 11, 2 -> 12,
// 3 -> 13). A locus outside 1-3 shows "OPOS_EL_INPUT" and ends with 12
// unless a button is pressed.
#pragma once

#include <QDialog>

class CClrButton;
class QLabel;

class CErrorEvent : public QDialog {
    Q_OBJECT
public:
    explicit CErrorEvent(QWidget* parent = nullptr);

    int m_nResponse = 12;

    // Heights with the details text hidden and shown (the width is fixed).
    int CollapsedHeight() const { return m_collapsedHeight; }
    int ExpandedHeight() const { return m_expandedHeight; }
    static constexpr int kWidth = 360;

    CClrButton* retryButton() const { return m_retry; }
    CClrButton* clearButton() const { return m_clear; }
    CClrButton* continueButton() const { return m_continue; }
    CClrButton* expandButton() const { return m_expand; }
    CClrButton* collapseButton() const { return m_collapse; }
    QLabel* locusName() const { return m_locusName; }
    QLabel* detailsText() const { return m_details; }
    // The button Enter presses now (null when none has the focus).
    CClrButton* FocusedButton() const;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void initDialog();
    void ExpandDetails();
    void CollapseDetails();
    void EndWithLocusDefault();
    void respond(int response);

    CClrButton* m_retry = nullptr;
    CClrButton* m_clear = nullptr;
    CClrButton* m_continue = nullptr;
    CClrButton* m_expand = nullptr;
    CClrButton* m_collapse = nullptr;
    QLabel* m_locusLabel = nullptr;
    QLabel* m_locusName = nullptr;
    QLabel* m_details = nullptr;
    // A hidden button given the focus: the dialog holds the keyboard focus
    // for it until the user moves on.
    CClrButton* m_hiddenFocus = nullptr;
    int m_collapsedHeight = 0;
    int m_expandedHeight = 0;
    bool m_initialised = false;
};
