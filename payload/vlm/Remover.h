// Removal of an installation ("vlm.exe -ui"), driven only by what the setup program wrote:
// its install log, its registry keys and the associations that "-assoc" registered.
// Every operation goes through the platform seam, so the rules run over the fake machine too.
#pragma once

#include <string>

// Run from the destination folder: asks, checks that the install log can be read, then hands
// the work to a copy of this program in the temporary folder (a running program cannot
// delete its own file). Returns the exit code.
int StartRemoval();

// Run by that copy, with the path of the installed program: removes the installation.
int FinishRemoval(const std::string& installedProgram);

// The Windows entry (RemoverMain.cpp): the arguments after "-ui".
int RunRemoval(const char* arguments);
