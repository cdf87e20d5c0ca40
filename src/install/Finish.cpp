#include "install/Finish.h"

#include <cstring>
#include <stdexcept>
#include "engine/InstallPlan.h"
#include "engine/Questions.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "instutils/StringSet.h"
#include "instutils/TextError.h"
#include "platform/Platform.h"

const char* const kAppWindowProperty = "1.x Tessalvorn";
const char* const kShortcutName = "Traitement de texte Velmorra.lnk";
const char* const kLaunchSkippedText =
    "Traitement de texte Velmorra n'a pas été lancé : il ne peut pas être démarré au nom de l'utilisateur "
    "du bureau, et le programme d'installation ne le démarre pas avec ses droits d'administrateur.";

namespace {

const char* const kLetters = "ABCD";
const char* const kSwitches[4] = {"_rtf", "_cod", "_doc", "_docx"};
const char* const kShortcutDescription =
    "Traitement de texte compact, rapide, puissant, et par dessus tout pratique.";
const unsigned kShowNormal = 5;

std::string ProgramPath(const std::string& mainDir)
{
    return JoinPath(mainDir, "vlm.exe");
}

// False when the folder the shortcut belongs in is one the program cannot name: Windows's
// look-alike of it would be another folder, made anew, that the user never sees.
bool CreateShortcutIn(int allUsersCsidl, int userCsidl, const std::string& mainDir, bool allUsers,
                      SharedData& shared, Recorder& recorder)
{
    bool commonUnnameable = false, userUnnameable = false;
    const std::string common = SpecialFolder(allUsersCsidl, &commonUnnameable);
    const std::string user = SpecialFolder(userCsidl, &userUnnameable);
    std::string target = allUsers ? common : user;
    bool unnameable = allUsers ? commonUnnameable : userUnnameable;
    const std::string& other = allUsers ? user : common;
    if (target.empty() && !unnameable) {
        target = other;
        unnameable = allUsers ? userUnnameable : commonUnnameable;
    }
    if (unnameable)
        return false;
    if (target.empty())
        return true;   // neither scope has the folder: a link with no folder would land anywhere
    // The earlier run's link goes only once the new one exists (no rights for the all-users
    // folders would otherwise leave the user with none).
    if (CreateShortcut(JoinPath(target, kShortcutName), ProgramPath(mainDir), mainDir, kShortcutDescription, shared,
                       recorder) &&
        !other.empty() && !EqualNoCase(other, target))
        Sys().DeleteFileAt(JoinPath(other, kShortcutName));
    return true;
}

std::string AssociationArguments(const AssocBoxes& boxes)
{
    std::string arguments = "-assoc adpr";
    for (int i = 0; i < 4; ++i)
        if (boxes[i])
            arguments += kSwitches[i];
    return arguments;
}

// An elevated setup must not hand its administrator token to the word processor: the user's
// first documents, file dialogs and drag-and-drop would run elevated. Before Vista an
// administrator's token is the user's own. False when it was not started for want of the
// desktop user and elevated is not allowed.
bool StartAsDesktopUser(const std::string& mainDir, const std::string& arguments, bool elevatedAllowed)
{
    const std::string program = ProgramPath(mainDir);
    unsigned platformId = 0, major = 0;
    const bool splitToken = Sys().GetVersion(platformId, major) && major >= 6 && Sys().IsElevated();
    if (splitToken && Sys().StartProgramAsDesktopUser(program, arguments, mainDir, kShowNormal))
        return true;
    if (splitToken && !elevatedAllowed)
        return false;
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    Sys().StartProgram(program, commandLine, mainDir, kShowNormal);
    return true;
}

bool StartsWithStar(const std::string& line)
{
    return !line.empty() && line[0] == '*';
}

std::string UpperKey(std::string text)
{
    Sys().UpperCase(text);
    return text;
}

}  // namespace

bool FindAppWindowProc(uintptr_t window, bool* found)
{
    if (Sys().WindowHasProperty(window, kAppWindowProperty)) {
        *found = true;
        return false;
    }
    return true;
}

bool IsAppRunning()
{
    bool found = false;
    Sys().EnumTopLevelWindows([&found](uintptr_t window) { return FindAppWindowProc(window, &found); });
    return found;
}

std::string ExtensionsFromBoxes(const AssocBoxes& boxes)
{
    std::string text;
    for (int i = 0; i < 4; ++i)
        if (boxes[i])
            text += kLetters[i];
    return text;
}

AssocBoxes BoxesFromExtensions(const std::string& extensions)
{
    AssocBoxes boxes{};
    for (int i = 0; i < 4; ++i)
        boxes[i] = extensions.find(kLetters[i]) != std::string::npos;
    return boxes;
}

