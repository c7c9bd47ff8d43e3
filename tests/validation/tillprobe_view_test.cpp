// The Basic View as a Qt window offscreen: its states, the About box and
// the Advanced View's frame as pictures, the error-event dialog in the
// view's modal loop, "ADD_DEVICE" from another process, and the
// application's start-up (a second copy, controls not registered).
#include "ControlFixtures.h"
#include "ProbeStrings.h"
#include "ProbeTestSupport.h"
#include "QtTestApp.h"
#include "TestSupport.h"
#include "TillProbeApp.h"

#include "CErrorEvent.h"
#include "ClrButton.h"
#include "MsgBox.h"
#include "QtMessagePump.h"
#include "QtTranslations.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace vxtest;
using namespace probe;

namespace {

// Runs a program of the build folder and waits for its end; its exit code.
int runChild(const std::string& name, const std::vector<std::string>& arguments, const std::function<void()>& whileWaiting)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string program = programDirectory() + "/" + name;
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = -1;
    EXPECT_TRUE(waitUntil([&] {
        whileWaiting();
        return ::waitpid(child, &status, WNOHANG) == child;
    }));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void broadcastAddDevice()
{
    EXPECT_EQ(runChild("tillprobe_broadcast", {"ADD_DEVICE", "1", "1"}, [] {}), 0);
}

class ViewTest : public ProbeTest {
protected:
    void SetUp() override
    {
        ProbeTest::SetUp();
        qtApp();
        pump = std::make_unique<QtMessagePump>();
    }
    void TearDown() override
    {
        window.reset();
        pump.reset();
        ProbeTest::TearDown();
        setenv("LANG", "en_US.UTF-8", 1);
        InstallQtTranslations();
    }
    void open()
    {
        window = std::make_unique<TillProbeWindow>(&control, &imageControl);
        window->show();
        QApplication::processEvents();
    }
    QComboBox* devices() { return static_cast<QComboBox*>(window->Control(IDC_COMBO_DEVICE)); }
    QWidget* verifyButton() { return window->Control(IDC_BTN_VERIFY); }
    QString look() { return verifyButton()->property("look").toString(); }
    QLabel* line(int id) { return static_cast<QLabel*>(window->Control(id)); }
    QString output() { return static_cast<QTextEdit*>(window->Control(IDC_OUTPUT))->toPlainText(); }
    void pick(const QString& device)
    {
        const int index = devices()->findText(device);
        ASSERT_GE(index, 0) << device.toStdString();
        devices()->setCurrentIndex(index);
        emit devices()->activated(index);
    }
    void tick() { QMetaObject::invokeMethod(window->CountdownTimer(), "timeout"); }
    void pressVerify() { QTest::mouseClick(verifyButton(), Qt::LeftButton); }
    // The shipped French texts, with the service object's failure given an
    // accented text of its own (the shipped one has no accent to garble),
    // and Qt's own French.
    void french()
    {
        setenv("LANG", "fr_FR.UTF-8", 1);
        std::ofstream out("TillProbeFrench.strings", std::ios::binary);
        out << "33059\tErreur côté objet de service\n";
        std::ifstream shipped(programDirectory() + "/TillProbeFrench.strings", std::ios::binary);
        out << shipped.rdbuf();
        EXPECT_TRUE(InstallQtTranslations());
    }
    QLabel* labelTexted(const QString& text)
    {
        for (QLabel* label : window->findChildren<QLabel*>())
            if (label->text() == text)
                return label;
        ADD_FAILURE() << "no label " << text.toStdString();
        return nullptr;
    }

    FakeScannerControl imageControl;
    std::unique_ptr<QtMessagePump> pump;
    std::unique_ptr<TillProbeWindow> window;
};

}  // namespace

