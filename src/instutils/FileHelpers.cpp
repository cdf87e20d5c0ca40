#include "instutils/FileHelpers.h"

#include <algorithm>
#include <optional>

#include "instutils/DateTime.h"
#include "instutils/InstallLog.h"
#include "instutils/Paths.h"
#include "platform/Platform.h"

const char* const kTempPrefix = "~InstallationdutraitementdetexteVelmorra";

namespace {

// "Velmorra" under the all-users data, or empty. The folder does not move during a run, and
// asking the shell for it costs as much as writing a file.
std::optional<std::string> sharedDataFolder;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A link goes itself: whatever it leads to is never entered.
void DeleteEntry(const std::string& path, uint32_t attributes) {
    if (!(attributes & kAttrDirectory))
        Sys().DeleteFileAt(path);
    else if (attributes & kAttrReparsePoint)
        Sys().RemoveDir(path);
    else
        DeleteFolderTree(path);
}

bool IsLink(const std::string& path) {
    const std::vector<FoundFile> found = Sys().FindFiles(path);
    return !found.empty() && (found.front().attributes & kAttrReparsePoint);
}

// A name in folder that nothing holds yet, created with the bytes; empty when none can be made.
std::string WriteSwapFile(const std::string& folder, const void* data, size_t size, FileShare share,
                          uint32_t dosDateTime) {
    for (unsigned n = 0; n < 100; ++n) {
        const std::string name = folder + "~vlm" + DecimalText(n) + ".tmp";
        if (Sys().CreateNewFile(name, data, size, share, dosDateTime)) return name;
        if (Sys().FindFiles(name).empty()) return "";   // not a taken name: the disk or the rights refuse
    }
    return "";
}

}  // namespace

// Without a shell link object there is nothing to save, so nothing is logged either.
bool CreateShortcut(const std::string& linkFile, const std::string& target, const std::string& workingFolder,
                    const std::string& description) {
    std::unique_ptr<ShellLink> link = Sys().NewShellLink();
    if (!link) return false;
    link->SetPath(target);
    link->SetWorkingDirectory(workingFolder);
    link->SetDescription(description);
    MakeFolderPath(FolderOf(linkFile));
    if (!link->Save(linkFile)) return false;   // the uninstaller must not look for a link that is not there
    AddLogLine("File Copy: " + linkFile);
    return true;
}

WriteOutcome WriteTextFile(const std::string& fileName, const std::string& text) {
    return WriteWholeFile(fileName, text.data(), text.size(), FileShare::Read);
}

// Read-only files are left as they are, and with them the folders that hold them.
void DeleteFolderTree(const std::string& folder) {
    if (folder.empty()) return;   // "" would mean the current directory
    std::string path = folder;
    WithTrailingBackslash(path);
    for (const FoundFile& entry : Sys().FindFiles(path + "*.*")) {
        if (entry.name == "." || entry.name == "..") continue;
        DeleteEntry(path + entry.name, entry.attributes);
    }
    Sys().RemoveDir(path);
}

double FileModifiedTime(const std::string& fileName) {
    uint32_t dos = 0;
    if (Sys().FindFiles(fileName).empty() || !Sys().GetLastWriteDos(fileName, dos)) return NowDateTime();
    return DosToDateTime(dos);
}

bool FileExists(const std::string& fileName) {
    std::vector<FoundFile> found = Sys().FindFiles(fileName);
    return !found.empty() && !(found.front().attributes & kAttrDirectory);
}

std::string TempFolder() {
    std::string folder = UpToNul(Sys().TempPath());
    if (!FolderExists(folder)) folder = SpecialFolder(CSIDL_PERSONAL);
    WithTrailingBackslash(folder);
    return folder;
}

std::string NewTempFileName() {
    const std::string stem = TempFolder() + kTempPrefix;
    for (unsigned n = 0;; ++n) {
        std::string name = stem + DecimalText(n) + ".tmp";
        // Made here, empty, so that a file or link planted under the name is never used.
        if (Sys().CreateNewFile(name, "", 0, FileShare::None, 0)) return name;
        if (Sys().FindFiles(name).empty()) return name;   // cannot be made at all: the writer will say so
    }
}

void DeleteTempItems() {
    const std::string folder = TempFolder();
    if (folder.empty()) return;   // unknown: the current folder is not ours to clean
    for (const FoundFile& entry : Sys().FindFiles(folder + "*.*")) {
        if (StartsWith(entry.name, kTempPrefix)) DeleteEntry(folder + entry.name, entry.attributes);
    }
}

std::string SpecialFolder(int csidl) {
    std::string path;
    if (!Sys().SpecialFolderPath(csidl, path)) return "";
    return UpToNul(path);
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return Sys().CompareIgnoreCase(a, b) < 0;
}

// A heap sort: n log n comparisons at worst, as std::sort, without the three other algorithms
// of its introsort (1 KB of code).
void SortIgnoringCase(std::vector<std::string>& names) {
    std::make_heap(names.begin(), names.end(), LessIgnoringCase);
    std::sort_heap(names.begin(), names.end(), LessIgnoringCase);
}

std::string TempPrefixFromTitle(const std::string& title) {
    std::string prefix = "~";
    for (char c : title)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) prefix += c;
    return prefix;
}

WriteOutcome WriteWholeFile(const std::string& path, const void* data, size_t size, FileShare share,
                            uint32_t dosDateTime, bool folderChecked) {
    if (!folderChecked && LeadsThroughLink(path)) return WriteOutcome::Refused;
    if (Sys().CreateNewFile(path, data, size, share, dosDateTime)) return WriteOutcome::Written;
    const std::vector<FoundFile> existing = Sys().FindFiles(path);
    if (existing.empty()) return WriteOutcome::Failed;   // the disk or the rights refuse
    const uint32_t attributes = existing.front().attributes;
    if ((attributes & kAttrReparsePoint) && LeadsThroughLink(path)) return WriteOutcome::Refused;
    // Windows refuses to write over these when normal attributes are asked for.
    if (attributes & (kAttrDirectory | kAttrReadOnly | kAttrHidden | kAttrSystem)) return WriteOutcome::Failed;
    const std::string swap = WriteSwapFile(FolderOf(path), data, size, share, dosDateTime);
    if (swap.empty()) return WriteOutcome::Failed;
    if (Sys().MoveReplacing(swap, path)) return WriteOutcome::Written;
    Sys().DeleteFileAt(swap);   // a file held open by another program keeps its old content
    return WriteOutcome::Failed;
}

// Any user may make the product's folder under the all-users data before an administrator
// installs, and then owns it. The all-users folder itself and its parents belong to the system
// and are junctions on purpose on some Windows.
bool LeadsThroughLink(const std::string& path) {
    if (!sharedDataFolder) {
        const std::string appData = SpecialFolder(CSIDL_COMMON_APPDATA);
        sharedDataFolder = appData.empty() ? std::string() : JoinPath(appData, "Velmorra");
    }
    const std::string& root = *sharedDataFolder;
    if (root.empty()) return false;
    if (path.size() < root.size() || !EqualNoCase(path.substr(0, root.size()), root)) return false;
    if (path.size() > root.size() && path[root.size()] != '\\') return false;   // another folder
    for (size_t end = root.size();;) {
        const std::string head = path.substr(0, end);
        if (head.back() != '\\' && IsLink(head)) return true;
        if (end >= path.size()) return false;
        end = path.find('\\', end + 1);
        if (end == std::string::npos) end = path.size();
    }
}

void ForgetSharedDataFolder() { sharedDataFolder.reset(); }
