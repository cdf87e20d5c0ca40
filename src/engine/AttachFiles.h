// The archive of files to install, carried in the program's "FILES" resource.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/TextError.h"

// A "FILES" archive that cannot be read; the text is shown to the user.
class ArchiveError : public TextError {
public:
    using TextError::TextError;
};

struct TAttachedFile {
    std::string Name;
    int32_t Size = 0;
    double Date = 0;
    int32_t DataOffset = 0;
};

struct TFileToInstall {
    const TAttachedFile* Entry = nullptr;
    std::string TargetPath;
    bool Logged = false;
};

enum TInstallMode { IfAbsent = 0, IfChanged = 1, Always = 2 };

class TAttachedFiles {
public:
    TAttachedFiles();                                            // the module's own "FILES" resource
    TAttachedFiles(const uint8_t* compressed, size_t size);      // any zlib stream
    ~TAttachedFiles();
    TAttachedFiles(const TAttachedFiles&) = delete;
    TAttachedFiles& operator=(const TAttachedFiles&) = delete;

    const uint8_t* Data() const { return data_.get(); }
    int32_t DataSize = 0;
    std::vector<std::unique_ptr<TAttachedFile>> Entries;
    std::array<std::vector<std::unique_ptr<TFileToInstall>>, 8> ComponentFiles;
    std::vector<std::string> PublicFiles;
    bool ForceOverwrite = false;
    bool FullTarget = false;     // the next request's folder is the whole target path
    InstallLog* Log = nullptr;   // the running installation's, handed in by whoever runs it
    Recorder& Records();         // that log, or nothing before an installation runs
    // The shared data folder as this installation has found it; every step of it writes
    // there through this one.
    SharedData Shared;

    // Writes one entry (or, with no entry, the last one named so) to target; false when it
    // could not be written (or no entry has that name). It never asks: its callers decide.
    // An error (exhausted memory) is not a failure to write: it goes to the caller.
    bool ExtractFile(const TAttachedFile* entry, const std::string& name, const std::string& target);
    const TAttachedFile* FindEntry(const std::string& name) const;

    void ClearComponentFiles(int component);
    bool AddFilesByName(const std::string& name, const std::string& folder, TInstallMode mode, int component);
    int32_t PlannedBytes() const;
    // Disk space the entries of a component's file list take on the drive of destFolder.
    int32_t ComponentBytes(const std::string& fileList, const std::string& destFolder) const;

private:
    struct FreeBytes { void operator()(uint8_t* p) const; };
    void Load(const uint8_t* compressed, size_t size);
    void Index();
    bool TryExtract(const TAttachedFile& entry, const std::string& target);
    std::unique_ptr<uint8_t[], FreeBytes> data_;   // grown with realloc, so never zero-filled
    NullRecorder noLog_;
    FolderHold folder_{Shared};                     // the folder of the last file written, held
};

// The one archive reader of the program (set by start-up).
extern TAttachedFiles* AttachedFiles;
