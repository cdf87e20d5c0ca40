#include "instutils/SafeFiles.h"

#include <cctype>

#include "instutils/TextError.h"
#include "platform/Platform.h"

namespace {

DeleteOutcome RemoveEntryIn(HeldFolder& parent, const std::string& path, const std::string& name,
                            uint32_t attributes, unsigned depth);

// Passes every folder made on, and keeps the first.
class FirstFolderMade : public Recorder {
public:
    explicit FirstFolderMade(Recorder& next) : next_(next) {}
    void FolderMade(const std::string& folder) override {
        if (made.empty()) made = folder;
        next_.FolderMade(folder);
    }
    void FileWritten(const std::string& file) override { next_.FileWritten(file); }
    std::string made;

private:
    Recorder& next_;
};

// Deeper than the product's own folders: left as it is, and never written into.
const unsigned kTakeBackDepth = 16;
// Deeper than this, a temporary item is left: the walk's stack stays small.
const unsigned kDeleteDepth = 64;

bool IsLink(const std::string& path) {
    const std::vector<FoundFile> found = Sys().FindFiles(path);
    return !found.empty() && (found.front().attributes & kAttrReparsePoint);
}

bool IsWithin(const std::string& path, const std::string& root) {
    if (root.empty() || path.size() < root.size() || !EqualNoCase(path.substr(0, root.size()), root)) return false;
    return path.size() == root.size() || path[root.size()] == '\\';   // not another folder of that stem
}

// "C:\A\" as the system opens folders: "C:\A", but "C:\" for a root.
std::string FolderName(std::string folder) {
    if (folder.size() > 3 && LastChar(folder) == '\\') DropLastChar(folder);
    return folder;
}

std::string HexText(uint32_t value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[size_t(i)] = kHex[value & 15];
    return text;
}

// The name of a path in its folder: "b" for "C:\\a\\b".
std::string NameOf(const std::string& path) { return path.substr(FolderOf(path).size()); }

// The name a new file gets by path, which drops trailing dots and spaces; a name given to the
// held folder is taken as it is, and one ending so could not be reached by path again.
std::string NewFileNameOf(const std::string& path) {
    std::string name = NameOf(path);
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name;
}

// A new file of folder, through the held folder's handle when there is one.
bool CreateIn(HeldFolder* held, const std::string& path, const void* data, size_t size, FileShare share,
              uint32_t dosDateTime, Durability durability) {
    if (held) return Sys().CreateNewFileIn(*held, NewFileNameOf(path), data, size, share, dosDateTime, durability);
    return Sys().CreateNewFile(path, data, size, share, dosDateTime, durability);
}

// A name in folder that nothing holds yet, created with the bytes; empty when none can be made.
// The random part keeps a folder's owner from taking every name in advance.
std::string WriteSwapFile(HeldFolder* held, const std::string& folder, const void* data, size_t size,
                          FileShare share, uint32_t dosDateTime, Durability durability) {
    for (unsigned tries = 0; tries < 1000; ++tries) {
        const std::string name = folder + "~vlm" + HexText(Sys().RandomNumber()) + ".tmp";
        if (CreateIn(held, name, data, size, share, dosDateTime, durability)) return name;
        if (Sys().FindFiles(name).empty()) return "";   // not a taken name: the disk or the rights refuse
    }
    return "";
}

// What a run cut short left beside the files it wrote; a link or a folder of that name stays.
void RemoveLeftoverReplacements(const std::string& folder) {
    for (const FoundFile& entry : Sys().FindFiles(folder + "~vlm*.tmp"))
        if (IsReplacementName(entry.name)) Sys().DeleteEntryNoLink(folder + entry.name, false);
}

void TakeBackEntry(const std::string& path) {
    if (!IsTrustedOwner(Sys().OwnerOf(path))) Sys().TakeBack(path);
}

void TakeBackTree(const std::string& folder, unsigned depth);

// The entries of a folder taken back already, held while they are.
void TakeBackBelow(const std::string& folder, unsigned depth) {
    const std::unique_ptr<HeldFolder> held = Sys().HoldFolder(folder);
    if (!held) return;   // a link or gone: never entered
    for (const FoundFile& entry : Sys().FindFiles(JoinPath(folder, "*.*"))) {
        if (entry.name == "." || entry.name == ".." || (entry.attributes & kAttrReparsePoint)) continue;
        const std::string path = JoinPath(folder, entry.name);
        if (!(entry.attributes & kAttrDirectory)) TakeBackEntry(path);
        else if (depth < kTakeBackDepth) TakeBackTree(path, depth + 1);
    }
}

// Taken back first (its owner's permissions could deny even opening it), then held while its
// entries are taken back, so that the names below it lead where they did. Its parent is held
// or the system's, so the folder itself cannot be swapped in between.
void TakeBackTree(const std::string& folder, unsigned depth) {
    TakeBackEntry(folder);
    TakeBackBelow(folder, depth);
}

// Every entry of the held folder goes through its own handle, opened without following a link:
// a link goes as a link, and a folder is entered only through its parent's handle, so an entry
// swapped for a link after the listing leads nowhere. What stays (read-only, held open) stays.
void EmptyHeldFolder(HeldFolder& folder, const std::string& path, unsigned depth) {
    for (const FoundFile& entry : Sys().FindFiles(JoinPath(path, "*.*"))) {
        if (entry.name == "." || entry.name == "..") continue;
        RemoveEntryIn(folder, JoinPath(path, entry.name), entry.name, entry.attributes, depth);
    }
}

}  // namespace

