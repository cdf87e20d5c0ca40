// Reading an earlier "Install.log" of any content, then writing it and reading it back.
#include "FuzzMachine.h"
#include "instutils/InstallLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzMachine fuzz;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string logFile = "C:\\Program Files\\Velmorra\\Install.log";
    fuzz.machine.PutFile(logFile, text);

    InstallLog log;
    log.Load(logFile);
    const std::vector<std::string> lines = log.Lines();
    // One holding NUL bytes counts as unreadable: nothing is trusted from it until it is merged.
    const bool damaged = text.find('\0') != std::string::npos;
    FuzzCheck(lines == (damaged ? std::vector<std::string>() : SplitLines(text)), "the log read is not the file's lines");
    for (const std::string& line : lines)
        FuzzCheck(line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos, "a line holds a line break");

    // A line already there is not added twice, whatever its case.
    if (!lines.empty()) {
        log.Add(Cp1252Upper(lines.front()));
        FuzzCheck(log.Lines().size() == lines.size(), "a line present was added again");
    }

    const std::string copy = "C:\\Program Files\\Velmorra\\Copie.log";
    SharedData shared;
    log.Save(copy, shared);
    InstallLog reread;
    reread.Load(copy);
    FuzzCheck(reread.Lines() == lines, "the log does not survive writing and reading back");
    return 0;
}
