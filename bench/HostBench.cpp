// Host benchmarks of the archive reader and the install thread, each against a plain baseline
// measured in the same run.
//
//   velmorra-bench <archive.bin> [runs] [profile]
//
// "profile" also prints the install thread's platform calls, counted and timed per run.
//
// The archive is a "FILES" stream as the packer writes it (build/win/files.bin is the product's).
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "BenchInstall.h"
#include "BenchStartup.h"
#include "RealDiskMachine.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "install/Finish.h"

namespace {

using namespace bench;

void RemoveTree(const std::string& hostPath) { std::system(("rm -rf '" + hostPath + "'").c_str()); }

// The planned files written plainly: each folder made once, each file in one write.
double PlainCopy(RealDiskMachine& disk, const std::vector<PlannedFile>& planned, const std::string& from,
                 const std::string& to, const uint8_t* data)
{
    std::vector<std::pair<std::string, PlannedFile>> jobs;
    for (const PlannedFile& file : planned) jobs.push_back({disk.HostPath(to + file.target.substr(from.size())), file});
    const auto start = Clock::now();
    std::set<std::string> made;
    for (const auto& [host, file] : jobs) {
        for (size_t slash = host.find('/', 1); slash != std::string::npos; slash = host.find('/', slash + 1)) {
            const std::string folder = host.substr(0, slash);
            if (made.insert(folder).second) ::mkdir(folder.c_str(), 0755);
        }
        const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, data + file.entry->DataOffset, size_t(file.entry->Size)) != file.entry->Size) {
            std::fprintf(stderr, "bench: cannot write %s\n", host.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
    return Seconds(start);
}

std::string LogLine(int n)
{
    return "File Copy: C:\\Program Files\\Velmorra\\Dossier " + std::to_string(n % 997) + "\\fichier" +
           std::to_string(n) + ".dat";
}

// A log as a machine updated for years holds it: a 100 000-line "Install.log" loaded, given
// 10 000 lines of which half it holds already (in other letter case), and saved; then as many
// files merged into an "Update.log" of the same size. Absolute times: there is no baseline.
bool LogBench(RealDiskMachine& disk, int runs)
{
    const std::string logFile = "C:\\logs\\Install.log";
    disk.CreateDir("C:\\logs");
    std::string text;
    for (int n = 0; n < 100000; ++n) text += LogLine(n) + "\r\n";
    std::vector<std::string> added;
    for (int n = 95000; n < 105000; ++n) {
        std::string line = LogLine(n);
        if (n < 100000) disk.UpperCase(line);
        added.push_back(line);
    }
    std::vector<double> installLog, updateLog;
    size_t lines = 0;
    SharedData shared;
    for (int run = 0; run < runs; ++run) {
        disk.DeleteFileAt(logFile);
        disk.WriteNewFile(logFile, text.data(), text.size(), FileShare::None);
        auto start = Clock::now();
        InstallLog log;
        log.Load(logFile);
        for (const std::string& line : added) log.Add(line);
        log.Save(logFile, shared);
        installLog.push_back(Seconds(start));
        lines = log.Lines().size();

        std::vector<std::string> history = SplitLines(text);
        start = Clock::now();
        const std::vector<std::string> merged = MergeUpdateLog(std::move(history), added, 40344.5);
        updateLog.push_back(Seconds(start));
        if (merged.size() != 95000 + 1 + 10000) lines = 0;   // the 5000 held already moved to the new group
    }
    const bool met = lines == 105000 && Median(installLog) < 1.0 && Median(updateLog) < 1.0;
    std::printf("logs       Install.log %9.2f ms  Update.log merge %9.2f ms  target < 1000 ms each  %s  (median of %d)\n",
                Median(installLog) * 1e3, Median(updateLog) * 1e3, met ? "met" : "MISSED", runs);
    std::fflush(stdout);
    return met;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmorra-bench <archive.bin> [runs]\n");
        return 2;
    }
    const std::string packed = ReadFile(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    if (packed.empty() || runs < 1) {
        std::fprintf(stderr, "bench: cannot read %s\n", argv[1]);
        return 2;
    }

    // A fixed threshold keeps every large block a fresh mapping, as in a new process and as
    // Windows' heap gives blocks this big; glibc's sliding one would hand the baseline warm pages.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);

    // TMPDIR=/dev/shm takes the disk, and whatever else is writing to it, out of the figures.
    const char* tmp = std::getenv("TMPDIR");
    std::string rootTemplate = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmorra-bench.XXXXXX";
    if (!::mkdtemp(rootTemplate.data())) return 2;
    const std::string root = rootTemplate;
    RealDiskMachine disk(root + "/disk");
    UseFakeMachine use(disk);

    InstallLog log;   // the installation's, as its owner keeps it
    TAttachedFiles reader(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    std::printf("archive    %zu bytes packed, %d bytes inflated, %zu entries\n", packed.size(), reader.DataSize,
                reader.Entries.size());

    bool met = Report("start-up",
                      MedianPair(runs * 3, [&] { return ConstructReader(packed); },
                                 [&] { return InflateOnePass(packed, size_t(reader.DataSize)); }),
                      1.10, runs * 3);

    int run = 0;
    size_t fileCount = 0;
    bool profiling = false;
    auto install = [&] {
        const std::string mainDir = "C:\\run" + std::to_string(++run) + "\\Velmorra";
        PlanEverything(reader, mainDir, log);
        fileCount = PlannedFiles(reader).size();
        ::sync();
        disk.profile.on = profiling;
        const double seconds = RunInstallThread(reader);
        disk.profile.on = false;
        RemoveTree(disk.HostPath("C:\\run" + std::to_string(run)));
        if (seconds < 0) {
            std::fprintf(stderr, "bench: the install thread did not write the whole plan\n");
            std::exit(1);
        }
        return seconds;
    };
    auto copy = [&] {
        PlanEverything(reader, "C:\\plan\\Velmorra", log);
        const std::vector<PlannedFile> planned = PlannedFiles(reader);
        RemoveTree(disk.HostPath("C:\\plan"));
        const std::string to = "C:\\copy" + std::to_string(++run) + "\\Velmorra";
        ::sync();
        const double seconds = PlainCopy(disk, planned, "C:\\plan\\Velmorra", to, reader.Data());
        RemoveTree(disk.HostPath("C:\\copy" + std::to_string(run)));
        return seconds;
    };
    const Pair copying = MedianPair(runs, install, copy);
    std::printf("copying    %zu files per run, each run into a fresh folder\n", fileCount);
    met = Report("copying", copying, 1.25, runs) && met;
    if (argc > 3 && std::string(argv[3]) == "profile") {
        profiling = true;
        double total = 0;
        for (int n = 0; n < runs; ++n) total += install();
        std::printf("profile    the install thread's platform calls, per run (%d runs):\n", runs);
        disk.profile.Print(total, runs);
    }
    met = LogBench(disk, runs) && met;

    RemoveTree(root);
    return met ? 0 : 1;
}