const std::string& SharedData::Folder() {
    if (!folder_) {
        const std::string appData = SpecialFolder(CSIDL_COMMON_APPDATA);
        folder_ = appData.empty() ? std::string() : JoinPath(appData, "Velmorra");
    }
    return *folder_;
}

void SharedData::TakeBackOnce() {
    if (takenBack_ || Sys().FindFiles(Folder()).empty()) return;
    takenBack_ = true;
    TakeBackSharedDataFolder(Folder());
}

// These operations call each other (MakeFolderPath -> FolderExists): the lock is re-entrant.
CurrentDirectoryGuard::CurrentDirectoryGuard() {
    Sys().CurrentDirectoryLock().Acquire();
    saved_ = CurrentDirectory();
}

CurrentDirectoryGuard::~CurrentDirectoryGuard() {
    Sys().SetCurrentDir(saved_);
    Sys().CurrentDirectoryLock().Release();
}

namespace {

DeleteOutcome RemoveEntryIn(HeldFolder& parent, const std::string& path, const std::string& name,
                            uint32_t attributes, unsigned depth) {
    // The listing only says which kind to try first: the entry may have changed since.
    const EntryKind listed = (attributes & kAttrReparsePoint) ? EntryKind::Link
                             : (attributes & kAttrDirectory)  ? EntryKind::Folder
                                                              : EntryKind::File;
    for (EntryKind kind : {listed, EntryKind::Link, EntryKind::File, EntryKind::Folder}) {
        if (kind == EntryKind::Folder && depth < kDeleteDepth)
            if (std::unique_ptr<HeldFolder> held = Sys().HoldFolderIn(parent, name))
                EmptyHeldFolder(*held, path, depth + 1);
        const DeleteOutcome outcome = Sys().DeleteEntryIn(parent, name, kind);
        if (outcome != DeleteOutcome::Refused) return outcome;
    }
    return DeleteOutcome::Refused;
}

}  // namespace

bool DeleteTreeNoLink(const std::string& folder) {
    const std::string plain = FolderName(folder);
    const std::string parentPath = FolderName(FolderOf(plain));
    std::unique_ptr<HeldFolder> parent = Sys().HoldFolder(parentPath);
    const std::vector<FoundFile> found = Sys().FindFiles(plain);
    if (found.empty()) return true;
    if (!parent || NameOf(plain).empty()) return false;
    const DeleteOutcome outcome = RemoveEntryIn(*parent, plain, NameOf(plain), found.front().attributes, 0);
    return outcome == DeleteOutcome::Deleted || outcome == DeleteOutcome::Missing;
}

