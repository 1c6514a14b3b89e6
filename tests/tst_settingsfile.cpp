// The settings file: reading and writing one key of one section, keeping the rest.
#include "TestSupport.h"
#include "os/SettingsFile.h"
#include "text/SettingsFormat.h"

#include <QStringEncoder>
#include <QTest>

using namespace ostrel;
using testing::DataFolder;

namespace {
const QString kFile = QStringLiteral("./t.ini");
const QString kSection = QStringLiteral("Main");

QString read(const QString& key, const QString& fallback = QStringLiteral("<fallback>")) {
    return settingsfile::readString(kFile, kSection, key, fallback);
}
} // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT

private slots:
    void createsFileAndSection() {
        DataFolder data;
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", QStringLiteral("1")));
        QVERIFY(settingsfile::writeString(kFile, kSection, u"B", QString()));
        QCOMPARE(data.read("t.ini"), QByteArray("[Main]\nA=1\nB=\n"));
        QCOMPARE(read("A"), QString("1"));
        QCOMPARE(read("B"), QString()); // present and empty: not the fallback
        QCOMPARE(read("C"), QString("<fallback>"));
    }

    void missingFileAndSectionGiveFallback() {
        DataFolder data;
        QCOMPARE(read("A"), QString("<fallback>"));
        data.write("t.ini", "[Other]\nA=5\n");
        QCOMPARE(read("A"), QString("<fallback>"));
    }

    void replacesInPlaceAndKeepsEverythingElse() {
        DataFolder data;
        const QByteArray before = "; a comment\r\n[Other]\r\nA=other\r\n\r\n[main]\r\nb=2\r\n"
                                  "  a = old value\r\njunk line\r\n[Later]\r\nA=later\r\n";
        data.write("t.ini", before);
        QCOMPARE(read("A"), QString(" old value")); // names trimmed, values exactly as they stand
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", QStringLiteral("new")));
        QCOMPARE(data.read("t.ini"),
                 QByteArray("; a comment\r\n[Other]\r\nA=other\r\n\r\n[main]\r\nb=2\r\n"
                            "  a =new\r\njunk line\r\n[Later]\r\nA=later\r\n"));
    }

    void appendsKeyAtEndOfItsSection() {
        DataFolder data;
        data.write("t.ini", "[Main]\nA=1\n\n[Next]\nX=9\n");
        QVERIFY(settingsfile::writeString(kFile, kSection, u"B", QStringLiteral("2")));
        QCOMPARE(data.read("t.ini"), QByteArray("[Main]\nA=1\nB=2\n\n[Next]\nX=9\n"));
        // A section that is the last thing in a file without a final break.
        data.write("t.ini", "[Main]\r\nA=1");
        QVERIFY(settingsfile::writeString(kFile, kSection, u"B", QStringLiteral("2")));
        QCOMPARE(data.read("t.ini"), QByteArray("[Main]\r\nA=1\r\nB=2"));
    }

    void appendsMissingSection() {
        DataFolder data;
        data.write("t.ini", "[Other]\r\nX=1");
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", QStringLiteral("v")));
        QCOMPARE(data.read("t.ini"), QByteArray("[Other]\r\nX=1\r\n[Main]\r\nA=v\r\n"));
    }

    void namesIgnoreCase() {
        DataFolder data;
        data.write("t.ini", "[MAIN]\nWindow Top=5\n");
        QCOMPARE(settingsfile::readString(kFile, u"main", u"WINDOW TOP", QString()), QString("5"));
        QVERIFY(settingsfile::writeString(kFile, u"Main", u"window top", QStringLiteral("6")));
        QCOMPARE(data.read("t.ini"), QByteArray("[MAIN]\nWindow Top=6\n"));
    }

    void duplicateKeysUseTheFirst() {
        DataFolder data;
        data.write("t.ini", "[Main]\nA=1\nA=2\n");
        QCOMPARE(read("A"), QString("1"));
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", QStringLiteral("3")));
        QCOMPARE(data.read("t.ini"), QByteArray("[Main]\nA=3\nA=2\n"));
    }

    void longValuesAreCut() {
        DataFolder data;
        const QString value(3000, u'x');
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", value));
        QCOMPARE(read("A"), QString(2047, u'x'));
        // A cut through a multi-byte character drops that character.
        const QString japanese = QString(2046, u'a') + QString::fromUtf8("日本");
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", japanese));
        QCOMPARE(read("A"), QString(2046, u'a'));
    }

    void valueStaysOnItsLine() {
        DataFolder data;
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", QStringLiteral("x\nB=injected")));
        QCOMPARE(read("A"), QString("x"));
        QCOMPARE(read("B"), QString("<fallback>"));
        // Also when the value holds a lone surrogate (written as "?").
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A",
                                     QStringLiteral("y") + QChar(0xd800) +
                                         QStringLiteral("\nC=injected")));
        QCOMPARE(read("A"), QString("y?"));
        QCOMPARE(read("C"), QString("<fallback>"));
    }

    void readsEveryTimeFromDisk() {
        DataFolder data;
        data.write("t.ini", "[Main]\nA=1\n");
        QCOMPARE(read("A"), QString("1"));
        data.write("t.ini", "[Main]\nA=2\n");
        QCOMPARE(read("A"), QString("2"));
    }

    void damagedFilesNeverBreakReadingOrWriting_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe[Main\x00]\nA=\x01\x02\n\xc3\x28", 15);
        QTest::newRow("nul bytes") << QByteArray("[Main]\nX=a\0b\nA=1\n", 18);
        QTest::newRow("huge line")
            << (QByteArray("[Main]\nJUNK=") + QByteArray(10 << 20, 'z') + "\nA=1\n");
        QTest::newRow("no final break") << QByteArray("[Main]\nA=1");
        QTest::newRow("crlf") << QByteArray("[Main]\r\nA=1\r\n");
        QTest::newRow("lone cr") << QByteArray("[Main]\rA=1\r");
        QTest::newRow("only brackets") << QByteArray("[\n]\n[]\n=\n==\n");
        QTest::newRow("empty") << QByteArray();
    }
    void damagedFilesNeverBreakReadingOrWriting() {
        QFETCH(QByteArray, content);
        DataFolder data;
        data.write("t.ini", content);
        (void)read("A");
        QVERIFY(settingsfile::writeString(kFile, kSection, u"B", QStringLiteral("written")));
        QCOMPARE(read("B"), QString("written"));
        const QByteArray after = data.read("t.ini");
        // Everything that was there is still there, in order.
        QVERIFY(after.size() > content.size());
        qsizetype at = 0;
        for (char c : content) {
            at = after.indexOf(c, at);
            QVERIFY(at >= 0);
            ++at;
        }
    }

    void keepsShiftJisFiles() {
        DataFolder data;
        QStringEncoder sjis("windows-31j");
        const QByteArray before =
            sjis.encode(QString::fromUtf8("[Main]\r\n; 日本語のコメント\r\nA=メモ\r\n"));
        data.write("t.ini", before);
        QCOMPARE(read("A"), QString::fromUtf8("メモ"));
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", QString::fromUtf8("記録")));
        QCOMPARE(data.read("t.ini"), QByteArray(sjis.encode(QString::fromUtf8(
                                         "[Main]\r\n; 日本語のコメント\r\nA=記録\r\n"))));
        // A value Shift-JIS cannot hold moves the file to UTF-8, keeping its text.
        QVERIFY(settingsfile::writeString(kFile, kSection, u"A", QString::fromUtf8("𠮷")));
        QCOMPARE(data.read("t.ini"),
                 QString::fromUtf8("[Main]\r\n; 日本語のコメント\r\nA=𠮷\r\n").toUtf8());
        QCOMPARE(read("A"), QString::fromUtf8("𠮷"));
    }

    // The encoding is told from the whole file; a write that removes the only
    // bytes deciding it must not change how the other keys read.
    void writingOneKeyKeepsHowOthersRead_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section"); // where B is written
        QTest::addColumn<QString>("other");   // how A of [Main] reads
        QTest::addColumn<bool>("movesToUtf8");
        // Neither UTF-8 nor Shift-JIS until B's byte goes: A would turn from
        // replacement characters into half-width katakana.
        QTest::newRow("neither encoding") << QByteArray("[Main]\nA=\xcd\xcd\nB=\xff\n") << kSection
                                          << QString(2, QChar::ReplacementCharacter) << true;
        // Shift-JIS until B's character goes, and A's bytes are also UTF-8.
        QTest::newRow("shift-jis") << QByteArray("[Main]\r\nA=\xc3\xa9\r\nB=\x82\xa0\r\n")
                                   << kSection << QString::fromUtf8("ﾃｩ") << true;
        // A's value ends in CR; B goes after it in a file of LF breaks.
        QTest::newRow("key after a value ending in cr")
            << QByteArray("[Main]\nA=x\r\r\n") << kSection << QStringLiteral("x\r") << false;
        // The last line ends in a lone CR; a section goes after it.
        QTest::newRow("section after a last line ending in cr")
            << QByteArray("[Main]\r\nA=x\r") << QStringLiteral("New") << QStringLiteral("x")
            << false;
        // Saved by an editor that puts a byte order mark first.
        QTest::newRow("utf-8 with byte order mark")
            << QByteArray("\xef\xbb\xbf[Main]\r\nA=\xe3\x83\xa1\r\n") << QStringLiteral("New")
            << QString::fromUtf8("メ") << false;
    }
    void writingOneKeyKeepsHowOthersRead() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, other);
        QFETCH(bool, movesToUtf8);
        DataFolder data;
        data.write("t.ini", content);
        QCOMPARE(read("A"), other);
        QVERIFY(settingsfile::writeString(kFile, section, u"B", QStringLiteral("2")));
        QCOMPARE(read("A"), other);
        QCOMPARE(settingsfile::readString(kFile, section, u"B", QString()), QString("2"));
        // Otherwise only added to: every byte that was there stays, in place.
        if (!movesToUtf8)
            QVERIFY(data.read("t.ini").startsWith(content.left(content.indexOf("B="))));
    }

    // "ゾ" is 0x83 0x5D in Shift-JIS: its second byte is "]".
    void shiftJisSectionNameWithBracketByte() {
        DataFolder data;
        QStringEncoder sjis("windows-31j");
        data.write("t.ini", sjis.encode(QString::fromUtf8("[ゾ]\r\nA=1\r\n[Main]\r\nA=2\r\n")));
        QCOMPARE(settingsfile::readString(kFile, QString::fromUtf8("ゾ"), u"A", QString()),
                 QString("1"));
        // Moving the file to UTF-8 keeps both sections as they read.
        QVERIFY(settingsfile::writeString(kFile, kSection, u"B", QString::fromUtf8("𠮷")));
        QCOMPARE(data.read("t.ini"),
                 QString::fromUtf8("[ゾ]\r\nA=1\r\n[Main]\r\nA=2\r\nB=𠮷\r\n").toUtf8());
        QCOMPARE(settingsfile::readString(kFile, QString::fromUtf8("ゾ"), u"A", QString()),
                 QString("1"));
        QCOMPARE(read("A"), QString("2"));
    }

    // Several keys written at once (the settings at close) leave the bytes
    // that writing them one after another leaves, in one writing of the
    // file; read at once, they read as one by one.
    void severalKeysAtOnceAsOneAfterAnother_data() {
        QTest::addColumn<QByteArray>("content");
        QStringEncoder sjis("windows-31j");
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("keys in place and missing, other sections")
            << QByteArray("; comment\r\n[Other]\r\nA=o\r\n[main]\r\nb=old\r\nA=1\r\n\r\n"
                          "[Later]\r\nC=l\r\n");
        QTest::newRow("section last, no final break") << QByteArray("[x]\ny=1\n[Main]\nB=0");
        QTest::newRow("last key empty") << QByteArray("[Main]\nA=\n");
        QTest::newRow("a line ending in cr before the missing keys")
            << QByteArray("[Main]\nA=x\r\r\n");
        QTest::newRow("no line feed, last byte cr") << QByteArray("[Other]\rz");
        QTest::newRow("shift-jis with japanese kept")
            << QByteArray(sjis.encode(QString::fromUtf8("[Main]\r\n; メモ\r\nA=記録\r\n")));
        // The Japanese goes with the values: one after another, the file is
        // UTF-8 after the first write.
        QTest::newRow("shift-jis only in the values")
            << QByteArray(sjis.encode(QString::fromUtf8("[Main]\r\nA=記録\r\nB=メモ\r\n")));
        QTest::newRow("neither encoding") << QByteArray("[Main]\nA=\xcd\xcd\nB=\xff\n");
    }
    void severalKeysAtOnceAsOneAfterAnother() {
        QFETCH(QByteArray, content);
        const settingsfile::KeyValues values = {{"A", "ascii"},
                                           {"B", QString::fromUtf8("日本語")},
                                           {"C", QString()},
                                           {"a", QString::fromUtf8("二度目")},
                                           {"D", "last"}};
        QByteArray oneByOne = content;
        for (const auto& [key, value] : values)
            oneByOne = settingsfile::withValue(oneByOne, kSection, key, value);
        QCOMPARE(settingsfile::withValues(content, kSection, values), oneByOne);

        DataFolder data;
        if (!content.isNull())
            data.write("t.ini", content);
        QVERIFY(settingsfile::writeStrings(kFile, kSection, values));
        QCOMPARE(data.read("t.ini"), oneByOne);
        const std::vector<QString> keys = {"a", "B", "c", "D", "missing"};
        const auto atOnce = settingsfile::readValues(kFile, kSection, keys);
        QVERIFY(atOnce);
        for (size_t i = 0; i < keys.size(); ++i)
            QCOMPARE((*atOnce)[i], settingsfile::read(kFile, kSection, keys[i]));
        QCOMPARE((*atOnce)[0], QString::fromUtf8("二度目"));
        QVERIFY(!(*atOnce)[4]);
    }

    void refusesReadOnlyFileAndKeepsIt() {
        DataFolder data;
        data.write("t.ini", "[Main]\nA=1\n");
        QFile::setPermissions(data.absolute("t.ini"), QFile::ReadOwner | QFile::ReadGroup);
        QVERIFY(!settingsfile::writeString(kFile, kSection, u"A", QStringLiteral("2")));
        QCOMPARE(data.read("t.ini"), QByteArray("[Main]\nA=1\n"));
    }
};

QTEST_MAIN(SettingsFileTest)
#include "tst_settingsfile.moc"
