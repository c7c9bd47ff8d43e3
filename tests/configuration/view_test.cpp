// TillSetup's Qt views offscreen: modes, the pending flag and the prompt,
// the keys, the small dialogs, help, French, colours, and a second copy.
#include "ConfigDialogs.h"
#include "ConfigTestSupport.h"
#include "ConfigWindowSupport.h"
#include "ConfigurationWindow.h"
#include "QtTestApp.h"
#include "TestSupport.h"
#include "TillSetupApp.h"

#include "platform/sync.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace vxtest;
using namespace ctl;

namespace {

const QColor kFace(223, 224, 227);
const QColor kCaption(14, 71, 136);

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startInEnglish();
        removeLeftovers();
    }
    void TearDown() override
    {
        window.reset();
        removeLeftovers();
    }
    // What a test may leave: device entries and files in the working folder.
    static void removeLeftovers()
    {
        deleteEntries();
        for (const char* name : {"TillSetup.html", "TillSetupFrench.strings"})
            std::filesystem::remove(name);
    }
    void open() { window = vxtest::openConfigurationWindow(); }
    QComboBox* combo(int id) { return static_cast<QComboBox*>(window->Control(id)); }
    QAbstractButton* button(int id) { return static_cast<QAbstractButton*>(window->Control(id)); }
    // Picks an entry as a user would.
    void pick(int id, const QString& text) { vxtest::pickEntry(combo(id), text); }
    CFinal_UIDlg& dlg() { return window->Controller(); }
    // The text of the modal dialog open now, closing it with `key`.
    std::string answerModal(Qt::Key key)
    {
        std::string shown;
        whenModalOpens([&](QWidget* dialog) {
            if (auto* label = dialog->findChild<QLabel*>("IDC_MSGTEXT"))
                shown = label->text().toStdString();
            else if (auto* save = dialog->findChild<QLabel*>("IDC_SAVEMSG"))
                shown = save->text().toStdString();
            QTest::keyClick(dialog, key);
            if (dialog->isVisible())
                static_cast<QDialog*>(dialog)->done(0);
        });
        return shown;
    }

    std::unique_ptr<ConfigurationWindow> window;
};

}  // namespace

TEST_F(ViewTest, ModesShowTheirControlsInTheDialogsColours)
{
    open();
    EXPECT_TRUE(window->Control(IDC_ENTERDEVICENAME)->isVisible());
    EXPECT_FALSE(window->Control(IDC_DEVICENAMECOMBO)->isVisible());
    EXPECT_TRUE(window->Control(IDC_ADDBUTTON)->isVisible());
    EXPECT_FALSE(window->Control(IDC_MODIFY)->isVisible());
    EXPECT_FALSE(window->Control(IDC_COMPORTCOMBO)->isEnabled());
    EXPECT_FALSE(window->Control(IDC_SUBKEYS)->isEnabled());
    EXPECT_EQ(combo(IDC_SUBKEYS)->currentText(), "Scanner");
    EXPECT_TRUE(window->MenuAction(ID_FILE_DEVICE_ADDDEVICE)->isEnabled());
    EXPECT_FALSE(window->MenuAction(ID_FILE_DEVICE_MODIFYDEVICE)->isEnabled());
    EXPECT_EQ(window->MenuBar()->objectName(), "Menu151");
    EXPECT_EQ(window->windowTitle(), "TillSetup");

    const QImage add = grabAndKeep(window.get(), "tillsetup-add-mode");
    EXPECT_EQ(QColor(add.pixel(135, 300)), kFace);
    EXPECT_EQ(QColor(add.pixel(565, 150)), kFace);  // inside a group box
    for (const QRect title : {QRect(140, 90, 300, 22), QRect(140, 176, 300, 22), QRect(140, 278, 300, 22)})
        EXPECT_TRUE(hasColour(add, title, kCaption)) << title.y();
    // The buttons' face.
    const QRect addButton = window->Control(IDC_ADDBUTTON)->geometry();
    EXPECT_EQ(QColor(add.pixel(addButton.left() + 6, addButton.center().y())), kFace);

    button(IDC_EDITREMOVERADIO)->click();
    QApplication::processEvents();
    EXPECT_TRUE(dlg().EditMode());
    EXPECT_FALSE(window->Control(IDC_ENTERDEVICENAME)->isVisible());
    EXPECT_TRUE(window->Control(IDC_DEVICENAMECOMBO)->isVisible());
    EXPECT_TRUE(window->Control(IDC_MODIFY)->isVisible());
    EXPECT_TRUE(window->Control(IDC_REMOVE)->isVisible());
    EXPECT_FALSE(window->Control(IDC_ADDBUTTON)->isVisible());
    EXPECT_FALSE(window->MenuAction(ID_FILE_DEVICE_ADDDEVICE)->isEnabled());
    EXPECT_TRUE(window->MenuAction(ID_FILE_DEVICE_DELETEDEVICE)->isEnabled());
    const QImage edit = grabAndKeep(window.get(), "tillsetup-edit-mode");
    EXPECT_EQ(QColor(edit.pixel(135, 300)), kFace);
}

