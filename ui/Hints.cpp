#include "Hints.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

namespace ostrel {

namespace {
QPointer<HintTracker> g_tracker;

// Events after which the widget under the pointer may have changed.
bool mayMoveThePointer(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::HoverMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::ZOrderChange:
        return true;
    default:
        return false;
    }
}

// The menu bar a drop-down menu hangs from, when it was opened from one.
QMenuBar* menuBarOf(const QMenu* menu) {
    for (QObject* o : menu->menuAction()->associatedObjects())
        if (auto* bar = qobject_cast<QMenuBar*>(o))
            return bar;
    return nullptr;
}
} // namespace

HintTracker* HintTracker::instance() {
    if (!g_tracker) {
        g_tracker = new HintTracker(qApp);
        qApp->installEventFilter(g_tracker);
    }
    return g_tracker;
}

HintTracker::HintTracker(QObject* parent) : QObject(parent) {
    m_idle.setSingleShot(true);
    m_idle.setInterval(0);
    connect(&m_idle, &QTimer::timeout, this, &HintTracker::idle);
}

QString HintTracker::hintOf(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        if (!widget->statusTip().isEmpty())
            return widget->statusTip();
    return {};
}

QString HintTracker::hintOf(const QAction* action) {
    if (!action)
        return {};
    if (action->statusTip().isEmpty() && action->menu())
        return action->menu()->statusTip();
    return action->statusTip();
}

bool HintTracker::menuOpen() {
    const auto* bar = qobject_cast<QMenuBar*>(QApplication::focusWidget());
    return qobject_cast<QMenu*>(QApplication::activePopupWidget()) || (bar && bar->activeAction());
}

void HintTracker::setHint(const QString& hint) {
    if (hint == m_hint)
        return;
    m_hint = hint;
    emit hintChanged(m_hint);
}

void HintTracker::scheduleIdle() {
    if (!m_idle.isActive())
        m_idle.start();
}

void HintTracker::idle() {
    if (qobject_cast<QMenu*>(QApplication::activePopupWidget()))
        return;
    // The menu bar worked from the keyboard, no menu open: its highlighted
    // title.
    auto* bar = qobject_cast<QMenuBar*>(QApplication::focusWidget());
    if (bar && bar->activeAction()) {
        itemHighlighted(bar->activeAction());
        return;
    }
    if (m_inMenu) {
        m_inMenu = false;
        setHint(QString());
    }
    setHint(hintOf(QApplication::widgetAt(QCursor::pos())));
}

void HintTracker::watchMenu(QWidget* menu) {
    if (menu->property("ostrelHintsWatched").toBool())
        return;
    menu->setProperty("ostrelHintsWatched", true);
    if (auto* m = qobject_cast<QMenu*>(menu)) {
        connect(m, &QMenu::hovered, this, &HintTracker::itemHighlighted);
    } else if (auto* bar = qobject_cast<QMenuBar*>(menu)) {
        // A title the pointer merely passes over is not highlighted: only
        // while the menus are in use does a title show its hint.
        connect(bar, &QMenuBar::hovered, this, [this](QAction* action) {
            if (menuOpen())
                itemHighlighted(action);
        });
    }
}

void HintTracker::itemHighlighted(QAction* action) {
    m_inMenu = true;
    setHint(hintOf(action));
}

bool HintTracker::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ToolTip || type == QEvent::StatusTip)
        return true;
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (type == QEvent::Show) {
        if (auto* menu = qobject_cast<QMenu*>(widget)) {
            watchMenu(menu);
            // A drop-down opened from the menu bar: its title is highlighted.
            if (QMenuBar* bar = menuBarOf(menu); bar && bar->activeAction() == menu->menuAction())
                itemHighlighted(menu->menuAction());
            m_inMenu = true;
        } else if (qobject_cast<QMenuBar*>(widget)) {
            watchMenu(widget);
        }
    }
    if (mayMoveThePointer(type))
        scheduleIdle();
    return false;
}

} // namespace ostrel
