// The destination page's rules: the destination text's normalisation and the drive watch.
#pragma once
#include <cstddef>
#include <string>

class TAttachedFiles;
class TDriveComboBox;

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

// One tick of timer 2: follows drives that come or go. The folder list follows the drive
// box, and its OnChange rewrites the destination text.
void DriveWatchTick(TDriveComboBox& drives);
