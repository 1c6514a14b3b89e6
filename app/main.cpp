// Ostrel: a memo manager. The working directory is the data folder.
#include "mainwindow/MainFrm.h"
#include "mainwindow/ProgramWindows.h"
#include "ui/Application.h"
#include "ui/ErrorBox.h"
#include "ui/SingleInstance.h"

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    // The desktop menu's launcher found no data folder to start in: the
    // user started Ostrel from the menu and sees why here.
    if (const QString problem = qEnvironmentVariable("OSTREL_LAUNCH_PROBLEM"); !problem.isEmpty()) {
        ostrel::showDefaultErrorBox(problem);
        return 1;
    }
    // A second start on the same data folder shows the first one's window.
    ostrel::SingleInstance instance;
    if (!instance.claim())
        return 0;
    ProgramWindows windows;
    instance.setWindow(windows.MainFrm);
    windows.MainFrm->show();
    const int code = app.exec();
    // The folder stays this process's until the windows, going, have
    // written what they owe.
    instance.stopAnswering();
    return code;
}
