#include "AdvancedWindow.h"

#include "AdvancedStrings.h"
#include "CDirectIO.h"
#include "CDispImage.h"
#include "CErrorEvent.h"
#include "ClrButton.h"
#include "ControlIndex.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "ProbeStrings.h"
#include "QtMessagePump.h"
#include "TTComboBox.h"
#include "TillProbeDlg.h"
#include "TillProbeWindow.h"
#include "WindowLook.h"

#include "platform/shell.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTextEdit>
#include <QTimer>

using namespace adv;

namespace {

constexpr Rgb kFace{224, 223, 228};
constexpr Rgb kBlack{0, 0, 0};
const QColor kFaceColour(224, 223, 228);
const QColor kTitleColour(14, 71, 136);

constexpr int kWidth = 970;
constexpr int kHeight = 707;

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Shown texts come as ISO-8859-1 bytes.
QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toLatin1(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void colour(QWidget* widget, const QColor& text, const QColor& background)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Base, background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// The device-name list, which says when it is about to open.
class DeviceNameList : public CTTComboBox {
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

// Statics with the title colour, and the others on the face.
constexpr int kTitleStatics[] = {IDC_GROUP_DEVICEOPTIONS, IDC_GROUP_PROPERTIES, IDC_STATIC_DEVICEINFOTITLE,
                                 IDC_STATIC_SPECIFICTITLE, IDC_STATIC_DEVICETYPE, IDC_STATIC_DEVICENAME};
constexpr int kFaceStatics[] = {IDC_STATIC_CLAIM, IDC_STATIC_MS, IDC_STATIC_DATACOUNT, IDC_STATIC_STATUS,
                                IDC_STATIC_DEVICEINFO, IDC_STATIC_PREVIEWCAPTION};

// Where each control sits (the template's layout, in pixels).
struct Place {
    int id;
    int x, y, w, h;
};

constexpr Place kButtons[] = {
    {IDC_BTN_OPEN, 10, 68, 128, 26},
    {IDC_BTN_CLAIM, 142, 68, 128, 26},
    {IDC_BTN_RELEASE, 10, 98, 128, 26},
    {IDC_BTN_CLOSE, 142, 98, 128, 26},
    {IDC_BTN_SETDEVICEENABLE, 126, 236, 144, 24},
    {IDC_BTN_SETDATAEVENT, 126, 264, 144, 24},
    {IDC_BTN_SETAUTODISABLE, 126, 292, 144, 24},
    {IDC_BTN_SETFREEZEEVENTS, 126, 320, 144, 24},
    {IDC_BTN_SETBINARYCONVERSION, 126, 348, 144, 24},
    {IDC_BTN_SETPOWERNOTIFY, 126, 376, 144, 24},
    {IDC_BTN_CHECKHEALTH, 126, 404, 144, 24},
    {IDC_BTN_SETDECODEDATA, 126, 432, 144, 24},
    {IDC_BTN_SETIMAGEMODE, 126, 460, 144, 24},
    {IDC_BTN_SETIMAGEQUALITY, 126, 488, 144, 24},
    {IDC_BTN_SETVIDEOCOUNT, 126, 516, 144, 24},
    {IDC_BTN_SETVIDEORATE, 126, 544, 144, 24},
    {IDC_BTN_SETAIMMODE, 126, 572, 144, 24},
    {IDC_BTN_SETILLUMINATEMODE, 126, 600, 144, 24},
    {IDC_BTN_CLEARINPUT, 10, 634, 128, 26},
    {IDC_BTN_CLEARINPUTPROP, 142, 634, 128, 26},
    {IDC_BTN_CLEAROUTPUT, 10, 664, 128, 26},
    {IDC_BTN_CHECKHEALTHTEXT, 286, 32, 130, 26},
    {IDC_BTN_RESULTCODE, 420, 32, 130, 26},
    {IDC_BTN_CAPCOMPAREFW, 554, 32, 130, 26},
    {IDC_BTN_CLAIMED, 688, 32, 130, 26},
    {IDC_BTN_OPENRESULT, 822, 32, 130, 26},
    {IDC_BTN_OUTPUTID, 286, 62, 130, 26},
    {IDC_BTN_POWERSTATE, 286, 62, 130, 26},
    {IDC_BTN_STATE, 420, 62, 130, 26},
    {IDC_BTN_RESULTCODEEXTENDED, 554, 62, 130, 26},
    {IDC_BTN_CODESCRIPTION, 688, 62, 130, 26},
    {IDC_BTN_COVERSION, 822, 62, 130, 26},
    {IDC_BTN_SODESCRIPTION, 286, 92, 130, 26},
    {IDC_BTN_CAPUPDATEFW, 420, 92, 130, 26},
    {IDC_BTN_CAPPOWERREPORTING, 554, 92, 130, 26},
    {IDC_BTN_CAPSTATISTICSREPORTING, 688, 92, 130, 26},
    {IDC_BTN_CAPUPDATESTATISTICS, 822, 92, 130, 26},
    {IDC_BTN_DEVICEDESCRIPTION, 286, 122, 130, 26},
    {IDC_BTN_DATACOUNT, 420, 122, 130, 26},
    {IDC_BTN_SOVERSION, 554, 122, 130, 26},
    {IDC_BTN_DEVICENAME, 688, 122, 130, 26},
    {IDC_BTN_BROWSE, 754, 156, 30, 24},
    {IDC_BTN_APPLY, 788, 156, 80, 24},
    {IDC_BTN_STATAPPLY, 788, 156, 80, 24},
    // ScanData and ScanDataLabel have room for a label of two lines.
    {IDC_BTN_SCANDATA, 286, 212, 110, 24},
    {IDC_BTN_SCANDATALABEL, 286, 262, 110, 24},
    {IDC_BTN_SCANDATATYPE, 286, 312, 110, 24},
    {IDC_BTN_CAPAIM, 286, 212, 130, 24},
    {IDC_BTN_CAPDECODEDATA, 420, 212, 130, 24},
    {IDC_BTN_CAPHOSTTRIGGERED, 554, 212, 130, 24},
    {IDC_BTN_CAPILLUMINATE, 688, 212, 130, 24},
    {IDC_BTN_CAPIMAGEDATA, 822, 212, 130, 24},
    {IDC_BTN_CAPIMAGEQUALITY, 286, 240, 130, 24},
    {IDC_BTN_CAPVIDEODATA, 420, 240, 130, 24},
    {IDC_BTN_BITSPERPIXEL, 554, 240, 130, 24},
    {IDC_BTN_FRAMEDATA, 688, 240, 130, 24},
    {IDC_BTN_FRAMETYPE, 822, 240, 130, 24},
    {IDC_BTN_IMAGEHEIGHT, 286, 268, 130, 24},
    {IDC_BTN_IMAGELENGTH, 420, 268, 130, 24},
    {IDC_BTN_IMAGETYPE, 554, 268, 130, 24},
    {IDC_BTN_IMAGEWIDTH, 688, 268, 130, 24},
    {IDC_BTN_STARTSESSION, 286, 300, 130, 24},
    {IDC_BTN_STOPSESSION, 420, 300, 130, 24},
    {IDC_BTN_GETALLPROPS, 286, 440, 140, 26},
    {IDC_BTN_SAVELOG, 430, 440, 110, 26},
    {IDC_BTN_CLEARLOG, 544, 440, 120, 26},
    {IDC_BTN_VIEWIMAGE, 806, 626, 150, 24},
    // Hidden, never shown: reached by the menu and the keys.
    {IDC_BTN_GETDEVICEENABLE, 0, 0, 40, 20},
    {IDC_BTN_GETDATAENABLE, 0, 0, 40, 20},
    {IDC_BTN_GETAUTODISABLE, 0, 0, 40, 20},
    {IDC_BTN_GETFREEZEEVENT, 0, 0, 40, 20},
    {IDC_BTN_GETBINARYCONVERSION, 0, 0, 40, 20},
    {IDC_BTN_GETPOWERNOTIFY, 0, 0, 40, 20},
    {IDC_BTN_GETDECODEDATA, 0, 0, 40, 20},
    {IDC_BTN_HIDDENSET, 0, 0, 40, 20},
    {IDC_BTN_HELP, 0, 0, 40, 20},
    {IDC_BTN_BASICVIEW, 0, 0, 40, 20},
    {IDC_BTN_CONFIGUTIL, 0, 0, 40, 20},
    {IDC_BTN_EXIT_KEY, 0, 0, 40, 20},
    {IDC_BTN_ABOUT_KEY, 0, 0, 40, 20},
};

constexpr Place kLists[] = {
    {IDC_COMBO_DEVICETYPE, 100, 8, 170, 24},
    {IDC_COMBO_DEVICENAME, 100, 36, 170, 24},
    {IDC_COMBO_DEVICEENABLE, 10, 236, 112, 24},
    {IDC_COMBO_DATAEVENTENABLE, 10, 264, 112, 24},
    {IDC_COMBO_AUTODISABLE, 10, 292, 112, 24},
    {IDC_COMBO_FREEZEEVENTS, 10, 320, 112, 24},
    {IDC_COMBO_BINARYCONVERSION, 10, 348, 112, 24},
    {IDC_COMBO_POWERNOTIFY, 10, 376, 112, 24},
    {IDC_COMBO_CHECKHEALTH, 10, 404, 112, 24},
    {IDC_COMBO_DECODEDATA, 10, 432, 112, 24},
    {IDC_COMBO_IMAGEMODE, 10, 460, 112, 24},
    {IDC_COMBO_IMAGEQUALITY, 10, 488, 112, 24},
    {IDC_COMBO_VIDEOCOUNT, 10, 516, 112, 24},
    {IDC_COMBO_VIDEORATE, 10, 544, 112, 24},
    {IDC_COMBO_AIMMODE, 10, 572, 112, 24},
    {IDC_COMBO_ILLUMINATEMODE, 10, 600, 112, 24},
    {IDC_COMBO_METHOD, 286, 156, 160, 24},
};

constexpr Place kEdits[] = {
    {IDC_EDIT_CLAIMTIMEOUT, 52, 128, 150, 24},
    {IDC_EDIT_METHODPLACEHOLDER, 450, 156, 300, 24},
    {IDC_EDIT_FIRMWAREPATH, 450, 156, 300, 24},
    {IDC_EDIT_STATISTICS, 450, 156, 334, 24},
};

constexpr Place kBoxes[] = {
    {IDC_EDIT_SCANDATA, 400, 212, 552, 46},
    {IDC_EDIT_SCANDATALABEL, 400, 262, 552, 46},
    {IDC_EDIT_SCANDATATYPE, 400, 312, 552, 24},
};

constexpr Place kStatics[] = {
    {IDC_GROUP_DEVICEOPTIONS, 10, 0, 260, 8},
    {IDC_STATIC_DEVICETYPE, 10, 10, 88, 20},
    {IDC_STATIC_DEVICENAME, 10, 38, 88, 20},
    {IDC_STATIC_CLAIM, 10, 130, 40, 20},
    {IDC_STATIC_MS, 206, 130, 40, 20},
    {IDC_STATIC_DEVICEINFOTITLE, 10, 160, 260, 20},
    {IDC_STATIC_DEVICEINFO, 10, 182, 260, 48},
    {IDC_GROUP_PROPERTIES, 286, 8, 400, 20},
    {IDC_STATIC_SPECIFICTITLE, 286, 188, 400, 20},
    {IDC_STATIC_PREVIEWCAPTION, 806, 450, 150, 20},
    {IDC_STATIC_DATACOUNT, 286, 630, 250, 20},
    // Two lines: the longest status texts do not fit one.
    {IDC_STATIC_STATUS, 540, 630, 260, 44},
};

// A Qt key as the Windows virtual-key code the controller's filter knows.
int virtualKey(const QKeyEvent* event)
{
    const int key = event->key();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return (keypad ? 0x60 : 0x30) + (key - Qt::Key_0);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 0x41 + (key - Qt::Key_A);
    switch (key) {
    case Qt::Key_Minus: return keypad ? 0x6D : 0xBD;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Delete: return 0x2E;
    default: return 0xFF;  // no key the filter lets through
    }
}

// "Name (*.a;*.b) | *.a;*.b|..." as Qt's filter list.
QString qtFilter(const std::string& filter)
{
    QStringList names;
    const QStringList parts = qs(filter).split('|');
    for (int at = 0; at + 1 < parts.size(); at += 2)
        names << parts[at].trimmed().replace(';', ' ');
    return names.join(";;");
}

}  // namespace

AdvancedWindow::AdvancedWindow(IDispatch* scanner, IDispatch* imageScanner, QWidget* parent) : QDialog(parent)
{
    setObjectName("CAdvancedValidation");
    m_scannerSite.Attach(scanner);
    m_imageSite.Attach(imageScanner);
    m_scanner.Attach(m_scannerSite.Dispatch());
    m_imageScanner.Attach(m_imageSite.Dispatch());
    m_controller = std::make_unique<CAdvancedValidation>(*this, m_scanner, m_imageScanner);

    m_scannerSite.onDataEvent = [this](LONG status) { act([&] { m_controller->OnDataEventScanner(status); }); };
    m_scannerSite.onErrorEvent = [this](LONG rc, LONG rce, LONG locus, LONG* response) {
        act([&] { m_controller->OnErrorEventScanner(rc, rce, locus, response); });
    };
    m_scannerSite.onStatusUpdateEvent = [this](LONG data) {
        act([&] { m_controller->OnStatusUpdateEventScanner(data); });
    };
    m_scannerSite.onDirectIOEvent = [this](LONG number, LONG* pData, BSTR* pString) {
        m_controller->OnDirectIOEventScanner(number, pData, pString);
    };
    m_imageSite.onDataEvent = [this](LONG status) { act([&] { m_controller->OnDataEventImagescanner(status); }); };
    m_imageSite.onErrorEvent = [this](LONG rc, LONG rce, LONG locus, LONG* response) {
        act([&] { m_controller->OnErrorEventImagescanner(rc, rce, locus, response); });
    };
    m_imageSite.onStatusUpdateEvent = [this](LONG data) {
        act([&] { m_controller->OnStatusUpdateEventImagescanner(data); });
    };
    m_imageSite.onDirectIOEvent = [](LONG, LONG*, BSTR*) {};

    m_timer = new QTimer(this);
    m_timer->setObjectName("DataCountTimer");
    connect(m_timer, &QTimer::timeout, this, [this] { act([this] { m_controller->OnTimer(kDataCountTimer); }); });

    build();
    m_messages = std::make_unique<MessageWindow>([this](UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == CTillProbeDlg::AddDeviceMessage())
            act([this] { m_controller->OnAddDevice(); });
        return 0;
    });
    act([this] { m_controller->OnInitDialog(); });
    buildMenu();
    SyncToWidgets();
}

AdvancedWindow::~AdvancedWindow()
{
    m_messages.reset();
    for (ControlSite* site : {&m_scannerSite, &m_imageSite}) {
        site->onDataEvent = nullptr;
        site->onErrorEvent = nullptr;
        site->onStatusUpdateEvent = nullptr;
        site->onDirectIOEvent = nullptr;
    }
    if (m_help)
        m_help->close();
}

QWidget* AdvancedWindow::Control(int id) const
{
    return dialog::itemById(m_widgets, id);
}

QAction* AdvancedWindow::MenuAction(int command) const
{
    return dialog::itemById(m_actions, command);
}

int AdvancedWindow::idOf(const QWidget* widget) const
{
    return dialog::idOfControl(m_widgets, widget);
}

void AdvancedWindow::build()
{
    setWindowTitle(qs(probe::T(probe::kAdvancedCaption)));
    setWindowIcon(TillProbeIcon());
    CentreWhenFirstShown(this);
    setWindowFlags((windowFlags() | Qt::WindowMinimizeButtonHint) & ~Qt::WindowMaximizeButtonHint &
                   ~Qt::WindowContextHelpButtonHint);
    colour(this, Qt::black, kFaceColour);
    m_menuBar = new QMenuBar(this);
    m_menuBar->setGeometry(0, 0, kWidth, 24);
    auto* body = new QWidget(this);
    body->setObjectName("Body");
    body->setGeometry(0, 24, kWidth, kHeight - 24);
    // A little smaller than the default, so that the longest property names
    // fit their buttons.
    QFont font = body->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    body->setFont(font);
    setFixedSize(kWidth, kHeight);

    const auto add = [this](int id, QWidget* widget, const Place& place) {
        widget->setObjectName(QString("IDC_%1").arg(id));
        widget->setGeometry(place.x, place.y, place.w, place.h);
        widget->installEventFilter(this);
        m_widgets[id] = widget;
    };
    for (const Place& place : kButtons) {
        auto* button = new CClrButton(body);
        button->SetColor(kBlack, kFace);
        add(place.id, button, place);
        connect(button, &QPushButton::clicked, this, [this, id = place.id] {
            if (!m_syncing)
                act([this, id] { m_controller->OnCommand(id); });
        });
    }
    for (const Place& place : kLists) {
        CTTComboBox* list = nullptr;
        if (place.id == IDC_COMBO_DEVICENAME) {
            auto* names = new DeviceNameList(body);
            names->onDropDown = [this] { act([this] { m_controller->OnDropdownComboDeviceName(); }); };
            list = names;
        } else {
            list = new CTTComboBox(body);
        }
        if (place.id == IDC_COMBO_DEVICETYPE || place.id == IDC_COMBO_DEVICENAME) {
            QPalette palette = list->palette();
            palette.setColor(QPalette::Base, Qt::white);
            palette.setColor(QPalette::Text, Qt::black);
            list->setPalette(palette);
        }
        add(place.id, list, place);
        connect(list, &QComboBox::activated, this, [this, id = place.id](int) {
            if (!m_syncing)
                act([this, id] { m_controller->OnSelchange(id); });
        });
    }
    for (const Place& place : kEdits) {
        auto* edit = new QLineEdit(body);
        add(place.id, edit, place);
    }
    static_cast<QLineEdit*>(Control(IDC_EDIT_CLAIMTIMEOUT))->setMaxLength(10);
    for (const Place& place : kBoxes) {
        auto* box = new QTextEdit(body);
        box->setReadOnly(true);
        add(place.id, box, place);
    }
    for (const Place& place : kStatics) {
        auto* label = new QLabel(body);
        label->setWordWrap(place.id == IDC_STATIC_DEVICEINFO || place.id == IDC_STATIC_STATUS);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        add(place.id, label, place);
    }
    for (const int id : kTitleStatics)
        colour(Control(id), kTitleColour, kFaceColour);
    for (const int id : kFaceStatics)
        colour(Control(id), Qt::black, kFaceColour);
    auto* output = new QTextEdit(body);
    output->setReadOnly(true);
    colour(output, Qt::black, Qt::white);
    // The statistics XML is indented by tabs: four blanks each, not Qt's
    // 80 pixels.
    output->setTabStopDistance(4 * output->fontMetrics().horizontalAdvance(QLatin1Char(' ')));
    add(IDC_OUTPUT, output, {IDC_OUTPUT, 286, 471, 661, 151});
    auto* preview = new CPictureBox(body);
    preview->SetMode(2);  // the whole image, fitted to the preview
    add(IDC_PREVIEW, preview, {IDC_PREVIEW, 806, 471, 150, 151});
    colour(preview, Qt::black, kFaceColour);
    // The title of the device information is bold.
    QFont bold = Control(IDC_STATIC_DEVICEINFOTITLE)->font();
    bold.setWeight(QFont::Bold);
    Control(IDC_STATIC_DEVICEINFOTITLE)->setFont(bold);
}

void AdvancedWindow::buildMenu()
{
    const AdvancedViewModel& model = m_controller->Model();
    const UINT offset = model.frenchMenu ? kAdvFrenchMenuOffset : 0;
    m_menuBar->clear();
    m_actions.clear();
    m_menuBar->setObjectName(model.frenchMenu ? "Menu217" : "Menu166");
    const auto text = [offset](UINT id) { return qs(T(id + offset)); };
    const auto item = [this](QMenu* menu, const QString& label, int command, const QKeySequence& keys) {
        if (m_controller->Model().removedMenuItems.count(command))
            return;
        QAction* action = menu->addAction(label);
        action->setObjectName(QString("ID_%1").arg(command));
        if (!keys.isEmpty()) {
            action->setShortcut(keys);
            action->setShortcutContext(Qt::WindowShortcut);
        }
        if (command == ID_FILE_REENABLEDATAEVENT)
            action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, command] {
            if (!m_syncing)
                act([this, command] { m_controller->OnCommand(command); });
        });
        m_actions[command] = action;
        addAction(action);
    };
    QMenu* file = m_menuBar->addMenu(text(kAdvMenuFile));
    item(file, text(kAdvMenuReEnable), ID_FILE_REENABLEDATAEVENT, {});
    item(file, text(kAdvMenuExit), ID_FILE_EXIT, QKeySequence("Alt+X"));
    QMenu* directIO = m_menuBar->addMenu(text(kAdvMenuDirectIO));
    item(directIO, text(kAdvMenuGetSWRev), ID_DIO_GETSWREV, {});
    item(directIO, text(kAdvMenuMenuCommand), ID_DIO_MENUCOMMAND, {});
    if (model.frenchMenu) {
        item(directIO, text(kAdvMenuImageCommands), ID_DIO_IMAGECOMMANDS, {});
        item(directIO, text(kAdvMenuSerial), ID_DIO_SERIALCOMMAND, {});
    } else {
        QMenu* images = directIO->addMenu(text(kAdvMenuImageCommands));
        images->setObjectName("ImageCommands");
        item(images, text(kAdvMenuBmp), ID_DIO_BMP, {});
        item(images, text(kAdvMenuJpeg), ID_DIO_JPEG, {});
        item(images, text(kAdvMenuTiffBin), ID_DIO_TIFFBIN, {});
        item(images, text(kAdvMenuTiffGray), ID_DIO_TIFFGRAY, {});
        item(images, text(kAdvMenuRaiseError), ID_DIO_RAISEERROREVENT, {});
        item(directIO, text(kAdvMenuSerial), ID_DIO_SERIALCOMMAND, {});
        item(directIO, text(kAdvMenuTimeout), ID_DIO_COMMANDTIMEOUT, {});
    }
    QMenu* view = m_menuBar->addMenu(text(kAdvMenuView));
    item(view, text(kAdvMenuBasic), ID_VIEW_BASIC, QKeySequence("Alt+B"));
    item(view, text(kAdvMenuConfig), ID_VIEW_CONFIG, QKeySequence("Alt+C"));
    QMenu* help = m_menuBar->addMenu(text(kAdvMenuHelp));
    item(help, text(kAdvMenuHelpFile), ID_HELP_FILE, QKeySequence(Qt::Key_F1));
    item(help, text(kAdvMenuAbout), ID_ABOUT, QKeySequence("Alt+U"));
}