std::unique_ptr<HeldFolder> MakeFolderPath(const std::string& folder, SharedData& shared, Recorder& recorder) {
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
    if (missing.empty() || LeadsThroughLink(folder, shared)) return nullptr;
    // Each level is made through its parent's handle: a parent swapped for a link meanwhile
    // receives nothing. A parent that cannot be held (a junction the user chose, Windows 98) is
    // made into by name, never in the shared data folder.
    std::unique_ptr<HeldFolder> parent;
    for (auto length = missing.rbegin(); length != missing.rend(); ++length) {
        const std::string made = folder.substr(0, *length), plain = FolderName(made);
        if (!parent) parent = Sys().HoldFolder(FolderName(FolderOf(plain)));
        if (parent) parent = Sys().MakeFolderIn(*parent, NameOf(plain));
        else if (!IsWithin(plain, shared.Folder())) Sys().CreateDir(made);
        recorder.FolderMade(made);
    }
    return parent;
}

// The system reads a path back in its plain form, so a folder exists only when it can be made
// current and reads back as written.
bool FolderExists(const std::string& path) {
    CurrentDirectoryGuard guard;
    std::string copy = path;
    WithTrailingBackslash(copy);
    Sys().SetCurrentDir(copy);
    return EqualNoCase(CurrentDirectory(), copy);
}

std::string CurrentDirectory() {
    std::string dir = Sys().GetCurrentDir();
    dir.resize(dir.find('\0') == std::string::npos ? dir.size() : dir.find('\0'));
    WithTrailingBackslash(dir);
    return dir;
}

std::string SpecialFolder(int csidl, bool* unnameable) {
    std::string path;
    const PathAnswer answer = Sys().SpecialFolderPath(csidl, path);
    if (unnameable) *unnameable = answer == PathAnswer::Unnameable;
    return answer == PathAnswer::Found ? UpToNul(path) : "";
}

void FolderHold::Adopt(const std::string& folder, std::unique_ptr<HeldFolder> made) {
    if (!made || IsWithin(folder, shared_.Folder())) return;
    LetGo();
    held_.push_back(std::move(made));
    folder_ = folder;
}

bool FolderHold::Holds(const std::string& folder) const { return !held_.empty() && EqualNoCase(folder, folder_); }

HeldFolder* FolderHold::Handle() const { return held_.empty() ? nullptr : held_.back().get(); }

void FolderHold::LetGo() {
    while (!held_.empty()) held_.pop_back();   // the deepest first
    folder_.clear();
}

FolderHold::Outcome FolderHold::Hold(const std::string& folder) {
    if (Holds(folder)) return Held;
    LetGo();
    const std::string& root = shared_.Folder();
    if (IsWithin(folder, root)) {
        const Outcome outcome = HoldSharedData(root, FolderName(folder));
        if (outcome != Held) LetGo();
        if (outcome != Held) return outcome;
    } else if (std::unique_ptr<HeldFolder> held = Sys().HoldFolder(FolderName(folder))) {
        held_.push_back(std::move(held));
    }
    if (held_.empty()) return Held;   // outside the shared data: written into as it is
    folder_ = folder;
    std::string prefix = folder;
    WithTrailingBackslash(prefix);
    RemoveLeftoverReplacements(prefix);
    return Held;
}

// Each folder from the shared data folder down, opened without following a link: while all
// are held, none of the names can lead anywhere else.
FolderHold::Outcome FolderHold::HoldSharedData(const std::string& root, const std::string& folder) {
    shared_.TakeBackOnce();
    for (size_t end = root.size();;) {
        const std::string level = folder.substr(0, end);
        // Below the first, each level through the one above it.
        std::unique_ptr<HeldFolder> held =
            held_.empty() ? Sys().HoldFolder(level) : Sys().HoldFolderIn(*held_.back(), NameOf(level));
        if (!held) return IsLink(level) ? Link : Missing;
        held_.push_back(std::move(held));
        if (end >= folder.size()) return Held;
        end = folder.find('\\', end + 1);
        if (end == std::string::npos) end = folder.size();
    }
}

