#include "ConfigurationWindow.h"

#include "ClrButton.h"
#include "ConfigDialogs.h"
#include "ControlIds.h"
#include "ControlIndex.h"
#include "FieldChecks.h"
#include "Strings.h"
#include "TTComboBox.h"
#include "WindowLook.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QRadioButton>
#include <QShortcut>

using namespace ctl;

namespace {

const QColor kCaptionBlue(14, 71, 136);
constexpr Rgb kFace{223, 224, 227};

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// A combo box that says when its list is about to open.
class DropComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> onDropDown;
    void showPopup() override
    {
        if (onDropDown)
            onDropDown();
        QComboBox::showPopup();
    }
};

// What a user may type into a list's edit field: at most `limit`
// characters (0: any), digits only when asked. Text the program puts there
// (a placeholder such as "-- Select --") is not limited: the platform's
// limit, like this one, applies to typing only.
class TypedLimit : public QValidator {
public:
    TypedLimit(bool digitsOnly, QObject* parent) : QValidator(parent), m_digitsOnly(digitsOnly) {}
    void setLimit(int limit) const { m_limit = limit; }
    State validate(QString& input, int&) const override
    {
        if (m_limit > 0 && input.size() > m_limit)
            return Invalid;
        if (m_digitsOnly)
            for (const QChar c : input)
                if (!c.isDigit())
                    return Invalid;
        return Acceptable;
    }

private:
    bool m_digitsOnly;
    mutable int m_limit = 0;
};

// Accepts only what the registry can store in a name (ISO-8859-1).
class Latin1Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        for (const QChar c : input)
            if (c.unicode() > 0xFF)
                return Invalid;
        return Acceptable;
    }
};

// The banner and the left pane (bitmaps 178 and 204).
class Banner : public QWidget {
public:
    Banner(QWidget* parent, bool leftPane) : QWidget(parent), m_leftPane(leftPane) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (m_leftPane) {
            QLinearGradient gradient(0, 0, 0, height());
            gradient.setColorAt(0, kCaptionBlue);
            gradient.setColorAt(1, QColor(6, 32, 64));
            painter.fillRect(rect(), gradient);
            painter.setPen(Qt::white);
            QFont font = painter.font();
            font.setPixelSize(18);
            font.setBold(true);
            painter.setFont(font);
            painter.translate(width() / 2 + 7, height() / 2);
            painter.rotate(-90);
            painter.drawText(QRect(-150, -20, 300, 40), Qt::AlignCenter, "TillSuite");
        } else {
            painter.fillRect(rect(), Qt::white);
            painter.setPen(kCaptionBlue);
            QFont font = painter.font();
            font.setPixelSize(20);
            font.setBold(true);
            painter.setFont(font);
            painter.drawText(rect().adjusted(12, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                             "TillSetup");
        }
    }

private:
    bool m_leftPane;
};

int virtualKey(const QKeyEvent* event)
{
    const int key = event->key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return (event->modifiers() & Qt::KeypadModifier) ? 0x60 + (key - Qt::Key_0) : '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    switch (key) {
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 0x09;
    case Qt::Key_Delete:
        return 0x2E;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    default:
        return 0;
    }
}

}  // namespace

ConfigurationWindow::ConfigurationWindow(RegistryApi& registry, DosDeviceSource dosDevices, QWidget* parent)
    : QDialog(parent)
{
    m_controller = std::make_unique<CFinal_UIDlg>(*this, registry, std::move(dosDevices));
    build();
    m_controller->OnInitDialog();
    wire();
    SyncToWidgets();
}

ConfigurationWindow::~ConfigurationWindow()
{
    // The children go after this body has run, moving the focus: this
    // window must no longer hear of it.
    disconnect(m_focusWatch);
    qApp->removeEventFilter(this);
    if (m_help)
        m_help->close();
}

QWidget* ConfigurationWindow::Control(int id) const
{
    return dialog::itemById(m_widgets, id);
}

QAction* ConfigurationWindow::MenuAction(int command) const
{
    return dialog::itemById(m_actions, command);
}

int ConfigurationWindow::idOf(const QWidget* widget) const
{
    return dialog::idOfControl(m_widgets, widget);
}

