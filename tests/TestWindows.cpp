// The windows as the program makes them, for the tests that drive them.
#include "TestSupport.h"

#include "dialogs/CngExpUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/CreateDirUnit.h"
#include "dialogs/SavePathUnit.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"
#include "mainwindow/ProgramWindows.h"
#include "record/OpenRecord.h"

#include <QTest>

namespace testing {

TMainFrm* MainFrm = nullptr;
TCreateDirFrm* CreateDirFrm = nullptr;
TCreRecFrm* CreRecFrm = nullptr;
TCngExpFrm* CngExpFrm = nullptr;
TSavePathFrm* SavePathFrm = nullptr;

Windows::Windows() : windows(std::make_unique<ProgramWindows>()), main(windows->MainFrm) {
    MainFrm = main;
    CreateDirFrm = windows->CreateDirFrm;
    CreRecFrm = windows->CreRecFrm;
    CngExpFrm = windows->CngExpFrm;
    SavePathFrm = windows->SavePathFrm;
}

Windows::~Windows() {
    main->SaveSettingsOnClose = false;
    // Edits a test leaves are dropped, as a close answered "No" drops them:
    // no recovery copy of them waits for the next start in the data folder.
    main->MainEdit->document()->setModified(false);
    windows.reset();
    MainFrm = nullptr;
    CreateDirFrm = nullptr;
    CreRecFrm = nullptr;
    CngExpFrm = nullptr;
    SavePathFrm = nullptr;
}

Started::Started() : main(windows.main) {
    showMain(main);
}

void showMain(TMainFrm* frm) {
    frm->show();
    if (!QTest::qWaitForWindowExposed(frm))
        qWarning("main window not exposed");
}

bool waitForRecord(TMainFrm* frm) {
    return QTest::qWaitFor([frm] { return !frm->openRecord()->isLoading(); }, 60000);
}

} // namespace testing
