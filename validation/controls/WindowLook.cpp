#include "WindowLook.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QIcon ProgramIcon(const QString& initials)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(14, 71, 136));
    QPainter painter(&pixmap);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(14);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, initials);
    return QIcon(pixmap);
}

QIcon TillProbeIcon()
{
    static const QIcon icon = ProgramIcon("TP");
    return icon;
}

void CentreOnScreen(QWidget* window)
{
    QScreen* screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect room = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const int x = std::max(room.left(), room.left() + (room.width() - frame.width()) / 2);
    const int y = std::max(room.top(), room.top() + (room.height() - frame.height()) / 2);
    window->move(x, y);
}

namespace {

// Watches its window until the first show, then centres it and goes.
class FirstShow : public QObject {
public:
    explicit FirstShow(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            CentreOnScreen(static_cast<QWidget*>(watched));
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

}  // namespace

void CentreWhenFirstShown(QWidget* window)
{
    new FirstShow(window);
}
