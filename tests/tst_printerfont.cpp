// The printer font measures and draws a run as Qt's own text drawing does,
// whether the run takes the direct path (characters drawn one glyph each,
// at whole pixels) or goes through Qt's text layout.
#include "TestMain.h"

#include "print/PrintJob.h"
#include "print/PrinterFont.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTest>

using ostrel::print::PrinterFont;

namespace {

QImage blank() {
    QImage image(900, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// Where ink is, and how much of it: glyphs placed at whole pixels instead of
// Qt's fractions of one differ in their edges only.
struct Ink {
    QRect box;
    double amount = 0;
};

Ink inkOf(const QImage& image) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int dark = 255 - qGray(image.pixel(x, y));
            ink.amount += dark;
            if (dark > 128)
                ink.box |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

} // namespace

class TestPrinterFont : public QObject {
    Q_OBJECT

private slots:
    void runs_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("run");
        const QString gothic = QStringLiteral("IPAPGothic");
        QTest::newRow("kana and kanji") << gothic << QStringLiteral("日本語のテキスト、句読点。");
        QTest::newRow("Latin and digits") << gothic << QStringLiteral("Hello, World! 0123");
        QTest::newRow("full and half width") << gothic << QStringLiteral("ＡＢＣ１２３ﾊﾝｶｸ");
        QTest::newRow("a combining mark") << gothic << QStringLiteral("cafe\u0301 au lait");
        QTest::newRow("a surrogate pair") << gothic << QStringLiteral("𠮷野家の牛丼");
        QTest::newRow("a character from another font") << gothic << QStringLiteral("ĀŁ ∰ ⍟ ok");
        QTest::newRow("Arabic") << gothic << QStringLiteral("مرحبا");
        QTest::newRow("underlined") << "underline" << QStringLiteral("下線 under");
    }
    void runs() {
        QFETCH(QString, family);
        QFETCH(QString, run);
        QFont font(family == "underline" ? QStringLiteral("IPAPGothic") : family);
        font.setPixelSize(24);
        font.setUnderline(family == "underline");

        // Measured on a job's PDF at its resolution, as Qt measures.
        QBuffer out;
        QPdfWriter printer(&out);
        printer.setResolution(ostrel::print::kPrintResolution);
        const QFont printerFont(font, &printer);
        QCOMPARE(PrinterFont(printerFont, &printer).width(run),
                 QFontMetrics(printerFont, &printer).horizontalAdvance(run));

        // Drawn where Qt draws it: the top-left corner of the first
        // character cell at the point given.
        QImage ours = blank();
        {
            QPainter p(&ours);
            p.setFont(font);
            PrinterFont(font, &ours).draw(p, 10, 12, run);
        }
        QImage qts = blank();
        {
            QPainter p(&qts);
            p.setFont(font);
            p.drawText(QPoint(10, 12 + QFontMetrics(font, &qts).ascent()), run);
        }
        const Ink a = inkOf(ours), b = inkOf(qts);
        QVERIFY(!b.box.isEmpty());
        QVERIFY2(qAbs(a.box.left() - b.box.left()) <= 1 && qAbs(a.box.top() - b.box.top()) <= 1 &&
                     qAbs(a.box.right() - b.box.right()) <= 1 &&
                     qAbs(a.box.bottom() - b.box.bottom()) <= 1,
                 qPrintable(QStringLiteral("ink at %1,%2 %3x%4, Qt's at %5,%6 %7x%8")
                                .arg(a.box.x())
                                .arg(a.box.y())
                                .arg(a.box.width())
                                .arg(a.box.height())
                                .arg(b.box.x())
                                .arg(b.box.y())
                                .arg(b.box.width())
                                .arg(b.box.height())));
        QVERIFY(qAbs(a.amount - b.amount) <= 0.03 * b.amount);
    }

    void layoutMeasurements() {
        QBuffer out;
        QPdfWriter printer(&out);
        printer.setResolution(ostrel::print::kPrintResolution);
        QFont font(QStringLiteral("IPAPGothic"), 9);
        font = QFont(font, &printer);
        const QFontMetrics metrics(font, &printer);
        const PrinterFont ours(font, &printer);
        QCOMPARE(ours.cellHeight(), metrics.height());
        QCOMPARE(ours.textHeight(), metrics.height());
        QCOMPARE(ours.averageCharWidth(), metrics.averageCharWidth());
        QCOMPARE(ours.width(QString()), 0);
    }
};

OSTREL_TEST_MAIN(TestPrinterFont)
#include "tst_printerfont.moc"