TEST_F(ViewTest, EachStateOfTheBasicViewOnScreen)
{
    open();
    EXPECT_EQ(window->windowTitle(), "TillProbe - Basic View");
    EXPECT_EQ(devices()->itemText(0), "No device exist");
    EXPECT_FALSE(devices()->isEnabled());
    EXPECT_FALSE(window->Control(IDC_COMBO_DEVICETYPE)->isEnabled());
    EXPECT_FALSE(window->Control(IDC_BTN_FULLIMAGE)->isVisible());
    EXPECT_EQ(look(), "unavailable");
    EXPECT_FALSE(verifyButton()->isEnabled());
    grabAndKeep(window.get(), "tillprobe-basic-no-device");
    window.reset();

    addEntry("Lane 1");
    addEntry("Lane 2");
    countdownFrom(3);
    open();
    pick("Lane 2");
    EXPECT_EQ(look(), "ready");
    EXPECT_TRUE(verifyButton()->isEnabled());
    EXPECT_EQ(output(), QString::fromStdString(T(kOutputPrompt)));
    grabAndKeep(window.get(), "tillprobe-basic-device-chosen");

    QTest::mouseClick(verifyButton(), Qt::LeftButton);
    EXPECT_EQ(look(), "running");
    EXPECT_FALSE(verifyButton()->isEnabled());
    EXPECT_FALSE(devices()->isEnabled());
    EXPECT_TRUE(window->CountdownTimer()->isActive());
    EXPECT_EQ(window->CountdownTimer()->interval(), 1000);
    tick();
    EXPECT_EQ(line(IDC_PROGRESS_LINE)->text(), "Read data with in 3 seconds");
    EXPECT_TRUE(line(IDC_PROGRESS_LINE)->isVisible());
    grabAndKeep(window.get(), "tillprobe-basic-reading");

    control.SetText("ScanDataLabel", "A\r\nB\t\x10 Caf\xE9");
    control.FireDataEvent(0);
    EXPECT_EQ(output(), QString::fromUtf8("A[CR][LF]\nB\t[DLF] Caf\u00e9"));
    grabAndKeep(window.get(), "tillprobe-basic-label");

    for (int i = 0; i < 4; ++i)
        tick();
    EXPECT_FALSE(window->CountdownTimer()->isActive());
    EXPECT_EQ(line(IDC_PROGRESS_LINE)->text(), "Device closed successfully");
    EXPECT_EQ(look(), "ready");
    EXPECT_TRUE(verifyButton()->isEnabled());
    EXPECT_TRUE(devices()->isEnabled());
    grabAndKeep(window.get(), "tillprobe-basic-closed");

    control.SetNumber("Open", 109);
    QTest::mouseClick(verifyButton(), Qt::LeftButton);
    EXPECT_EQ(line(IDC_ERROR_LINE)->text(), "OPOS_E_NOEXIST");
    EXPECT_TRUE(line(IDC_ERROR_LINE)->isVisible());
    EXPECT_FALSE(line(IDC_PROGRESS_LINE)->isVisible());
    EXPECT_TRUE(verifyButton()->isEnabled());
    grabAndKeep(window.get(), "tillprobe-basic-open-failed");
}

TEST_F(ViewTest, AboutBox)
{
    open();
    QString caption;
    QString version;
    whenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        version = dialog->findChild<QLabel*>("IDC_ABOUT_VERSION")->text();
        grabAndKeep(dialog, "tillprobe-about");
        dialog->findChild<QPushButton*>("IDOK")->click();
    });
    window->MenuAction(ID_HELP_ABOUT)->trigger();
    EXPECT_EQ(caption, "About TillProbe");
    EXPECT_EQ(version, "TillProbe, Version 1.13.2.12");
}

TEST_F(ViewTest, TheErrorDialogsAnswerReachesTheControlAndTheCountWaitsForIt)
{
    addEntry("Lane");
    countdownFrom(1);
    open();
    pick("Lane");
    QTest::mouseClick(verifyButton(), Qt::LeftButton);
    ASSERT_TRUE(window->CountdownTimer()->isActive());
    control.ClearCalls();
    bool closedInside = true;
    whenModalOpens([&](QWidget* dialog) {
        auto* errorEvent = qobject_cast<CErrorEvent*>(dialog);
        ASSERT_NE(errorEvent, nullptr);
        // The count runs out while the dialog is open.
        tick();
        tick();
        QApplication::processEvents();
        const std::vector<std::string> made = control.Calls();
        closedInside = std::find(made.begin(), made.end(), "Close()") != made.end();
        errorEvent->continueButton()->click();
    });
    EXPECT_EQ(control.FireErrorEvent(111, 0, 3, 12), 13);
    EXPECT_FALSE(closedInside);
    const std::vector<std::string> after = calls();
    EXPECT_NE(std::find(after.begin(), after.end(), "Close()"), after.end());
    EXPECT_EQ(line(IDC_PROGRESS_LINE)->text(), "Device closed successfully");
    EXPECT_TRUE(verifyButton()->isEnabled());
}

