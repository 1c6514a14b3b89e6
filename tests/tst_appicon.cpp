// The desktop menu's icon (the hicolor PNGs drawn at build time from
// packaging/org.ostrel.Ostrel.svg) shows the same picture as the main
// window's title-bar icon, at every size.
#include "TestMain.h"
#include "TestSupport.h"

#include "mainwindow/MainFrm.h"

#include <QImage>

using namespace testing;

namespace {

QImage menuIcon(int size) {
    return QImage(QCoreApplication::applicationDirPath() +
                  QStringLiteral("/../packaging/icons/%1x%1/org.ostrel.Ostrel.png").arg(size))
        .convertToFormat(QImage::Format_ARGB32);
}

// Where two pictures differ; a transparent pixel is transparent whatever its
// colour.
QString firstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (p != q && (qAlpha(p) != 0 || qAlpha(q) != 0))
                return QStringLiteral("pixel %1,%2: %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(p, 8, 16, QLatin1Char('0'))
                    .arg(q, 8, 16, QLatin1Char('0'));
        }
    }
    return {};
}

} // namespace

class AppIcon : public QObject {
    Q_OBJECT

private slots:
    void menuIconIsTheWindowIcon_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("windowSize"); // the window icon's image it enlarges
        QTest::newRow("16") << 16 << 16;
        QTest::newRow("32") << 32 << 32;
        QTest::newRow("48") << 48 << 16;
        QTest::newRow("256") << 256 << 32;
    }

    void menuIconIsTheWindowIcon() {
        QFETCH(int, size);
        QFETCH(int, windowSize);
        DataFolder data;
        Windows windows;
        const QImage window = windows.main->windowIcon()
                                  .pixmap(QSize(windowSize, windowSize))
                                  .toImage()
                                  .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(window.size(), QSize(windowSize, windowSize));
        const QImage menu = menuIcon(size);
        QVERIFY2(!menu.isNull(), "the build did not draw this icon");
        const QImage enlarged =
            window.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const QString difference = firstDifference(menu, enlarged);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
};

OSTREL_TEST_MAIN(AppIcon)
#include "tst_appicon.moc"
