#include "CDispImage.h"

#include "DialogParts.h"
#include "PictureBox.h"

namespace {

// 338 x 258 dialog units in the dialogs' font.
constexpr int kWidth = 507;
constexpr int kHeight = 419;

}  // namespace

CDispImage::CDispImage(QWidget* parent) : QDialog(parent)
{
    setObjectName("CDispImage");
    paintProbeDialog(this, dlgstr::kImageCaption);
    setFixedSize(kWidth, kHeight);
    m_picture = new CPictureBox(this);
    m_picture->setObjectName("1337");
    m_picture->setGeometry(0, 0, kWidth, kHeight);
}

void CDispImage::ShowImage(const QByteArray& stream)
{
    // Data that cannot be read leaves the box empty: nothing to report.
    m_picture->LoadFromStream(stream);
    m_picture->SetMode(kPictureStretched);
    m_picture->update();
}
