// TillProbe's small dialogs, driven offscreen: the DirectIO entry, the
// error event question and the full image window.
#include "CDirectIO.h"
#include "CDispImage.h"
#include "CErrorEvent.h"
#include "ClrButton.h"
#include "DialogLook.h"
#include "PictureBox.h"
#include "QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

#include <functional>
#include <string>

namespace {

// Where a key typed now goes: the focused control, else the dialog.
QWidget* keyTarget(QWidget* dialog)
{
    QWidget* focused = dialog->focusWidget();
    return focused != nullptr ? focused : dialog;
}

void pressKey(QWidget* dialog, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(keyTarget(dialog), &press);
}

void typeText(QWidget* dialog, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(keyTarget(dialog), &press);
    }
}

// Runs the dialog modally with `action` done once it is open; the end code.
int runWith(QDialog& dialog, std::function<void(QDialog&)> action)
{
    vxtest::qtApp();
    vxtest::whenModalOpens([&dialog, action](QWidget*) { action(dialog); });
    return dialog.exec();
}

bool near(QColor a, QColor b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QColor qc(Rgb c)
{
    return QColor(c.red, c.green, c.blue);
}

// ---- DirectIO entry ------------------------------------------------------

TEST(DirectIOEntry, ShowsItsOwnTextsInItsColours)
{
    vxtest::qtApp();
    CDirectIO dialog;
    QImage shot;
    const int code = runWith(dialog, [&shot](QDialog& d) {
        auto& entry = static_cast<CDirectIO&>(d);
        EXPECT_EQ(entry.windowTitle(), "DirectIO");
        EXPECT_EQ(entry.helpLabel()->text(),
                  "Type a valid command that the device supports, and click Send.\nThis dialog box closes after "
                  "clicking Send button.\nThe result is displayed in Advanced View output box.");
        EXPECT_EQ(entry.sendButton()->text(), "Send");
        EXPECT_EQ(entry.entryLabel()->text(), "Serial Command");
        EXPECT_EQ(entry.sendButton()->toolTip(), "Click to call DirectIO method");
        EXPECT_EQ(entry.focusWidget(), entry.entry());
        EXPECT_EQ(entry.sendButton()->BackgroundColor(), kProbeFace);
        EXPECT_EQ(entry.sendButton()->TextColor(), syscolor::kBlack);
        typeText(&entry, "SERNUM?");
        shot = vxtest::grabAndKeep(&entry, "tillprobe-directio");
        entry.sendButton()->click();
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(dialog.m_strValue, "SERNUM?");
    // The face, and the entry white.
    EXPECT_EQ(QColor(shot.pixel(2, 2)), qc(kProbeFace));
    const QRect entryArea = dialog.entry()->geometry().adjusted(4, 4, -4, -4);
    EXPECT_TRUE(vxtest::hasColour(shot, entryArea, Qt::white));
}

TEST(DirectIOEntry, CallersTextsReplaceTheDefaults)
{
    vxtest::qtApp();
    CDirectIO dialog;
    dialog.m_strHelpText = "Enter a valid numeric command timeout value and click Set.";
    dialog.m_strButtonText = "Set";
    dialog.m_strLabel = "TimeOut (in msec)";
    runWith(dialog, [](QDialog& d) {
        auto& entry = static_cast<CDirectIO&>(d);
        EXPECT_EQ(entry.helpLabel()->text(), "Enter a valid numeric command timeout value and click Set.");
        EXPECT_EQ(entry.sendButton()->text(), "Set");
        EXPECT_EQ(entry.entryLabel()->text(), "TimeOut (in msec)");
        for (QLabel* label : entry.findChildren<QLabel*>()) {
            EXPECT_FALSE(label->text().contains("Serial Command"));
            EXPECT_FALSE(label->text().contains("Type a valid command"));
        }
        entry.close();
    });
}

TEST(DirectIOEntry, EmptyTextsComeFromTheLanguageModule)
{
    vxtest::qtApp();
    CLanguageManager::GetInstance().SetProgramStrings(
        {{dlgstr::kDirectIOHelp, "Program help"}, {dlgstr::kSendButton, "Go"}, {dlgstr::kSerialCommandLabel, "Cmd"}});
    CDirectIO dialog;
    dialog.m_strHelpText.clear();
    dialog.m_strButtonText.clear();
    dialog.m_strLabel.clear();
    runWith(dialog, [](QDialog& d) {
        auto& entry = static_cast<CDirectIO&>(d);
        EXPECT_EQ(entry.helpLabel()->text(), "Program help");
        EXPECT_EQ(entry.sendButton()->text(), "Go");
        EXPECT_EQ(entry.entryLabel()->text(), "Cmd");
        entry.close();
    });
    CLanguageManager::GetInstance().ResetForTesting();
}

struct EntryEnd {
    const char* name;
    QString typed;
    std::function<void(CDirectIO&)> end;
    int code;
    std::string value;
};

void PrintTo(const EntryEnd& row, std::ostream* os)
{
    *os << row.name;
}

class DirectIOEnd : public ::testing::TestWithParam<EntryEnd> {};

TEST_P(DirectIOEnd, EndsWithItsCodeAndTheTextAsTyped)
{
    vxtest::qtApp();
    CDirectIO dialog;
    dialog.m_strValue = "left from before";
    const EntryEnd& row = GetParam();
    const int code = runWith(dialog, [&row](QDialog& d) {
        auto& entry = static_cast<CDirectIO&>(d);
        typeText(&entry, row.typed);
        row.end(entry);
    });
    EXPECT_EQ(code, row.code);
    if (row.code == 1)
        EXPECT_EQ(dialog.m_strValue, row.value);
    else
        EXPECT_EQ(dialog.m_strValue, "left from before");
}

const EntryEnd kEntryEnds[] = {
    {"SendButton", " P_INFO ", [](CDirectIO& d) { d.sendButton()->click(); }, 1, " P_INFO "},
    {"EnterInTheEntry", "30000", [](CDirectIO& d) { pressKey(&d, Qt::Key_Return); }, 1, "30000"},
    {"EnterOnTheFocusedSendButton", "abc",
     [](CDirectIO& d) {
         d.sendButton()->setFocus();
         pressKey(&d, Qt::Key_Enter);
     },
     1, "abc"},
    {"EmptyEntry", "", [](CDirectIO& d) { d.sendButton()->click(); }, 1, ""},
    {"CloseBox", "typed", [](CDirectIO& d) { d.close(); }, 2, ""},
    {"Escape", "typed", [](CDirectIO& d) { pressKey(&d, Qt::Key_Escape); }, 2, ""},
};

INSTANTIATE_TEST_SUITE_P(Ends, DirectIOEnd, ::testing::ValuesIn(kEntryEnds),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Error event ----------------------------------------------------------

enum class Act { Escape, CloseBox, EnterAtFirstFocus, TabToClearEnter, TabToContinueEnter, ClickClear, ClickContinue };

struct ErrorCase {
    int locus;
    Act act;
    int response;
};

// Presses Tab until `target` has the focus (false when it never comes).
bool tabTo(CErrorEvent& dialog, CClrButton* target)
{
    for (int i = 0; i < 12; ++i) {
        pressKey(&dialog, Qt::Key_Tab);
        if (dialog.FocusedButton() == target)
            return true;
    }
    return false;
}

void act(CErrorEvent& dialog, Act what)
{
    switch (what) {
    case Act::Escape:
        pressKey(&dialog, Qt::Key_Escape);
        break;
    case Act::CloseBox:
        dialog.close();
        break;
    case Act::EnterAtFirstFocus:
        pressKey(&dialog, Qt::Key_Return);
        break;
    case Act::TabToClearEnter:
        ASSERT_TRUE(tabTo(dialog, dialog.clearButton()));
        pressKey(&dialog, Qt::Key_Return);
        break;
    case Act::TabToContinueEnter:
        ASSERT_TRUE(tabTo(dialog, dialog.continueButton()));
        pressKey(&dialog, Qt::Key_Enter);
        break;
    case Act::ClickClear:
        dialog.clearButton()->click();
        break;
    case Act::ClickContinue:
        dialog.continueButton()->click();
        break;
    }
}

std::string actName(Act what)
{
    switch (what) {
    case Act::Escape: return "Escape";
    case Act::CloseBox: return "CloseBox";
    case Act::EnterAtFirstFocus: return "EnterAtFirstFocus";
    case Act::TabToClearEnter: return "TabToClearEnter";
    case Act::TabToContinueEnter: return "TabToContinueEnter";
    case Act::ClickClear: return "ClickClear";
    case Act::ClickContinue: return "ClickContinue";
    }
    return "";
}

void PrintTo(const ErrorCase& row, std::ostream* os)
{
    *os << "locus " << row.locus << ", " << actName(row.act) << " -> " << row.response;
}

class ErrorEventResponse : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorEventResponse, EndsWithTheChosenResponse)
{
    vxtest::qtApp();
    CErrorEvent dialog;
    dialog.m_nResponse = GetParam().locus;
    bool stillOpen = true;
    runWith(dialog, [&stillOpen](QDialog& d) {
        act(static_cast<CErrorEvent&>(d), GetParam().act);
        stillOpen = d.isVisible();
        if (stillOpen)
            d.reject();
    });
    EXPECT_FALSE(stillOpen);
    EXPECT_EQ(dialog.m_nResponse, GetParam().response);
}

// Escape and the close box keep the locus's default; Enter presses the
// focused button (the locus's own at first, the hidden Retry for output);
// an unknown locus ends with clear.
const ErrorCase kErrorCases[] = {
    {1, Act::Escape, 11},
    {2, Act::Escape, 12},
    {3, Act::Escape, 13},
    {0, Act::Escape, 12},
    {1, Act::CloseBox, 11},
    {2, Act::CloseBox, 12},
    {3, Act::CloseBox, 13},
    {0, Act::CloseBox, 12},
    {1, Act::EnterAtFirstFocus, 11},
    {2, Act::EnterAtFirstFocus, 12},
    {3, Act::EnterAtFirstFocus, 13},
    {1, Act::TabToClearEnter, 12},
    {1, Act::TabToContinueEnter, 13},
    {2, Act::TabToContinueEnter, 13},
    {3, Act::TabToClearEnter, 12},
    {0, Act::TabToClearEnter, 12},
    {0, Act::TabToContinueEnter, 13},
    {1, Act::ClickClear, 12},
    {1, Act::ClickContinue, 13},
    {2, Act::ClickContinue, 13},
    {3, Act::ClickClear, 12},
    {0, Act::ClickContinue, 13},
    {7, Act::Escape, 12},
    {-1, Act::CloseBox, 12},
};

INSTANTIATE_TEST_SUITE_P(Loci, ErrorEventResponse, ::testing::ValuesIn(kErrorCases), [](const auto& info) {
    const int locus = info.param.locus;
    return "Locus" + (locus < 0 ? "Minus" + std::to_string(-locus) : std::to_string(locus)) + actName(info.param.act);
});

struct LocusShown {
    int locus;
    const char* name;
    const char* firstFocus;  // object name of the button Enter presses at first
};

TEST(ErrorEvent, ShowsTheLocusByNameAndFocusesItsButton)
{
    vxtest::qtApp();
    const LocusShown cases[] = {{1, "OPOS_EL_OUTPUT", "1124"},
                                {2, "OPOS_EL_INPUT", "1125"},
                                {3, "OPOS_EL_INPUT_DATA", "1126"},
                                {0, "OPOS_EL_INPUT", "1127"}};
    for (const LocusShown& c : cases) {
        SCOPED_TRACE(c.locus);
        CErrorEvent dialog;
        dialog.m_nResponse = c.locus;
        runWith(dialog, [&c](QDialog& d) {
            auto& e = static_cast<CErrorEvent&>(d);
            EXPECT_EQ(e.windowTitle(), "Error Event");
            EXPECT_EQ(e.locusName()->text(), c.name);
            EXPECT_TRUE(e.locusName()->font().bold());
            EXPECT_EQ(e.findChild<QLabel*>("1363")->text(), "Error Locus : ");
            EXPECT_FALSE(e.retryButton()->isVisible());
            EXPECT_TRUE(e.clearButton()->isVisible());
            EXPECT_TRUE(e.continueButton()->isVisible());
            ASSERT_NE(e.FocusedButton(), nullptr);
            EXPECT_EQ(e.FocusedButton()->objectName(), c.firstFocus);
            for (CClrButton* b : {e.clearButton(), e.continueButton(), e.expandButton()}) {
                EXPECT_EQ(b->BackgroundColor(), kProbeFace);
                EXPECT_EQ(b->TextColor(), syscolor::kBlack);
            }
            e.reject();
        });
    }
}

TEST(ErrorEvent, UnknownLocusEnterAtFirstFocusOpensTheDetails)
{
    vxtest::qtApp();
    CErrorEvent dialog;
    dialog.m_nResponse = 0;
    runWith(dialog, [](QDialog& d) {
        auto& e = static_cast<CErrorEvent&>(d);
        pressKey(&e, Qt::Key_Return);
        EXPECT_TRUE(e.isVisible());
        EXPECT_EQ(e.height(), e.ExpandedHeight());
        EXPECT_EQ(e.FocusedButton(), e.collapseButton());
        pressKey(&e, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.m_nResponse, 12);
}

TEST(ErrorEvent, DetailsOpenAndCloseWithTheTextHiddenWhenCollapsed)
{
    vxtest::qtApp();
    CErrorEvent dialog;
    dialog.m_nResponse = 2;
    runWith(dialog, [](QDialog& d) {
        auto& e = static_cast<CErrorEvent&>(d);
        QLabel* details = e.detailsText();
        EXPECT_EQ(details->text(),
                  "An error has occurred while processing data. \nClick one of the above buttons to continue.\n"
                  "Clear: Clear all buffered input data.\nContinue Input: Continue processing data.");
        EXPECT_LT(e.CollapsedHeight(), e.ExpandedHeight());

        // Collapsed: "<<Details" shows, the text lies wholly below the window.
        EXPECT_EQ(e.size(), QSize(CErrorEvent::kWidth, e.CollapsedHeight()));
        EXPECT_TRUE(e.expandButton()->isVisible());
        EXPECT_FALSE(e.collapseButton()->isVisible());
        EXPECT_EQ(e.expandButton()->text(), "<<Details");
        EXPECT_GE(details->geometry().top(), e.height());
        EXPECT_LE(e.clearButton()->geometry().bottom(), e.height());
        EXPECT_LE(e.expandButton()->geometry().bottom(), e.height());
        const QImage collapsed = vxtest::grabAndKeep(&e, "tillprobe-error-collapsed");
        EXPECT_EQ(collapsed.height(), e.CollapsedHeight());

        e.expandButton()->click();
        EXPECT_TRUE(e.isVisible());
        EXPECT_EQ(e.size(), QSize(CErrorEvent::kWidth, e.ExpandedHeight()));
        EXPECT_FALSE(e.expandButton()->isVisible());
        EXPECT_TRUE(e.collapseButton()->isVisible());
        EXPECT_EQ(e.collapseButton()->text(), ">>Details");
        EXPECT_EQ(e.FocusedButton(), e.collapseButton());
        EXPECT_LE(details->geometry().bottom(), e.height());
        // The text's needed height fits in its box.
        const QRect needed = details->fontMetrics().boundingRect(QRect(0, 0, details->width(), 10000),
                                                                 Qt::TextWordWrap, details->text());
        EXPECT_LE(needed.height(), details->height());
        const QImage expanded = vxtest::grabAndKeep(&e, "tillprobe-error-expanded");
        EXPECT_TRUE(vxtest::hasColour(expanded, details->geometry(), Qt::black));

        e.collapseButton()->click();
        EXPECT_EQ(e.size(), QSize(CErrorEvent::kWidth, e.CollapsedHeight()));
        EXPECT_TRUE(e.expandButton()->isVisible());
        EXPECT_FALSE(e.collapseButton()->isVisible());
        e.clearButton()->click();
    });
    EXPECT_EQ(dialog.m_nResponse, 12);
}

// ---- Full image -----------------------------------------------------------

const QColor kQuadrants[4] = {QColor(255, 0, 0), QColor(0, 0, 255), QColor(0, 160, 0), QColor(255, 255, 0)};

// A 160 x 120 picture (smaller than the window) in four coloured quarters,
// encoded as `format`.
QByteArray quadrantImage(const char* format)
{
    QImage image(160, 120, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 80, 60, kQuadrants[0]);
    painter.fillRect(80, 0, 80, 60, kQuadrants[1]);
    painter.fillRect(0, 60, 80, 60, kQuadrants[2]);
    painter.fillRect(80, 60, 80, 60, kQuadrants[3]);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
}

class FullImage : public ::testing::TestWithParam<const char*> {};

TEST_P(FullImage, IsStretchedOverTheWholeWindow)
{
    vxtest::qtApp();
    CDispImage dialog;
    {
        QByteArray stream = quadrantImage(GetParam());
        ASSERT_FALSE(stream.isEmpty());
        dialog.ShowImage(stream);
        stream.fill('\0');  // the caller's data is its own again
    }
    QImage shot;
    runWith(dialog, [&shot](QDialog& d) {
        shot = vxtest::grabAndKeep(&d, std::string("tillprobe-full-image") +
                                           (std::string(GetParam()) == "JPEG" ? "" : "-" + std::string(GetParam())));
        d.close();
    });
    EXPECT_EQ(dialog.windowTitle(), "Image");
    EXPECT_EQ(dialog.pictureBox()->Mode(), kPictureStretched);
    EXPECT_EQ(dialog.pictureBox()->geometry(), dialog.rect());
    const int w = shot.width();
    const int h = shot.height();
    ASSERT_GT(w, 100);
    ASSERT_GT(h, 100);
    // Each quarter reaches its corner of the window and close to the middle
    // lines (a twentieth of the window off them, clear of the encoding's
    // blur).
    const int dx = w / 20;
    const int dy = h / 20;
    const QPoint probes[4][2] = {{{3, 3}, {w / 2 - dx, h / 2 - dy}},
                                 {{w - 4, 3}, {w / 2 + dx, h / 2 - dy}},
                                 {{3, h - 4}, {w / 2 - dx, h / 2 + dy}},
                                 {{w - 4, h - 4}, {w / 2 + dx, h / 2 + dy}}};
    for (int q = 0; q < 4; ++q)
        for (const QPoint& at : probes[q])
            EXPECT_TRUE(near(QColor(shot.pixel(at)), kQuadrants[q], 48))
                << GetParam() << " quarter " << q << " at " << at.x() << "," << at.y() << ": "
                << QColor(shot.pixel(at)).name().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Formats, FullImage, ::testing::Values("BMP", "JPEG", "TIFF"),
                         [](const auto& info) { return std::string(info.param); });

TEST(FullImage, UnreadableDataGivesAnEmptyWindowAndNoMessage)
{
    vxtest::qtApp();
    const QByteArray unreadable[] = {QByteArray("this is no picture at all"), QByteArray(),
                                     quadrantImage("BMP").left(10)};
    for (const QByteArray& stream : unreadable) {
        CDispImage dialog;
        dialog.ShowImage(stream);
        QImage shot;
        QWidget* modal = nullptr;
        runWith(dialog, [&](QDialog& d) {
            modal = QApplication::activeModalWidget();
            shot = d.grab().toImage();
            d.close();
        });
        EXPECT_EQ(modal, &dialog);
        EXPECT_FALSE(dialog.pictureBox()->HasImage());
        for (QWidget* top : QApplication::topLevelWidgets())
            EXPECT_FALSE(top->isVisible()) << top->metaObject()->className();
        // Every pixel is the button face.
        bool allFace = true;
        for (int y = 0; y < shot.height() && allFace; ++y)
            for (int x = 0; x < shot.width() && allFace; ++x)
                allFace = QColor(shot.pixel(x, y)) == qc(syscolor::kButtonFace);
        EXPECT_TRUE(allFace);
    }
}

}  // namespace