void ConfigurationWindow::build()
{
    setObjectName("IDD_TillSetup");
    setWindowTitle("TillSetup");
    setWindowIcon(tillSetupIcon());
    CentreWhenFirstShown(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(582, 463);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, tillSetupFace());
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);

    buildMenu();
    auto put = [&](int id, QWidget* widget, QRect where) {
        for (const ControlName& control : kControlNames)
            if (control.id == id)
                widget->setObjectName(control.name);
        widget->setGeometry(where);
        m_widgets[id] = widget;
    };
    const FormModel& form = m_controller->Form();
    (void)form;

    // Pictures and group boxes first: the controls lie above them.
    put(IDC_LEFT_PANE, new Banner(this, true), QRect(0, 22, 130, 441));
    put(IDC_STATICLOGO, new Banner(this, false), QRect(140, 28, 432, 40));
    // Group boxes: a plain frame on the dialog's background, the caption in
    // the banner's blue.
    for (const auto& [id, where] : {std::pair{IDC_DeviceFiles, QRect(140, 98, 432, 80)},
                                    std::pair{IDC_CONNECTIONSETTINGGROUPBOX, QRect(140, 184, 432, 80)},
                                    std::pair{IDC_ServiceObjectSettings, QRect(140, 286, 432, 110)}}) {
        auto* group = new QGroupBox(this);
        group->setStyleSheet("QGroupBox { border: 1px solid rgb(160, 160, 160); margin-top: 9px;"
                             " color: rgb(14, 71, 136); font-weight: bold; }"
                             "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
        put(id, group, where);
    }

    auto* add = new QRadioButton(this);
    auto* edit = new QRadioButton(this);
    put(IDC_ADDDEVICERADIO, add, QRect(150, 72, 170, 22));
    put(IDC_EDITREMOVERADIO, edit, QRect(330, 72, 200, 22));
    auto* radios = new QButtonGroup(this);
    radios->addButton(add);
    radios->addButton(edit);

    auto label = [&](int id, QRect where) { put(id, new QLabel(this), where); };
    label(IDC_DEVICECATEGORYLABEL, QRect(155, 117, 140, 22));
    label(IDC_DEVICENAMELABEL, QRect(155, 147, 140, 22));
    label(IDC_DEVICENAMELABEL_ADD, QRect(155, 147, 140, 22));
    label(IDC_CONNECTIONTYPELABEL, QRect(155, 203, 140, 22));
    label(IDC_COMPORT, QRect(155, 233, 140, 22));
    label(IDC_PORTNUMBER, QRect(150, 266, 420, 18));
    label(IDC_TIMEOUTLABEL, QRect(155, 305, 140, 22));
    label(IDC_INFINITETIMEOUTlLABEL, QRect(155, 335, 140, 22));
    label(IDC_AIMMODELABEL, QRect(155, 365, 140, 22));

    auto combo = [&](int id, QRect where, bool editable) {
        auto* box = new DropComboBox(this);
        box->setEditable(editable);
        box->setInsertPolicy(QComboBox::NoInsert);
        put(id, box, where);
        return box;
    };
    QComboBox* category = combo(IDC_SUBKEYS, QRect(300, 115, 255, 24), false);
    QPalette categoryPalette = category->palette();
    categoryPalette.setColor(QPalette::Button, tillSetupFace());
    category->setPalette(categoryPalette);
    auto* name = new QLineEdit(this);
    name->setValidator(new Latin1Validator(name));
    put(IDC_ENTERDEVICENAME, name, QRect(300, 145, 255, 24));
    put(IDC_DEVICENAMECOMBO, new CTTComboBox(this), QRect(300, 145, 255, 24));
    combo(IDC_CONNECTIONCOMBO, QRect(300, 201, 255, 24), false);
    QComboBox* port = combo(IDC_COMPORTCOMBO, QRect(300, 231, 255, 24), true);
    port->setValidator(new TypedLimit(false, port));
    for (const auto& [id, where] : {std::pair{IDC_TIMEOUTCOMBO, QRect(300, 303, 255, 24)},
                                    std::pair{IDC_INFINITECOMBO, QRect(300, 333, 255, 24)}}) {
        QComboBox* box = combo(id, where, true);
        box->setValidator(new TypedLimit(true, box));
    }
    combo(IDC_AIMMODECOMBO, QRect(300, 363, 255, 24), false);

    auto button = [&](int id, QRect where) {
        auto* b = new CClrButton(this);
        b->SetColor(syscolor::kBlack, kFace);
        b->setAutoDefault(false);
        put(id, b, where);
    };
    button(IDC_ADDBUTTON, QRect(150, 410, 130, 30));
    button(IDC_MODIFY, QRect(150, 410, 130, 30));
    button(IDC_REMOVE, QRect(290, 410, 130, 30));
    button(IDC_VALIDATEEXE, QRect(430, 410, 140, 30));
    auto* help = new QPushButton("?", this);
    help->setAutoDefault(false);
    put(IDC_VALIDATION, help, QRect(540, 72, 26, 22));

    // Tab order as the template's.
    QWidget* previous = nullptr;
    for (const ControlName& control : kControlNames) {
        QWidget* widget = Control(control.id);
        if (widget == nullptr || qobject_cast<QLabel*>(widget) != nullptr || qobject_cast<QGroupBox*>(widget) != nullptr)
            continue;
        if (previous != nullptr)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void ConfigurationWindow::buildMenu()
{
    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName("Menu151");
    m_menuBar->setGeometry(0, 0, 582, 22);
    auto menu = [&](QMenu* parent, UINT text) {
        QMenu* m = parent != nullptr ? parent->addMenu(QString()) : m_menuBar->addMenu(QString());
        m_menuTexts[m] = text;
        return m;
    };
    auto item = [&](QMenu* parent, UINT text, int command) {
        QAction* action = parent->addAction(QString());
        m_actionTexts[action] = text;
        m_actions[command] = action;
        connect(action, &QAction::triggered, this, [this, command] { act([&] { m_controller->OnCommand(command); }); });
    };
    QMenu* file = menu(nullptr, str::kMenuFile);
    QMenu* device = menu(file, str::kMenuDevice);
    item(device, str::kMenuAdd, ID_FILE_DEVICE_ADDDEVICE);
    item(device, str::kMenuModify, ID_FILE_DEVICE_MODIFYDEVICE);
    item(device, str::kMenuRemove, ID_FILE_DEVICE_DELETEDEVICE);
    item(file, str::kMenuExit, ID_FILE_EXIT);
    QMenu* view = menu(nullptr, str::kMenuView);
    item(view, str::kMenuValidation, ID_VALIDATIONMENU);
    QMenu* helpMenu = menu(nullptr, str::kMenuHelp);
    item(helpMenu, str::kMenuHelpDoc, ID_HELP_HELPDOCVIEW);
    item(helpMenu, str::kMenuAbout, ID_HELP_ABOUT);

    // Accelerator table 153, and F1.
    const std::pair<QKeySequence, int> accelerators[] = {
        {QKeySequence(Qt::ALT | Qt::Key_A), ID_FILE_DEVICE_ADDDEVICE},
        {QKeySequence(Qt::ALT | Qt::Key_M), ID_FILE_DEVICE_MODIFYDEVICE},
        {QKeySequence(Qt::ALT | Qt::Key_R), ID_FILE_DEVICE_DELETEDEVICE},
        {QKeySequence(Qt::ALT | Qt::Key_U), ID_HELP_ABOUT},
        {QKeySequence(Qt::ALT | Qt::Key_X), ID_FILE_EXIT},
        {QKeySequence(Qt::ALT | Qt::Key_Y), ID_VALIDATIONMENU},
        {QKeySequence(Qt::Key_F1), ID_HELP_HELPDOCVIEW},
    };
    for (const auto& [keys, command] : accelerators) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this, command] { act([&] { m_controller->OnCommand(command); }); });
    }
}

