#pragma once

#include "os/Descriptor.h"

#include <QByteArray>
#include <QtGlobal>
#include <sys/stat.h>

namespace ostrel::fs {

// Opens an existing file for reading without ever waiting: a pipe or a
// device opened for reading can block until a writer comes.
Descriptor openForReading(const QByteArray& path);
// Whether a file opened so is a regular file, then read as one (waiting for
// its bytes); `st` tells its state.
bool isRegularOpenFile(int fd, struct stat& st);
// Reads up to `size` bytes; answers how many (fewer at the end), or -1.
qint64 readUpTo(int fd, char* out, qint64 size);

} // namespace ostrel::fs