TEST_F(ViewTest, AChangedDeviceAsksBeforeTheModeChangesAndCancelKeepsIt)
{
    makeEntry("Alpha", "COM3");
    open();
    button(IDC_EDITREMOVERADIO)->click();
    combo(IDC_DEVICENAMECOMBO)->showPopup();  // lists the devices again
    combo(IDC_DEVICENAMECOMBO)->hidePopup();
    pick(IDC_DEVICENAMECOMBO, "Alpha");
    EXPECT_EQ(combo(IDC_COMPORTCOMBO)->currentText(), "COM3");
    EXPECT_FALSE(dlg().PendingChange());
    QLineEdit* timeout = combo(IDC_TIMEOUTCOMBO)->lineEdit();
    timeout->setFocus();
    timeout->selectAll();
    QTest::keyClicks(timeout, "20000");
    EXPECT_EQ(combo(IDC_TIMEOUTCOMBO)->currentText(), "20000");
    EXPECT_TRUE(dlg().PendingChange());

    bool sawPrompt = false;
    whenModalOpens([&](QWidget* dialog) {
        sawPrompt = dialog->objectName() == "CAddDevice";
        const QImage image = grabAndKeep(dialog, "caddevice");
        EXPECT_EQ(QColor(image.pixel(3, 3)), kFace);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    button(IDC_ADDDEVICERADIO)->click();
    QApplication::processEvents();
    EXPECT_TRUE(sawPrompt);
    EXPECT_TRUE(dlg().EditMode());
    EXPECT_TRUE(static_cast<QRadioButton*>(window->Control(IDC_EDITREMOVERADIO))->isChecked());
    EXPECT_EQ(combo(IDC_TIMEOUTCOMBO)->currentText(), "20000");

    whenModalOpens([&](QWidget* dialog) { dialog->findChild<QAbstractButton*>("IDC_BTN_NO")->click(); });
    button(IDC_ADDDEVICERADIO)->click();
    QApplication::processEvents();
    EXPECT_FALSE(dlg().EditMode());
    EXPECT_FALSE(dlg().PendingChange());
    EXPECT_TRUE(window->Control(IDC_ENTERDEVICENAME)->isVisible());
}

TEST_F(ViewTest, EscapeDoesNothingEnterPressesTheFocusedButtonAndThePortTakesOnlyPorts)
{
    open();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());

    button(IDC_EDITREMOVERADIO)->click();
    window->Control(IDC_MODIFY)->setFocus();
    const std::string shown = answerModal(Qt::Key_Return);
    QTest::keyClick(window->Control(IDC_MODIFY), Qt::Key_Return);
    EXPECT_EQ(shown, "Please select a device name");

    button(IDC_ADDDEVICERADIO)->click();
    window->Control(IDC_ADDBUTTON)->setFocus();
    QTest::keyClick(window->Control(IDC_ADDBUTTON), Qt::Key_A);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    pick(IDC_CONNECTIONCOMBO, "False");
    QLineEdit* port = combo(IDC_COMPORTCOMBO)->lineEdit();
    ASSERT_TRUE(port->isEnabled());
    port->setFocus();
    EXPECT_EQ(port->text(), "-- Select --");
    port->selectAll();
    QTest::keyClicks(port, "xCOM12a3");
    EXPECT_EQ(port->text(), "COM123");
    QTest::keyClicks(port, "4");
    EXPECT_EQ(port->text(), "COM123");
    QTest::keyClick(port, Qt::Key_Backspace);
    EXPECT_EQ(port->text(), "COM12");
}

TEST_F(ViewTest, TheSmallDialogsAnswerAsTheirKeysSay)
{
    open();
    {
        CAddDevice prompt("lane", window.get());
        whenModalOpens([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
        EXPECT_EQ(prompt.exec(), 1);
        EXPECT_EQ(prompt.Choice(), 3);
        EXPECT_EQ(prompt.KeptText(), "LANE");
    }
    {
        CAddDevice prompt("lane", window.get());
        whenModalOpens([](QWidget* dialog) { dialog->close(); });
        prompt.exec();
        EXPECT_EQ(prompt.Choice(), 3);
    }
    {
        CAddDevice prompt("lane", window.get());
        whenModalOpens([](QWidget* dialog) {
            dialog->findChild<QWidget*>("IDC_SUBMIT")->setFocus();
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        prompt.exec();
        EXPECT_EQ(prompt.Choice(), 1);
    }
    {
        CConfirmation confirmation(window.get());
        whenModalOpens([](QWidget* dialog) {
            const QImage image = grabAndKeep(dialog, "cconfirmation");
            EXPECT_EQ(QColor(image.pixel(3, 3)), kFace);
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        EXPECT_EQ(confirmation.exec(), QDialog::Rejected);
    }
    for (const auto& [kind, picture] : {std::pair{0, 184}, std::pair{1, 184}, std::pair{2, 179}, std::pair{3, 180},
                                        std::pair{7, 184}}) {
        MsgBox box("Device added successfully", kind, window.get());
        EXPECT_EQ(box.PictureId(), picture) << kind;
        EXPECT_EQ(box.findChild<QLabel*>("IDC_IMAGEBOX")->property("bitmapId").toInt(), picture);
        if (kind == 3) {
            box.show();
            const QImage image = grabAndKeep(&box, "msgbox-information");
            EXPECT_EQ(QColor(image.pixel(3, 3)), kFace);
        }
    }
    CAboutDlg about(window.get());
    about.show();
    EXPECT_EQ(about.windowTitle(), "About TillSetup");
    EXPECT_EQ(about.findChild<QLabel*>("IDC_ABOUTMSG")->text(), "TillSetup, Version 1.13.2.12");
    const QImage image = grabAndKeep(&about, "caboutdlg");
    EXPECT_EQ(QColor(image.pixel(3, 3)), kFace);
}

TEST_F(ViewTest, HelpIsMissingThenShownThenBroughtForwardAndClosedWithTheDialog)
{
    open();
    std::ofstream("TillSetup.html") << "<html><body><h1>Help</h1></body></html>";
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 30000));  // generous, for a busy machine
    QTest::keyClick(window.get(), Qt::Key_F1);
    QApplication::processEvents();
    auto helpWindows = [] {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            count += w->isVisible() && w->windowTitle() == "TillSuite Configuration Utility" ? 1 : 0;
        return count;
    };
    EXPECT_EQ(helpWindows(), 1);
    QWidget* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == "TillSuite Configuration Utility")
            help = w;
    ASSERT_NE(help, nullptr);
    grabAndKeep(help, "help-window");
    help->showMinimized();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 30000));  // generous, for a busy machine
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(helpWindows(), 1);
    EXPECT_FALSE(help->isMinimized());
    window->close();
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(helpWindows(), 0);
}

TEST_F(ViewTest, TheMissingHelpMessage)
{
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 30000));  // generous, for a busy machine
    std::string shown;
    whenModalOpens([&](QWidget* dialog) {
        shown = dialog->findChild<QLabel*>("IDC_MSGTEXT")->text().toStdString();
        static_cast<QDialog*>(dialog)->accept();
    });
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(shown, "TillSetup help file does not exists");
}