void ConfigurationWindow::SetFrenchMenu(bool french)
{
    m_french = french;
    m_menuBar->setObjectName(french ? "Menu167" : "Menu151");
    const UINT offset = french ? str::kFrenchMenuOffset : 0;
    for (const auto& [menu, text] : m_menuTexts)
        menu->setTitle(qs(T(text + offset)));
    for (const auto& [action, text] : m_actionTexts)
        action->setText(qs(T(text + offset)));
}

template <typename Handler>
void ConfigurationWindow::act(Handler handler)
{
    if (m_syncing)
        return;
    handler();
    SyncToWidgets();
}

void ConfigurationWindow::wire()
{
    for (int id : {IDC_ADDDEVICERADIO, IDC_EDITREMOVERADIO, IDC_ADDBUTTON, IDC_MODIFY, IDC_REMOVE, IDC_VALIDATEEXE,
                   IDC_VALIDATION}) {
        auto* b = static_cast<QAbstractButton*>(Control(id));
        connect(b, &QAbstractButton::clicked, this, [this, id] { act([&] { m_controller->OnCommand(id); }); });
    }
    FormModel& form = m_controller->Form();
    const std::pair<int, void (CFinal_UIDlg::*)()> selections[] = {
        {IDC_SUBKEYS, &CFinal_UIDlg::OnSelchangeSubkeys},
        {IDC_DEVICENAMECOMBO, &CFinal_UIDlg::OnSelchangeDevicenamecombo},
        {IDC_CONNECTIONCOMBO, &CFinal_UIDlg::OnSelchangeConnectioncombo},
        {IDC_COMPORTCOMBO, &CFinal_UIDlg::OnSelchangeComportcombo},
        {IDC_TIMEOUTCOMBO, &CFinal_UIDlg::OnSelchangeTimeoutcombo},
        {IDC_INFINITECOMBO, &CFinal_UIDlg::OnSelchangeInfinitecombo},
        {IDC_AIMMODECOMBO, &CFinal_UIDlg::OnSelchangeAimmodecombo},
    };
    for (const auto& [id, handler] : selections) {
        auto* box = static_cast<QComboBox*>(Control(id));
        connect(box, QOverload<int>::of(&QComboBox::activated), this, [this, id, handler = handler, &form](int index) {
            if (m_syncing)
                return;
            form.SetCurSel(id, index);
            act([&] { (m_controller.get()->*handler)(); });
        });
    }
    const std::pair<int, void (CFinal_UIDlg::*)()> edits[] = {
        {IDC_COMPORTCOMBO, &CFinal_UIDlg::OnEditupdateComportcombo},
        {IDC_TIMEOUTCOMBO, &CFinal_UIDlg::OnEditchangeTimeoutcombo},
        {IDC_INFINITECOMBO, &CFinal_UIDlg::OnEditchangeInfinitecombo},
    };
    for (const auto& [id, handler] : edits) {
        auto* box = static_cast<QComboBox*>(Control(id));
        connect(box->lineEdit(), &QLineEdit::textEdited, this, [this, id, handler = handler, &form](const QString& t) {
            if (m_syncing)
                return;
            form.SetWindowText(id, t.toStdString());
            act([&] { (m_controller.get()->*handler)(); });
        });
        box->lineEdit()->installEventFilter(this);
    }
    auto* name = static_cast<QLineEdit*>(Control(IDC_ENTERDEVICENAME));
    connect(name, &QLineEdit::textEdited, this, [this, &form](const QString& t) {
        if (!m_syncing)
            form.SetWindowText(IDC_ENTERDEVICENAME, t.toStdString());
    });
    name->installEventFilter(this);
    const std::pair<int, void (CFinal_UIDlg::*)()> dropDowns[] = {
        {IDC_CONNECTIONCOMBO, &CFinal_UIDlg::OnDropdownConnectioncombo},
        {IDC_TIMEOUTCOMBO, &CFinal_UIDlg::OnDropdownTimeoutcombo},
        {IDC_INFINITECOMBO, &CFinal_UIDlg::OnDropdownInfinitecombo},
        {IDC_COMPORTCOMBO, &CFinal_UIDlg::OnDropdownComportcombo},
    };
    for (const auto& [id, handler] : dropDowns)
        static_cast<DropComboBox*>(Control(id))->onDropDown = [this, handler = handler] {
            act([&] { (m_controller.get()->*handler)(); });
        };
    connect(static_cast<CTTComboBox*>(Control(IDC_DEVICENAMECOMBO)), &CTTComboBox::aboutToShowPopup, this,
            [this] { act([&] { m_controller->OnDropdownDevicenamecombo(); }); });
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        const int id = idOf(now);
        if (id != 0 && now->window() == this) {
            m_controller->Form().SetFocus(id);
            m_appliedFocus = id;
        }
    });
    qApp->installEventFilter(this);
}

