#include "SingleInstance.h"

#include "MessageBox.h"
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

// How long a second start waits for the first to listen (it may be starting
// at the same moment).
constexpr int kOwnerWaitMs = 5000;

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
    const QString runtime = fs::runtimeFolder();
    const QString identity = fs::folderIdentity(QStringLiteral("."));
    if (runtime.isEmpty() || identity.isEmpty())
        return;
    const QString base = runtime + QStringLiteral("/ostrel-") + identity;
    m_lockFile = base + QStringLiteral(".lock");
    m_serverName = base + QStringLiteral(".socket");
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim() {
    // Without a runtime folder of the user's own there is no safe place for
    // the lock: Ostrel starts unguarded rather than not at all.
    if (m_lockFile.isEmpty())
        return true;
    m_lock = fs::FolderLock::take(m_lockFile);
    if (!m_lock) {
        const Owner owner = waitForOwner();
        if (owner == Owner::Silent)
            showMessage(QStringLiteral("このデータフォルダは、既に起動している OSTREL "
                                       "が使っています。"));
        if (owner != Owner::Gone)
            return false;
    }
    // A socket left by an owner that died is the lock holder's to clear.
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->canReadLine() && socket->readLine() == kRaise)
                    raise();
            });
        }
    });
    m_server->listen(m_serverName);
    return true;
}

SingleInstance::Owner SingleInstance::waitForOwner() {
    // The owner may be starting (not listening yet) or ending (no longer
    // listening, the lock not yet released): either is waited for.
    const QDeadlineTimer deadline(kOwnerWaitMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(500)) {
            socket.write(kRaise);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            if (sent)
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
