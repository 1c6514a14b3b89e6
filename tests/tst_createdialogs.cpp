// The create-group and create-record dialogs, driven through the main window,
// and the start-up in a data folder without groups.
#include "SavePathDriver.h"
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "dialogs/CreateDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "mainwindow/MainFrm.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <memory>

using testing::BoxAnswerer;
using testing::CngExpFrm;
using testing::CreateDirFrm;
using testing::CreRecFrm;
using testing::DataFolder;
using testing::MainFrm;

namespace {

const QString kGroupFailed = QStringLiteral("グループを作成できません。 注意を確認して下さい");
const QString kRecordFailed = QStringLiteral("エラー：レコードを作成できませんでした");
const QString kNoGroupQuestion = QStringLiteral(
    "グループが一つもないため、OSTREL を使うことができません。OSTREL を終了しますか？"
    "（「いいえ」を選ぶとグループの作成に戻ります）");
const QString kModifiedQuestion = QStringLiteral("文書が変更されています。保存しますか？");

// A running program in the data folder "data" of a temporary folder: what lies
// beside "data" is outside the data folder and must never change. The group
// "g1" holds a.txt and b.txt and is shown at start with a.txt loaded; the group
// "empty" has no records.
struct Session {
    DataFolder root;
    BoxAnswerer boxes;
    std::unique_ptr<testing::Windows> windows;
    TMainFrm* main = nullptr;

    explicit Session(bool withGroups = true) {
        root.addGroup(QStringLiteral("data"));
        root.write(QStringLiteral("outside/witness.txt"), "keep");
        QDir::setCurrent(root.absolute(QStringLiteral("data")));
        if (withGroups) {
            QByteArray ini = testing::defaultSettingsFile();
            ini.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=g1\n");
            root.write(QStringLiteral("data/Ostrel.ini"), ini);
            root.write(QStringLiteral("data/g1/a.txt"), "alpha");
            root.write(QStringLiteral("data/g1/b.txt"), "beta");
            root.addGroup(QStringLiteral("data/empty"));
        }
        windows = std::make_unique<testing::Windows>();
        main = windows->main;
        if (withGroups)
            testing::showMain(main);
    }
    bool exists(const QString& relative) const {
        return root.exists(QStringLiteral("data/") + relative);
    }
    // Every path below the temporary folder, except inside `skip`.
    QStringList tree(const QString& skip = QString()) const {
        QStringList out;
        QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = QDir(root.path()).relativeFilePath(it.next());
            if (skip.isEmpty() || !p.startsWith(skip + u'/'))
                out.append(p);
        }
        out.sort();
        return out;
    }
    QStringList records() const {
        QStringList out;
        for (int i = 0; i < main->RecordLst->count(); ++i)
            out.append(main->RecordLst->item(i)->text());
        return out;
    }
    // Creates an empty group through the create-group dialog: it becomes the
    // shown group while the editor keeps what it holds.
    bool newGroup(const QString& name);
};

// Waits until the dialog is the active window with the focus inside it.
bool active(QWidget* dialog) {
    return dialog->isVisible() && QTest::qWaitFor([dialog] {
               return QApplication::activeWindow() == dialog && QApplication::focusWidget() &&
                      QApplication::focusWidget()->window() == dialog;
           });
}

bool openCreateDir(TMainFrm* main) {
    main->CreateGroupMnu->trigger();
    return active(CreateDirFrm);
}

bool openCreRec(TMainFrm* main) {
    QTest::mouseClick(main->CreateRecBtn, Qt::LeftButton);
    return active(CreRecFrm);
}

bool Session::newGroup(const QString& name) {
    if (!openCreateDir(main))
        return false;
    QTest::keyClicks(CreateDirFrm->GroupNameEdt, name);
    QTest::keyClick(CreateDirFrm->GroupNameEdt, Qt::Key_Return);
    return !CreateDirFrm->isVisible() && main->GroupCmb->currentText() == name &&
           main->RecordLst->count() == 0;
}

void altC(QWidget* dialog) {
    QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_C,
                    Qt::AltModifier);
}

// Names that must never reach outside the data folder or the shown group.
const QStringList kUnsafeNames = {QStringLiteral("../x"),        QStringLiteral(".."),
                                  QStringLiteral("."),           QStringLiteral("a/b"),
                                  QStringLiteral("\\x"),         QStringLiteral("../outside/w2"),
                                  QStringLiteral("x\\..\\..\\y")};

bool namesOneEntry(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(u'\\');
}

} // namespace

class CreateDialogs : public QObject {
    Q_OBJECT

private slots:
    void frame_data();
    void frame();
    void createGroup();
    void createGroupFailure();
    void createGroupKeys();
    void groupNamesStayInside();
    void groupListedInAnotherForm();
    void recordExtensions_data();
    void recordExtensions();
    void firstRecordOfEmptyGroup_data();
    void firstRecordOfEmptyGroup();
    void newRecordIsEditable_data();
    void newRecordIsEditable();
    void recordInFilledGroup_data();
    void recordInFilledGroup();
    void existingRecordName();
    void recordNotListed();
    void recordKeys();
    void recordNamesStayInside();
    void recordWithoutShownGroup();
    void startupInEmptyFolder();
    void startupWithoutAGroupCanEnd_data();
    void startupWithoutAGroupCanEnd();
};

