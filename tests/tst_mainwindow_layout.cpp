// The main window's layout, menus, tool bar, pop-up menus, shortcuts, hint
// display, focus and the enabling of the editing commands, driven through the
// real widgets on the offscreen platform.
#include "TestMain.h"
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "dialogs/CngExpUnit.h"
#include "dialogs/CreateDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/SavePathUnit.h"
#include "mainwindow/MainFrm.h"

#include <QClipboard>
#include <QFontInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QToolTip>
#include <memory>

using namespace testing;

namespace {

const QString kGroupHint = QStringLiteral("グループを切り替えられます");
const QString kRecordHint = QStringLiteral("レコードをクリックすると内容を表示します");
const QString kLineHint = QStringLiteral("現在のカーソル位置の行番号です");
const QString kDeleteHint = QStringLiteral("現在選択されているレコードを削除します");

// A data folder with one group of two records and the default settings, and
// the program's windows, started.
struct Opened {
    DataFolder data;
    std::unique_ptr<testing::Started> started;
    TMainFrm* f = nullptr;

    Opened() {
        data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(QStringLiteral("memo/a.txt"), "alpha\nsecond line\n");
        data.write(QStringLiteral("memo/b.txt"), "beta\n");
        started = std::make_unique<testing::Started>();
        f = started->main;
        if (!QTest::qWaitForWindowActive(f))
            qWarning("main window not active");
    }
};

// A click as the windowing system delivers it, at a point of a widget.
void click(QWidget* w, Qt::MouseButton button = Qt::LeftButton, QPoint pos = {},
           Qt::KeyboardModifiers modifiers = {}) {
    if (pos.isNull())
        pos = w->rect().center();
    QWidget* top = w->window();
    QTest::mouseClick(top->windowHandle(), button, modifiers, w->mapTo(top, pos));
}

// The pop-up menu (or QMenu drop-down) now open, if any.
QMenu* openMenu() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void closeMenus() {
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

// The box of a widget relative to another (its parent's client area).
QRect boxIn(const QWidget* w, const QWidget* parent) {
    return QRect(w->mapTo(parent->window(), QPoint(0, 0)) -
                     parent->mapTo(parent->window(), QPoint(0, 0)),
                 w->size());
}

// Counts the key presses (other than modifier keys) that reach a widget past
// the application's filters.
class KeyCounter : public QObject {
public:
    explicit KeyCounter(QWidget* w) { w->installEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() != Qt::Key_Control)
            ++presses;
        return false;
    }
};

} // namespace

class MainWindowLayout : public QObject {
    Q_OBJECT

private slots:
    void init() { closeMenus(); }

    void stateAsLaidOut() {
        DataFolder data;
        Windows w;
        TMainFrm* f = w.main;
        QCOMPARE(f->objectName(), QStringLiteral("MainFrm"));
        QCOMPARE(f->windowTitle(), QStringLiteral("OSTREL ver 1.6.4"));
        QCOMPARE(f->font().family(), QStringLiteral("MS UI Gothic"));
        QCOMPARE(f->font().pointSize(), 9);
        QVERIFY2(QFontInfo(f->font()).family().contains(QStringLiteral("Gothic")),
                 qPrintable(QFontInfo(f->font()).family()));
        QCOMPARE(QFontInfo(f->MainEdit->font()).family(), QFontInfo(f->font()).family());
        const QList<QSize> iconSizes = f->windowIcon().availableSizes();
        QVERIFY(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));

