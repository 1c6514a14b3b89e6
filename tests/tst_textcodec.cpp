// Reading text in the encoding and line breaks it has, and writing it back alike.
#include "platform/TextCodec.h"

#include <QStringEncoder>
#include <QTest>

using namespace ostrel;

namespace {
QByteArray sjis(const char* utf8) { return QStringEncoder("windows-31j").encode(QString::fromUtf8(utf8)); }
} // namespace

class TextCodecTest : public QObject {
    Q_OBJECT

private slots:
    // Files of every supported form come back byte for byte when unedited.
    void unchangedTextIsWrittenBackUnchanged_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QString>("text");
        const QString jp = QString::fromUtf8("日本語\nメモ\n");
        QTest::newRow("ascii lf") << QByteArray("a\nb\n") << int(TextEncoding::Utf8) << "a\nb\n";
        QTest::newRow("ascii crlf no final break") << QByteArray("a\r\nb") << int(TextEncoding::Utf8) << "a\nb";
        QTest::newRow("utf8 crlf") << QString::fromUtf8("日本語\r\nメモ\r\n").toUtf8() << int(TextEncoding::Utf8) << jp;
        QTest::newRow("utf8 bom") << QByteArray("\xEF\xBB\xBF") + jp.toUtf8() << int(TextEncoding::Utf8Bom) << jp;
        QTest::newRow("utf16le") << QByteArray("\xFF\xFE") + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(jp)) << int(TextEncoding::Utf16LE) << jp;
        QTest::newRow("utf16be") << QByteArray("\xFE\xFF") + QByteArray(QStringEncoder(QStringConverter::Utf16BE).encode(jp)) << int(TextEncoding::Utf16BE) << jp;
        QTest::newRow("shift-jis crlf") << sjis("日本語\r\nメモ\r\n") << int(TextEncoding::ShiftJis) << jp;
        QTest::newRow("shift-jis wave dash") << sjis("～\r\n") << int(TextEncoding::ShiftJis) << QString::fromUtf8("～\n");
        QTest::newRow("cr only") << QByteArray("a\rb\r") << int(TextEncoding::Utf8) << "a\nb\n";
        QTest::newRow("mixed") << QByteArray("a\r\nb\nc\rd") << int(TextEncoding::Utf8) << "a\nb\nc\nd";
        QTest::newRow("empty") << QByteArray() << int(TextEncoding::Utf8) << "";
        QTest::newRow("nul bytes") << QByteArray("a\0b\n", 4) << int(TextEncoding::Utf8) << QString::fromLatin1("a\0b\n", 4);
    }
    void unchangedTextIsWrittenBackUnchanged() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(QString, text);
        const DecodedText d = decodeText(bytes);
        QCOMPARE(int(d.format.encoding), encoding);
        QCOMPARE(d.text, text);
        QVERIFY(d.format.lossless);
        QCOMPARE(encodeText(d.text, d.format).value(), bytes);
    }

    void editKeepsTheFilesBreaks() {
        DecodedText d = decodeText("one\r\ntwo\r\n");
        QCOMPARE(encodeText("one\nTWO\nthree\n", d.format).value(), QByteArray("one\r\nTWO\r\nthree\r\n"));
        d = decodeText(sjis("メモ\r\n"));
        QCOMPARE(encodeText(QString::fromUtf8("メモ\n追記\n"), d.format).value(), sjis("メモ\r\n追記\r\n"));
    }

    void editOfMixedBreaksChangesOnlyTheEditedLines() {
        const QByteArray before = "a\r\nb\nc\r\nd\re\r\n";
        const DecodedText d = decodeText(before);
        QCOMPARE(int(d.format.lineBreak), int(LineBreak::CRLF)); // the most common
        // Edit the middle line: the lines around it keep their own breaks.
        QCOMPARE(encodeText("a\nb\nCHANGED\nd\ne\n", d.format).value(), QByteArray("a\r\nb\nCHANGED\r\nd\re\r\n"));
        // Insert a line after "b": the new line takes the common break.
        QCOMPARE(encodeText("a\nb\nnew\nc\nd\ne\n", d.format).value(), QByteArray("a\r\nb\nnew\r\nc\r\nd\re\r\n"));
        // Delete the first line.
        QCOMPARE(encodeText("b\nc\nd\ne\n", d.format).value(), QByteArray("b\nc\r\nd\re\r\n"));
    }

    void newTextsAreUtf8() {
        const DecodedText d = decodeText(QByteArray());
        QCOMPARE(int(d.format.encoding), int(TextEncoding::Utf8));
        QCOMPARE(encodeText(QString::fromUtf8("新しい\n"), d.format).value(), QString::fromUtf8("新しい\n").toUtf8());
    }

    void charactersShiftJisCannotHoldAreRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("surrogate pair") << QString::fromUtf8("𠮷野家");
        QTest::newRow("wave dash U+301C") << QString::fromUtf8("\u301c");
        QTest::newRow("emoji") << QString::fromUtf8("😀");
        QTest::newRow("hangul") << QString::fromUtf8("한");
    }
    void charactersShiftJisCannotHoldAreRefused() {
        QFETCH(QString, text);
        const DecodedText d = decodeText(sjis("日本\r\n"));
        QCOMPARE(int(d.format.encoding), int(TextEncoding::ShiftJis));
        QVERIFY(!canEncode(text, TextEncoding::ShiftJis));
        QVERIFY(!encodeText(d.text + text, d.format).has_value());
        QVERIFY(canEncode(text, TextEncoding::Utf8));
    }

    void undecodableFilesAreMarkedLossy() {
        // Invalid as UTF-8 and as Shift-JIS.
        DecodedText d = decodeText(QByteArray("ok \xff\xfe\xfd end\n"));
        QVERIFY(!d.format.lossless);
        // A Shift-JIS character with two codes in code page 932 (NEC row 13
        // vs. IBM extension) cannot be written back as it was.
        d = decodeText(QByteArray("\xed\x40\r\n"));
        QVERIFY(!d.format.lossless);
        // An odd number of bytes after a UTF-16 mark.
        d = decodeText(QByteArray("\xff\xfe\x41\x00\x42"));
        QVERIFY(!d.format.lossless);
    }
};

QTEST_MAIN(TextCodecTest)
#include "tst_textcodec.moc"
