// The unattended road (/S): the wizard's plan, worker and finishing actions with no window,
// every question answered by a fixed policy, and the way it ended in the exit code.
#pragma once
#include <memory>
#include <string>
#include <vector>

struct Switches;
class OpenedFile;

// A plain-text log of the run (/LOG=): one timed line per phase and per file error. The file is
// named in full at once (the copy moves the current folder), opened once without following a
// link, written only through that handle, and flushed at the end. No file: it keeps nothing.
class RunLog {
public:
    explicit RunLog(const std::string& path);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;
    void Add(const std::string& text);

private:
    std::unique_ptr<OpenedFile> file_;
};

// The path as the system would complete it from the current folder.
std::string FullPathFromCurrent(const std::string& path);

// A file that cannot be written is tried again for this long before the run gives up.
constexpr unsigned kHeldFileRetryMs = 30000;
constexpr unsigned kHeldFileRetryStepMs = 1000;

// /S shows nothing: the usage, with its problem, goes to the run log, a line each.
void LogUsage(const std::string& logFile, const std::string& usage, int exitCode);

// Installs from the archive reader (AttachedFiles) as switches say; returns the exit code.
// The log's last lines are the caller's: see EndRunLog.
int RunSilentInstall(const Switches& switches, RunLog& log);

// The temporary items the run could not remove, then the exit code.
void EndRunLog(RunLog& log, const std::vector<std::string>& staying, int exitCode);
