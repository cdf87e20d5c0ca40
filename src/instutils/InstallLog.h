// The install log: every folder made and every file written by this setup.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "instutils/SafeFiles.h"
#include "instutils/StringSet.h"

class InstallLog : public Recorder {
public:
    // Each line once, whatever its case; nothing while suspended.
    void Add(const std::string& line);
    void FolderMade(const std::string& folder) override { Add("Made Dir: " + folder); }
    void FileWritten(const std::string& file) override { Add("File Copy: " + file); }

    void Suspend() { ++suspendCount_; }
    void Resume() { --suspendCount_; }
    bool Suspended() const { return suspendCount_ != 0; }

    // Lines may also be changed here directly; the index catches up when next needed.
    std::vector<std::string>& Lines() { return lines_; }
    const std::vector<std::string>& Lines() const { return lines_; }

    // Reads an earlier log file; failures leave what was read. One holding NUL bytes counts as
    // unreadable: saving merges what can be read of it.
    void Load(const std::string& fileName);
    // Writes the lines, one per CR LF, flushed before it counts; false when it was not written
    // (an error included: the installation is done, and a log is not worth stopping for).
    bool Save(const std::string& fileName, SharedData& shared) const;

private:
    void ForgetIndex();
    void CatchUpIndex();

    std::vector<std::string> lines_;
    // The upper-cased lines up to indexedCount_, so that a new line is checked in constant
    // time: a log of many thousand lines would otherwise take quadratic time.
    StringSet index_;
    size_t indexedCount_ = 0;
    int suspendCount_ = 0;
    // An earlier log exists that could not be read: saving must not write over its history.
    bool earlierLogUnread_ = false;
};

// Keeps a log suspended for a stretch of requests, also when one of them throws. Without a log
// there is nothing to suspend.
class LogSuspension {
public:
    explicit LogSuspension(InstallLog* log, bool active = true) : log_(active ? log : nullptr) {
        if (log_) log_->Suspend();
    }
    ~LogSuspension() { if (log_) log_->Resume(); }
    LogSuspension(const LogSuspension&) = delete;
    LogSuspension& operator=(const LogSuspension&) = delete;

private:
    InstallLog* log_;
};

// Splits text into lines at CR, LF or CR LF; a NUL byte ends the text.
std::vector<std::string> SplitLines(const std::string& text);
