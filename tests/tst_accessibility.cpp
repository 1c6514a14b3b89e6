// What a screen reader learns of the windows: walking each window's tree
// through Qt's accessibility API, as the desktop's accessibility bridge does,
// every control, list, menu and menu item has a name, and every control a
// user acts on has a description in Japanese.
#include "TestMain.h"
#include "TestSupport.h"

#include "dialogs/SavePathUnit.h"
#include "dialogs/SearchUnit.h"
#include "mainwindow/FindDialog.h"
#include "mainwindow/MainFrm.h"
#include "ui/MessageBox.h"

#include <QAccessible>
#include <QGroupBox>
#include <QMenu>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>

using namespace testing;

namespace {

bool isJapanese(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

// What the walk found: every object it reached and what was missing.
struct Walk {
    QSet<QString> reached;
    QStringList problems;
};

QString describe(QAccessibleInterface* i, const QString& path) {
    QObject* o = i->object();
    const QString name = o && !o->objectName().isEmpty() ? o->objectName()
                         : o ? QString::fromLatin1(o->metaObject()->className())
                             : QStringLiteral("item");
    return path + u'/' + name;
}

void walk(QAccessibleInterface* i, const QString& parentPath, Walk& out) {
    const QString path = describe(i, parentPath);
    if (i->object())
        out.reached.insert(i->object()->objectName());
    const QString name = i->text(QAccessible::Name);
    const QString description = i->text(QAccessible::Description);
    QAccessible::Role role = i->role();
    if (role == QAccessible::Grouping && !qobject_cast<QGroupBox*>(i->object()))
        role = QAccessible::Client; // a row of buttons, not a captioned group
    switch (role) {
    case QAccessible::Client:
    case QAccessible::Border:
    case QAccessible::Separator:
    case QAccessible::Graphic:
        break; // frames, gaps and a message box's icon: nothing to read
    case QAccessible::Window:
    case QAccessible::Dialog:
    case QAccessible::AlertMessage:
    case QAccessible::ListItem:
    case QAccessible::StaticText:
    case QAccessible::Grouping:
        if (name.isEmpty())
            out.problems.append(path + QStringLiteral(" has no name"));
        break;
    default:
        if (name.isEmpty())
            out.problems.append(path + QStringLiteral(" has no name"));
        if (!isJapanese(description))
            out.problems.append(path + QStringLiteral(" has no Japanese description: ") +
                                description);
    }
    for (int c = 0; c < i->childCount(); ++c) {
        QAccessibleInterface* child = i->child(c);
        if (!child) {
            out.problems.append(path + QStringLiteral(" misses its child ") + QString::number(c));
            continue;
        }
        // A reader moves up and sideways too.
        if (child->parent() != i || i->indexOfChild(child) != c)
            out.problems.append(describe(child, path) +
                                QStringLiteral(" does not lead back to its parent"));
        walk(child, path, out);
    }
}

Walk walkWindows(const QList<QObject*>& roots) {
    Walk out;
    for (QObject* root : roots)
        walk(QAccessible::queryAccessibleInterface(root), QString(), out);
    return out;
}

// Runs `look` on the next modal window that comes up, then closes it.
void onNextModal(std::function<void(QWidget*)> look) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, look] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        look(modal);
        modal->close();
    });
    timer->start();
}

struct Opened {
    DataFolder data;
    std::unique_ptr<testing::Started> started;
    TMainFrm* f = nullptr;

    Opened() {
        data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(QStringLiteral("仕事/会議.txt"), "議事録\n");
        data.write(QStringLiteral("仕事/予定.txt"), "");
        data.addGroup(QStringLiteral("買い物"));
        started = std::make_unique<testing::Started>();
        f = started->main;
    }
};

} // namespace

class Accessibility : public QObject {
    Q_OBJECT

private slots:
    void mainWindowIsNamedThroughout() {
        Opened s;
        TMainFrm* f = s.f;
        const Walk walk = walkWindows({f, f->Pum1, f->Pum2, f->Pum3});
        QVERIFY2(walk.problems.isEmpty(), qPrintable(walk.problems.join(u'\n')));
        // The walk went everywhere: into the tool bar, the lists, the editor,
        // each menu, a submenu and the pop-up menus.
        for (const char* name :
             {"CreateRecBtn", "ExitBtn", "GroupCmb", "RecordLst", "MainEdit", "CurrentLineLbl",
              "StatusBar", "CreateRecordMnu", "CutMnu", "HideToolBarMnu", "Create_Close_Record",
              "MoveMemoryMnu", "FixGroupPum", "DeleteRecordPum2", "MovePointPum3"})
            QVERIFY2(walk.reached.contains(QLatin1String(name)), name);
    }