std::string AssociationCommand(const std::string& mainDir, const AssocBoxes& boxes)
{
    return "\"" + ProgramPath(mainDir) + "\" " + AssociationArguments(boxes);
}

// The command has no window and registers the types for the user who runs it: where the
// desktop user cannot run it, it still runs, as it always did.
void RunAssociationCommand(const std::string& mainDir, const AssocBoxes& boxes)
{
    StartAsDesktopUser(mainDir, AssociationArguments(boxes), true);
}

std::string UnnameableFolderText(const char* folder)
{
    return std::string("Windows nomme ") + folder +
           " avec des caractères que l'installation ne peut pas écrire, et ce dossier n'a pas de nom court :\r"
           "le raccourci de Traitement de texte Velmorra n'y a pas été créé.";
}

bool CreateProductShortcuts(const std::string& mainDir, bool allUsers, SharedData& shared, Recorder& recorder,
                            const QuestionService& questions)
{
    bool made = true;
    if (!CreateShortcutIn(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, mainDir, allUsers, shared, recorder)) {
        questions.Ask(UnnameableFolderText("le menu Démarrer"), mtWarning, mbOK);
        made = false;
    }
    if (!CreateShortcutIn(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, mainDir, allUsers, shared,
                          recorder)) {
        questions.Ask(UnnameableFolderText("le Bureau"), mtWarning, mbOK);
        made = false;
    }
    return made;
}

std::string StampLine(double stamp)
{
    static const char kHex[] = "0123456789ABCDEF";
    unsigned char bytes[8];
    std::memcpy(bytes, &stamp, 8);
    std::string line = "*";
    for (unsigned char b : bytes) {
        line += kHex[b >> 4];
        line += kHex[b & 15];
    }
    return line;
}

std::vector<std::string> MergeUpdateLog(std::vector<std::string> lines,
                                        const std::vector<std::string>& publicFiles, double stamp)
{
    // One pass over each list: a long history must not take quadratic time.
    StringSet replaced;
    for (const std::string& file : publicFiles)
        replaced.Insert(UpperKey(file));
    std::vector<std::string> kept;
    kept.reserve(lines.size() + publicFiles.size() + 1);
    for (std::string& line : lines) {
        if (line.empty() || replaced.Contains(UpperKey(line)))
            continue;
        // Of stamps left without files between them, the first stays.
        if (StartsWithStar(line) && !kept.empty() && StartsWithStar(kept.back()))
            continue;
        kept.push_back(std::move(line));
    }
    if (!kept.empty() && StartsWithStar(kept.back()))
        kept.pop_back();
    kept.push_back(StampLine(stamp));
    kept.insert(kept.end(), publicFiles.begin(), publicFiles.end());
    return kept;
}

void WriteUpdateLog(const PlanChoices& choices, std::vector<std::string> publicFiles, double stamp,
                    SharedData& shared, Recorder& recorder)
{
    if (publicFiles.empty())
        return;
    SortIgnoringCase(publicFiles);
    const std::string path = DataFolder(choices, SharedDataFolder, shared, recorder) + "Update.log";
    // Held from the read to the swap: what is merged is what is replaced.
    FolderHold hold(shared);
    if (LeadsThroughLink(path, shared) || hold.Hold(FolderOf(path)) == FolderHold::Link)
        throw TextError(LinkRefusedText(path));
    std::vector<std::string> lines;
    std::string bytes;
    // Through a handle checked to be a plain file with one name: a second name of another
    // user's file is replaced, never read. Going on without a history that cannot be read
    // would write over it.
    const ReadOutcome read = Sys().ReadPlainFile(path, bytes);
    if (read == ReadOutcome::Failed)
        throw TextError("Impossible d'ouvrir le fichier " + path);
    if (read == ReadOutcome::Read)
        lines = SplitLines(bytes);
    std::string text;
    for (const std::string& line : MergeUpdateLog(std::move(lines), publicFiles, stamp))
        text += line + "\r\n";
    const WriteOutcome outcome =
        WriteWholeFile(hold, path, text.data(), text.size(), FileShare::None, 0, Durability::Flushed);
    if (outcome == WriteOutcome::Refused)
        throw TextError(LinkRefusedText(path));
    if (outcome != WriteOutcome::Written)
        throw TextError("Impossible de créer le fichier " + path);
}

bool LaunchProgram(const std::string& mainDir, InstallLog& log)
{
    if (StartAsDesktopUser(mainDir, "", false))
        return true;
    log.Add(kLaunchSkippedText);
    return false;
}
