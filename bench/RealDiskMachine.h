// The fake machine with real files: drive C: and its folders live under a host folder, so the
// benchmarks time the engine's own work together with the real file-system calls it makes.
// Everything else (special folders, clock, texts, registry) stays the fake machine's.
// Paths are taken as given: no case folding, which the benchmarks' own paths never need.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include "support/FakeMachine.h"

// Calls and time per platform call, for the benchmark's profile; counted only while on.
struct CallProfile {
    struct Entry {
        uint64_t calls = 0;
        double seconds = 0;
    };
    bool on = false;
    std::map<std::string, Entry> entries;
    void Print(double totalSeconds, int runs) const;
};

class RealDiskMachine : public FakeMachine {
public:
    explicit RealDiskMachine(std::string hostRoot);   // C:\ is hostRoot/C

    std::string HostPath(const std::string& windowsPath) const;

    std::string GetCurrentDir() override;
    bool SetCurrentDir(const std::string& path) override;
    bool CreateDir(const std::string& path) override;
    bool RemoveDir(const std::string& path) override;
    bool WriteNewFile(const std::string& path, const void* data, size_t size, FileShare share) override;
    bool ReadWholeFile(const std::string& path, std::string& bytes) override;
    bool DeleteFileAt(const std::string& path) override;
    std::vector<FoundFile> FindFiles(const std::string& pattern) override;
    bool GetLastWriteDos(const std::string& path, uint32_t& dosDateTime) override;
    bool SetLastWriteDos(const std::string& path, uint32_t dosDateTime) override;

    // Safe file writing
    bool CreateNewFile(const std::string& path, const void* data, size_t size, FileShare share,
                       uint32_t dosDateTime, Durability durability) override;
    bool MoveReplacing(const std::string& from, const std::string& to, Durability durability) override;
    // Open without following a link, as the program holds a folder on Windows.
    std::unique_ptr<HeldFolder> HoldFolder(const std::string& path) override;
    // Through the held folder's descriptor, as the program works through its handle.
    std::unique_ptr<HeldFolder> HoldFolderIn(HeldFolder& parent, const std::string& name) override;
    std::unique_ptr<HeldFolder> MakeFolderIn(HeldFolder& parent, const std::string& name) override;
    bool CreateNewFileIn(HeldFolder& parent, const std::string& name, const void* data, size_t size,
                         FileShare share, uint32_t dosDateTime, Durability durability) override;
    DeleteOutcome DeleteEntryIn(HeldFolder& parent, const std::string& name, EntryKind kind) override;

    CallProfile profile;

private:
    std::string Plain(const std::string& path) const;   // absolute, "\" only, "." and ".." resolved
    std::string root_;
    std::string currentDir_ = "C:\\";
};
