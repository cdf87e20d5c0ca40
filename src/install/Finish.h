// What the wizard hands over to the system at the end: the running-instance check,
// the document associations, the shortcuts, "Update.log" and the launch.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct PlanChoices;
class InstallLog;
class QuestionService;
class Recorder;
class SharedData;

extern const char* const kAppWindowProperty;   // "1.x Tessalvorn"
extern const char* const kShortcutName;         // "Traitement de texte Velmorra.lnk"
extern const char* const kLaunchSkippedText;    // the log's line when the launch is left out

// Enumeration callback: sets *found and stops at a window of the word processor.
bool FindAppWindowProc(uintptr_t window, bool* found);
bool IsAppRunning();

// The four association boxes, RTF, COD, DOC, DOCX.
using AssocBoxes = std::array<bool, 4>;
std::string ExtensionsFromBoxes(const AssocBoxes& boxes);                           // e.g. "ABD"
AssocBoxes BoxesFromExtensions(const std::string& extensions);
std::string AssociationCommand(const std::string& mainDir, const AssocBoxes& boxes);

// Page-7 actions: the association command, then both shortcuts. The association command and
// the launch run as the desktop user when the setup runs elevated on Vista or later.
void RunAssociationCommand(const std::string& mainDir, const AssocBoxes& boxes);
// False when a shortcut's folder has a name the program cannot write: that shortcut is not
// made, and questions has said so.
bool CreateProductShortcuts(const std::string& mainDir, bool allUsers, SharedData& shared, Recorder& recorder,
                            const QuestionService& questions);
std::string UnnameableFolderText(const char* folder);   // folder: "le Bureau", "le menu Démarrer"

// "*" and the 16 hex digits of the stamp's bytes in memory order.
std::string StampLine(double stamp);
// The existing lines of "Update.log" merged with a new group (publicFiles already sorted).
std::vector<std::string> MergeUpdateLog(std::vector<std::string> lines,
                                        const std::vector<std::string>& publicFiles, double stamp);
// Adds the shared files of this installation to "Update.log" in the shared data folder.
// Throws TextError (text for the user) when the file cannot be read or written.
void WriteUpdateLog(const PlanChoices& choices, std::vector<std::string> publicFiles, double stamp,
                    SharedData& shared, Recorder& recorder);

// Starts the word processor; as the desktop user where the setup runs elevated on Vista or
// later, and there never elevated: when the desktop user cannot start it, the launch is left out,
// the log says so and the result is false.
bool LaunchProgram(const std::string& mainDir, InstallLog& log);
