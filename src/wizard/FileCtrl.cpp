#include "wizard/FileCtrl.h"

#include <algorithm>
#include "instutils/DiskSpace.h"
#include "instutils/FileHelpers.h"
#include "instutils/SafeFiles.h"
#include "install/Destination.h"
#include "platform/Platform.h"

namespace {

bool IsLeadByte(unsigned char c, bool dbcs) { return dbcs && Sys().IsLeadByte(c); }

std::string FileNameCase(const std::string& text, bool upper) {
    std::string result = text;
    if (!Sys().IsDbcsSystem()) {
        if (upper)
            Sys().UpperCase(result);
        else
            Sys().LowerCase(result);
        return result;
    }
    for (size_t i = 0; i < result.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(result[i]);
        if (IsLeadByte(c, true)) {
            ++i;   // the trail byte may look like an ASCII letter
        } else if (upper && c >= 'a' && c <= 'z') {
            result[i] = static_cast<char>(c - 32);
        } else if (!upper && c >= 'A' && c <= 'Z') {
            result[i] = static_cast<char>(c + 32);
        }
    }
    return result;
}

// Drive letters are compared in ASCII: nothing else is a drive.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool HasDriveLetter(const std::string& path) {
    return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
}

bool IsNetworkPath(const std::string& path) { return path.size() >= 2 && path[0] == '\\' && path[1] == '\\'; }

class ErrorModeScope {
public:
    explicit ErrorModeScope(unsigned mode) : previous_(Sys().SetErrorMode(mode)) {}
    ~ErrorModeScope() { Sys().SetErrorMode(previous_); }
    ErrorModeScope(const ErrorModeScope&) = delete;
    ErrorModeScope& operator=(const ErrorModeScope&) = delete;
private:
    unsigned previous_;
};

// An empty removable drive must not bring up the system's "no disk" box.
bool QuietVolumeInfo(const std::string& root, std::string& label, uint32_t& flags) {
    ErrorModeScope quiet(kSemFailCriticalErrors);
    return Sys().VolumeInfo(root, label, flags);
}

class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;
private:
    bool& flag_;
};

}  // namespace

std::string FileNameLower(const std::string& text) { return FileNameCase(text, false); }
std::string FileNameUpper(const std::string& text) { return FileNameCase(text, true); }

int FolderLevel(const std::string& path) {
    std::string p = path;
    if (!p.empty() && p.back() == '\\') p.pop_back();
    bool dbcs = Sys().IsDbcsSystem();
    int level = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (IsLeadByte(c, dbcs))
            ++i;
        else if (c == '\\')
            ++level;
    }
    return level;
}

std::string DriveVolumeText(char letter) {
    std::string name;
    uint32_t flags = 0;
    if (!QuietVolumeInfo(std::string(1, letter) + ":\\", name, flags)) name.clear();
    name = UpToNul(name);
    name = static_cast<unsigned char>(letter) > 96 ? FileNameLower(name) : FileNameUpper(name);
    return name.empty() ? name : "[" + name + "]";
}

std::string DriveNetworkText(char letter) {
    std::string remote;
    if (!Sys().NetworkConnection(std::string(1, AsciiUpper(letter)) + ":", remote)) return DriveVolumeText(letter);
    remote = UpToNul(remote);
    return static_cast<unsigned char>(letter) > 96 ? FileNameLower(remote) : FileNameUpper(remote);
}

// ---------------------------------------------------------------------------
// Folder list

TDirectoryListBox::TDirectoryListBox() : CurrentFolder(1, '\0') {}

TDirectoryListBox::~TDirectoryListBox() {
    if (DriveBox) DriveBox->SetDirList(nullptr);
}

void TDirectoryListBox::NotifyChange() {
    if (OnChange) OnChange(*this);
}

bool TDirectoryListBox::HasFolder() const { return !CurrentFolder.empty() && CurrentFolder[0] != '\0'; }

bool TDirectoryListBox::SameFolder(const std::string& a, const std::string& b) const {
    if (VolumeCaseSensitive) return Sys().CompareLocale(a, b) == 0;
    return Sys().CompareLocale(FileNameLower(a), FileNameLower(b)) == 0;
}

std::string TDirectoryListBox::DisplayCase(const std::string& text) const {
    if (VolumePreservesCase || VolumeCaseSensitive) return text;
    std::string lower = text;
    Sys().LowerCase(lower);
    return lower;
}

