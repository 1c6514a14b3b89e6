// The appearance commands, chosen in the real menus: the tool bar, status bar
// and line display shown and hidden, word wrap, the font and background
// colour through the real dialogs, close-after-create; what a restart keeps.
#include "TestMain.h"
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "dialogs/FontDialog.h"
#include "mainwindow/MainFrm.h"
#include "ui/Colors.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <functional>
#include <memory>

using namespace testing;

namespace {

const QString kMsPGothic = QStringLiteral("ＭＳ Ｐゴシック");

// A data folder with the default settings and one group of two records, and
// the program started in it.
struct Opened {
    DataFolder data;
    std::unique_ptr<Started> started;
    TMainFrm* f = nullptr;

    explicit Opened(const QByteArray& first = "alpha\nsecond line\n") {
        if (!data.exists(QStringLiteral("Ostrel.ini")))
            data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(QStringLiteral("memo/a.txt"), first);
        data.write(QStringLiteral("memo/b.txt"), "beta\n");
        start();
    }
    // Starts the program (again, after a close).
    void start() {
        started.reset();
        started = std::make_unique<Started>();
        f = started->main;
        QVERIFY(QTest::qWaitForWindowActive(f));
    }
    QString ini(const QString& key) const {
        for (const QByteArray& line : data.read(QStringLiteral("Ostrel.ini")).split('\n'))
            if (line.startsWith(key.toUtf8() + '='))
                return QString::fromUtf8(line.mid(key.toUtf8().size() + 1));
        return QStringLiteral("<missing>");
    }
};

void click(QWidget* w, QPoint pos = {}) {
    if (pos.isNull())
        pos = w->rect().center();
    QTest::mouseClick(w, Qt::LeftButton, {}, pos);
}

QMenu* openMenu() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// Chooses a menu item with the mouse: the menu bar title, the submenu
// "インターフェース(I))" when the item is in it, then the item.
void choose(TMainFrm* f, QAction* item) {
    QTest::mouseClick(f->MainMenu1, Qt::LeftButton, {},
                      f->MainMenu1->actionGeometry(f->MnuConfig->menuAction()).center());
    QTRY_COMPARE(openMenu(), f->MnuConfig);
    QMenu* menu = f->MnuConfig;
    if (f->InterFaceMnu->actions().contains(item)) {
        click(menu, menu->actionGeometry(f->InterFaceMnu->menuAction()).center());
        QTRY_COMPARE(openMenu(), f->InterFaceMnu);
        menu = f->InterFaceMnu;
    }
    click(menu, menu->actionGeometry(item).center());
}

// Runs `act` on the next modal dialog of type T that comes up; `act` closes it.
template <typename T> void onNextModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

// Picks an item of a drop-down list in its open list, as with the mouse.
void pick(QComboBox* box, int index) {
    box->showPopup();
    QAbstractItemView* view = box->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex item = view->model()->index(index, box->modelColumn(), view->rootIndex());
    view->scrollTo(item);
    click(view->viewport(), view->visualRect(item).center());
    QTRY_VERIFY(!view->isVisible());
}

void pick(QListWidget* list, const QString& text) {
    QListWidgetItem* item = list->findItems(text, Qt::MatchExactly).value(0);
    QVERIFY2(item, qPrintable(text));
    list->scrollToItem(item);
    click(list->viewport(), list->visualItemRect(item).center());
}

// A colour dialog's HTML field ("#rrggbb").
QLineEdit* htmlField(QColorDialog* dialog) {
    for (QLineEdit* e : dialog->findChildren<QLineEdit*>())
        if (!qobject_cast<QAbstractSpinBox*>(e->parentWidget()) && e->text().startsWith(u'#'))
            return e;
    return nullptr;
}

// Types a colour into the colour dialog, adds it to the custom colours when
// asked, and presses OK or Cancel.
void answerColor(QColorDialog* dialog, const QColor& color, bool addCustom, bool ok) {
    QLineEdit* html = htmlField(dialog);
    html->selectAll();
    QTest::keyClicks(html, color.name());
    if (addCustom) {
        const QString add = QColorDialog::tr("&Add to Custom Colors");
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text() == add)
                click(b);
    }
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    click(buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel));
}

