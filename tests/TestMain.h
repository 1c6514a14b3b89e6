#pragma once

#include "ui/Application.h"

#include <QTest>

// QTEST_MAIN for tests of the windows: the application object is the
// program's own, so the layouts' Windows font names resolve to this desktop's
// Japanese fonts and the standard dialogs speak Japanese.
#define OSTREL_TEST_MAIN(TestObject)                                                               \
    int main(int argc, char** argv) {                                                              \
        ostrel::Application app(argc, argv);                                                       \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
