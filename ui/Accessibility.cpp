#include "Accessibility.h"

#include "Hints.h"
#include "UiTexts.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>

namespace ostrel {

namespace {

// A caption without its access-key marks: "&&" is a literal "&".
QString withoutAccessKeys(const QString& caption) {
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            out.append(caption[i]);
        } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            out.append(u'&');
            ++i;
        }
    }
    return out;
}

// The menu or menu bar that shows an action.
QWidget* menuOwner(const QAction* action) {
    for (QObject* o : action->associatedObjects()) {
        auto* w = qobject_cast<QWidget*>(o);
        if ((qobject_cast<QMenu*>(w) || qobject_cast<QMenuBar*>(w)) &&
            w->actions().contains(action))
            return w;
    }
    return nullptr;
}

// A menu item as screen readers see it: Qt's own menu item, plus a
// description.
class MenuItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    explicit MenuItemAccessible(QAction* action) : m_action(action) {}

    bool isValid() const override { return m_action && owner(); }
    QObject* object() const override { return m_action; }
    QWindow* window() const override {
        QWidget* w = owner();
        return w ? w->window()->windowHandle() : nullptr;
    }

    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(owner());
    }
    int childCount() const override { return m_action && m_action->menu() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0 && childCount() == 1)
            return QAccessible::queryAccessibleInterface(m_action->menu());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && childCount() == 1 && child->object() == m_action->menu() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* menu = child(0);
        return menu && menu->rect().contains(x, y) ? menu : nullptr;
    }

    QString text(QAccessible::Text t) const override {
        if (!m_action)
            return {};
        switch (t) {
        case QAccessible::Name:
            return withoutAccessKeys(m_action->text());
        case QAccessible::Description:
            return describeAction(m_action);
        case QAccessible::Accelerator:
            if (!m_action->shortcut().isEmpty())
                return m_action->shortcut().toString(QKeySequence::NativeText);
            return QKeySequence::mnemonic(m_action->text()).toString(QKeySequence::NativeText);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        QWidget* w = owner();
        QRect r;
        if (auto* bar = qobject_cast<QMenuBar*>(w))
            r = bar->actionGeometry(m_action);
        else if (auto* menu = qobject_cast<QMenu*>(w))
            r = menu->actionGeometry(m_action);
        return w ? r.translated(w->mapToGlobal(QPoint(0, 0))) : r;
    }

    QAccessible::Role role() const override {
        return m_action && m_action->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        QWidget* w = owner();
        if (!m_action || !w)
            return s;
        if (!w->isVisible() || !m_action->isVisible())
            s.invisible = true;
        if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->activeAction() == m_action)
            s.focused = true;
        if (auto* bar = qobject_cast<QMenuBar*>(w); bar && bar->activeAction() == m_action)
            s.focused = true;
        if (w->style()->styleHint(QStyle::SH_Menu_MouseTracking))
            s.hotTracked = true;
        if (m_action->isSeparator() || !m_action->isEnabled())
            s.disabled = true;
        s.checkable = m_action->isCheckable();
        s.checked = m_action->isChecked();
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                 : nullptr;
    }

    QStringList actionNames() const override {
        if (!m_action || m_action->isSeparator())
            return {};
        return {m_action->menu() ? showMenuAction() : pressAction()};
    }
    void doAction(const QString& name) override {
        if (!m_action || !m_action->isEnabled())
            return;
        if (name == pressAction()) {
            m_action->trigger();
        } else if (name == showMenuAction()) {
            QMenu* sub = m_action->menu();
            if (sub && sub->isVisible())
                sub->hide();
            else if (auto* bar = qobject_cast<QMenuBar*>(owner()))
                bar->setActiveAction(m_action);
            else if (auto* menu = qobject_cast<QMenu*>(owner()))
                menu->setActiveAction(m_action);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QWidget* owner() const { return m_action ? menuOwner(m_action) : nullptr; }

    QPointer<QAction> m_action;
};

QAccessibleInterface* menuItemFactory(const QString& className, QObject* object) {
    if (className != u"QAction")
        return nullptr;
    auto* action = qobject_cast<QAction*>(object);
    if (!action || !menuOwner(action))
        return nullptr;
    return new MenuItemAccessible(action);
}

// A widget's own description, or its hint.
QString ownDescription(const QWidget* w) {
    return w->accessibleDescription().isEmpty() ? w->statusTip() : w->accessibleDescription();
}

// The description of the nearest widget of the window, from `w` outwards, that
// has one.
QString inheritedDescription(const QWidget* w) {
    for (; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        const QString d = ownDescription(w);
        if (!d.isEmpty())
            return d;
    }
    return {};
}

void nameIfUnnamed(QWidget* w, const QString& name) {
    if (w->accessibleName().isEmpty() && !name.isEmpty())
        w->setAccessibleName(name);
}

void describeIfUndescribed(QWidget* w, const QString& description) {
    if (w->accessibleDescription().isEmpty() && !description.isEmpty())
        w->setAccessibleDescription(description);
}

void describeWidget(QWidget* w) {
    if (auto* bar = qobject_cast<QScrollBar*>(w)) {
        const bool vertical = bar->orientation() == Qt::Vertical;
        nameIfUnnamed(w, vertical ? texts::ui::verticalScrollBarName()
                                  : texts::ui::horizontalScrollBarName());
        describeIfUndescribed(w, vertical ? texts::ui::verticalScrollBarDescription()
                                          : texts::ui::horizontalScrollBarDescription());
        return;
    }
    if (auto* menu = qobject_cast<QMenu*>(w))
        nameIfUnnamed(w, withoutAccessKeys(menu->title()));
    // The controls of a message box or an input box answer its text.
    if (auto* box = qobject_cast<QMessageBox*>(w->window()))
        describeIfUndescribed(w, box->text());
    if (auto* box = qobject_cast<QInputDialog*>(w->window()))
        describeIfUndescribed(w, box->labelText());
    describeIfUndescribed(w, inheritedDescription(w));
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // Its drop-down list stands for the combo box. Asking for the list
        // creates it, as a reader's first look would.
        nameIfUnnamed(combo->view(), combo->accessibleName());
        describeIfUndescribed(combo->view(), combo->accessibleDescription());
    }
}

// Describes each window as it is shown.
class WindowWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow())
                describeWindow(w);
        }
        return false;
    }
};

} // namespace

QString describeAction(const QAction* action) {
    if (!action)
        return {};
    const QString hint = HintTracker::hintOf(action);
    if (!hint.isEmpty())
        return hint;
    if (action->menu() && !action->menu()->accessibleDescription().isEmpty())
        return action->menu()->accessibleDescription();
    return action->property("accessibleDescription").toString();
}

void describeWindow(QWidget* window) {
    describeWidget(window);
    for (QWidget* w : window->findChildren<QWidget*>())
        describeWidget(w);
}

void installAccessibility(QApplication& app) {
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(menuItemFactory);
        installed = true;
    }
    app.installEventFilter(new WindowWatcher(&app));
}

} // namespace ostrel
