// Ostrel: a memo manager. The working directory is the data folder.
#include "mainwindow/MainFrm.h"
#include "mainwindow/ProgramWindows.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    ProgramWindows windows;
    windows.MainFrm->show();
    return app.exec();
}