TEST_F(ViewTest, AddDeviceFromAnotherProcessRefillsTheList)
{
    open();
    ASSERT_EQ(devices()->itemText(0), "No device exist");
    addEntry("Lane 1");
    broadcastAddDevice();
    EXPECT_TRUE(waitUntil([&] {
        QApplication::processEvents();
        return devices()->count() == 2 && devices()->itemText(1) == "Lane 1";
    }));
    EXPECT_TRUE(devices()->isEnabled());

    // With a device chosen the list waits for the next drop-down, keeping it.
    pick("Lane 1");
    addEntry("Lane 2");
    broadcastAddDevice();
    EXPECT_TRUE(waitUntil([&] {
        QApplication::processEvents();
        return window->Controller().DeviceListStale();
    }));
    EXPECT_EQ(devices()->count(), 2);
    QTest::mouseClick(devices(), Qt::LeftButton);
    devices()->hidePopup();
    EXPECT_EQ(devices()->count(), 3);
    EXPECT_EQ(devices()->itemText(2), "Lane 2");
    EXPECT_EQ(devices()->currentText(), "Lane 1");
    EXPECT_EQ(look(), "ready");
}

class StartupTest : public ViewTest {};

TEST_F(StartupTest, ASecondCopyBringsTheFirstForwardAndEnds)
{
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSImageScanner.so"), S_OK);
    pump.reset();
    CTillProbeApp first;
    ASSERT_TRUE(first.IsFirstCopy());
    int childExit = -1;
    bool restored = false;
    whenModalOpens([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "TillProbe - Basic View");
        EXPECT_EQ(first.ShownView(), dialog);
        dialog->showMinimized();
        QApplication::processEvents();
        EXPECT_TRUE(dialog->isMinimized());
        childExit = runChild("TillProbe", {}, [] { QApplication::processEvents(); });
        restored = waitUntil([&] {
            QApplication::processEvents();
            return !dialog->isMinimized() && dialog->isActiveWindow();
        });
        first.Window()->MenuAction(ID_FILE_EXIT)->trigger();
    });
    EXPECT_EQ(first.Run(), 0);
    EXPECT_EQ(childExit, 0);
    EXPECT_TRUE(restored);
}

TEST_F(StartupTest, WithoutEitherControlTheProgramSaysSoAndEnds)
{
    pump.reset();
    for (const char* registered : {"", "libVXOPOSScanner.so", "libVXOPOSImageScanner.so"}) {
        SCOPED_TRACE(registered);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID");
        if (registered[0] != '\0') {
            ASSERT_EQ(controltest::RegisterLibrary(registered), S_OK);
        }
        CTillProbeApp app;
        ASSERT_TRUE(app.IsFirstCopy());
        QString text;
        QString caption;
        whenModalOpens([&](QWidget* dialog) {
            caption = dialog->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(dialog))
                text = box->text();
            dialog->close();
        });
        EXPECT_EQ(app.Run(), 0);
        EXPECT_EQ(text, "Install the relevant Control Objects to use the application");
        EXPECT_EQ(caption, "Validation Utility");
        EXPECT_EQ(app.Window(), nullptr);
    }
}

