#pragma once

#include <QString>

// The user's own folders outside any data folder, where the desktop's rules
// (the XDG base directories) put them. Each answers a full path, or an empty
// one when there is none to be had.
namespace ostrel::fs {

// $XDG_DATA_HOME, or ~/.local/share: the user's trash lies below it.
QString dataHome();

// $XDG_STATE_HOME, or ~/.local/state: what a program keeps between its runs
// that is not worth a backup.
QString stateHome();

// $XDG_RUNTIME_DIR, or else a folder of the user's own in the temporary
// folder (made private when missing): what lives only while the user's
// programs run. `path` is empty when neither is a folder the user alone
// owns; `refused` then names the temporary folder's one, which is another
// user's or open to others.
struct RuntimeFolder {
    QString path;
    QString refused;
};
RuntimeFolder runtimeFolder();

} // namespace ostrel::fs
