#include "Remover.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/Paths.h"
#include "platform/Platform.h"

namespace {

const char kProgramName[] = "vlm.exe";
const char kLogName[] = "Install.log";
const char kLinkName[] = "Traitement de texte Velmorra.lnk";
const char kFileLine[] = "File Copy: ";
const char kFolderLine[] = "Made Dir: ";
const char kCopyName[] = "~VelmorraRemoval";
// The stand-in's own traces beside its file: part of the program, not of the user's data.
const char* const kOwnTraces[] = {"vlm-starts.log", "vlm-cwd.log"};

const char kProgIdKey[] = "Software\\Classes\\Velmorra.Document";
const char kProgId[] = "Velmorra.Document";
const char* const kExtensions[] = {".rtf", ".cod", ".doc", ".docx"};
const char kProductKey[] = "Software\\Velmorra Word Processor";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmorra Word Processor";

const char kAskText[] = "Voulez-vous vraiment supprimer Traitement de texte Velmorra et tous ses composants ?";
const char kUnreadableText[] = "Le journal d'installation \"%s\" ne peut pas être lu.\rRien n'a été supprimé.";
const char kHeldText[] = "Ces fichiers n'ont pas pu être supprimés :\r\r";
const char kHeldEnd[] = "\r\rUn autre programme les tient sans doute ouverts ;\r"
                        "vous pourrez les supprimer vous-même une fois ce programme fermé.";

enum : unsigned { kYesNoQuestion = 0x24, kOkError = 0x10, kOkWarning = 0x30 };
const int kIdYes = 6;
const int kWaitTries = 100;   // for the installed program to end, 100 ms apart

// Where a removal may act: the installed program's folder, the shared data folder, and the
// four shortcut folders (programs menu and desktop, all users and this user).
struct Places {
    std::string destination;   // both with a trailing backslash
    std::string sharedData;
    std::vector<std::string> shortcutFolders;
};

std::string SharedDataFolder() {
    std::string folder = SpecialFolder(35);
    if (folder.empty()) folder = SpecialFolder(5);
    if (folder.empty()) return "";
    std::string shared = JoinPath(folder, "Velmorra");
    WithTrailingBackslash(shared);
    return shared;
}

Places PlacesOf(const std::string& installedProgram) {
    Places places{FolderOf(installedProgram), SharedDataFolder(), {}};
    for (int csidl : {23, 2, 25, 16}) {
        std::string folder = SpecialFolder(csidl);
        if (!folder.empty()) places.shortcutFolders.push_back(folder);
    }
    return places;
}

// A plain relative path: no empty part (doubled backslash), no "." or ".." part (nor one the
// system would shorten to it by dropping trailing dots and spaces), no stream or wildcard.
bool PlainRelative(const std::string& rest) {
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos) end = rest.size();
        const std::string part = rest.substr(start, end - start);
        if (part.empty() || part.back() == '.' || part.back() == ' ' ||
            part.find_first_of(":/*?\"<>|") != std::string::npos)
            return false;
        start = end + 1;
    }
    return true;
}

// True when path lies in folder (which ends in a backslash); the folder itself counts when
// orSame is set. A trailing backslash on path is allowed.
bool Inside(const std::string& path, const std::string& folder, bool orSame) {
    if (folder.size() < 2 || path.size() < folder.size() - 1) return false;
    std::string p = path;
    if (!p.empty() && p.back() == '\\') p.pop_back();
    std::string f = folder.substr(0, folder.size() - 1);
    if (EqualNoCase(p, f)) return orSame;
    if (p.size() <= folder.size() || !EqualNoCase(p.substr(0, folder.size()), folder)) return false;
    return PlainRelative(p.substr(folder.size()));
}

bool MayRemoveFile(const Places& places, const std::string& path) {
    if (Inside(path, places.destination, false) && path.back() != '\\') return true;
    if (Inside(path, places.sharedData, false) && path.back() != '\\') return true;
    for (const std::string& folder : places.shortcutFolders)
        if (EqualNoCase(path, JoinPath(folder, kLinkName))) return true;
    return false;
}