// What the font dialog shows when it opens.
struct FontFields {
    QString face;
    QString style;
    QString size;
    bool strikeOut = false;
    bool underline = false;
    QString color;
};

FontFields fieldsOf(TFontDialog* d) {
    return {QFontInfo(d->FaceCmb->currentFont()).family(),
            d->StyleLst->currentItem() ? d->StyleLst->currentItem()->text() : QString(),
            d->SizeEdt->text(),
            d->StrikeOutChk->isChecked(),
            d->UnderlineChk->isChecked(),
            d->ColorBtn->text()};
}

// Opens the font dialog through its menu item, notes what it shows, and
// closes it with Cancel.
FontFields peekFontDialog(TMainFrm* f) {
    FontFields seen;
    onNextModal<TFontDialog>([&seen](TFontDialog* d) {
        seen = fieldsOf(d);
        click(d->CancelBtn);
    });
    choose(f, f->FontChangeMnu);
    return seen;
}

// A face the font dialog offers that draws differently from `than`.
int otherFace(const QFontComboBox* box, const QFont& than) {
    const QString now = QFontInfo(than).family();
    for (int i = 0; i < box->count(); ++i)
        if (QFontInfo(QFont(box->itemText(i))).family() != now)
            return i;
    return -1;
}

QColor textColor(const QWidget* w, QPalette::ColorRole role = QPalette::Text) {
    return w->palette().color(role);
}

QColor background(const QWidget* w) {
    return w->palette().color(QPalette::Base);
}

} // namespace

