// How the program ends, for the start-up and the unattended road alike.
#pragma once

// The program's exit codes, as deployment tools read them.
enum ExitCode : int {
    kExitFinished = 0,
    kExitOutOfMemory = 8,
    kExitFileInUse = 32,
    kExitBadParameter = 87,
    kExitDiskFull = 112,
    kExitAppRunning = 170,
    kExitUnsupportedSystem = 1150,
    kExitCancelled = 1602,
    kExitFailure = 1603,
    kExitAlreadyRunning = 1618,
};
