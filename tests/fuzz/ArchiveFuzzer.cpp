// The archive reader over arbitrary bytes. The first byte chooses the form of the rest:
// odd, the rest is the "FILES" stream as it stands (zlib header, deflate data, trailer);
// even, the rest is an inflated archive, compressed here so that the index is reached.
// What the reader accepts is then extracted: every entry, the licence and a whole plan.
#include <algorithm>
#include <memory>
#include <set>

#include "ArchiveBuilder.h"
#include "FuzzMachine.h"
#include "engine/AttachFiles.h"
#include "engine/InstallPlan.h"
#include "engine/ResConst.h"
#include "instutils/InstallLog.h"

namespace {

void CheckIndex(const TAttachedFiles& files)
{
    int64_t offset = 0;
    for (const auto& entry : files.Entries) {
        FuzzCheck(entry->Size >= 0, "an entry with a negative size");
        FuzzCheck(entry->DataOffset == offset + 13 + int64_t(entry->Name.size()), "an entry off its record");
        offset = int64_t(entry->DataOffset) + entry->Size;
        FuzzCheck(offset <= files.DataSize, "an entry past the end of the data");
    }
    FuzzCheck(offset == files.DataSize, "records that do not cover the data");
}

std::string Printable(const std::string& text)
{
    std::string shown;
    for (unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        shown += c < 32 || c >= 127 ? hex : std::string(1, char(c));
    }
    return shown;
}

// Extracts each entry to its own name under one folder: nothing may land outside it.
void ExtractEverything(FuzzMachine& fuzz, TAttachedFiles& files)
{
    const std::string folder = "C:\\Entpacken\\";
    const std::vector<std::string> before = fuzz.machine.AllPaths();
    std::set<std::string> known(before.begin(), before.end());
    const size_t count = std::min<size_t>(files.Entries.size(), 64);
    for (size_t i = 0; i < count; ++i) {
        const TAttachedFile& entry = *files.Entries[i];
        const std::string target = folder + entry.Name;
        FuzzCheck(ExtractAsking(files, &entry, std::string(), target, IgnoreFailures), "Ignore answered, yet the extraction aborted");
        if (fuzz.machine.IsFile(target))
            FuzzCheck(fuzz.machine.FileBytes(target) ==
                          std::string(reinterpret_cast<const char*>(files.Data()) + entry.DataOffset, size_t(entry.Size)),
                      "an extracted file that differs from its entry");
        for (const std::string& path : fuzz.machine.AllPaths()) {
            if (!known.insert(path).second || StartsWithNoCase(path, folder) || StartsWithNoCase(path + "\\", folder))
                continue;
            FuzzFail(("the entry " + Printable(entry.Name) + " was written outside its folder, at " + Printable(path))
                         .c_str());
        }
    }
}

void InstallPlan(TAttachedFiles& files)
{
    InstallLog log;
    files.Log = &log;
    PlanChoices choices;
    choices.MainDir = "C:\\Portable\\Velmorra";
    choices.ChosenComps = 0xFF;
    choices.IsPortable = true;
    BuildInstallPlan(files, choices);
    for (const auto& list : files.ComponentFiles)
        for (const auto& file : list)
            FuzzCheck(ExtractAsking(files, file->Entry, std::string(), file->TargetPath, IgnoreFailures), "a planned file aborted");
    for (const char* list : ComponentFileLists) FuzzCheck(files.ComponentBytes(list, "C:\\") >= 0, "a negative size");
    files.Log = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const bool raw = data[0] & 1;
    const std::string stream = raw ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1)
                                   : ArchiveBuilder::Compress(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    FuzzMachine fuzz;
    std::unique_ptr<TAttachedFiles> files;
    try {
        files = std::make_unique<TAttachedFiles>(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    } catch (const ArchiveError&) {
        return 0;   // refused: the program ends with its message
    }
    if (!raw) FuzzCheck(size_t(files->DataSize) == size - 1, "the inflated archive is not the one packed");
    CheckIndex(*files);
    FuzzCheck(ExtractAsking(*files, nullptr, "Licence.txt", "C:\\Temp\\Licence.txt", IgnoreFailures), "the licence extraction aborted");
    ExtractEverything(fuzz, *files);
    InstallPlan(*files);
    return 0;
}