void ConfigurationWindow::SyncToWidgets()
{
    m_syncing = true;
    const FormModel& form = m_controller->Form();
    for (const auto& [id, widget] : m_widgets) {
        if (!form.Has(id))
            continue;
        const FormModel::Control& c = form.At(id);
        widget->setEnabled(c.enabled);
        widget->setVisible(c.visible);
        widget->setToolTip(qs(c.tooltip));
        if (auto* box = qobject_cast<QComboBox*>(widget)) {
            QStringList items;
            for (const std::string& item : c.items)
                items << qs(item);
            QStringList current;
            for (int i = 0; i < box->count(); ++i)
                current << box->itemText(i);
            if (items != current) {
                box->clear();
                box->addItems(items);
            }
            if (box->currentIndex() != c.selected)
                box->setCurrentIndex(c.selected);
            if (box->isEditable()) {
                if (box->lineEdit()->text() != qs(c.text))
                    box->lineEdit()->setText(qs(c.text));
                if (auto* limit = dynamic_cast<const TypedLimit*>(box->validator()))
                    limit->setLimit(c.limit);
            }
        } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            if (line->text() != qs(c.text))
                line->setText(qs(c.text));
            if (c.limit > 0)
                line->setMaxLength(c.limit);
            if (c.selectAll) {
                line->selectAll();
                m_controller->Form().At(id).selectAll = false;
            }
        } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
            radio->setText(qs(c.text));
            radio->setChecked(c.checked);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->text() != qs(c.text)) {
                button->setText(qs(c.text));
                // The accelerators, not the buttons' mnemonics, own Alt+letter.
                button->setShortcut(QKeySequence());
            }
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            group->setTitle(qs(c.text));
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(qs(c.text));
        }
    }
    for (const auto& [command, action] : m_actions)
        action->setEnabled(form.IsMenuItemEnabled(command));
    if (form.Focus() != m_appliedFocus) {
        m_appliedFocus = form.Focus();
        if (QWidget* widget = Control(form.Focus()))
            widget->setFocus();
    }
    m_syncing = false;
}

