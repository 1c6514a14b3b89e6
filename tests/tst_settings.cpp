// The settings file: created on the first run, applied at start-up, written at
// every close request, reset to the defaults.
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"
#include "settings/Settings.h"
#include "settings/WindowGeometry.h"
#include "ui/Colors.h"

#include <QScreen>
#include <QTest>

using namespace testing;

namespace {

const QByteArray kHeader = "[OSTREL2 for Windows98 ApplicationSettingData]\n";
// A section that lists *.txt files, followed by the lines given.
QByteArray listingTxt(const QByteArray& lines) {
    return kHeader + "SUPPORT EXPC=*.txt/\n" + lines;
}

// Starts the program's main window in the data folder.
// (Saving at close is on for these tests, which look at what it writes.)
struct StartedSaving : testing::Started {
    StartedSaving() { main->SaveSettingsOnClose = true; }
    ~StartedSaving() { main->SaveSettingsOnClose = false; }
};

QString value(const DataFolder& data, const QString& key) {
    for (const QByteArray& line : data.read("Ostrel.ini").split('\n'))
        if (line.startsWith(key.toUtf8() + '='))
            return QString::fromUtf8(line.mid(key.toUtf8().size() + 1)).remove(u'\r');
    return QStringLiteral("<missing>");
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void firstRunCreatesTheDefaults() {
        DataFolder data;
        data.write("g/a.txt", "text");
        BoxAnswerer boxes;
        boxes.answer("OK");
        StartedSaving main;
        QCOMPARE(boxes.texts(), QStringList{QString::fromUtf8("環境ファイルを作成します")});
        QCOMPARE(boxes.seen().first().title, QString("OSTREL"));
        QCOMPARE(data.read("Ostrel.ini"), defaultSettingsFile());
        QCOMPARE(main->outerGeometry(), QRect(200, 200, 450, 350));
        QVERIFY(main->RightReturnMnu->isChecked());
        QVERIFY(main->Create_Close_Record->isChecked());
        QCOMPARE(main->MainEditBackColor, ostrel::kColorWindow);
    }

    void missingKeysKeepTheLayoutValuesAndCloseWritesAll() {
        DataFolder data;
        data.write("g/a.txt", "text");
        data.write("Ostrel.ini", listingTxt("WINDOW WIDTH=500\n[Other]\nKEEP=1\n"));
        StartedSaving main;
        QCOMPARE(main->outerGeometry().width(), 500);
        QCOMPARE(main->MainEdit->font().pointSize(), 9);
        QVERIFY(main->close());
        QCOMPARE(data.read("Ostrel.ini").count('\n'), 17); // 14 keys, header, other section
        QCOMPARE(value(data, "LAST DIRECTORY"), QString("g"));
        QCOMPARE(value(data, "LAST DOCUMENT"), QString("a.txt"));
        QCOMPARE(value(data, "WINDOW WIDTH"), QString("500"));
        QVERIFY(data.read("Ostrel.ini").endsWith("[Other]\nKEEP=1\n"));
    }

    void appliesValues_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("check");
        QTest::newRow("colour decimal") << QByteArray("BUCK COLOR=-2147483643\n") << "back=system5";
        QTest::newRow("colour dollar") << QByteArray("BUCK COLOR=$80000005\n") << "back=system5";
        QTest::newRow("colour 0x") << QByteArray("BUCK COLOR=0x80000005\n") << "back=system5";
        QTest::newRow("colour red") << QByteArray("BUCK COLOR=255\n") << "back=red";
        QTest::newRow("colour word") << QByteArray("BUCK COLOR=abc\n") << "back=system5";
        QTest::newRow("wrap 2") << QByteArray("EDIT WORDWRAP=2\n") << "wrap=on";
        QTest::newRow("wrap yes") << QByteArray("EDIT WORDWRAP=yes\n") << "wrap=on";
        QTest::newRow("wrap 0") << QByteArray("EDIT WORDWRAP=0\n") << "wrap=off";
        QTest::newRow("toolbar 0") << QByteArray("TOOLBAR VISIBLE=0\n") << "toolbar=hidden";
        QTest::newRow("statusbar 0") << QByteArray("STATUSBAR VISIBLE=0\n") << "statusbar=hidden";
        QTest::newRow("font 12") << QByteArray("FONT SIZE=12\n") << "font=12";
        QTest::newRow("rc close 0") << QByteArray("RC FORM CLOSE=0\n") << "rcclose=off";
        QTest::newRow("patterns empty") << QByteArray("SUPPORT EXPC=\n") << "patterns=empty";
    }
    void appliesValues() {
        QFETCH(QByteArray, lines);
        QFETCH(QString, check);
        DataFolder data;
        data.write("g/a.txt", "text");
        data.write("Ostrel.ini", check == "patterns=empty" ? kHeader + lines : listingTxt(lines));
        StartedSaving main;
        if (check == "back=system5") {
            QCOMPARE(main->MainEditBackColor, ostrel::kColorWindow);
            QCOMPARE(main->RecordLstBackColor, ostrel::kColorWindow);
        } else if (check == "back=red") {
            QCOMPARE(main->MainEditBackColor, 255);
            QCOMPARE(main->GroupCmbBackColor, 255);
            QCOMPARE(main->MainEdit->palette().color(QPalette::Base), QColor(Qt::red));
        } else if (check == "wrap=on") {
            QVERIFY(main->MainEdit->wordWrap());
            QVERIFY(main->RightReturnMnu->isChecked());
        } else if (check == "wrap=off") {
            QVERIFY(!main->MainEdit->wordWrap());
            QVERIFY(!main->RightReturnMnu->isChecked());
        } else if (check == "toolbar=hidden") {
            QVERIFY(main->SpeedPanel->isHidden());
            QVERIFY(main->HideToolBarMnu->isChecked());
            QVERIFY(!main->HideStatusBarMnu->isChecked());
        } else if (check == "statusbar=hidden") {
            QVERIFY(main->DownPanel->isHidden());
            QVERIFY(main->HideStatusBarMnu->isChecked());
        } else if (check == "font=12") {
            QCOMPARE(main->MainEdit->font().pointSize(), 12);
            QCOMPARE(main->RecordLst->font().pointSize(), 12);
            QCOMPARE(main->GroupCmb->font().pointSize(), 12);
            QVERIFY(main->StatusBar->font().pointSize() != 12);
        } else if (check == "rcclose=off") {
            QVERIFY(!main->Create_Close_Record->isChecked());
        } else if (check == "patterns=empty") {
            QCOMPARE(main->SupportPatterns, QString());
            QCOMPARE(main->RecordLst->count(), 0);
            QVERIFY(main->close());
            QCOMPARE(value(data, "SUPPORT EXPC"),
                     QString("*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg"));
        } else {
            QFAIL("unknown check");
        }
    }

