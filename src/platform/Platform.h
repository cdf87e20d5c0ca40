// The seam between the program's rules and the operating system.
// Every operating-system call the installer makes goes through here, so the rules
// run unchanged over the real Win32 calls and over the fake machine of the host tests.
// Texts are Windows-1252 byte strings; paths use backslashes.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FunctionRef.h"

// Attribute bits as the file system reports them.
enum : uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
    kAttrReparsePoint = 0x400,   // a junction or a symbolic link
};

// Drive-type codes (GetDriveTypeA).
enum : unsigned {
    kDriveUnknown = 0,
    kDriveNoRoot = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// Volume file-system flags.
enum : uint32_t {
    kFsCaseSensitive = 0x1,
    kFsCaseIsPreserved = 0x2,
};

enum : unsigned { kSemFailCriticalErrors = 0x1 };

struct FoundFile {
    std::string name;        // name only, no folder
    uint32_t attributes = 0;
};

// A broken-down local date and time.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// How a file is created for writing.
enum class FileShare { None, Read };

// Logs and settings must survive a power loss: flushed to the disk before their swap, and the
// swap written through. The product's other files are written again by the next run.
enum class Durability { Cached, Flushed };

struct StorageAnswer {
    bool opened = false;     // the device could be opened
    bool answered = false;   // the property query succeeded
    uint32_t busType = 0;
    uint8_t removableMedia = 0;
};

// The answer to a claim of the one-copy guard.
struct GuardClaim {
    bool held = false;      // this process holds the guard now, until it ends
    std::string ownerSid;   // otherwise the owner of the guard found, "S-1-5-32-544"; empty: unknown
};

enum class RegRoot { CurrentUser, LocalMachine };
enum class RegType { None, String, Dword, Other };

class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // False when the value does not exist (its size cannot be queried). bytes are the raw
    // data as stored: a string keeps its terminating zero byte, a DWORD is 4 bytes little-endian.
    virtual bool Query(const std::string& name, RegType& type, std::string& bytes) = 0;
    virtual void SetString(const std::string& name, const std::string& value) = 0;
    virtual void SetDword(const std::string& name, uint32_t value) = 0;
};

class ShellLink {
public:
    virtual ~ShellLink() = default;
    virtual void SetPath(const std::string& target) = 0;
    virtual void SetWorkingDirectory(const std::string& folder) = 0;
    virtual void SetDescription(const std::string& text) = 0;
    virtual bool Save(const std::string& linkFile) = 0;
};

// Re-entrant: a thread may acquire a lock it holds, and releases it as often as it acquired it.
class Lock {
public:
    virtual ~Lock() = default;
    virtual void Acquire() = 0;
    virtual void Release() = 0;
};

class Thread {
public:
    virtual ~Thread() = default;
    virtual void Join() = 0;        // waits until the thread has ended
    virtual bool Finished() = 0;
};

// A folder opened without following a link, held (no delete sharing) so that it can be neither
// removed, renamed nor replaced by a link while the object lives.
class HeldFolder {
public:
    virtual ~HeldFolder() = default;
};

enum class DeleteOutcome { Deleted, Missing, Refused, Failed };   // Refused: a link, or not the kind asked

enum class ReadOutcome { Read, Missing, Refused, Failed };

// What an entry opened without following a link must be: a plain file, a folder, or a link itself.
enum class EntryKind { File, Folder, Link };

// A file opened once and written only through that handle.
class OpenedFile {
public:
    virtual ~OpenedFile() = default;
    virtual bool Append(const std::string& bytes) = 0;
    virtual bool Flush() = 0;
};

// A path Windows gives, as this program can carry it. Windows holds paths in UTF-16, named after
// users in any script; Found: the path exactly, or its short (8.3) form, which names the same
// entry; Missing: Windows gives none; Unnameable: no form of it fits the program's code page,
// so nothing may be made or looked for under a look-alike of it.
enum class PathAnswer { Found, Missing, Unnameable };

class Platform {
public:
    Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform();

    // One lock for every operation that moves the process's current directory: the drive watch
    // on the wizard's thread may test a folder while the worker makes one. Made on first use,
    // by whichever thread comes first.
    Lock& CurrentDirectoryLock();

    // System
    virtual bool GetVersion(unsigned& platformId, unsigned& major) = 0;
    virtual LocalTime Now() = 0;
    virtual void SleepMs(unsigned ms) = 0;
    virtual bool IsMainThread() = 0;
    virtual std::unique_ptr<Lock> NewLock() = 0;
    virtual std::unique_ptr<Thread> StartThread(std::function<void()> body) = 0;
    // The module's own resource of that type and name; data stays valid for the run.
    virtual bool FindResourceData(const std::string& type, const std::string& name,
                                  const uint8_t*& data, size_t& size) = 0;
    virtual int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;

    // Current directory and folders
    // As the system gives it, no NUL: the plain form of the path last set ("." and ".."
    // resolved, "/" turned to "\"), in the letter case it was set with, ending in "\" only at a root.
    // Empty when it fails or has no form the program can carry.
    virtual std::string GetCurrentDir() = 0;
    virtual bool SetCurrentDir(const std::string& path) = 0;
    virtual bool CreateDir(const std::string& path) = 0;
    virtual bool RemoveDir(const std::string& path) = 0;
    virtual PathAnswer TempPath(std::string& path) = 0;   // path empty unless Found

