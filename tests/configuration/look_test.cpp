// What a user of TillSetup types and reads: a device name kept to what the
// registry can hold, the auto-detect words and Qt's own buttons in French,
// and the window's place on the screen.
#include "ConfigDialogs.h"
#include "ConfigTestSupport.h"
#include "ConfigWindowSupport.h"
#include "ConfigurationWindow.h"
#include "QtTestApp.h"
#include "QtTranslations.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <filesystem>

using namespace vxtest;
using namespace ctl;

namespace {

class SetupLookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startInEnglish();
        InstallQtTranslations();
    }
    void TearDown() override
    {
        window.reset();
        for (const char* name : {"Till\xE9", "Till?\xE9", "Caisse"})
            deleteKeyTree(devicePath(name));
        setenv("LANG", "en_US.UTF-8", 1);
        InstallQtTranslations();
    }
    void french()
    {
        setenv("LANG", "fr_FR.UTF-8", 1);
        std::filesystem::copy_file(programDirectory() + "/TillSetupFrench.strings", "TillSetupFrench.strings",
                                   std::filesystem::copy_options::overwrite_existing);
        InstallQtTranslations();
    }
    void open() { window = vxtest::openConfigurationWindow(); }
    QComboBox* combo(int id) { return static_cast<QComboBox*>(window->Control(id)); }
    void pick(int id, const QString& text) { vxtest::pickEntry(combo(id), text); }
    // Typed one character at a time, as a keyboard sends them (QTest maps
    // only ASCII to keys).
    void type(QLineEdit* edit, const QString& text)
    {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
            QApplication::sendEvent(edit, &release);
        }
    }
    // Closes the next modal dialog (the flow's message) with Enter.
    void answerModal()
    {
        whenModalOpens([this](QWidget* dialog) {
            if (auto* label = dialog->findChild<QLabel*>("IDC_MSGTEXT"))
                message = label->text();
            QTest::keyClick(dialog, Qt::Key_Return);
            if (dialog->isVisible())
                static_cast<QDialog*>(dialog)->done(0);
        });
    }

    std::unique_ptr<ConfigurationWindow> window;
    QString message;
};

}  // namespace

TEST_F(SetupLookTest, ANameTakesOnlyWhatTheRegistryCanHold)
{
    open();
    auto* name = static_cast<QLineEdit*>(window->Control(IDC_ENTERDEVICENAME));
    name->clear();
    name->setFocus();
    type(name, QString::fromUtf8("Till€é"));
    EXPECT_EQ(name->text(), QString::fromUtf8("Tillé"));

    answerModal();
    static_cast<QAbstractButton*>(window->Control(IDC_ADDBUTTON))->click();
    QApplication::processEvents();
    EXPECT_EQ(message, "Device added successfully");
    EXPECT_TRUE(keyExists(devicePath("Till\xE9")));
    EXPECT_FALSE(keyExists(devicePath("Till?\xE9")));
}

TEST_F(SetupLookTest, FrenchShowsTheAutoDetectWordsAndStoresTheRegistryOnes)
{
    french();
    open();
    QComboBox* autoDetect = combo(IDC_CONNECTIONCOMBO);
    ASSERT_EQ(autoDetect->count(), 2);
    EXPECT_EQ(autoDetect->itemText(0), "Vrai");
    EXPECT_EQ(autoDetect->itemText(1), "Faux");

    pick(IDC_CONNECTIONCOMBO, "Faux");
    pick(IDC_COMPORTCOMBO, "COM3");
    auto* name = static_cast<QLineEdit*>(window->Control(IDC_ENTERDEVICENAME));
    name->clear();
    type(name, "Caisse");
    answerModal();
    static_cast<QAbstractButton*>(window->Control(IDC_ADDBUTTON))->click();
    QApplication::processEvents();
    EXPECT_TRUE(message.startsWith(QString::fromUtf8("Appareil ajouté"))) << message.toStdString();
    const auto values = storedValues(devicePath("Caisse"));
    EXPECT_NE(std::find(values.begin(), values.end(), StoredValue{"AUTODETECT", REG_SZ, sz("False")}), values.end());
    EXPECT_NE(std::find(values.begin(), values.end(), StoredValue{"PORT", REG_SZ, sz("COM3")}), values.end());

    // A stored "False" reads back as the French word, with its port.
    static_cast<QAbstractButton*>(window->Control(IDC_EDITREMOVERADIO))->click();
    QApplication::processEvents();
    pick(IDC_DEVICENAMECOMBO, "Caisse");
    EXPECT_EQ(autoDetect->currentText(), "Faux");
    EXPECT_TRUE(window->Control(IDC_COMPORTCOMBO)->isEnabled());
    EXPECT_EQ(combo(IDC_COMPORTCOMBO)->currentText(), "COM3");
    grabAndKeep(window.get(), "tillsetup-french-edit");
}

TEST_F(SetupLookTest, QtsOwnButtonsSpeakFrenchInTheSavePrompt)
{
    for (const bool inFrench : {false, true}) {
        SCOPED_TRACE(inFrench);
        if (inFrench)
            french();
        CAddDevice prompt("?", nullptr);
        QStringList shown;
        whenModalOpens([&](QWidget* dialog) {
            for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
                shown << b->text();
            grabAndKeep(dialog, inFrench ? "tillsetup-save-prompt-french" : "tillsetup-save-prompt");
            static_cast<QDialog*>(dialog)->done(0);
        });
        prompt.exec();
        shown.sort();
        if (inFrench)
            EXPECT_EQ(shown, (QStringList{"Annuler", "Non", "Oui"}));
        else
            EXPECT_EQ(shown, (QStringList{"Cancel", "No", "Yes"}));
    }
}

TEST_F(SetupLookTest, TheMainWindowOpensInTheMiddleOfTheScreenWithItsIcon)
{
    open();
    EXPECT_TRUE(centredOnScreen(window.get()));
    EXPECT_FALSE(window->windowIcon().isNull());
}
