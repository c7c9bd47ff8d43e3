// The Advanced View as a Qt window offscreen: the frame and its layouts as
// pictures, the menu (English and French), colours, the claim edit's keys,
// the close box, and the switch between the two views.
// Before Qt's headers, whose "slots" it would meet.
#include "ControlFixtures.h"

#include "AdvancedMethodTexts.h"
#include "AdvancedStrings.h"
#include "AdvancedTestSupport.h"
#include "AdvancedWindow.h"
#include "ProbeStrings.h"
#include "QtTestApp.h"
#include "TestSupport.h"
#include "TillProbeApp.h"

#include "PictureBox.h"
#include "QtMessagePump.h"
#include "simulator/imager_images.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace vxtest;
using namespace adv;

namespace {

class AdvancedViewTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        qtApp();
        pump = std::make_unique<QtMessagePump>();
        control.SetNumber("State", 2);
    }
    void TearDown() override
    {
        window.reset();
        pump.reset();
        AdvancedTest::TearDown();
    }
    void open()
    {
        window = std::make_unique<AdvancedWindow>(&control, &imageControl);
        window->show();
        QApplication::processEvents();
    }
    QComboBox* list(int id) { return static_cast<QComboBox*>(window->Control(id)); }
    QPushButton* button(int id) { return static_cast<QPushButton*>(window->Control(id)); }
    QLineEdit* edit(int id) { return static_cast<QLineEdit*>(window->Control(id)); }
    QLabel* label(int id) { return static_cast<QLabel*>(window->Control(id)); }
    QString output() { return static_cast<QTextEdit*>(window->Control(IDC_OUTPUT))->toPlainText(); }
    void pick(int id, const QString& text)
    {
        const int index = list(id)->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        list(id)->setCurrentIndex(index);
        emit list(id)->activated(index);
    }
    std::vector<QString> menuTexts(QMenu* menu)
    {
        std::vector<QString> texts;
        for (QAction* action : menu->actions())
            texts.push_back(action->menu() ? "[" + action->text() + "]" : action->text());
        return texts;
    }
    QMenu* topMenu(int index) { return m_menu(index); }
    QMenu* m_menu(int index) { return window->MenuBar()->actions().at(index)->menu(); }
    int count(const std::string& call)
    {
        const auto all = control.Calls();
        return static_cast<int>(std::count(all.begin(), all.end(), call));
    }

    AdvancedViewModel& shown() { return window->Controller().Model(); }
    // The model's state on the widgets.
    void show()
    {
        window->SyncToWidgets();
        QApplication::processEvents();
    }
    QTextEdit* box(int id) { return static_cast<QTextEdit*>(window->Control(id)); }

    std::unique_ptr<QtMessagePump> pump;
    std::unique_ptr<AdvancedWindow> window;
};

// The space the label's text needs, laid out as the label lays it out.
QSize needed(const QLabel* label)
{
    const QRect room = label->contentsRect();
    const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    return label->fontMetrics().boundingRect(QRect(0, 0, room.width(), 10000), flags, label->text()).size();
}

