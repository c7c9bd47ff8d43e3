#include "TillProbeWindow.h"

#include "CDispImage.h"
#include "CErrorEvent.h"
#include "ClrButton.h"
#include "ControlIndex.h"
#include "MsgBox.h"
#include "ProbeStrings.h"
#include "QtMessagePump.h"
#include "QtTranslations.h"
#include "TTComboBox.h"
#include "WindowLook.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

using namespace probe;
using Verify = BasicViewModel::Verify;

namespace {

constexpr Rgb kFace{224, 223, 228};
constexpr Rgb kBlack{0, 0, 0};
const QColor kFaceColour(224, 223, 228);
const QColor kLineFace(211, 210, 214);
const QColor kGroupText(14, 71, 136);

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

QString lookName(Verify look)
{
    switch (look) {
    case Verify::Ready:
        return "ready";
    case Verify::Running:
        return "running";
    case Verify::Unavailable:
        break;
    }
    return "unavailable";
}

// The Verify button's three pictures: ready (a green arrow), running (an
// amber bar) and unavailable (grey).
class VerifyButton : public QPushButton {
public:
    explicit VerifyButton(QWidget* parent) : QPushButton(parent)
    {
        setFixedSize(56, 40);
        setProperty("look", "ready");
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QString look = property("look").toString();
        QColor face = look == "ready" ? QColor(46, 139, 87) : look == "running" ? QColor(230, 150, 20) : QColor(150, 150, 150);
        if (isDown())
            face = face.darker(130);
        painter.setPen(QPen(QColor(60, 60, 60), 1));
        painter.setBrush(face);
        painter.drawRoundedRect(rect().adjusted(1, 1, -2, -2), 6, 6);
        painter.setBrush(Qt::white);
        painter.setPen(Qt::NoPen);
        const QPointF c = QRectF(rect()).center();
        if (look == "running") {
            painter.drawRect(QRectF(c.x() - 12, c.y() - 4, 24, 8));
        } else {
            const QPointF arrow[3] = {{c.x() - 7, c.y() - 10}, {c.x() - 7, c.y() + 10}, {c.x() + 11, c.y()}};
            painter.drawPolygon(arrow, 3);
        }
        if (hasFocus()) {
            painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect().adjusted(4, 4, -5, -5));
        }
    }
};

// The device-name list, which says when it is about to open.
class DeviceList : public CTTComboBox {
public:
    using CTTComboBox::CTTComboBox;
    std::function<void()> onDropDown;
    void showPopup() override
    {
        if (onDropDown)
            onDropDown();
        CTTComboBox::showPopup();
    }
};

QLabel* colouredLabel(QWidget* parent, const QColor& text, const QColor& face)
{
    auto* label = new QLabel(parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Window, face);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    return label;
}

void paintFace(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, kFaceColour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

TillProbeWindow::TillProbeWindow(IDispatch* scanner, IDispatch* imageScanner, QWidget* parent) : QDialog(parent)
{
    setObjectName("TillProbeDlg");
    m_scannerSite.Attach(scanner);
    m_imageSite.Attach(imageScanner);
    m_scanner.Attach(m_scannerSite.Dispatch());
    m_controller = std::make_unique<CTillProbeDlg>(*this, m_scanner);

    m_scannerSite.onDataEvent = [this](LONG) { act([this] { m_controller->OnDataEventScanner(); }); };
    m_scannerSite.onErrorEvent = [this](LONG rc, LONG rce, LONG locus, LONG* response) {
        act([&] { m_controller->OnErrorEventScanner(rc, rce, locus, response); });
    };
    m_scannerSite.onStatusUpdateEvent = [this](LONG data) {
        act([&] { m_controller->OnStatusUpdateEventScanner(data); });
    };
    m_scannerSite.onDirectIOEvent = [](LONG, LONG*, BSTR*) {};

    m_timer = new QTimer(this);
    m_timer->setObjectName("CountdownTimer");
    connect(m_timer, &QTimer::timeout, this, [this] { act([this] { m_controller->OnTimmer(kCountdownTimer); }); });

    build();
    m_messages = std::make_unique<MessageWindow>([this](UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == CTillProbeDlg::AddDeviceMessage())
            act([this] { m_controller->OnAddDevice(); });
        return 0;
    });
    act([this] { m_controller->OnInitDialog(); });
}

TillProbeWindow::~TillProbeWindow()
{
    m_messages.reset();
    m_scannerSite.onDataEvent = nullptr;
    m_scannerSite.onErrorEvent = nullptr;
    m_scannerSite.onStatusUpdateEvent = nullptr;
    if (m_help)
        m_help->close();
}

