#include "install/Destination.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include "engine/AttachFiles.h"
#include "engine/ResConst.h"
#include "instutils/DiskSpace.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"

const char* const kProductFolderName = "Velmorra";

namespace {

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

bool IsShare(const std::string& t) { return t.size() >= 2 && t[0] == '\\' && t[1] == '\\'; }

std::vector<std::string> SplitParts(const std::string& t, size_t from) {
    std::vector<std::string> parts;
    size_t start = from;
    for (size_t i = from; i <= t.size(); ++i) {
        if (i == t.size() || t[i] == '\\') {
            parts.push_back(t.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// Doubled backslashes folded into one and "." parts dropped; the two backslashes that open a
// share, its server and its share name stay as they are, so "\\.\..." is still seen for what it is.
std::string FoldParts(const std::string& t) {
    const bool share = IsShare(t);
    std::string out = share ? "\\\\" : "";
    size_t kept = 0;
    const size_t headParts = share ? 2 : 1;
    for (const std::string& part : SplitParts(t, share ? 2 : 0)) {
        if (part.empty() || (part == "." && kept >= headParts)) continue;
        if (kept++ > 0 || (!share && !t.empty() && t[0] == '\\')) out += '\\';
        out += part;
    }
    if (kept > 0 && t.back() == '\\') out += '\\';
    return out;
}

bool IsReservedDeviceName(std::string name) {
    name = name.substr(0, name.find('.'));   // "CON.txt" is the console too
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* reserved : kNames)
        if (name == reserved) return true;
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

DestCheck CheckName(const std::string& part) {
    if (part == "..") return {DestProblem::ParentPart, part};
    for (char c : part)
        if (static_cast<unsigned char>(c) < 32) return {DestProblem::ControlChar, part};
    for (char c : part)
        if (std::strchr("<>:\"/|?*", c)) return {DestProblem::ForbiddenChar, std::string(1, c)};
    if (IsReservedDeviceName(part)) return {DestProblem::ReservedName, part};
    if (!part.empty() && (part.back() == '.' || part.back() == ' ')) return {DestProblem::EndsWithDotOrSpace, part};
    return {};
}

// A file, or a folder with the 12 characters CreateDirectory keeps free below it.
size_t RoomFor(const std::string& relativeName) {
    const size_t slash = relativeName.find_last_of('\\');
    const size_t folder = slash == std::string::npos ? 0 : slash + 12;
    return std::max(relativeName.size(), folder);
}

}  // namespace

void NormaliseDestination(std::string& text, char currentDrive) {
    std::string t = text;
    TrimSpaces(t);
    t = FoldParts(t);
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

DestCheck CheckDestination(const std::string& folder, size_t longestName) {
    size_t from;
    if (HasDrivePart(folder) && IsShare(folder)) {
        from = 2;
    } else if (HasDrivePart(folder)) {
        if (folder.size() < 3 || folder[2] != '\\') return {DestProblem::DriveRelative, folder};
        from = 3;
    } else {
        return {DestProblem::NotFullPath, folder};
    }
    for (const std::string& part : SplitParts(folder, from)) {
        if (part.empty()) continue;   // a root's own backslash
        DestCheck check = CheckName(part);
        if (check.problem != DestProblem::None) return check;
    }
    const size_t kMaxPath = 260;   // with its terminating zero
    const size_t room = longestName + 2;   // the backslash before it and the zero
    if (folder.size() + room > kMaxPath) {
        DestCheck check{DestProblem::TooLong, folder};
        check.maxLength = kMaxPath > room ? kMaxPath - room : 0;
        return check;
    }
    return {};
}

size_t LongestPlannedName(const TAttachedFiles& files, bool portable) {
    // What the plan writes besides the archive's files.
    size_t longest = RoomFor(portable ? "Velmorra.ini" : "Install.log");
    for (int component = 0; component < 8; ++component) {
        // Elsewhere only the program, its help and the hyphenation go into the destination.
        const bool spelling = component == 2 || component == 3;
        if (!portable && component != 0 && component != 1 && component != 4) continue;
        const std::string prefix = spelling ? "Orthographe\\" : "";
        for (const std::string& line : SplitLines(ComponentFileLists[component])) {
            const bool wholeFolder = !line.empty() && line.back() == '\\';
            for (const auto& entry : files.Entries) {
                if (wholeFolder ? !StartsWithNoCase(entry->Name, line) : !EqualNoCase(entry->Name, line)) continue;
                longest = std::max(longest, RoomFor(prefix + entry->Name));
            }
        }
    }
    return longest;
}

DestCheck ValidateDestination(const std::string& folder, const TAttachedFiles& files) {
    DestCheck check = CheckDestination(folder, 0);
    if (check.problem != DestProblem::None) return check;
    return CheckDestination(folder, LongestPlannedName(files, IsRemovableDrive(folder)));
}
