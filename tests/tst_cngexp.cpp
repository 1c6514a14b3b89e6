// The displayed-files dialog, opened through the main window's menu item.
#include "TestMain.h"
#include "TestSupport.h"

#include "dialogs/CngExpUnit.h"
#include "mainwindow/MainFrm.h"
#include "store/RecordStore.h"
#include "text/PatternList.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <memory>

using testing::BoxAnswerer;
using testing::CngExpFrm;
using testing::DataFolder;
using testing::MainFrm;

namespace {

const QString kNeedOne = QStringLiteral("サポートする拡張子は一つ以上必要です");
const QString kChanged = QStringLiteral("サポートする拡張子を変更しました");

// A running program whose shown group "g1" holds two text files and one other.
struct Session {
    DataFolder root;
    BoxAnswerer boxes;
    std::unique_ptr<testing::Started> started;
    TMainFrm* main = nullptr;

    Session() {
        QByteArray ini = testing::defaultSettingsFile();
        ini.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=g1\n");
        root.write(QStringLiteral("Ostrel.ini"), ini);
        root.write(QStringLiteral("g1/a.txt"), "alpha");
        root.write(QStringLiteral("g1/b.txt"), "beta");
        root.write(QStringLiteral("g1/c.dat"), "gamma");
        started = std::make_unique<testing::Started>();
        main = started->main;
    }
    QStringList records() const {
        QStringList out;
        for (int i = 0; i < main->RecordLst->count(); ++i)
            out.append(main->RecordLst->item(i)->text());
        return out;
    }
    bool open() const {
        main->ExpChangeMnu->trigger();
        return CngExpFrm->isVisible() && QTest::qWaitFor([] {
                   return QApplication::activeWindow() == CngExpFrm &&
                          QApplication::focusWidget() &&
                          QApplication::focusWidget()->window() == CngExpFrm;
               });
    }
    // Replaces the field's text the way a person does: select all, type.
    void type(const QString& text) const {
        CngExpFrm->ExpEdt->setFocus();
        QTest::keyClick(CngExpFrm->ExpEdt, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(CngExpFrm->ExpEdt, Qt::Key_Delete);
        else
            QTest::keyClicks(CngExpFrm->ExpEdt, text);
    }
};

} // namespace

class CngExp : public QObject {
    Q_OBJECT

private slots:
    void layout();
    void defaultThenCancelChangesNothing();
    void emptyFieldIsRefused();
    void confirmedListWaitsForTheNextRebuild_data();
    void confirmedListWaitsForTheNextRebuild();
    void reopeningDiscardsUnconfirmedText();
    void escAndCloseBoxLeaveThePatterns();
};

void CngExp::layout() {
    Session s;
    QVERIFY(s.open());
    QCOMPARE(CngExpFrm->windowTitle(), QStringLiteral("表示するファイルの変更"));
    QCOMPARE(CngExpFrm->size(), QSize(351, 197));
    QVERIFY(CngExpFrm->windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(!CngExpFrm->isModal());
    QCOMPARE(CngExpFrm->ExpEdt->geometry(), QRect(4, 132, 341, 20));
    QCOMPARE(CngExpFrm->GroupBox1->geometry(), QRect(4, 4, 341, 125));
    QCOMPARE(CngExpFrm->Memo1->geometry(), QRect(4, 12, 329, 109));
    QCOMPARE(CngExpFrm->EnterBtn->geometry(), QRect(24, 164, 75, 25));
    QCOMPARE(CngExpFrm->CancelBtn->geometry(), QRect(132, 164, 75, 25));
    QCOMPARE(CngExpFrm->DefaultBtn->geometry(), QRect(240, 164, 83, 25));
    QCOMPARE(CngExpFrm->EnterBtn->text(), QStringLiteral("確定(&O)"));
    QCOMPARE(CngExpFrm->CancelBtn->text(), QStringLiteral("中止(&C)"));
    QCOMPARE(CngExpFrm->DefaultBtn->text(), QStringLiteral("初期化(&D)"));
    QVERIFY(CngExpFrm->EnterBtn->isDefault());
    for (QPushButton* b : {CngExpFrm->EnterBtn, CngExpFrm->CancelBtn, CngExpFrm->DefaultBtn}) {
        QVERIFY(b->isEnabled());
        QVERIFY(!b->icon().isNull());
    }
    const QStringList lines = CngExpFrm->Memo1->toPlainText().split(u'\n');
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines[2],
             QStringLiteral("入力してください。 規定のフォーマット以外の形式で入力した場合"));
    QCOMPARE(lines[4], QString());
    QCOMPARE(lines[6], QStringLiteral("例： *.txt と *.ini と *.html のみ表示したい場合"));
    QCOMPARE(lines[8],
             QStringLiteral("全てのファイルを表示したい場合は */ とだけ入力してください。"));
}

void CngExp::defaultThenCancelChangesNothing() {
    Session s;
    s.main->SupportPatterns = QStringLiteral("*.txt/*.dat/");
    QVERIFY(s.open());
    QCOMPARE(CngExpFrm->ExpEdt->text(), QStringLiteral("*.txt/*.dat/"));

    QTest::mouseClick(CngExpFrm->DefaultBtn, Qt::LeftButton);
    QCOMPARE(CngExpFrm->ExpEdt->text(),
             QStringLiteral("*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg"));
    QCOMPARE(CngExpFrm->ExpEdt->text(), ostrel::defaultPatternList());
    QVERIFY(CngExpFrm->isVisible());
    QCOMPARE(s.main->SupportPatterns, QStringLiteral("*.txt/*.dat/"));

    QTest::mouseClick(CngExpFrm->CancelBtn, Qt::LeftButton);
    QVERIFY(!CngExpFrm->isVisible());
    QCOMPARE(s.main->SupportPatterns, QStringLiteral("*.txt/*.dat/"));
    QVERIFY(s.boxes.seen().isEmpty());
}

void CngExp::emptyFieldIsRefused() {
    Session s;
    const QString before = s.main->SupportPatterns;
    QVERIFY(s.open());
    s.type(QString());
    s.boxes.answer(QStringLiteral("OK"));
    QTest::keyClick(CngExpFrm->ExpEdt, Qt::Key_Return);
    QCOMPARE(s.boxes.texts(), QStringList{kNeedOne});
    QVERIFY(CngExpFrm->isVisible());
    QCOMPARE(s.main->SupportPatterns, before);
}

void CngExp::confirmedListWaitsForTheNextRebuild_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("rebuilt");
    QTest::newRow("every file") << "*/" << QStringList{"a.txt", "b.txt", "c.dat"};
    // Taken as typed: a last pattern without its "/" lists nothing.
    QTest::newRow("unclosed last") << "*.dat/*.txt" << QStringList{"c.dat"};
    QTest::newRow("a space") << " " << QStringList{};
}

