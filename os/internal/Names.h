#pragma once

#include "os/Descriptor.h"

#include <QByteArray>
#include <QString>
#include <dirent.h>
#include <memory>
#include <vector>

// Names on disk (see decodeName in os/FileSystem.h): the bytes a shown name
// or path stands for, and paths taken apart as bytes.
namespace ostrel::fs {

bool isUtf8(QByteArrayView bytes);
// A name with every byte that is not UTF-8, and every backslash, written as
// "\xHH".
QString escapedName(QByteArrayView bytes);
// The bytes of the entry of a folder that a shown name leads to; `parent` is
// the folder's path ending in "/", or nothing.
QByteArray entryBytes(const QByteArray& parent, const QString& name);
// The bytes of a path: each name as the bytes of the entry it leads to.
QByteArray native(const QString& path);

// Whether anything (a dangling link too) has this path.
bool lexists(const QByteArray& path);
// The folder a path lies in: "." for a bare name.
QByteArray parentOf(const QByteArray& path);
// Follows a chain of symbolic links to the path that is finally written.
QByteArray resolveLinks(const QByteArray& path);
// The full path of an entry given by its bytes: the folder it lies in as the
// system resolves it, and its own name.
QByteArray absoluteOf(const QByteArray& path);

// An open folder being read entry by entry; closed (with its descriptor)
// when the owner goes.
struct FolderStreamCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using FolderStream = std::unique_ptr<DIR, FolderStreamCloser>;

// Whether a name is "." or "..".
bool isNameOfFolderItself(const char* name);
// The names in an open folder, without "." and "..". Takes the descriptor.
std::vector<QByteArray> namesIn(Descriptor dir);

} // namespace ostrel::fs