void CreateDialogs::frame_data() {
    QTest::addColumn<QString>("which");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QString>("caption");
    QTest::newRow("group") << "CreateDirFrm" << QSize(242, 173) << "グループの作成";
    QTest::newRow("record") << "CreRecFrm" << QSize(376, 186) << "レコードの作成";
}

// The frame the small dialogs share: border, placement, notice, buttons, one
// copy that keeps its fields and its place.
void CreateDialogs::frame() {
    QFETCH(QString, which);
    QFETCH(QSize, client);
    QFETCH(QString, caption);
    Session s;
    const bool group = which == u"CreateDirFrm";
    QDialog* dialog = group ? static_cast<QDialog*>(CreateDirFrm) : CreRecFrm;
    QLineEdit* field = group ? CreateDirFrm->GroupNameEdt : CreRecFrm->RecNameEdt;
    QPlainTextEdit* memo = dialog->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    QPushButton* create = dialog->findChild<QPushButton*>(QStringLiteral("CreateBtn"));
    QPushButton* close = dialog->findChild<QPushButton*>(QStringLiteral("CloseBtn"));
    QVERIFY(memo && create && close);

    // Placed once at creation: the top-left corner at the screen centre.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(dialog->pos(), QPoint(screen.width() / 2, screen.height() / 2));
    QCOMPARE(dialog->objectName(), which);
    QCOMPARE(dialog->windowTitle(), caption);
    QCOMPARE(dialog->minimumSize(), client);
    QCOMPARE(dialog->maximumSize(), client);
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(dialog->font().pixelSize(), 12);
    QCOMPARE(dialog->findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title(),
             QStringLiteral("ATTENTION！"));
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->frameShape(), QFrame::NoFrame);
    QCOMPARE(memo->palette().color(QPalette::Base), dialog->palette().color(QPalette::Window));
    QVERIFY(memo->toPlainText().endsWith(QStringLiteral("\n\\ / : , ; * ? \" < > |")));
    QCOMPARE(memo->toPlainText().count(u'\n'), group ? 6 : 7);
    // The same title-bar icon as the main window.
    s.main->setWindowIcon(QIcon(QStringLiteral(":/icons/tick.svg")));
    QCOMPARE(dialog->windowIcon().cacheKey(), s.main->windowIcon().cacheKey());
    // Pictures with a greyed variant for the disabled state.
    for (QPushButton* b : {create, close}) {
        const QImage normal = b->icon().pixmap(16, 16, QIcon::Normal).toImage();
        const QImage grey = b->icon().pixmap(16, 16, QIcon::Disabled).toImage();
        QVERIFY(!normal.isNull() && !grey.isNull());
        QVERIFY(normal != grey);
    }
    QCOMPARE(create->text(), QStringLiteral("作成(&C)"));
    QCOMPARE(close->text(), QStringLiteral("閉じる(&C)"));
    QVERIFY(!create->isEnabled());
    QVERIFY(create->isDefault());

    QVERIFY(group ? openCreateDir(s.main) : openCreRec(s.main));
    QCOMPARE(QApplication::focusWidget(), field);
    QVERIFY(!dialog->isModal());
    QTest::keyClicks(field, QStringLiteral("memo"));
    QVERIFY(create->isEnabled());

    // The notice follows the field in the tab order, and keeps Enter and Esc.
    QTest::keyClick(field, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), memo);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClick(memo, Qt::Key_Enter);
    QTest::keyClick(memo, Qt::Key_Escape);
    QTest::keyClicks(memo, QStringLiteral("zz"));
    QVERIFY(dialog->isVisible());
    QCOMPARE(field->text(), QStringLiteral("memo"));
    QVERIFY(!s.exists(QStringLiteral("memo")) && !s.exists(QStringLiteral("g1/memo.txt")));
    QCOMPARE(s.boxes.seen().size(), 0);
    QVERIFY(memo->toPlainText().startsWith(group ? QStringLiteral("グループ(フォルダ)")
                                                 : QStringLiteral("レコード(ファイル)")));

    // Moved by the user, closed by the title bar, opened again: same place,
    // same text, one copy.
    dialog->move(10, 20);
    const QPoint moved = dialog->pos();
    dialog->close();
    QVERIFY(!dialog->isVisible());
    QVERIFY(group ? openCreateDir(s.main) : openCreRec(s.main));
    QVERIFY(group ? openCreateDir(s.main) : openCreRec(s.main));
    QCOMPARE(dialog->pos(), moved);
    QCOMPARE(field->text(), QStringLiteral("memo"));
    QVERIFY(create->isEnabled());
    QCOMPARE(s.main->findChildren<QDialog*>(which).size(), 1);

    // Esc does nothing: neither button is a cancel button.
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(dialog->isVisible());
    QCOMPARE(s.boxes.seen().size(), 0);
}

