#include "TTComboBox.h"

#include "ClrButton.h"
#include "SystemColors.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>

namespace {

class SharedTooltip : public QWidget {
public:
    SharedTooltip() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setObjectName("CTTComboBoxTooltip");
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { hide(); });
    }
    QString text;
    QTimer timer;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), toQColor(syscolor::kInfoBackground));
        painter.setPen(toQColor(syscolor::kBlack));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
    }
    void hideEvent(QHideEvent*) override { timer.stop(); }
};

SharedTooltip* g_tooltip = nullptr;
int g_boxes = 0;

}  // namespace

CTTComboBox::CTTComboBox(QWidget* parent) : QComboBox(parent)
{
    if (g_tooltip == nullptr)
        g_tooltip = new SharedTooltip;
    ++g_boxes;
    setMouseTracking(true);
    attachParts();
}

CTTComboBox::~CTTComboBox()
{
    if (--g_boxes == 0) {
        delete g_tooltip;
        g_tooltip = nullptr;
    }
}

QWidget* CTTComboBox::TooltipWindow()
{
    return g_tooltip;
}

QTimer* CTTComboBox::TooltipTimer()
{
    return g_tooltip != nullptr ? &g_tooltip->timer : nullptr;
}

void CTTComboBox::attachParts()
{
    view()->viewport()->setMouseTracking(true);
    view()->viewport()->installEventFilter(this);
    if (lineEdit() != nullptr)
        lineEdit()->installEventFilter(this);
}

void CTTComboBox::showPopup()
{
    emit aboutToShowPopup();
    QComboBox::showPopup();
    QWidget* popup = view()->window();
    if (popup != nullptr && popup != window())
        popup->setGeometry(QRect(mapToGlobal(QPoint(0, height())), QSize(width(), popup->height())));
}

bool CTTComboBox::ShowTooltip(QWidget* owner, const QString& text, const QRect& reference)
{
    if (g_tooltip == nullptr)
        return false;
    const QFontMetrics metrics(g_tooltip->font());
    QRect measured = metrics.boundingRect(text);
    if (measured.width() <= reference.width()) {
        HideTooltip();
        return false;
    }
    measured.setWidth(measured.width() + 4);
    measured.setHeight(std::max(reference.height(), measured.height()) + 4);
    const QPoint topLeft = owner->mapToGlobal(reference.topLeft()) - QPoint(2, 2);
    g_tooltip->text = text;
    g_tooltip->setGeometry(QRect(topLeft, measured.size()));
    g_tooltip->show();
    g_tooltip->raise();
    g_tooltip->update();
    g_tooltip->timer.start(kTooltipMs);
    return true;
}

void CTTComboBox::HideTooltip()
{
    if (g_tooltip != nullptr)
        g_tooltip->hide();
}

bool CTTComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view()->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QModelIndex index = view()->indexAt(mouse->position().toPoint());
            if (!view()->viewport()->rect().contains(mouse->position().toPoint())) {
                m_lastIndex = -1;
                HideTooltip();
            } else if (index.isValid() && index.row() != m_lastIndex) {
                m_lastIndex = index.row();
                ShowTooltip(view()->viewport(), index.data().toString(), view()->visualRect(index));
            }
        } else if (event->type() == QEvent::Leave || event->type() == QEvent::Hide) {
            m_lastIndex = -1;
            HideTooltip();
        }
    } else if (lineEdit() != nullptr && watched == lineEdit()) {
        if (event->type() == QEvent::ToolTip) {
            ShowTooltip(lineEdit(), lineEdit()->text(), lineEdit()->rect());
            return true;
        }
        if (event->type() == QEvent::Leave)
            HideTooltip();
    }
    return QComboBox::eventFilter(watched, event);
}

bool CTTComboBox::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ToolTip:
        if (lineEdit() == nullptr) {
            QStyleOptionComboBox option;
            initStyleOption(&option);
            const QRect arrow = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
            QRect reference = rect().adjusted(2, 2, -2, -2);
            reference.setWidth(reference.width() - arrow.width());
            ShowTooltip(this, currentText(), reference);
        }
        return true;
    case QEvent::Leave:
        HideTooltip();
        break;
    case QEvent::MouseButtonPress:
        if (g_tooltip != nullptr && g_tooltip->isVisible())
            HideTooltip();
        break;
    default:
        break;
    }
    return QComboBox::event(event);
}
