#include "instutils/FileHelpers.h"

#include "instutils/DateTime.h"
#include "instutils/InstallLog.h"
#include "instutils/Paths.h"
#include "platform/Platform.h"

const char* const kTempPrefix = "~InstallationdutraitementdetexteVelmorra";

namespace {

std::string UpToNul(std::string text) {
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
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

void WriteTextFile(const std::string& fileName, const std::string& text) {
    Sys().WriteNewFile(fileName, text.data(), text.size(), FileShare::Read);
}

// Read-only files are left as they are, and with them the folders that hold them.
void DeleteFolderTree(const std::string& folder) {
    if (folder.empty()) return;   // "" would mean the current directory
    std::string path = folder;
    WithTrailingBackslash(path);
    for (const FoundFile& entry : Sys().FindFiles(path + "*.*")) {
        if (entry.name == "." || entry.name == "..") continue;
        if (entry.attributes & kAttrDirectory)
            DeleteFolderTree(path + entry.name);
        else
            Sys().DeleteFileAt(path + entry.name);
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
        std::string name = stem + std::to_string(n) + ".tmp";
        if (!FileExists(name)) return name;
    }
}

void DeleteTempItems() {
    const std::string folder = TempFolder();
    if (folder.empty()) return;   // unknown: the current folder is not ours to clean
    for (const FoundFile& entry : Sys().FindFiles(folder + "*.*")) {
        if (!StartsWith(entry.name, kTempPrefix)) continue;
        if (entry.attributes & kAttrDirectory)
            DeleteFolderTree(folder + entry.name);
        else
            Sys().DeleteFileAt(folder + entry.name);
    }
}

std::string SpecialFolder(int csidl) {
    std::string path;
    if (!Sys().SpecialFolderPath(csidl, path)) return "";
    return UpToNul(path);
}

std::string TempPrefixFromTitle(const std::string& title) {
    std::string prefix = "~";
    for (char c : title)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) prefix += c;
    return prefix;
}