// A new group: created, selected without the group-change handling, the field
// cleared and the dialog closed.
void CreateDialogs::createGroup() {
    Session s;
    QCOMPARE(s.main->GroupCmb->currentText(), QStringLiteral("g1"));
    QCOMPARE(s.main->MainEdit->document()->toString(), QStringLiteral("alpha"));
    s.main->MainEdit->setFocus();
    QTest::keyClicks(s.main->MainEdit, QStringLiteral("!"));
    QVERIFY(s.main->MainEdit->document()->isModified());
    const int groupIndex = s.main->GroupIndex;
    const QString recordPath = s.main->RecordPath();

    QVERIFY(openCreateDir(s.main));
    QLineEdit* field = CreateDirFrm->GroupNameEdt;
    // Commas and semicolons are accepted by the file system, so taken as typed.
    QTest::keyClicks(field, QStringLiteral("b,c;d"));
    testing::commitText(field, QStringLiteral("メモ"));
    QTest::keyClick(field, Qt::Key_Return);

    const QString name = QStringLiteral("b,c;dメモ");
    QVERIFY(QFileInfo(s.root.absolute(QStringLiteral("data/") + name)).isDir());
    QVERIFY(!CreateDirFrm->isVisible());
    QVERIFY(field->text().isEmpty());
    QVERIFY(!CreateDirFrm->CreateBtn->isEnabled());
    QCOMPARE(s.main->GroupCmb->currentText(), name);
    QCOMPARE(s.main->RecordLst->count(), 0);
    // The editor and the remembered state are untouched; nothing was asked.
    QCOMPARE(s.main->MainEdit->document()->toString(), QStringLiteral("!alpha"));
    QVERIFY(s.main->MainEdit->document()->isModified());
    QCOMPARE(s.main->GroupIndex, groupIndex);
    QCOMPARE(s.main->RecordPath(), recordPath);
    QCOMPARE(s.boxes.seen().size(), 0);
}

// An existing name: the message, the dialog stays with the name, the group
// list shows no group; a name typed and deleted disables Create again.
void CreateDialogs::createGroupFailure() {
    Session s;
    QVERIFY(openCreateDir(s.main));
    QLineEdit* field = CreateDirFrm->GroupNameEdt;
    QPushButton* create = CreateDirFrm->CreateBtn;

    QTest::keyClicks(field, QStringLiteral("x"));
    QVERIFY(create->isEnabled());
    QTest::keyClick(field, Qt::Key_Backspace);
    QVERIFY(!create->isEnabled());
    QTest::keyClick(field, Qt::Key_Return); // nothing to press
    QVERIFY(CreateDirFrm->isVisible());
    QTest::keyClick(field, Qt::Key_Space); // a single space counts
    QVERIFY(create->isEnabled());
    QTest::keyClick(field, Qt::Key_Backspace);

    QTest::keyClicks(field, QStringLiteral("g1"));
    s.boxes.answer(QStringLiteral("OK"));
    QTest::mouseClick(create, Qt::LeftButton);
    QCOMPARE(s.boxes.texts(), QStringList{kGroupFailed});
    QCOMPARE(s.boxes.seen().first().title, QStringLiteral("OSTREL"));
    QVERIFY(CreateDirFrm->isVisible());
    QCOMPARE(field->text(), QStringLiteral("g1"));
    QCOMPARE(s.main->GroupCmb->currentIndex(), -1);
    QCOMPARE(s.main->GroupCmb->count(), 2);
    QCOMPARE(s.records(), (QStringList{"a.txt", "b.txt"}));
}

// Alt+C presses Create while it is enabled and Close otherwise.
void CreateDialogs::createGroupKeys() {
    Session s;
    const QStringList before = s.tree();
    QVERIFY(openCreateDir(s.main));
    altC(CreateDirFrm);
    QVERIFY(!CreateDirFrm->isVisible());
    QCOMPARE(s.tree(), before);

    QVERIFY(openCreateDir(s.main));
    QTest::keyClicks(CreateDirFrm->GroupNameEdt, QStringLiteral("new"));
    altC(CreateDirFrm);
    QVERIFY(s.exists(QStringLiteral("new")));
    QVERIFY(!CreateDirFrm->isVisible());
    QCOMPARE(s.main->GroupCmb->currentText(), QStringLiteral("new"));
    QCOMPARE(s.boxes.seen().size(), 0);
}

