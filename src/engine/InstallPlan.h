// Turns the user's choices into the eight lists of files to install.
#pragma once
#include <cstdint>
#include <string>
#include "engine/AttachFiles.h"
#include "engine/Questions.h"

// What the plan reads from the wizard.
struct PlanChoices {
    std::string MainDir;
    uint8_t ChosenComps = 0;      // bit n: component n
    bool IsPortable = false;
    int32_t LastRunVer = 0x7FFFFFFF;
};

enum DataRole { SharedDataFolder = 0, HiddenDataFolder = 1, PublicDataFolder = 2, SpellingFolder = 4 };

extern const char* const kNoDataFolderText;

// The all-users application-data folder, else the user's documents; empty when the system
// gives neither.
std::string SharedDataRoot();
// The folder of a role, ending in a backslash, made with its missing parents. Throws
// TextError (kNoDataFolderText) when a normal installation has no shared data root.
// The folders made are recorded.
std::string DataFolder(const PlanChoices& choices, int role, SharedData& shared, Recorder& recorder);
std::string DestFile(const std::string& mainDir, const std::string& name);
// Fills the plan; returns the install stamp (0 for a portable installation, which writes none).
// A data file refused for a link is told through questions (by default, told to nobody).
double BuildInstallPlan(TAttachedFiles& files, const PlanChoices& choices,
                        const QuestionService& questions = QuestionService());
// The error shown when a file of the shared data folder would be written through a link.
std::string LinkRefusedText(const std::string& file);
