#include "PictureBox.h"

#include "ClrButton.h"
#include "SystemColors.h"

#include <QPainter>

CPictureBox::CPictureBox(QWidget* parent) : QWidget(parent)
{
    setObjectName("CPictureBox");
}

bool CPictureBox::Load(const std::string& path)
{
    m_image = QImage();
    const bool ok = m_image.load(QString::fromLatin1(path.c_str()));
    loaded(ok);
    return ok;
}

bool CPictureBox::LoadFromStream(const QByteArray& bytes)
{
    m_image = QImage();
    const bool ok = m_image.loadFromData(bytes);
    loaded(ok);
    return ok;
}

void CPictureBox::loaded(bool ok)
{
    // Without an image the control lets what lies under it show.
    setAttribute(Qt::WA_TranslucentBackground, !ok);
    update();
}

void CPictureBox::SetMode(int mode)
{
    m_mode = mode;
    update();
}

PictureRect CPictureBox::ImageRect() const
{
    return pictureRect(m_mode, width(), height(), m_image.width(), m_image.height());
}

void CPictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(syscolor::kButtonFace));
    if (m_image.isNull())
        return;
    const PictureRect where = ImageRect();
    painter.drawImage(QRect(where.x, where.y, where.width, where.height), m_image);
}
