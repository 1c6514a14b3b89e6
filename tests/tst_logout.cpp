// A desktop logout while edits wait in the editor: the session manager asks
// the application to commit its data, and the window asks what any close
// asks. The user's answer decides: a cancelled question (or a save that did
// not happen) asks the session manager to cancel the logout and keeps the
// window; Yes saves and No drops the edits, and the window goes.
//
// The logout comes through Qt's own path (the application's session manager
// and its commit-data request); only the desktop's side of the session, which
// the offscreen platform has none of, is played by the test: it allows the
// application to ask the user (or not) and records a request to cancel.
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"

#include <QFile>
#include <QSessionManager>
#include <QTest>

#include <utility>

#include <QtCore/private/qobject_p.h>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/private/qsessionmanager_p.h>
#include <qpa/qplatformsessionmanager.h>

using namespace testing;

namespace {

const QString kYes = QStringLiteral("はい(&Y)");
const QString kNo = QStringLiteral("いいえ(&N)");
const QString kCancel = QStringLiteral("キャンセル");
const QString kSaveQuestion = QStringLiteral("文書が変更されています。保存しますか？");
const QString kChangedQuestion =
    QStringLiteral("ファイル ./g/a.txt は、読み込んだ後に他のプログラムによって変更されています。"
                   "上書きして保存しますか？（「いいえ」を選ぶと保存しません）");

// The desktop's session, as the application's session manager sees it.
class DesktopSession : public QPlatformSessionManager {
public:
    explicit DesktopSession(bool interaction)
        : QPlatformSessionManager(QString(), QString()), m_interaction(interaction) {}
    bool allowsInteraction() override { return m_interaction; }
    void cancel() override { cancelled = true; }
    void release() override { released = true; }
    bool cancelled = false;
    bool released = false;

private:
    bool m_interaction;
};

// Puts a platform session behind the application's session manager, and
// answers the one it replaced. Qt does not export the type information of
// the manager's private part, which the sanitizer's type check needs.
__attribute__((no_sanitize("vptr"))) QPlatformSessionManager*
swapPlatformSession(QPlatformSessionManager* session) {
    QSessionManager* manager = QGuiApplicationPrivate::instance()->session_manager;
    auto* d = static_cast<QSessionManagerPrivate*>(QObjectPrivate::get(manager));
    return std::exchange(d->platformSessionManager, session);
}

// The desktop's session behind the application's session manager while it
// lives.
class LoggingOut {
public:
    explicit LoggingOut(bool interaction)
        : session(interaction), m_previous(swapPlatformSession(&session)) {}
    ~LoggingOut() { swapPlatformSession(m_previous); }
    // The desktop asks the application to save before the session ends.
    void logout() { QGuiApplicationPrivate::instance()->commitData(); }
    DesktopSession session;

private:
    QPlatformSessionManager* m_previous;
};

enum class Disturbance { None, ChangedElsewhere, ReadOnly };

} // namespace

Q_DECLARE_METATYPE(Disturbance)

class LogoutTest : public QObject {
    Q_OBJECT

private slots:
    void logoutAsksAsAClose_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("interaction");
        QTest::addColumn<Disturbance>("disturbance");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("questions");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("stays"); // the window stays, the logout is cancelled

        const QByteArray loaded = "alpha\n";
        const QByteArray edited = "Xalpha\n";
        const QByteArray other = "other\n";
        const QStringList save{kSaveQuestion};
        QTest::newRow("cancel") << true << true << Disturbance::None << QStringList{kCancel} << save
                                << loaded << true;
        QTest::newRow("yes") << true << true << Disturbance::None << QStringList{kYes} << save
                             << edited << false;
        QTest::newRow("no") << true << true << Disturbance::None << QStringList{kNo} << save
                            << loaded << false;
        QTest::newRow("box closed") << true << true << Disturbance::None << QStringList{QString()}
                                    << save << loaded << true;
        // A save refused at the question about the other program's file
        // leaves the edits unsaved: the logout must not drop them.
        QTest::newRow("yes, not overwriting another program's file")
            << true << true << Disturbance::ChangedElsewhere << QStringList{kYes, kNo}
            << QStringList{kSaveQuestion, kChangedQuestion} << other << true;
        QTest::newRow("yes, overwriting another program's file")
            << true << true << Disturbance::ChangedElsewhere << QStringList{kYes, kYes}
            << QStringList{kSaveQuestion, kChangedQuestion} << edited << false;
        // A save that fails shows its error and keeps the session too.
        QTest::newRow("yes, the file cannot be written")
            << true << true << Disturbance::ReadOnly << QStringList{kYes, QStringLiteral("OK")}
            << QStringList{kSaveQuestion, QStringLiteral("ファイル ./g/a.txt を作成できません.")}
            << loaded << true;
        QTest::newRow("nothing edited") << false << true << Disturbance::None << QStringList()
                                        << QStringList() << loaded << false;
        // Without leave to ask, nothing is asked and nothing cancelled; the
        // edits are kept in their recovery copy, not written over the file.
        QTest::newRow("no interaction allowed") << true << false << Disturbance::None
                                                << QStringList() << QStringList() << loaded << true;
    }

    void logoutAsksAsAClose() {
        QFETCH(bool, edited);
        QFETCH(bool, interaction);
        QFETCH(Disturbance, disturbance);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, questions);
        QFETCH(QByteArray, file);
        QFETCH(bool, stays);
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        QByteArray settings = defaultSettingsFile();
        settings.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=g\n");
        settings.replace("LAST DOCUMENT=\n", "LAST DOCUMENT=a.txt\n");
        data.write("Ostrel.ini", settings);
        Started main;
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/a.txt"));
        if (edited) {
            main->MainEdit->setFocus();
            QTest::keyClicks(main->MainEdit, "X");
        }
        if (disturbance == Disturbance::ChangedElsewhere)
            data.write("g/a.txt", "other\n");
        if (disturbance == Disturbance::ReadOnly)
            QFile::setPermissions(data.absolute("g/a.txt"), QFile::ReadOwner);

        LoggingOut logout(interaction);
        BoxAnswerer boxes;
        // A question not expected is answered No, and shows in the texts.
        boxes.answer(answers + QStringList{kNo});
        logout.logout();
        QCOMPARE(boxes.texts(), questions);
        QCOMPARE(data.read("g/a.txt"), file);
        QCOMPARE(main->isVisible(), stays);
        QCOMPARE(logout.session.cancelled, stays && interaction);
        QVERIFY(logout.session.released);
        if (stays)
            QCOMPARE(main->MainEdit->document()->toString(), QStringLiteral("Xalpha\n"));
    }
};

#include "TestMain.h"
OSTREL_TEST_MAIN(LogoutTest)
#include "tst_logout.moc"
