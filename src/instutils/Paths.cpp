#include "instutils/Paths.h"

#include <atomic>
#include <memory>
#include <vector>

#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "platform/Platform.h"

namespace {

std::vector<std::string> currentDirectoryStack;

// One lock for every operation that moves the process current directory: the drive watch on
// the wizard's thread may test a folder while the worker makes one.
// Made on first use by whichever thread comes first; it lives as long as the program.
std::atomic<Lock*> currentDirectoryLock{nullptr};

Lock& CurrentDirectoryLock() {
    Lock* lock = currentDirectoryLock.load();
    if (lock) return *lock;
    std::unique_ptr<Lock> made = Sys().NewLock();
    if (currentDirectoryLock.compare_exchange_strong(lock, made.get())) return *made.release();
    return *lock;   // another thread's came first
}

}  // namespace

// These operations call each other (MakeFolderPath -> FolderExists): the lock is re-entrant.
CurrentDirectoryGuard::CurrentDirectoryGuard() { CurrentDirectoryLock().Acquire(); }

CurrentDirectoryGuard::~CurrentDirectoryGuard() { CurrentDirectoryLock().Release(); }

void MakeFolderPath(const std::string& folder) {
    CurrentDirectoryGuard guard;
    // Walked up in a loop, not by recursion: a pasted path may hold thousands of levels.
    // Each missing folder is a head of the path, kept by its length. A relative path walks up
    // to empty text: the walk ends there as it does at a drive.
    std::vector<size_t> missing;
    std::string head = folder;
    while (!head.empty() && !FolderExists(head)) {
        missing.push_back(head.size());
        if (LastChar(head) == '\\') DropLastChar(head);
        const size_t before = missing.back();
        head = FolderOf(head);
        if (head.size() >= before) break;
    }
    if (missing.empty() || LeadsThroughLink(folder)) return;
    for (auto length = missing.rbegin(); length != missing.rend(); ++length) {
        const std::string made = folder.substr(0, *length);
        Sys().CreateDir(made);
        AddLogLine("Made Dir: " + made);
    }
}

// The system reads a path back in its plain form, so a folder exists only when it can be made
// current and reads back as written.
bool FolderExists(const std::string& path) {
    CurrentDirectoryGuard guard;
    PushCurrentDirectory();
    std::string copy = path;
    WithTrailingBackslash(copy);
    Sys().SetCurrentDir(copy);
    bool exists = EqualNoCase(CurrentDirectory(), copy);
    PopCurrentDirectory();
    return exists;
}

std::string CurrentDirectory() {
    std::string dir = Sys().GetCurrentDir();
    dir.resize(dir.find('\0') == std::string::npos ? dir.size() : dir.find('\0'));
    WithTrailingBackslash(dir);
    return dir;
}

void PushCurrentDirectory() { currentDirectoryStack.push_back(CurrentDirectory()); }

void PopCurrentDirectory() {
    if (currentDirectoryStack.empty()) return;
    Sys().SetCurrentDir(currentDirectoryStack.back());
    currentDirectoryStack.pop_back();
}

void WithTrailingBackslash(std::string& path) {
    if (path.empty()) return;
    if (path.back() == '/') path.back() = '\\';
    else if (path.back() != '\\') path += '\\';
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    WithTrailingBackslash(path);
    return path + name;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    std::string ua = a, ub = b;
    Sys().UpperCase(ua);
    Sys().UpperCase(ub);
    return ua == ub;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string UpToNul(std::string text) {
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

std::string DecimalText(int64_t value) {
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char digits[21];
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--first = '-';
    return std::string(first, digits + sizeof digits);
}

char LastChar(const std::string& text) { return text.empty() ? '\0' : text.back(); }

void DropFirstChar(std::string& text) {
    if (!text.empty()) text.erase(0, 1);
}

void DropLastChar(std::string& text) {
    if (!text.empty()) text.pop_back();
}

std::string EscapeCaption(const std::string& text) {
    if (text == "-") return "- ";   // a lone hyphen would draw as a separator
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '&') out += '&';
    }
    return out;
}

std::string DrivePart(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t serverEnd = path.find('\\', 2);
        if (serverEnd == std::string::npos) return path;
        return path.substr(0, path.find('\\', serverEnd + 1));
    }
    return "";
}

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}