QWidget* TillProbeWindow::Control(int id) const
{
    return dialog::itemById(m_widgets, id);
}

QAction* TillProbeWindow::MenuAction(int command) const
{
    return dialog::itemById(m_actions, command);
}

int TillProbeWindow::idOf(const QWidget* widget) const
{
    return dialog::idOfControl(m_widgets, widget);
}

void TillProbeWindow::build()
{
    setWindowTitle(qs(T(kCaption)));
    setWindowIcon(TillProbeIcon());
    CentreWhenFirstShown(this);
    paintFace(this);
    auto* layout = new QVBoxLayout(this);
    buildMenu();
    layout->setMenuBar(m_menuBar);

    const auto add = [this](int id, QWidget* widget, const char* name) {
        widget->setObjectName(name);
        m_widgets[id] = widget;
        widget->installEventFilter(this);
        return widget;
    };
    const auto groupTitle = [](QGroupBox* box) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, kGroupText);
        box->setPalette(palette);
    };

    auto* options = new QGroupBox(qs(T(kOptionsGroup)), this);
    groupTitle(options);
    auto* grid = new QGridLayout(options);
    // The field labels in black: a group box hands its title colour down.
    const auto fieldLabel = [options](UINT text) {
        QLabel* label = colouredLabel(options, Qt::black, kFaceColour);
        label->setText(qs(T(text)));
        return label;
    };
    grid->addWidget(fieldLabel(kDeviceTypeLabel), 0, 0);
    auto* types = new CTTComboBox(options);
    add(IDC_COMBO_DEVICETYPE, types, "IDC_COMBO_DEVICETYPE");
    types->setEnabled(false);
    grid->addWidget(types, 0, 1);
    grid->addWidget(fieldLabel(kDeviceNameLabel), 1, 0);
    auto* devices = new DeviceList(options);
    devices->onDropDown = [this] { act([this] { m_controller->OnDropdownComboDevice(); }); };
    add(IDC_COMBO_DEVICE, devices, "IDC_COMBO_DEVICE");
    grid->addWidget(devices, 1, 1);
    grid->addWidget(fieldLabel(kVerifyLabel), 2, 0);
    auto* verify = new VerifyButton(options);
    add(IDC_BTN_VERIFY, verify, "IDC_BTN_VERIFY");
    verify->setToolTip(qs(T(kTipVerify)));
    grid->addWidget(verify, 2, 1, Qt::AlignLeft);
    layout->addWidget(options);

    auto* buttons = new QHBoxLayout;
    auto* advanced = new CClrButton(qs(T(kAdvancedButton)), this);
    auto* config = new CClrButton(qs(T(kConfigButton)), this);
    auto* fullImage = new CClrButton(qs(T(kFullImageButton)), this);
    add(IDC_BTN_ADVANCED, advanced, "IDC_BTN_ADVANCED")->setToolTip(qs(T(kTipAdvanced)));
    add(IDC_BTN_CONFIG, config, "IDC_BTN_CONFIG")->setToolTip(qs(T(kTipConfig)));
    add(IDC_BTN_FULLIMAGE, fullImage, "IDC_BTN_FULLIMAGE")->setToolTip(qs(T(kTipFullImage)));
    for (CClrButton* button : {advanced, config, fullImage}) {
        button->SetColor(kBlack, kFace);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);

    auto* outputGroup = new QGroupBox(qs(T(kOutputGroup)), this);
    groupTitle(outputGroup);
    auto* outputLayout = new QVBoxLayout(outputGroup);
    auto* output = new QTextEdit(outputGroup);
    add(IDC_OUTPUT, output, "IDC_OUTPUT");
    output->setReadOnly(true);
    output->setAcceptRichText(false);
    QPalette outputPalette = output->palette();
    outputPalette.setColor(QPalette::Base, kFaceColour);
    output->setPalette(outputPalette);
    output->setMinimumHeight(120);
    outputLayout->addWidget(output);
    auto* picture = new QLabel(outputGroup);
    add(IDC_PICTURE, picture, "IDC_PICTURE");
    picture->hide();
    outputLayout->addWidget(picture);
    // The error line and the progress line share one place, which keeps its
    // height whether one of them shows or neither.
    auto* lines = new QWidget(outputGroup);
    lines->setFixedHeight(22);
    auto* linesLayout = new QGridLayout(lines);
    linesLayout->setContentsMargins(0, 0, 0, 0);
    auto* errorLine = colouredLabel(lines, QColor(255, 0, 0), kLineFace);
    auto* progressLine = colouredLabel(lines, QColor(22, 109, 20), kLineFace);
    add(IDC_ERROR_LINE, errorLine, "IDC_ERROR_LINE");
    add(IDC_PROGRESS_LINE, progressLine, "IDC_PROGRESS_LINE");
    for (QLabel* line : {errorLine, progressLine}) {
        line->setAlignment(Qt::AlignCenter);
        line->hide();
        linesLayout->addWidget(line, 0, 0);
    }
    outputLayout->addWidget(lines);
    layout->addWidget(outputGroup);
    resize(482, 383);

    connect(verify, &QPushButton::clicked, this, [this] { act([this] { m_controller->OnCommand(IDC_BTN_VERIFY); }); });
    for (int id : {IDC_BTN_ADVANCED, IDC_BTN_CONFIG, IDC_BTN_FULLIMAGE})
        connect(static_cast<QPushButton*>(m_widgets[id]), &QPushButton::clicked, this,
                [this, id] { act([this, id] { m_controller->OnCommand(id); }); });
    connect(devices, &QComboBox::activated, this, [this](int index) {
        act([this, index] {
            m_controller->Model().device = index;
            m_controller->OnSelchangeComboDevice();
        });
    });
    // The hidden keyboard routes: Alt+X runs Exit, Alt+U runs About.
    for (const auto& [keys, id] : {std::pair{"Alt+X", IDC_BTN_EXIT_KEY}, std::pair{"Alt+U", IDC_BTN_ABOUT_KEY}}) {
        auto* shortcut = new QShortcut(QKeySequence(keys), this);
        connect(shortcut, &QShortcut::activated, this, [this, id = id] { act([this, id] { m_controller->OnCommand(id); }); });
    }
}

