#include "CErrorEvent.h"

#include "DialogParts.h"

#include <QKeyEvent>

namespace {

constexpr int kRetry = 11;
constexpr int kClear = 12;
constexpr int kContinueInput = 13;

constexpr int kMargin = 14;
constexpr int kGap = 10;

}  // namespace

CErrorEvent::CErrorEvent(QWidget* parent) : QDialog(parent)
{
    setObjectName("CErrorEvent");
    paintProbeDialog(this, dlgstr::kErrorEventCaption);
    m_locusLabel = probeText(this, "1363");
    m_locusName = probeText(this, "1365");
    m_retry = probeButton(this, "1124", dialogText(dlgstr::kRetryButton));
    m_clear = probeButton(this, "1125", dialogText(dlgstr::kClearButton));
    m_continue = probeButton(this, "1126", dialogText(dlgstr::kContinueInputButton));
    m_expand = probeButton(this, "1127", "<<");
    m_collapse = probeButton(this, "1128", ">>");
    m_details = probeText(this, "1369");
    // Retry and both details buttons start hidden; the two details buttons
    // lie on the same spot, one showing at a time.
    m_retry->hide();
    m_expand->hide();
    m_collapse->hide();

    connect(m_retry, &QPushButton::clicked, this, [this] { respond(kRetry); });
    connect(m_clear, &QPushButton::clicked, this, [this] { respond(kClear); });
    connect(m_continue, &QPushButton::clicked, this, [this] { respond(kContinueInput); });
    connect(m_expand, &QPushButton::clicked, this, &CErrorEvent::ExpandDetails);
    connect(m_collapse, &QPushButton::clicked, this, &CErrorEvent::CollapseDetails);
}

void CErrorEvent::showEvent(QShowEvent* event)
{
    if (!m_initialised) {
        m_initialised = true;
        initDialog();
    }
    QDialog::showEvent(event);
}

void CErrorEvent::initDialog()
{
    CLanguageManager::GetInstance().ChooseUserLanguage("TillProbeFrench.strings", "MultiLanguage");
    m_locusLabel->setText(dialogText(dlgstr::kErrorLocusLabel));
    m_expand->setText(dialogText(dlgstr::kExpandDetails));
    m_collapse->setText(dialogText(dlgstr::kCollapseDetails));
    m_details->setText(dialogText(dlgstr::kErrorDetails).remove('\r'));
    for (CClrButton* button : {m_retry, m_clear, m_continue, m_expand, m_collapse})
        button->SetColor(syscolor::kBlack, kProbeFace);

    // Layout for the dialogs' font: the locus line, the three answers, the
    // details button; the details text lies below the collapsed height.
    const QFontMetrics metrics(font());
    const int row = std::max(26, metrics.height() + 10);
    const int line = metrics.height() + 2;
    const int labelWidth = metrics.horizontalAdvance(m_locusLabel->text()) + 6;
    m_locusLabel->setGeometry(kMargin, kMargin, labelWidth, line);
    m_locusName->setGeometry(kMargin + labelWidth, kMargin, kWidth - 2 * kMargin - labelWidth, line);
    const int buttonWidth = (kWidth - 2 * kMargin - 2 * kGap) / 3;
    const int answersTop = kMargin + line + kGap;
    m_retry->setGeometry(kMargin, answersTop, buttonWidth, row);
    m_clear->setGeometry(kMargin + buttonWidth + kGap, answersTop, buttonWidth, row);
    m_continue->setGeometry(kMargin + 2 * (buttonWidth + kGap), answersTop, buttonWidth, row);
    const int detailsTop = answersTop + row + kGap;
    m_expand->setGeometry(kWidth - kMargin - buttonWidth, detailsTop, buttonWidth, row);
    m_collapse->setGeometry(m_expand->geometry());
    m_collapsedHeight = detailsTop + row + kMargin;
    const int textWidth = kWidth - 2 * kMargin;
    const int textTop = m_collapsedHeight + kGap;
    const int textHeight =
        metrics.boundingRect(QRect(0, 0, textWidth, 10000), Qt::TextWordWrap, m_details->text()).height();
    m_details->setGeometry(kMargin, textTop, textWidth, textHeight);
    m_expandedHeight = textTop + textHeight + kMargin;

    CollapseDetails();

    QString name = "OPOS_EL_INPUT";
    switch (m_nResponse) {
    case 1:
        name = "OPOS_EL_OUTPUT";
        // Retry stays hidden; the dialog keeps the keyboard for it.
        m_hiddenFocus = m_retry;
        setFocus(Qt::OtherFocusReason);
        break;
    case 2:
        m_clear->setFocus(Qt::OtherFocusReason);
        break;
    case 3:
        name = "OPOS_EL_INPUT_DATA";
        m_continue->setFocus(Qt::OtherFocusReason);
        break;
    default:
        break;
    }
    QFont bold = m_locusName->font();
    bold.setWeight(QFont::Bold);
    m_locusName->setFont(bold);
    m_locusName->setText(name);
}

void CErrorEvent::ExpandDetails()
{
    m_expand->hide();
    m_collapse->show();
    m_collapse->setFocus(Qt::OtherFocusReason);
    setFixedSize(kWidth, m_expandedHeight);
}

void CErrorEvent::CollapseDetails()
{
    m_collapse->hide();
    m_expand->show();
    m_expand->setFocus(Qt::OtherFocusReason);
    setFixedSize(kWidth, m_collapsedHeight);
}

CClrButton* CErrorEvent::FocusedButton() const
{
    QWidget* focused = focusWidget();
    if (m_hiddenFocus != nullptr && (focused == nullptr || focused == this))
        return m_hiddenFocus;
    for (CClrButton* button : {m_retry, m_clear, m_continue, m_expand, m_collapse})
        if (focused == button && button->isVisible())
            return button;
    return nullptr;
}

void CErrorEvent::keyPressEvent(QKeyEvent* event)
{
    // Enter presses the focused button, so a user who tabbed to another
    // answer gets that answer.
    if (isEnterKey(event->key())) {
        if (CClrButton* button = FocusedButton())
            button->click();
        else
            EndWithLocusDefault();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CErrorEvent::reject()
{
    EndWithLocusDefault();
}

void CErrorEvent::EndWithLocusDefault()
{
    switch (m_nResponse) {
    case 1:
        respond(kRetry);
        break;
    case 3:
        respond(kContinueInput);
        break;
    default:
        // The input locus, and any locus the dialog does not know: clear.
        respond(kClear);
        break;
    }
}

void CErrorEvent::respond(int response)
{
    m_nResponse = response;
    done(0);
}
