// Temporary files, special folders, shortcuts and small file helpers.
#pragma once
#include <string>

extern const char* const kTempPrefix;   // "~InstallationdutraitementdetexteVelmorra"

enum : int {
    CSIDL_PROGRAMS = 2,
    CSIDL_PERSONAL = 5,
    CSIDL_DESKTOPDIRECTORY = 16,
    CSIDL_COMMON_PROGRAMS = 23,
    CSIDL_COMMON_DESKTOPDIRECTORY = 25,
    CSIDL_COMMON_APPDATA = 35,
    CSIDL_PROGRAM_FILES = 38,
};

// True when the link was saved; only then is it logged.
bool CreateShortcut(const std::string& linkFile, const std::string& target,
                    const std::string& workingFolder, const std::string& description);
void WriteTextFile(const std::string& fileName, const std::string& text);
void DeleteFolderTree(const std::string& folder);
double FileModifiedTime(const std::string& fileName);
bool FileExists(const std::string& fileName);   // found by enumeration and not a folder
std::string TempFolder();   // ends in a backslash; empty when the system names no folder
std::string NewTempFileName();
void DeleteTempItems();
std::string SpecialFolder(int csidl);
// The temporary prefix derived from a title: "~" and its letters A-Z, a-z.
std::string TempPrefixFromTitle(const std::string& title);