TEST_F(AdvancedViewTest, TheFrameWithTheScannerLayout)
{
    addEntry("Lane 1");
    open();
    EXPECT_EQ(window->windowTitle(), "TillProbe - Advanced View");
    EXPECT_EQ(window->size(), QSize(970, 707));
    EXPECT_FALSE(window->Control(IDC_COMBO_DEVICETYPE)->isEnabled());
    EXPECT_EQ(list(IDC_COMBO_DEVICETYPE)->currentText(), "Scanner");
    EXPECT_EQ(label(IDC_STATIC_DATACOUNT)->text(), "DataCount   :   0");
    pick(IDC_COMBO_DEVICENAME, "Lane 1");
    EXPECT_EQ(label(IDC_STATIC_DEVICEINFO)->text(), "Auto Detect = False\r\nPort = COM3\r\n");
    EXPECT_TRUE(label(IDC_STATIC_DEVICEINFOTITLE)->isVisible());
    EXPECT_TRUE(label(IDC_STATIC_DEVICEINFOTITLE)->font().bold());
    EXPECT_EQ(edit(IDC_EDIT_CLAIMTIMEOUT)->text(), "10000");
    EXPECT_EQ(label(IDC_STATIC_SPECIFICTITLE)->text(), "Scanner Specific Properties");
    for (const int id : {IDC_BTN_SCANDATA, IDC_BTN_SCANDATALABEL, IDC_BTN_SCANDATATYPE, IDC_BTN_SETDECODEDATA,
                         IDC_EDIT_SCANDATA, IDC_BTN_GETALLPROPS, IDC_BTN_CHECKHEALTH})
        EXPECT_TRUE(window->Control(id)->isVisible()) << id;
    for (const int id : {IDC_BTN_CAPAIM, IDC_BTN_FRAMEDATA, IDC_PREVIEW, IDC_BTN_VIEWIMAGE, IDC_BTN_GETDEVICEENABLE,
                         IDC_BTN_OUTPUTID, IDC_BTN_CLEAROUTPUT, IDC_BTN_HELP})
        EXPECT_FALSE(window->Control(id)->isVisible()) << id;
    EXPECT_EQ(window->Control(IDC_OUTPUT)->geometry(), QRect(286, 471, 661, 151));
    EXPECT_EQ(button(IDC_BTN_CLAIM)->text(), "Cl&aimDevice");
    EXPECT_EQ(button(IDC_BTN_OPEN)->toolTip(), "Click to Open the connection");
    // Titles in blue on the face, other statics black on it.
    EXPECT_EQ(label(IDC_GROUP_PROPERTIES)->palette().color(QPalette::WindowText), QColor(14, 71, 136));
    EXPECT_EQ(label(IDC_STATIC_STATUS)->palette().color(QPalette::Window), QColor(224, 223, 228));
    EXPECT_EQ(window->Control(IDC_OUTPUT)->palette().color(QPalette::Base), QColor(Qt::white));
    const QImage shot = grabAndKeep(window.get(), "tillprobe-advanced-scanner");
    EXPECT_TRUE(hasColour(shot, label(IDC_GROUP_PROPERTIES)->geometry().translated(0, 24), QColor(14, 71, 136)));
}

TEST_F(AdvancedViewTest, TheMenuHasNoSoftwareRevisionNorMenuCommandAndRaiseErrorEventOnlyWhenEnabled)
{
    open();
    EXPECT_EQ(window->MenuBar()->objectName(), "Menu166");
    EXPECT_EQ(menuTexts(topMenu(0)), (std::vector<QString>{"Re-Enable DataEvent", "E&xit    Alt+X"}));
    EXPECT_EQ(menuTexts(topMenu(1)), (std::vector<QString>{"[Do an Image Command]", "Do a Serial Command  ",
                                                            "Command Timeout"}));
    QMenu* images = topMenu(1)->findChild<QMenu*>("ImageCommands");
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(menuTexts(images), (std::vector<QString>{"DIO_GET_BMP_IMAGE", "DIO_GET_JPEG_IMAGE",
                                                        "DIO_GET_TIFFBIN_IMAGE", "DIO_GET_TIFFGRAY_IMAGE"}));
    EXPECT_EQ(window->MenuAction(ID_DIO_GETSWREV), nullptr);
    EXPECT_EQ(window->MenuAction(ID_DIO_MENUCOMMAND), nullptr);
    EXPECT_EQ(menuTexts(topMenu(2)), (std::vector<QString>{"&Basic View                 Alt+B",
                                                            "&Configuration Utility  Alt+C"}));
    EXPECT_EQ(menuTexts(topMenu(3)), (std::vector<QString>{"TillProbe Help       F1", "Abo&ut TillProbe    Alt+U"}));
    // The check mark of "Re-Enable DataEvent" follows each choice.
    QAction* reEnable = window->MenuAction(ID_FILE_REENABLEDATAEVENT);
    ASSERT_TRUE(reEnable->isCheckable());
    reEnable->trigger();
    EXPECT_TRUE(reEnable->isChecked());
    EXPECT_TRUE(window->Controller().Model().reEnableDataEvent);
    reEnable->trigger();
    EXPECT_FALSE(reEnable->isChecked());
    EXPECT_FALSE(window->Controller().Model().reEnableDataEvent);
    window.reset();

    std::string ini = readFile("resultsProperty.ini");
    ini.insert(ini.find("[ErrorEvent]\n") + 13, "Enable=10\n");
    std::ofstream("resultsProperty.ini", std::ios::binary | std::ios::trunc) << ini;
    open();
    images = topMenu(1)->findChild<QMenu*>("ImageCommands");
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(menuTexts(images).back(), "Raise Error Event");
    ASSERT_NE(window->MenuAction(ID_DIO_RAISEERROREVENT), nullptr);
}

