// Removal of an installation ("vlm.exe -ui"), driven only by what the setup program wrote:
// its install log, its registry keys and the associations that "-assoc" registered.
// Every operation goes through the platform seam, so the rules run over the fake machine too.
#pragma once

#include <string>

// Exit codes, as deployment tools read them.
enum : int {
    kRemovalDone = 0,
    kRemovalFileHeld = 32,       // a file held by another program, or a link refused
    kRemovalBadSwitch = 87,
    kRemovalSaidNo = 1602,       // the user said no, or refused the administrator's rights
    kRemovalFailed = 1603,       // an unreadable log, anything else
};

struct RemovalSwitches {
    bool silent = false;         // "/S": no question, no message
    bool restarted = false;      // "/RUNAS": already restarted for the administrator's rights
    std::string program;         // the installed program, given to its copy
};

// The arguments after "-ui"; false on one it does not know.
bool ParseRemovalSwitches(const std::string& arguments, RemovalSwitches& switches);

// Run from the destination folder: asks, checks that the install log can be read, then hands
// the work to a copy of this program in a private temporary folder (a running program cannot
// delete its own file) and returns the copy's exit code once it has done the work.
int StartRemoval(const RemovalSwitches& switches);

// Run by that copy, with the path of the installed program: removes the installation.
int FinishRemoval(const RemovalSwitches& switches);

// Both, as the arguments after "-ui" ask.
int RemoveAsAsked(const std::string& arguments);

// The Windows entry (RemoverMain.cpp): the arguments after "-ui".
int RunRemoval(const char* arguments);
