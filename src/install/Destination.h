// The destination's rules, the same for the wizard's page and the unattended road: the text's
// normalisation and the checks that a folder can be installed to.
#pragma once
#include <cstddef>
#include <string>

class TAttachedFiles;

// The product folder a destination names inside a drive root or Program Files.
extern const char* const kProductFolderName;   // "Velmorra"

// Trims spaces, folds doubled backslashes and drops "." parts, takes one trailing backslash
// off, puts a drive-less text on currentDrive's root, and names the product folder inside a
// drive root or the Program Files folder.
void NormaliseDestination(std::string& text, char currentDrive);

// Why a normalised destination cannot be installed to.
enum class DestProblem {
    None,
    NotFullPath,          // neither X:\... nor \\server\share\...
    DriveRelative,        // "C:Velmorra"
    ParentPart,           // ".."
    ControlChar,
    ForbiddenChar,        // < > : " / | ? *
    ReservedName,         // CON, NUL, COM1...
    EndsWithDotOrSpace,
    TooLong,
};

struct DestCheck {
    DestProblem problem = DestProblem::None;
    std::string part;        // the name at fault (ForbiddenChar: the character)
    size_t maxLength = 0;    // TooLong: the longest destination that fits
};

// The destination must be a full path whose every name Windows accepts, short enough that
// longestName (relative to it) stays under MAX_PATH.
DestCheck CheckDestination(const std::string& folder, size_t longestName);
// The longest path, relative to the destination, that an installation there may write:
// files, and folders counted with the room CreateDirectory asks for.
size_t LongestPlannedName(const TAttachedFiles& files, bool portable);
// CheckDestination with the longest name of the plan for that destination.
DestCheck ValidateDestination(const std::string& folder, const TAttachedFiles& files);
