#pragma once

#include "Descriptor.h"
#include "FileSystem.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace ostrel::fs {

// A folder that the program keeps for the user alone below one of the user's
// own folders (the recovery copies in the state folder), in which no link is
// ever followed: its own parts are opened one by one and none may be a link or
// another user's, and every entry is reached from the opened folder itself, so
// that a link planted in it (or in its place) is neither read nor written
// through. Names in it are bytes.
class PrivateFolder {
public:
    // Opens `base` (reached as the user has it, links and all) and below it
    // each of `parts` in turn. With `create`, missing parts (and a missing
    // base) are made; the parts are made readable by the user alone when they
    // are not.
    PrivateFolder(const QString& base, const QStringList& parts, bool create);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    bool isOpen() const { return m_fd.isOpen(); }

    struct File {
        QByteArray name;
        qint64 size = 0;
        qint64 modifiedNs = 0;
    };
    // Its regular files that are not hidden; a link, a folder or a special
    // file is none.
    std::vector<File> files() const;

    // At most `max` bytes from the start of a regular file; nothing when it is
    // not one or cannot be read.
    std::optional<QByteArray> readHead(const QByteArrayView name, qint64 max) const;
    // A regular file whole, refusing one larger than `limit` without reading it.
    ReadResult read(const QByteArrayView name, qint64 limit) const;

    // Replaces (or creates) a file: the content goes to a new hidden file
    // beside it, readable by the user alone, checked, synced and renamed over
    // the name. Whatever had the name, a link included, is replaced, never
    // written through; a folder there makes the write fail.
    bool write(const QByteArrayView name,
               const std::function<bool(const PieceWriter&)>& produce) const;
    // Removes a file (a link itself); answers false only when something of
    // that name is still there.
    bool remove(const QByteArrayView name) const;
    // Removes what writes that were killed left behind.
    void removeStaleTemporaries() const;

private:
    Descriptor m_fd;
};

} // namespace ostrel::fs
