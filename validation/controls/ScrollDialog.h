// CScrollDialog: a resizable dialog whose contents scroll vertically, in
// steps of 4 pixels, once it is smaller than its initial height. Derived
// dialogs call Initialise after building their contents.
#pragma once

#include "ScrollState.h"

#include <QDialog>

class QScrollBar;

class CScrollDialog : public QDialog {
    Q_OBJECT
public:
    explicit CScrollDialog(QWidget* parent = nullptr);

    // Remembers the client height; on an 800 x 600 screen the dialog
    // becomes 700 x 500, centred.
    void Initialise();

    const ScrollState& State() const { return m_state; }
    QScrollBar* ScrollBar() const { return m_bar; }
    // A scroll-bar request as the bar would send it.
    void VScroll(int code, int thumbPosition = 0);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void scrollContents(int dy);
    ScrollState m_state;
    QScrollBar* m_bar = nullptr;
};
