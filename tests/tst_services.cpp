// The services below the windows: number parsing and wildcard matching (text), the default error
// box (ui) and colour values (core).
#include "TestSupport.h"
#include "text/NumberParse.h"
#include "text/Wildcard.h"
#include "ui/Colors.h"
#include "ui/Handler.h"

#include <QMessageBox>
#include <QTest>

using namespace ostrel;

class PlatformTest : public QObject {
    Q_OBJECT

private slots:
    void parsesIntegers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "200" << true << 200;
        QTest::newRow("leading spaces") << "   7" << true << 7;
        QTest::newRow("plus") << "+12" << true << 12;
        QTest::newRow("minus") << "-2147483648" << true << int(0x80000000u);
        QTest::newRow("max") << "2147483647" << true << 2147483647;
        QTest::newRow("too large") << "2147483648" << false << 0;
        QTest::newRow("too small") << "-2147483649" << false << 0;
        QTest::newRow("dollar hex") << "$80000005" << true << int(0x80000005u);
        QTest::newRow("0x hex") << "0x80000005" << true << int(0x80000005u);
        QTest::newRow("0X hex") << "0XfF" << true << 255;
        QTest::newRow("x hex") << "xA" << true << 10;
        QTest::newRow("X hex") << "X1f" << true << 31;
        QTest::newRow("$A") << "$A" << true << 10;
        QTest::newRow("hex too wide") << "$100000000" << false << 0;
        QTest::newRow("signed hex") << "-$5" << false << 0;
        QTest::newRow("prefix alone") << "0x" << false << 0;
        QTest::newRow("trailing space") << "7 " << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("spaces only") << "   " << false << 0;
        QTest::newRow("sign alone") << "-" << false << 0;
        QTest::newRow("word") << "abc" << false << 0;
        QTest::newRow("yes") << "yes" << false << 0;
        QTest::newRow("leading zeros") << "007" << true << 7;
        QTest::newRow("tab is not a space") << "\t7" << false << 0;
        QTest::newRow("full-width digit") << QString::fromUtf8("７") << false << 0;
        QTest::newRow("long digits") << "000000000000000000001" << true << 1;
    }
    void parsesIntegers() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        const std::optional<qint32> parsed = parseInt32(text);
        QCOMPARE(parsed.has_value(), ok);
        if (ok)
            QCOMPARE(*parsed, value);
    }

    void matchesWildcards_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("match");
        QTest::newRow("extension") << "*.txt"
                                   << "memo.txt" << true;
        QTest::newRow("case") << "*.txt"
                              << "MEMO.TXT" << true;
        QTest::newRow("pattern case") << "*.TXT"
                                      << "memo.txt" << true;
        QTest::newRow("other extension") << "*.txt"
                                         << "memo.txt.bak" << false;
        QTest::newRow("star alone") << "*"
                                    << "anything" << true;
        QTest::newRow("star dot star without dot") << "*.*"
                                                   << "README" << true;
        QTest::newRow("question") << "a?c"
                                  << "abc" << true;
        QTest::newRow("question needs one") << "a?c"
                                            << "ac" << false;
        QTest::newRow("two stars") << "*a*b*"
                                   << "xxaYYbzz" << true;
        QTest::newRow("backtrack") << "*ab"
                                   << "aab" << true;
        QTest::newRow("no match") << "*.c"
                                  << "main.cpp" << false;
        QTest::newRow("japanese") << "*.txt" << QString::fromUtf8("日本語.TXT") << true;
        QTest::newRow("exact") << "Ostrel.ini"
                               << "ostrel.INI" << true;
    }
    void matchesWildcards() {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, match);
        QCOMPARE(Wildcard(pattern).matches(name), match);
    }

    void errorBoxAddsFullStop_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("japanese") << QString::fromUtf8("ファイル ./a/b.txt は開けません")
                                  << QString::fromUtf8("ファイル ./a/b.txt は開けません.");
        QTest::newRow("parenthesis") << "I/O エラー (21)"
                                     << "I/O エラー (21)";
        QTest::newRow("full stop") << "done."
                                   << "done.";
        QTest::newRow("letter") << "abc"
                                << "abc.";
        QTest::newRow("quote") << "'x' は数値ではありません"
                               << "'x' は数値ではありません.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorBoxAddsFullStop() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(errorBoxText(message), shown);
    }

    void defaultErrorBoxLooksAsItShould() {
        testing::BoxAnswerer boxes;
        boxes.answer("OK");
        const bool ran = runHandler([] { throw UserError(QStringLiteral("書き込めません")); });
        QVERIFY(!ran);
        QCOMPARE(boxes.seen().size(), 1);
        const testing::SeenBox& box = boxes.seen().first();
        QCOMPARE(box.title, QString("OSTREL"));
        QCOMPARE(box.text, QString::fromUtf8("書き込めません."));
        QCOMPARE(box.buttons, QStringList{"OK"});
        QCOMPARE(box.icon, int(QMessageBox::Critical));
    }

    void colourValues() {
        QCOMPARE(resolveColor(255), QColor(255, 0, 0));
        QCOMPARE(resolveColor(0xFF0000), QColor(0, 0, 255));
        QCOMPARE(colorValue(QColor(0, 255, 0)), 0x00FF00);
        QCOMPARE(resolveColor(kColorWindow), QApplication::palette().color(QPalette::Base));
        QCOMPARE(resolveColor(kColorWindowText), QApplication::palette().color(QPalette::Text));
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_services.moc"
