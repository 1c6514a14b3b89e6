#pragma once

#include <QByteArray>

// The desktop's trash (the freedesktop.org rules): the user's own, or the
// trash of the volume an entry lies on.
namespace ostrel::fs {

// Moves an entry, given by its bytes, into the trash of its volume.
bool moveNativeToTrash(const QByteArray& path);
// Keeps the content of a regular file that is about to be replaced in the
// trash: a second name for the same file where the volume allows it (the
// replacement then takes the first name alone), else a copy of its bytes.
bool keepInTrash(const QByteArray& path);

} // namespace ostrel::fs