// No typed name creates or changes anything but one folder of the data folder.
void CreateDialogs::groupNamesStayInside() {
    Session s;
    QStringList names = kUnsafeNames;
    names.append(s.root.absolute(QStringLiteral("abs")));
    const QStringList before = s.tree();
    QVERIFY(openCreateDir(s.main));
    for (const QString& name : std::as_const(names)) {
        QLineEdit* field = CreateDirFrm->GroupNameEdt;
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, name);
        QCOMPARE(field->text(), name);
        s.boxes.answer(QStringLiteral("OK"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(s.boxes.seen().size(), names.indexOf(name) + 1);
        QCOMPARE(s.boxes.seen().last().text, kGroupFailed);
        QVERIFY2(CreateDirFrm->isVisible(), qPrintable(name));
        QCOMPARE(s.tree(), before);
    }
}

// A name the folder listing does not give back as typed (a hidden folder is
// not a group): created all the same, and the first group is selected.
void CreateDialogs::groupListedInAnotherForm() {
    Session s;
    QVERIFY(openCreateDir(s.main));
    QTest::keyClicks(CreateDirFrm->GroupNameEdt, QStringLiteral(".hid"));
    QTest::keyClick(CreateDirFrm->GroupNameEdt, Qt::Key_Return);
    QVERIFY(QFileInfo(s.root.absolute(QStringLiteral("data/.hid"))).isDir());
    QVERIFY(!CreateDirFrm->isVisible());
    QCOMPARE(s.main->GroupCmb->currentIndex(), 0);
    QCOMPARE(s.main->GroupCmb->currentText(), QStringLiteral("empty"));
    QCOMPARE(s.main->RecordLst->count(), 0);
    QCOMPARE(s.boxes.seen().size(), 0);
}

void CreateDialogs::recordExtensions_data() {
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("file");
    // Whether the default pattern list shows it (its last pattern, "*.reg",
    // is dropped; "*.htm" also lists ".html").
    QTest::addColumn<bool>("listed");
    QTest::newRow("txt") << "TxtRdb"
                         << "memo"
                         << "memo.txt" << true;
    QTest::newRow("ini") << "IniRdb"
                         << "memo"
                         << "memo.Ini" << true;
    QTest::newRow("bat") << "BatRdb"
                         << "memo"
                         << "memo.bat" << true;
    QTest::newRow("htm") << "HtmRdb"
                         << "memo"
                         << "memo.htm" << true;
    QTest::newRow("html") << "HtmlRdb"
                          << "memo"
                          << "memo.html" << true;
    QTest::newRow("reg") << "RegRdb"
                         << "memo"
                         << "memo.Reg" << false;
    QTest::newRow("c") << "CRdb"
                       << "memo"
                       << "memo.c" << true;
    QTest::newRow("cpp") << "CppRdb"
                         << "memo"
                         << "memo.cpp" << true;
    QTest::newRow("cgi") << "CgiRdb"
                         << "memo"
                         << "memo.cgi" << true;
    QTest::newRow("none") << "NoneRdb"
                          << "memo"
                          << "memo" << false;
    QTest::newRow("twice") << "TxtRdb"
                           << "memo.txt"
                           << "memo.txt.txt" << true;
    QTest::newRow("comma") << "NoneRdb"
                           << "a,b;c"
                           << "a,b;c" << false;
}

// The name as typed plus the chosen radio button's text; the new record is
// selected and loaded without the unsaved-changes question.
void CreateDialogs::recordExtensions() {
    QFETCH(QString, radio);
    QFETCH(QString, typed);
    QFETCH(QString, file);
    QFETCH(bool, listed);
    Session s;
    QVERIFY(openCreRec(s.main));
    auto* button = CreRecFrm->findChild<QRadioButton*>(radio);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, button->height() / 2));
    QVERIFY(button->isChecked());
    QTest::keyClicks(CreRecFrm->RecNameEdt, typed);
    QTest::mouseClick(CreRecFrm->CreateBtn, Qt::LeftButton);

    QVERIFY(QFileInfo(s.root.absolute(QStringLiteral("data/g1/") + file)).isFile());
    QCOMPARE(s.root.read(QStringLiteral("data/g1/") + file), QByteArray());
    QCOMPARE(QDir(s.root.absolute(QStringLiteral("data/g1"))).count(), 5u);
    QVERIFY(CreRecFrm->RecNameEdt->text().isEmpty());
    QVERIFY(!CreRecFrm->CreateBtn->isEnabled());
    QCOMPARE(s.boxes.seen().size(), 0);
    QCOMPARE(s.records().contains(file), listed);
    if (listed) {
        QCOMPARE(s.main->RecordLst->currentItem()->text(), file);
        QCOMPARE(s.main->RecordPath(), QStringLiteral("./g1/") + file);
        QVERIFY(!CreRecFrm->isVisible());
    } else {
        // Not shown by the pattern list: the first record is loaded instead.
        QCOMPARE(s.main->RecordLst->currentRow(), 0);
        QCOMPARE(s.main->MainEdit->document()->toString(), QStringLiteral("alpha"));
    }
}

void CreateDialogs::firstRecordOfEmptyGroup_data() {
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("saved"); // g1/a.txt afterwards
    QTest::newRow("no edits") << false << QString() << QByteArray("alpha");
    QTest::newRow("edits saved") << true << QStringLiteral("はい(&Y)") << QByteArray("!alpha");
    QTest::newRow("edits dropped") << true << QStringLiteral("いいえ(&N)") << QByteArray("alpha");
}