int TDirectoryListBox::Level() const {
    int level = FolderLevel(CurrentFolder);
    // A share's root sits where a drive's root does.
    if (IsNetworkPath(CurrentFolder)) level = std::max(0, level - FolderLevel(DrivePart(CurrentFolder)));
    return level;
}

int TDirectoryListBox::CurrentRow() const {
    int row = static_cast<int>(std::count_if(Rows.begin(), Rows.end(),
                                             [](const TFolderRow& r) { return r.Glyph == TFolderGlyph::Open; }));
    return row - 1;
}

int TDirectoryListBox::RowIndent(int row) const {
    if (row >= 0 && row < static_cast<int>(Rows.size()) && Rows[row].Glyph == TFolderGlyph::Closed)
        return 3 + 12 * (Level() + 1);
    return 3 + 12 * row;
}

std::string TDirectoryListBox::RowLabel(int row) const {
    if (row < 0 || row >= static_cast<int>(Rows.size())) return std::string();
    const std::string& text = Rows[row].Text;
    std::string label;
    if (row == 0)
        label = IsNetworkPath(text) ? DrivePart(text) : text.substr(0, 2);
    else
        label = text.substr(text.find_last_of('\\') + 1);
    return DisplayCase(label);
}

void TDirectoryListBox::RebuildRows() {
    Rows.clear();
    Selected = -1;
    VolumePreservesCase = false;   // also when the volume cannot be queried: names in lower case
    VolumeCaseSensitive = false;
    if (HasFolder()) {
        std::string label;
        uint32_t flags = 0;
        if (QuietVolumeInfo(DrivePart(CurrentFolder) + "\\", label, flags)) {
            VolumePreservesCase = (flags & (kFsCaseSensitive | kFsCaseIsPreserved)) != 0;
            VolumeCaseSensitive = (flags & kFsCaseSensitive) != 0;
        }

        // The chain from the root down to the current folder.
        size_t rootLength = IsNetworkPath(CurrentFolder) ? DrivePart(CurrentFolder).size() + 1 : 3;
        std::string p = CurrentFolder;
        while (p.size() > rootLength) {
            if (p.back() == '\\') p.pop_back();
            Rows.insert(Rows.begin(), {p, TFolderGlyph::Open});
            while (!p.empty() && p.back() != '\\') p.pop_back();
        }
        if (!p.empty()) Rows.insert(Rows.begin(), {p, TFolderGlyph::Open});

        // The subfolders, without hidden or system ones.
        std::string folder = CurrentFolder;
        if (folder.back() != '\\') folder += '\\';
        std::vector<std::string> names;
        for (const FoundFile& f : Sys().FindFiles(folder + "*.*")) {
            if (!(f.attributes & kAttrDirectory) || (f.attributes & (kAttrHidden | kAttrSystem))) continue;
            if (f.name == "." || f.name == "..") continue;
            names.push_back(f.name);
        }
        SortIgnoringCase(names);
        std::string prefix = CurrentFolder;
        WithTrailingBackslash(prefix);
        for (const std::string& name : names) Rows.push_back({prefix + name, TFolderGlyph::Closed});
        if (HasWindow) Selected = CurrentRow();
    }
    if (OnRowsChanged) OnRowsChanged();
}

void TDirectoryListBox::OpenFolder(const std::string& folder) {
    std::string path = folder;
    if (path.empty() || SameFolder(path, CurrentFolder)) return;
    while (!FolderExists(path)) {
        if (DrivePart(path).size() + 1 >= path.size()) break;   // only the root is left
        if (path.back() == '\\') path.pop_back();
        path = FolderOf(path);
    }
    // A relative text has no existing ancestor to show.
    if (path.empty()) return;

    bool driveChanged = AsciiUpper(path[0]) != AsciiUpper(CurrentFolder.empty() ? '\0' : CurrentFolder[0]);
    CurrentFolder = path;
    // The drive box lists drive letters only; a network folder leaves it on its drive.
    if (driveChanged && HasDriveLetter(CurrentFolder)) {
        FlagScope changing(ChangingFolder);
        if (DriveBox)
            DriveBox->SelectDrive(CurrentFolder[0]);
        else
            SwitchDrive(CurrentFolder[0]);
    }
    RebuildRows();
    NotifyChange();
}

