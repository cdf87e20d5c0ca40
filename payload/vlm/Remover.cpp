#include "Remover.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"

namespace {

const char kProgramName[] = "vlm.exe";
const char kLogName[] = "Install.log";
const char kLinkName[] = "Traitement de texte Velmorra.lnk";
const char kFileLine[] = "File Copy: ";
const char kFolderLine[] = "Made Dir: ";
const char kPrivatePrefix[] = "~vlm";
// The stand-in's own traces beside its file: part of the program, not of the user's data.
const char* const kOwnTraces[] = {"vlm-starts.log", "vlm-cwd.log"};

const char kProgIdKey[] = "Software\\Classes\\Velmorra.Document";
const char kProgId[] = "Velmorra.Document";
const char* const kExtensions[] = {".rtf", ".cod", ".doc", ".docx"};
const char kProductKey[] = "Software\\Velmorra Word Processor";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmorra Word Processor";

const char kAskText[] = "Voulez-vous vraiment supprimer Traitement de texte Velmorra et tous ses composants ?";
const char kUnreadableText[] = "Le journal d'installation \"%s\" ne peut pas être lu.\rRien n'a été supprimé.";
const char kElevationText[] = "La suppression de Traitement de texte Velmorra demande les droits d'administrateur, "
                              "qui ont été refusés.\rRien n'a été supprimé.";
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

bool Exists(const std::string& path) { return !Sys().FindFiles(path).empty(); }

std::string TempPath() {
    std::string temp;
    Sys().TempPath(temp);
    return temp;
}

std::string WithoutTrailingBackslash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

// The allowed root (ending in a backslash) a file lies in; empty when it lies in none.
std::string RootOfFile(const Places& places, const std::string& path) {
    if (path.empty() || path.back() == '\\') return "";
    for (const std::string* root : {&places.destination, &places.sharedData})
        if (Inside(path, *root, false)) return *root;
    for (const std::string& folder : places.shortcutFolders)
        if (EqualNoCase(path, JoinPath(folder, kLinkName))) return FolderOf(path);
    return "";
}

std::string RootOfFolder(const Places& places, const std::string& path) {
    for (const std::string* root : {&places.destination, &places.sharedData})
        if (Inside(path, *root, true)) return *root;
    for (std::string folder : places.shortcutFolders) {
        WithTrailingBackslash(folder);
        if (Inside(path, folder, true) && path.size() <= folder.size()) return folder;
    }
    return "";
}

// The folders from an allowed root down to one inside it, each opened without following a
// link and held while the work goes on inside: none can be swapped for a link meanwhile.
// Kept from one path to the next, so that a folder's files share its holds.
class HeldPath {
public:
    // False when one of the folders is a link, not a folder, or missing.
    bool Reach(const std::string& root, const std::string& folder) {
        std::vector<std::string> wanted{WithoutTrailingBackslash(root)};
        const std::string rest = WithoutTrailingBackslash(folder).substr(wanted[0].size());
        for (size_t slash = rest.find('\\', 1); !rest.empty(); slash = rest.find('\\', slash + 1)) {
            wanted.push_back(wanted[0] + rest.substr(0, slash));
            if (slash == std::string::npos) break;
        }
        size_t same = 0;
        while (same < paths_.size() && same < wanted.size() && EqualNoCase(paths_[same], wanted[same])) ++same;
        Drop(same);
        for (size_t i = same; i < wanted.size(); ++i) {
            std::unique_ptr<HeldFolder> held = Sys().HoldFolder(wanted[i]);
            if (!held) return false;
            paths_.push_back(wanted[i]);
            holds_.push_back(std::move(held));
        }
        return true;
    }
    void Drop(size_t kept = 0) {
        paths_.resize(kept);
        while (holds_.size() > kept) holds_.pop_back();
    }

private:
    std::vector<std::string> paths_;
    std::vector<std::unique_ptr<HeldFolder>> holds_;
};

// Deletes the file through held folders, never through a link; one that stays (held open,
// read-only, a link, or reached through one) is added to held.
void RemoveFile(HeldPath& path, const std::string& root, const std::string& file, std::vector<std::string>& held) {
    if (!path.Reach(root, FolderOf(file))) {
        if (Exists(file)) held.push_back(file);
        return;
    }
    const DeleteOutcome outcome = Sys().DeleteEntryNoLink(file, false);
    if (outcome == DeleteOutcome::Refused || outcome == DeleteOutcome::Failed) held.push_back(file);
}

// The installed program is still ending when its copy starts: give it a moment.
void RemoveEndingProgram(HeldPath& path, const std::string& root, const std::string& program,
                         std::vector<std::string>& held) {
    for (int i = 0; i < kWaitTries; ++i) {
        std::vector<std::string> stays;
        RemoveFile(path, root, program, stays);
        if (stays.empty()) return;
        Sys().SleepMs(100);
    }
    held.push_back(program);
}

size_t Depth(const std::string& folder) {
    size_t end = folder.size();
    if (end > 0 && folder[end - 1] == '\\') --end;
    return static_cast<size_t>(std::count(folder.begin(), folder.begin() + end, '\\'));
}

// A folder goes only when empty (a document saved there keeps it), deepest first, with the
// folders above it held; a link in its place stays and is reported.
void RemoveFolders(const Places& places, std::vector<std::string> folders, std::vector<std::string>& held) {
    std::stable_sort(folders.begin(), folders.end(),
                     [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
    HeldPath path;
    for (const std::string& folder : folders) {
        const std::string root = RootOfFolder(places, folder), plain = WithoutTrailingBackslash(folder);
        if (root.empty()) continue;
        if (EqualNoCase(plain, WithoutTrailingBackslash(root))) path.Drop();
        else if (!path.Reach(root, FolderOf(plain))) continue;
        if (Sys().DeleteEntryNoLink(plain, true) == DeleteOutcome::Refused) held.push_back(folder);
    }
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

bool ReadLog(const std::string& logPath, bool silent, std::vector<std::string>& lines) {
    std::string text;
    if (!Sys().ReadWholeFile(logPath, text)) {
        if (!silent) Sys().ShowMessageBox(UnreadableMessage(logPath), "Erreur", kOkError);
        return false;
    }
    lines = SplitLines(text);
    return true;
}

bool StartsWith(const std::string& line, const std::string& prefix) {
    return line.size() > prefix.size() && line.compare(0, prefix.size(), prefix) == 0;
}

std::string CopyArguments(const RemovalSwitches& switches, const std::string& program) {
    return std::string("-ui ") + (switches.silent ? "/S " : "") + "\"" + program + "\"";
}

// A folder of its own in the temporary folder, made where nothing had that name and that only
// this user may open: no DLL can be planted in it, before or after. Its name cannot be guessed.
std::string MakePrivateFolder() {
    const std::string temp = TempPath();
    for (int tries = 0; tries < 16 && !temp.empty(); ++tries) {
        char name[24];
        std::snprintf(name, sizeof name, "%s%08X.tmp", kPrivatePrefix, static_cast<unsigned>(Sys().RandomNumber()));
        const std::string folder = JoinPath(temp, name);
        if (Sys().CreatePrivateDir(folder)) return folder;
    }
    return "";
}

// Runs the copy and gives its exit code; false when no copy could run.
bool RunCopy(const RemovalSwitches& switches, const std::string& self, int& code) {
    const std::string folder = MakePrivateFolder();
    if (folder.empty()) return false;
    const std::string copy = JoinPath(folder, kProgramName);
    std::string bytes;
    uint32_t passed = 0;
    if (Sys().ReadWholeFile(self, bytes)) {
        if (Sys().RunProgramDeletedOnExit(copy, bytes, CopyArguments(switches, self), passed)) {
            code = static_cast<int>(passed);
            return true;
        }
        Sys().DeleteEntryNoLink(copy, false);
    }
    Sys().DeleteEntryNoLink(folder, true);
    return false;
}

// A removal started without the rights its installation needs (per machine, on Vista and
// later) starts again with them; false when it needs none.
bool NeedsElevation(const RemovalSwitches& switches, const std::string& self) {
    unsigned platformId = 0, major = 0;
    if (switches.restarted || !Sys().GetVersion(platformId, major) || platformId != 2 || major < 6) return false;
    return EqualNoCase(ProgramOf(StringValueOf(RegRoot::LocalMachine, kUninstallKey, "UninstallString")), self) &&
           !Sys().IsElevated();
}

int RestartElevated(const RemovalSwitches& switches, const std::string& self) {
    uint32_t code = 0;
    if (Sys().RunElevated(self, std::string("-ui /RUNAS") + (switches.silent ? " /S" : ""), code))
        return static_cast<int>(code);
    if (!switches.silent) Sys().ShowMessageBox(kElevationText, "Erreur", kOkError);
    return kRemovalSaidNo;
}

void ReportHeld(const std::vector<std::string>& held) {
    std::string text = kHeldText;
    for (const std::string& path : held) text += path + "\r";
    text.pop_back();
    Sys().ShowMessageBox(text + kHeldEnd, "Avertissement", kOkWarning);
}

// The copy's own folder, once the copy has moved its file out: a running program's file can be
// renamed, not deleted; it goes when the copy ends.
void RemovePrivateFolder(const std::string& self) {
    const std::string folder = FolderOf(self), temp = TempPath();
    if (temp.empty() || !EqualNoCase(FolderOf(WithoutTrailingBackslash(folder)), temp) ||
        !StartsWithNoCase(folder.substr(temp.size()), kPrivatePrefix))
        return;
    for (const char* trace : kOwnTraces) Sys().DeleteEntryNoLink(folder + trace, false);
    char name[24];
    std::snprintf(name, sizeof name, "%s%08X.tmp", kPrivatePrefix, static_cast<unsigned>(Sys().RandomNumber()));
    const std::string moved = JoinPath(temp, name);
    if (Sys().MoveOwnFile(moved)) Sys().DeleteEntryNoLink(WithoutTrailingBackslash(folder), true);
}

}  // namespace

bool ParseRemovalSwitches(const std::string& arguments, RemovalSwitches& switches) {
    size_t at = 0;
    while (at < arguments.size()) {
        if (arguments[at] == ' ' || arguments[at] == '\t') {
            ++at;
            continue;
        }
        if (arguments[at] == '"') {
            const size_t close = arguments.find('"', at + 1);
            if (close == std::string::npos || !switches.program.empty()) return false;
            switches.program = arguments.substr(at + 1, close - at - 1);
            at = close + 1;
            continue;
        }
        size_t end = arguments.find_first_of(" \t", at);
        if (end == std::string::npos) end = arguments.size();
        const std::string word = arguments.substr(at, end - at);
        if (EqualNoCase(word, "/S")) switches.silent = true;
        else if (EqualNoCase(word, "/RUNAS")) switches.restarted = true;
        else return false;
        at = end;
    }
    return true;
}

int StartRemoval(const RemovalSwitches& switches) {
    const std::string self = Sys().ModuleFileName();
    if (NeedsElevation(switches, self)) return RestartElevated(switches, self);
    if (!switches.silent && Sys().ShowMessageBox(kAskText, "Confirmation", kYesNoQuestion) != kIdYes)
        return kRemovalSaidNo;
    std::vector<std::string> lines;
    if (!ReadLog(JoinPath(FolderOf(self), kLogName), switches.silent, lines)) return kRemovalFailed;

    int code = kRemovalFailed;
    if (RunCopy(switches, self, code)) return code;
    // No copy could run: do the work here; this program's own file goes at the next restart.
    RemovalSwitches here = switches;
    here.program = self;
    return FinishRemoval(here);
}

int FinishRemoval(const RemovalSwitches& switches) {
    const std::string& program = switches.program;
    // The path comes from a command line: never take another program for the product's.
    if (!EqualNoCase(program.substr(FolderOf(program).size()), kProgramName)) return kRemovalBadSwitch;
    const std::string self = Sys().ModuleFileName();
    // Not a folder of the installation as current directory: it could not be removed.
    const std::string temp = TempPath();
    Sys().SetCurrentDir(temp.empty() ? FolderOf(self) : temp);

    const Places places = PlacesOf(program);
    const std::string logPath = JoinPath(places.destination, kLogName);
    std::vector<std::string> lines;
    if (!ReadLog(logPath, switches.silent, lines)) return kRemovalFailed;

    std::vector<std::string> held, folders;
    HeldPath path;
    for (const std::string& line : lines) {
        if (StartsWith(line, kFileLine)) {
            const std::string file = line.substr(sizeof kFileLine - 1), root = RootOfFile(places, file);
            if (!root.empty() && !EqualNoCase(file, program) && !EqualNoCase(file, logPath))
                RemoveFile(path, root, file, held);
        } else if (StartsWith(line, kFolderLine)) {
            const std::string folder = line.substr(sizeof kFolderLine - 1);
            if (!RootOfFolder(places, folder).empty()) folders.push_back(folder);
        }
    }
    for (const char* trace : kOwnTraces) RemoveFile(path, places.destination, places.destination + trace, held);
    RemoveFile(path, places.destination, logPath, held);
    path.Drop();
    RemoveFolders(places, folders, held);
    RemoveRegistry(program);

    const int code = held.empty() ? kRemovalDone : kRemovalFileHeld;
    if (!held.empty() && !switches.silent) ReportHeld(held);
    if (EqualNoCase(self, program)) {
        Sys().DeleteAtRestart(program);
        return code;
    }
    // The installed program ends with this code; then its file and its folder can go.
    Sys().ReleaseStarter(static_cast<uint32_t>(code));
    std::vector<std::string> stays;
    RemoveEndingProgram(path, places.destination, program, stays);
    path.Drop();
    if (!stays.empty()) Sys().DeleteAtRestart(program);
    RemoveFolders(places, folders, stays);
    RemovePrivateFolder(self);
    return code;
}

int RemoveAsAsked(const std::string& arguments) {
    RemovalSwitches switches;
    if (!ParseRemovalSwitches(arguments, switches)) return kRemovalBadSwitch;
    return switches.program.empty() ? StartRemoval(switches) : FinishRemoval(switches);
}