// The first record of an empty group: selected and loaded, after the question
// about unsaved edits, ready to type into; the dialog stays open though the
// option is ticked. What is typed next goes into the new record, never into
// the one shown before.
void CreateDialogs::firstRecordOfEmptyGroup() {
    QFETCH(bool, edited);
    QFETCH(QString, answer);
    QFETCH(QByteArray, saved);
    Session s;
    if (edited) {
        s.main->MainEdit->setFocus();
        QTest::keyClicks(s.main->MainEdit, QStringLiteral("!"));
        QVERIFY(s.main->MainEdit->document()->isModified());
    }
    QVERIFY(s.newGroup(QStringLiteral("fresh")));
    QVERIFY(s.main->Create_Close_Record->isChecked());

    QVERIFY(openCreRec(s.main));
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("first"));
    if (edited)
        s.boxes.answer(answer);
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);

    QCOMPARE(s.boxes.texts(), edited ? QStringList{kModifiedQuestion} : QStringList());
    QVERIFY(s.exists(QStringLiteral("fresh/first.txt")));
    QCOMPARE(s.records(), QStringList{QStringLiteral("first.txt")});
    QCOMPARE(s.main->RecordLst->currentRow(), 0);
    QVERIFY(s.main->RecordLst->currentItem()->isSelected());
    QCOMPARE(s.main->RecordPath(), QStringLiteral("./fresh/first.txt"));
    QCOMPARE(s.main->MainEdit->document()->toString(), QString());
    QVERIFY(!s.main->MainEdit->document()->isModified());
    QVERIFY(s.main->MainEdit->isEnabled());
    QCOMPARE(s.root.read(QStringLiteral("data/g1/a.txt")), saved);
    QVERIFY(CreRecFrm->isVisible());

    QTest::mouseClick(CreRecFrm->CloseBtn, Qt::LeftButton);
    s.main->MainEdit->setFocus();
    QTest::keyClicks(s.main->MainEdit, QStringLiteral("kept"));
    // A click on the record the editor shows does nothing.
    QListWidget* list = s.main->RecordLst;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    QTest::mouseClick(s.main->SaveDataBtn, Qt::LeftButton);
    QCOMPARE(s.root.read(QStringLiteral("data/fresh/first.txt")), QByteArray("kept"));
    QCOMPARE(s.root.read(QStringLiteral("data/g1/a.txt")), saved);
    QCOMPARE(s.boxes.seen().size(), edited ? 1 : 0);
}

void CreateDialogs::newRecordIsEditable_data() {
    QTest::addColumn<QString>("before"); // what left the editor disabled
    QTest::addColumn<QString>("group");  // where the record is created
    QTest::newRow("record deleted") << "delete record"
                                    << "g1";
    QTest::newRow("group deleted, first record") << "delete group"
                                                 << "empty";
    QTest::newRow("record moved") << "move"
                                  << "g1";
}

// However the editor was left disabled, a newly created and loaded record can
// be typed into and saved.
void CreateDialogs::newRecordIsEditable() {
    QFETCH(QString, before);
    QFETCH(QString, group);
    Session s;
    const QString yes = QStringLiteral("はい(&Y)");
    if (before == "delete record") {
        s.boxes.answer(yes);
        s.main->DeleteRecordMnu->trigger();
    } else if (before == "delete group") {
        s.boxes.answer(yes);
        s.main->DeleteGroupMnu->trigger();
    } else {
        testing::savepath::whenShown([] {
            testing::savepath::doubleClick(QStringLiteral("empty"));
            testing::savepath::pressEnter();
        });
        s.main->MoveRecordPum2->trigger();
        QVERIFY(s.exists(QStringLiteral("empty/a.txt")));
    }
    QVERIFY(!s.main->MainEdit->isEnabled());
    s.main->GroupCmb->setCurrentIndex(s.main->GroupCmb->findText(group));
    QCOMPARE(s.main->GroupCmb->currentText(), group);

    QVERIFY(openCreRec(s.main));
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("new"));
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
    QCOMPARE(s.main->RecordPath(), QStringLiteral("./%1/new.txt").arg(group));
    QVERIFY(s.main->MainEdit->isEnabled());
    CreRecFrm->close();
    s.main->MainEdit->setFocus();
    QTest::keyClicks(s.main->MainEdit, QStringLiteral("typed"));
    QTest::mouseClick(s.main->SaveDataBtn, Qt::LeftButton);
    QCOMPARE(s.root.read(QStringLiteral("data/%1/new.txt").arg(group)), QByteArray("typed"));
}

void CreateDialogs::recordInFilledGroup_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("saved"); // a.txt on disk afterwards
    QTest::newRow("yes saves") << QStringLiteral("はい(&Y)") << QByteArray("lostalpha");
    QTest::newRow("no discards") << QStringLiteral("いいえ(&N)") << QByteArray("alpha");
    QTest::newRow("cancel keeps") << QStringLiteral("キャンセル") << QByteArray("alpha");
}

