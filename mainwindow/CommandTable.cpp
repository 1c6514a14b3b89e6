// The command table: every menu item, pop-up item, tool button and control
// event of the main window bound to its handler; opening the dialogs by key;
// the hint display; the enabling of the editing commands.
#include "MainFrm.h"

#include "editor/Document.h"

#include "dialogs/CngExpUnit.h"
#include "dialogs/CreateDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/SavePathUnit.h"
#include "store/Folders.h"
#include "ui/Handler.h"
#include "ui/Hints.h"

#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QSignalBlocker>
#include <memory>

using namespace ostrel;

namespace {

void showWithoutWaiting(QWidget* dialog) {
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

// A picture of the resources whose colour at the bottom-left pixel is
// transparent.
QImage keyedImage(const QString& resource) {
    QImage image = QImage(resource).convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == key)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return image;
}

// A tool-button glyph: two images side by side, the one drawn while the
// button is enabled and the one drawn while it is disabled.
QIcon glyphIcon(const QString& resource) {
    const QImage strip = keyedImage(resource);
    const int width = strip.width() / 2;
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(strip.copy(0, 0, width, strip.height())), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(strip.copy(width, 0, width, strip.height())),
                   QIcon::Disabled);
    return icon;
}

// The keyboard and mouse input of the main window that no single control
// handles: the menu bar's shortcuts and the pop-up menus.
//
// A key pressed with Ctrl anywhere in the window is looked up among the menu
// bar's shortcuts first; one that an item carries never reaches the focused
// control, and runs the item only while the item and every menu above it are
// enabled.
//
// A click on the selected record that the editor does not show (the first
// record of a group, selected when it was created) picks it too, although
// the selection does not change. Told at the press, before the list acts on it.
class UnshownRecordClicks : public QObject {
public:
    explicit UnshownRecordClicks(TMainFrm* window) : QObject(window), m_window(window) {
        QListWidget* list = window->RecordLst;
        list->viewport()->installEventFilter(this);
        connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
            if (item == m_pressed)
                runHandler([this] { m_window->RecordLstClick(); });
            m_pressed = nullptr;
        });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            QListWidgetItem* item = m_window->RecordLst->itemAt(mouse->position().toPoint());
            const bool unshown = item && item->isSelected() &&
                                 recordPath(m_window->GroupCmb->currentText(), item->text()) !=
                                     m_window->RecordPath();
            m_pressed = mouse->button() == Qt::LeftButton && unshown ? item : nullptr;
        }
        return false;
    }

private:
    TMainFrm* m_window;
    QListWidgetItem* m_pressed = nullptr;
};

// A menu item that is enabled exactly when a control is: the file menu's save
// item follows the tool bar's save button, also while the tool bar is hidden.
class EnabledWith : public QObject {
public:
    EnabledWith(QAction* item, QWidget* control) : QObject(item), m_item(item) {
        control->installEventFilter(this);
        item->setEnabled(control->isEnabled());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange)
            m_item->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
        return false;
    }

private:
    QAction* m_item;
};

// A pop-up menu opens when the right mouse button is released over a control
// (at the pointer) or the context-menu key is released without Alt (at the
// focused control's top-left corner): the menu of the control, else of its
// nearest enclosing control that has one. Qt's own context menus and the
// right button's other effects (a list selecting the row under the pointer)
// do not happen in the window.
class WindowInput : public QObject {
public:
    WindowInput(TMainFrm* window, QHash<const QWidget*, QMenu*> popups)
        : QObject(window), m_window(window), m_popups(std::move(popups)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != m_window)
            return false;
        switch (event->type()) {
        case QEvent::ContextMenu:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton)
                return false;
            // The press does nothing else, but it is a press in the editor.
            if (widget == m_window->MainEdit->viewport())
                runHandler([this] { m_window->MainEditMouseDown(); });
            return true;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::RightButton)
                return false;
            return popUp(widget, mouse->globalPosition().toPoint());
        }
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Menu || key->isAutoRepeat() ||
                (key->modifiers() & Qt::AltModifier))
                return false;
            return popUp(widget, widget->mapToGlobal(QPoint(0, 0)));
        }
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!(key->modifiers() & Qt::ControlModifier))
                return false;
            const QKeySequence pressed(
                QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
            bool enabled = false;
            QAction* item = menuBarItem(m_window->MainMenu1, pressed, true, &enabled);
            if (!item)
                return false;
            event->accept();
            if (event->type() == QEvent::KeyPress && enabled)
                item->trigger();
            return true;
        }
        default:
            return false;
        }
    }

