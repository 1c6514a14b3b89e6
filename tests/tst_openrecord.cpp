// The open record without a window: loading, the save protocol (each
// question a save needs, and the answers passed back), the text of a large
// record that is not read whole yet, and the recovery copy of its edits.
#include "editor/Document.h"
#include "record/OpenRecord.h"
#include "record/RecoveryKeeper.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using ostrel::OpenRecord;
using Question = OpenRecord::Question;

namespace {

// A data folder as the working directory, with the user's folders of its own.
struct Folder {
    QTemporaryDir dir;
    QTemporaryDir state;
    QString before = QDir::currentPath();
    Folder() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
        QDir::setCurrent(dir.path());
        QDir().mkdir(QStringLiteral("g"));
    }
    ~Folder() { QDir::setCurrent(before); }
    static void write(const QString& name, const QByteArray& bytes) {
        QFile f(QStringLiteral("g/") + name);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    static QByteArray read(const QString& name) {
        QFile f(QStringLiteral("g/") + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }
    QStringList copies() const {
        QStringList all;
        QDirIterator it(state.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            all.append(it.next());
        return all;
    }
};

QByteArray sjis(const QString& text) {
    return QStringEncoder("Shift_JIS").encode(text);
}

// An open record of the folder, with a typed edit at the text's start.
struct Opened {
    OpenRecord record{[] { return QDir::currentPath(); }};
    explicit Opened(const QString& name) { record.load(QStringLiteral("g"), name); }
    void type(const QString& text) { record.document()->replace(0, 0, text); }
};

// Answers each question the save asks with yes, as the window would pass
// them back, and tells the questions in turn.
QList<Question> saveAnsweringYes(OpenRecord& record) {
    OpenRecord::Answers answers;
    QList<Question> asked;
    for (int i = 0; i < 5; ++i) {
        const OpenRecord::SaveResult result = record.save(answers);
        if (result.saved || !result.ask)
            return asked;
        asked.append(*result.ask);
        switch (*result.ask) {
        case Question::LossyRead:
            answers.writeLossy = true;
            break;
        case Question::Changed:
        case Question::Gone:
            answers.overwrite = true;
            break;
        case Question::Unencodable:
            answers.asUtf8 = true;
            break;
        }
    }
    return asked;
}

} // namespace

class TestOpenRecord : public QObject {
    Q_OBJECT

private slots:
    // Each case: the file as loaded, what happens to it before the save, the
    // questions asked in turn, and what the save writes once each is
    // answered yes. A no to any of them writes nothing.
    void saveAsksWhatItNeeds_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("meanwhile"); // written over the file; "-": deleted
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<Question>>("questions");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("nothing to ask, Shift-JIS and CR LF kept")
            << sjis(QStringLiteral("一行目\r\n")) << QByteArray() << QStringLiteral("追記")
            << QList<Question>{} << sjis(QStringLiteral("追記一行目\r\n"));
        QTest::newRow("lossy read") << QByteArray("bytes \xff\xfe\xfd\n") << QByteArray()
                                    << QStringLiteral("X") << QList<Question>{Question::LossyRead}
                                    << QByteArray("Xbytes \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\n");
        QTest::newRow("changed on disk")
            << QByteArray("alpha\n") << QByteArray("another program's\n") << QStringLiteral("X")
            << QList<Question>{Question::Changed} << QByteArray("Xalpha\n");
        QTest::newRow("gone") << QByteArray("alpha\n") << QByteArray("-") << QStringLiteral("X")
                              << QList<Question>{Question::Gone} << QByteArray("Xalpha\n");
        QTest::newRow("characters Shift-JIS cannot hold")
            << sjis(QStringLiteral("一行目\r\n")) << QByteArray() << QStringLiteral("😀")
            << QList<Question>{Question::Unencodable} << QStringLiteral("😀一行目\r\n").toUtf8();
        QTest::newRow("lossy, then changed")
            << QByteArray("\xff\n") << QByteArray("another program's\n") << QStringLiteral("X")
            << QList<Question>{Question::LossyRead, Question::Changed}
            << QByteArray("X\xef\xbf\xbd\n");
    }
    void saveAsksWhatItNeeds() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, meanwhile);
        QFETCH(QString, typed);
        QFETCH(QList<Question>, questions);
        QFETCH(QByteArray, saved);
        Folder folder;
        folder.write(QStringLiteral("a.txt"), before);
        Opened open(QStringLiteral("a.txt"));
        QVERIFY(open.record.isComplete());
        QVERIFY(!open.record.document()->isModified());
        open.type(typed);
        if (meanwhile == "-")
            QVERIFY(QFile::remove(QStringLiteral("g/a.txt")));
        else if (!meanwhile.isEmpty())
            folder.write(QStringLiteral("a.txt"), meanwhile);
        const QByteArray onDisk = folder.read(QStringLiteral("a.txt"));

