// Temporary files, shortcuts and small file helpers.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "instutils/SafeFiles.h"

extern const char* const kTempPrefix;   // "~InstallationdutraitementdetexteVelmorra"

// True when the link was saved; only then is it recorded.
bool CreateShortcut(const std::string& linkFile, const std::string& target,
                    const std::string& workingFolder, const std::string& description, SharedData& shared,
                    Recorder& recorder);
// Settings files: flushed to the disk before they count.
WriteOutcome WriteTextFile(const std::string& fileName, const std::string& text, SharedData& shared);
void DeleteFolderTree(const std::string& folder);
double FileModifiedTime(const std::string& fileName);
bool FileExists(const std::string& fileName);   // found by enumeration and not a folder
std::string TempFolder();   // ends in a backslash; empty when the system names no folder
// True when Windows names the temporary folder in characters the program cannot write, with no
// short form either.
bool TempPathUnnameable();
std::string NewTempFileName();
// The run's temporary items; answers those that stay (held open, or holding an entry whose
// name the program cannot write and so never deletes by a look-alike).
std::vector<std::string> DeleteTempItems();
// Orders names as the folder list and "Update.log" show them.
bool LessIgnoringCase(const std::string& a, const std::string& b);
// Sorts names in that order. One function for every sort, so the program carries one copy of
// the sorting code.
void SortIgnoringCase(std::vector<std::string>& names);
// The temporary prefix derived from a title: "~" and its letters A-Z, a-z.
std::string TempPrefixFromTitle(const std::string& title);