bool MayRemoveFolder(const Places& places, const std::string& path) {
    if (Inside(path, places.destination, true) || Inside(path, places.sharedData, true)) return true;
    for (std::string folder : places.shortcutFolders) {
        WithTrailingBackslash(folder);
        if (Inside(path, folder, true) && path.size() <= folder.size()) return true;
    }
    return false;
}

bool Exists(const std::string& path) { return !Sys().FindFiles(path).empty(); }

// Deletes the file; one that stays (held open, read-only) is added to held.
void RemoveFile(const std::string& path, std::vector<std::string>& held) {
    if (!Sys().DeleteFileAt(path) && Exists(path)) held.push_back(path);
}

// The installed program is still ending when its copy starts: give it a moment.
void RemoveEndingProgram(const std::string& path, std::vector<std::string>& held) {
    for (int i = 0; i < kWaitTries; ++i) {
        if (Sys().DeleteFileAt(path) || !Exists(path)) return;
        Sys().SleepMs(100);
    }
    held.push_back(path);
}

size_t Depth(const std::string& folder) {
    size_t end = folder.size();
    if (end > 0 && folder[end - 1] == '\\') --end;
    return static_cast<size_t>(std::count(folder.begin(), folder.begin() + end, '\\'));
}

// A folder goes only when empty: a document saved there keeps it.
void RemoveFolders(std::vector<std::string> folders) {
    std::stable_sort(folders.begin(), folders.end(),
                     [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
    for (const std::string& folder : folders) Sys().RemoveDir(folder);
}

std::string StringValue(RegistryKey& key, const std::string& name) {
    RegType type = RegType::None;
    std::string bytes;
    if (!key.Query(name, type, bytes) || type != RegType::String) return "";
    return bytes.substr(0, bytes.find('\0'));
}

std::string StringValueOf(RegRoot root, const std::string& path, const std::string& name) {
    std::unique_ptr<RegistryKey> key = Sys().OpenExistingKey(root, path);
    return key ? StringValue(*key, name) : "";
}

// The program a command line starts: its first, quoted, part.
std::string ProgramOf(const std::string& commandLine) {
    if (commandLine.size() < 2 || commandLine[0] != '"') return "";
    size_t close = commandLine.find('"', 1);
    return close == std::string::npos ? "" : commandLine.substr(1, close - 1);
}

// Only the associations whose command still starts this program: another installation may
// have taken them over since.
void RemoveAssociations(const std::string& program) {
    const std::string command = StringValueOf(RegRoot::CurrentUser, std::string(kProgIdKey) + "\\shell\\open\\command", "");
    if (!EqualNoCase(command, "\"" + program + "\" \"%1\"")) return;
    for (const char* extension : kExtensions) {
        const std::string key = std::string("Software\\Classes\\") + extension;
        if (!EqualNoCase(StringValueOf(RegRoot::CurrentUser, key, ""), kProgId)) continue;
        Sys().DeleteRegistryValue(RegRoot::CurrentUser, key, "");
        Sys().DeleteRegistryKey(RegRoot::CurrentUser, key, true);
    }
    for (const char* sub : {"\\shell\\open\\command", "\\shell\\open", "\\shell", "\\DefaultIcon", ""})
        Sys().DeleteRegistryKey(RegRoot::CurrentUser, std::string(kProgIdKey) + sub, false);
}

void RemoveRegistry(const std::string& program) {
    // The uninstall entry of this installation, or of one whose program is gone; not that of
    // another installation still in place.
    const std::string entry = ProgramOf(StringValueOf(RegRoot::LocalMachine, kUninstallKey, "UninstallString"));
    if (EqualNoCase(entry, program) || entry.empty() || !Exists(entry))
        Sys().DeleteRegistryKey(RegRoot::LocalMachine, kUninstallKey, false);
    Sys().DeleteRegistryKey(RegRoot::CurrentUser, std::string(kProductKey) + "\\Install", false);
    Sys().DeleteRegistryKey(RegRoot::CurrentUser, std::string(kProductKey) + "\\Internal", false);
    Sys().DeleteRegistryKey(RegRoot::CurrentUser, kProductKey, true);
    RemoveAssociations(program);
}

std::string UnreadableMessage(const std::string& logPath) {
    std::string text = kUnreadableText;
    text.replace(text.find("%s"), 2, logPath);
    return text;
}

bool ReadLog(const std::string& logPath, std::vector<std::string>& lines) {
    std::string text;
    if (!Sys().ReadWholeFile(logPath, text)) {
        Sys().ShowMessageBox(UnreadableMessage(logPath), "Erreur", kOkError);
        return false;
    }
    lines = SplitLines(text);
    return true;
}

bool StartsWith(const std::string& line, const std::string& prefix) {
    return line.size() > prefix.size() && line.compare(0, prefix.size(), prefix) == 0;
}

// A free name for the copy in the temporary folder: an earlier one may still be running.
std::string CopyPath() {
    const std::string temp = Sys().TempPath();
    if (temp.empty()) return "";
    for (int n = 0; n < 10; ++n) {
        std::string path = JoinPath(temp, kCopyName + (n ? std::to_string(n) : std::string()) + ".exe");
        if (!Exists(path) || Sys().DeleteFileAt(path)) return path;
    }
    return "";
}

}  // namespace

int StartRemoval() {
    const std::string self = Sys().ModuleFileName();
    if (Sys().ShowMessageBox(kAskText, "Confirmation", kYesNoQuestion) != kIdYes) return 0;
    std::vector<std::string> lines;
    if (!ReadLog(JoinPath(FolderOf(self), kLogName), lines)) return 1;

    const std::string copy = CopyPath();
    std::string bytes;
    if (!copy.empty() && Sys().ReadWholeFile(self, bytes) &&
        Sys().WriteNewFile(copy, bytes.data(), bytes.size(), FileShare::None)) {
        if (Sys().StartProgramDeletedOnExit(copy, "-ui \"" + self + "\"")) return 0;
        Sys().DeleteFileAt(copy);
    }
    // No copy could run: do the work here; this program's own file goes at the next restart.
    return FinishRemoval(self);
}

int FinishRemoval(const std::string& program) {
    // The path comes from a command line: never take another program for the product's.
    if (!EqualNoCase(program.substr(FolderOf(program).size()), kProgramName)) return 2;
    const std::string self = Sys().ModuleFileName();
    // Not a folder of the installation as current directory: it could not be removed.
    const std::string temp = Sys().TempPath();
    Sys().SetCurrentDir(temp.empty() ? FolderOf(self) : temp);

    const Places places = PlacesOf(program);
    const std::string logPath = JoinPath(places.destination, kLogName);
    std::vector<std::string> lines;
    if (!ReadLog(logPath, lines)) return 1;

    std::vector<std::string> held, folders;
    for (const std::string& line : lines) {
        if (StartsWith(line, kFileLine)) {
            const std::string path = line.substr(sizeof kFileLine - 1);
            if (MayRemoveFile(places, path) && !EqualNoCase(path, program) && !EqualNoCase(path, logPath))
                RemoveFile(path, held);
        } else if (StartsWith(line, kFolderLine)) {
            const std::string path = line.substr(sizeof kFolderLine - 1);
            if (MayRemoveFolder(places, path)) folders.push_back(path);
        }
    }
    // The program and its log last: a removal cut short can be run again.
    const bool running = EqualNoCase(self, program);
    if (running) Sys().DeleteAtRestart(program);
    else RemoveEndingProgram(program, held);
    for (const char* trace : kOwnTraces) Sys().DeleteFileAt(places.destination + trace);
    RemoveFile(logPath, held);
    RemoveFolders(folders);
    RemoveRegistry(program);

    if (!held.empty()) {
        std::string text = kHeldText;
        for (const std::string& path : held) text += path + "\r";
        text.pop_back();
        Sys().ShowMessageBox(text + kHeldEnd, "Avertissement", kOkWarning);
    }
    if (!running)
        for (const char* trace : kOwnTraces) Sys().DeleteFileAt(JoinPath(FolderOf(self), trace));
    return held.empty() ? 0 : 1;
}
