// One QApplication for a test process (offscreen unless the environment
// says otherwise), and helpers for the dialog tests.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <ostream>
#include <string>

class QApplication;

namespace vxtest {

QApplication& qtApp();

// Runs `action` once the next modal dialog is open (from the event loop),
// then the caller's modal exec() continues. `action` gets the dialog. A
// request replaces one still waiting.
void whenModalOpens(std::function<void(QWidget* dialog)> action);

// A grab of the widget; saved as PNG under $VX_SHOTS_DIR/<name>.png when
// that variable is set.
QImage grabAndKeep(QWidget* widget, const std::string& name);

// Whether any pixel of `image` inside `area` has exactly `colour`.
bool hasColour(const QImage& image, const QRect& area, const QColor& colour);

// Whether the window's frame has its middle within a pixel of the middle of
// its screen's free area.
bool centredOnScreen(const QWidget* window);

}  // namespace vxtest

// Failures show a QString as its text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
