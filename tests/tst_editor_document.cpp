// The editor's document: the text it holds is exactly what its edits made
// of it, through every kind of edit, undo and redo, in blocks that split and
// join; its line index and find agree with a plain string's; snapshots keep
// the text they were taken from; a file loads in the background into the
// text and format that decoding it whole gives.
#include "editor/Document.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>
#include <cstring>
#include <thread>

using ostrel::DecodedText;
using ostrel::decodeText;
using ostrel::editor::ByteSource;
using ostrel::editor::Document;
using ostrel::editor::LoadResult;
using ostrel::editor::Snapshot;
using Kind = ostrel::editor::Document::EditKind;

namespace {

// Bytes read a piece at a time; a read can be made to fail, or to wait
// until the test lets it go on.
class Bytes : public ByteSource {
public:
    explicit Bytes(QByteArray bytes, qint64 piece = 1 << 20, qint64 failAt = -1)
        : m_bytes(std::move(bytes)), m_piece(piece), m_failAt(failAt) {}
    qint64 size() const override { return m_bytes.size(); }
    qint64 read(char* into, qint64 room) override {
        if (m_failAt >= 0 && m_at >= m_failAt)
            return -1;
        const qint64 n = std::min({room, m_piece, m_bytes.size() - m_at});
        std::memcpy(into, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    bool rewind() override {
        m_at = 0;
        return true;
    }

private:
    QByteArray m_bytes;
    qint64 m_piece;
    qint64 m_failAt;
    qint64 m_at = 0;
};

// Characters an editor might treat specially, which the text keeps exactly.
const char16_t kOdd[] = {u'\0',  u'\t',  u'\v',  u'\f',  0x00A0, 0x2028, 0x2029,
                         0xFDD0, 0xFFFF, 0xFEFF, 0xD800, 0xDC00, u'\r'};

QString oddText(int lines) {
    QString text;
    for (int i = 0; i < lines; ++i) {
        text += QStringLiteral("行 %1 ").arg(i);
        text += QChar(kOdd[i % std::size(kOdd)]);
        text += i % 7 ? QStringLiteral("\n") : QStringLiteral("😀\n");
    }
    return text;
}

QString joined(const Snapshot& snapshot) {
    QString whole;
    for (QStringView part : snapshot.parts())
        whole += part;
    return whole;
}

// The line index, compared with the plain string's lines at some positions.
void compareLines(const Document& doc, const QString& model) {
    const QStringList lines = model.split(u'\n');
    QCOMPARE(doc.lineCount(), lines.size());
    qsizetype start = 0;
    const qsizetype step = 1 + lines.size() / 200;
    for (qsizetype line = 0; line < lines.size(); ++line) {
        if (line % step == 0 || line == lines.size() - 1) {
            QCOMPARE(doc.lineStart(line), start);
            QCOMPARE(doc.lineEnd(line), start + lines[line].size());
            QCOMPARE(doc.lineOf(start), line);
            QCOMPARE(doc.lineOf(start + lines[line].size()), line);
        }
        start += lines[line].size() + 1;
    }
    QCOMPARE(doc.lineStart(lines.size()), -1);
    QCOMPARE(doc.lineStart(-1), -1);
}

// Waits for a load to end.
LoadResult waitForLoad(Document& doc) {
    QSignalSpy finished(&doc, &Document::loadFinished);
    if (doc.isLoading())
        [&] { QVERIFY(finished.wait(60000)); }();
    return finished.isEmpty() ? LoadResult{} : finished.first().first().value<LoadResult>();
}

} // namespace

class TestEditorDocument : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<LoadResult>(); }