void AdvancedWindow::act(const std::function<void()>& handler)
{
    SyncFromWidgets();
    handler();
    SyncToWidgets();
}

void AdvancedWindow::SyncFromWidgets()
{
    if (m_syncing)
        return;
    AdvancedViewModel& model = m_controller->Model();
    for (const Place& place : kEdits)
        model.at(place.id).text = toLatin1(static_cast<QLineEdit*>(Control(place.id))->text());
    for (const Place& place : kLists)
        model.at(place.id).selection = static_cast<QComboBox*>(Control(place.id))->currentIndex();
}

void AdvancedWindow::SyncToWidgets()
{
    if (m_syncing)
        return;
    m_syncing = true;
    AdvancedViewModel& model = m_controller->Model();
    for (auto& [id, widget] : m_widgets) {
        const AdvancedControl& state = model.at(id);
        widget->setVisible(state.shown);
        widget->setEnabled(state.enabled);
        widget->setToolTip(latin1(state.tip));
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->setText(latin1(state.text));
        } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
            QStringList texts;
            for (const std::string& entry : state.entries)
                texts << latin1(entry);
            QStringList shown;
            for (int i = 0; i < list->count(); ++i)
                shown << list->itemText(i);
            if (shown != texts) {
                list->clear();
                list->addItems(texts);
            }
            list->setCurrentIndex(state.selection);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            if (edit->text() != latin1(state.text))
                edit->setText(latin1(state.text));
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(latin1(state.text));
        }
    }
    for (const Place& place : kBoxes) {
        auto* box = static_cast<QTextEdit*>(Control(place.id));
        if (box->toPlainText() != latin1(model.at(place.id).text))
            box->setPlainText(latin1(model.at(place.id).text));
    }
    auto* output = static_cast<QTextEdit*>(Control(IDC_OUTPUT));
    output->setVisible(true);
    output->setEnabled(true);
    output->setGeometry(model.outputX, model.outputY, model.outputWidth, model.outputHeight);
    const QString text = latin1(model.output).replace("\r\n", "\n");
    if (output->toPlainText() != text) {
        output->setPlainText(text);
        output->moveCursor(QTextCursor::Start);
        output->ensureCursorVisible();
    }
    auto* preview = static_cast<CPictureBox*>(Control(IDC_PREVIEW));
    const QByteArray image(reinterpret_cast<const char*>(model.preview.data()),
                           static_cast<qsizetype>(model.preview.size()));
    if (image != m_previewShown) {
        preview->LoadFromStream(image);
        m_previewShown = image;
    }
    if (QAction* reEnable = MenuAction(ID_FILE_REENABLEDATAEVENT))
        reEnable->setChecked(model.reEnableDataEvent);
    if (model.waitCursor)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
    if (model.focus != 0) {
        if (QWidget* focus = Control(model.focus))
            focus->setFocus();
        model.focus = 0;
    }
    m_syncing = false;
}