// A group with records: unsaved edits are asked about before the new record
// is loaded (the file is created and listed whatever the answer); the
// record's position is remembered, and the option decides about closing.
void CreateDialogs::recordInFilledGroup() {
    QFETCH(QString, answer);
    QFETCH(QByteArray, saved);
    Session s;
    s.main->MainEdit->setFocus();
    QTest::keyClicks(s.main->MainEdit, QStringLiteral("lost"));
    s.main->Create_Close_Record->trigger();
    QVERIFY(!s.main->Create_Close_Record->isChecked());

    QVERIFY(openCreRec(s.main));
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("aa"));
    s.boxes.answer(answer);
    QTest::mouseClick(CreRecFrm->CreateBtn, Qt::LeftButton);
    QCOMPARE(s.boxes.texts(), QStringList{kModifiedQuestion});
    QCOMPARE(s.records(), (QStringList{"a.txt", "aa.txt", "b.txt"}));
    QCOMPARE(s.root.read(QStringLiteral("data/g1/a.txt")), saved);
    QVERIFY(CreRecFrm->isVisible()); // the option is not ticked
    if (answer == u"キャンセル") {
        // The loaded record stays, selected, with its edits.
        QCOMPARE(s.main->RecordLst->currentRow(), 0);
        QCOMPARE(s.main->RecordPath(), QStringLiteral("./g1/a.txt"));
        QCOMPARE(s.main->MainEdit->document()->toString(), QStringLiteral("lostalpha"));
        QVERIFY(s.main->MainEdit->document()->isModified());
        s.main->MainEdit->document()->setModified(false);
        return;
    }
    QCOMPARE(s.main->RecordIndex, 1);
    QCOMPARE(s.main->RecordLst->currentRow(), 1);
    QCOMPARE(s.main->RecordPath(), QStringLiteral("./g1/aa.txt"));
    QCOMPARE(s.main->MainEdit->document()->toString(), QString());
    QVERIFY(!s.main->MainEdit->document()->isModified());

    s.main->Create_Close_Record->trigger();
    QTest::mouseClick(CreRecFrm->RecNameEdt, Qt::LeftButton);
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("zz"));
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
    QCOMPARE(s.main->RecordIndex, 3);
    QCOMPARE(s.main->RecordPath(), QStringLiteral("./g1/zz.txt"));
    QVERIFY(!CreRecFrm->isVisible());
    QCOMPARE(s.boxes.seen().size(), 1);
}

// A name that exists already: the store's message, then the existing record
// is selected and loaded unchanged; the field is empty all the same.
void CreateDialogs::existingRecordName() {
    Session s;
    QVERIFY(openCreRec(s.main));
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("b"));
    s.boxes.answer(QStringLiteral("OK"));
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
    QCOMPARE(s.boxes.texts(), QStringList{kRecordFailed});
    QCOMPARE(s.root.read(QStringLiteral("data/g1/b.txt")), QByteArray("beta"));
    QCOMPARE(s.main->RecordLst->currentItem()->text(), QStringLiteral("b.txt"));
    QCOMPARE(s.main->MainEdit->document()->toString(), QStringLiteral("beta"));
    QVERIFY(CreRecFrm->RecNameEdt->text().isEmpty());
    QVERIFY(!CreRecFrm->isVisible());
}

// Nothing listed after the creation (a ".Reg" file that the default pattern
// list does not show, in an empty group): nothing is loaded, the dialog stays.
void CreateDialogs::recordNotListed() {
    Session s;
    QVERIFY(s.newGroup(QStringLiteral("fresh")));
    QVERIFY(openCreRec(s.main));
    CreRecFrm->RegRdb->click();
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("hidden"));
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
    QVERIFY(s.exists(QStringLiteral("fresh/hidden.Reg")));
    QCOMPARE(s.main->RecordLst->count(), 0);
    QCOMPARE(s.main->RecordPath(), QStringLiteral("./g1/a.txt"));
    QCOMPARE(s.main->MainEdit->document()->toString(), QStringLiteral("alpha"));
    QVERIFY(CreRecFrm->isVisible());

    // The same name again fails in the still empty list: the message only.
    CreRecFrm->RecNameEdt->setFocus();
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("hidden"));
    s.boxes.answer(QStringLiteral("OK"));
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
    QCOMPARE(s.boxes.texts(), QStringList{kRecordFailed});
    QCOMPARE(s.main->RecordLst->count(), 0);
    QVERIFY(CreRecFrm->isVisible());
}

