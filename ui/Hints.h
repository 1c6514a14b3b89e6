#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QAction;
class QMenu;
class QWidget;

namespace ostrel {

// The application's current hint text, kept as the desktop it was written for
// keeps it, and the end of tooltips.
//
// - Whenever the application falls idle and no menu is open, the hint is that
//   of the widget under the pointer (disabled ones included): its status tip,
//   or that of its nearest enclosing widget that has one, or the empty text.
// - While a menu is open, each highlighted item (a menu-bar title, an item of
//   a drop-down, a submenu or a pop-up menu) sets the hint to its status tip
//   (a title's or a submenu item's is its menu's); when the menus close, the
//   hint becomes the empty text.
// - hintChanged fires each time the hint becomes a different text.
//
// The tracker filters every event of the application: it swallows tooltip
// events, so that no widget shows its tooltip, and Qt's own status-tip events,
// so that hints reach a status bar only through hintChanged.
class HintTracker : public QObject {
    Q_OBJECT

public:
    // The tracker of the running application, created and installed on the
    // first call.
    static HintTracker* instance();

    const QString& hint() const { return m_hint; }

    // A widget's hint: its own status tip, else its nearest enclosing
    // widget's, else the empty text.
    static QString hintOf(const QWidget* widget);
    // A menu item's hint: its status tip; for a menu title or a submenu item
    // without one, its menu's.
    static QString hintOf(const QAction* action);

signals:
    void hintChanged(const QString& hint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit HintTracker(QObject* parent);
    void setHint(const QString& hint);
    void scheduleIdle();
    void idle();
    void watchMenu(QWidget* menu);
    void itemHighlighted(QAction* action);
    static bool menuOpen();

    QString m_hint;
    QTimer m_idle;
    bool m_inMenu = false;
};

} // namespace ostrel
