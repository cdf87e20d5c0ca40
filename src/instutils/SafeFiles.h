// File operations that a planted link cannot turn aside: folders made, whole files written.
#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "instutils/PathText.h"
#include "platform/Platform.h"

// Hears of every folder made and every file written, so that they can be removed later.
class Recorder {
public:
    virtual ~Recorder() = default;
    virtual void FolderMade(const std::string& folder) = 0;
    virtual void FileWritten(const std::string& file) = 0;
};

// For what is written but not the installation's to remove.
class NullRecorder : public Recorder {
public:
    void FolderMade(const std::string&) override {}
    void FileWritten(const std::string&) override {}
};

enum : int {
    CSIDL_PROGRAMS = 2,
    CSIDL_PERSONAL = 5,
    CSIDL_DESKTOPDIRECTORY = 16,
    CSIDL_COMMON_PROGRAMS = 23,
    CSIDL_COMMON_DESKTOPDIRECTORY = 25,
    CSIDL_COMMON_APPDATA = 35,
    CSIDL_PROGRAM_FILES = 38,
};

// How a whole-file write ended. Refused: the path leads through a link inside the shared data
// folder, which any user may have planted; nothing was written.
enum class WriteOutcome { Written, Failed, Refused };

// The shared data folder ("Velmorra" under the all-users application data) as one installation
// sees it. Named on first use: it does not move during an installation, and asking the shell
// for it costs as much as writing a file.
class SharedData {
public:
    const std::string& Folder();   // empty when the system names no all-users data folder
    // The first time the folder is found to exist, gives it back to the Administrators
    // (TakeBackSharedDataFolder); once per installation.
    void TakeBackOnce();

private:
    std::optional<std::string> folder_;
    bool takenBack_ = false;
};

// Makes every missing folder of the path, recording each one.
// Answers the hold of the deepest folder it made through its parent, null when it made none so.
std::unique_ptr<HeldFolder> MakeFolderPath(const std::string& folder, SharedData& shared, Recorder& recorder);
// Deletes the entry and, when it is a folder, everything in it, each entry through its own
// handle opened relative to its held folder: a link goes as a link and is never entered.
// False when the entry stays.
bool DeleteTreeNoLink(const std::string& folder);
bool FolderExists(const std::string& path);
std::string CurrentDirectory();

// Serialises every operation that changes the process current directory, and puts back the
// folder that was current when it was made.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard();
    ~CurrentDirectoryGuard();
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

private:
    std::string saved_;
};

// The folder's path, or empty text. unnameable, when asked: Windows names the folder in
// characters the program cannot write and it has no short form; nothing may be made in its place.
std::string SpecialFolder(int csidl, bool* unnameable = nullptr);

// The folder that files are being written into, held open so that it cannot be removed,
// renamed or swapped for a link meanwhile; in the shared data folder, every folder from that
// one down, each opened without following a link. Its check holds only while it is held.
class FolderHold {
public:
    enum Outcome { Held, Missing, Link };
    explicit FolderHold(SharedData& shared) : shared_(shared) {}
    // Link: in the shared data folder, one on the way is a link. Outside it a folder that cannot
    // be held is written into as it is. The first hold of a folder removes the replacement
    // files that an interrupted run left there.
    Outcome Hold(const std::string& folder);
    // A folder this run has just made, by the hold it was made through: empty, so nothing is
    // searched for in it. In the shared data folder, where every level is held, it is not taken.
    void Adopt(const std::string& folder, std::unique_ptr<HeldFolder> made);
    bool Holds(const std::string& folder) const;
    HeldFolder* Handle() const;   // the folder held, null when written into as it is
    SharedData& Shared() const { return shared_; }
    void LetGo();

private:
    Outcome HoldSharedData(const std::string& root, const std::string& folder);

    SharedData& shared_;
    std::string folder_;
    std::vector<std::unique_ptr<HeldFolder>> held_;
};

// Writes the file whole: directly when its name is free, otherwise under a temporary name in the
// same folder that is then swapped in, so that a failed write leaves the old file as it was.
// A DOS date-time other than 0 becomes the file's last-write time. hold: takes the file's folder,
// and keeps it for the caller's next files there.
WriteOutcome WriteWholeFile(FolderHold& hold, const std::string& path, const void* data, size_t size,
                            FileShare share, uint32_t dosDateTime = 0, Durability durability = Durability::Cached);
// A replacement file's name: "~vlm", eight hex digits, ".tmp".
bool IsReplacementName(const std::string& name);
// True when path lies in the shared data folder ("Velmorra" under the all-users application
// data) and that folder, one below it or path itself is a junction or a symbolic link.
bool LeadsThroughLink(const std::string& path, SharedData& shared);
// The owners a folder of the shared data may have: the Administrators, SYSTEM, TrustedInstaller.
bool IsTrustedOwner(const std::string& sid);
// Anyone may make the shared data folder, or folders in it, before an administrator installs,
// and then owns them: an elevated setup gives every entry below it that is not a link back to
// the Administrators, with the permissions a fresh one would inherit.
void TakeBackSharedDataFolder(const std::string& root);
// An elevated per-machine installation's folder must not stay writable by Users, as it would
// be outside the program files folder: one made gets the program files folder's protection, one
// that another user owns is taken back with it, one an administrator owns keeps its own. A
// link is refused (TextError, InstallFolderLinkText).
void ProtectInstallFolder(const std::string& folder, SharedData& shared, Recorder& recorder);
std::string InstallFolderLinkText(const std::string& folder);