    void noSelectedRecordWritesAnEmptyLastDocument() {
        DataFolder data;
        data.write("a/one.txt", "1");
        data.write("b/two.txt", "2");
        data.write("Ostrel.ini", defaultSettingsFile());
        StartedSaving main;
        main->GroupCmb->setCurrentIndex(1); // the user picks group b
        QCOMPARE(main->RecordLst->count(), 1);
        QVERIFY(main->close());
        QCOMPARE(value(data, "LAST DIRECTORY"), QString("b"));
        QCOMPARE(value(data, "LAST DOCUMENT"), QString());
    }

    void resetCancelledWritesNothing() {
        DataFolder data;
        data.write("g/a.txt", "text");
        data.write("Ostrel.ini", listingTxt("WINDOW WIDTH=500\n"));
        StartedSaving main;
        BoxAnswerer boxes;
        boxes.answer(QString::fromUtf8("キャンセル"));
        main->SetDefaultMnu->trigger();
        QCOMPARE(boxes.seen().first().title, QString::fromUtf8("情報"));
        QCOMPARE(boxes.seen().first().text,
                 QString::fromUtf8("現在の設定は消失します よろしいですか？"));
        QCOMPARE(boxes.seen().first().buttons,
                 QStringList({"OK", QString::fromUtf8("キャンセル")}));
        QCOMPARE(data.read("Ostrel.ini"), listingTxt("WINDOW WIDTH=500\n"));
        QVERIFY(main->SaveSettingsOnClose);
        QVERIFY(main->close());
        QCOMPARE(value(data, "RC FORM CLOSE"), QString("1")); // the close still saved
    }