    // What a save writes is the text as edited, after every kind of edit, of
    // a text holding every character an editor could take for something else.
    void textFollowsEveryEdit() {
        Document doc;
        QString model = oddText(30000);
        doc.setText(model);
        QCOMPARE(joined(doc.snapshot()), model);
        QCOMPARE(doc.length(), model.size());
        QVERIFY(!doc.isModified());

        const QString big = QStringLiteral("paste\n").repeated(60000); // spans blocks
        QRandomGenerator random(7);
        std::vector<QString> history{model};
        for (int step = 0; step < 400; ++step) {
            const qsizetype at = random.bounded(int(model.size() + 1));
            switch (step % 6) {
            case 0: {
                const QString text = QStringLiteral("a\nb");
                QVERIFY(doc.replace(at, 0, text));
                model.insert(at, text);
                break;
            }
            case 1: { // across blocks
                const qsizetype n = std::min<qsizetype>(model.size() - at, 70000);
                if (n == 0)
                    continue;
                QVERIFY(doc.replace(at, n, QString()));
                model.remove(at, n);
                break;
            }
            case 2:
                if (at == model.size())
                    continue;
                QVERIFY(doc.replace(at, 1, QString(QChar(0xD83D)) + QChar(0xDE00)));
                model.replace(at, 1, QString(QChar(0xD83D)) + QChar(0xDE00));
                break;
            case 3:
                if (doc.undo()) {
                    history.pop_back();
                    model = history.back();
                    QCOMPARE(doc.toString(), model);
                }
                continue;
            case 4:
                if (step % 60 == 4) {
                    QVERIFY(doc.replace(at, 10, big));
                    model.replace(at, std::min<qsizetype>(10, model.size() - at), big);
                } else {
                    QVERIFY(doc.replace(at, 3, QStringLiteral("x")));
                    model.replace(at, std::min<qsizetype>(3, model.size() - at),
                                  QStringLiteral("x"));
                }
                break;
            case 5:
                doc.closeUndoStep();
                continue;
            }
            history.push_back(model);
            if (step % 20 == 0) {
                QCOMPARE(joined(doc.snapshot()), model);
                compareLines(doc, model);
            }
        }
        QCOMPARE(doc.toString(), model);
        compareLines(doc, model);
        while (doc.undo()) {
        }
        QCOMPARE(doc.toString(), oddText(30000));
        QVERIFY(!doc.isModified());
        doc.setText(QString());
        QVERIFY(doc.snapshot().parts().empty());
        QCOMPARE(doc.lineCount(), 1);
        QCOMPARE(doc.lineOf(0), 0);
    }

    // A snapshot keeps its text while the document goes on, and is read on
    // another thread meanwhile.
    void snapshotKeepsItsText() {
        Document doc;
        const QString text = QStringLiteral("first line\nsecond line\n").repeated(20000);
        doc.setText(text);
        const Snapshot before = doc.snapshot();
        QString readThere;
        std::thread reader([&] {
            for (int i = 0; i < 20; ++i)
                readThere = joined(before);
        });
        for (int i = 0; i < 2000; ++i)
            doc.replace((i * 7919) % doc.length(), 1, QStringLiteral("edit\n"));
        reader.join();
        QCOMPARE(readThere, text);
        QCOMPARE(before.toString(), text);
        QCOMPARE(before.lineCount(), 40001);
        QCOMPARE(before.lineStart(3), 34);
        QCOMPARE(before.lineOf(34), 3);
        QVERIFY(before.revision() != doc.revision());
        QVERIFY(doc.snapshot().toString() != text);
    }

    void findsMatchesAcrossBlocks() {
        Document doc;
        QString model;
        for (int i = 0; i < 40000; ++i)
            model += QStringLiteral("row %1 needle\n").arg(i);
        doc.setText(model);
        for (int i = 0; i < 300; ++i) {
            const qsizetype at = (i * 104729) % model.size();
            if (i % 2) {
                doc.replace(at, 0, QStringLiteral("needle"));
                model.insert(at, QStringLiteral("needle"));
            } else {
                doc.replace(at, 1, QString());
                model.remove(at, 1);
            }
        }
        const QStringList needles = {QStringLiteral("needle"), QStringLiteral("e\nr"),
                                     QStringLiteral("39999 needle"), QStringLiteral("absent")};
        const Snapshot snapshot = doc.snapshot();
        for (const QString& what : needles) {
            for (qsizetype from = 0; from < model.size(); from += 1 + model.size() / 97) {
                QCOMPARE(doc.indexOf(what, from), model.indexOf(what, from));
                QCOMPARE(snapshot.indexOf(what, from), model.indexOf(what, from));
            }
        }
        // Each block boundary, a match across it.
        for (qsizetype at = 32 * 1024 - 3; at < model.size(); at += 32 * 1024) {
            const QString across = model.mid(at - 4, 9);
            QCOMPARE(doc.indexOf(across, at - 40), model.indexOf(across, at - 40));
        }
        QCOMPARE(doc.indexOf(QString(), 0), -1);
    }