TEST_F(AdvancedViewTest, FrenchGetsMenu217WithoutTheImageCommandsSubmenu)
{
    setenv("LANG", "fr_FR.UTF-8", 1);
    std::filesystem::copy_file(programDirectory() + "/TillProbeFrench.strings", "TillProbeFrench.strings");
    open();
    EXPECT_EQ(window->MenuBar()->objectName(), "Menu217");
    EXPECT_EQ(window->MenuAction(ID_FILE_EXIT)->text(), "&Quitter    Alt+X");
    EXPECT_NE(window->MenuAction(ID_DIO_IMAGECOMMANDS), nullptr);
    EXPECT_NE(window->MenuAction(ID_DIO_SERIALCOMMAND), nullptr);
    for (const int absent : {ID_DIO_BMP, ID_DIO_JPEG, ID_DIO_RAISEERROREVENT, ID_DIO_COMMANDTIMEOUT, ID_DIO_GETSWREV})
        EXPECT_EQ(window->MenuAction(absent), nullptr) << absent;
    EXPECT_EQ(topMenu(1)->findChild<QMenu*>("ImageCommands"), nullptr);
    // The plain image entry does nothing.
    control.ClearCalls();
    window->MenuAction(ID_DIO_IMAGECOMMANDS)->trigger();
    EXPECT_TRUE(control.Calls().empty());
    EXPECT_EQ(list(IDC_COMBO_DEVICETYPE)->currentText(), "Scanner");
}