// Tab and arrow order of the radio buttons, the choice kept between openings,
// Alt+C that always closes.
void CreateDialogs::recordKeys() {
    Session s;
    QVERIFY(openCreRec(s.main));
    const QStringList order = {"CppRdb", "CRdb",   "CgiRdb", "RegRdb", "HtmlRdb",
                               "HtmRdb", "BatRdb", "IniRdb", "TxtRdb", "NoneRdb"};
    QVERIFY(CreRecFrm->TxtRdb->isChecked());

    // The tab order: field, notice, the chosen radio button (the box is one
    // stop), Close (Create is disabled and so no stop), and round again.
    const auto tabs = [](int count) {
        QStringList tabbed;
        for (int i = 0; i < count; ++i) {
            tabbed.append(QApplication::focusWidget()->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        return tabbed;
    };
    QCOMPARE(tabs(5), (QStringList{"RecNameEdt", "Memo1", "TxtRdb", "CloseBtn", "RecNameEdt"}));

    // Arrow keys: forward with Right and Down, backward with Left and Up,
    // wrapping within the box, the focused button chosen.
    CreRecFrm->CppRdb->setFocus();
    for (int i = 1; i <= 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), i % 2 ? Qt::Key_Right : Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget()->objectName(), order[i % 10]);
        QVERIFY(static_cast<QRadioButton*>(QApplication::focusWidget())->isChecked());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("NoneRdb"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("IniRdb"));
    QVERIFY(CreRecFrm->IniRdb->isChecked());
    QVERIFY(!CreRecFrm->TxtRdb->isChecked());
    CreRecFrm->RecNameEdt->setFocus();
    QCOMPARE(tabs(4), (QStringList{"RecNameEdt", "Memo1", "IniRdb", "CloseBtn"}));

    // Alt+C closes even with a name typed; the choice and the name are kept.
    CreRecFrm->RecNameEdt->setFocus();
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("kept"));
    QVERIFY(CreRecFrm->CreateBtn->isEnabled());
    const QStringList before = s.tree();
    altC(CreRecFrm);
    QVERIFY(!CreRecFrm->isVisible());
    QCOMPARE(s.tree(), before);
    QVERIFY(openCreRec(s.main));
    QVERIFY(CreRecFrm->IniRdb->isChecked());
    QCOMPARE(CreRecFrm->RecNameEdt->text(), QStringLiteral("kept"));
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
    QVERIFY(s.exists(QStringLiteral("g1/kept.Ini")));
}

// No typed name, with any radio button, creates or changes anything but one
// file of the shown group.
void CreateDialogs::recordNamesStayInside() {
    Session s;
    s.main->Create_Close_Record->trigger(); // stay open after each creation
    QStringList names = kUnsafeNames;
    names.append(s.root.absolute(QStringLiteral("abs")));
    const QStringList outsideBefore = s.tree(QStringLiteral("data/g1"));
    QStringList expectedFiles = {"a.txt", "b.txt"};
    int failures = 0;
    QVERIFY(openCreRec(s.main));
    for (QRadioButton* radio : CreRecFrm->extensionButtons()) {
        radio->click();
        const QString extension = CreRecFrm->SelectedExtension();
        for (const QString& name : std::as_const(names)) {
            const QString full = name + extension;
            CreRecFrm->RecNameEdt->setFocus();
            QTest::keyClicks(CreRecFrm->RecNameEdt, name);
            if (!namesOneEntry(full)) {
                s.boxes.answer(QStringLiteral("OK"));
                ++failures;
            } else {
                expectedFiles.append(full);
            }
            QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
            QVERIFY2(s.boxes.pending() == 0, qPrintable(full));
            QCOMPARE(s.boxes.seen().size(), failures);
        }
    }
    QCOMPARE(s.tree(QStringLiteral("data/g1")), outsideBefore);
    QStringList files = QDir(s.root.absolute(QStringLiteral("data/g1")))
                            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    files.sort();
    expectedFiles.sort();
    QCOMPARE(files, expectedFiles);
    QCOMPARE(QDir(s.root.absolute(QStringLiteral("data/g1")))
                 .entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList());
}

// After a failed group creation the group list shows no group: a record has
// no folder to go to and never lands in the data folder itself.
void CreateDialogs::recordWithoutShownGroup() {
    Session s;
    QVERIFY(openCreateDir(s.main));
    QTest::keyClicks(CreateDirFrm->GroupNameEdt, QStringLiteral("g1"));
    s.boxes.answer(QStringLiteral("OK"));
    QTest::keyClick(CreateDirFrm->GroupNameEdt, Qt::Key_Return);
    QCOMPARE(s.main->GroupCmb->currentIndex(), -1);
    const QStringList before = s.tree();

    QVERIFY(openCreRec(s.main));
    CreRecFrm->NoneRdb->click();
    CreRecFrm->RecNameEdt->setFocus();
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("g1/a.txt"));
    s.boxes.answer(QStringLiteral("OK"));
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
    QTest::keyClicks(CreRecFrm->RecNameEdt, QStringLiteral("loose"));
    s.boxes.answer(QStringLiteral("OK"));
    QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
    QCOMPARE(s.boxes.texts(), (QStringList{kGroupFailed, kRecordFailed, kRecordFailed}));
    QCOMPARE(s.tree(), before);
}

