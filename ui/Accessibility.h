#pragma once

#include <QString>

class QAction;
class QApplication;
class QWidget;

namespace ostrel {

// What screen readers are told about the windows: every control, menu and menu
// item has an accessible name and description.
//
// Names are Qt's own (captions, titles, labels, the accessibleName of the
// layouts) wherever a control has one. Descriptions follow the hint display:
// a control without an accessibleDescription of its own is described by its
// hint, or by its nearest enclosing widget's description or hint, as the
// status bar would show it when the pointer rests on the control.
//
// Installed once on the application:
// - each time a window is shown, its widgets get the description above, its
//   menus the name of their title, its scroll bars a name and description of
//   their own, and a drop-down list the name and description of its combo box;
// - menu items are described by their hint, a menu title or a submenu item
//   by its menu's, and an item without a hint by its "accessibleDescription"
//   property (Qt's own menu items have no description at all).
void installAccessibility(QApplication& app);

// Gives the widgets of one window their names and descriptions now (what the
// application does when a window is shown).
void describeWindow(QWidget* window);

// The description of a menu item.
QString describeAction(const QAction* action);

} // namespace ostrel
