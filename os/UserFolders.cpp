#include "UserFolders.h"

#include "FileSystem.h"

#include <QDir>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::fs {

namespace {

// A folder named by a variable: only a full path counts (a relative one is
// ignored, as the desktop's rules say).
QString fromVariable(const char* name) {
    const QByteArray value = qgetenv(name);
    return value.startsWith('/') ? decodeName(value) : QString();
}

QString home() {
    QString h = fromVariable("HOME");
    if (h.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            h = decodeName(pw->pw_dir);
    }
    return h;
}

QString underHome(const char* relative) {
    const QString h = home();
    return h.isEmpty() ? QString() : h + u'/' + QLatin1String(relative);
}

bool isPrivateFolder(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

} // namespace

QString dataHome() {
    const QString v = fromVariable("XDG_DATA_HOME");
    return v.isEmpty() ? underHome(".local/share") : v;
}

QString stateHome() {
    const QString v = fromVariable("XDG_STATE_HOME");
    return v.isEmpty() ? underHome(".local/state") : v;
}

RuntimeFolder runtimeFolder() {
    const QString v = fromVariable("XDG_RUNTIME_DIR");
    if (!v.isEmpty() && isPrivateFolder(v))
        return {v, {}};
    // Anyone may make a folder in the temporary folder: one that is not the
    // user's own, or that others may enter, is not used.
    const QString own = QDir::tempPath() + QStringLiteral("/ostrel-") + QString::number(::getuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    if (isPrivateFolder(own))
        return {own, {}};
    return {{}, own};
}

} // namespace ostrel::fs
