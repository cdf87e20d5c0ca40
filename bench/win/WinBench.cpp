// The benchmarks on Windows (or Wine), over the real platform.
//
//   velmorra-bench speed  <files.bin> <work folder> [runs]   start-up and copying, with baselines
//   velmorra-bench memory <files.bin> <work folder>          peak memory of one whole installation
//   velmorra-bench profile <files.bin> <work folder> [runs]  the install thread's platform calls, timed
//   velmorra-bench peer <setup.exe> <nsis-copy.exe> <nsis-same.exe> <label> [runs]
//                                                            the setup program against two NSIS installers
//   velmorra-bench finish <setup.exe> [runs]                 "&Terminer" to the end of the process
//
// The work folder must exist; each run installs into a fresh folder inside it.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <type_traits>
#include <vector>
#include <zlib.h>

#include "BenchInstall.h"
#include "BenchStartup.h"
#include "platform/Win32Platform.h"

namespace {

using namespace bench;

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

// Makes every missing folder of the file's path, once per folder seen.
void MakeParents(const std::string& file, std::set<std::string>& made)
{
    for (size_t slash = file.find('\\', 3); slash != std::string::npos; slash = file.find('\\', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (made.insert(folder).second) ::CreateDirectoryA(folder.c_str(), nullptr);
    }
}

// The real platform, timing the calls that the install thread makes (mode "profile").
class TimedPlatform : public Win32Platform {
public:
    struct Account {
        const char* name;
        long calls = 0;
        double seconds = 0;
    };
    Account accounts[8] = {{"GetCurrentDir"}, {"SetCurrentDir"}, {"CreateDir"},  {"CreateNewFile"},
                           {"MoveReplacing"}, {"FindFiles"},     {"SpecialFolder"}, {"UpperCase"}};

    std::string GetCurrentDir() override { return Timed(0, [&] { return Win32Platform::GetCurrentDir(); }); }
    bool SetCurrentDir(const std::string& p) override { return Timed(1, [&] { return Win32Platform::SetCurrentDir(p); }); }
    bool CreateDir(const std::string& p) override { return Timed(2, [&] { return Win32Platform::CreateDir(p); }); }
    bool CreateNewFile(const std::string& p, const void* d, size_t n, FileShare s, uint32_t dos,
                       Durability durability) override
    {
        return Timed(3, [&] { return Win32Platform::CreateNewFile(p, d, n, s, dos, durability); });
    }
    bool MoveReplacing(const std::string& from, const std::string& to, Durability durability) override
    {
        return Timed(4, [&] { return Win32Platform::MoveReplacing(from, to, durability); });
    }
    std::vector<FoundFile> FindFiles(const std::string& p) override
    {
        return Timed(5, [&] { return Win32Platform::FindFiles(p); });
    }
    PathAnswer SpecialFolderPath(int csidl, std::string& path) override
    {
        return Timed(6, [&] { return Win32Platform::SpecialFolderPath(csidl, path); });
    }
    void UpperCase(std::string& text) override
    {
        Timed(7, [&] {
            Win32Platform::UpperCase(text);
            return 0;
        });
    }

private:
    template <class F>
    std::invoke_result_t<F> Timed(int account, F call)
    {
        const auto start = Clock::now();
        auto result = call();
        accounts[account].calls++;
        accounts[account].seconds += Seconds(start);
        return result;
    }
};

int Speed(const std::string& packed, const std::string& work, int runs)
{
    InstallLog log;   // the installation's, as its owner keeps it
    TAttachedFiles reader(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    std::printf("archive    %u bytes packed, %d bytes inflated, %u entries\n", unsigned(packed.size()),
                int(reader.DataSize), unsigned(reader.Entries.size()));
    bool met = Report("start-up",
                      MedianPair(runs * 3, [&] { return ConstructReader(packed); },
                                 [&] { return InflateOnePass(packed, size_t(reader.DataSize)); }),
                      1.10, runs * 3);

    // The copy's sources: the planned files, written once from the archive.
    const std::string source = work + "source\\Velmorra";
    PlanEverything(reader, source, log);
    const std::vector<PlannedFile> planned = PlannedFiles(reader);
    std::set<std::string> made;
    for (const PlannedFile& file : planned) {
        MakeParents(file.target, made);
        HANDLE h = ::CreateFileA(file.target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
        DWORD written = 0;
        if (h == INVALID_HANDLE_VALUE ||
            (file.entry->Size && !::WriteFile(h, reader.Data() + file.entry->DataOffset, DWORD(file.entry->Size),
                                              &written, nullptr))) {
            std::fprintf(stderr, "bench: cannot write %s\n", file.target.c_str());
            return 2;
        }
        ::CloseHandle(h);
    }

    int run = 0;
    auto install = [&] {
        const std::string folder = work + "run" + std::to_string(++run);
        PlanEverything(reader, folder + "\\Velmorra", log);
        const double seconds = RunInstallThread(reader);
        RemoveTree(folder);
        if (seconds < 0) {
            std::fprintf(stderr, "bench: the install thread did not write the whole plan\n");
            std::exit(1);
        }
        return seconds;
    };
    auto copy = [&] {
        const std::string folder = work + "copy" + std::to_string(++run);
        std::vector<std::pair<std::string, std::string>> jobs;
        for (const PlannedFile& file : planned)
            jobs.push_back({file.target, folder + "\\Velmorra" + file.target.substr(source.size())});
        const auto start = Clock::now();
        std::set<std::string> madeHere;
        for (const auto& [from, to] : jobs) {
            MakeParents(to, madeHere);
            if (!::CopyFileA(from.c_str(), to.c_str(), FALSE)) {
                std::fprintf(stderr, "bench: CopyFileA failed for %s (%lu)\n", to.c_str(), ::GetLastError());
                std::exit(1);
            }
        }
        const double seconds = Seconds(start);
        RemoveTree(folder);
        return seconds;
    };
    const Pair copying = MedianPair(runs, install, copy);
    std::printf("copying    %u files per run, each run into a fresh folder; baseline CopyFileA\n",
                unsigned(planned.size()));
    met = Report("copying", copying, 1.25, runs) && met;
    RemoveTree(work + "source");
    return met ? 0 : 1;
}

struct Memory {
    size_t workingSet = 0, peakWorkingSet = 0;
};

Memory ReadMemory()
{
    using InfoFn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    static ModuleHandle psapi = LoadSystemLibrary("psapi.dll");
    static auto info = psapi ? reinterpret_cast<InfoFn>(reinterpret_cast<void*>(
                                   ::GetProcAddress(psapi.Get(), "GetProcessMemoryInfo")))
                             : nullptr;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!info || !info(::GetCurrentProcess(), &counters, sizeof counters)) return {};
    return {counters.WorkingSetSize, counters.PeakWorkingSetSize};
}

double Mb(size_t bytes) { return double(bytes) / (1 << 20); }

// One installation in a fresh process, as the setup program makes it: the packed archive in
// memory (the program has it mapped from its own file), the reader, the plan, the worker.
// before: the process as Wine or Windows starts it, before the archive is read.
int MemoryUse(const Memory& before, const std::string& packed, const std::string& work)
{
    if (!before.peakWorkingSet) {
        std::fprintf(stderr, "bench: GetProcessMemoryInfo is not available\n");
        return 2;
    }
    int32_t inflated = 0;
    {
        InstallLog log;   // the installation's, as its owner keeps it
        TAttachedFiles reader(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
        inflated = reader.DataSize;
        PlanEverything(reader, work + "memory\\Velmorra", log);
        if (RunInstallThread(reader) < 0) {
            std::fprintf(stderr, "bench: the install thread did not write the whole plan\n");
            return 1;
        }
    }
    const Memory after = ReadMemory();
    RemoveTree(work + "memory");
    const size_t target = size_t(inflated) + packed.size() + (16u << 20);
    const size_t share = after.peakWorkingSet - before.workingSet;
    std::printf("memory     peak working set %.1f MB, of which %.1f MB before the archive was read (the "
                "runtime); the installation's share %.1f MB\n",
                Mb(after.peakWorkingSet), Mb(before.workingSet), Mb(share));
    const bool met = share <= target;
    std::printf("memory     target <= %.1f MB (inflated %.1f + packed %.1f + 16): share %s; whole process %s\n",
                Mb(target), Mb(size_t(inflated)), Mb(packed.size()), met ? "met" : "MISSED",
                after.peakWorkingSet <= target ? "within it too" : "above it");
    return met ? 0 : 1;
}

// Where the install thread's time goes, per platform call, over several installations.
int Profile(TimedPlatform& platform, const std::string& packed, const std::string& work, int runs)
{
    InstallLog log;   // the installation's, as its owner keeps it
    TAttachedFiles reader(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    double total = 0;
    for (int run = 1; run <= runs; ++run) {
        const std::string folder = work + "profile" + std::to_string(run);
        PlanEverything(reader, folder + "\\Velmorra", log);
        for (auto& account : platform.accounts) account = {account.name};
        total += RunInstallThread(reader);
        RemoveTree(folder);
    }
    std::printf("profile    %d installations, %.2f ms each; the last one:\n", runs, total * 1e3 / runs);
    double accounted = 0;
    for (const auto& account : platform.accounts) {
        std::printf("           %-18s %5ld calls %8.2f ms\n", account.name, account.calls, account.seconds * 1e3);
        accounted += account.seconds;
    }
    const auto start = Clock::now();
    platform.StartThread([] {})->Join();
    std::printf("           an empty thread, started and joined: %.2f ms; the rest of the average: %.2f ms\n",
                Seconds(start) * 1e3, (total / runs - accounted) * 1e3);
    return 0;
}

}  // namespace

namespace bench {
int Peer(int argc, char** argv);          // PeerBench.cpp
int Finish(int argc, char** argv);
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "peer") return bench::Peer(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "finish") return bench::Finish(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: velmorra-bench speed|memory|profile <files.bin> <work folder> [runs]\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::string work = WithSlash(argv[3]);
    const int runs = argc > 4 ? std::atoi(argv[4]) : 7;
    const Memory atStart = ReadMemory();
    TimedPlatform platform;
    SetPlatform(&platform);
    platform.LocateFolderService();
    const std::string packed = ReadFile(argv[2]);
    if (packed.empty() || runs < 1) {
        std::fprintf(stderr, "bench: cannot read %s\n", argv[2]);
        return 2;
    }
    if (mode == "memory") return MemoryUse(atStart, packed, work);
    if (mode == "speed") return Speed(packed, work, runs);
    if (mode == "profile") return Profile(platform, packed, work, runs);
    std::fprintf(stderr, "bench: unknown mode %s\n", mode.c_str());
    return 2;
}