void TillProbeWindow::buildMenu()
{
    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName("Menu129");
    struct Item {
        UINT text;
        int command;
        const char* keys;
    };
    const auto menu = [this](UINT title, std::initializer_list<Item> items) {
        QMenu* menu = m_menuBar->addMenu(qs(T(title)));
        m_menuTexts[menu] = title;
        for (const Item& item : items) {
            QAction* action = menu->addAction(qs(T(item.text)));
            if (item.keys[0] != '\0')
                action->setShortcut(QKeySequence(item.keys));
            m_actions[item.command] = action;
            m_actionTexts[action] = item.text;
            connect(action, &QAction::triggered, this,
                    [this, command = item.command] { act([this, command] { m_controller->OnCommand(command); }); });
        }
    };
    menu(kMenuFile, {{kMenuExit, ID_FILE_EXIT, ""}});
    menu(kMenuView, {{kMenuAdvanced, ID_VIEW_ADVANCED, "Alt+A"}, {kMenuConfig, ID_VIEW_CONFIG, "Alt+C"}});
    menu(kMenuHelp, {{kMenuHelpFile, ID_HELP_FILE, "F1"}, {kMenuAbout, ID_HELP_ABOUT, ""}});
}

void TillProbeWindow::SetFrenchMenu(bool french)
{
    m_french = french;
    m_menuBar->setObjectName(french ? "Menu216" : "Menu129");
    const UINT offset = french ? kFrenchMenuOffset : 0;
    for (auto& [menu, text] : m_menuTexts)
        static_cast<QMenu*>(menu)->setTitle(qs(T(text + offset)));
    for (auto& [action, text] : m_actionTexts)
        action->setText(qs(T(text + offset)));
}

void TillProbeWindow::act(const std::function<void()>& handler)
{
    handler();
    SyncToWidgets();
}

