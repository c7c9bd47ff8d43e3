// What a user of the Basic View reads and sees: French texts on the output
// box and the two status lines next to a label's own bytes, a window that
// keeps its height whichever status line shows, and its labels' colours.
#include "ProbeStrings.h"
#include "ProbeTestSupport.h"
#include "QtTestApp.h"
#include "TestSupport.h"
#include "TillProbeWindow.h"

#include "ClrButton.h"
#include "MsgBox.h"
#include "QtMessagePump.h"
#include "QtTranslations.h"
#include "platform/registry.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <filesystem>
#include <fstream>

using namespace vxtest;
using namespace probe;

namespace {

class BasicLookTest : public ProbeTest {
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
        // The next test of the program finds no device of this one.
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner");
    }
    void open()
    {
        window = std::make_unique<TillProbeWindow>(&control, &imageControl);
        window->show();
        QApplication::processEvents();
    }
    // The shipped French texts, with the service object's failure given an
    // accented text of its own (the shipped one has no accent to garble).
    void french()
    {
        setenv("LANG", "fr_FR.UTF-8", 1);
        std::ofstream out("TillProbeFrench.strings", std::ios::binary);
        out << "33059\tErreur côté objet de service\n";
        std::ifstream shipped(programDirectory() + "/TillProbeFrench.strings", std::ios::binary);
        out << shipped.rdbuf();
        EXPECT_TRUE(InstallQtTranslations());
    }
    QComboBox* devices() { return static_cast<QComboBox*>(window->Control(IDC_COMBO_DEVICE)); }
    QLabel* line(int id) { return static_cast<QLabel*>(window->Control(id)); }
    QString output() { return static_cast<QTextEdit*>(window->Control(IDC_OUTPUT))->toPlainText(); }
    void pick(const QString& device)
    {
        const int index = devices()->findText(device);
        ASSERT_GE(index, 0) << device.toStdString();
        devices()->setCurrentIndex(index);
        emit devices()->activated(index);
    }
    void pressVerify() { QTest::mouseClick(window->Control(IDC_BTN_VERIFY), Qt::LeftButton); }
    void tick() { QMetaObject::invokeMethod(window->CountdownTimer(), "timeout"); }
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

TEST_F(BasicLookTest, FrenchTextsAndALabelsOwnBytesReadBackAsWritten)
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

TEST_F(BasicLookTest, TheWindowKeepsItsSizeWhicheverStatusLineShows)
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

TEST_F(BasicLookTest, FieldLabelsAreBlackAndGroupTitlesBlue)
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

TEST_F(BasicLookTest, TheFrenchMessageBoxHasQtsFrenchButtonsAndItsPictures)
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

TEST_F(BasicLookTest, TheViewOpensInTheMiddleOfTheScreenWithTheProgramsIcon)
{
    open();
    const QRect screen = window->screen()->availableGeometry();
    const QPoint middle = window->frameGeometry().center();
    EXPECT_LE(std::abs(middle.x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(middle.y() - screen.center().y()), 1);
    EXPECT_FALSE(window->windowIcon().isNull());
}
