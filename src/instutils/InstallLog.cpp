#include "instutils/InstallLog.h"

#include "platform/Platform.h"

namespace {

std::string CaseKey(std::string line) {
    Sys().UpperCase(line);
    return line;
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

void InstallLog::ForgetIndex() {
    index_.Clear();
    indexedCount_ = 0;
}

void InstallLog::CatchUpIndex() {
    if (lines_.size() < indexedCount_) ForgetIndex();
    for (; indexedCount_ < lines_.size(); ++indexedCount_) index_.Insert(CaseKey(lines_[indexedCount_]));
}

void InstallLog::Add(const std::string& line) {
    if (Suspended()) return;
    CatchUpIndex();
    if (!index_.Insert(CaseKey(line))) return;
    lines_.push_back(line);
    ++indexedCount_;
}

void InstallLog::Load(const std::string& fileName) {
    try {
        earlierLogUnread_ = !Sys().FindFiles(fileName).empty();
        std::string text;
        if (!Sys().ReadWholeFile(fileName, text) || text.find('\0') != std::string::npos) return;
        lines_ = SplitLines(text);
        ForgetIndex();
        earlierLogUnread_ = false;
    } catch (...) {
        // Not read whole: saving merges with it or keeps it, never writes over its history.
        earlierLogUnread_ = true;
    }
}

bool InstallLog::Save(const std::string& fileName, SharedData& shared) const {
    try {
        std::vector<std::string> merged;
        const std::vector<std::string>* lines = &lines_;
        if (earlierLogUnread_) {
            std::string earlier;
            if (Sys().ReadWholeFile(fileName, earlier)) {
                merged = MergedWithEarlier(ReadableLines(earlier), lines_);
                lines = &merged;
            } else if (!Sys().FindFiles(fileName).empty()) {
                return false;   // still unreadable: its history is worth more than this run's lines
            }
        }
        std::string text;
        for (const auto& line : *lines) {
            text += line;
            text += "\r\n";
        }
        FolderHold hold(shared);
        return WriteWholeFile(hold, fileName, text.data(), text.size(), FileShare::None, 0, Durability::Flushed) ==
               WriteOutcome::Written;
    } catch (...) {
        return false;
    }
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