        // Each no: nothing written, the edits kept.
        OpenRecord::Answers answers;
        for (const Question q : questions) {
            const OpenRecord::SaveResult result = open.record.save(answers);
            QVERIFY(!result.saved);
            QCOMPARE(result.ask, std::optional<Question>(q));
            QCOMPARE(folder.read(QStringLiteral("a.txt")), onDisk);
            QVERIFY(open.record.document()->isModified());
            answers.writeLossy |= q == Question::LossyRead;
            answers.overwrite |= q == Question::Changed || q == Question::Gone;
            answers.asUtf8 |= q == Question::Unencodable;
        }
        const OpenRecord::SaveResult result = open.record.save(answers);
        QVERIFY(result.saved);
        QVERIFY(!open.record.document()->isModified());
        if (!saved.isEmpty())
            QCOMPARE(folder.read(QStringLiteral("a.txt")), saved);
        // The record now is the file written: the next save asks nothing.
        open.type(QStringLiteral("Y"));
        QCOMPARE(saveAnsweringYes(open.record), QList<Question>{});
        QVERIFY(!open.record.document()->isModified());
    }

    // A question answered long ago is no answer about the file as it is
    // now: another change after the answer is asked about again.
    void changeAfterTheAnswerIsAskedAgain() {
        Folder folder;
        folder.write(QStringLiteral("a.txt"), "\xff lossy\n");
        Opened open(QStringLiteral("a.txt"));
        open.type(QStringLiteral("X"));
        OpenRecord::Answers answers;
        QCOMPARE(open.record.save(answers).ask, std::optional<Question>(Question::LossyRead));
        answers.writeLossy = true;
        folder.write(QStringLiteral("a.txt"), "changed while the question waited\n");
        QCOMPARE(open.record.save(answers).ask, std::optional<Question>(Question::Changed));
        QCOMPARE(folder.read(QStringLiteral("a.txt")),
                 QByteArray("changed while the question waited\n"));
    }

    // A large record loads in the background: until it is read whole the
    // text takes no edit and no save writes it; a load of another record
    // cancels it, and the first file stays as it was.
    void halfLoadedTextIsNeverSaved() {
        Folder folder;
        const QByteArray big =
            QByteArray("一行のメモです。The quick brown fox.\n").repeated(200000); // 8 MB
        folder.write(QStringLiteral("big.txt"), big);
        folder.write(QStringLiteral("small.txt"), "small\n");

        Opened open(QStringLiteral("big.txt"));
        QSignalSpy finished(&open.record, &OpenRecord::loadFinished);
        QVERIFY(open.record.isLoading());
        QVERIFY(!open.record.isComplete());
        QVERIFY(!open.record.document()->replace(0, 0, QStringLiteral("X")));
        const OpenRecord::SaveResult early = open.record.save({true, true, true});
        QVERIFY(!early.saved && !early.ask);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().toString(), QString());
        QVERIFY(open.record.isComplete());
        QCOMPARE(open.record.document()->length(), QString::fromUtf8(big).size());
        open.type(QStringLiteral("X"));
        QCOMPARE(saveAnsweringYes(open.record), QList<Question>{});
        QCOMPARE(folder.read(QStringLiteral("big.txt")), "X" + big);

        // Cancelled by another record: no end is told, the other is shown.
        Opened other(QStringLiteral("big.txt"));
        QSignalSpy otherFinished(&other.record, &OpenRecord::loadFinished);
        QVERIFY(other.record.isLoading());
        other.record.load(QStringLiteral("g"), QStringLiteral("small.txt"));
        QVERIFY(!other.record.isLoading());
        QCOMPARE(other.record.document()->toString(), QStringLiteral("small\n"));
        QCOMPARE(other.record.record().name, QStringLiteral("small.txt"));
        other.type(QStringLiteral("S"));
        QCOMPARE(saveAnsweringYes(other.record), QList<Question>{});
        QCOMPARE(folder.read(QStringLiteral("small.txt")), QByteArray("Ssmall\n"));
        QCOMPARE(folder.read(QStringLiteral("big.txt")), "X" + big);
        QCOMPARE(otherFinished.size(), 0);
    }

    // The edits are kept in a recovery copy until they are saved.
    void recoveryCopyLastsUntilTheSave() {
        Folder folder;
        folder.write(QStringLiteral("a.txt"), "alpha\n");
        Opened open(QStringLiteral("a.txt"));
        open.type(QStringLiteral("X"));
        open.record.recovery()->flush();
        const QStringList copies = folder.copies();
        QCOMPARE(copies.size(), 1);
        QFile copy(copies.first());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        // The copy holds the text's UTF-16 code units.
        const QString text = QStringLiteral("Xalpha\n");
        QVERIFY(copy.readAll().contains(
            QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2)));
        QCOMPARE(saveAnsweringYes(open.record), QList<Question>{});
        QTRY_COMPARE(folder.copies(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestOpenRecord)
#include "tst_openrecord.moc"
