// A dialog window's controls and menu commands by the ids its controller
// names them with, and the program's other top-level windows by title.
#pragma once

#include <QApplication>
#include <QWidget>

#include <map>

namespace dialog {

// The item registered under `id`, or null.
template <class Item>
Item* itemById(const std::map<int, Item*>& items, int id)
{
    const auto found = items.find(id);
    return found == items.end() ? nullptr : found->second;
}

// The id of the nearest registered control that is `widget` or holds it
// (a combo box's line edit belongs to the combo box); 0 when none does.
inline int idOfControl(const std::map<int, QWidget*>& controls, const QWidget* widget)
{
    for (; widget != nullptr; widget = widget->parentWidget())
        for (const auto& [id, control] : controls)
            if (control == widget)
                return id;
    return 0;
}

// Brings the program's shown top-level window titled `title` forward,
// restored when minimised; false when there is none.
inline bool raiseWindowTitled(const QString& title)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == title) {
            if (widget->isMinimized())
                widget->showNormal();
            widget->raise();
            widget->activateWindow();
            return true;
        }
    }
    return false;
}

// Closes the program's shown top-level windows titled `title`, but `self`.
inline void closeWindowsTitled(const QString& title, const QWidget* self)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != self && widget->isVisible() && widget->windowTitle() == title)
            widget->close();
}

}  // namespace dialog