void TDirectoryListBox::SwitchDrive(char letter) {
    if (static_cast<unsigned char>(letter) <= 32) return;
    if (!CurrentFolder.empty() && AsciiUpper(letter) == AsciiUpper(CurrentFolder[0])) return;

    std::string programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
    // Without a Program Files folder the drive is treated like any other.
    if (!programFiles.empty() && AsciiUpper(letter) == AsciiUpper(programFiles[0])) {
        std::string p = programFiles;
        WithTrailingBackslash(p);
        CurrentFolder = FolderExists(p + kProductFolderName) ? p + kProductFolderName : p;
    } else {
        size_t colon = CurrentFolder.find(':');
        std::string samePath = colon == std::string::npos ? std::string() : letter + CurrentFolder.substr(colon);
        if (!samePath.empty() && FolderExists(samePath))
            CurrentFolder = samePath;
        else
            CurrentFolder = std::string(1, letter) + ":\\";
    }
    if (!ChangingFolder) {
        RebuildRows();
        NotifyChange();
    }
}

// The rebuild selects the current folder's row, whose index is the folder's level.
void TDirectoryListBox::WindowCreated() {
    HasWindow = true;
    RebuildRows();
}

void TDirectoryListBox::RowPicked(int row) {
    if (row < 0 || row >= static_cast<int>(Rows.size())) return;
    Selected = row;
    OpenFolder(Rows[row].Text);
}

// ---------------------------------------------------------------------------
// Drive box

TDriveComboBox::TDriveComboBox() = default;

TDriveComboBox::~TDriveComboBox() { SetDirList(nullptr); }

void TDriveComboBox::SetDirList(TDirectoryListBox* list) {
    if (dirList_) dirList_->DriveBox = nullptr;
    dirList_ = list;
    if (dirList_) dirList_->DriveBox = this;
}

void TDriveComboBox::RebuildRows() { RebuildRows(Sys().LogicalDrives()); }

void TDriveComboBox::RebuildRows(uint32_t mask) {
    Rows.clear();
    Selected = -1;
    DriveMask = mask;
    for (int n = 2; n <= 25; ++n) {   // A: and B: are never listed
        if (!(mask & (1u << n))) continue;
        char letter = static_cast<char>('a' + n);
        std::string root = std::string(1, letter) + ":\\";
        unsigned type = Sys().DriveType(root);
        if (type == kDriveCdRom) continue;
        std::string description = type == kDriveRemote ? DriveNetworkText(letter) : DriveVolumeText(letter);
        Rows.push_back({std::string(1, letter) + ": " + description, IsRemovableDrive(root)});
    }
    if (OnRowsChanged) OnRowsChanged();
}

std::string TDriveComboBox::SelectedText() const {
    return Selected >= 0 && Selected < static_cast<int>(Rows.size()) ? Rows[Selected].Text : std::string();
}

void TDriveComboBox::SetSelected(int row) {
    Selected = row;
    if (OnSelectionChanged) OnSelectionChanged();
}

void TDriveComboBox::SelectRowWithText(const std::string& text) {
    auto it = std::find_if(Rows.begin(), Rows.end(), [&](const TDriveRow& r) { return r.Text == text; });
    SetSelected(it == Rows.end() ? -1 : static_cast<int>(it - Rows.begin()));
}

void TDriveComboBox::SelectDrive(char letter) {
    if (Selected >= 0 && AsciiUpper(letter) == AsciiUpper(CurrentDrive)) return;
    CurrentDrive = static_cast<char>(static_cast<unsigned char>(AsciiUpper(letter)) + 32);
    for (size_t i = 0; i < Rows.size(); ++i) {
        const std::string& t = Rows[i].Text;
        if (t.size() >= 2 && AsciiUpper(t[0]) == AsciiUpper(CurrentDrive) && t[1] == ':') {
            SetSelected(static_cast<int>(i));
            break;
        }
    }
    if (dirList_) dirList_->SwitchDrive(CurrentDrive);
    if (OnChange) OnChange(*this);
}

void TDriveComboBox::WindowCreated() {
    RebuildRows();
    SelectDrive(CurrentDrive);
}

void TDriveComboBox::RowPicked(int row) {
    if (row < 0 || row >= static_cast<int>(Rows.size())) return;
    Selected = row;
    if (!Rows[row].Text.empty()) SelectDrive(Rows[row].Text[0]);
}