TEST_F(AdvancedViewTest, EachMethodLayoutOnScreen)
{
    open();
    const struct {
        const char* method;
        const char* name;
        std::vector<int> shown;
        std::vector<int> hidden;
    } cases[] = {
        {"CompareFWVersion", "comparefwversion", {IDC_EDIT_FIRMWAREPATH, IDC_BTN_BROWSE, IDC_BTN_APPLY},
         {IDC_EDIT_STATISTICS, IDC_BTN_STATAPPLY, IDC_EDIT_METHODPLACEHOLDER}},
        {"ResetStatistics", "resetstatistics", {IDC_EDIT_STATISTICS, IDC_BTN_STATAPPLY},
         {IDC_EDIT_FIRMWAREPATH, IDC_BTN_BROWSE, IDC_BTN_APPLY, IDC_EDIT_METHODPLACEHOLDER}},
        {"RetrieveStatistics", "retrievestatistics", {IDC_EDIT_STATISTICS, IDC_BTN_STATAPPLY},
         {IDC_EDIT_FIRMWAREPATH, IDC_BTN_APPLY}},
        {"UpdateFW", "updatefw", {IDC_EDIT_FIRMWAREPATH, IDC_BTN_BROWSE, IDC_BTN_APPLY}, {IDC_EDIT_STATISTICS}},
        {"UpdateStatistics", "updatestatistics", {IDC_EDIT_STATISTICS, IDC_BTN_STATAPPLY}, {IDC_BTN_APPLY}},
        {"Select method", "select", {IDC_EDIT_METHODPLACEHOLDER, IDC_BTN_BROWSE, IDC_BTN_APPLY},
         {IDC_EDIT_FIRMWAREPATH, IDC_EDIT_STATISTICS, IDC_BTN_STATAPPLY}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        pick(IDC_COMBO_METHOD, c.method);
        for (const int id : c.shown)
            EXPECT_TRUE(window->Control(id)->isVisible()) << id;
        for (const int id : c.hidden)
            EXPECT_FALSE(window->Control(id)->isVisible()) << id;
        grabAndKeep(window.get(), std::string("tillprobe-advanced-method-") + c.name);
    }
    EXPECT_FALSE(window->Control(IDC_BTN_APPLY)->isEnabled());

    // The firmware path's prompt goes when the edit gains the focus.
    pick(IDC_COMBO_METHOD, "UpdateFW");
    EXPECT_EQ(edit(IDC_EDIT_FIRMWAREPATH)->text(), "Enter file path here");
    EXPECT_TRUE(window->Control(IDC_BTN_APPLY)->isEnabled());
    window->activateWindow();
    edit(IDC_EDIT_FIRMWAREPATH)->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(edit(IDC_EDIT_FIRMWAREPATH)->text(), "");

    // A firmware update in progress (its Apply left the button off): another
    // firmware method does not turn it on.
    window->Controller().Model().at(IDC_BTN_APPLY).enabled = false;
    control.SetNumber("State", 3);
    pick(IDC_COMBO_METHOD, "CompareFWVersion");
    EXPECT_FALSE(window->Control(IDC_BTN_APPLY)->isEnabled());
}

TEST_F(AdvancedViewTest, TheClaimEditTakesDigitsAndMinusOnlyAndEscapeKeepsTheView)
{
    addEntry("Lane 1");
    open();
    pick(IDC_COMBO_DEVICENAME, "Lane 1");
    window->activateWindow();
    QLineEdit* timeout = edit(IDC_EDIT_CLAIMTIMEOUT);
    timeout->setFocus();
    timeout->clear();
    QTest::keyClicks(timeout, "12ab 3-");
    EXPECT_EQ(timeout->text(), "123-");
    QTest::keyClick(timeout, Qt::Key_5, Qt::ShiftModifier);
    QTest::keyClick(timeout, Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(timeout->text(), "123-4");
    QTest::keyClick(timeout, Qt::Key_Backspace);
    QTest::keyClick(timeout, Qt::Key_Backspace);
    EXPECT_EQ(timeout->text(), "123");
    QTest::keyClick(timeout, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());

    // Enter presses the focused button.
    button(IDC_BTN_OPEN)->setFocus();
    QTest::keyClick(button(IDC_BTN_OPEN), Qt::Key_Return);
    EXPECT_EQ(count("Open(Lane 1)"), 1);
    EXPECT_EQ(output(), "Open   :    OPOS_SUCCESS");
    button(IDC_BTN_CLAIM)->setFocus();
    QTest::keyClick(button(IDC_BTN_CLAIM), Qt::Key_Return);
    EXPECT_EQ(count("ClaimDevice(123)"), 1);
    EXPECT_TRUE(window->DataCountTimer()->isActive());
    EXPECT_EQ(window->DataCountTimer()->interval(), 10);
}

TEST_F(AdvancedViewTest, TheCloseBoxClosesAnOpenDeviceOnceAndEndsTheView)
{
    addEntry("Lane 1");
    open();
    pick(IDC_COMBO_DEVICENAME, "Lane 1");
    button(IDC_BTN_OPEN)->click();
    button(IDC_BTN_CLAIM)->click();
    ASSERT_TRUE(window->DataCountTimer()->isActive());
    control.ClearCalls();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->DataCountTimer()->isActive());
    EXPECT_EQ(count("Close()"), 1);
    EXPECT_FALSE(window->SwitchRequested());

    // While a firmware update runs the close box is refused.
    open();
    control.SetNumber("State", 3);
    QString message;
    whenModalOpens([&](QWidget* dialog) {
        if (auto* text = dialog->findChild<QLabel*>("1192"))
            message = text->text();
        dialog->close();
    });
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(message, "Update Firmware in progress. Please wait.");
}

TEST_F(AdvancedViewTest, ThePreviewShowsTheLastImageBesideANarrowerOutputBox)
{
    open();
    const std::string bmp = vxsim::imagerImage(vxsim::ImageFormat::bmp);
    CAdvancedValidation& controller = window->Controller();
    controller.m_lastImage.assign(bmp.begin(), bmp.end());
    controller.ShowLastImage();
    controller.AppendOutput("OPOS_SUCCESS");
    window->SyncToWidgets();
    auto* preview = static_cast<CPictureBox*>(window->Control(IDC_PREVIEW));
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(preview->HasImage());
    EXPECT_TRUE(button(IDC_BTN_VIEWIMAGE)->isVisible());
    EXPECT_TRUE(button(IDC_BTN_VIEWIMAGE)->isEnabled());
    EXPECT_EQ(window->Control(IDC_OUTPUT)->geometry(), QRect(286, 471, 515, 151));
    grabAndKeep(window.get(), "tillprobe-advanced-preview");

    // "View full image" opens the image in its own dialog.
    QString title;
    whenModalOpens([&](QWidget* dialog) {
        title = dialog->objectName();
        dialog->close();
    });
    button(IDC_BTN_VIEWIMAGE)->click();
    EXPECT_EQ(title, "CDispImage");
}

TEST_F(AdvancedViewTest, AddDeviceFromAnotherProcessRefillsTheListAndTheDropDownRebuildsIt)
{
    open();
    ASSERT_EQ(list(IDC_COMBO_DEVICENAME)->itemText(0), "No device exist");
    addEntry("Lane 1");
    const std::string broadcast = programDirectory() + "/tillprobe_broadcast ADD_DEVICE 1 1";
    ASSERT_EQ(std::system(broadcast.c_str()), 0);
    // No device chosen: the list is filled at once.
    EXPECT_TRUE(waitUntil([&] {
        QApplication::processEvents();
        return list(IDC_COMBO_DEVICENAME)->count() == 2;
    }));
    EXPECT_EQ(list(IDC_COMBO_DEVICENAME)->itemText(1), "Lane 1");
    EXPECT_TRUE(list(IDC_COMBO_DEVICENAME)->isEnabled());

    // A device chosen: the next drop-down rebuilds the list.
    pick(IDC_COMBO_DEVICENAME, "Lane 1");
    addEntry("Lane 2");
    ASSERT_EQ(std::system(broadcast.c_str()), 0);
    EXPECT_TRUE(waitUntil([&] {
        QApplication::processEvents();
        return window->Controller().m_bRefreshDeviceList;
    }));
    EXPECT_EQ(list(IDC_COMBO_DEVICENAME)->count(), 2);
    list(IDC_COMBO_DEVICENAME)->showPopup();
    list(IDC_COMBO_DEVICENAME)->hidePopup();
    EXPECT_EQ(list(IDC_COMBO_DEVICENAME)->count(), 3);
    EXPECT_EQ(list(IDC_COMBO_DEVICENAME)->itemText(2), "Lane 2");
}

TEST_F(AdvancedViewTest, TheWaitKeepsTheViewShownButTakesNoInput)
{
    open();
    bool enabledDuring = true;
    bool visibleDuring = false;
    QTimer::singleShot(0, window.get(), [&] {
        enabledDuring = window->isEnabled();
        visibleDuring = window->isVisible();
    });
    window->Wait(20);
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(visibleDuring);
    EXPECT_TRUE(window->isEnabled());
}

class SwitchTest : public AdvancedViewTest {};

TEST_F(SwitchTest, TheAdvancedViewEntryOpensTheAdvancedViewAndBasicViewLeadsBack)
{
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSImageScanner.so"), S_OK);
    pump.reset();
    CTillProbeApp app;
    ASSERT_TRUE(app.IsFirstCopy());
    std::vector<QString> shown;
    whenModalOpens([&](QWidget* basic) {
        shown.push_back(basic->windowTitle());
        whenModalOpens([&](QWidget* advanced) {
            shown.push_back(advanced->windowTitle());
            EXPECT_EQ(app.Window(), nullptr);
            EXPECT_EQ(app.ShownView(), advanced);
            whenModalOpens([&](QWidget* basicAgain) {
                shown.push_back(basicAgain->windowTitle());
                EXPECT_EQ(app.AdvancedView(), nullptr);
                EXPECT_EQ(app.ShownView(), basicAgain);
                app.Window()->MenuAction(probe::ID_FILE_EXIT)->trigger();
            });
            QAction* basicView = app.AdvancedView()->MenuAction(ID_VIEW_BASIC);
            EXPECT_EQ(basicView->shortcut(), QKeySequence("Alt+B"));
            basicView->trigger();
        });
        QAction* advancedView = app.Window()->MenuAction(probe::ID_VIEW_ADVANCED);
        EXPECT_EQ(advancedView->shortcut(), QKeySequence("Alt+A"));
        advancedView->trigger();
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(shown, (std::vector<QString>{"TillProbe - Basic View", "TillProbe - Advanced View",
                                           "TillProbe - Basic View"}));
}

}  // namespace

TEST_F(AdvancedViewTest, EveryStatusTextFitsTheStatusLine)
{
    open();
    auto* status = label(IDC_STATIC_STATUS);
    const UINT texts[] = {kStrSynchronizing, kStrPerformingDirectIO, kProcessingImage, kImageSaved, kImageFailed,
                          kClaiming, probe::kOpening};
    for (const UINT id : texts) {
        const std::string text = T(id);
        SCOPED_TRACE(text);
        shown().at(IDC_STATIC_STATUS).text = text;
        show();
        ASSERT_EQ(status->text().toStdString(), text);
        const QSize need = needed(status);
        EXPECT_LE(need.width(), status->contentsRect().width());
        EXPECT_LE(need.height(), status->contentsRect().height());
        // Nothing else stands on the status line.
        for (QWidget* other : status->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != status && other->isVisible()) {
                EXPECT_FALSE(other->geometry().intersects(status->geometry())) << other->objectName().toStdString();
            }
        }
        if (id == kStrSynchronizing)
            grabAndKeep(window.get(), "tillprobe-advanced-status-synchronizing");
    }
}

TEST_F(AdvancedViewTest, ALabelOfTwoLinesShowsBothInTheScanDataBoxes)
{
    open();
    shown().at(IDC_EDIT_SCANDATA).text = "]E0FIRST LINE[CR][LF]\nSECOND LINE";
    shown().at(IDC_EDIT_SCANDATALABEL).text = "FIRST LINE[CR][LF]\nSECOND LINE";
    show();
    for (const int id : {IDC_EDIT_SCANDATA, IDC_EDIT_SCANDATALABEL}) {
        QTextEdit* edit = box(id);
        SCOPED_TRACE(id);
        ASSERT_EQ(edit->document()->blockCount(), 2);
        // The whole document lies inside the box, without scrolling.
        EXPECT_LE(edit->document()->size().height(), edit->viewport()->height());
        EXPECT_EQ(edit->verticalScrollBar()->value(), 0);
    }
    grabAndKeep(window.get(), "tillprobe-advanced-two-line-label");
}

TEST_F(AdvancedViewTest, TheStatisticsXmlIsIndentedByNarrowTabs)
{
    open();
    shown().output = "<UPOSStat version=\"1.13.0\">\r\n\t<Event>\r\n\t\t<Parameter>\r\n\t\t\t<Name>U_GoodScanCount</Name>"
                     "\r\n\t\t\t<Value>3</Value>\r\n\t\t</Parameter>\r\n\t</Event>\r\n</UPOSStat>";
    show();
    QTextEdit* output = box(IDC_OUTPUT);
    const qreal space = output->fontMetrics().horizontalAdvance(' ');
    int checked = 0;
    for (QTextBlock block = output->document()->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        int tabs = 0;
        while (tabs < text.size() && text[tabs] == '\t')
            ++tabs;
        if (tabs == 0)
            continue;
        SCOPED_TRACE(text.toStdString());
        const QTextLine line = block.layout()->lineAt(0);
        const qreal indent = line.cursorToX(tabs) - line.cursorToX(0);
        // At most four blanks a level.
        EXPECT_LE(indent, tabs * 4 * space + 1);
        EXPECT_GT(indent, 0);
        EXPECT_EQ(block.layout()->lineCount(), 1);
        ++checked;
    }
    EXPECT_EQ(checked, 6);
    grabAndKeep(window.get(), "tillprobe-advanced-statistics-xml");
}

TEST_F(AdvancedViewTest, FrenchTrueAndFalseWordsComeFromTheStringsFileAndStillDriveTheSetters)
{
    setenv("LANG", "fr_FR.UTF-8", 1);
    std::filesystem::copy_file(programDirectory() + "/TillProbeFrench.strings", "TillProbeFrench.strings",
                               std::filesystem::copy_options::overwrite_existing);
    open();
    QComboBox* enable = list(IDC_COMBO_DEVICEENABLE);
    ASSERT_EQ(enable->count(), 2);
    EXPECT_EQ(enable->itemText(0), "Vrai");
    EXPECT_EQ(enable->itemText(1), "Faux");

    for (const int entry : {0, 1}) {
        control.ClearCalls();
        shown().at(IDC_COMBO_DEVICEENABLE).selection = entry;
        window->Controller().OnButtonSetDeviceenable();
        window->SyncToWidgets();
        const std::vector<std::string> made = control.Calls();
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(made.front(), entry == 0 ? "put DeviceEnabled=1" : "put DeviceEnabled=0");
        const std::vector<std::string> lines = entries(shown().output);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front().rfind(std::string("Set DeviceEnable  :  ") + (entry == 0 ? "Vrai" : "Faux"), 0), 0u)
            << lines.front();
    }
}