TEST_F(ViewTest, ANewTimeoutMarksAChangeInEditModeOnly)
{
    makeEntry("Alpha", "COM3");
    open();
    combo(IDC_TIMEOUTCOMBO)->addItem("20000");
    pick(IDC_TIMEOUTCOMBO, "10000");
    EXPECT_FALSE(dlg().PendingChange());
    button(IDC_EDITREMOVERADIO)->click();
    combo(IDC_DEVICENAMECOMBO)->showPopup();
    combo(IDC_DEVICENAMECOMBO)->hidePopup();
    pick(IDC_DEVICENAMECOMBO, "Alpha");
    pick(IDC_TIMEOUTCOMBO, "10000");
    EXPECT_TRUE(dlg().PendingChange());
}

TEST_F(ViewTest, FrenchGetsTheFrenchMenuWithOrWithoutTheStringsFile)
{
    setenv("LANG", "fr_FR.UTF-8", 1);
    open();
    EXPECT_EQ(window->MenuBar()->objectName(), "Menu167");
    EXPECT_EQ(window->MenuAction(ID_FILE_EXIT)->text(), "E&xitF   Alt+X");
    EXPECT_EQ(button(IDC_ADDDEVICERADIO)->text(), "Add device");
    window.reset();

    std::filesystem::copy_file(programDirectory() + "/TillSetupFrench.strings", "TillSetupFrench.strings");
    CLanguageManager::GetInstance().ResetForTesting();
    open();
    EXPECT_EQ(button(IDC_ADDDEVICERADIO)->text(), QString::fromUtf8("Ajouter un appareil"));
    EXPECT_EQ(combo(IDC_CONNECTIONCOMBO)->itemText(0), "Vrai");
    EXPECT_EQ(combo(IDC_TIMEOUTCOMBO)->currentText(), "10000");
    grabAndKeep(window.get(), "tillsetup-french");
}

TEST_F(ViewTest, ASecondCopyRestoresAndActivatesTheFirstAndEnds)
{
    CFinal_UIApp first(RegistryApi::System(), [] { return std::vector<std::string>{"COM1"}; });
    ASSERT_TRUE(first.IsFirstCopy());
    ConfigurationWindow* shown = first.Window();
    shown->showMinimized();
    QApplication::processEvents();
    ASSERT_TRUE(shown->isMinimized());

    const pid_t child = ::fork();
    if (child == 0) {
        const std::string program = programDirectory() + "/TillSetup";
        ::execl(program.c_str(), program.c_str(), nullptr);
        ::_exit(127);
    }
    int status = -1;
    ASSERT_TRUE(waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(waitUntil([&] {
        QApplication::processEvents();
        return !shown->isMinimized() && shown->isActiveWindow();
    }));
}
