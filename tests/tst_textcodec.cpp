// Reading text in the encoding and line breaks it has, and writing it back alike.
#include "text/TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>
#include <array>

using namespace ostrel;

namespace {
QByteArray sjis(const char* utf8) {
    return QStringEncoder("windows-31j").encode(QString::fromUtf8(utf8));
}

// The bytes read piece by piece, `piece` bytes at a time, as a load reads a
// file: read again from the first byte when the decoder asks, or whole.
DecodedText decodeInPieces(const QByteArray& bytes, qsizetype piece, int* readings = nullptr) {
    TextDecoder decoder;
    for (int reading = 1;; ++reading) {
        if (readings)
            *readings = reading;
        DecodedText d;
        TextDecoder::Step step = TextDecoder::Step::Going;
        for (qsizetype at = 0; at < bytes.size() && step == TextDecoder::Step::Going; at += piece)
            step = decoder.feed(QByteArrayView(bytes).sliced(at, qMin(piece, bytes.size() - at)),
                                d.text);
        if (step == TextDecoder::Step::Going)
            step = decoder.finish(d.text, d.format);
        if (step == TextDecoder::Step::Whole)
            return decodeText(bytes);
        if (step == TextDecoder::Step::Going) {
            if (d.format.mixed) {
                auto mixed = std::make_shared<MixedBreaks>(*d.format.mixed);
                for (QStringView line : QStringView(d.text).split(u'\n'))
                    mixed->lineHashes.push_back(lineHash(line));
                d.format.mixed = mixed;
            }
            return d;
        }
    }
}
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
        QTest::newRow("ascii crlf no final break")
            << QByteArray("a\r\nb") << int(TextEncoding::Utf8) << "a\nb";
        QTest::newRow("utf8 crlf")
            << QString::fromUtf8("日本語\r\nメモ\r\n").toUtf8() << int(TextEncoding::Utf8) << jp;
        QTest::newRow("utf8 bom") << QByteArray("\xEF\xBB\xBF") + jp.toUtf8()
                                  << int(TextEncoding::Utf8Bom) << jp;
        QTest::newRow("utf16le") << QByteArray("\xFF\xFE") +
                                        QByteArray(
                                            QStringEncoder(QStringConverter::Utf16LE).encode(jp))
                                 << int(TextEncoding::Utf16LE) << jp;
        QTest::newRow("utf16be") << QByteArray("\xFE\xFF") +
                                        QByteArray(
                                            QStringEncoder(QStringConverter::Utf16BE).encode(jp))
                                 << int(TextEncoding::Utf16BE) << jp;
        QTest::newRow("shift-jis crlf")
            << sjis("日本語\r\nメモ\r\n") << int(TextEncoding::ShiftJis) << jp;
        QTest::newRow("shift-jis wave dash")
            << sjis("～\r\n") << int(TextEncoding::ShiftJis) << QString::fromUtf8("～\n");
        QTest::newRow("cr only") << QByteArray("a\rb\r") << int(TextEncoding::Utf8) << "a\nb\n";
        QTest::newRow("mixed") << QByteArray("a\r\nb\nc\rd") << int(TextEncoding::Utf8)
                               << "a\nb\nc\nd";
        QTest::newRow("empty") << QByteArray() << int(TextEncoding::Utf8) << "";
        // A character U+FEFF right after the byte-order mark is text, not a second mark.
        QTest::newRow("utf8 bom, zwnbsp")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                          "a")
            << int(TextEncoding::Utf8Bom) << QChar(0xFEFF) + QString("a");
        QTest::newRow("utf16le mark, zwnbsp")
            << QByteArray("\xFF\xFE\xFF\xFE"
                          "a\0",
                          6)
            << int(TextEncoding::Utf16LE) << QChar(0xFEFF) + QString("a");
        // UTF-8 is read a megabyte at a time: characters on the edge, and a
        // U+FEFF at the start of a later piece.
        for (int shift : {0, 1, 2}) {
            const QString text = QString(1 << 20, u'a').left((1 << 20) - shift) + QChar(0xFEFF) +
                                 QString::fromUtf8("日本\n");
            QTest::addRow("utf8 across pieces %d", shift)
                << text.toUtf8() << int(TextEncoding::Utf8) << text;
        }
        QTest::newRow("nul bytes") << QByteArray("a\0b\n", 4) << int(TextEncoding::Utf8)
                                   << QString::fromLatin1("a\0b\n", 4);
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
        QCOMPARE(encodeText("one\nTWO\nthree\n", d.format).value(),
                 QByteArray("one\r\nTWO\r\nthree\r\n"));
        d = decodeText(sjis("メモ\r\n"));
        QCOMPARE(encodeText(QString::fromUtf8("メモ\n追記\n"), d.format).value(),
                 sjis("メモ\r\n追記\r\n"));
    }

    void editOfMixedBreaksChangesOnlyTheEditedLines() {
        const QByteArray before = "a\r\nb\nc\r\nd\re\r\n";
        const DecodedText d = decodeText(before);
        QCOMPARE(int(d.format.lineBreak), int(LineBreak::CRLF)); // the most common
        // Edit the middle line: the lines around it keep their own breaks.
        QCOMPARE(encodeText("a\nb\nCHANGED\nd\ne\n", d.format).value(),
                 QByteArray("a\r\nb\nCHANGED\r\nd\re\r\n"));
        // Insert a line after "b": the new line takes the common break.
        QCOMPARE(encodeText("a\nb\nnew\nc\nd\ne\n", d.format).value(),
                 QByteArray("a\r\nb\nnew\r\nc\r\nd\re\r\n"));
        // Delete the first line.
        QCOMPARE(encodeText("b\nc\nd\ne\n", d.format).value(), QByteArray("b\nc\r\nd\re\r\n"));

        // A CR never lands right before the LF of an empty line, which would
        // read back as one CR LF and lose the line. CR is the common break.
        const DecodedText cr = decodeText("x\ry\n\nz\rw\rv");
        QCOMPARE(int(cr.format.lineBreak), int(LineBreak::CR));
        for (const auto& [text, bytes] : {
                 std::pair{"x\nedited\n\nz\nw\nv", "x\redited\r\n\nz\rw\rv"}, // edited line
                 std::pair{"x\ny\n\n\nz\nw\nv", "x\ry\n\n\rz\rw\rv"},         // new empty line
             }) {
            const QByteArray written = encodeText(QString::fromLatin1(text), cr.format).value();
            QCOMPARE(decodeText(written).text, QString::fromLatin1(text));
            QCOMPARE(written, QByteArray(bytes));
        }
    }

    void newTextsAreUtf8() {
        const DecodedText d = decodeText(QByteArray());
        QCOMPARE(int(d.format.encoding), int(TextEncoding::Utf8));
        QCOMPARE(encodeText(QString::fromUtf8("新しい\n"), d.format).value(),
                 QString::fromUtf8("新しい\n").toUtf8());
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

    // Shift-JIS is written one character at a time from a table; it agrees with
    // the platform's converter, which is asked afresh for every character.
    void shiftJisAgreesWithTheConverterOverTheWholePlane() {
        TextFormat format;
        format.encoding = TextEncoding::ShiftJis;
        format.lineBreak = LineBreak::LF;
        int held = 0;
        for (char32_t u = 0; u < 0x10000; ++u) {
            const QChar c(u);
            if (c.isSurrogate() || c == u'\n')
                continue;
            QStringEncoder encoder("windows-31j");
            const QByteArray bytes = encoder.encode(QString(c));
            QStringDecoder decoder("windows-31j");
            const bool roundTrip =
                !encoder.hasError() && decoder.decode(bytes) == QString(c) && !decoder.hasError();
            const std::optional<QByteArray> ours = encodeText(QString(c), format);
            // The three controls that code page 932 rotates are written, but
            // alone they are ASCII, which reads them back unrotated: refused.
            const bool readsBack = roundTrip && u != 0x1A && u != 0x1C && u != 0x7F;
            QVERIFY2(ours.has_value() == readsBack, qPrintable(QString::number(u, 16)));
            QCOMPARE(canEncode(QString(c), TextEncoding::ShiftJis), roundTrip);
            if (readsBack) {
                QCOMPARE(*ours, bytes);
                ++held;
            }
        }
        QVERIFY(held > 7000);
    }

    // Large texts are handed over in pieces, which together are what
    // encodeText makes, whatever falls on a piece's edge.
    void piecesMakeTheWholeText_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("lineBreak");
        for (int e :
             {int(TextEncoding::Utf8), int(TextEncoding::Utf8Bom), int(TextEncoding::Utf16LE),
              int(TextEncoding::Utf16BE), int(TextEncoding::ShiftJis)})
            for (int b : {int(LineBreak::LF), int(LineBreak::CRLF), int(LineBreak::CR)})
                QTest::addRow("%d/%d", e, b) << e << b;
    }
    void piecesMakeTheWholeText() {
        QFETCH(int, encoding);
        QFETCH(int, lineBreak);
        TextFormat format;
        format.encoding = TextEncoding(encoding);
        format.lineBreak = LineBreak(lineBreak);
        // Odd lengths put surrogate pairs (outside Shift-JIS) across piece edges.
        const QString unit = format.encoding == TextEncoding::ShiftJis
                                 ? QString::fromUtf8("日本語 ab\n～ｱ\n")
                                 : QString::fromUtf8("日本語 ab\n𠮷é\n");
        QString text;
        while (text.size() < 300000)
            text += unit;
        const QByteArray whole = encodeText(text, format).value();
        QByteArray joined;
        bool unencodable = true;
        QVERIFY(encodeTextInPieces(
            text, format,
            [&](QByteArrayView piece) {
                joined += piece;
                return true;
            },
            &unencodable));
        QVERIFY(!unencodable);
        QCOMPARE(joined.size(), whole.size());
        QVERIFY(joined == whole);
        // The same text in uneven parts (an empty one, pairs split between
        // parts), as the editor's blocks hand it over.
        const QString& raw = text;
        std::vector<QStringView> parts;
        for (qsizetype at = 0, n = 0; at < raw.size(); at += n) {
            n = std::min<qsizetype>(
                raw.size() - at,
                parts.size() % 7 == 3 ? 0 : 1 + qsizetype(parts.size() * 7919 % 90001));
            parts.push_back(QStringView(raw).sliced(at, n));
        }
        joined.clear();
        QVERIFY(encodeTextInPieces(
            parts, format,
            [&](QByteArrayView piece) {
                joined += piece;
                return true;
            },
            &unencodable));
        QVERIFY(joined == whole);
        // A character the encoding cannot hold, far into the text, stops it.
        if (format.encoding == TextEncoding::ShiftJis) {
            QVERIFY(!encodeTextInPieces(
                text + QString::fromUtf8("한"), format, [](QByteArrayView) { return true; },
                &unencodable));
            QVERIFY(unencodable);
        }
    }

    // UTF-8 is written as QString::toUtf8 writes it, lone surrogates included.
    void utf8IsWhatQtWrites() {
        TextFormat format;
        format.encoding = TextEncoding::Utf8;
        format.lineBreak = LineBreak::LF;
        QString text;
        for (char16_t c : {u'a', u'\0', u'\x7f', u'\x80', u'\x7ff', u'\x800', u'\xd800', u'\xdc00',
                           u'\xd83d', u'\xde00', u'\xffff', u'\xdbff'})
            text += QChar(c);
        QCOMPARE(encodeText(text, format).value(), text.toUtf8());
        // Runs of every length of each kind, one after another.
        const QStringList kinds = {QStringLiteral("abcdefg"), QStringLiteral("é"),
                                   QStringLiteral("日本語"),  QStringLiteral("😀"),
                                   QString(QChar(0xdc00)),    QStringLiteral("\t")};
        text.clear();
        for (int i = 0; i < 2000; ++i)
            text += kinds[(i * 7 + i / 5) % kinds.size()].repeated(1 + i % 9);
        QCOMPARE(encodeText(text, format).value(), text.toUtf8());
    }

    // U+2029, U+FDD0 and U+FDD1 are characters like any other (the editor
    // ends lines at "\n" alone): a file holding them is written back as read.
    void separatorsAreCharacters() {
        const QByteArray bytes = QString::fromUtf8("a\u2029b\uFDD0c\uFDD1\r\nd").toUtf8();
        const DecodedText d = decodeText(bytes);
        QVERIFY(d.format.lossless);
        QCOMPARE(d.text, QString::fromUtf8("a\u2029b\uFDD0c\uFDD1\nd"));
        QCOMPARE(encodeText(d.text, d.format).value(), bytes);
    }

    void undecodableFilesAreMarkedLossy() {
        // Invalid as UTF-8 and as Shift-JIS.
        DecodedText d = decodeText(QByteArray("ok \xff\xfe\xfd end\n"));
        QVERIFY(!d.format.lossless);
        // A Shift-JIS character with two codes in code page 932 (NEC row 13
        // vs. IBM extension) cannot be written back as it was.
        d = decodeText(QByteArray("\xed\x40\r\n"));
        QVERIFY(!d.format.lossless);
        // A lead byte without its trail byte at the end.
        d = decodeText(sjis("日本") + "\x93");
        QVERIFY(!d.format.lossless);
        // Valid UTF-8 (and Shift-JIS) for more than a megabyte, then neither:
        // shown as UTF-8 reads it.
        d = decodeText(QString::fromUtf8("é").repeated(600000).toUtf8() + "\x81\x20");
        QVERIFY(!d.format.lossless);
        QCOMPARE(int(d.format.encoding), int(TextEncoding::Utf8));
        QVERIFY(d.text.startsWith(QString::fromUtf8("éé")));
        // An odd number of bytes after a UTF-16 mark.
        d = decodeText(QByteArray("\xff\xfe\x41\x00\x42"));
        QVERIFY(!d.format.lossless);
    }
    // A file read piece by piece, as a large record is loaded, makes the text
    // and format that reading it whole does, wherever the pieces end: inside
    // a character, between CR and LF, after UTF-8 that turns out to be
    // Shift-JIS (read again), or in bytes nothing reads without loss.
    void piecesReadAsTheWhole_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("readings");
        const QByteArray jp = QString::fromUtf8("日本語のメモ😀\n").toUtf8();
        QTest::newRow("empty") << QByteArray() << 1;
        QTest::newRow("two bytes") << QByteArray("a\r") << 1;
        QTest::newRow("utf-8") << jp.repeated(50) << 1;
        QTest::newRow("utf-8 with a mark, crlf")
            << "\xEF\xBB\xBF" + QByteArray("a\r\nb\r\n").repeated(20) << 1;
        QTest::newRow("a second mark is a character")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << 1;
        QTest::newRow("mixed breaks") << QByteArray("a\r\nb\nc\rd\r\r\ne\n\r") << 1;
        QTest::newRow("cr only") << QByteArray("a\rb\r") << 1;
        QTest::newRow("utf-16 mark before bytes of utf-8")
            << QByteArray("\xFF\xFE") + QString::fromUtf8("日本\r\n😀").toUtf8() << 1;
        QByteArray le("\xFF\xFE"), be("\xFE\xFF");
        for (QChar c : QString::fromUtf8("日本\r\nx😀\r")) {
            le += char(c.unicode() & 0xFF);
            le += char(c.unicode() >> 8);
            be += char(c.unicode() >> 8);
            be += char(c.unicode() & 0xFF);
        }
        QTest::newRow("utf-16 le, true") << le << 1;
        QTest::newRow("utf-16 be") << be << 1;
        QTest::newRow("utf-16, odd length") << le + "x" << 1;
        QTest::newRow("shift-jis") << sjis("日本語\r\nメモ\r\n").repeated(30) << 2;
        QTest::newRow("ascii, then shift-jis")
            << QByteArray("ascii\n").repeated(100) + sjis("日本") << 2;
        QTest::newRow("shift-jis, lead byte at the end") << sjis("日本") + "\x93" << 2;
        QTest::newRow("neither") << QByteArray("ok \xff\xfe\xfd end\n") << 2;
        QTest::newRow("separators that are no line breaks")
            << QString::fromUtf8("a\u2029b\uFDD0").toUtf8() << 1;
    }
    void piecesReadAsTheWhole() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, readings);
        const DecodedText whole = decodeText(bytes);
        for (qsizetype piece : {1, 2, 3, 5, 64, 1 << 20}) {
            int read = 0;
            const DecodedText d = decodeInPieces(bytes, piece, &read);
            QCOMPARE(d.text, whole.text);
            QCOMPARE(int(d.format.encoding), int(whole.format.encoding));
            QCOMPARE(int(d.format.lineBreak), int(whole.format.lineBreak));
            QCOMPARE(d.format.lossless, whole.format.lossless);
            QCOMPARE(bool(d.format.mixed), bool(whole.format.mixed));
            if (whole.format.mixed) {
                QVERIFY(d.format.mixed->breaks == whole.format.mixed->breaks);
                QVERIFY(d.format.mixed->lineHashes == whole.format.mixed->lineHashes);
            }
            QCOMPARE(read, readings);
        }
    }
};

QTEST_MAIN(TextCodecTest)
#include "tst_textcodec.moc"
