#include "ClrButton.h"

#include <QPainter>

QColor toQColor(Rgb colour)
{
    return QColor(colour.red, colour.green, colour.blue);
}

CClrButton::CClrButton(QWidget* parent) : QPushButton(parent) {}

CClrButton::CClrButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void CClrButton::SetColor(Rgb text, Rgb background)
{
    m_text = text;
    m_background = background;
    m_disabledFace = syscolor::kButtonFace;
    update();
}

namespace {

// One-pixel outline; the bottom and right lines lie at bottom - 1 and
// right - 1 of the (exclusive) rectangle.
void outline(QPainter& painter, const QRect& r, Rgb colour)
{
    painter.setPen(toQColor(colour));
    painter.drawLine(r.left(), r.top(), r.right(), r.top());
    painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
    painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

void raised(QPainter& painter, QRect& r)
{
    auto edge = [&](Rgb topLeft, Rgb bottomRight) {
        painter.setPen(toQColor(topLeft));
        painter.drawLine(r.left(), r.top(), r.right(), r.top());
        painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
        painter.setPen(toQColor(bottomRight));
        painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
        r.adjust(1, 1, -1, -1);
    };
    edge(syscolor::kHighlight3d, syscolor::kDarkShadow);
    edge(syscolor::kLight, syscolor::kShadow);
}

}  // namespace

void CClrButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool disabled = !isEnabled();
    const bool selected = isDown();
    const bool focused = hasFocus();
    QRect r = rect();
    painter.fillRect(r, toQColor(disabled ? m_disabledFace : m_background));
    if (selected) {
        outline(painter, r, syscolor::kDarkShadow);
        r.adjust(1, 1, -1, -1);
        outline(painter, r, syscolor::kShadow);
    } else if (focused || isDefault()) {
        outline(painter, r, syscolor::kBlack);
        r.adjust(1, 1, -1, -1);
        raised(painter, r);
    } else {
        raised(painter, r);
    }
    const QString caption = text().left(512);
    const int flags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    painter.setFont(font());
    if (disabled) {
        painter.setPen(toQColor(syscolor::kWhite));
        painter.drawText(rect().translated(1, 1), flags, caption);
        painter.setPen(toQColor(syscolor::kEmbossGrey));
        painter.drawText(rect().translated(-1, -1), flags, caption);
    } else {
        painter.setPen(toQColor(m_text));
        painter.drawText(rect().translated(selected ? 1 : -1, selected ? 1 : -1), flags, caption);
    }
    if (focused) {
        QPen pen(toQColor(syscolor::kBlack));
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.drawRect(rect().adjusted(4, 4, -5, -5));
    }
}