private:
    bool popUp(const QWidget* control, const QPoint& at) {
        for (const QWidget* w = control; w && w != m_window; w = w->parentWidget()) {
            if (QMenu* menu = m_popups.value(w)) {
                menu->popup(at);
                return true;
            }
        }
        return false;
    }

    static QAction* menuBarItem(const QWidget* menu, const QKeySequence& keys, bool enabledAbove,
                                bool* enabled) {
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            if (QMenu* sub = a->menu()) {
                if (QAction* found = menuBarItem(
                        sub, keys, enabledAbove && a->isEnabled() && sub->isEnabled(), enabled))
                    return found;
            } else if (a->shortcuts().contains(keys)) {
                *enabled = enabledAbove && a->isEnabled();
                return a;
            }
        }
        return nullptr;
    }

    TMainFrm* m_window;
    QHash<const QWidget*, QMenu*> m_popups;
};

} // namespace

void TMainFrm::nameSeparators() {
    // The layout's separators, in menu order, get their names here.
    const auto name = [](QMenu* menu,
                         std::initializer_list<std::pair<QAction**, const char*>> names) {
        auto next = names.begin();
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator() || next == names.end())
                continue;
            *next->first = a;
            a->setObjectName(QString::fromLatin1(next->second));
            ++next;
        }
    };
    name(MnuFile, {{&Line1Mnu, "Line1Mnu"}, {&Line2Mnu, "Line2Mnu"}});
    name(MnuConfig, {{&Line4Mnu, "Line4Mnu"}, {&N1, "N1"}});
    name(InterFaceMnu, {{&N2, "N2"}, {&N3, "N3"}});
    name(MnuFind, {{&Line3Mnu, "Line3Mnu"}});
}

