// CTTComboBox: a combo box that shows an entry's full text in a tooltip
// when the entry is too wide for its list or for the box.
//
// - List: moving the mouse over an entry other than the one last shown
//   measures its text in the shared font; wider than the entry's rectangle,
//   the tooltip appears over it (grown by 2 pixels each side) for 9 seconds;
//   otherwise the tooltip hides. Leaving the list hides it.
// - Edit part: resting the mouse on it does the same for the edit text and
//   the edit's rectangle; the box without an edit part, for its text and its
//   rectangle shrunk by 2 and narrowed by the arrow button.
// One tooltip window serves every combo box of the process; it is made by
// the first box and destroyed with the last.
// UI thread only.
#pragma once

#include <QComboBox>

class QTimer;

class CTTComboBox : public QComboBox {
    Q_OBJECT
public:
    static constexpr int kTooltipMs = 9000;

    explicit CTTComboBox(QWidget* parent = nullptr);
    ~CTTComboBox() override;

    // The shared tooltip window and its timer (null when no box exists).
    static QWidget* TooltipWindow();
    static QTimer* TooltipTimer();

    // Shows the tooltip for `text` over `reference` (in `owner`'s
    // coordinates) when the text is wider, else hides it. True when shown.
    static bool ShowTooltip(QWidget* owner, const QString& text, const QRect& reference);
    static void HideTooltip();

    // The list is as wide as the box (as the platform's drop-down list is),
    // so a longer entry is cut and needs the tooltip.
    void showPopup() override;

signals:
    // Before the list opens (the program may refill it then).
    void aboutToShowPopup();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void attachParts();
    int m_lastIndex = -1;
};