    // Steps to undo as Qt's plain-text editor makes them: a run of typed
    // characters, of Backspace or of Delete is one step; a line break, a
    // paste, a moved caret start another; the caret goes after what came back.
    void undoStepsAndTheModifiedMark_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("undone"); // the text after each undo
        QTest::addColumn<QList<qsizetype>>("carets");
        // t<pos>:<text> typing, b<pos> Backspace at pos, d<pos> Delete, e<pos>
        // Enter, p<pos>:<text> paste, c the caret moved, s saved.
        QTest::newRow("typing is one step")
            << "t5:a t6:b t7:x t8:c" << QStringList{"start"} << QList<qsizetype>{5};
        QTest::newRow("a line break is a step of its own")
            << "t5:a e6 t7:b t8:c" << QStringList{"starta\n", "starta", "start"}
            << QList<qsizetype>{7, 6, 5};
        QTest::newRow("a moved caret starts a step")
            << "t5:a c t5:b" << QStringList{"starta", "start"} << QList<qsizetype>{5, 5};
        QTest::newRow("backspaces join")
            << "b5 b4 b3" << QStringList{"start"} << QList<qsizetype>{5};
        QTest::newRow("deletes join") << "d0 d0" << QStringList{"start"} << QList<qsizetype>{2};
        QTest::newRow("typing then backspace")
            << "t5:x b6" << QStringList{"startx", "start"} << QList<qsizetype>{6, 5};
        QTest::newRow("paste is a step")
            << "t5:a p6:PP" << QStringList{"starta", "start"} << QList<qsizetype>{6, 5};
        QTest::newRow("undo reaches the saved text, not past it")
            << "t5:a s t6:b" << QStringList{"starta", "start"} << QList<qsizetype>{6, 5};
    }
    void undoStepsAndTheModifiedMark() {
        QFETCH(QString, script);
        QFETCH(QStringList, undone);
        QFETCH(QList<qsizetype>, carets);
        Document doc;
        doc.setText(QStringLiteral("start"));
        QSignalSpy modified(&doc, &Document::modificationChanged);
        qsizetype savedAt = -1;
        for (const QString& op : script.split(u' ')) {
            const QChar kind = op[0];
            const qsizetype colon = op.indexOf(u':');
            const qsizetype at = op.mid(1, colon < 0 ? -1 : colon - 1).toLongLong();
            const QString text = colon < 0 ? QString() : op.mid(colon + 1);
            if (kind == u't')
                doc.replace(at, 0, text.isEmpty() ? QStringLiteral(" ") : text, Kind::Typing);
            else if (kind == u'b')
                doc.replace(at - 1, 1, QString(), Kind::DeleteBackward);
            else if (kind == u'd')
                doc.replace(at, 1, QString(), Kind::DeleteForward);
            else if (kind == u'e')
                doc.replace(at, 0, QStringLiteral("\n"), Kind::Other);
            else if (kind == u'p')
                doc.replace(at, 0, text, Kind::Other);
            else if (kind == u'c')
                doc.closeUndoStep();
            else if (kind == u's')
                doc.setModified(false), savedAt = doc.length();
        }
        QVERIFY(doc.isModified());
        QVERIFY(!modified.isEmpty());
        for (qsizetype i = 0; i < undone.size(); ++i) {
            const std::optional<qsizetype> caret = doc.undo();
            QVERIFY(caret);
            QCOMPARE(doc.toString(), undone[i]);
            QCOMPARE(*caret, carets[i]);
            if (savedAt >= 0 && i == 0)
                QVERIFY(!doc.isModified()); // back at the saved text
        }
        if (savedAt < 0) {
            QVERIFY(!doc.undo());
            QVERIFY(!doc.isModified());
        }
        // Redo brings the steps back in order, the last ending modified.
        while (doc.redo()) {
        }
        QVERIFY(doc.isModified());
    }

    // A file loads on another thread into the text and format that decoding
    // it whole gives: its blocks arrive one batch after another, and the text
    // takes no edit until it is complete.
    void loadsInTheBackground_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QString lines = oddText(3000).remove(u'\r');
        QTest::newRow("utf-8") << (QStringLiteral("日本語のメモ abc\n").repeated(300000)).toUtf8();
        QTest::newRow("shift-jis, crlf")
            << QByteArray(QStringEncoder("windows-31j")
                              .encode(QStringLiteral("日本語\r\nメモ\r\n").repeated(80000)));
        QTest::newRow("utf-16 with odd characters")
            << QByteArray("\xFF\xFE") +
                   QByteArray(reinterpret_cast<const char*>(lines.utf16()), lines.size() * 2);
        QTest::newRow("mixed breaks")
            << QByteArray("a\r\nb\nc\r").repeated(50000) + QByteArray("last");
        QTest::newRow("neither utf-8 nor shift-jis")
            << QByteArray("ok \xff\xfe end\n").repeated(9000);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one long line") << QByteArray("word ").repeated(400000);
    }
    void loadsInTheBackground() {
        QFETCH(QByteArray, bytes);
        const DecodedText whole = decodeText(bytes);
        Document doc;
        doc.setText(QStringLiteral("before"));
        QSignalSpy changes(&doc, &Document::changed);
        QSignalSpy progress(&doc, &Document::loadProgress);
        doc.load(std::make_unique<Bytes>(bytes, 100000));
        QVERIFY(doc.isLoading());
        QVERIFY(!doc.isComplete());
        QCOMPARE(doc.length(), 0);
        QVERIFY(!doc.replace(0, 0, QStringLiteral("x")));
        const LoadResult result = waitForLoad(doc);
        QVERIFY(result.complete);
        QVERIFY(doc.isComplete());
        QVERIFY(!doc.isModified());
        QCOMPARE(doc.toString(), whole.text);
        QCOMPARE(int(result.format.encoding), int(whole.format.encoding));
        QCOMPARE(int(result.format.lineBreak), int(whole.format.lineBreak));
        QCOMPARE(result.format.lossless, whole.format.lossless);
        QCOMPARE(bool(result.format.mixed), bool(whole.format.mixed));
        if (whole.format.mixed) {
            QVERIFY(result.format.mixed->breaks == whole.format.mixed->breaks);
            QVERIFY(result.format.mixed->lineHashes == whole.format.mixed->lineHashes);
        }
        compareLines(doc, whole.text);
        if (bytes.size() > 1000000) {
            QVERIFY(changes.size() > 1); // arrived in batches
            QCOMPARE(progress.last().at(0).toLongLong(), bytes.size());
        }
        QVERIFY(doc.replace(0, 0, QStringLiteral("x")));
    }

    // A load cancelled, or one that fails, leaves a text that is incomplete:
    // it takes no edit, and its snapshot says so; a new text is complete.
    void cancelledAndFailedLoads() {
        const QByteArray bytes = QByteArray("line of text\n").repeated(2000000);
        Document doc;
        doc.load(std::make_unique<Bytes>(bytes, 4096));
        QTRY_VERIFY(doc.length() > 0);
        doc.cancelLoad();
        QVERIFY(!doc.isLoading());
        QVERIFY(!doc.isComplete());
        QVERIFY(!doc.snapshot().isComplete());
        QVERIFY(!doc.replace(0, 0, QStringLiteral("x")));
        const qsizetype kept = doc.length();
        QCoreApplication::processEvents(); // batches already sent are dropped
        QCOMPARE(doc.length(), kept);

        doc.load(std::make_unique<Bytes>(bytes, 1 << 20, 3 << 20));
        const LoadResult failed = waitForLoad(doc);
        QVERIFY(!failed.complete);
        QVERIFY(!doc.isComplete());
        QVERIFY(doc.length() > 0);
        QVERIFY(doc.toString().size() < bytes.size());

        // A new load while one runs ends the first.
        doc.load(std::make_unique<Bytes>(bytes, 4096));
        doc.load(std::make_unique<Bytes>(QByteArray("small\n")));
        QVERIFY(waitForLoad(doc).complete);
        QCOMPARE(doc.toString(), QStringLiteral("small\n"));

        doc.setText(QStringLiteral("new"));
        QVERIFY(doc.isComplete());
        QVERIFY(doc.snapshot().isComplete());
    }
};

QTEST_MAIN(TestEditorDocument)
#include "tst_editor_document.moc"
