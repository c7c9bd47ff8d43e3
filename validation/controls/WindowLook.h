// What the two programs' windows share in their look: the program's icon
// and the first place of a main window, the middle of its screen.
#pragma once

#include <QIcon>

class QWidget;

// The program's icon: its initials, white on the title blue.
QIcon ProgramIcon(const QString& initials);
// The validation utility's icon (resource 128).
QIcon TillProbeIcon();

// Moves a top-level window to the middle of the screen it is on, keeping
// its top-left corner on the screen when the window is the larger.
void CentreOnScreen(QWidget* window);
// The same, once, when the window is first shown.
void CentreWhenFirstShown(QWidget* window);