bool ConfigurationWindow::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::FocusIn && watched == Control(IDC_ENTERDEVICENAME)) {
        act([&] { m_controller->OnSetfocusEnterdevicename(); });
    } else if (event->type() == QEvent::KeyPress && widget != nullptr && widget->window() == this &&
               QApplication::activeModalWidget() == nullptr) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) != 0)
            return QDialog::eventFilter(watched, event);
        // A key goes to the widget with the focus.
        const int focus = idOf(widget);
        std::string beforeCaret;
        if (focus == IDC_COMPORTCOMBO) {
            QLineEdit* line = static_cast<QComboBox*>(Control(IDC_COMPORTCOMBO))->lineEdit();
            beforeCaret = line->text().left(line->cursorPosition()).toStdString();
        }
        // Only a consumed key (Enter runs a command) can change the form.
        if (m_controller->PreTranslateKey(virtualKey(key), (key->modifiers() & Qt::ShiftModifier) != 0, focus,
                                          beforeCaret)) {
            SyncToWidgets();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ConfigurationWindow::keyPressEvent(QKeyEvent* event)
{
    // Escape never closes the dialog; Enter is handled by the key rules.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void ConfigurationWindow::closeEvent(QCloseEvent* event)
{
    if (m_ending) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    act([&] { m_controller->OnClose(); });
}

void ConfigurationWindow::OnDeviceChange()
{
    act([&] { m_controller->OnDeviceChange(); });
}

void ConfigurationWindow::RaiseFromAnotherCopy()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void ConfigurationWindow::ShowMessage(const std::string& text, int kind)
{
    SyncToWidgets();
    MsgBox box(qs(text), kind, this);
    box.exec();
}

int ConfigurationWindow::AskSaveChanges(const std::string& text)
{
    SyncToWidgets();
    CAddDevice prompt(qs(text), this);
    prompt.exec();
    return prompt.Choice();
}

bool ConfigurationWindow::ConfirmRemove()
{
    SyncToWidgets();
    CConfirmation confirmation(this);
    return confirmation.exec() == QDialog::Accepted;
}

void ConfigurationWindow::ShowAbout()
{
    CAboutDlg about(this);
    about.exec();
}

bool ConfigurationWindow::RaiseWindow(const std::string& title)
{
    return dialog::raiseWindowTitled(qs(title));
}

void ConfigurationWindow::OpenHelp(const std::string& path)
{
    auto* help = new HelpWindow(qs(path), qs(T(str::kHelpTitle)));
    m_help = help;
    help->show();
}

void ConfigurationWindow::CloseWindowTitled(const std::string& title)
{
    dialog::closeWindowsTitled(qs(title), this);
}

void ConfigurationWindow::EndDialog(int result)
{
    m_ending = true;
    done(result);
}
