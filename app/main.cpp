// Ostrel: a memo manager. The working directory is the data folder.
#include "dialogs/CngExpUnit.h"
#include "dialogs/CreDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/SavePathUnit.h"
#include "mainwindow/MainFrm.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    TMainFrm mainFrm;
    new TCreateDirFrm(&mainFrm);
    new TCreRecFrm(&mainFrm);
    new TCngExpFrm(&mainFrm);
    new TSavePathFrm(&mainFrm);
    mainFrm.show();
    return app.exec();
}
