// The record store: which folders are groups, which files are records, how the
// lists are ordered and searched, loading and creating.
#include "TestSupport.h"
#include "core/UserError.h"
#include "mainwindow/MainFrm.h"
#include "store/Folders.h"
#include "store/RecordStore.h"
#include "text/PatternList.h"
#include "text/TextCodec.h"

#include <QTest>

using namespace testing;

namespace {

// Lists the records of group "g" with a pattern list.
QStringList listed(const QString& patterns) {
    MainFrm->SupportPatterns = patterns;
    MainFrm->ListGroups();
    MainFrm->SelectGroup(MainFrm->FindGroupIndex("g"));
    MainFrm->ListRecords();
    return items(MainFrm->RecordLst);
}

} // namespace

class StoreTest : public QObject {
    Q_OBJECT

private slots:
    // A record opened to be read piece by piece, decoded as it comes, makes
    // the record load makes (its format and the state of its file); what
    // cannot be opened raises load's errors.
    void readsARecordPieceByPiece() {
        DataFolder data;
        const QByteArray bytes = QByteArray("a\r\nb\nc\r").repeated(20000);
        data.write(QStringLiteral("g/a.txt"), bytes);
        const ostrel::store::RecordText whole = ostrel::store::load("g", "a.txt");
        ostrel::store::OpenedRecord opened = ostrel::store::openRecord("g", "a.txt");
        QCOMPARE(opened.record.path, whole.record.path);
        ostrel::TextDecoder decoder;
        QString text;
        char piece[4096];
        for (qint64 n; (n = opened.file->read(piece, sizeof piece)) > 0;)
            QCOMPARE(decoder.feed(QByteArrayView(piece, n), text),
                     ostrel::TextDecoder::Step::Going);
        ostrel::TextFormat format;
        QCOMPARE(decoder.finish(text, format), ostrel::TextDecoder::Step::Going);
        ostrel::store::finishReading(opened.record, *opened.file, format);
        QCOMPARE(text, whole.text);
        QCOMPARE(opened.record.format.lineBreak, whole.record.format.lineBreak);
        QVERIFY(opened.record.disk.stamp->sameState(*whole.record.disk.stamp));
        QCOMPARE(opened.record.disk.hash, whole.record.disk.hash); // the file was just written
        QVERIFY(opened.record.disk.hash.has_value());
        QVERIFY_THROWS_EXCEPTION(ostrel::UserError, ostrel::store::openRecord("g", "gone.txt"));
    }

    void splitsPatternLists_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("patterns");
        QTest::newRow("default drops unterminated *.reg")
            << ostrel::defaultPatternList()
            << QStringList{"*.txt", "*.ini", "*.log", "*.bat", "*.c", "*.cpp", "*.cgi", "*.htm"};
        QTest::newRow("two") << "*.txt/*.ini" << QStringList{"*.txt"};
        QTest::newRow("all") << "*/" << QStringList{"*"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("empty pattern") << "//" << QStringList{"", ""};
        QTest::newRow("space") << " " << QStringList{};
    }
    void splitsPatternLists() {
        QFETCH(QString, list);
        QFETCH(QStringList, patterns);
        QCOMPARE(ostrel::splitPatternList(list), patterns);
    }

    void listsGroups() {
        DataFolder data;
        Windows w;
        QVERIFY(!MainFrm->ListGroups());
        QCOMPARE(MainFrm->GroupCmb->count(), 0);
        data.addGroup("beta");
        data.addGroup("Alpha");
        data.addGroup("gamma");
        data.addGroup(".hidden");
        data.addGroup("beta/nested");
        data.write("file.txt", "not a group");
        data.write("Ostrel.ini", "");
        QVERIFY(MainFrm->ListGroups());
        QCOMPARE(items(MainFrm->GroupCmb), QStringList({"Alpha", "beta", "gamma"}));
        QCOMPARE(MainFrm->GroupCmb->currentIndex(), -1);
        QCOMPARE(MainFrm->GroupCmb->currentText(), QString());
    }

