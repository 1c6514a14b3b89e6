// The window's place and size under a real window manager that frames it:
// the four settings keep the outer edges, and a start puts them back exactly,
// time after time. Run under Xvfb, with openbox started here.
#include "TestMain.h"
#include "TestSupport.h"

#include "mainwindow/MainFrm.h"

#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <memory>

using namespace testing;

namespace {

QByteArray settingsWithGeometry(int left, int top, qint64 width, qint64 height) {
    QByteArray s = defaultSettingsFile();
    s.replace("WINDOW TOP=200", "WINDOW TOP=" + QByteArray::number(top));
    s.replace("WINDOW LEFT=200", "WINDOW LEFT=" + QByteArray::number(left));
    s.replace("WINDOW HEIGHT=350", "WINDOW HEIGHT=" + QByteArray::number(height));
    s.replace("WINDOW WIDTH=450", "WINDOW WIDTH=" + QByteArray::number(width));
    return s;
}

QString value(const DataFolder& data, const char* key) {
    for (const QByteArray& line : data.read("Ostrel.ini").split('\n'))
        if (line.startsWith(QByteArray(key) + '='))
            return QString::fromUtf8(line.mid(qsizetype(qstrlen(key)) + 1));
    return QStringLiteral("<missing>");
}

// Starts the program, waits until the window manager has framed the window
// and the frame has settled, answers the outer geometry, and closes.
QRect startAndClose() {
    Windows w;
    showMain(w.main);
    if (!QTest::qWaitFor([&] { return w.main->frameGeometry() != w.main->geometry(); }, 5000))
        qWarning("the window manager framed no window");
    QRect outer;
    // Settled: the same for a while.
    for (int same = 0; same < 5;) {
        QTest::qWait(100);
        const QRect now = w.main->outerGeometry();
        same = now == outer ? same + 1 : 0;
        outer = now;
    }
    w.main->SaveSettingsOnClose = true;
    if (!w.main->close())
        qWarning("the window did not close");
    return outer;
}

} // namespace

class GeometryX11 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == u"xcb",
                 qPrintable(QGuiApplication::platformName()));
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty())
            QSKIP("openbox is not installed (scripts/setup.sh installs it)");
        m_wm.start(openbox, {QStringLiteral("--sm-disable")});
        QVERIFY(m_wm.waitForStarted());
        // Until it manages the screen: a window manager that follows the
        // desktop conventions names its check window on the root window.
        QVERIFY(QTest::qWaitFor(
            [] {
                QProcess xprop;
                xprop.start(QStringLiteral("xprop"),
                            {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
                return xprop.waitForFinished() && xprop.readAll().contains("window id");
            },
            30000));
    }

    void cleanupTestCase() {
        m_wm.terminate();
        m_wm.waitForFinished();
    }

    void outerGeometryStaysPutAcrossStarts() {
        DataFolder data;
        data.write(QStringLiteral("memo/a.txt"), "alpha\n");
        data.write(QStringLiteral("Ostrel.ini"), settingsWithGeometry(120, 100, 400, 300));
        for (int start = 0; start < 3; ++start) {
            QCOMPARE(startAndClose(), QRect(120, 100, 400, 300));
            QCOMPARE(value(data, "WINDOW LEFT"), QStringLiteral("120"));
            QCOMPARE(value(data, "WINDOW TOP"), QStringLiteral("100"));
            QCOMPARE(value(data, "WINDOW WIDTH"), QStringLiteral("400"));
            QCOMPARE(value(data, "WINDOW HEIGHT"), QStringLiteral("300"));
        }
    }

    void geometryBeyondTheScreenIsHeldToIt() {
        DataFolder data;
        data.write(QStringLiteral("memo/a.txt"), "alpha\n");
        data.write(QStringLiteral("Ostrel.ini"), settingsWithGeometry(-500, 40, 450, 2147483647));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect outer = startAndClose();
        QVERIFY(screen.contains(outer));
        QCOMPARE(value(data, "WINDOW HEIGHT").toInt(), outer.height());
        // The next start keeps what was written.
        QCOMPARE(startAndClose(), outer);
    }

private:
    QProcess m_wm;
};

OSTREL_TEST_MAIN(GeometryX11)
#include "tst_geometry_x11.moc"
