// What a user of the Advanced View reads: every status text whole in the
// status line, a label of two lines in the ScanData boxes, and the
// statistics XML indented by narrow tabs.
// Before Qt's headers, whose "slots" it would meet.
#include "ControlFixtures.h"

#include "AdvancedMethodTexts.h"
#include "AdvancedStrings.h"
#include "AdvancedTestSupport.h"
#include "AdvancedWindow.h"
#include "ProbeStrings.h"
#include "QtTestApp.h"
#include "TestSupport.h"

#include "QtMessagePump.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include <filesystem>

using namespace vxtest;
using namespace adv;

namespace {

class AdvancedLookTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        qtApp();
        pump = std::make_unique<QtMessagePump>();
        control.SetNumber("State", 2);
        window = std::make_unique<AdvancedWindow>(&control, &imageControl);
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        window.reset();
        pump.reset();
        AdvancedTest::TearDown();
    }
    AdvancedViewModel& shown() { return window->Controller().Model(); }
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

}  // namespace

TEST_F(AdvancedLookTest, EveryStatusTextFitsTheStatusLine)
{
    auto* status = static_cast<QLabel*>(window->Control(IDC_STATIC_STATUS));
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

TEST_F(AdvancedLookTest, ALabelOfTwoLinesShowsBothInTheScanDataBoxes)
{
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

TEST_F(AdvancedLookTest, TheStatisticsXmlIsIndentedByNarrowTabs)
{
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

TEST_F(AdvancedLookTest, FrenchTrueAndFalseWordsComeFromTheStringsFileAndStillDriveTheSetters)
{
    window.reset();
    setenv("LANG", "fr_FR.UTF-8", 1);
    std::filesystem::copy_file(programDirectory() + "/TillProbeFrench.strings", "TillProbeFrench.strings",
                               std::filesystem::copy_options::overwrite_existing);
    window = std::make_unique<AdvancedWindow>(&control, &imageControl);
    window->show();
    QApplication::processEvents();
    auto* list = static_cast<QComboBox*>(window->Control(IDC_COMBO_DEVICEENABLE));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "Vrai");
    EXPECT_EQ(list->itemText(1), "Faux");

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