TEST_F(StartupTest, TheAdvancedViewFollowsTheBasicViewAndIsTheOneBroughtForward)
{
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSImageScanner.so"), S_OK);
    pump.reset();
    CTillProbeApp app;
    ASSERT_TRUE(app.IsFirstCopy());
    bool basicHidden = false;
    bool restored = false;
    QString advancedTitle;
    whenModalOpens([&](QWidget* basic) {
        whenModalOpens([&](QWidget* advanced) {
            advancedTitle = advanced->windowTitle();
            basicHidden = app.Window() == nullptr && app.ShownView() == advanced;
            advanced->showMinimized();
            QApplication::processEvents();
            EXPECT_EQ(runChild("TillProbe", {}, [] { QApplication::processEvents(); }), 0);
            restored = waitUntil([&] {
                QApplication::processEvents();
                return !advanced->isMinimized() && advanced->isActiveWindow();
            });
            advanced->close();
        });
        static_cast<QPushButton*>(app.Window()->Control(IDC_BTN_ADVANCED))->click();
        EXPECT_FALSE(basic->isVisible());
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(advancedTitle, "TillProbe - Advanced View");
    EXPECT_TRUE(basicHidden);
    EXPECT_TRUE(restored);
}

TEST_F(ViewTest, HelpOpensInTheProgramsOwnWindowWhichExitCloses)
{
    std::ofstream("TillProbe.html") << "<html><body><h1>Help</h1></body></html>";
    open();
    window->MenuAction(ID_HELP_FILE)->trigger();
    QWidget* help = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->windowTitle() == "TillProbe")
            help = widget;
    ASSERT_NE(help, nullptr);
    QPointer<QWidget> watched(help);
    window->MenuAction(ID_HELP_FILE)->trigger();
    int shown = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        shown += widget->isVisible() && widget->windowTitle() == "TillProbe";
    EXPECT_EQ(shown, 1);
    window->MenuAction(ID_FILE_EXIT)->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(watched.isNull() || !watched->isVisible());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ViewTest, FrenchGetsTheFrenchMenuAndTheStringsFile)
{
    setenv("LANG", "fr_FR.UTF-8", 1);
    std::filesystem::copy_file(programDirectory() + "/TillProbeFrench.strings", "TillProbeFrench.strings");
    open();
    EXPECT_EQ(window->MenuBar()->objectName(), "Menu216");
    EXPECT_EQ(window->MenuAction(ID_FILE_EXIT)->text(), "&Quitter    Alt+X");
    EXPECT_EQ(static_cast<QPushButton*>(window->Control(IDC_BTN_ADVANCED))->text(), QString::fromUtf8("Vue &avancée"));
    // Texts compared with the registry stay as they are.
    EXPECT_EQ(static_cast<QComboBox*>(window->Control(IDC_COMBO_DEVICETYPE))->currentText(), "Scanner");
    grabAndKeep(window.get(), "tillprobe-basic-french");
}

TEST_F(ViewTest, EscapeKeepsTheViewEnterPressesTheFocusedButtonAndTheCloseBoxClosesTheDevice)
{
    addEntry("Lane");
    open();
    pick("Lane");
    window->activateWindow();
    verifyButton()->setFocus();
    QTest::keyClick(verifyButton(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(calls().empty());

    QTest::keyClick(verifyButton(), Qt::Key_Return);
    EXPECT_EQ(look(), "running");
    EXPECT_EQ(calls().at(0), "Open(Lane)");

    control.ClearCalls();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->CountdownTimer()->isActive());
    EXPECT_EQ(calls(), (std::vector<std::string>{"put DataEventEnabled=0", "put DeviceEnabled=0",
                                                 "put DecodeData=0", "ReleaseDevice()", "Close()"}));
}

TEST_F(ViewTest, FrenchTextsAndALabelsOwnBytesReadBackAsWritten)
{
    french();
    // A device name as the registry keeps it, in ISO-8859-1.
    addEntry("Caisse \xE9t\xE9");
    countdownFrom(3);
    open();
    pick(QString::fromUtf8("Caisse été"));
    EXPECT_EQ(output(), QString::fromUtf8("\n\t   Utilisez le périphérique pour obtenir le résultat ici\n   "
                                          "(Remarque : les résultats ne s'affichent que si la connexion réussit)"));

    pressVerify();
    EXPECT_EQ(calls().at(0), "Open(Caisse \xE9t\xE9)");
    EXPECT_EQ(line(IDC_PROGRESS_LINE)->text(), QString::fromUtf8("Périphérique ouvert avec succès"));
    tick();
    EXPECT_EQ(line(IDC_PROGRESS_LINE)->text(), QString::fromUtf8("Lire les données dans 3 seconds"));
    control.SetText("ScanDataLabel", "Caf\xE9\r");
    control.FireDataEvent(0);
    EXPECT_EQ(output(), QString::fromUtf8("Café[CR]"));
    grabAndKeep(window.get(), "tillprobe-basic-french-reading");

    for (int i = 0; i < 4; ++i)
        tick();
    EXPECT_EQ(line(IDC_PROGRESS_LINE)->text(), QString::fromUtf8("Périphérique fermé avec succès"));
    grabAndKeep(window.get(), "tillprobe-basic-french-closed");

    control.Fail("Open", "gone");
    pressVerify();
    EXPECT_TRUE(line(IDC_ERROR_LINE)->isVisible());
    EXPECT_EQ(line(IDC_ERROR_LINE)->text(), QString::fromUtf8("Erreur côté objet de service"));
    grabAndKeep(window.get(), "tillprobe-basic-french-error");
}

TEST_F(ViewTest, TheWindowKeepsItsSizeWhicheverStatusLineShows)
{
    addEntry("Lane");
    countdownFrom(3);
    open();
    const QSize first = window->size();
    pick("Lane");
    EXPECT_EQ(window->size(), first);

    pressVerify();
    ASSERT_TRUE(line(IDC_PROGRESS_LINE)->isVisible());
    EXPECT_EQ(window->size(), first);
    for (int i = 0; i < 5; ++i)
        tick();
    ASSERT_FALSE(window->CountdownTimer()->isActive());

    control.SetNumber("Open", 109);
    pressVerify();
    ASSERT_TRUE(line(IDC_ERROR_LINE)->isVisible());
    EXPECT_EQ(window->size(), first);
    // Both lines take the same place: the error line stands where the
    // progress line stood.
    EXPECT_EQ(line(IDC_ERROR_LINE)->geometry(), line(IDC_PROGRESS_LINE)->geometry());

    control.SetNumber("Open", 0);
    pressVerify();
    ASSERT_TRUE(line(IDC_PROGRESS_LINE)->isVisible());
    QApplication::processEvents();
    EXPECT_EQ(window->size(), first);
    grabAndKeep(window.get(), "tillprobe-basic-after-error");
}

TEST_F(ViewTest, FieldLabelsAreBlackAndGroupTitlesBlue)
{
    open();
    const QImage shot = grabAndKeep(window.get(), "tillprobe-basic-colours");
    const QColor groupBlue(14, 71, 136);
    for (const char* text : {"Device type", "Device name", "Verify device"}) {
        QLabel* label = labelTexted(text);
        ASSERT_NE(label, nullptr);
        const QRect area(label->mapTo(window.get(), QPoint(0, 0)), label->size());
        EXPECT_TRUE(hasColour(shot, area, Qt::black)) << text;
        EXPECT_FALSE(hasColour(shot, area, groupBlue)) << text;
    }
    for (QGroupBox* group : window->findChildren<QGroupBox*>())
        EXPECT_EQ(group->palette().color(QPalette::WindowText), groupBlue) << group->title().toStdString();
}

TEST_F(ViewTest, TheFrenchMessageBoxHasQtsFrenchButtonsAndItsPictures)
{
    french();
    open();
    QStringList buttons;
    bool picture = false;
    bool icon = false;
    whenModalOpens([&](QWidget* dialog) {
        auto* box = static_cast<CMsgBox*>(dialog);
        for (CClrButton* button : {box->okButton(), box->yesButton(), box->noButton()})
            if (button->isVisible())
                buttons << button->text();
        picture = box->picture()->isVisible() && !box->picture()->pixmap().isNull();
        icon = !box->windowIcon().isNull();
        grabAndKeep(dialog, "tillprobe-message-box-french");
        box->okButton()->click();
    });
    window->ShowMessage(T(kWillBeClosed));
    EXPECT_EQ(buttons, QStringList{"OK"});
    EXPECT_TRUE(picture);
    EXPECT_TRUE(icon);

    CMsgBox question(window.get());
    question.SetText(QString::fromUtf8("Synchroniser ?"));
    question.SetQuestion(true);
    buttons.clear();
    whenModalOpens([&](QWidget* dialog) {
        auto* box = static_cast<CMsgBox*>(dialog);
        for (CClrButton* button : {box->okButton(), box->yesButton(), box->noButton()})
            if (button->isVisible())
                buttons << button->text();
        grabAndKeep(dialog, "tillprobe-question-box-french");
        box->noButton()->click();
    });
    question.exec();
    EXPECT_EQ(buttons, (QStringList{"Oui", "Non"}));
    EXPECT_EQ(question.Answer(), 0);
}

TEST_F(ViewTest, TheViewOpensInTheMiddleOfTheScreenWithTheProgramsIcon)
{
    open();
    EXPECT_TRUE(centredOnScreen(window.get()));
    EXPECT_FALSE(window->windowIcon().isNull());
}