void TillProbeWindow::SyncToWidgets()
{
    m_syncing = true;
    const BasicViewModel& model = m_controller->Model();
    const auto fill = [](QComboBox* box, const std::vector<std::string>& items, int current) {
        QStringList texts;
        for (const std::string& item : items)
            texts << qs(item);
        QStringList shown;
        for (int i = 0; i < box->count(); ++i)
            shown << box->itemText(i);
        if (shown != texts) {
            box->clear();
            box->addItems(texts);
        }
        box->setCurrentIndex(current);
    };
    auto* types = static_cast<QComboBox*>(Control(IDC_COMBO_DEVICETYPE));
    auto* devices = static_cast<QComboBox*>(Control(IDC_COMBO_DEVICE));
    fill(types, model.deviceTypes, model.deviceType);
    fill(devices, model.devices, model.device);
    devices->setEnabled(model.devicesEnabled);

    QWidget* verify = Control(IDC_BTN_VERIFY);
    verify->setProperty("look", lookName(model.verifyLook));
    verify->setEnabled(model.verifyEnabled);
    verify->update();

    auto* output = static_cast<QTextEdit*>(Control(IDC_OUTPUT));
    if (output->toPlainText() != qs(model.output))
        output->setPlainText(qs(model.output));
    output->setVisible(model.outputShown);
    Control(IDC_PICTURE)->setVisible(model.pictureShown);
    auto* errorLine = static_cast<QLabel*>(Control(IDC_ERROR_LINE));
    auto* progressLine = static_cast<QLabel*>(Control(IDC_PROGRESS_LINE));
    errorLine->setText(qs(model.errorText));
    errorLine->setVisible(model.errorShown);
    progressLine->setText(qs(model.progressText));
    progressLine->setVisible(model.progressShown);
    Control(IDC_BTN_FULLIMAGE)->setVisible(model.fullImageShown);
    Control(IDC_BTN_FULLIMAGE)->setEnabled(model.fullImageEnabled);
    if (model.focus != 0) {
        if (QWidget* focus = Control(model.focus))
            focus->setFocus();
        m_controller->Model().focus = 0;
    }
    m_syncing = false;
}

bool TillProbeWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (key->key() == Qt::Key_Escape || (enter && key->modifiers() == Qt::NoModifier)) {
            const int focus = idOf(QApplication::focusWidget());
            act([&] { m_controller->PreTranslateKey(enter ? 0x0D : 0x1B, focus); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TillProbeWindow::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (event->key() == Qt::Key_Escape || enter) {
        act([&] { m_controller->PreTranslateKey(enter ? 0x0D : 0x1B, idOf(QApplication::focusWidget())); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void TillProbeWindow::closeEvent(QCloseEvent* event)
{
    if (!m_ending)
        act([this] { m_controller->OnFileExit(); });
    event->accept();
}

void TillProbeWindow::RaiseFromAnotherCopy()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TillProbeWindow::ShowMessage(const std::string& text)
{
    SyncToWidgets();
    CMsgBox box(this);
    box.SetText(qs(text));
    box.exec();
}

int TillProbeWindow::RunErrorEvent(LONG errorLocus)
{
    SyncToWidgets();
    CErrorEvent dialog(this);
    dialog.m_nResponse = static_cast<int>(errorLocus);
    dialog.exec();
    return dialog.m_nResponse;
}

void TillProbeWindow::ShowAbout()
{
    SyncToWidgets();
    CAboutDlg about(this);
    about.exec();
}

void TillProbeWindow::ShowFullImage()
{
    CDispImage image(this);
    image.exec();
}

bool TillProbeWindow::RaiseWindow(const std::string& title)
{
    return dialog::raiseWindowTitled(qs(title));
}

void TillProbeWindow::OpenHelp(const std::string& path)
{
    auto* help = new ProbeHelpWindow(qs(path), qs(T(kHelpTitle)));
    m_help = help;
    help->show();
}

void TillProbeWindow::CloseWindowTitled(const std::string& title)
{
    dialog::closeWindowsTitled(qs(title), this);
}

void TillProbeWindow::EndDialog(int result)
{
    m_ending = true;
    m_timer->stop();
    done(result);
}

void TillProbeWindow::SwitchToAdvancedView()
{
    m_switch = true;
}

void TillProbeWindow::SetTimer(UINT id, UINT periodMs)
{
    if (id == kCountdownTimer)
        m_timer->start(static_cast<int>(periodMs));
}

void TillProbeWindow::KillTimer(UINT id)
{
    if (id == kCountdownTimer)
        m_timer->stop();
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("CAboutDlg");
    setWindowTitle(qs(T(kAboutCaption)));
    setWindowIcon(TillProbeIcon());
    paintFace(this);
    auto* layout = new QVBoxLayout(this);
    auto* version = new QLabel(qs(T(kAboutVersion)), this);
    version->setObjectName("IDC_ABOUT_VERSION");
    auto* notice = new QLabel(qs(T(kAboutNotice)), this);
    notice->setObjectName("IDC_ABOUT_NOTICE");
    auto* ok = new CClrButton(QtButtonText(QtButton::Ok), this);
    ok->setObjectName("IDOK");
    ok->SetColor(kBlack, kFace);
    ok->setDefault(true);
    layout->addWidget(version);
    layout->addWidget(notice);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

ProbeHelpWindow::ProbeHelpWindow(const QString& path, const QString& title) : QWidget(nullptr)
{
    setObjectName("HelpWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    resize(640, 480);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* browser = new QTextBrowser(this);
    browser->setSource(QUrl::fromLocalFile(path));
    layout->addWidget(browser);
}
