// A large record through the main window: the click shows the window's text
// at once and the rest loads in the background, its progress in the status
// bar; until it is in nothing edits or saves it, and a click on another
// record cancels it cleanly.
#include "TestMain.h"
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"
#include "record/OpenRecord.h"

#include <QClipboard>
#include <QListWidget>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

using namespace testing;

namespace {

// Large enough to load in several pieces (above the size from which a record
// loads in the background).
const QByteArray kBig = QByteArray("一行のメモです。The quick brown fox jumps over the lazy dog.\n")
                            .repeated(int(8 * ostrel::OpenRecord::kBackgroundSize / 70));

// Settings that start on a record of group g.
QByteArray lastRecord(const QByteArray& name) {
    return defaultSettingsFile()
        .replace("LAST DIRECTORY=\n", "LAST DIRECTORY=g\n")
        .replace("LAST DOCUMENT=\n", "LAST DOCUMENT=" + name + "\n");
}

void clickRecord(TMainFrm* f, const QString& name) {
    const QList<QListWidgetItem*> found = f->RecordLst->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    const QRect r = f->RecordLst->visualItemRect(found.first());
    QTest::mouseClick(f->RecordLst->viewport(), Qt::LeftButton, {}, r.center());
}

struct Fixture {
    DataFolder data;
    std::unique_ptr<Started> started;
    TMainFrm* f = nullptr;
    Fixture() {
        data.write(QStringLiteral("Ostrel.ini"), lastRecord("small.txt"));
        data.write(QStringLiteral("g/big.txt"), kBig);
        data.write(QStringLiteral("g/small.txt"), "small\n");
        started = std::make_unique<Started>();
        f = started->main;
        f->MainEdit->setFocus();
    }
    ostrel::editor::Document* document() const { return f->MainEdit->document(); }
};

} // namespace

class TestLargeRecord : public QObject {
    Q_OBJECT

private slots:
    // Until the record is read whole (the window's thread has taken none of
    // what the loader read), a key, Save and the menu's save change nothing.
    void halfLoadedTextTakesNoEditAndNoSave() {
        Fixture x;
        clickRecord(x.f, QStringLiteral("big.txt"));
        QVERIFY(x.f->openRecord()->isLoading());
        QCOMPARE(x.f->RecordPath(), QStringLiteral("./g/big.txt"));
        QTest::keyClicks(x.f->MainEdit, QStringLiteral("X"));
        QTest::keyClick(x.f->MainEdit, Qt::Key_Return);
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        x.f->PasteMnu->trigger();
        commitText(x.f->MainEdit, QStringLiteral("日本語"));
        QCOMPARE(x.document()->length(), 0);
        QVERIFY(!x.document()->isModified());
        QVERIFY(!x.f->SaveDataBtn->isEnabled());
        x.f->SaveDataBtnClick();
        x.f->SaveMnu->trigger();
        QVERIFY(x.f->openRecord()->isLoading());
        QCOMPARE(x.data.read(QStringLiteral("g/big.txt")), kBig);

        QVERIFY(waitForRecord(x.f));
        QCOMPARE(x.document()->toString(), QString::fromUtf8(kBig));
        QVERIFY(!x.document()->isModified());
        // Whole: now it takes edits and saves.
        x.f->MainEdit->setCaret(0);
        QTest::keyClicks(x.f->MainEdit, QStringLiteral("X"));
        QVERIFY(x.f->SaveDataBtn->isEnabled());
        QTest::mouseClick(x.f->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(x.data.read(QStringLiteral("g/big.txt")), "X" + kBig);
    }

    // Another record clicked while one loads: it is shown, and nothing of the
    // cancelled load reaches the editor later, nor any message.
    void switchDuringTheLoadCancelsIt() {
        Fixture x;
        BoxAnswerer boxes;
        clickRecord(x.f, QStringLiteral("big.txt"));
        QVERIFY(x.f->openRecord()->isLoading());
        // The first piece is shown before the rest is in.
        QVERIFY(QTest::qWaitFor([&] { return x.document()->length() > 0; }));
        clickRecord(x.f, QStringLiteral("small.txt"));
        QVERIFY(!x.f->openRecord()->isLoading());
        QCOMPARE(x.document()->toString(), QStringLiteral("small\n"));
        QCOMPARE(x.f->RecordPath(), QStringLiteral("./g/small.txt"));
        // Whatever the cancelled load had sent is dropped.
        QCoreApplication::processEvents();
        QCOMPARE(x.document()->toString(), QStringLiteral("small\n"));
        QVERIFY(x.document()->isComplete());
        QVERIFY(boxes.seen().isEmpty());
        QVERIFY(x.f->StatusBar->currentMessage().isEmpty());

        x.f->MainEdit->setCaret(0);
        QTest::keyClicks(x.f->MainEdit, QStringLiteral("S"));
        QTest::mouseClick(x.f->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(x.data.read(QStringLiteral("g/small.txt")), QByteArray("Ssmall\n"));
        QCOMPARE(x.data.read(QStringLiteral("g/big.txt")), kBig);
    }

    // The status bar tells the progress while the record loads, and clears
    // it at the end; the line display answers once the lines are known.
    void progressInTheStatusBar() {
        Fixture x;
        QSignalSpy messages(x.f->StatusBar, &QStatusBar::messageChanged);
        clickRecord(x.f, QStringLiteral("big.txt"));
        QVERIFY(waitForRecord(x.f));
        QVERIFY(messages.size() >= 2);
        QVERIFY(messages.first().first().toString().startsWith(
            QStringLiteral("./g/big.txt を読み込んでいます… ")));
        QCOMPARE(messages.last().first().toString(), QString());
        x.f->MainEdit->setFocus();
        QTest::keyClick(x.f->MainEdit, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(x.f->MainEdit, Qt::Key_Left);
        QTRY_VERIFY(x.f->CurrentLineLbl->text().toLongLong() > kBig.count('\n'));
    }

    // A start on a large last record: the window is up with the record's
    // name, its text loading; then the whole record is there.
    void startOnALargeRecord() {
        DataFolder data;
        data.write(QStringLiteral("Ostrel.ini"), lastRecord("big.txt"));
        data.write(QStringLiteral("g/big.txt"), kBig);
        Started started;
        QVERIFY(started->isVisible());
        QCOMPARE(started->RecordPath(), QStringLiteral("./g/big.txt"));
        QVERIFY(waitForRecord(started.main));
        QCOMPARE(started->MainEdit->document()->toString(), QString::fromUtf8(kBig));
        QVERIFY(started->MainEdit->document()->isComplete());
    }
};

OSTREL_TEST_MAIN(TestLargeRecord)
#include "tst_largerecord.moc"
