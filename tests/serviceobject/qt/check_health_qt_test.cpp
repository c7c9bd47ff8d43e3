// The check-health dialog as Qt widgets, offscreen, in a process that runs
// a Qt Widgets application: chosen by the service object, run on the
// application's thread while the caller waits, a barcode's text queued to
// it; Enter on Pass passes, the close box fails.
#include "ICheckHealthView.h"

#include "QtTestApp.h"
#include "TestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Runs the application's events until `condition` holds (bounded).
bool pumpUntil(const std::function<bool()>& condition)
{
    return vxtest::waitUntil([&] {
        QApplication::processEvents();
        return condition();
    });
}

// Runs the dialog from a caller thread. The dialog runs its own event loop
// on this (the application's) thread, so the test acts from a timer inside
// that loop: `step` is called on each tick with the dialog until it
// returns true.
struct RunningDialog {
    std::unique_ptr<ICheckHealthView> view;
    std::atomic<int> result{-1};
    std::thread caller;

    int run(const std::function<bool(QWidget*)>& step)
    {
        vxtest::qtApp();
        view = MakeCheckHealthView();
        EXPECT_EQ(dynamic_cast<CScriptedCheckHealthView*>(view.get()), nullptr);
        QTimer timer;
        bool done = false;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!done && dialog != nullptr)
                done = step(dialog);
        });
        timer.start(5);
        caller = std::thread([this] { result = view->Run(CInteractive::kInstructions); });
        EXPECT_TRUE(pumpUntil([&] { return result.load() != -1; }));
        caller.join();
        return result.load();
    }
};

TEST(CheckHealthQt, EnterOnPassPassesAndTheTextArrivesQueued)
{
    RunningDialog running;
    int stage = 0;
    bool titled = false;
    const int result = running.run([&](QWidget* dialog) {
        auto* text = dialog->findChild<QTextEdit*>("BarcodeText");
        auto* pass = dialog->findChild<QPushButton*>("Pass");
        if (text == nullptr || pass == nullptr)
            return true;  // fails below: the dialog is never decided
        if (stage == 0) {
            titled = dialog->windowTitle() == "Interactive Check Health ";
            // From the event-window thread, as a barcode is read.
            std::thread([&] { CInteractive(running.view.get()).SetText("A\r\nB"); }).join();
            stage = 1;
            return false;
        }
        if (text->toPlainText() != "A[CR][LF]\nB")
            return false;
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(pass, &enter);
        return true;
    });
    EXPECT_TRUE(titled);
    EXPECT_EQ(result, 0);
}

TEST(CheckHealthQt, TheCloseBoxFails)
{
    RunningDialog running;
    EXPECT_EQ(running.run([](QWidget* dialog) { return dialog->close(), true; }), 111);
}

}  // namespace