// An empty data folder: the settings file is written, then the create-group
// dialog comes modally without Close, again and again until a group exists.
void CreateDialogs::startupInEmptyFolder() {
    Session s(false);
    s.boxes.answer(QStringLiteral("OK")); // the settings file will be created
    int shown = 0;
    bool closeDisabled = true;
    bool busy = false;
    QTimer driver;
    driver.setInterval(10);
    connect(&driver, &QTimer::timeout, [&] {
        // Act once the modal dialog is active with its focus, as a person would.
        if (busy || QApplication::activeModalWidget() != CreateDirFrm ||
            QApplication::activeWindow() != CreateDirFrm || !QApplication::focusWidget())
            return;
        busy = true;
        const auto done = qScopeGuard([&] { busy = false; }); // also after a failed check
        ++shown;
        closeDisabled = closeDisabled && !CreateDirFrm->CloseBtn->isEnabled();
        QLineEdit* field = CreateDirFrm->GroupNameEdt;
        if (shown == 1) {
            // Neither Esc nor Alt+C (Close is disabled, Create too) leave it;
            // a refused name leaves it open; the title bar closes it.
            QTest::keyClick(field, Qt::Key_Escape);
            altC(CreateDirFrm);
            QVERIFY(field->text().isEmpty()); // no button took the key, no text either
            QTest::mouseClick(CreateDirFrm->CloseBtn, Qt::LeftButton);
            if (CreateDirFrm->isVisible()) {
                QTest::keyClicks(field, QStringLiteral(".."));
                s.boxes.answer(QStringLiteral("OK"));
                QTest::keyClick(field, Qt::Key_Return);
            }
            // Closed by the title bar: the program offers to end; "No" goes
            // back to the dialog.
            s.boxes.answer(QStringLiteral("いいえ(&N)"));
            if (CreateDirFrm->isVisible())
                CreateDirFrm->close();
        } else if (shown == 2) {
            QCOMPARE_NE(field->text(), QString()); // the refused name is still there
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Delete);
            QTest::keyClicks(field, QStringLiteral("grp"));
            QTest::keyClick(field, Qt::Key_Return);
        } else {
            // Keep a broken loop from running forever.
            QDir().mkdir(QStringLiteral("fallback"));
            CreateDirFrm->close();
        }
    });
    driver.start();
    testing::showMain(s.main);
    driver.stop();

    QCOMPARE(shown, 2);
    QVERIFY(closeDisabled);
    QCOMPARE(s.boxes.texts(),
             (QStringList{"環境ファイルを作成します", kGroupFailed, kNoGroupQuestion}));
    QVERIFY(s.exists(QStringLiteral("Ostrel.ini")));
    QVERIFY(s.exists(QStringLiteral("grp")));
    QVERIFY(!s.exists(QStringLiteral("fallback")));
    QCOMPARE(s.main->GroupCmb->currentText(), QStringLiteral("grp"));
    QVERIFY(!s.main->MainEdit->isEnabled());
    QVERIFY(!CreateDirFrm->isVisible());
    QVERIFY(CreateDirFrm->CloseBtn->isEnabled());
    QVERIFY(CreateDirFrm->GroupNameEdt->text().isEmpty());

    // Afterwards the dialog opens without waiting, with Close usable.
    QVERIFY(openCreateDir(s.main));
    QCOMPARE(CreateDirFrm->windowModality(), Qt::NonModal);
    QTest::mouseClick(CreateDirFrm->CloseBtn, Qt::LeftButton);
    QVERIFY(!CreateDirFrm->isVisible());
}

void CreateDialogs::startupWithoutAGroupCanEnd_data() {
    QTest::addColumn<bool>("refused"); // names refused twice, else the title bar
    QTest::newRow("closed by the title bar") << false;
    QTest::newRow("a name refused twice") << true;
}

// No group can be made (a data folder that cannot be written refuses every
// name): the start-up never traps the user. Closing the dialog, or a second
// refusal, asks whether to end the program, and "Yes" ends it.
void CreateDialogs::startupWithoutAGroupCanEnd() {
    QFETCH(bool, refused);
    Session s(false);
    s.root.write(QStringLiteral("data/Ostrel.ini"), testing::defaultSettingsFile());
    const QStringList before = s.tree();
    const QString yes = QStringLiteral("はい(&Y)");
    int shown = 0;
    QTimer driver;
    driver.setInterval(10);
    connect(&driver, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != CreateDirFrm ||
            QApplication::activeWindow() != CreateDirFrm || !QApplication::focusWidget())
            return;
        driver.stop();
        ++shown;
        if (!refused) {
            s.boxes.answer(yes);
            CreateDirFrm->close();
            return;
        }
        QLineEdit* field = CreateDirFrm->GroupNameEdt;
        QTest::keyClicks(field, QStringLiteral(".."));
        s.boxes.answer({QStringLiteral("OK"), QStringLiteral("OK"), yes});
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Return);
    });
    driver.start();
    // The window closes as soon as it has been shown: it is not waited for.
    s.main->show();
    QTRY_VERIFY(!s.main->isVisible());

    QCOMPARE(shown, 1);
    const QString endQuestion =
        QStringLiteral(
            "グループを作成できません。データフォルダ %1 に書き込めない可能性があります。"
            "OSTREL を終了しますか？（「いいえ」を選ぶとグループの作成に戻ります）")
            .arg(QDir::currentPath());
    QCOMPARE(s.boxes.texts(), refused ? (QStringList{kGroupFailed, kGroupFailed, endQuestion})
                                      : QStringList{kNoGroupQuestion});
    QVERIFY(!CreateDirFrm->isVisible());
    // Nothing was made or written, the settings file included.
    QCOMPARE(s.tree(), before);
    QCOMPARE(s.root.read(QStringLiteral("data/Ostrel.ini")), testing::defaultSettingsFile());
}

QTEST_MAIN(CreateDialogs)
#include "tst_createdialogs.moc"