    void resetConfirmedWritesDefaultsAndStopsSaving() {
        DataFolder data;
        data.write("g/a.txt", "text");
        data.write("Ostrel.ini", listingTxt("BUCK COLOR=255\nTOOLBAR VISIBLE=0\n"));
        StartedSaving main;
        BoxAnswerer boxes;
        boxes.answer({"OK", "OK"});
        main->SetDefaultMnu->trigger();
        QCOMPARE(
            boxes.texts().value(1),
            QString::fromUtf8("設定を有効にするにはアプリケーションを再起動する必要があります"));
        // Every key holds its default, where it stood or appended in order.
        QByteArray expected = defaultSettingsFile();
        expected.replace("BUCK COLOR=-2147483643\n", "")
            .replace("TOOLBAR VISIBLE=1\n", "")
            .replace("SUPPORT EXPC=*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg\n", "");
        expected.insert(kHeader.size(),
                        "SUPPORT EXPC=*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg\nBUCK "
                        "COLOR=-2147483643\nTOOLBAR VISIBLE=1\n");
        QCOMPARE(data.read("Ostrel.ini"), expected);
        // The running window keeps its look; closing writes nothing.
        QCOMPARE(main->MainEditBackColor, 255);
        QVERIFY(main->SpeedPanel->isHidden());
        main->move(10, 10);
        QVERIFY(main->close());
        QCOMPARE(data.read("Ostrel.ini"), expected);
    }

    void unwritableFileAsksBeforeQuittingWithoutIt() {
        // The write error keeps the window open; the question after it lets
        // the user out without the settings (No, the default, stays).
        DataFolder data;
        data.write("g/a.txt", "text");
        data.write("Ostrel.ini", defaultSettingsFile());
        QFile::setPermissions(data.absolute("Ostrel.ini"), QFile::ReadOwner);
        StartedSaving main;
        BoxAnswerer boxes;
        boxes.answer({"OK", ""}); // closing the question answers as No does
        QVERIFY(!main->close());
        QVERIFY(main->isVisible());
        const QString question =
            QString::fromUtf8("設定を保存できませんでした。設定を保存せずに終了しますか？");
        QCOMPARE(boxes.texts(),
                 (QStringList{QString::fromUtf8("./Ostrel.ini に書き込めません."), question}));
        QCOMPARE(boxes.seen().last().title, QString::fromUtf8("警告"));
        boxes.answer({"OK", QString::fromUtf8("はい(&Y)")});
        QVERIFY(main->close());
        QCOMPARE(data.read("Ostrel.ini"), defaultSettingsFile());
    }

    void settingsThatCannotBeWrittenStillStart() {
        // The settings file's place is taken by a link to nowhere: the first
        // start shows the error and goes on with the defaults and the groups.
        DataFolder data;
        data.write("g/a.txt", "text");
        QVERIFY(QFile::link("missing/Ostrel.ini", data.absolute("Ostrel.ini")));
        BoxAnswerer boxes;
        boxes.answer({"OK", "OK"});
        StartedSaving main;
        QCOMPARE(boxes.texts(), (QStringList{QString::fromUtf8("環境ファイルを作成します"),
                                             QString::fromUtf8("./Ostrel.ini に書き込めません.")}));
        QCOMPARE(main->GroupCmb->currentText(), QString("g"));
        QCOMPARE(main->MainEdit->document()->toString(), QString("text"));
        QVERIFY(main->MainEdit->isEnabled());
    }

