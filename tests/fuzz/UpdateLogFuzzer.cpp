// Merging this installation's shared files into an "Update.log" of any content.
// Input: 8 bytes of install stamp, then the existing file's bytes, then, after the first 0xFF
// byte, the public files' names (one per "\n", below the public data folder). Without a 0xFF
// the installation has no public files.
#include <algorithm>
#include <cstring>

#include "FuzzMachine.h"
#include "engine/InstallPlan.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "install/Finish.h"

namespace {

bool IsStamp(const std::string& line) { return !line.empty() && line[0] == '*'; }

bool ContainsNoCase(const std::vector<std::string>& list, const std::string& line)
{
    for (const std::string& item : list)
        if (Sys().CompareIgnoreCase(item, line) == 0) return true;
    return false;
}

std::vector<std::string> PublicFiles(const std::string& names)
{
    const std::string folder = JoinPath(SpecialFolder(CSIDL_COMMON_APPDATA), "Velmorra\\Public\\");
    std::vector<std::string> files;
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find('\n', start);
        if (end == std::string::npos) end = names.size();
        std::string name = names.substr(start, end - start);
        name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return c == '\r' || c == '\0'; }),
                   name.end());
        // The plan never names one file twice.
        if (!ContainsNoCase(files, folder + name)) files.push_back(folder + name);
        start = end + 1;
    }
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8) return 0;
    FuzzMachine fuzz;
    double stamp;
    std::memcpy(&stamp, data, 8);
    const std::string rest(reinterpret_cast<const char*>(data) + 8, size - 8);
    const size_t split = rest.find('\xFF');
    const std::string old = rest.substr(0, split);
    const std::vector<std::string> files =
        split == std::string::npos ? std::vector<std::string>() : PublicFiles(rest.substr(split + 1));

    PlanChoices choices;
    choices.MainDir = "C:\\Program Files\\Velmorra";
    NullRecorder none;   // no installation runs: the folders made are nobody's to remove
    SharedData shared;
    const std::string path = DataFolder(choices, SharedDataFolder, shared, none) + "Update.log";
    fuzz.machine.PutFile(path, old);

    try {
        WriteUpdateLog(choices, files, stamp, shared, none);
    } catch (const std::runtime_error&) {
        FuzzFail("the fake disk refused Update.log");
    }
    const std::string once = fuzz.machine.FileBytes(path);
    if (files.empty()) {
        FuzzCheck(once == old, "Update.log changed by an installation without shared files");
        return 0;
    }
    FuzzCheck(once.size() >= 2 && once.compare(once.size() - 2, 2, "\r\n") == 0, "a last line without CR LF");
    const std::vector<std::string> lines = SplitLines(once);

    // The new group closes the file: its stamp, then the files, sorted.
    FuzzCheck(lines.size() >= files.size() + 1, "the new group is missing");
    const size_t group = lines.size() - files.size() - 1;
    FuzzCheck(lines[group] == StampLine(stamp), "the new group does not start with its stamp");
    std::vector<std::string> tail(lines.begin() + long(group) + 1, lines.end());
    FuzzCheck(std::is_permutation(tail.begin(), tail.end(), files.begin(), files.end()), "the group's files differ");
    for (size_t i = 1; i < tail.size(); ++i)
        FuzzCheck(Sys().CompareIgnoreCase(tail[i - 1], tail[i]) <= 0, "the group is not sorted");

    // The older groups: no empty line, no stamp without files, no file of this installation,
    // and every other old line kept in its order.
    std::vector<std::string> kept;
    for (const std::string& line : SplitLines(old))
        if (!line.empty() && !IsStamp(line) && !ContainsNoCase(files, line)) kept.push_back(line);
    std::vector<std::string> older;
    for (size_t i = 0; i < group; ++i) {
        FuzzCheck(!lines[i].empty(), "an empty line kept");
        FuzzCheck(!(IsStamp(lines[i]) && (i + 1 == group || IsStamp(lines[i + 1]))), "a stamp without files kept");
        FuzzCheck(!ContainsNoCase(files, lines[i]), "a file left in an older group");
        if (!IsStamp(lines[i])) older.push_back(lines[i]);
    }
    FuzzCheck(older == kept, "older lines lost or reordered");

    // The same installation merged again changes nothing.
    WriteUpdateLog(choices, files, stamp, shared, none);
    FuzzCheck(fuzz.machine.FileBytes(path) == once, "merging twice is not merging once");
    return 0;
}
