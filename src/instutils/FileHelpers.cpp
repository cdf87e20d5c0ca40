#include "instutils/FileHelpers.h"

#include <algorithm>

#include "instutils/DateTime.h"
#include "platform/Platform.h"

const char* const kTempPrefix = "~InstallationdutraitementdetexteVelmorra";

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

// Without a shell link object there is nothing to save, so nothing is logged either.
bool CreateShortcut(const std::string& linkFile, const std::string& target, const std::string& workingFolder,
                    const std::string& description, SharedData& shared, Recorder& recorder) {
    std::unique_ptr<ShellLink> link = Sys().NewShellLink();
    if (!link) return false;
    link->SetPath(target);
    link->SetWorkingDirectory(workingFolder);
    link->SetDescription(description);
    MakeFolderPath(FolderOf(linkFile), shared, recorder);
    if (!link->Save(linkFile)) return false;   // the uninstaller must not look for a link that is not there
    recorder.FileWritten(linkFile);
    return true;
}

WriteOutcome WriteTextFile(const std::string& fileName, const std::string& text, SharedData& shared) {
    FolderHold hold(shared);
    return WriteWholeFile(hold, fileName, text.data(), text.size(), FileShare::Read, 0, Durability::Flushed);
}

// Read-only files are left as they are, and with them the folders that hold them.
void DeleteFolderTree(const std::string& folder) {
    if (folder.empty()) return;   // "" would mean the current directory
    DeleteTreeNoLink(folder);
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
    std::string folder;
    Sys().TempPath(folder);
    folder = UpToNul(folder);
    if (!FolderExists(folder)) folder = SpecialFolder(CSIDL_PERSONAL);
    WithTrailingBackslash(folder);
    return folder;
}

bool TempPathUnnameable() {
    std::string folder;
    return Sys().TempPath(folder) == PathAnswer::Unnameable;
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

std::vector<std::string> DeleteTempItems() {
    std::vector<std::string> staying;
    const std::string folder = TempFolder();
    if (folder.empty()) return staying;   // unknown: the current folder is not ours to clean
    // Another user may make such entries in a shared TEMP and swap them for links meanwhile.
    for (const FoundFile& entry : Sys().FindFiles(folder + "*.*")) {
        if (StartsWith(entry.name, kTempPrefix) && !DeleteTreeNoLink(folder + entry.name))
            staying.push_back(folder + entry.name);
    }
    return staying;
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
