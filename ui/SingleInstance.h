#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QLocalServer;
class QWidget;

namespace ostrel {

namespace fs {
class FolderLock;
}

// One Ostrel per data folder: two on the same folder would overwrite each
// other's saves and settings. The first to start on a folder holds a lock
// for it in the user's runtime folder (released when it ends, in any way)
// and listens there; a second one asks the first to show its window, and
// goes.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // For the data folder that is the working directory now.
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the data folder for this process; answers false when another
    // Ostrel has it, having asked that one to raise its window (or told the
    // user, when it does not answer). Answers true, having told the user,
    // when the folder cannot be guarded.
    bool claim();

    // The window raised when a second start asks for it.
    void setWindow(QWidget* window);

    // Stops answering later starts, keeping the folder: called once the
    // window's event loop has ended, while the exit still writes what it
    // owes. A start meanwhile waits for the folder rather than asking for a
    // window that is going.
    void stopAnswering();

signals:
    void raiseRequested();

private:
    void raise();
    enum class Owner { Raised, Gone, Silent };
    Owner waitForOwner();

    QString m_lockFile;
    QString m_serverName; // empty when no socket can listen there
    // Why the folder cannot be guarded, when it cannot.
    QString m_unguarded;
    std::unique_ptr<fs::FolderLock> m_lock;
    QLocalServer* m_server = nullptr;
    QPointer<QWidget> m_window;
    bool m_raiseWaiting = false;
};

} // namespace ostrel
