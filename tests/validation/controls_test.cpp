// The shared Qt controls: coloured buttons, tooltip combo boxes, the
// message box, the picture box and the scrolling dialog.
#include "ClrButton.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "QtTestApp.h"
#include "ScrollDialog.h"
#include "ScrollState.h"
#include "TTComboBox.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QFile>
#include <QTimer>

namespace {

QColor qc(Rgb c)
{
    return QColor(c.red, c.green, c.blue);
}

void pressKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

void moveMouse(QWidget* target, const QPoint& at)
{
    QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

}  // namespace

TEST(ClrButton, DisabledCaptionIsEmbossedOnTheFaceWhateverTheColours)
{
    vxtest::qtApp();
    CClrButton button("Add Device", nullptr);
    QFont font = button.font();
    font.setPointSize(16);
    font.setBold(true);
    button.setFont(font);
    button.resize(160, 40);
    button.SetColor({255, 0, 0}, {0, 0, 255});
    button.setEnabled(false);
    const QImage image = vxtest::grabAndKeep(&button, "clrbutton-disabled");
    const QRect inside = image.rect().adjusted(2, 2, -2, -2);
    EXPECT_EQ(QColor(image.pixel(5, 20)), qc(syscolor::kButtonFace));
    EXPECT_TRUE(vxtest::hasColour(image, inside, qc(syscolor::kWhite)));
    EXPECT_TRUE(vxtest::hasColour(image, inside, qc(syscolor::kEmbossGrey)));
    EXPECT_FALSE(vxtest::hasColour(image, image.rect(), QColor(255, 0, 0)));
    EXPECT_FALSE(vxtest::hasColour(image, image.rect(), QColor(0, 0, 255)));

    button.setEnabled(true);
    const QImage enabled = button.grab().toImage();
    EXPECT_EQ(QColor(enabled.pixel(5, 20)), QColor(0, 0, 255));
    EXPECT_TRUE(vxtest::hasColour(enabled, inside, QColor(255, 0, 0)));
    // Raised edges: highlight at the top-left, dark shadow at the bottom-right.
    EXPECT_EQ(QColor(enabled.pixel(0, 0)), qc(syscolor::kHighlight3d));
    EXPECT_EQ(QColor(enabled.pixel(159, 39)), qc(syscolor::kDarkShadow));
    EXPECT_EQ(QColor(enabled.pixel(1, 1)), qc(syscolor::kLight));
    EXPECT_EQ(QColor(enabled.pixel(158, 38)), qc(syscolor::kShadow));

    button.setDown(true);
    const QImage sunken = button.grab().toImage();
    EXPECT_EQ(QColor(sunken.pixel(0, 0)), qc(syscolor::kDarkShadow));
    EXPECT_EQ(QColor(sunken.pixel(1, 1)), qc(syscolor::kShadow));
}

TEST(TTComboBox, OnlyAnEntryTooWideForTheListShowsTheTooltipForNineSeconds)
{
    vxtest::qtApp();
    QWidget window;
    window.resize(300, 200);
    auto* combo = new CTTComboBox(&window);
    combo->setGeometry(10, 10, 90, 24);
    combo->addItems({"COM1", "An entry much too long for this narrow list to show", "HID1"});
    window.show();
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(view->isVisible());
    const QRect shortRow = view->visualRect(view->model()->index(0, 0));
    const QRect longRow = view->visualRect(view->model()->index(1, 0));
    QWidget* tooltip = CTTComboBox::TooltipWindow();
    ASSERT_NE(tooltip, nullptr);

    moveMouse(view->viewport(), shortRow.center());
    EXPECT_FALSE(tooltip->isVisible());
    moveMouse(view->viewport(), longRow.center());
    EXPECT_TRUE(tooltip->isVisible());
    EXPECT_TRUE(CTTComboBox::TooltipTimer()->isActive());
    EXPECT_EQ(CTTComboBox::TooltipTimer()->interval(), 9000);
    const QPoint rowOnScreen = view->viewport()->mapToGlobal(longRow.topLeft());
    EXPECT_EQ(tooltip->geometry().topLeft(), rowOnScreen - QPoint(2, 2));
    EXPECT_GT(tooltip->width(), longRow.width());
    // The timer ending hides it.
    QMetaObject::invokeMethod(CTTComboBox::TooltipTimer(), "timeout");
    EXPECT_FALSE(tooltip->isVisible());
    moveMouse(view->viewport(), shortRow.center());
    EXPECT_FALSE(tooltip->isVisible());
    combo->hidePopup();
}

TEST(TTComboBox, TheSharedTooltipGoesWithTheLastBox)
{
    vxtest::qtApp();
    auto* first = new CTTComboBox;
    auto* second = new CTTComboBox;
    QWidget* shared = CTTComboBox::TooltipWindow();
    ASSERT_NE(shared, nullptr);
    delete first;
    EXPECT_EQ(CTTComboBox::TooltipWindow(), shared);
    delete second;
    EXPECT_EQ(CTTComboBox::TooltipWindow(), nullptr);
}

TEST(MsgBox, AnswersFromButtonsKeysAndTheCloseBox)
{
    vxtest::qtApp();
    struct Case {
        const char* name;
        bool question;
        std::function<void(CMsgBox*)> act;
        int answer;
    };
    const Case cases[] = {
        {"close box on a question", true, [](CMsgBox* box) { box->close(); }, 0},
        {"Enter on Yes (the first focus)", true, [](CMsgBox* box) { pressKey(box, Qt::Key_Return); }, 1},
        {"Enter on No",
         true,
         [](CMsgBox* box) {
             box->noButton()->setFocus();
             pressKey(box, Qt::Key_Return);
         },
         0},
        {"Escape", true, [](CMsgBox* box) { pressKey(box, Qt::Key_Escape); }, 0},
        {"Yes clicked", true, [](CMsgBox* box) { box->yesButton()->click(); }, 1},
        {"OK by Enter", false, [](CMsgBox* box) { pressKey(box, Qt::Key_Return); }, 0},
    };
    for (const Case& c : cases) {
        CMsgBox box;
        box.SetText("Currently opened device will be closed automatically");
        box.SetQuestion(c.question);
        bool buttonsRight = false;
        vxtest::whenModalOpens([&](QWidget*) {
            buttonsRight = box.yesButton()->isVisible() == c.question && box.okButton()->isVisible() != c.question &&
                           box.focusWidget() == (c.question ? box.yesButton() : box.okButton());
            if (c.question) {
                const QImage image = vxtest::grabAndKeep(&box, "cmsgbox");
                EXPECT_EQ(QColor(image.pixel(5, 5)), QColor(224, 223, 228));
            }
            c.act(&box);
        });
        box.exec();
        EXPECT_TRUE(buttonsRight) << c.name;
        EXPECT_EQ(box.Answer(), c.answer) << c.name;
        EXPECT_FALSE(box.isVisible()) << c.name;
    }
}

TEST(PictureBox, PlacesTheImageByModeOnTheButtonFace)
{
    vxtest::qtApp();
    QImage source(20, 10, QImage::Format_RGB32);
    source.fill(QColor(200, 0, 0));
    ASSERT_TRUE(source.save("picture.png"));
    CPictureBox box;
    box.resize(100, 80);
    EXPECT_EQ(box.Mode(), kPictureCentred);
    EXPECT_FALSE(box.Load("missing.bmp"));
    EXPECT_FALSE(box.HasImage());
    EXPECT_FALSE(vxtest::hasColour(box.grab().toImage(), box.rect(), QColor(200, 0, 0)));
    ASSERT_TRUE(box.Load("picture.png"));

    struct Case {
        int mode;
        PictureRect where;
    };
    for (const Case& c : {Case{kPictureTopLeft, {0, 0, 20, 10}}, Case{kPictureCentred, {40, 35, 20, 10}},
                          Case{kPictureStretched, {0, 0, 100, 80}}}) {
        box.SetMode(c.mode);
        EXPECT_EQ(box.ImageRect(), c.where) << c.mode;
        const QImage image = vxtest::grabAndKeep(&box, "picturebox-mode" + std::to_string(c.mode));
        const QRect drawn(c.where.x, c.where.y, c.where.width, c.where.height);
        EXPECT_EQ(QColor(image.pixel(drawn.center())), QColor(200, 0, 0)) << c.mode;
        if (c.mode != kPictureStretched) {
            EXPECT_EQ(QColor(image.pixel(drawn.bottomRight() + QPoint(3, 3))), qc(syscolor::kButtonFace)) << c.mode;
        }
    }
    QFile file("picture.png");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(box.LoadFromStream(file.readAll()));
}

TEST(ScrollState, StepsFollowTheRequestAndStayInRange)
{
    ScrollState state;
    state.Initialise(300);
    EXPECT_EQ(state.OnSize(260), 0);
    EXPECT_EQ(state.Maximum(), 10);
    EXPECT_EQ(state.Page(), 10);
    struct Step {
        int code;
        int thumb;
        int pixels;
        int position;
    };
    const Step steps[] = {
        {SB_LINEUP, 0, 0, 0},         {SB_LINEDOWN, 0, -4, 1},    {SB_PAGEDOWN, 0, -36, 10},
        {SB_LINEDOWN, 0, 0, 10},      {SB_PAGEUP, 0, 40, 0},      {SB_THUMBTRACK, 4, -16, 4},
        {SB_THUMBPOSITION, 9, 0, 4},  {SB_BOTTOM, 0, -24, 10},    {SB_TOP, 0, 40, 0},
        {SB_THUMBTRACK, 25, -40, 10}, {SB_ENDSCROLL, 0, 0, 10},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(state.OnVScroll(s.code, s.thumb), s.pixels) << s.code;
        EXPECT_EQ(state.Position(), s.position) << s.code;
    }
    // Growing back scrolls the contents home and removes the range.
    EXPECT_EQ(state.OnSize(300), 40);
    EXPECT_EQ(state.Maximum(), 0);
    EXPECT_EQ(state.OnVScroll(SB_LINEDOWN, 0), 0);
    EXPECT_EQ(state.OnSize(400), 0);
    EXPECT_EQ(state.Maximum(), 0);
}

TEST(ScrollDialog, ShrinkingBy40PixelsAllowsTenStepsAndGrowingBackRemovesThem)
{
    vxtest::qtApp();
    CScrollDialog dialog;
    dialog.resize(400, 300);
    auto* label = new QLabel("bottom", &dialog);
    label->move(10, 280);
    dialog.show();
    dialog.Initialise();
    dialog.resize(400, 260);
    QApplication::processEvents();
    EXPECT_EQ(dialog.ScrollBar()->maximum(), 10);
    dialog.VScroll(SB_BOTTOM);
    EXPECT_EQ(label->y(), 240);
    EXPECT_EQ(dialog.ScrollBar()->value(), 10);
    dialog.resize(400, 300);
    QApplication::processEvents();
    EXPECT_EQ(dialog.ScrollBar()->maximum(), 0);
    EXPECT_EQ(label->y(), 280);
}
