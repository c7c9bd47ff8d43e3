// CClrButton: a push button drawn in chosen colours (text and face), with
// raised, sunken and black-framed edges in the desktop's 3-D colours, an
// embossed caption when disabled and a focus rectangle 4 pixels inside.
#pragma once

#include "SystemColors.h"

#include <QPushButton>

class CClrButton : public QPushButton {
    Q_OBJECT
public:
    explicit CClrButton(QWidget* parent = nullptr);
    CClrButton(const QString& text, QWidget* parent);

    // Stores both colours, resets the disabled face to COLOR_BTNFACE and
    // repaints.
    void SetColor(Rgb text, Rgb background);

    Rgb TextColor() const { return m_text; }
    Rgb BackgroundColor() const { return m_background; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Rgb m_text = syscolor::kButtonText;
    Rgb m_background = syscolor::kButtonFace;
    Rgb m_disabledFace = syscolor::kButtonFace;
};

// QColor of an Rgb.
class QColor;
QColor toQColor(Rgb colour);
