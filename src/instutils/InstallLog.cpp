#include "instutils/InstallLog.h"

#include <memory>

#include "instutils/FileHelpers.h"
#include "instutils/StringSet.h"
#include "platform/Platform.h"

std::vector<std::string>* InstallLog = nullptr;
std::string LogFileName;
int LogSuspendCount = 0;
bool InstallStarted = false;

namespace {
// Owns the list that InstallLog points to, so it is released at program end.
std::unique_ptr<std::vector<std::string>> logOwner;

// The upper-cased lines of InstallLog up to indexedCount, so that a new line is checked
// in constant time: a log of many thousand lines would otherwise take quadratic time.
StringSet logIndex;
size_t indexedCount = 0;

// An earlier log exists that could not be read: saving must not write over its history.
bool earlierLogUnread = false;

std::string CaseKey(std::string line) {
    Sys().UpperCase(line);
    return line;
}

void ForgetIndex() {
    logIndex.Clear();
    indexedCount = 0;
}

// Lines may also reach the list directly; they are indexed when next needed.
void CatchUpIndex() {
    if (InstallLog->size() < indexedCount) ForgetIndex();
    for (; indexedCount < InstallLog->size(); ++indexedCount) logIndex.Insert(CaseKey((*InstallLog)[indexedCount]));
}

// A log holding NUL bytes was cut by a power loss (zeros where the data never reached the disk):
// what can still be read around them, never an empty history.
std::vector<std::string> ReadableLines(std::string text) {
    if (text.find('\0') == std::string::npos) return SplitLines(text);
    for (char& c : text)
        if (c == '\0') c = '\n';
    std::vector<std::string> lines;
    for (std::string& line : SplitLines(text))
        if (line.starts_with("Made Dir: ") || line.starts_with("File Copy: ")) lines.push_back(std::move(line));
    return lines;
}

// The earlier lines first, then this run's that they do not hold already.
std::vector<std::string> MergedWithEarlier(std::vector<std::string> earlier, const std::vector<std::string>& ours) {
    StringSet known;
    for (const auto& line : earlier) known.Insert(CaseKey(line));
    for (const auto& line : ours)
        if (known.Insert(CaseKey(line))) earlier.push_back(line);
    return earlier;
}
}  // namespace

// Without a log (nothing installing yet) a line has nowhere to go and is dropped.
void AddLogLine(const std::string& line) {
    if (LogSuspendCount != 0 || !InstallLog) return;
    CatchUpIndex();
    if (!logIndex.Insert(CaseKey(line))) return;
    InstallLog->push_back(line);
    ++indexedCount;
}

void SuspendLog() { ++LogSuspendCount; }

void ResumeLog() { --LogSuspendCount; }

void CreateInstallLog() {
    logOwner = std::make_unique<std::vector<std::string>>();
    InstallLog = logOwner.get();
    ForgetIndex();
    earlierLogUnread = false;
}

void LoadInstallLog(const std::string& fileName) {
    try {
        if (!InstallLog) CreateInstallLog();
        earlierLogUnread = !Sys().FindFiles(fileName).empty();
        std::string text;
        if (!Sys().ReadWholeFile(fileName, text) || text.find('\0') != std::string::npos) return;
        *InstallLog = SplitLines(text);
        ForgetIndex();
        earlierLogUnread = false;
    } catch (...) {
        // An unreadable earlier log only costs its history.
    }
}

void SaveInstallLog(const std::string& fileName) {
    try {
        if (!InstallLog) return;
        std::vector<std::string> merged;
        const std::vector<std::string>* lines = InstallLog;
        if (earlierLogUnread) {
            std::string earlier;
            if (Sys().ReadWholeFile(fileName, earlier)) {
                merged = MergedWithEarlier(ReadableLines(earlier), *InstallLog);
                lines = &merged;
            } else if (!Sys().FindFiles(fileName).empty()) {
                return;   // still unreadable: its history is worth more than this run's lines
            }
        }
        std::string text;
        for (const auto& line : *lines) {
            text += line;
            text += "\r\n";
        }
        WriteWholeFile(fileName, text.data(), text.size(), FileShare::None, 0, Durability::Flushed);
    } catch (...) {
        // The installation is done; a log that cannot be written is not worth stopping for.
    }
}

void ReleaseInstallLog() {
    InstallLog = nullptr;
    logOwner.reset();
    LogFileName.clear();
    ForgetIndex();
    earlierLogUnread = false;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t end = text.find('\0');
    if (end == std::string::npos) end = text.size();
    size_t pos = 0;
    while (pos < end) {
        size_t stop = text.find_first_of("\r\n", pos);
        if (stop == std::string::npos || stop > end) stop = end;
        lines.push_back(text.substr(pos, stop - pos));
        bool crlf = stop + 1 < end && text[stop] == '\r' && text[stop + 1] == '\n';
        pos = stop + (crlf ? 2 : 1);
    }
    return lines;
}
