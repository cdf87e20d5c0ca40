// The program's start-up: the system check, the archive reader, the wizard and what is
// kept after it. Only the calls that the real program alone can make sit behind StartupHost.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "setup/ExitCodes.h"

extern const char* const kApplicationTitle;      // also the wizard's caption
extern const char* const kUnsupportedSystemText;
extern const char* const kOutOfMemoryText;         // memory exhausted at start-up
extern const char* const kAlreadyRunningText;

// Windows 2000 and every later release of the NT family.
bool IsSupportedSystem(unsigned platformId, unsigned major);

// Another copy runs when the guard it holds belongs to the Administrators, SYSTEM or this user;
// one that anybody else made first is a squatter's and refuses nothing.
bool AnotherCopyRuns(const GuardClaim& claim, const std::string& userSid);

class StartupHost {
public:
    virtual ~StartupHost() = default;
    // COM and the special-folder service, before anything else.
    virtual void PrepareSystem() = 0;
    virtual void SetApplicationIcon() = 0;
    virtual void SetApplicationTitle(const std::string& title) = 0;
    // The program's arguments, without its name.
    virtual std::vector<std::string> Arguments() = 0;
    // The usage in the program's message dialog.
    virtual void ShowUsage(const std::string& text) = 0;
    // Creates the wizard and runs it until it closes.
    virtual void RunWizard() = 0;
    // Waits for a still-running worker, keeps the settings and the install log when the
    // installation was started, and destroys the wizard; returns the exit code.
    virtual int FinishAfterWizard() = 0;
};

// Runs the program over Sys() and returns its exit code. A failure that ends start-up
// (a broken archive, exhausted memory) is shown in a message box (nothing in /S), never thrown.
int RunSetup(StartupHost& host);