void CngExp::confirmedListWaitsForTheNextRebuild() {
    QFETCH(QString, typed);
    QFETCH(QStringList, rebuilt);
    Session s;
    QCOMPARE(s.records(), (QStringList{"a.txt", "b.txt"}));
    const QByteArray settings = s.root.read(QStringLiteral("Ostrel.ini"));
    QVERIFY(s.open());
    s.type(typed);
    s.boxes.answer(QStringLiteral("OK"));
    QTest::mouseClick(CngExpFrm->EnterBtn, Qt::LeftButton);
    QCOMPARE(s.boxes.texts(), QStringList{kChanged});
    QVERIFY(!CngExpFrm->isVisible());
    QCOMPARE(s.main->SupportPatterns, typed);
    QCOMPARE(s.records(), (QStringList{"a.txt", "b.txt"}));
    QCOMPARE(s.root.read(QStringLiteral("Ostrel.ini")), settings);

    MainFrm->ListRecords();
    QCOMPARE(s.records(), rebuilt);
}

void CngExp::reopeningDiscardsUnconfirmedText() {
    Session s;
    const QString before = s.main->SupportPatterns;
    QVERIFY(s.open());
    s.type(QStringLiteral("*.md/"));
    // Opening it again while it is open keeps what is being typed.
    s.main->ExpChangeMnu->trigger();
    QCOMPARE(CngExpFrm->ExpEdt->text(), QStringLiteral("*.md/"));
    QTest::mouseClick(CngExpFrm->CancelBtn, Qt::LeftButton);
    QVERIFY(!CngExpFrm->isVisible());

    QVERIFY(s.open());
    QCOMPARE(CngExpFrm->ExpEdt->text(), before);
    QCOMPARE(s.main->SupportPatterns, before);
}

void CngExp::escAndCloseBoxLeaveThePatterns() {
    Session s;
    const QString before = s.main->SupportPatterns;
    QVERIFY(s.open());
    s.type(QStringLiteral("*/"));
    QTest::keyClick(CngExpFrm->ExpEdt, Qt::Key_Escape);
    QVERIFY(!CngExpFrm->isVisible());
    QCOMPARE(s.main->SupportPatterns, before);

    QVERIFY(s.open());
    s.type(QStringLiteral("*/"));
    CngExpFrm->close();
    QVERIFY(!CngExpFrm->isVisible());
    QCOMPARE(s.main->SupportPatterns, before);
    QVERIFY(s.boxes.seen().isEmpty());
}

OSTREL_TEST_MAIN(CngExp)
#include "tst_cngexp.moc"
