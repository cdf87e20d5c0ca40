#include "wizard/DestPage.h"

#include "instutils/FileHelpers.h"
#include "instutils/Paths.h"
#include "platform/Platform.h"
#include "wizard/FileCtrl.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A letter and a colon, or \\server\share.
bool HasDrivePart(const std::string& t) {
    if (t.size() >= 2 && IsAsciiLetter(t[0]) && t[1] == ':') return true;
    if (t.size() < 5 || t[0] != '\\' || t[1] != '\\') return false;
    size_t slash = t.find('\\', 2);
    return slash != std::string::npos && slash > 2 && slash + 1 < t.size() && t[slash + 1] != '\\';
}

void TrimSpaces(std::string& t) {
    size_t first = t.find_first_not_of(' ');
    if (first == std::string::npos) {
        t.clear();
        return;
    }
    size_t last = t.find_last_not_of(' ');
    t = t.substr(first, last - first + 1);
}

// The drive box may show no drive (a network destination at start-up); the Program Files
// drive stands in, so a typed name never lands on a drive such as " :".
char DriveForBareText(char currentDrive) {
    if (IsAsciiLetter(currentDrive)) return currentDrive;
    std::string programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
    if (!programFiles.empty() && IsAsciiLetter(programFiles[0])) {
        Sys().LowerCase(programFiles);
        return programFiles[0];
    }
    return '\0';
}

}  // namespace

void NormaliseDestination(std::string& text, char currentDrive) {
    std::string t = text;
    TrimSpaces(t);
    if (!HasDrivePart(t)) {
        char drive = DriveForBareText(currentDrive);
        if (drive == '\0') {
            text = t;
            return;
        }
        t = std::string(1, drive) + ":";
    }
    if (!t.empty() && t.back() == '\\') t.pop_back();

    size_t cut = t.find_last_of("\\:");
    bool bareDrive = cut != std::string::npos && cut + 1 == t.size();
    std::string programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
    if (bareDrive || (!programFiles.empty() && EqualNoCase(t, programFiles))) {
        WithTrailingBackslash(t);
        t += kProductFolderName;
    }
    text = t;
}

void DriveWatchTick(TDriveComboBox& drives) {
    uint32_t mask = Sys().LogicalDrives();
    if (mask == drives.DriveMask) return;
    std::string shown = drives.SelectedText();
    uint32_t old = drives.DriveMask;
    drives.RebuildRows(mask);

    if (static_cast<int32_t>(mask) < static_cast<int32_t>(old)) {
        int bit = static_cast<unsigned char>(drives.CurrentDrive) - 'a';
        if (bit >= 0 && bit < 32 && (mask & (1u << bit))) {
            drives.SelectRowWithText(shown);
            return;
        }
        // The shown drive has gone: back to the Program Files drive, if there is one.
        std::string programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
        if (programFiles.empty() || !IsAsciiLetter(programFiles[0])) return;
        Sys().LowerCase(programFiles);
        drives.SelectDrive(programFiles[0]);
        return;
    }
    for (int n = 2; n <= 25; ++n) {
        if ((mask & (1u << n)) && !(old & (1u << n))) {
            drives.SelectDrive(static_cast<char>('a' + n));
            return;
        }
    }
}
