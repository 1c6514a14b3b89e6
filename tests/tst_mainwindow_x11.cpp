// What only a real X server shows of the main window's hint display: the
// pointer moved by the server, menu titles highlighted as the menus open,
// tooltips timed by the real pointer. Run under Xvfb.
#include "TestMain.h"
#include "TestSupport.h"

#include "mainwindow/MainFrm.h"

#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QToolTip>
#include <memory>

using namespace testing;

namespace {

struct Opened {
    DataFolder data;
    std::unique_ptr<testing::Started> started;
    TMainFrm* f = nullptr;

    Opened() {
        data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(QStringLiteral("memo/a.txt"), "alpha\n");
        started = std::make_unique<testing::Started>();
        f = started->main;
        f->activateWindow(); // no window manager gives it the activation
        if (!QTest::qWaitForWindowActive(f))
            qWarning("main window not active");
    }
};

void click(QWidget* w, QPoint pos) {
    QWidget* top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, w->mapTo(top, pos));
}

QMenu* openMenu() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// The distinct texts the status bar line went through.
QStringList lines(const QSignalSpy& spy) {
    QStringList out;
    for (const QList<QVariant>& args : spy)
        out.append(args.at(0).toString());
    return out;
}

} // namespace

class MainWindowX11 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == u"xcb",
                 qPrintable(QGuiApplication::platformName()));
    }

    void menuTitlesShowTheirHints() {
        Opened s;
        TMainFrm* f = s.f;
        QTest::mouseMove(f->MainEdit->viewport());
        QTRY_COMPARE(f->StatusBar->currentMessage(), QString());

        // Passing over a title does not highlight it.
        const QRect fileTitle = f->MainMenu1->actionGeometry(f->MnuFile->menuAction());
        QTest::mouseMove(f->MainMenu1, fileTitle.center());
        QTest::qWait(100);
        QCOMPARE(f->StatusBar->currentMessage(), QString());

        QSignalSpy changes(f->StatusBar, &QStatusBar::messageChanged);
        click(f->MainMenu1, fileTitle.center());
        QTRY_COMPARE(openMenu(), f->MnuFile);
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("アプリケーションの操作に関するメニューです"));

        QTest::mouseMove(f->MnuFile, f->MnuFile->actionGeometry(f->CreateGroupMnu).center());
        QTRY_COMPARE(f->StatusBar->currentMessage(), QStringLiteral("新規にグループを作成します"));
        QTest::mouseMove(f->MnuFile, f->MnuFile->actionGeometry(f->CreateRecordMnu).center());
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("新規にレコードを作成します(テキストファイル)"));

        // Moving along the menu bar while a menu is open highlights the next
        // title and opens its menu, without emptying the line in between.
        changes.clear();
        QTest::mouseMove(f->MainMenu1,
                         f->MainMenu1->actionGeometry(f->MnuConfig->menuAction()).center());
        QTRY_COMPARE(openMenu(), f->MnuConfig);
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("アプリケーションの設定に関するメニューです"));
        QTest::qWait(50);
        QCOMPARE(lines(changes),
                 QStringList{QStringLiteral("アプリケーションの設定に関するメニューです")});

        // The greyed menu "検索/移動(&F)" cannot be opened.
        QTest::mouseMove(f->MainMenu1,
                         f->MainMenu1->actionGeometry(f->MnuFind->menuAction()).center());
        QTest::qWait(100);
        QVERIFY(openMenu() != f->MnuFind);

        // A click outside closes the menus and empties the line.
        click(f->MainEdit->viewport(), QPoint(20, 20));
        QTRY_COMPARE(openMenu(), nullptr);
        QTRY_COMPARE(f->StatusBar->currentMessage(), QString());
    }

    void pointerHintsAndNoTooltips() {
        Opened s;
        TMainFrm* f = s.f;
        const QString deleteHint = QStringLiteral("現在選択されているレコードを削除します");
        f->DeleteRecBtn->setEnabled(false);
        f->DeleteRecBtn->setToolTip(QStringLiteral("tip")); // even a control given one
        f->GroupCmb->setToolTip(QStringLiteral("tip"));
        for (QWidget* w : {static_cast<QWidget*>(f->DeleteRecBtn),
                           static_cast<QWidget*>(f->ExitBtn), static_cast<QWidget*>(f->GroupCmb)}) {
            QTest::mouseMove(w, w->rect().center() + QPoint(1, 0));
            QTest::mouseMove(w);
            QTRY_COMPARE(f->StatusBar->currentMessage(), w->statusTip());
            QTest::qWait(1500); // past the tooltip delay
            QVERIFY2(!QToolTip::isVisible(), qPrintable(w->objectName()));
        }
        QTest::mouseMove(f->DeleteRecBtn);
        QTRY_COMPARE(f->StatusBar->currentMessage(), deleteHint);
        QTest::mouseMove(f->Label1);
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("現在のカーソル位置の行番号です"));
        QTest::mouseMove(f->MainEdit->viewport());
        QTRY_COMPARE(f->StatusBar->currentMessage(), QString());
    }
};

OSTREL_TEST_MAIN(MainWindowX11)
#include "tst_mainwindow_x11.moc"