    // Files
    // Creates or replaces the file and writes the bytes in one write.
    // Returns false when it cannot be created or fewer bytes were stored. With normal attributes
    // asked for, Windows refuses to replace a read-only, hidden or system file.
    virtual bool WriteNewFile(const std::string& path, const void* data, size_t size, FileShare share) = 0;
    virtual bool ReadWholeFile(const std::string& path, std::string& bytes) = 0;
    virtual bool DeleteFileAt(const std::string& path) = 0;
    // Entries matching a pattern ("folder\*.*" or an exact name), "." and ".." included as the
    // file system gives them (a drive's root has none); empty when nothing matches. A name the
    // program's code page cannot carry comes as its short name, or not at all.
    virtual std::vector<FoundFile> FindFiles(const std::string& pattern) = 0;
    // Last-write time of an existing file, as a packed local DOS date-time.
    virtual bool GetLastWriteDos(const std::string& path, uint32_t& dosDateTime) = 0;
    // Opens the existing file for writing and sets its last-write time from a local DOS date-time.
    virtual bool SetLastWriteDos(const std::string& path, uint32_t dosDateTime) = 0;

    // Drives and volumes
    virtual uint32_t LogicalDrives() = 0;
    virtual unsigned DriveType(const std::string& root) = 0;   // root: "C:\" or "\\server\share\"
    virtual bool VolumeInfo(const std::string& root, std::string& label, uint32_t& fsFlags) = 0;
    // Geometry of the disk of root, or of the current directory when root is empty.
    virtual bool DiskGeometry(const std::string& root, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector) = 0;
    virtual bool FreeBytesForUser(const std::string& root, uint64_t& bytes) = 0;
    virtual StorageAnswer QueryStorageDevice(const std::string& devicePath) = 0;   // "\\.\C:"
    virtual bool NetworkConnection(const std::string& drive, std::string& remote) = 0;   // drive: "E:"
    virtual unsigned SetErrorMode(unsigned mode) = 0;

    // Text under the system's ANSI rules
    virtual void UpperCase(std::string& text) = 0;
    virtual void LowerCase(std::string& text) = 0;
    // CompareStringA, user default locale: <0, 0, >0.
    virtual int CompareIgnoreCase(const std::string& a, const std::string& b) = 0;  // NORM_IGNORECASE|SORT_STRINGSORT
    virtual int CompareLocale(const std::string& a, const std::string& b) = 0;      // no flags
    virtual bool IsDbcsSystem() = 0;
    virtual bool IsLeadByte(unsigned char c) = 0;   // first byte of a double-byte character

    // Shell
    // Missing: no entry point or not S_OK; path empty unless Found.
    virtual PathAnswer SpecialFolderPath(int csidl, std::string& path) = 0;
    virtual std::unique_ptr<ShellLink> NewShellLink() = 0;             // null when the object cannot be made

    // Ownership of what other users made in the shared data folder
    // The owner of the entry, opened without following a link, as "S-1-5-32-544"; empty: unknown.
    virtual std::string OwnerOf(const std::string& path) = 0;
    // Through the entry's own handle, opened without following a link (a link is refused): the
    // Administrators become its owner and its permissions are those a fresh entry would inherit
    // from its parent, nothing of its own.
    // An entry with more than one hard link is refused: its other names may be another user's file.
    virtual bool TakeBack(const std::string& path) = 0;
    // Through the folder's own handle, opened without following a link (a link is refused): the
    // Administrators become its owner, and its permissions are those of the program files folder:
    // Administrators and SYSTEM full control, Users read and execute, nothing from its parent.
    virtual bool ProtectFolder(const std::string& path) = 0;
    // Backup, restore and take-ownership, enabled by OwnerOf, TakeBack and ProtectFolder,
    // are disabled again once the taking back is done.
    virtual void DropOwnershipPrivileges() = 0;

    // Registry
    virtual std::unique_ptr<RegistryKey> OpenOrCreateKey(RegRoot root, const std::string& path) = 0;

    // Windows and processes
    virtual void EnumTopLevelWindows(FunctionRef<bool(uintptr_t window)> visit) = 0;
    virtual bool WindowHasProperty(uintptr_t window, const std::string& property) = 0;
    // Takes the machine-wide guard of that name for the rest of the process: where the system
    // has private namespaces, in one bound to the Administrators; otherwise as a named object
    // that only the Administrators, SYSTEM and this user may use, and anyone may ask its owner.
    virtual GuardClaim ClaimGuard(const std::string& name) = 0;
    virtual std::string UserSid() = 0;   // this process's user, "S-1-5-21-..."; empty when unknown
    // Starts the program file at application (a full path) with that command line, in that folder.
    virtual bool StartProgram(const std::string& application, const std::string& commandLine,
                              const std::string& currentDir, unsigned showMode) = 0;
    // The same as the user of the desktop rather than with this process's token: the shell
    // starts it. False when the shell cannot be asked (no Explorer, no shell window).
    virtual bool StartProgramAsDesktopUser(const std::string& application, const std::string& arguments,
                                           const std::string& currentDir, unsigned showMode) = 0;