class Appearance : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }

    // Each item hides its panel, sets its mark and gives the room to the
    // neighbours; chosen again, all is as before.
    void panelsHideAndShow_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("panel");
        QTest::newRow("tool bar") << "HideToolBarMnu"
                                  << "SpeedPanel";
        QTest::newRow("status bar") << "HideStatusBarMnu"
                                    << "DownPanel";
        QTest::newRow("line display") << "HideLineNumberMnu"
                                      << "LinePanel";
    }
    void panelsHideAndShow() {
        QFETCH(QString, item);
        QFETCH(QString, panel);
        Opened s;
        TMainFrm* f = s.f;
        auto* a = f->findChild<QAction*>(item);
        auto* p = f->findChild<QWidget*>(panel);
        QWidget* client = f->centralWidget();
        const QRect edit = f->MainEdit->geometry();
        const QRect right = f->RightPanel->geometry();
        const QRect list = f->RecordLst->geometry();

        choose(f, a);
        QVERIFY(p->isHidden());
        QVERIFY(a->isChecked());
        if (panel == "SpeedPanel") {
            // The editor and the right panel reach up to the menu bar.
            QTRY_COMPARE(f->MainEdit->geometry(), edit.adjusted(0, -29, 0, 0));
            QCOMPARE(f->RightPanel->geometry(), right.adjusted(0, -29, 0, 0));
            QCOMPARE(f->MainEdit->y(), 0);
        } else if (panel == "DownPanel") {
            // ... down to the window's bottom edge.
            QTRY_COMPARE(f->MainEdit->geometry(), edit.adjusted(0, 0, 0, 32));
            QCOMPARE(f->RightPanel->geometry(), right.adjusted(0, 0, 0, 32));
            QCOMPARE(f->MainEdit->geometry().bottom(), client->height() - 1);
        } else {
            // The record list reaches down to the strip at the panel's bottom.
            QTRY_COMPARE(f->RecordLst->geometry(), list.adjusted(0, 0, 0, 37));
            QCOMPARE(f->MainEdit->geometry(), edit);
            const int listBottom =
                f->RecordLst->mapTo(f->RightPanel, QPoint(0, 0)).y() + f->RecordLst->height();
            QCOMPARE(listBottom, f->Panel1->y());
        }

        choose(f, a);
        QVERIFY(!p->isHidden());
        QVERIFY(!a->isChecked());
        QTRY_COMPARE(f->MainEdit->geometry(), edit);
        QCOMPARE(f->RightPanel->geometry(), right);
        QCOMPARE(f->RecordLst->geometry(), list);
    }

    void hintsStillShowAfterTheStatusBarComesBack() {
        Opened s;
        TMainFrm* f = s.f;
        choose(f, f->HideStatusBarMnu);
        choose(f, f->HideStatusBarMnu);
        QTest::mouseMove(f->RecordLst->viewport());
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("レコードをクリックすると内容を表示します"));
    }

    void wordWrapKeepsTheEditAndFollowsTheRows() {
        // A first line long enough to wrap into several rows, then "end".
        Opened s(QString("word ").repeated(200).toUtf8() + "\nend of it\n");
        TMainFrm* f = s.f;
        QVERIFY(f->MainEdit->wordWrap());
        click(f->MainEdit->viewport());
        f->MainEdit->setCaret(f->MainEdit->document()->length());
        commitText(f->MainEdit, QStringLiteral("x"));
        f->MainEdit->select(1000 + 1, 1000 + 4); // "end" selected
        f->ShowCurrentLine();
        const int wrappedLine = f->CurrentLineLbl->text().toInt();
        QVERIFY2(wrappedLine > 3, qPrintable(f->CurrentLineLbl->text()));
        const QString text = f->MainEdit->document()->toString();
        QVERIFY(f->MainEdit->document()->isModified());
        QVERIFY(f->SaveDataBtn->isEnabled());

        choose(f, f->RightReturnMnu);
        QVERIFY(!f->MainEdit->wordWrap());
        QVERIFY(!f->RightReturnMnu->isChecked());
        // The line display follows at once: "end" is on the second line.
        QCOMPARE(f->CurrentLineLbl->text(), QStringLiteral("2"));
        QCOMPARE(f->MainEdit->document()->toString(), text);
        QCOMPARE(f->MainEdit->selectedText(), QStringLiteral("end"));
        QCOMPARE(f->MainEdit->caret(), 1004);
        QVERIFY(f->MainEdit->document()->isModified());
        QVERIFY(f->SaveDataBtn->isEnabled());
        QVERIFY(f->MainEdit->horizontalScrollBar()->maximum() > 0);

        choose(f, f->RightReturnMnu);
        QVERIFY(f->MainEdit->wordWrap());
        QVERIFY(f->RightReturnMnu->isChecked());
        QCOMPARE(f->CurrentLineLbl->text().toInt(), wrappedLine);
        QCOMPARE(f->MainEdit->selectedText(), QStringLiteral("end"));
        QVERIFY(f->MainEdit->document()->isModified());
        QCOMPARE(f->MainEdit->horizontalScrollBar()->maximum(), 0);

        // A larger font wraps the first line into more rows; the line display
        // follows.
        onNextModal<TFontDialog>([](TFontDialog* d) {
            pick(d->SizeLst, QStringLiteral("20"));
            click(d->OkBtn);
        });
        choose(f, f->FontChangeMnu);
        QTRY_VERIFY(!f->FontDialog->isVisible());
        QVERIFY2(f->CurrentLineLbl->text().toInt() > wrappedLine,
                 qPrintable(f->CurrentLineLbl->text()));
    }

    void closeAfterCreateFlipsItsMarkOnly() {
        Opened s;
        TMainFrm* f = s.f;
        choose(f, f->Create_Close_Record);
        QVERIFY(!f->Create_Close_Record->isChecked());
        QVERIFY(!f->closesAfterCreatingRecord());
        choose(f, f->Create_Close_Record);
        QVERIFY(f->Create_Close_Record->isChecked());
    }

    void fontDialogCancelledChangesNothing() {
        Opened s;
        TMainFrm* f = s.f;
        const QFont editFont = f->MainEdit->font();
        const QFont listFont = f->RecordLst->font();
        const QColor editText = textColor(f->MainEdit);

        // It opens on its own first font, whatever the editor has.
        const FontFields first = peekFontDialog(f);
        QCOMPARE(first.face, QFontInfo(QFont(kMsPGothic)).family());
        QCOMPARE(first.style, QStringLiteral("標準"));
        QCOMPARE(first.size, QStringLiteral("9"));
        QVERIFY(!first.strikeOut && !first.underline);
        QCOMPARE(first.color, ostrel::resolveColor(ostrel::kColorWindowText).name());

        // Every field changed, then Cancel.
        onNextModal<TFontDialog>([](TFontDialog* d) {
            pick(d->FaceCmb, otherFace(d->FaceCmb, d->FaceCmb->currentFont()));
            pick(d->StyleLst, QStringLiteral("太字"));
            pick(d->SizeLst, QStringLiteral("20"));
            click(d->UnderlineChk);
            onNextModal<QColorDialog>(
                [](QColorDialog* c) { answerColor(c, Qt::red, false, true); });
            click(d->ColorBtn);
            QTest::keyClick(d, Qt::Key_Escape);
        });
        choose(f, f->FontChangeMnu);
        QTRY_VERIFY(!f->FontDialog->isVisible());
        QCOMPARE(f->MainEdit->font(), editFont);
        QCOMPARE(f->RecordLst->font(), listFont);
        QCOMPARE(textColor(f->MainEdit), editText);
        const FontFields again = peekFontDialog(f);
        QCOMPARE(again.face, first.face);
        QCOMPARE(again.size, first.size);
        QCOMPARE(again.style, first.style);
        QCOMPARE(again.color, first.color);
        QVERIFY(!again.underline);
    }

    void fontChosenGoesToTheEditorAndAt9PointsToTheLists() {
        Opened s;
        TMainFrm* f = s.f;
        const QColor statusBack = f->StatusBar->palette().color(QPalette::Window);
        QString face;
        onNextModal<TFontDialog>([&face](TFontDialog* d) {
            const int other = otherFace(d->FaceCmb, d->FaceCmb->currentFont());
            face = d->FaceCmb->itemText(other);
            pick(d->FaceCmb, other);
            pick(d->StyleLst, QStringLiteral("太字"));
            pick(d->SizeLst, QStringLiteral("20"));
            click(d->StrikeOutChk);
            onNextModal<QColorDialog>(
                [](QColorDialog* c) { answerColor(c, Qt::red, false, true); });
            click(d->ColorBtn);
            click(d->OkBtn);
        });
        choose(f, f->FontChangeMnu);
        QTRY_VERIFY(!f->FontDialog->isVisible());
        QVERIFY(!face.isEmpty());

        const QFont edit = f->MainEdit->font();
        QCOMPARE(QFontInfo(edit).family(), QFontInfo(QFont(face)).family());
        QCOMPARE(edit.pointSize(), 20);
        QCOMPARE(edit.weight(), QFont::Bold);
        QVERIFY(edit.strikeOut() && !edit.underline() && !edit.italic());
        QCOMPARE(textColor(f->MainEdit), QColor(Qt::red));
        QCOMPARE(f->MainEditFontColor, 255);
        QVERIFY(!f->MainEdit->document()->isModified());

        const QList<std::pair<QWidget*, QPalette::ColorRole>> smaller = {
            {f->StatusBar, QPalette::WindowText},
            {f->GroupCmb, QPalette::Text},
            {f->RecordLst, QPalette::Text}};
        for (const auto& [w, role] : smaller) {
            QCOMPARE(QFontInfo(w->font()).family(), QFontInfo(edit).family());
            QCOMPARE(w->font().pointSize(), 9);
            QCOMPARE(w->font().weight(), QFont::Bold);
            QVERIFY(w->font().strikeOut());
            QCOMPARE(textColor(w, role), QColor(Qt::red));
        }
        QCOMPARE(f->StatusBar->palette().color(QPalette::Window), statusBack);

        // The next opening shows the choice at 9 points.
        const FontFields next = peekFontDialog(f);
        QCOMPARE(next.face, QFontInfo(edit).family());
        QCOMPARE(next.style, QStringLiteral("太字"));
        QCOMPARE(next.size, QStringLiteral("9"));
        QVERIFY(next.strikeOut);
        QCOMPARE(next.color, QColor(Qt::red).name());
        QCOMPARE(f->MainEdit->font().pointSize(), 20);
    }

    void fontSizeField() {
        // A typed size that is not listed counts; a field that holds no size
        // offers no OK.
        Opened s;
        TMainFrm* f = s.f;
        bool okWhileEmpty = true;
        onNextModal<TFontDialog>([&okWhileEmpty](TFontDialog* d) {
            d->SizeEdt->selectAll();
            QTest::keyClick(d->SizeEdt, Qt::Key_Delete);
            okWhileEmpty = d->OkBtn->isEnabled();
            QTest::keyClicks(d->SizeEdt, QStringLiteral("13"));
            QVERIFY(!d->SizeLst->currentItem());
            QTest::keyClick(d->SizeEdt, Qt::Key_Return);
        });
        choose(f, f->FontChangeMnu);
        QTRY_VERIFY(!f->FontDialog->isVisible());
        QVERIFY(!okWhileEmpty);
        QCOMPARE(f->MainEdit->font().pointSize(), 13);
        QCOMPARE(f->RecordLst->font().pointSize(), 9);
    }

    void backgroundColour() {
        Opened s;
        TMainFrm* f = s.f;
        const QColor statusBack = f->StatusBar->palette().color(QPalette::Window);
        const QColor customBefore = QColorDialog::customColor(0);

        // The first opening selects black; yellow is chosen and kept as a
        // custom colour.
        QColor opened;
        onNextModal<QColorDialog>([&opened](QColorDialog* c) {
            opened = c->currentColor();
            answerColor(c, Qt::yellow, true, true);
        });
        choose(f, f->BackColorChangeMnu);
        QTRY_VERIFY(!f->ColorDialog->isVisible());
        QCOMPARE(opened, QColor(Qt::black));
        for (QWidget* w : {static_cast<QWidget*>(f->MainEdit), static_cast<QWidget*>(f->GroupCmb),
                           static_cast<QWidget*>(f->RecordLst)})
            QCOMPARE(background(w), QColor(Qt::yellow));
        QCOMPARE(f->MainEditBackColor, 0x00FFFF);
        QCOMPARE(f->StatusBar->palette().color(QPalette::Window), statusBack);
        QCOMPARE(QColorDialog::customColor(0), QColor(Qt::yellow));
        QVERIFY(customBefore != QColor(Qt::yellow));

        // Cancelled: blue was typed and added, and nothing of it stays.
        onNextModal<QColorDialog>([&opened](QColorDialog* c) {
            opened = c->currentColor();
            answerColor(c, Qt::blue, true, false);
        });
        choose(f, f->BackColorChangeMnu);
        QTRY_VERIFY(!f->ColorDialog->isVisible());
        QCOMPARE(opened, QColor(Qt::yellow));
        QCOMPARE(background(f->MainEdit), QColor(Qt::yellow));
        QCOMPARE(QColorDialog::customColor(0), QColor(Qt::yellow));
        QCOMPARE(QColorDialog::customColor(1), customBefore);
        onNextModal<QColorDialog>([&opened](QColorDialog* c) {
            opened = c->currentColor();
            click(c->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel));
        });
        choose(f, f->BackColorChangeMnu);
        QTRY_VERIFY(!f->ColorDialog->isVisible());
        QCOMPARE(opened, QColor(Qt::yellow));
        // The custom colours are not kept in the user's settings after the run.
        QVERIFY(!QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
                     .fileName()
                     .startsWith(
                         QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)));
    }

    void restartKeepsWhatTheSettingsHold() {
        Opened s;
        TMainFrm* f = s.f;
        const QFont windowFont = f->font();
        const QColor defaultText = textColor(f->RecordLst);
        for (QAction* a : {f->HideToolBarMnu, f->HideStatusBarMnu, f->HideLineNumberMnu,
                           f->RightReturnMnu, f->Create_Close_Record})
            choose(f, a);
        onNextModal<TFontDialog>([](TFontDialog* d) {
            pick(d->FaceCmb, otherFace(d->FaceCmb, d->FaceCmb->currentFont()));
            pick(d->StyleLst, QStringLiteral("斜体"));
            pick(d->SizeLst, QStringLiteral("20"));
            onNextModal<QColorDialog>(
                [](QColorDialog* c) { answerColor(c, Qt::red, false, true); });
            click(d->ColorBtn);
            click(d->OkBtn);
        });
        choose(f, f->FontChangeMnu);
        QTRY_VERIFY(!f->FontDialog->isVisible());
        onNextModal<QColorDialog>([](QColorDialog* c) { answerColor(c, Qt::yellow, false, true); });
        choose(f, f->BackColorChangeMnu);
        QTRY_VERIFY(!f->ColorDialog->isVisible());
        QVERIFY(QFontInfo(f->MainEdit->font()).family() != QFontInfo(windowFont).family());
        QVERIFY(f->close());

        QCOMPARE(s.ini("FONT SIZE"), QStringLiteral("20"));
        QCOMPARE(s.ini("FONT COLOR"), QStringLiteral("255"));
        QCOMPARE(s.ini("BUCK COLOR"), QStringLiteral("65535"));
        QCOMPARE(s.ini("EDIT WORDWRAP"), QStringLiteral("0"));
        QCOMPARE(s.ini("TOOLBAR VISIBLE"), QStringLiteral("0"));
        QCOMPARE(s.ini("STATUSBAR VISIBLE"), QStringLiteral("0"));
        QCOMPARE(s.ini("RC FORM CLOSE"), QStringLiteral("0"));

        s.start();
        f = s.f;
        // The editor: the saved size and text colour in the window's face.
        const QFont edit = f->MainEdit->font();
        QCOMPARE(QFontInfo(edit).family(), QFontInfo(windowFont).family());
        QCOMPARE(edit.pointSize(), 20);
        QVERIFY(!edit.italic());
        QCOMPARE(textColor(f->MainEdit), QColor(Qt::red));
        // The lists: the window's face and text colour at the saved size, on
        // the saved background.
        for (QWidget* w :
             {static_cast<QWidget*>(f->GroupCmb), static_cast<QWidget*>(f->RecordLst)}) {
            QCOMPARE(QFontInfo(w->font()).family(), QFontInfo(windowFont).family());
            QCOMPARE(w->font().pointSize(), 20);
            QVERIFY(!w->font().italic());
            QCOMPARE(textColor(w), defaultText);
            QCOMPARE(background(w), QColor(Qt::yellow));
        }
        QCOMPARE(background(f->MainEdit), QColor(Qt::yellow));
        // The status bar: the window's font.
        QCOMPARE(f->StatusBar->font(), windowFont);
        // The switches the file holds, with their marks; the line display
        // shown again.
        QVERIFY(f->SpeedPanel->isHidden() && f->HideToolBarMnu->isChecked());
        QVERIFY(f->DownPanel->isHidden() && f->HideStatusBarMnu->isChecked());
        QVERIFY(!f->LinePanel->isHidden() && !f->HideLineNumberMnu->isChecked());
        QVERIFY(!f->MainEdit->wordWrap());
        QVERIFY(!f->RightReturnMnu->isChecked());
        QVERIFY(!f->Create_Close_Record->isChecked());
        // The dialogs open on their first values again.
        QCOMPARE(peekFontDialog(f).face, QFontInfo(QFont(kMsPGothic)).family());
        QCOMPARE(f->ColorDialog->currentColor(), QColor(Qt::black));
    }
};

OSTREL_TEST_MAIN(Appearance)
#include "tst_appearance.moc"
