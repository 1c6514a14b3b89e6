#pragma once

#include <QByteArray>

// What the file-system code of os/ shares between its files, for no one else.
namespace ostrel::fs::detail {

// The start of the name of a temporary file of a save made by this process:
// hidden, and removed as stale once its writer has ended (see
// removeStaleTemporaries).
QByteArray temporaryPrefix();

// Removes the stale temporary files of a save from an open folder; answers
// how many.
int removeStaleTemporariesAt(int dirFd);

} // namespace ostrel::fs::detail