    void listsRecords_data() {
        QTest::addColumn<QString>("patterns");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("default") << ostrel::defaultPatternList()
                                 << QStringList{"a.TXT",    "b.txt",     "c.c",          "d.cpp",
                                                "page.htm", "page.HTML", "readonly.txt", "x.ini"};
        QTest::newRow("only txt") << "*.txt/*.ini" << QStringList{"a.TXT", "b.txt", "readonly.txt"};
        QTest::newRow("twice") << "*.c/*.c/" << QStringList{"c.c", "c.c"};
        QTest::newRow("overlapping")
            << "*.txt/b*/" << QStringList{"a.TXT", "b.txt", "b.txt", "readonly.txt"};
        QTest::newRow("every file")
            << "*/" << QStringList{"a.TXT",    "b.txt",     "c.c",          "d.cpp", "noext",
                                   "page.htm", "page.HTML", "readonly.txt", "x.ini", "y.reg"};
        QTest::newRow("nothing") << "" << QStringList{};
        QTest::newRow("empty patterns") << "//" << QStringList{};
        QTest::newRow("question mark") << "?.c/" << QStringList{"c.c"};
        // A three-letter extension also matches the longer ones that begin
        // with it, as a file's short name carries their first three letters.
        QTest::newRow("short extensions")
            << "*.htm/*.c/" << QStringList{"c.c", "page.htm", "page.HTML"};
    }
    void listsRecords() {
        QFETCH(QString, patterns);
        QFETCH(QStringList, records);
        DataFolder data;
        Windows w;
        for (const char* name : {"b.txt", "a.TXT", "c.c", "d.cpp", "x.ini", "y.reg", "noext",
                                 "readonly.txt", ".hidden.txt", "page.htm", "page.HTML"})
            data.write(QString("g/") + name, "text");
        QFile::setPermissions(data.absolute("g/readonly.txt"), QFile::ReadOwner);
        data.addGroup("g/folder.txt"); // a folder is never a record
        QCOMPARE(listed(patterns), records);
    }

    void listsDataFolderWhenNoGroupIsShown() {
        DataFolder data;
        Windows w;
        data.addGroup("g");
        data.write("Ostrel.ini", "");
        MainFrm->SupportPatterns = ostrel::defaultPatternList();
        MainFrm->ListGroups();
        MainFrm->ListRecords();
        QCOMPARE(items(MainFrm->RecordLst), QStringList{"Ostrel.ini"});
    }

    void findsLastExactMatch() {
        DataFolder data;
        Windows w;
        for (const char* g : {"A", "b", "C"})
            data.addGroup(g);
        MainFrm->ListGroups();
        QCOMPARE(MainFrm->FindGroupIndex("C"), 2);
        QCOMPARE(MainFrm->FindGroupIndex("c"), 0); // exact comparison
        QCOMPARE(MainFrm->FindGroupIndex("missing"), 0);
        MainFrm->RecordLst->addItems({"x", "same", "y", "same", "z"});
        QCOMPARE(MainFrm->FindRecordIndex("same"), 3);
        QCOMPARE(MainFrm->FindRecordIndex(""), 0);
        QCOMPARE(MainFrm->FindRecordIndex("SAME"), 0);
    }

    void createsRecordsAndGroups() {
        DataFolder data;
        Windows w;
        data.write("g/memo.txt", "keep");
        QVERIFY(!ostrel::store::createRecord("g", "memo.txt")); // exists: refused, untouched
        QCOMPARE(data.read("g/memo.txt"), QByteArray("keep"));
        QVERIFY(ostrel::store::createRecord("g", "new.txt"));
        QVERIFY(data.exists("g/new.txt"));
        QCOMPARE(data.read("g/new.txt"), QByteArray());
        QVERIFY(!ostrel::store::createRecord("", "loose.txt")); // no group: not in the data folder
        QVERIFY(!data.exists("loose.txt"));

        QVERIFY(ostrel::store::createGroup("second"));
        QCOMPARE(ostrel::store::groups(), QStringList({"g", "second"}));
        QVERIFY(!ostrel::store::createGroup("second"));
    }

    void sortsWithoutRegardToCase() {
        QStringList names{"b", "A", "c", "B", "a"};
        ostrel::sortForList(names);
        QCOMPARE(names, QStringList({"A", "a", "B", "b", "c"}));
    }

    // Names of ASCII letters only are sorted the quick way; among other names
    // they fall in the same order.
    void asciiNamesSortAsAnyOther() {
        const QStringList ascii{"z10", "Z2", "a_b", "A-b", "a.B", "_x", "A.b", "a b", "[1]",
                                "z1",  "~",  "A",   "a",   "Ab",  "aB", "9",   "AB",  "ab"};
        QStringList quick = ascii;
        ostrel::sortForList(quick);
        QStringList mixed = ascii;
        mixed.append(QString::fromUtf8("ü"));
        ostrel::sortForList(mixed);
        mixed.removeOne(QString::fromUtf8("ü"));
        QCOMPARE(quick, mixed);
        // Letters fold to small ones: after "[" and "_", before "~".
        QCOMPARE(quick.mid(0, 3), QStringList({"9", "[1]", "_x"}));
        QCOMPARE(quick.last(), QStringLiteral("~"));
    }
};

QTEST_MAIN(StoreTest)
#include "tst_store.moc"
