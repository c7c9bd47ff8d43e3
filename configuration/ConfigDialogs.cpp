#include "ConfigDialogs.h"

#include "AppLog.h"
#include "ClrButton.h"
#include "QtTranslations.h"
#include "Strings.h"
#include "WindowLook.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr Rgb kFace{223, 224, 227};

QString qs(UINT id)
{
    return QString::fromStdString(T(id));
}

void paintDialog(QDialog* dialog, const QString& caption, QSize size)
{
    dialog->setWindowTitle(caption);
    dialog->setWindowIcon(tillSetupIcon());
    dialog->setFixedSize(size);
    dialog->setAutoFillBackground(true);
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::Window, tillSetupFace());
    palette.setColor(QPalette::WindowText, Qt::black);
    dialog->setPalette(palette);
}

CClrButton* button(QDialog* dialog, const QString& text, const char* name, QRect where)
{
    auto* b = new CClrButton(text, dialog);
    b->setObjectName(name);
    b->setGeometry(where);
    b->SetColor(syscolor::kBlack, kFace);
    b->setAutoDefault(false);
    return b;
}

QLabel* picture(QDialog* dialog, int id, const char* name)
{
    auto* label = new QLabel(dialog);
    label->setObjectName(name);
    label->setGeometry(16, 18, 40, 40);
    const QStyle::StandardPixmap icon = id == 179   ? QStyle::SP_MessageBoxCritical
                                        : id == 180 ? QStyle::SP_MessageBoxInformation
                                                    : QStyle::SP_MessageBoxWarning;
    label->setPixmap(dialog->style()->standardIcon(icon).pixmap(32, 32));
    label->setProperty("bitmapId", id);
    return label;
}

QLabel* textLabel(QDialog* dialog, const QString& text, const char* name, QRect where)
{
    auto* label = new QLabel(text, dialog);
    label->setObjectName(name);
    label->setGeometry(where);
    label->setWordWrap(true);
    return label;
}

bool isEnter(QKeyEvent* event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

}  // namespace

QColor tillSetupFace()
{
    return QColor(kFace.red, kFace.green, kFace.blue);
}

QIcon tillSetupIcon()
{
    static const QIcon icon = ProgramIcon("TS");
    return icon;
}

CAddDevice::CAddDevice(const QString& text, QWidget* parent) : QDialog(parent), m_text(text)
{
    setObjectName("CAddDevice");
    paintDialog(this, qs(str::kCaption), QSize(300, 110));
    picture(this, 184, "IDC_PICTURE");
    textLabel(this, qs(str::kSaveChanges), "IDC_SAVEMSG", QRect(66, 18, 220, 40));
    m_yes = button(this, QtButtonText(QtButton::Yes), "IDC_SUBMIT", QRect(30, 70, 70, 26));
    m_no = button(this, QtButtonText(QtButton::No), "IDC_BTN_NO", QRect(115, 70, 70, 26));
    m_cancel = button(this, QtButtonText(QtButton::Cancel), "IDC_CANCEL", QRect(200, 70, 70, 26));
    connect(m_yes, &QPushButton::clicked, this, [this] { choose(1); });
    connect(m_no, &QPushButton::clicked, this, [this] { choose(2); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { choose(3); });
}

void CAddDevice::showEvent(QShowEvent* event)
{
    m_text = m_text.toUpper();
    QDialog::showEvent(event);
}

void CAddDevice::choose(int choice)
{
    m_choice = choice;
    done(1);
}

void CAddDevice::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        choose(3);
        return;
    }
    if (isEnter(event)) {
        for (CClrButton* b : {m_yes, m_no, m_cancel})
            if (focusWidget() == b)
                b->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CAddDevice::closeEvent(QCloseEvent* event)
{
    m_choice = 3;
    QDialog::closeEvent(event);
}

CConfirmation::CConfirmation(QWidget* parent) : QDialog(parent)
{
    setObjectName("CConfirmation");
    CLanguageManager::GetInstance().ChooseUserLanguage("TillSetupFrench.strings", "TillSetupFrenchDll", "enlgish");
    paintDialog(this, qs(str::kCaption), QSize(260, 110));
    picture(this, 184, "IDC_PICTURE");
    textLabel(this, qs(str::kConfirmRemove), "IDC_CONFIRMATIONLABEL", QRect(66, 18, 180, 40));
    m_yes = button(this, QtButtonText(QtButton::Yes), "IDOK", QRect(45, 70, 75, 26));
    m_no = button(this, QtButtonText(QtButton::No), "IDCANCEL", QRect(140, 70, 75, 26));
    connect(m_yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_no, &QPushButton::clicked, this, &QDialog::reject);
}

void CConfirmation::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_no->setFocus();
}

void CConfirmation::keyPressEvent(QKeyEvent* event)
{
    if (isEnter(event)) {
        if (focusWidget() == m_yes)
            m_yes->click();
        else if (focusWidget() == m_no)
            m_no->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

MsgBox::MsgBox(const QString& text, int kind, QWidget* parent) : QDialog(parent)
{
    setObjectName("MsgBox");
    m_pictureId = kind == 2 ? 179 : kind == 3 ? 180 : 184;
    paintDialog(this, qs(str::kCaption), QSize(330, 120));
    picture(this, m_pictureId, "IDC_IMAGEBOX");
    textLabel(this, text, "IDC_MSGTEXT", QRect(66, 12, 250, 60));
    CClrButton* ok = button(this, QtButtonText(QtButton::Ok), "IDOK", QRect(128, 82, 75, 26));
    ok->setDefault(true);  // Enter answers the message
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("CAboutDlg");
    CAppLog log(CLanguageManager::GetInstance(), CAppLog::kConfiguration);
    log.Write(4, "CFinal_UIDlg", "OnInitDialog", "Entered", "");
    paintDialog(this, qs(str::kAboutCaption), QSize(360, 110));
    auto* icon = new QLabel(this);
    icon->setGeometry(16, 18, 32, 32);
    icon->setPixmap(tillSetupIcon().pixmap(32, 32));
    textLabel(this, qs(str::kAboutVersion), "IDC_ABOUTMSG", QRect(64, 14, 280, 22));
    textLabel(this, qs(str::kAboutNotice), "IDC_ABOUTNOTICE", QRect(64, 38, 280, 22));
    CClrButton* ok = button(this, QtButtonText(QtButton::Ok), "IDOK", QRect(270, 72, 75, 26));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

HelpWindow::HelpWindow(const QString& path, const QString& title) : QWidget(nullptr)
{
    setObjectName("HelpWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    setWindowIcon(tillSetupIcon());
    resize(640, 480);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* browser = new QTextBrowser(this);
    browser->setObjectName("HelpBrowser");
    browser->setSource(QUrl::fromLocalFile(path));
    layout->addWidget(browser);
}
