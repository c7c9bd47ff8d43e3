#include "ScrollDialog.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>

CScrollDialog::CScrollDialog(QWidget* parent) : QDialog(parent)
{
    m_bar = new QScrollBar(Qt::Vertical, this);
    m_bar->setObjectName("CScrollDialogBar");
    m_bar->setRange(0, 0);
    connect(m_bar, &QScrollBar::actionTriggered, this, [this](int action) {
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            VScroll(SB_LINEDOWN);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            VScroll(SB_LINEUP);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            VScroll(SB_PAGEDOWN);
            break;
        case QAbstractSlider::SliderPageStepSub:
            VScroll(SB_PAGEUP);
            break;
        case QAbstractSlider::SliderToMinimum:
            VScroll(SB_TOP);
            break;
        case QAbstractSlider::SliderToMaximum:
            VScroll(SB_BOTTOM);
            break;
        case QAbstractSlider::SliderMove:
            VScroll(SB_THUMBTRACK, m_bar->sliderPosition());
            break;
        default:
            break;
        }
    });
}

void CScrollDialog::Initialise()
{
    m_state.Initialise(height());
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr && screen->size() == QSize(800, 600)) {
        resize(700, 500);
        move(screen->geometry().center() - rect().center());
    }
}

void CScrollDialog::scrollContents(int dy)
{
    if (dy == 0)
        return;
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && widget != m_bar && !widget->isWindow())
            widget->move(widget->x(), widget->y() + dy);
    }
}

void CScrollDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    m_bar->setGeometry(width() - 16, 0, 16, height());
    if (!m_state.Initialised())
        return;
    scrollContents(m_state.OnSize(event->size().height()));
    m_bar->setRange(0, m_state.Maximum());
    m_bar->setPageStep(std::max(1, m_state.Page()));
    m_bar->setValue(m_state.Position());
}

void CScrollDialog::VScroll(int code, int thumbPosition)
{
    const int dy = m_state.OnVScroll(code, thumbPosition);
    scrollContents(dy);
    QSignalBlocker block(m_bar);
    m_bar->setValue(m_state.Position());
}
