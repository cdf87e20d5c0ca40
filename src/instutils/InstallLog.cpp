#include "instutils/InstallLog.h"

#include <memory>

#include "platform/Platform.h"

std::vector<std::string>* InstallLog = nullptr;
std::string LogFileName;
int LogSuspendCount = 0;
bool InstallStarted = false;

namespace {
// Owns the list that InstallLog points to, so it is released at program end.
std::unique_ptr<std::vector<std::string>> logOwner;
}

// Without a log (nothing installing yet) a line has nowhere to go and is dropped.
void AddLogLine(const std::string& line) {
    if (LogSuspendCount != 0 || !InstallLog) return;
    for (const auto& existing : *InstallLog)
        if (Sys().CompareIgnoreCase(existing, line) == 0) return;
    InstallLog->push_back(line);
}

void SuspendLog() { ++LogSuspendCount; }

void ResumeLog() { --LogSuspendCount; }

void CreateInstallLog() {
    logOwner = std::make_unique<std::vector<std::string>>();
    InstallLog = logOwner.get();
}

void LoadInstallLog(const std::string& fileName) {
    try {
        if (!InstallLog) CreateInstallLog();
        std::string text;
        if (!Sys().ReadWholeFile(fileName, text)) return;
        *InstallLog = SplitLines(text);
    } catch (...) {
        // An unreadable earlier log only costs its history.
    }
}

void SaveInstallLog(const std::string& fileName) {
    try {
        if (!InstallLog) return;
        std::string text;
        for (const auto& line : *InstallLog) {
            text += line;
            text += "\r\n";
        }
        Sys().WriteNewFile(fileName, text.data(), text.size(), FileShare::None);
    } catch (...) {
        // The installation is done; a log that cannot be written is not worth stopping for.
    }
}

void ReleaseInstallLog() {
    InstallLog = nullptr;
    logOwner.reset();
    LogFileName.clear();
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