void TMainFrm::createPopupMenus() {
    const auto separator = [this](const char* name) {
        auto* a = new QAction(this);
        a->setSeparator(true);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    N4 = separator("N4");
    N5 = separator("N5");
    N6 = separator("N6");

    Pum1 = new QMenu(this);
    Pum1->setObjectName(QStringLiteral("Pum1"));
    Pum1->addActions({FixGroupPum, N5, CreateGroupPum1, DeleteGroupPum1});

    Pum2 = new QMenu(this);
    Pum2->setObjectName(QStringLiteral("Pum2"));
    Pum2->addActions({MoveRecordPum2, MoveRecordPum, N4, CreateRecordPum2, DeleteRecordPum2});

    Pum3 = new QMenu(this);
    Pum3->setObjectName(QStringLiteral("Pum3"));
    Pum3->addActions({CutPum3, CopyPum3, PastePum3, N6, PointPum3, MovePointPum3});

    // For screen readers: the pop-up menus have no title to be named by.
    Pum1->setAccessibleName(QStringLiteral("グループ一覧のメニュー"));
    Pum1->setAccessibleDescription(QStringLiteral("グループのコピー、作成、削除をします"));
    Pum2->setAccessibleName(QStringLiteral("レコード一覧のメニュー"));
    Pum2->setAccessibleDescription(QStringLiteral("レコードの移動、コピー、作成、削除をします"));
    Pum3->setAccessibleName(QStringLiteral("テキストのメニュー"));
    Pum3->setAccessibleDescription(
        QStringLiteral("切り取り、コピー、貼り付けと、カーソル位置の記憶をします"));
}

void TMainFrm::bindCommands() {
    // Controls.
    bindHandler(GroupCmb, &QComboBox::currentIndexChanged, this, [this] { GroupCmbChange(); });
    // Programmatic changes of the list block its signals; a list left
    // without a selection is never the user's choice of a record.
    QObject::connect(RecordLst, &QListWidget::itemSelectionChanged, this, [this] {
        if (SelectedRecordIndex() >= 0)
            runHandler([this] { RecordLstClick(); });
    });
    new UnshownRecordClicks(this);
    bindHandler(MainEdit->document(), &editor::Document::changed, this,
                [this] { MainEditChange(); });
    bindHandler(MainEdit->document(), &editor::Document::modificationChanged, this,
                [this] { MainEditChange(); });

    // Tool buttons.
    bindHandler(CreateRecBtn, &QToolButton::clicked, this, [this] { CreateRecBtnClick(); });
    bindHandler(DeleteRecBtn, &QToolButton::clicked, this, [this] { DeleteRecBtnClick(); });
    bindHandler(SaveDataBtn, &QToolButton::clicked, this, [this] { SaveDataBtnClick(); });
    bindHandler(PrintBtn, &QToolButton::clicked, this, [this] { PrintBtnClick(); });
    bindHandler(ExitBtn, &QToolButton::clicked, this, [this] { ExitBtnClick(); });

    // A checkable item's check mark is its handler's to flip: the flip Qt
    // makes as the item is chosen is undone before the handler runs.
    const auto ownMark = [](QAction* a) {
        if (a->isCheckable()) {
            const QSignalBlocker quiet(a);
            a->setChecked(!a->isChecked());
        }
    };
    // Menu items: plain handlers.
    const auto item = [this, ownMark](QAction* a, void (TMainFrm::*handler)()) {
        bindHandler(a, &QAction::triggered, this, [this, handler, a, ownMark] {
            ownMark(a);
            (this->*handler)();
        });
    };
    // Menu items: shared handlers, each told which item sent the click.
    const auto shared = [this, ownMark](QAction* a, void (TMainFrm::*handler)(QObject*)) {
        bindHandler(a, &QAction::triggered, this, [this, handler, a, ownMark] {
            ownMark(a);
            (this->*handler)(a);
        });
    };

    shared(CreateRecordMnu, &TMainFrm::SC_FormShow);
    item(SaveMnu, &TMainFrm::SaveMnuClick);
    new EnabledWith(SaveMnu, SaveDataBtn);
    item(DeleteRecordMnu, &TMainFrm::DeleteRecordMnuClick);
    shared(CreateGroupMnu, &TMainFrm::SC_FormShow);
    item(DeleteGroupMnu, &TMainFrm::DeleteGroupMnuClick);
    item(PrintOutMnu, &TMainFrm::PrintOutMnuClick);
    item(PrinterSetupMnu, &TMainFrm::PrinterSetupMnuClick);
    item(ApplicationCloseMnu, &TMainFrm::ApplicationCloseMnuClick);

    for (QAction* a : {CutMnu, CopyMnu, PasteMnu, DeleteMnu})
        shared(a, &TMainFrm::SC_EditString);
    item(FindAllMnu, &TMainFrm::FindAllMnuClick);
    for (QAction* a : {RightReturnMnu, HideToolBarMnu, HideStatusBarMnu, HideLineNumberMnu,
                       FontChangeMnu, BackColorChangeMnu})
        shared(a, &TMainFrm::SC_InterFace);
    item(Create_Close_Record, &TMainFrm::Create_Close_RecordClick);
    shared(ExpChangeMnu, &TMainFrm::SC_FormShow);
    item(SetDefaultMnu, &TMainFrm::SetDefaultMnuClick);

    item(FindStringMnu, &TMainFrm::FindStringMnuClick);
    item(MoveLineMnu, &TMainFrm::MoveLineMnuClick);
    item(MoveStartMnu, &TMainFrm::MoveStartMnuClick);
    item(MoveLastMnu, &TMainFrm::MoveLastMnuClick);
    item(PointMemoryMnu, &TMainFrm::PointMemoryMnuClick);
    item(MoveMemoryMnu, &TMainFrm::MoveMemoryMnuClick);

    shared(FixGroupPum, &TMainFrm::SC_GroupCopy);
    shared(CreateGroupPum1, &TMainFrm::SC_FormShow);
    item(DeleteGroupPum1, &TMainFrm::DeleteGroupMnuClick);

    shared(MoveRecordPum2, &TMainFrm::SC_RecUserCopy);
    shared(MoveRecordPum, &TMainFrm::SC_RecUserCopy);
    item(CreateRecordPum2, &TMainFrm::CreateRecordPum2Click);
    item(DeleteRecordPum2, &TMainFrm::DeleteRecordPum2Click);

    for (QAction* a : {CutPum3, CopyPum3, PastePum3})
        shared(a, &TMainFrm::SC_PopupEdit);
    item(PointPum3, &TMainFrm::PointMemoryMnuClick);
    item(MovePointPum3, &TMainFrm::MoveMemoryMnuClick);

    // The editor's enter and exit: only a move of the focus from one control
    // of the window to another counts; the window losing or regaining the
    // activation, a dialog or a menu taking the focus do not.
    const auto lastControl = std::make_shared<QPointer<QWidget>>();
    connect(qApp, &QApplication::focusChanged, this, [this, lastControl](QWidget*, QWidget* now) {
        if (!now || now->window() != this || qobject_cast<QMenuBar*>(now))
            return;
        const auto inEditor = [this](const QWidget* w) {
            return w && (w == MainEdit || MainEdit->isAncestorOf(w));
        };
        const bool wasInEditor = inEditor(*lastControl);
        *lastControl = now;
        if (inEditor(now) && !wasInEditor)
            runHandler([this] { MainEditEnter(); });
        else if (!inEditor(now) && wasInEditor)
            runHandler([this] { MainEditExit(); });
    });
}

void TMainFrm::ShowForm(const QString& key) {
    if (key == u"CreRec" && CreRecFrm)
        showWithoutWaiting(CreRecFrm);
    if (key == u"CreDir" && CreateDirFrm)
        showWithoutWaiting(CreateDirFrm);
    if (key == u"CngExp" && CngExpFrm)
        showWithoutWaiting(CngExpFrm);
    if (key == u"SavePath" && SavePathFrm) {
        // The dialog answers the chosen folder, or nothing when it was left
        // otherwise; SaveDir is empty while it is open.
        SaveDir.clear();
        SavePathFrm->exec();
        SaveDir = SavePathFrm->chosenFolder();
    }
}

void TMainFrm::SC_FormShow(QObject* Sender) {
    QString key = QStringLiteral("CreDir");
    if (Sender == CreateRecordMnu)
        key = QStringLiteral("CreRec");
    if (Sender == ExpChangeMnu)
        key = QStringLiteral("CngExp");
    ShowForm(key);
}

void TMainFrm::CreateRecBtnClick() {
    ShowForm(QStringLiteral("CreRec"));
}

void TMainFrm::CreateRecordPum2Click() {
    ShowForm(QStringLiteral("CreRec"));
}

void TMainFrm::ShowHint() {
    StatusBar->showMessage(HintTracker::instance()->hint());
}

void TMainFrm::connectHintDisplay() {
    bindHandler(HintTracker::instance(), &HintTracker::hintChanged, this, [this] { ShowHint(); });
}

void TMainFrm::MainEditEnter() {
    for (QAction* a : {CutMnu, CopyMnu, PasteMnu, DeleteMnu})
        a->setEnabled(true);
    MnuFind->setEnabled(true);
}

void TMainFrm::MainEditExit() {
    for (QAction* a : {CutMnu, CopyMnu, PasteMnu, DeleteMnu})
        a->setEnabled(false);
    MnuFind->setEnabled(false);
}

void TMainFrm::setUpLayout() {
    // Hints go to the status bar only, never into tooltips.
    HintTracker::instance();

    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(keyedImage(QStringLiteral(":/icons/ostrel16.xpm"))));
    icon.addPixmap(QPixmap::fromImage(keyedImage(QStringLiteral(":/icons/ostrel32.xpm"))));
    setWindowIcon(icon);

    CreateRecBtn->setIcon(glyphIcon(QStringLiteral(":/icons/notepad.xpm")));
    DeleteRecBtn->setIcon(glyphIcon(QStringLiteral(":/icons/wastebin.xpm")));
    SaveDataBtn->setIcon(glyphIcon(QStringLiteral(":/icons/floppy.xpm")));
    PrintBtn->setIcon(glyphIcon(QStringLiteral(":/icons/printer.xpm")));
    ExitBtn->setIcon(glyphIcon(QStringLiteral(":/icons/door.xpm")));

    // Tab order: GroupCmb, RecordLst, MainEdit. The editor is created first,
    // left of the lists, and setTabOrder does not move it behind them; taken
    // out and put back into its place it comes last in the focus chain.
    MainEdit->setParent(nullptr);
    MainEdit->setParent(ClientArea);
    MiddleLayout->insertWidget(0, MainEdit);
    MainEdit->show();

    new WindowInput(this, {{Panel2, Pum1}, {Panel5, Pum2}, {Panel6, Pum2}, {MainEdit, Pum3}});

    // As laid out: the client area below the menu bar is 389 x 268.
    move(194, 391);
    resize(389, 268 + MainMenu1->sizeHint().height());
}
