// The unattended road (/S): the wizard's plan, worker and finishing actions with no window,
// every question answered by a fixed policy, and the way it ended in the exit code.
#pragma once
#include <string>
#include <vector>

struct Switches;

// A plain-text log of the run (/LOG=): one timed line per phase and per file error, rewritten
// whole after each line so that it is complete whenever the run ends. No file: it keeps nothing.
class RunLog {
public:
    explicit RunLog(std::string path) : path_(std::move(path)) {}
    void Add(const std::string& text);

private:
    std::string path_;
    std::string text_;
};

// A file that cannot be written is tried again for this long before the run gives up.
constexpr unsigned kHeldFileRetryMs = 30000;
constexpr unsigned kHeldFileRetryStepMs = 1000;

// /S shows nothing: the usage, with its problem, goes to the run log, a line each.
void LogUsage(const std::string& logFile, const std::string& usage, int exitCode);

// Installs from the archive reader (AttachedFiles) as switches say; returns the exit code.
int RunSilentInstall(const Switches& switches);
