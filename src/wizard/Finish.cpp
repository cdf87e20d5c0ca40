#include "wizard/Finish.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include "engine/InstallPlan.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/Paths.h"
#include "platform/Platform.h"

const char* const kAppWindowProperty = "1.x Tessalvorn";
const char* const kShortcutName = "Traitement de texte Velmorra.lnk";

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

void CreateShortcutIn(int allUsersCsidl, int userCsidl, const std::string& mainDir, bool allUsers)
{
    const std::string common = SpecialFolder(allUsersCsidl);
    const std::string user = SpecialFolder(userCsidl);
    std::string target = allUsers ? common : user;
    const std::string& other = allUsers ? user : common;
    if (target.empty())
        target = other;
    if (target.empty())
        return;   // neither scope has the folder: a link with no folder would land anywhere
    // The earlier run's link goes only once the new one exists (no rights for the all-users
    // folders would otherwise leave the user with none).
    if (CreateShortcut(JoinPath(target, kShortcutName), ProgramPath(mainDir), mainDir, kShortcutDescription) &&
        !other.empty() && !EqualNoCase(other, target))
        Sys().DeleteFileAt(JoinPath(other, kShortcutName));
}

bool StartsWithStar(const std::string& line)
{
    return !line.empty() && line[0] == '*';
}

bool ContainsNoCase(const std::vector<std::string>& list, const std::string& line)
{
    for (const std::string& item : list)
        if (Sys().CompareIgnoreCase(item, line) == 0)
            return true;
    return false;
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
    std::string argument = "-assoc adpr";
    for (int i = 0; i < 4; ++i)
        if (boxes[i])
            argument += kSwitches[i];
    return "\"" + ProgramPath(mainDir) + "\" " + argument;
}

void RunAssociationCommand(const std::string& mainDir, const AssocBoxes& boxes)
{
    Sys().StartProgram(ProgramPath(mainDir), AssociationCommand(mainDir, boxes), mainDir, kShowNormal);
}

void CreateProductShortcuts(const std::string& mainDir, bool allUsers)
{
    CreateShortcutIn(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, mainDir, allUsers);
    CreateShortcutIn(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, mainDir, allUsers);
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
    for (size_t n = lines.size(); n-- > 0;)
        if (lines[n].empty() || ContainsNoCase(publicFiles, lines[n]))
            lines.erase(lines.begin() + n);
    for (size_t n = lines.size(); n-- > 1;)
        if (StartsWithStar(lines[n]) && StartsWithStar(lines[n - 1]))
            lines.erase(lines.begin() + n);
    if (!lines.empty() && StartsWithStar(lines.back()))
        lines.pop_back();
    lines.push_back(StampLine(stamp));
    lines.insert(lines.end(), publicFiles.begin(), publicFiles.end());
    return lines;
}

void WriteUpdateLog(const PlanChoices& choices, std::vector<std::string> publicFiles, double stamp)
{
    if (publicFiles.empty())
        return;
    std::sort(publicFiles.begin(), publicFiles.end(), [](const std::string& a, const std::string& b) {
        return Sys().CompareIgnoreCase(a, b) < 0;
    });
    const std::string path = DataFolder(choices, SharedDataFolder) + "Update.log";
    std::vector<std::string> lines;
    if (FileExists(path)) {
        std::string bytes;
        // Going on without the old history would write over it.
        if (!Sys().ReadWholeFile(path, bytes))
            throw std::runtime_error("Impossible d'ouvrir le fichier " + path);
        lines = SplitLines(bytes);
    }
    std::string text;
    for (const std::string& line : MergeUpdateLog(std::move(lines), publicFiles, stamp))
        text += line + "\r\n";
    if (!Sys().WriteNewFile(path, text.data(), text.size(), FileShare::None))
        throw std::runtime_error("Impossible de créer le fichier " + path);
}

void LaunchProgram(const std::string& mainDir)
{
    Sys().StartProgram(ProgramPath(mainDir), "\"" + ProgramPath(mainDir) + "\"", mainDir, kShowNormal);
}