bool AdvancedWindow::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    const int id = idOf(widget);
    if (event->type() == QEvent::KeyPress && id != 0) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int code = virtualKey(key);
        const bool shift = key->modifiers() & Qt::ShiftModifier;
        bool consumed = false;
        act([&] { consumed = m_controller->PreTranslateKey(code, shift, id); });
        return consumed;
    }
    if (event->type() == QEvent::FocusIn && (id == IDC_EDIT_FIRMWAREPATH || id == IDC_EDIT_STATISTICS))
        act([this, id] { m_controller->OnSetFocus(id); });
    if (event->type() == QEvent::MouseButtonRelease && id == IDC_PREVIEW)
        act([this] { m_controller->OnCommand(IDC_PREVIEW); });
    return QDialog::eventFilter(watched, event);
}

void AdvancedWindow::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (event->key() == Qt::Key_Escape || enter) {
        act([&] { m_controller->PreTranslateKey(enter ? 0x0D : 0x1B, false, idOf(QApplication::focusWidget())); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void AdvancedWindow::closeEvent(QCloseEvent* event)
{
    if (!m_ending)
        act([this] { m_controller->OnClose(); });
    if (m_ending)
        event->accept();
    else
        event->ignore();
}

void AdvancedWindow::ShowMessage(const std::string& text)
{
    SyncToWidgets();
    CMsgBox box(this);
    box.SetText(qs(text));
    box.exec();
}

bool AdvancedWindow::AskYesNo(const std::string& text)
{
    SyncToWidgets();
    CMsgBox box(this);
    box.SetText(qs(text));
    box.SetQuestion(true);
    box.exec();
    return box.Answer() == 1;
}

bool AdvancedWindow::RunDirectIO(const std::string& helpText, const std::string& buttonText,
                                 const std::string& label, std::string& value)
{
    SyncToWidgets();
    CDirectIO dialog(this);
    dialog.m_strHelpText = helpText;
    dialog.m_strButtonText = buttonText;
    dialog.m_strLabel = label;
    const bool sent = dialog.exec() == 1;
    value = sent ? dialog.m_strValue : std::string();
    return sent;
}

int AdvancedWindow::RunErrorEvent(LONG errorLocus)
{
    SyncToWidgets();
    CErrorEvent dialog(this);
    dialog.m_nResponse = static_cast<int>(errorLocus);
    dialog.exec();
    return dialog.m_nResponse;
}

void AdvancedWindow::ShowFullImage(const std::vector<BYTE>& image)
{
    CDispImage dialog(this);
    dialog.ShowImage(QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size())));
    dialog.exec();
}

bool AdvancedWindow::ChooseSaveFile(std::string& path)
{
    SyncToWidgets();
    QFileDialog dialog(this);
    dialog.setObjectName("SaveOutputDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    dialog.setNameFilter(qtFilter("TextFiles (*.txt) |*.txt|"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = toLatin1(dialog.selectedFiles().front());
    return true;
}

bool AdvancedWindow::ChooseOpenFile(const std::string& filter, std::string& path)
{
    SyncToWidgets();
    QFileDialog dialog(this);
    dialog.setObjectName("OpenFileDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(qtFilter(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = toLatin1(dialog.selectedFiles().front());
    return true;
}

void AdvancedWindow::SetTimer(UINT id, UINT periodMs)
{
    if (id == kDataCountTimer)
        m_timer->start(static_cast<int>(periodMs));
}

void AdvancedWindow::KillTimer(UINT id)
{
    if (id == kDataCountTimer)
        m_timer->stop();
}

void AdvancedWindow::Wait(UINT ms)
{
    // The window keeps painting but takes no input meanwhile.
    SyncToWidgets();
    setEnabled(false);
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms), &loop, &QEventLoop::quit);
    loop.exec();
    setEnabled(true);
}

void AdvancedWindow::EndDialog(int result)
{
    m_ending = true;
    m_timer->stop();
    done(result);
}

void AdvancedWindow::SwitchToBasicView()
{
    m_switch = true;
}

bool AdvancedWindow::RaiseWindow(const std::string& title)
{
    return dialog::raiseWindowTitled(qs(title));
}

void AdvancedWindow::OpenHelp(const std::string& path)
{
    auto* help = new ProbeHelpWindow(qs(path), qs(probe::T(probe::kHelpTitle)));
    m_help = help;
    help->show();
}

void AdvancedWindow::CloseWindowTitled(const std::string& title)
{
    dialog::closeWindowsTitled(qs(title), this);
}

void AdvancedWindow::ShowAbout()
{
    SyncToWidgets();
    CAboutDlg about(this);
    about.exec();
}

bool AdvancedWindow::LaunchProgram(const std::string& path)
{
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_DEFAULT;
    info.lpVerb = "open";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&info) != FALSE;
}
