#pragma once

class TMainFrm;
class TCreateDirFrm;
class TCreRecFrm;
class TCngExpFrm;
class TSavePathFrm;

// The program's windows, made as the program makes them: the main window
// first, then the four dialogs, hidden, which live as long as it does. The
// one place that creates the windows, for the program and for the tests.
class ProgramWindows {
public:
    ProgramWindows();
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    TMainFrm* const MainFrm;
    TCreateDirFrm* const CreateDirFrm;
    TCreRecFrm* const CreRecFrm;
    TCngExpFrm* const CngExpFrm;
    TSavePathFrm* const SavePathFrm;
};
