#pragma once

#include "os/FileSystem.h"

#include <QByteArray>
#include <sys/stat.h>

// What the system tells of a file without reading it.
namespace ostrel::fs {

FileStamp stampFrom(const struct stat& st);
// Links followed.
bool statNative(const QByteArray& path, struct stat& st);
// Whether the owner may write the file: a read-only file is one without,
// whoever runs the program (root included).
bool ownerMayWrite(const struct stat& st);

} // namespace ostrel::fs