    void dialogsAreNamedThroughout_data() {
        QTest::addColumn<QString>("dialog");
        QTest::newRow("create group") << "CreateDirFrm";
        QTest::newRow("create record") << "CreRecFrm";
        QTest::newRow("displayed files") << "CngExpFrm";
        QTest::newRow("destination") << "SavePathFrm";
        QTest::newRow("find") << "FindDialog";
        QTest::newRow("font") << "FontDialog";
        QTest::newRow("search") << "SearchFrm";
    }

    void dialogsAreNamedThroughout() {
        QFETCH(QString, dialog);
        Opened s;
        if (dialog == u"SearchFrm") {
            // Made when first opened, and shown with what it found.
            s.f->FindAllMnuClick();
            commitText(s.f->SearchFrm->FindEdt, QStringLiteral("議事"));
            QTRY_VERIFY(!s.f->SearchFrm->searching());
        }
        auto* d = s.f->findChild<QWidget*>(dialog);
        QVERIFY(d);
        d->show(); // the destination dialog fills its lists as it is shown
        QVERIFY(QTest::qWaitForWindowExposed(d));
        const Walk walk = walkWindows({d});
        QVERIFY2(walk.problems.isEmpty(), qPrintable(walk.problems.join(u'\n')));
        d->hide();
    }

    void boxesAreNamedThroughout() {
        Opened s;
        QStringList problems;
        const auto look = [&problems](QWidget* box) {
            problems.append(walkWindows({box}).problems);
        };
        // The line-number input box, and a question.
        s.f->MainEdit->setFocus();
        onNextModal(look);
        s.f->MoveLineMnuClick();
        onNextModal(look);
        ostrel::askQuestion(ostrel::QuestionKind::Information, QStringLiteral("保存しますか"),
                            ostrel::YesButton | ostrel::NoButton | ostrel::CancelButton);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }

    // Where the names and descriptions come from: captions and layouts name
    // the controls; hints describe them, an enclosing control's hint where a
    // control has none of its own, as the status bar shows it.
    void namesAndDescriptions_data() {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::newRow("tool button") << "DeleteRecBtn"
                                     << "レコードの削除"
                                     << "現在選択されているレコードを削除します";
        QTest::newRow("label in a group box") << "CurrentLineLbl"
                                              << "0"
                                              << "現在のカーソル位置の行番号です";
        QTest::newRow("menu item") << "CreateRecordMnu"
                                   << "レコードの作成(N)"
                                   << "新規にレコードを作成します(テキストファイル)";
        QTest::newRow("menu title") << "MnuFile"
                                    << "データ管理(D)"
                                    << "アプリケーションの操作に関するメニューです";
        QTest::newRow("submenu item") << "InterFaceMnu"
                                      << "インターフェース(I))"
                                      << "インターフェースを変更します";
        QTest::newRow("pop-up item without hint")
            << "CutPum3"
            << "切り取り(X)"
            << "選択されている文字列を切り取り、クリップボードにコピーします";
        QTest::newRow("radio button in a group box") << "TxtRdb"
                                                     << "テキスト(.TXT)"
                                                     << "作成するレコードに付ける拡張子を選びます";
        QTest::newRow("dialog button") << "CreRecFrm/CloseBtn"
                                       << "閉じる(C)"
                                       << "このウィンドウを閉じます";
    }

    void namesAndDescriptions() {
        QFETCH(QString, object);
        QFETCH(QString, name);
        QFETCH(QString, description);
        Opened s;
        QObject* scope = s.f;
        QString objectName = object;
        if (object.contains(u'/')) {
            scope = s.f->findChild<QWidget*>(object.section(u'/', 0, 0));
            objectName = object.section(u'/', 1);
            static_cast<QWidget*>(scope)->show();
        } else if (object.endsWith(u"Rdb")) {
            scope = s.f->findChild<QWidget*>(QStringLiteral("CreRecFrm"));
            static_cast<QWidget*>(scope)->show();
        }
        QObject* o = scope->findChild<QObject*>(objectName);
        QVERIFY(o);
        // A menu is reached through its title item, as in the walk.
        if (auto* menu = qobject_cast<QMenu*>(o))
            o = menu->menuAction();
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
        QVERIFY(i);
        QCOMPARE(i->text(QAccessible::Name), name);
        QCOMPARE(i->text(QAccessible::Description), description);
    }

    void dropDownListAndScrollBarsAreNamed() {
        Opened s;
        TMainFrm* f = s.f;
        QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(f->GroupCmb);
        QAccessibleInterface* list = combo->child(0);
        QVERIFY(list);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->text(QAccessible::Name), QStringLiteral("グループ"));
        QCOMPARE(list->text(QAccessible::Description),
                 QStringLiteral("グループを切り替えられます"));
        QAccessibleInterface* bar =
            QAccessible::queryAccessibleInterface(f->MainEdit->verticalScrollBar());
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("縦スクロールバー"));
    }
};

OSTREL_TEST_MAIN(Accessibility)
#include "tst_accessibility.moc"
