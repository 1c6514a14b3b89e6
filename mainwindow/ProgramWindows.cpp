#include "ProgramWindows.h"

#include "MainFrm.h"
#include "dialogs/CngExpUnit.h"
#include "dialogs/CreateDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/SavePathUnit.h"

// The dialogs are children of the main window and go with it.
ProgramWindows::ProgramWindows()
    : MainFrm(new TMainFrm), CreateDirFrm(new TCreateDirFrm(MainFrm, MainFrm)),
      CreRecFrm(new TCreRecFrm(MainFrm, MainFrm)), CngExpFrm(new TCngExpFrm(MainFrm, MainFrm)),
      SavePathFrm(new TSavePathFrm(MainFrm)) {
    MainFrm->setDialogs(CreateDirFrm, CreRecFrm, CngExpFrm, SavePathFrm);
}

ProgramWindows::~ProgramWindows() {
    delete MainFrm;
}