    // Removal of an installation (the installed program's "-ui")
    virtual std::string ModuleFileName() = 0;   // this program's own file; empty as GetCurrentDir
    // The key when it exists, never created; null otherwise.
    virtual std::unique_ptr<RegistryKey> OpenExistingKey(RegRoot root, const std::string& path) = 0;
    // Deletes a key and its values, never one with sub-keys; onlyIfEmpty: nor one holding a value.
    virtual bool DeleteRegistryKey(RegRoot root, const std::string& path, bool onlyIfEmpty) = 0;
    virtual bool DeleteRegistryValue(RegRoot root, const std::string& path, const std::string& name) = 0;
    // Starts the program with its folder as current directory; its file goes when it has ended.
    // Waits until the program passes a code (ReleaseStarter) or ends, and gives that code (or its
    // exit code). False when it cannot be started.
    // The file is written from bytes where nothing had its name, and what runs is that very file:
    // its handle is held, shared with no writer or deleter, until the program has started.
    virtual bool RunProgramDeletedOnExit(const std::string& program, const std::string& bytes,
                                         const std::string& arguments, uint32_t& code) = 0;
    // A folder made where nothing had the name, that only this user may open.
    virtual bool CreatePrivateDir(const std::string& path) = 0;
    // In a program so started: passes the code to the one that started it, then waits for its end.
    virtual void ReleaseStarter(uint32_t code) = 0;
    // In a program so started: renames its own file, never over another; it still goes at the end.
    virtual bool MoveOwnFile(const std::string& to) = 0;
    // Starts the program with the administrator's rights ("runas") and gives its exit code;
    // false when they were refused or it could not start.
    virtual bool RunElevated(const std::string& program, const std::string& arguments, uint32_t& code) = 0;
    virtual bool DeleteAtRestart(const std::string& path) = 0;   // MoveFileEx, delay until reboot

    // Safe file writing
    // Creates the file only when nothing (not even a link) has that name, without following a
    // link, writes the bytes in one write and, unless dosDateTime is 0, sets that last-write time
    // through the same handle. A short write removes the file again, through that handle.
    virtual bool CreateNewFile(const std::string& path, const void* data, size_t size, FileShare share,
                               uint32_t dosDateTime, Durability durability = Durability::Cached) = 0;
    // Renames from to to, replacing an existing file (or link) of that name without following it.
    virtual bool MoveReplacing(const std::string& from, const std::string& to,
                               Durability durability = Durability::Cached) = 0;

    // Links planted by another user
    // Null when path is missing, not a folder, a reparse point, or cannot be opened.
    virtual std::unique_ptr<HeldFolder> HoldFolder(const std::string& path) = 0;
    // Opens the entry without following a link, checks by its handle that it is a plain file
    // (folder=false) or a folder (folder=true) and no reparse point, and deletes it through that
    // handle (a folder only when empty).
    virtual DeleteOutcome DeleteEntryNoLink(const std::string& path, bool folder) = 0;
    // Relative to a held folder's handle, name being one entry of it: nothing goes by the full
    // path, so a held folder turned into a mount point meanwhile leads nowhere else.
    // The folder of that name as HoldFolder holds it; null when missing, a link or not a folder.
    virtual std::unique_ptr<HeldFolder> HoldFolderIn(HeldFolder& parent, const std::string& name) = 0;
    // Makes the folder where nothing had the name and holds it; null when it cannot be made.
    virtual std::unique_ptr<HeldFolder> MakeFolderIn(HeldFolder& parent, const std::string& name) = 0;
    // As CreateNewFile, in the held folder.
    virtual bool CreateNewFileIn(HeldFolder& parent, const std::string& name, const void* data, size_t size,
                                 FileShare share, uint32_t dosDateTime, Durability durability) = 0;
    // Opens the entry without following a link, checks by its handle that it is of that kind
    // (a link: itself, never entered) and deletes it through that handle (a folder only when empty).
    virtual DeleteOutcome DeleteEntryIn(HeldFolder& parent, const std::string& name, EntryKind kind) = 0;
    // Reads a plain file opened without following a link. Refused: a link, a folder, or a file
    // with more than one hard link, which is never read.
    virtual ReadOutcome ReadPlainFile(const std::string& path, std::string& bytes) = 0;
    // Opens the file for a log written through this one handle: made where missing, emptied
    // otherwise. Null when the name is a link, a folder or a file with more than one hard link.
    virtual std::unique_ptr<OpenedFile> OpenLogFile(const std::string& path) = 0;
    virtual uint32_t RandomNumber() = 0;   // unpredictable
    virtual bool IsElevated() = 0;         // Vista and later: the token is elevated; earlier: false

private:
    std::atomic<Lock*> currentDirectoryLock_{nullptr};
};

// The machine the program runs on; set once at start-up (or by a test).
Platform& Sys();
void SetPlatform(Platform* platform);
