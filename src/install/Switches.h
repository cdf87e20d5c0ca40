// The program's command-line switches: what they preset or decide, and their usage text.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "install/Finish.h"

// One short key per component of the catalogue, in its order ("app", "help", ...).
extern const char* const kComponentKeys[8];

struct Switches {
    bool Silent = false;                      // /S
    bool Help = false;                        // /?
    std::optional<std::string> Destination;   // /D=, or "-d" as the first argument
    std::optional<uint8_t> Components;        // /COMPONENTS=: bit n for component n, 0 always in
    std::optional<AssocBoxes> Associations;   // /ASSOC=
    bool CurrentUser = false;                 // /CURRENTUSER
    bool Launch = false;                      // /LAUNCH
    std::string LogFile;                      // /LOG=, empty for none
    std::string Problem;                      // the first bad value, or in /S the first switch not
                                              // read (unknown, "/D" without "="); empty when none
};

// args: the program's arguments without its name, as the runtime splits them. Names are
// case-insensitive and may come in any order; a value may be quoted. After /D=, arguments
// that are not switches continue the folder (an unquoted name with spaces); elsewhere an
// argument that does not begin with "/" is ignored, as it always was, and so is an unknown
// switch without /S.
Switches ParseSwitches(const std::vector<std::string>& args);

// The usage in French, with the problem first when there is one.
std::string UsageText(const std::string& problem);
