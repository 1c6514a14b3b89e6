#include "SingleInstance.h"

#include "MessageBox.h"
#include "UiTexts.h"
#include "os/FileSystem.h"
#include "os/FolderLock.h"
#include "os/UserFolders.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

namespace ostrel {

namespace {

const QByteArray kRaise = "raise\n";
// The owner's answer once it has raised its window: a connection alone may
// be taken by the system for an owner that is stopped or hangs.
const QByteArray kRaised = "raised\n";

// How long a second start waits for the first to listen (it may be starting
// at the same moment) and to answer.
constexpr int kOwnerWaitMs = 5000;

QString unguarded(const QString& why) {
    return why + texts::ui::unguardedEnding();
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
    const QString identity = fs::folderIdentity(QStringLiteral("."));
    if (identity.isEmpty())
        return;
    const fs::RuntimeFolder runtime = fs::runtimeFolder();
    if (runtime.path.isEmpty()) {
        m_unguarded = unguarded(texts::ui::runtimeFolderShared().arg(runtime.refused));
        return;
    }
    const QString base = runtime.path + QStringLiteral("/ostrel-") + identity;
    m_lockFile = base + QStringLiteral(".lock");
    // Where the socket cannot listen, the lock alone keeps the folder: a
    // second start cannot ask for the window, and says so.
    if (fs::fitsSocketAddress(base + QStringLiteral(".socket")))
        m_serverName = base + QStringLiteral(".socket");
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim() {
    // Without a runtime folder of the user's own there is no safe place for
    // the lock, and a lock file that is not one (a link, a folder) cannot be
    // taken by anyone: Ostrel starts unguarded rather than not at all, and
    // says so.
    if (!m_unguarded.isEmpty()) {
        showMessage(m_unguarded);
        return true;
    }
    if (m_lockFile.isEmpty())
        return true;
    bool unusable = false;
    m_lock = fs::FolderLock::take(m_lockFile, &unusable);
    if (unusable) {
        showMessage(unguarded(texts::ui::lockFileUnusable().arg(m_lockFile)));
        return true;
    }
    if (!m_lock) {
        const Owner owner = waitForOwner();
        if (owner == Owner::Silent)
            showMessage(texts::ui::folderInUse());
        if (owner != Owner::Gone)
            return false;
    }
    if (m_serverName.isEmpty())
        return true;
    // A socket left by an owner that died is the lock holder's to clear.
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->canReadLine() && socket->readLine() == kRaise) {
                    raise();
                    socket->write(kRaised);
                    socket->flush();
                }
            });
        }
    });
    m_server->listen(m_serverName);
    return true;
}

SingleInstance::Owner SingleInstance::waitForOwner() {
    // The owner may be starting (not listening yet) or ending (no longer
    // listening, the lock not yet released): either is waited for.
    // An owner that is stopped, or hangs, is connected to by the system
    // but never answers: the start then says that the folder is in use.
    const QDeadlineTimer deadline(kOwnerWaitMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        if (!m_serverName.isEmpty())
            socket.connectToServer(m_serverName);
        if (!m_serverName.isEmpty() && socket.waitForConnected(500)) {
            socket.write(kRaise);
            bool answered = socket.waitForBytesWritten(1000);
            while (answered && !socket.canReadLine())
                answered = socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            const bool raised = answered && socket.readLine() == kRaised;
            socket.abort();
            if (raised)
                return Owner::Raised;
        }
        m_lock = fs::FolderLock::take(m_lockFile);
        if (m_lock)
            return Owner::Gone;
        QThread::msleep(50);
    }
    return Owner::Silent;
}

void SingleInstance::stopAnswering() {
    delete m_server;
    m_server = nullptr;
}

void SingleInstance::setWindow(QWidget* window) {
    m_window = window;
    if (m_raiseWaiting)
        raise();
}

void SingleInstance::raise() {
    emit raiseRequested();
    if (!m_window) {
        m_raiseWaiting = true;
        return;
    }
    m_raiseWaiting = false;
    if (m_window->isMinimized())
        m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
    // A box or dialog that waits for an answer comes to the front too.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

} // namespace ostrel