bool IsReplacementName(const std::string& name) {
    if (name.size() != 16 || !StartsWithNoCase(name, "~vlm") || !EqualNoCase(name.substr(12), ".tmp")) return false;
    for (size_t i = 4; i < 12; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

WriteOutcome WriteWholeFile(FolderHold& folder, const std::string& path, const void* data, size_t size,
                            FileShare share, uint32_t dosDateTime, Durability durability) {
    const std::string folderPath = FolderOf(path);
    if (!folderPath.empty()) {
        const FolderHold::Outcome held = folder.Hold(folderPath);
        if (held == FolderHold::Link) return WriteOutcome::Refused;
        if (held == FolderHold::Missing) return WriteOutcome::Failed;
    }
    HeldFolder* held = folderPath.empty() ? nullptr : folder.Handle();
    if (CreateIn(held, path, data, size, share, dosDateTime, durability)) return WriteOutcome::Written;
    const std::vector<FoundFile> existing = Sys().FindFiles(path);
    if (existing.empty()) return WriteOutcome::Failed;   // the disk or the rights refuse
    const uint32_t attributes = existing.front().attributes;
    if ((attributes & kAttrReparsePoint) && LeadsThroughLink(path, folder.Shared())) return WriteOutcome::Refused;
    // Windows refuses to write over these when normal attributes are asked for.
    if (attributes & (kAttrDirectory | kAttrReadOnly | kAttrHidden | kAttrSystem)) return WriteOutcome::Failed;
    const std::string swap = WriteSwapFile(held, folderPath, data, size, share, dosDateTime, durability);
    if (swap.empty()) return WriteOutcome::Failed;
    if (Sys().MoveReplacing(swap, path, durability)) return WriteOutcome::Written;
    Sys().DeleteEntryNoLink(swap, false);   // a file held open by another program keeps its old content
    return WriteOutcome::Failed;
}

// Any user may make the product's folder under the all-users data before an administrator
// installs, and then owns it. The all-users folder itself and its parents belong to the system
// and are junctions on purpose on some Windows.
bool LeadsThroughLink(const std::string& path, SharedData& shared) {
    const std::string& root = shared.Folder();
    if (!IsWithin(path, root)) return false;
    for (size_t end = root.size();;) {
        const std::string head = path.substr(0, end);
        if (head.back() != '\\' && IsLink(head)) return true;
        if (end >= path.size()) return false;
        end = path.find('\\', end + 1);
        if (end == std::string::npos) end = path.size();
    }
}

bool IsTrustedOwner(const std::string& sid) {
    return sid == "S-1-5-32-544" || sid == "S-1-5-18" ||
           sid == "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";   // TrustedInstaller
}

void TakeBackSharedDataFolder(const std::string& root) {
    if (!Sys().IsElevated()) return;
    TakeBackTree(root, 0);
    Sys().DropOwnershipPrivileges();
}

void ProtectInstallFolder(const std::string& folder, SharedData& shared, Recorder& recorder) {
    if (!Sys().IsElevated()) return;
    const std::string plain = FolderName(folder), programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
    const std::vector<FoundFile> found = Sys().FindFiles(plain);
    if (!found.empty() && (found.front().attributes & kAttrReparsePoint)) throw TextError(InstallFolderLinkText(plain));
    if (IsWithin(plain, programFiles) && !EqualNoCase(plain, programFiles)) return;   // protected by its parent
    std::string guarded = plain;
    if (found.empty()) {
        // The first folder made on the way is what the protection covers; those below inherit it.
        FirstFolderMade first(recorder);
        MakeFolderPath(folder, shared, first);
        guarded = FolderName(first.made);
    } else if (IsTrustedOwner(Sys().OwnerOf(plain))) {
        guarded.clear();
    }
    // What another user put there, even in the moment before a fresh folder was protected,
    // is given to the Administrators with it.
    if (!guarded.empty() && Sys().ProtectFolder(guarded)) TakeBackBelow(guarded, 0);
    Sys().DropOwnershipPrivileges();
}

std::string InstallFolderLinkText(const std::string& folder) {
    return "Le dossier d'installation " + folder +
           " est un lien (jonction ou lien symbolique) qui pourrait mener ailleurs : "
           "choisissez un autre dossier.";
}