        for (QAction* a : {f->CutMnu, f->CopyMnu, f->PasteMnu, f->DeleteMnu, f->DeleteRecordMnu})
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(!f->MnuFind->isEnabled());
        QVERIFY(!f->MnuFind->menuAction()->isEnabled());
        QVERIFY(!f->DeleteRecBtn->isEnabled());
        QVERIFY(!f->SaveDataBtn->isEnabled());
        QVERIFY(f->CreateRecBtn->isEnabled() && f->PrintBtn->isEnabled() &&
                f->ExitBtn->isEnabled());
        QVERIFY(f->MainEdit->isEnabled());
        for (QAction* a : f->findChildren<QAction*>()) {
            const bool on = a == f->RightReturnMnu || a == f->Create_Close_Record;
            QVERIFY2(a->isChecked() == on, qPrintable(a->objectName()));
        }
        QCOMPARE(f->CurrentLineLbl->text(), QStringLiteral("0"));
        QCOMPARE(f->CurrentLineLbl->alignment(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(f->Label1->text(), QStringLiteral("Line"));
        QCOMPARE(f->Label1->alignment(), Qt::Alignment(Qt::AlignCenter));
        QCOMPARE(f->GB1->title(), QStringLiteral("Current Cursol"));
        QCOMPARE(f->StatusBar->currentMessage(), QString());
        QCOMPARE(f->GroupCmb->maxVisibleItems(), 20);
        QVERIFY(!f->GroupCmb->isEditable());
        QCOMPARE(f->RecordLst->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(f->MainEdit->wordWrap());
    }

    void menusAsLaidOut() {
        DataFolder data;
        Windows w;
        TMainFrm* f = w.main;
        // Titles, then each menu's entries in order: caption, shortcut and
        // hint; "-" is a separator with its name.
        struct Entry {
            const char* name;
            QString text;
            QString shortcut;
        };
        const auto check = [](QWidget* menu, const QList<Entry>& entries) {
            const QList<QAction*> actions = menu->actions();
            QCOMPARE(actions.size(), entries.size());
            for (int i = 0; i < entries.size(); ++i) {
                QAction* a = actions[i];
                QCOMPARE(a->objectName().isEmpty() && a->menu() ? a->menu()->objectName()
                                                                : a->objectName(),
                         QString::fromLatin1(entries[i].name));
                if (entries[i].text == u"-") {
                    QVERIFY(a->isSeparator());
                    continue;
                }
                QCOMPARE(a->text(), entries[i].text);
                QCOMPARE(a->shortcut(), QKeySequence(entries[i].shortcut));
            }
        };
        check(f->MainMenu1, {{"MnuFile", QStringLiteral("データ管理(&D)"), {}},
                             {"MnuConfig", QStringLiteral("編集/設定(&C)"), {}},
                             {"MnuFind", QStringLiteral("検索/移動(&F)"), {}}});
        check(f->MnuFile,
              {{"CreateRecordMnu", QStringLiteral("レコードの作成(&N)"), "Ctrl+N"},
               {"SaveMnu", QStringLiteral("レコードの保存(&W)"), "Ctrl+S"},
               {"DeleteRecordMnu", QStringLiteral("レコードの削除(&D)"), {}},
               {"CreateGroupMnu", QStringLiteral("グループの作成(&G)"), {}},
               {"DeleteGroupMnu", QStringLiteral("グループの削除(&B)"), {}},
               {"Line1Mnu", "-", {}},
               {"PrintOutMnu", QStringLiteral("レコードの印刷(&P)"), {}},
               {"PrinterSetupMnu", QStringLiteral("プリンタの設定(&S)"), {}},
               {"Line2Mnu", "-", {}},
               {"ApplicationCloseMnu", QStringLiteral("アプリケーションの終了(&E)"), {}}});
        check(f->MnuConfig,
              {{"CutMnu", QStringLiteral("切り取り(&X)"), "Ctrl+X"},
               {"CopyMnu", QStringLiteral("コピー(&C)"), "Ctrl+C"},
               {"PasteMnu", QStringLiteral("貼り付け(&V)"), "Ctrl+V"},
               {"DeleteMnu", QStringLiteral("削除(&D)"), {}},
               {"FindAllMnu", QStringLiteral("すべてのレコードから検索(&A)"), "Ctrl+Shift+F"},
               {"Line4Mnu", "-", {}},
               {"RightReturnMnu", QStringLiteral("右端で折り返す(&R)"), {}},
               {"InterFaceMnu", QStringLiteral("インターフェース(I))"), {}},
               {"N1", "-", {}},
               {"ExpChangeMnu", QStringLiteral("表示するファイルの変更(&E)"), {}},
               {"SetDefaultMnu", QStringLiteral("デフォルト設定に戻す(&D)"), {}}});
        check(f->InterFaceMnu,
              {{"HideToolBarMnu", QStringLiteral("ツールバーを隠す(&T)"), {}},
               {"HideStatusBarMnu", QStringLiteral("ステータスバーを隠す(&S)"), {}},
               {"HideLineNumberMnu", QStringLiteral("行表示を隠す(&L)"), {}},
               {"N2", "-", {}},
               {"FontChangeMnu", QStringLiteral("フォントの変更(&F)"), {}},
               {"BackColorChangeMnu", QStringLiteral("背景色の変更(&P)"), {}},
               {"N3", "-", {}},
               {"Create_Close_Record", QStringLiteral("レコード作成後フォームを閉じる(&P)"), {}}});
        check(f->MnuFind, {{"FindStringMnu", QStringLiteral("文字列の検索(&S)"), "Ctrl+F"},
                           {"MoveLineMnu", QStringLiteral("指定した行へ移動(M)"), "Ctrl+L"},
                           {"Line3Mnu", "-", {}},
                           {"MoveStartMnu", QStringLiteral("先頭へ移動(G)"), {}},
                           {"MoveLastMnu", QStringLiteral("最後へ移動(&B)"), {}},
                           {"PointMemoryMnu", QStringLiteral("現在位置の記憶(&L)"), "Ctrl+M"},
                           {"MoveMemoryMnu", QStringLiteral("記憶した場所に移動(&C)"), "Ctrl+R"}});
        check(f->Pum1, {{"FixGroupPum", QStringLiteral("グループのコピー(&C)"), {}},
                        {"N5", "-", {}},
                        {"CreateGroupPum1", QStringLiteral("グループの作成(&N)"), {}},
                        {"DeleteGroupPum1", QStringLiteral("グループの削除(&D)"), {}}});
        check(f->Pum2, {{"MoveRecordPum2", QStringLiteral("レコードの移動(&M)"), {}},
                        {"MoveRecordPum", QStringLiteral("レコードのコピー(&C)"), {}},
                        {"N4", "-", {}},
                        {"CreateRecordPum2", QStringLiteral("レコードの作成(&N)"), {}},
                        {"DeleteRecordPum2", QStringLiteral("レコードの削除(&D)"), {}}});
        check(f->Pum3, {{"CutPum3", QStringLiteral("切り取り(&X)"), {}},
                        {"CopyPum3", QStringLiteral("コピー(&C)"), {}},
                        {"PastePum3", QStringLiteral("貼り付け(&V)"), {}},
                        {"N6", "-", {}},
                        {"PointPum3", QStringLiteral("位置の記憶(&P)"), {}},
                        {"MovePointPum3", QStringLiteral("記憶した位置へ移動(&M)"), {}}});
        for (QMenu* pum : {f->Pum1, f->Pum2, f->Pum3})
            for (QAction* a : pum->actions())
                QVERIFY(a->isEnabled() && !a->isCheckable() && a->shortcut().isEmpty());
        for (QAction* a : f->Pum3->actions())
            QCOMPARE(a->statusTip(), QString());
        QCOMPARE(f->DeleteRecordPum2->statusTip(), kDeleteHint);
        QCOMPARE(f->MnuFind->statusTip(), QStringLiteral("検索/カーソル位置の設定メニューです"));
    }

    void controlsInPlace() {
        Opened s;
        TMainFrm* f = s.f;
        QWidget* client = f->centralWidget();
        // The window as laid out: a client area of 389 x 268 below the menu bar.
        f->resize(389, 268 + f->MainMenu1->height());
        QTRY_COMPARE(client->size(), QSize(389, 268));

        struct Box {
            QWidget* control;
            QWidget* parent;
            QRect box;
        };
        const QList<Box> boxes = {
            {f->SpeedPanel, client, {0, 0, 389, 29}},
            {f->DownPanel, client, {0, 236, 389, 32}},
            {f->StatusBar, f->DownPanel, {2, 2, 385, 28}},
            {f->RightPanel, client, {271, 29, 118, 207}},
            {f->Panel2, f->RightPanel, {2, 2, 114, 31}},
            {f->GroupCmb, f->Panel2, {8, 4, 105, 20}},
            {f->Panel5, f->RightPanel, {2, 33, 7, 131}},
            {f->Panel6, f->RightPanel, {9, 33, 107, 131}},
            {f->RecordLst, f->Panel6, {0, 0, 101, 131}},
            {f->LinePanel, f->RightPanel, {2, 164, 114, 37}},
            {f->GB1, f->LinePanel, {8, 2, 101, 33}},
            {f->CurrentLineLbl, f->GB1, {2, 14, 46, 17}},
            {f->Label1, f->GB1, {48, 14, 51, 17}},
            {f->Panel1, f->RightPanel, {2, 201, 114, 4}},
            {f->MainEdit, client, {0, 29, 271, 207}},
            {f->CreateRecBtn, f->SpeedPanel, {12, 3, 25, 25}},
            {f->DeleteRecBtn, f->SpeedPanel, {38, 3, 27, 25}},
            {f->SaveDataBtn, f->SpeedPanel, {70, 3, 25, 25}},
            {f->PrintBtn, f->SpeedPanel, {100, 3, 25, 25}},
            {f->ExitBtn, f->SpeedPanel, {126, 3, 25, 25}},
        };
        for (const Box& b : boxes)
            QVERIFY2(boxIn(b.control, b.parent) == b.box,
                     qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                    .arg(b.control->objectName())
                                    .arg(boxIn(b.control, b.parent).x())
                                    .arg(boxIn(b.control, b.parent).y())
                                    .arg(b.control->width())
                                    .arg(b.control->height())));

        // Tool buttons: flat, glyph only, a normal and a greyed image whose
        // bottom-left colour is transparent.
        const QList<std::pair<QToolButton*, int>> glyphs = {{f->CreateRecBtn, 16},
                                                            {f->DeleteRecBtn, 16},
                                                            {f->SaveDataBtn, 20},
                                                            {f->PrintBtn, 16},
                                                            {f->ExitBtn, 20}};
        for (const auto& [button, size] : glyphs) {
            QVERIFY(button->autoRaise());
            QCOMPARE(button->text(), QString());
            QCOMPARE(button->toolTip(), QString());
            QCOMPARE(button->iconSize(), QSize(size, size));
            const QImage normal = button->icon().pixmap(QSize(size, size), QIcon::Normal).toImage();
            const QImage greyed =
                button->icon().pixmap(QSize(size, size), QIcon::Disabled).toImage();
            QCOMPARE(normal.size(), QSize(size, size));
            QVERIFY2(normal != greyed, qPrintable(button->objectName()));
            QCOMPARE(qAlpha(normal.pixel(0, size - 1)), 0);
            QCOMPARE(qAlpha(greyed.pixel(0, size - 1)), 0);
        }
    }

    void resizingAndHiddenPanels() {
        Opened s;
        TMainFrm* f = s.f;
        QWidget* client = f->centralWidget();
        f->resize(700, 520);
        QTRY_COMPARE(client->width(), 700);
        const int h = client->height();
        QCOMPARE(f->RightPanel->geometry(), QRect(700 - 118, 29, 118, h - 29 - 32));
        QCOMPARE(f->MainEdit->geometry(), QRect(0, 29, 700 - 118, h - 29 - 32));
        QCOMPARE(f->RecordLst->size(), QSize(101, h - 29 - 32 - 2 - 31 - 37 - 4 - 2));
        QCOMPARE(f->GroupCmb->geometry(), QRect(8, 4, 105, 20));
        QCOMPARE(f->DownPanel->geometry(), QRect(0, h - 32, 700, 32));

        // Hidden panels give their room to their neighbours.
        f->SpeedPanel->hide();
        QTRY_COMPARE(f->MainEdit->geometry(), QRect(0, 0, 700 - 118, h - 32));
        QCOMPARE(f->RightPanel->geometry(), QRect(700 - 118, 0, 118, h - 32));
        f->DownPanel->hide();
        QTRY_COMPARE(f->MainEdit->height(), h);
        const int listHeight = f->RecordLst->height();
        f->LinePanel->hide();
        QTRY_COMPARE(f->RecordLst->height(), listHeight + 37);
        QCOMPARE(boxIn(f->Panel1, f->RightPanel).bottom(), f->RightPanel->height() - 3);
    }

    void focusAndEditingCommands() {
        Opened s;
        TMainFrm* f = s.f;
        QTRY_COMPARE(QApplication::focusWidget(), f->GroupCmb);
        const auto editing = [f] {
            const bool on = f->MnuFind->isEnabled();
            for (QAction* a : {f->CutMnu, f->CopyMnu, f->PasteMnu, f->DeleteMnu})
                if (a->isEnabled() != on)
                    return -1;
            return on ? 1 : 0;
        };
        QCOMPARE(editing(), 0);
        QVERIFY(f->DeleteRecordMnu->isEnabled());
        QVERIFY(f->DeleteRecBtn->isEnabled());
        QVERIFY(!f->SaveDataBtn->isEnabled());

        // Tab order: the group list, the record list, the editor.
        QTest::keyClick(f->GroupCmb, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f->RecordLst);
        QTest::keyClick(f->RecordLst, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f->MainEdit);
        QCOMPARE(editing(), 1);
        QTest::keyClick(f->MainEdit, Qt::Key_Tab); // a tab character, not a move
        QCOMPARE(QApplication::focusWidget(), f->MainEdit);
        QTest::keyClick(f->MainEdit, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), f->RecordLst);
        QCOMPARE(editing(), 0);

        // Clicks: panels, labels, the status bar and the tool buttons never
        // take the focus.
        click(f->MainEdit);
        QCOMPARE(QApplication::focusWidget(), f->MainEdit);
        QCOMPARE(editing(), 1);
        for (QWidget* w : std::initializer_list<QWidget*>{
                 f->SpeedPanel, f->PrintBtn, f->DeleteRecBtn, f->Panel5, f->Label1, f->GB1,
                 f->StatusBar, f->DownPanel, f->LinePanel, f->RightPanel}) {
            QCOMPARE(w->focusPolicy(), Qt::NoFocus);
        }
        click(f->Label1);
        click(f->StatusBar);
        QCOMPARE(QApplication::focusWidget(), f->MainEdit);
        QCOMPARE(editing(), 1);

        // Another window taking the activation, a dialog, a menu: no change.
        QWidget other;
        other.setGeometry(10, 10, 50, 50);
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        f->activateWindow();
        QTRY_VERIFY(f->isActiveWindow());
        QCOMPARE(editing(), 1);
        MainFrm->ShowForm(QStringLiteral("CngExp"));
        QTRY_VERIFY(CngExpFrm->isActiveWindow());
        QCOMPARE(editing(), 1);
        CngExpFrm->hide();
        f->activateWindow();
        QTRY_VERIFY(f->isActiveWindow());
        QCOMPARE(editing(), 1);
        click(f->Panel5, Qt::RightButton);
        QTRY_VERIFY(f->Pum2->isVisible());
        closeMenus();
        QCOMPARE(editing(), 1);
        QTRY_COMPARE(QApplication::focusWidget(), f->MainEdit);

        click(f->RecordLst->viewport(), Qt::LeftButton,
              f->RecordLst->visualItemRect(f->RecordLst->item(0)).center());
        QCOMPARE(QApplication::focusWidget(), f->RecordLst->viewport()->focusProxy()
                                                  ? f->RecordLst->viewport()->focusProxy()
                                                  : f->RecordLst);
        QCOMPARE(editing(), 0);
        click(f->GroupCmb);
        closeMenus();
        QCOMPARE(editing(), 0);
    }

