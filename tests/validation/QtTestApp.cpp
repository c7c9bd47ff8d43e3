#include "QtTestApp.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <cstdlib>
#include <memory>

namespace vxtest {

QApplication& qtApp()
{
    static int argc = 1;
    static char name[] = "vxtest";
    static char* argv[] = {name, nullptr};
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

void whenModalOpens(std::function<void(QWidget* dialog)> action)
{
    // A request whose dialog never came (its test failed first) would act
    // on the next test's dialog with what that test left behind: the new
    // request replaces it.
    static QPointer<QTimer> pending;
    if (pending) {
        pending->stop();
        pending->deleteLater();
    }
    auto shared = std::make_shared<std::function<void(QWidget*)>>(std::move(action));
    auto timer = new QTimer;
    pending = timer;
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [timer, shared] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        (*shared)(modal);
    });
    timer->start();
}

QImage grabAndKeep(QWidget* widget, const std::string& name)
{
    const QImage image = widget->grab().toImage();
    if (const char* dir = std::getenv("VX_SHOTS_DIR")) {
        QDir().mkpath(dir);
        image.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
    }
    return image;
}

bool hasColour(const QImage& image, const QRect& area, const QColor& colour)
{
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            if (QColor(image.pixel(x, y)).rgb() == colour.rgb())
                return true;
    return false;
}

bool centredOnScreen(const QWidget* window)
{
    const QPoint screen = window->screen()->availableGeometry().center();
    const QPoint middle = window->frameGeometry().center();
    return std::abs(middle.x() - screen.x()) <= 1 && std::abs(middle.y() - screen.y()) <= 1;
}

}  // namespace vxtest

// LeakSanitizer: the font library that Qt's text rendering loads keeps its
// configuration caches for the life of the process and never frees them;
// they are not ours to fix.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