    void geometryIsHeldToTheScreen_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::newRow("height beyond any screen") << QByteArray("WINDOW HEIGHT=2147483647\n");
        QTest::newRow("negative width") << QByteArray("WINDOW WIDTH=-5\n");
        QTest::newRow("far above") << QByteArray("WINDOW TOP=-99999\n");
        QTest::newRow("far right") << QByteArray("WINDOW LEFT=2147483647\n");
        QTest::newRow("smallest numbers")
            << QByteArray("WINDOW TOP=-2147483648\nWINDOW LEFT=-2147483648\n"
                          "WINDOW WIDTH=-2147483648\nWINDOW HEIGHT=-2147483648\n");
        QTest::newRow("nothing") << QByteArray("WINDOW WIDTH=0\nWINDOW HEIGHT=0\n");
    }

    void geometryIsHeldToTheScreen() {
        // Whatever the file says, the window lies on the screen, and closing
        // writes back the geometry the window really has.
        QFETCH(QByteArray, lines);
        DataFolder data;
        data.write("g/a.txt", "text");
        data.write("Ostrel.ini", listingTxt(lines));
        StartedSaving main;
        const QRect screen = main->screen()->availableGeometry();
        const QRect outer = main->outerGeometry();
        QVERIFY2(screen.contains(outer), qPrintable(QString("%1,%2 %3x%4")
                                                        .arg(outer.left())
                                                        .arg(outer.top())
                                                        .arg(outer.width())
                                                        .arg(outer.height())));
        QVERIFY(outer.width() > 0 && outer.height() > 0);
        QVERIFY(main->close());
        QCOMPARE(value(data, "WINDOW LEFT").toInt(), outer.left());
        QCOMPARE(value(data, "WINDOW TOP").toInt(), outer.top());
        QCOMPARE(value(data, "WINDOW WIDTH").toInt(), outer.width());
        QCOMPARE(value(data, "WINDOW HEIGHT").toInt(), outer.height());
    }

    void heldGeometry_data() {
        QTest::addColumn<QList<qint64>>("stored"); // left, top, width, height
        QTest::addColumn<QRect>("held");
        const qint64 big = qint64(1) << 40;
        QTest::newRow("fits") << QList<qint64>{200, 200, 450, 350} << QRect(200, 200, 450, 350);
        QTest::newRow("too large") << QList<qint64>{0, 0, big, big} << QRect(0, 30, 1024, 738);
        QTest::newRow("too small") << QList<qint64>{10, 40, -big, 0} << QRect(10, 40, 100, 80);
        QTest::newRow("off to the bottom right")
            << QList<qint64>{5000, 5000, 400, 300} << QRect(624, 468, 400, 300);
        QTest::newRow("off to the top left")
            << QList<qint64>{-big, -big, 400, 300} << QRect(0, 30, 400, 300);
    }

    void heldGeometry() {
        // A screen of 1024 x 738 available below a 30-pixel panel; the window
        // needs 100 x 80 at least.
        QFETCH(QList<qint64>, stored);
        QFETCH(QRect, held);
        QCOMPARE(ostrel::heldToScreen({stored[0], stored[1], stored[2], stored[3]},
                                      QRect(0, 30, 1024, 738), QSize(100, 80)),
                 held);
    }

    void damagedFilesStartWithFallbacks_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\x00\x00\xff", 11);
        QTest::newRow("nul in value") << kHeader + QByteArray("WINDOW WIDTH=4\x00"
                                                              "00\nFONT SIZE=11\n",
                                                              31);
        QTest::newRow("huge line")
            << kHeader + "SUPPORT EXPC=" + QByteArray(10 << 20, '*') + "\nFONT SIZE=11\n";
        QTest::newRow("duplicates") << kHeader + "FONT SIZE=11\nFONT SIZE=30\n";
        QTest::newRow("crlf no final break")
            << QByteArray(kHeader).replace("\n", "\r\n") + "FONT SIZE=11";
        QTest::newRow("font size 0") << kHeader + "FONT SIZE=0\n";
        QTest::newRow("font size huge") << kHeader + "FONT SIZE=2000000000\n";
    }
    void damagedFilesStartWithFallbacks() {
        QFETCH(QByteArray, content);
        DataFolder data;
        data.write("g/a.txt", "text");
        data.write("Ostrel.ini", content);
        StartedSaving main;
        QVERIFY(main->isVisible());
        const int size = main->MainEdit->font().pointSize();
        // 0 is drawn at the smallest size, a size beyond any use at the largest.
        QVERIFY(size == 9 || size == 11 || size == 1 || size == 1000);
        QVERIFY(main->close());
        QCOMPARE(value(data, "RC FORM CLOSE"), QString("1"));
        QVERIFY(data.read("Ostrel.ini").startsWith(content.left(8)));
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
