#include "MsgBox.h"

#include "ClrButton.h"
#include "QtTranslations.h"
#include "WindowLook.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>

namespace {

constexpr Rgb kFace{224, 223, 228};

}  // namespace

CMsgBox::CMsgBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("TillProbe");
    setObjectName("CMsgBox");
    setWindowIcon(TillProbeIcon());
    setFixedSize(320, 130);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, toQColor(kFace));
    setPalette(palette);
    m_picture = new QLabel(this);
    m_picture->setObjectName("190");
    m_picture->setGeometry(16, 18, 32, 32);
    m_picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    m_text = new QLabel(this);
    m_text->setObjectName("1192");
    m_text->setGeometry(60, 15, 245, 60);
    m_text->setWordWrap(true);
    m_ok = new CClrButton(QtButtonText(QtButton::Ok), this);
    m_ok->setObjectName("1124");
    m_ok->setGeometry(120, 90, 80, 26);
    m_yes = new CClrButton(QtButtonText(QtButton::Yes), this);
    m_yes->setObjectName("1125");
    m_yes->setGeometry(70, 90, 80, 26);
    m_no = new CClrButton(QtButtonText(QtButton::No), this);
    m_no->setObjectName("1126");
    m_no->setGeometry(170, 90, 80, 26);
    for (CClrButton* button : {m_ok, m_yes, m_no}) {
        button->SetColor(syscolor::kBlack, kFace);
        button->setAutoDefault(false);
    }
    m_yes->hide();
    m_no->hide();
    connect(m_ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_yes, &QPushButton::clicked, this, [this] {
        m_answer = 1;
        done(1);
    });
    connect(m_no, &QPushButton::clicked, this, [this] {
        m_answer = 0;
        done(0);
    });
}

void CMsgBox::SetText(const QString& text)
{
    m_text->setText(text);
}

void CMsgBox::SetQuestion(bool question)
{
    m_question = question;
    m_answer = question ? 1 : 0;
}

void CMsgBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_yes->setVisible(m_question);
    m_no->setVisible(m_question);
    m_ok->setVisible(!m_question);
    (m_question ? m_yes : m_ok)->setFocus();
}

void CMsgBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        m_answer = 0;
        done(0);
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        for (CClrButton* button : {m_ok, m_yes, m_no}) {
            // The dialog's focus widget, whether or not the window is active yet.
            if (focusWidget() == button && button->isVisible()) {
                button->click();
                return;
            }
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMsgBox::closeEvent(QCloseEvent* event)
{
    m_answer = 0;
    QDialog::closeEvent(event);
}