    void shortcuts_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("key");
        QTest::newRow("cut") << "CutMnu" << int(Qt::Key_X);
        QTest::newRow("copy") << "CopyMnu" << int(Qt::Key_C);
        QTest::newRow("paste") << "PasteMnu" << int(Qt::Key_V);
        QTest::newRow("find") << "FindStringMnu" << int(Qt::Key_F);
        QTest::newRow("line") << "MoveLineMnu" << int(Qt::Key_L);
        QTest::newRow("remember") << "PointMemoryMnu" << int(Qt::Key_M);
        QTest::newRow("go back") << "MoveMemoryMnu" << int(Qt::Key_R);
    }

    void shortcuts() {
        QFETCH(QString, item);
        QFETCH(int, key);
        Opened s;
        TMainFrm* f = s.f;
        auto* action = f->findChild<QAction*>(item);
        QVERIFY(action);
        // Only whether the item's command is reached counts here.
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        QSignalSpy triggered(action, &QAction::triggered);
        QApplication::clipboard()->setText(QStringLiteral("clip"));

        // Outside the editor the item is disabled: the key is used up and
        // nothing happens, not even the focused control's own handling.
        for (QWidget* control :
             {static_cast<QWidget*>(f->RecordLst), static_cast<QWidget*>(f->GroupCmb)}) {
            control->setFocus();
            KeyCounter counter(control);
            const int row = f->RecordLst->currentRow();
            QTest::keyClick(control, Qt::Key(key), Qt::ControlModifier);
            QCOMPARE(triggered.count(), 0);
            QCOMPARE(counter.presses, 0);
            QCOMPARE(f->RecordLst->currentRow(), row);
        }
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("clip"));

        // In the editor the menu command runs instead of the editor's own.
        click(f->MainEdit);
        QCOMPARE(QApplication::focusWidget(), f->MainEdit);
        f->MainEdit->selectAll();
        const QString text = f->MainEdit->document()->toString();
        KeyCounter counter(f->MainEdit);
        QTest::keyClick(f->MainEdit, Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(triggered.count(), 1);
        QCOMPARE(counter.presses, 0);
        QCOMPARE(f->MainEdit->document()->toString(), text);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("clip"));

        // With the menu item itself disabled the key does nothing either.
        action->setEnabled(false);
        QTest::keyClick(f->MainEdit, Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(triggered.count(), 1);
        QCOMPARE(counter.presses, 0);
    }

    void createRecordFromAnywhere() {
        Opened s;
        TMainFrm* f = s.f;
        for (QWidget* control :
             {static_cast<QWidget*>(f->GroupCmb), static_cast<QWidget*>(f->RecordLst),
              static_cast<QWidget*>(f->MainEdit)}) {
            CreRecFrm->hide();
            control->setFocus();
            QTest::keyClick(control, Qt::Key_N, Qt::ControlModifier);
            QVERIFY2(CreRecFrm->isVisible(), qPrintable(control->objectName()));
        }
        // Pop-up items have no shortcuts; other Ctrl keys pass to the control.
        CreRecFrm->hide();
        f->activateWindow();
        QTRY_VERIFY(f->isActiveWindow());
        click(f->MainEdit);
        f->MainEdit->setCaret(f->MainEdit->document()->length());
        QTest::keyClick(f->MainEdit, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(f->MainEdit->caret(), 0);
    }

    void popupMenus_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QPoint>("at"); // (-1, -1): the control's centre
        QTest::addColumn<QString>("menu");
        const QPoint centre(-1, -1);
        QTest::newRow("record list") << "RecordLst" << centre << "Pum2";
        QTest::newRow("strip left of the list") << "Panel5" << centre << "Pum2";
        QTest::newRow("strip right of the list") << "Panel6" << QPoint(104, 60) << "Pum2";
        QTest::newRow("group list") << "GroupCmb" << centre << "Pum1";
        QTest::newRow("beside the group list") << "Panel2" << QPoint(3, 3) << "Pum1";
        QTest::newRow("editor") << "MainEdit" << centre << "Pum3";
        QTest::newRow("tool bar") << "SpeedPanel" << QPoint(300, 10) << "";
        QTest::newRow("tool button") << "PrintBtn" << centre << "";
        QTest::newRow("line display") << "GB1" << centre << "";
        QTest::newRow("line label") << "Label1" << centre << "";
        QTest::newRow("below the line display") << "Panel1" << centre << "";
        QTest::newRow("status bar") << "StatusBar" << centre << "";
        QTest::newRow("frame of the right panel") << "RightPanel" << QPoint(0, 100) << "";
        QTest::newRow("menu bar") << "MainMenu1" << QPoint(350, 5) << "";
    }

    void popupMenus() {
        QFETCH(QString, control);
        QFETCH(QPoint, at);
        QFETCH(QString, menu);
        Opened s;
        TMainFrm* f = s.f;
        auto* w = f->findChild<QWidget*>(control);
        QVERIFY(w);
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            w = area->viewport();
        if (at == QPoint(-1, -1))
            at = w->rect().center();
        const int row = f->RecordLst->currentRow();

        // Pressing the right button opens nothing; releasing it does.
        QTest::mousePress(f->windowHandle(), Qt::RightButton, {}, w->mapTo(f, at));
        QCoreApplication::processEvents(); // what the event loop has ready
        QCOMPARE(openMenu(), nullptr);
        QTest::mouseRelease(f->windowHandle(), Qt::RightButton, {}, w->mapTo(f, at));
        if (menu.isEmpty()) {
            QCoreApplication::processEvents(); // what the event loop has ready
            QCOMPARE(openMenu(), nullptr);
            return;
        }
        QTRY_VERIFY(openMenu());
        QCOMPARE(openMenu()->objectName(), menu);
        const QPoint pointer = w->mapToGlobal(at);
        if (openMenu()->screen()->geometry().contains(
                pointer + QPoint(openMenu()->width(), openMenu()->height())))
            QCOMPARE(openMenu()->pos(), pointer);
        QCOMPARE(f->RecordLst->currentRow(), row);
        closeMenus();
    }

    void contextMenuKey() {
        Opened s;
        TMainFrm* f = s.f;
        const QList<std::pair<QWidget*, QMenu*>> cases = {
            {f->GroupCmb, f->Pum1}, {f->RecordLst, f->Pum2}, {f->MainEdit, f->Pum3}};
        for (const auto& [control, menu] : cases) {
            control->setFocus();
            QTest::keyPress(control, Qt::Key_Menu);
            QCOMPARE(openMenu(), nullptr);
            QTest::keyRelease(control, Qt::Key_Menu);
            QTRY_COMPARE(openMenu(), menu);
            QCOMPARE(menu->pos(), control->mapToGlobal(QPoint(0, 0)));
            closeMenus();
            QTest::keyClick(control, Qt::Key_Menu, Qt::AltModifier);
            QCoreApplication::processEvents(); // what the event loop has ready
            QCOMPARE(openMenu(), nullptr);
        }
    }

    void popupItemsRunTheirCommands() {
        Opened s;
        TMainFrm* f = s.f;
        click(f->RecordLst->viewport(), Qt::RightButton);
        QTRY_COMPARE(openMenu(), f->Pum2);
        click(f->Pum2, Qt::LeftButton, f->Pum2->actionGeometry(f->CreateRecordPum2).center());
        QTRY_VERIFY(CreRecFrm->isVisible());
        QCOMPARE(openMenu(), nullptr);

        click(f->GroupCmb, Qt::RightButton);
        QTRY_COMPARE(openMenu(), f->Pum1);
        click(f->Pum1, Qt::LeftButton, f->Pum1->actionGeometry(f->CreateGroupPum1).center());
        QTRY_VERIFY(CreateDirFrm->isVisible());
    }

    void showForm() {
        Opened s;
        TMainFrm* f = s.f;
        const QList<QDialog*> dialogs = {CreRecFrm, CreateDirFrm, CngExpFrm, SavePathFrm};
        const auto visible = [&] {
            QStringList names;
            for (QDialog* d : dialogs)
                if (d->isVisible())
                    names.append(d->objectName());
            return names.join(u',');
        };
        const auto hideAll = [&] {
            for (QDialog* d : dialogs)
                d->hide();
        };
        for (const QString& key : {QStringLiteral("credir"), QStringLiteral("CreDir "),
                                   QStringLiteral("CRErec"), QString()}) {
            MainFrm->ShowForm(key);
            QCOMPARE(visible(), QString());
        }
        MainFrm->ShowForm(QStringLiteral("CreRec"));
        QCOMPARE(visible(), CreRecFrm->objectName());
        MainFrm->ShowForm(QStringLiteral("CreDir"));
        MainFrm->ShowForm(QStringLiteral("CngExp"));
        QCOMPARE(visible(), QStringList({CreRecFrm->objectName(), CreateDirFrm->objectName(),
                                         CngExpFrm->objectName()})
                                .join(u','));
        QVERIFY(!CngExpFrm->isModal());
        QTRY_VERIFY(CngExpFrm->isActiveWindow());
        // Showing an open dialog brings it to the front; there is one of each.
        MainFrm->ShowForm(QStringLiteral("CreRec"));
        QTRY_VERIFY(CreRecFrm->isActiveWindow());
        QCOMPARE(f->findChildren<TCreRecFrm*>().size(), 1);
        hideAll();

        // The destination folder dialog is modal: ShowForm returns when it
        // has closed.
        bool wasModal = false;
        QTimer::singleShot(50, SavePathFrm, [&] {
            wasModal = QApplication::activeModalWidget() == SavePathFrm;
            SavePathFrm->reject();
        });
        MainFrm->ShowForm(QStringLiteral("SavePath"));
        QVERIFY(wasModal);
        QVERIFY(!SavePathFrm->isVisible());

        // The senders of SC_FormShow, the tool button and the pop-up item.
        const QList<std::pair<QObject*, QDialog*>> senders = {{f->CreateRecordMnu, CreRecFrm},
                                                              {f->CreateGroupMnu, CreateDirFrm},
                                                              {f->ExpChangeMnu, CngExpFrm},
                                                              {f->CreateGroupPum1, CreateDirFrm},
                                                              {f->DeleteGroupMnu, CreateDirFrm}};
        for (const auto& [sender, dialog] : senders) {
            hideAll();
            f->SC_FormShow(sender);
            QCOMPARE(visible(), dialog->objectName());
        }
        hideAll();
        click(f->CreateRecBtn);
        QCOMPARE(visible(), CreRecFrm->objectName());
        hideAll();
        f->CreateRecordPum2->trigger();
        QCOMPARE(visible(), CreRecFrm->objectName());
        hideAll();
        f->CreateGroupMnu->trigger();
        f->CreateGroupPum1->trigger();
        QCOMPARE(visible(), CreateDirFrm->objectName());
        QTRY_VERIFY(CreateDirFrm->isActiveWindow());
        hideAll();

        // Without the dialog, its key opens nothing.
        f->setDialogs(CreateDirFrm, nullptr, CngExpFrm, SavePathFrm);
        MainFrm->ShowForm(QStringLiteral("CreRec"));
        f->setDialogs(CreateDirFrm, CreRecFrm, CngExpFrm, SavePathFrm);
        QCOMPARE(visible(), QString());
    }

    void hintsOfControls() {
        Opened s;
        TMainFrm* f = s.f;
        QSignalSpy changes(f->StatusBar, &QStatusBar::messageChanged);
        using Case = std::pair<QWidget*, QString>;
        const QList<Case> cases = {
            Case{f->DeleteRecBtn, kDeleteHint},
            Case{f->MainEdit->viewport(), QString()},
            Case{f->CreateRecBtn, QStringLiteral("新規にレコードを作成します")},
            Case{f->SaveDataBtn, QStringLiteral("現在編集中のテキストを保存します")}, // disabled
            Case{f->SpeedPanel, QString()},
            Case{f->PrintBtn, QStringLiteral("表示されているテキストを印刷します")},
            Case{f->ExitBtn, QStringLiteral("アプリケーションを終了します")},
            Case{f->GroupCmb, kGroupHint},
            Case{f->Panel2, QString()},
            Case{f->RecordLst->viewport(), kRecordHint},
            Case{f->Panel5, QString()},
            Case{f->Label1, kLineHint},
            Case{f->CurrentLineLbl, kLineHint},
            Case{f->GB1, kLineHint},
            Case{f->StatusBar, QString()},
            Case{f->MainEdit->verticalScrollBar(), QString()},
        };
        for (const auto& [control, hint] : cases) {
            QPoint at = control->rect().center();
            if (control == f->SpeedPanel || control == f->Panel2)
                at = QPoint(2, 2);
            QTest::mouseMove(control, at);
            QTRY_COMPARE_WITH_TIMEOUT(f->StatusBar->currentMessage(), hint, 1000);
        }
        // The line changes only when the hint does.
        changes.clear();
        QTest::mouseMove(f->CurrentLineLbl);
        QTRY_COMPARE(f->StatusBar->currentMessage(), kLineHint);
        QTest::mouseMove(f->Label1);
        QTest::mouseMove(f->GB1, QPoint(3, 3));
        QCoreApplication::processEvents(); // what the event loop has ready
        QCOMPARE(changes.count(), 1);

        // A disabled tool button still shows its hint, and no tooltip.
        f->DeleteRecBtn->setEnabled(false);
        f->DeleteRecBtn->setToolTip(QStringLiteral("tip")); // even one given a text
        QTest::mouseMove(f->DeleteRecBtn);
        QTRY_COMPARE(f->StatusBar->currentMessage(), kDeleteHint);
        for (QWidget* w : {static_cast<QWidget*>(f->DeleteRecBtn), f->window()}) {
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(w, &help);
        }
        QCoreApplication::processEvents(); // what the event loop has ready
        QVERIFY(!QToolTip::isVisible());

        // A hidden status bar still gets the hints.
        f->DownPanel->hide();
        QTest::mouseMove(f->GroupCmb);
        QTRY_COMPARE(f->StatusBar->currentMessage(), kGroupHint);
        f->DownPanel->show();
        QTest::mouseMove(f->MainEdit->viewport());
        QTRY_COMPARE(f->StatusBar->currentMessage(), QString());
    }

    void hintsOfMenuItems() {
        Opened s;
        TMainFrm* f = s.f;
        QTest::mouseMove(f->MainEdit->viewport());
        QTRY_COMPARE(f->StatusBar->currentMessage(), QString());

        // A drop-down of the menu bar: each highlighted item shows its hint.
        click(f->MainMenu1, Qt::LeftButton,
              f->MainMenu1->actionGeometry(f->MnuConfig->menuAction()).center());
        QTRY_COMPARE(openMenu(), f->MnuConfig);
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("アプリケーションの設定に関するメニューです"));
        QTest::mouseMove(f->MnuConfig, f->MnuConfig->actionGeometry(f->RightReturnMnu).center());
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("表示しているテキストを右端で折り返します"));
        QTest::keyClick(f->MnuConfig, Qt::Key_Down);
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("インターフェースを変更します"));
        QTest::keyClick(f->MnuConfig, Qt::Key_Right);
        QTRY_COMPARE(openMenu(), f->InterFaceMnu);
        QTRY_COMPARE(f->StatusBar->currentMessage(), QStringLiteral("ツールバーを隠します"));
        QTest::keyClick(f->InterFaceMnu, Qt::Key_Up);
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("レコード作成フォームで[作成]ボタンを押した後 "
                                    "閉じるかどうか設定します"));
        // Escape closes the menus one by one; once the menu bar is left the
        // line is empty.
        QTest::keyClick(f->InterFaceMnu, Qt::Key_Escape);
        QTRY_COMPARE(openMenu(), f->MnuConfig);
        QTest::keyClick(f->MnuConfig, Qt::Key_Escape);
        QTRY_COMPARE(openMenu(), nullptr);
        QSignalSpy changes(f->StatusBar, &QStatusBar::messageChanged);
        QTest::keyClick(f->MainMenu1, Qt::Key_Escape);
        QTRY_COMPARE(f->StatusBar->currentMessage(), QString());
        QVERIFY(!changes.isEmpty());

        // A pop-up menu: the record list's items have hints, the editor's none.
        QTest::mouseMove(f->RecordLst->viewport());
        QTRY_COMPARE(f->StatusBar->currentMessage(), kRecordHint);
        click(f->RecordLst->viewport(), Qt::RightButton);
        QTRY_COMPARE(openMenu(), f->Pum2);
        QTest::mouseMove(f->Pum2, f->Pum2->actionGeometry(f->DeleteRecordPum2).center());
        QTRY_COMPARE(f->StatusBar->currentMessage(), kDeleteHint);
        closeMenus();
        // After the menu the pointer's control shows its hint again.
        QTest::mouseMove(f->RecordLst->viewport(), QPoint(5, 5));
        QTRY_COMPARE(f->StatusBar->currentMessage(), kRecordHint);

        click(f->MainEdit->viewport(), Qt::RightButton);
        QTRY_COMPARE(openMenu(), f->Pum3);
        QTest::mouseMove(f->Pum3, f->Pum3->actionGeometry(f->PointPum3).center());
        QTRY_COMPARE(f->Pum3->activeAction(), f->PointPum3);
        QTRY_COMPARE(f->StatusBar->currentMessage(), QString());
        closeMenus();
    }
};

OSTREL_TEST_MAIN(MainWindowLayout)
#include "tst_mainwindow_layout.moc"
