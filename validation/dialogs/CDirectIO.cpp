#include "CDirectIO.h"

#include "AppLog.h"
#include "DialogParts.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

constexpr int kWidth = 420;
constexpr int kMargin = 14;

}  // namespace

CDirectIO::CDirectIO(QWidget* parent)
    : QDialog(parent),
      m_strHelpText("Type a valid command that the device supports, and click Send.\r\nThis dialog box closes after "
                    "clicking Send button.\r\nThe result is displayed in Advanced View output box."),
      m_strButtonText("Send"),
      m_strLabel("Serial Command")
{
    setObjectName("CDirectIO");
    paintProbeDialog(this, dlgstr::kDirectIOCaption);
    m_help = probeText(this, "1383");
    m_label = probeText(this, "1381");
    m_entry = new QLineEdit(this);
    m_entry->setObjectName("1382");
    QPalette entryColours = m_entry->palette();
    entryColours.setColor(QPalette::Base, Qt::white);
    entryColours.setColor(QPalette::Text, Qt::black);
    m_entry->setPalette(entryColours);
    m_send = probeButton(this, "1124", QString());
    m_send->SetColor(syscolor::kBlack, kProbeFace);
    connect(m_send, &QPushButton::clicked, this, &CDirectIO::accept);
}

void CDirectIO::showEvent(QShowEvent* event)
{
    if (!m_initialised) {
        m_initialised = true;
        initDialog();
    }
    QDialog::showEvent(event);
}

void CDirectIO::initDialog()
{
    CAppLog log(CLanguageManager::GetInstance(), CAppLog::kValidation);
    log.Write(4, "CDirectIO", "OnInitDialog", "Entered", "");
    try {
        CLanguageManager::GetInstance().ChooseUserLanguage("TillProbeFrench.strings", "MultiLanguage");
    } catch (...) {
        log.Write(4, "CDirectIO", "OnInitDialog", "Language DLL", "");
    }
    m_send->setToolTip(dialogText(dlgstr::kSendTip));

    // A text the caller left empty comes from the language module.
    const QString help = m_strHelpText.empty() ? dialogText(dlgstr::kDirectIOHelp)
                                               : QString::fromStdString(m_strHelpText);
    const QString caption = m_strButtonText.empty() ? dialogText(dlgstr::kSendButton)
                                                    : QString::fromStdString(m_strButtonText);
    const QString label = m_strLabel.empty() ? dialogText(dlgstr::kSerialCommandLabel)
                                             : QString::fromStdString(m_strLabel);
    m_help->setText(QString(help).remove('\r'));
    m_label->setText(label);
    m_send->setText(caption);
    m_send->SetColor(syscolor::kBlack, kProbeFace);

    const QFontMetrics metrics(font());
    const int textWidth = kWidth - 2 * kMargin;
    const int helpHeight =
        metrics.boundingRect(QRect(0, 0, textWidth, 10000), Qt::TextWordWrap, m_help->text()).height();
    const int row = std::max(26, metrics.height() + 10);
    m_help->setGeometry(kMargin, kMargin, textWidth, helpHeight);
    const int entryTop = kMargin + helpHeight + 12;
    const int labelWidth = std::max(110, metrics.horizontalAdvance(label) + 8);
    m_label->setGeometry(kMargin, entryTop + (row - metrics.height()) / 2, labelWidth, metrics.height() + 2);
    m_entry->setGeometry(kMargin + labelWidth, entryTop, textWidth - labelWidth, row);
    const int buttonWidth = std::max(80, metrics.horizontalAdvance(caption) + 24);
    m_send->setGeometry((kWidth - buttonWidth) / 2, entryTop + row + 12, buttonWidth, row);
    setFixedSize(kWidth, entryTop + 2 * row + 12 + kMargin);
    m_entry->setFocus();
}

void CDirectIO::keyPressEvent(QKeyEvent* event)
{
    // Enter acts on the focused control: the send button sends, anything
    // else is the OK command.
    if (isEnterKey(event->key())) {
        if (focusWidget() == m_send)
            m_send->click();
        else
            accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDirectIO::accept()
{
    m_strValue = m_entry->text().toLatin1().toStdString();
    done(1);
}

void CDirectIO::reject()
{
    done(2);
}
