#include "Resources.h"

#include <QDir>
#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static void registerAll() {
    Q_INIT_RESOURCE(dialogs);
    Q_INIT_RESOURCE(mainwindow);
    Q_INIT_RESOURCE(savepath);
}

namespace ostrel {

void initResources() {
    static const bool done = [] {
        registerAll();
        return true;
    }();
    (void)done;
}

} // namespace ostrel
