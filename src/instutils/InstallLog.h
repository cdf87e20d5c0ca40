// The install log: every folder made and every file written by this setup.
#pragma once
#include <string>
#include <vector>

extern std::vector<std::string>* InstallLog;   // null until the installing page creates it
extern std::string LogFileName;
extern int LogSuspendCount;
extern bool InstallStarted;

void AddLogLine(const std::string& line);
void SuspendLog();
void ResumeLog();

// Keeps the log suspended for a stretch of requests, also when one of them throws.
class LogSuspension {
public:
    explicit LogSuspension(bool active = true) : active_(active) { if (active_) SuspendLog(); }
    ~LogSuspension() { if (active_) ResumeLog(); }
    LogSuspension(const LogSuspension&) = delete;
    LogSuspension& operator=(const LogSuspension&) = delete;

private:
    bool active_;
};

// Starts a fresh, empty log (the installing page).
void CreateInstallLog();
// Reads an earlier log file into InstallLog (created if needed); failures leave what was read.
// One holding NUL bytes counts as unreadable: saving merges what can be read of it.
void LoadInstallLog(const std::string& fileName);
// Writes InstallLog, one line per CR LF, flushed before it counts; failures are swallowed.
void SaveInstallLog(const std::string& fileName);
// Releases the log and clears LogFileName (program end, and tests).
void ReleaseInstallLog();

// Splits text into lines at CR, LF or CR LF; a NUL byte ends the text.
std::vector<std::string> SplitLines(const std::string& text);
