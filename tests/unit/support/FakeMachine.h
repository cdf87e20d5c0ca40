// A fake Windows machine for the host tests: drives, an in-memory file tree, a registry,
// special folders, a clock, shell links, windows, resources and message boxes, with switches
// that inject the faults a real machine has (a locked file, a full disk, an unreadable volume).
//
// Paths follow Windows: case-insensitive, "\" separators, "/" accepted, "." and ".." resolved,
// relative paths taken from the current directory. Stored names keep the case they were made with.
// Every member may be called from any thread; threads and locks are real.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

// Windows-1252 case mapping, as CharUpperBuffA/CharLowerBuffA do it on a Western system.
char Cp1252Upper(char c);
char Cp1252Lower(char c);
std::string Cp1252Upper(std::string text);

// Packs a local time as a DOS date-time (date in the high half); 0 outside 1980..2107.
uint32_t PackDos(const LocalTime& t);
// Shorthand for tests: PackDos of the given moment.
uint32_t Dos(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

class FakeMachine : public Platform {
public:
    struct Drive {
        unsigned type = kDriveFixed;
        uint32_t sectorsPerCluster = 8;
        uint32_t bytesPerSector = 512;
        uint64_t freeBytes = 10ull << 30;
        StorageAnswer storage{true, true, 3 /* ATA */, 0};
        std::string label = "SYSTEME";
        uint32_t fsFlags = kFsCaseIsPreserved;
        std::string remote;           // network drive: "\\server\share" (WNetGetConnection)
        // Faults
        bool unreadable = false;      // no medium: volume, folders, files and space queries fail
        bool full = false;            // writes store half their bytes, fail and leave no free space
        bool freeSpaceFails = false;  // FreeBytesForUser fails
        bool geometryFails = false;   // DiskGeometry fails
    };

    struct LinkRecord {
        std::string target, workingFolder, description;
    };

    struct MessageBoxCall {
        std::string text, caption;
        unsigned flags = 0;
    };

    struct StartedProgram {
        std::string application, commandLine, currentDir;
        unsigned showMode = 0;
        bool asDesktopUser = false;   // started by the shell, with the desktop user's token
    };

    struct RegValue {
        RegType type = RegType::None;
        std::string bytes;   // raw data: strings with their terminating zero, DWORDs as 4 bytes LE
    };

    FakeMachine();
    ~FakeMachine() override;

    // A usual French Windows 2000 machine: fixed drive C: (NTFS, 4 096-byte clusters,
    // 10 GB free), the program files, profile and temporary folders, the special folders,
    // current directory C:\.
    void StandardSetup();

    // --- Drives and shares
    // clusterBytes is sectors per cluster x 512-byte sectors.
    Drive& AddDrive(char letter, unsigned type = kDriveFixed, uint32_t clusterBytes = 4096,
                    uint64_t freeBytes = 10ull << 30);
    Drive& AddShare(const std::string& unc);   // "\\server\share": a remote root in the tree
    Drive& DriveAt(const std::string& root);   // "C", "C:", "C:\" or "\\server\share"
    void RemoveDrive(char letter);             // the drive and its files disappear

    // --- File tree (parents are made as needed; names keep the case given)
    void MakeFolder(const std::string& path);
    void PutFile(const std::string& path, const std::string& bytes = "", uint32_t dosTime = 0);
    bool Exists(const std::string& path);
    bool IsFolder(const std::string& path);
    bool IsFile(const std::string& path);
    std::string FileBytes(const std::string& path);   // empty when missing
    uint32_t Attributes(const std::string& path);     // 0 when missing
    void SetAttributes(const std::string& path, uint32_t attributes);
    uint32_t LastWrite(const std::string& path);      // 0 when missing
    std::string StoredPath(const std::string& path);  // full path in the stored case; empty when missing
    std::vector<std::string> Children(const std::string& folder);   // names, in enumeration order
    // Every file and folder below the roots, stored case, sorted: a quick picture of the disk.
    std::vector<std::string> AllPaths();

    // --- Faults on files
    void LockFile(const std::string& path);      // WriteNewFile/DeleteFileAt/SetLastWriteDos fail
    void ReleaseFile(const std::string& path);
    // Another program has the file open without sharing: it holds these bytes until released.
    void HoldFile(const std::string& path, const std::string& bytes = "held") {
        PutFile(path, bytes);
        LockFile(path);
    }

    // --- System
    void SetClock(const LocalTime& now);
    void SetClock(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
    void SetVersion(unsigned platformId, unsigned major);
    void SetTempPath(const std::string& path);   // as GetTempPathA gives it; "" = failure
    void SetSpecialFolder(int csidl, const std::string& path);   // "?": no form of it fits the code page
    void RemoveSpecialFolder(int csidl);         // the call then fails
    void SetDbcs(bool dbcs);
    void SetResource(const std::string& type, const std::string& name, std::string bytes);
    void SetMessageBoxAnswer(int answer);
    std::vector<MessageBoxCall> MessageBoxes();
    unsigned SleepCalls();
    void SkipMainThreadSleeps();   // counted, not waited: the silent road's retries take no time
    unsigned ErrorMode();

    // --- Owners: every entry belongs to the Administrators unless given to another.
    void SetOwner(const std::string& path, const std::string& sid);
    std::string OwnerOf(const std::string& path) override;
    bool TakeBack(const std::string& path) override;   // the owner becomes "S-1-5-32-544"
    std::vector<std::string> TakenBack();             // paths, in the order taken back
    bool ProtectFolder(const std::string& path) override;   // owned by the Administrators, and listed
    std::vector<std::string> Protected();
    void DropOwnershipPrivileges() override;
    bool OwnershipPrivilegesEnabled();   // by OwnerOf, TakeBack or ProtectFolder, until dropped

    // --- Shell links
    void SetShellLinksAvailable(bool available);   // false: NewShellLink returns null
    std::optional<LinkRecord> ReadLink(const std::string& linkFile);

    // --- Storage device queries
    std::vector<std::string> OpenedDevices();   // device paths passed to QueryStorageDevice

    // --- Registry (key paths case-insensitive, without a leading backslash)
    void DenyRegistry(RegRoot root, bool deny = true);   // OpenOrCreateKey then returns null
    bool KeyExists(RegRoot root, const std::string& key);
    std::optional<RegValue> ReadValue(RegRoot root, const std::string& key, const std::string& name);
    std::optional<std::string> ReadString(RegRoot root, const std::string& key, const std::string& name);
    std::optional<uint32_t> ReadDword(RegRoot root, const std::string& key, const std::string& name);
    void WriteValue(RegRoot root, const std::string& key, const std::string& name, RegType type,
                    const std::string& bytes);
    void WriteString(RegRoot root, const std::string& key, const std::string& name, const std::string& value);
    void WriteDword(RegRoot root, const std::string& key, const std::string& name, uint32_t value);

    // --- Windows and processes
    uintptr_t AddWindow(const std::vector<std::string>& properties);
    void RemoveWindow(uintptr_t window);
    std::vector<StartedProgram> StartedPrograms();
    void SetStartProgramResult(bool ok);
    void SetDesktopShellAvailable(bool available);   // false: StartProgramAsDesktopUser fails
    // The one-copy guard as another process left it: its owner, "" when unknown.
    void HoldGuard(const std::string& ownerSid);
    bool GuardHeldByUs();

    // --- Platform
    bool GetVersion(unsigned& platformId, unsigned& major) override;
    LocalTime Now() override;
    void SleepMs(unsigned ms) override;
    bool IsMainThread() override;
    std::unique_ptr<Lock> NewLock() override;
    std::unique_ptr<Thread> StartThread(std::function<void()> body) override;
    bool FindResourceData(const std::string& type, const std::string& name,
                          const uint8_t*& data, size_t& size) override;
    int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) override;

    std::string GetCurrentDir() override;
    bool SetCurrentDir(const std::string& path) override;
    bool CreateDir(const std::string& path) override;
    bool RemoveDir(const std::string& path) override;
    PathAnswer TempPath(std::string& path) override;

    bool WriteNewFile(const std::string& path, const void* data, size_t size, FileShare share) override;
    bool ReadWholeFile(const std::string& path, std::string& bytes) override;
    bool DeleteFileAt(const std::string& path) override;
    std::vector<FoundFile> FindFiles(const std::string& pattern) override;
    bool GetLastWriteDos(const std::string& path, uint32_t& dosDateTime) override;
    bool SetLastWriteDos(const std::string& path, uint32_t dosDateTime) override;

    uint32_t LogicalDrives() override;
    unsigned DriveType(const std::string& root) override;
    bool VolumeInfo(const std::string& root, std::string& label, uint32_t& fsFlags) override;
    bool DiskGeometry(const std::string& root, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector) override;
    bool FreeBytesForUser(const std::string& root, uint64_t& bytes) override;
    StorageAnswer QueryStorageDevice(const std::string& devicePath) override;
    bool NetworkConnection(const std::string& drive, std::string& remote) override;
    unsigned SetErrorMode(unsigned mode) override;

    void UpperCase(std::string& text) override;
    void LowerCase(std::string& text) override;
    int CompareIgnoreCase(const std::string& a, const std::string& b) override;
    int CompareLocale(const std::string& a, const std::string& b) override;
    bool IsDbcsSystem() override;
    bool IsLeadByte(unsigned char c) override;

    PathAnswer SpecialFolderPath(int csidl, std::string& path) override;
    std::unique_ptr<ShellLink> NewShellLink() override;

    std::unique_ptr<RegistryKey> OpenOrCreateKey(RegRoot root, const std::string& path) override;

    void EnumTopLevelWindows(FunctionRef<bool(uintptr_t window)> visit) override;
    bool WindowHasProperty(uintptr_t window, const std::string& property) override;
    bool StartProgramAsDesktopUser(const std::string& application, const std::string& arguments,
                                   const std::string& currentDir, unsigned showMode) override;
    GuardClaim ClaimGuard(const std::string& name) override;
    std::string UserSid() override;   // "S-1-5-21-1-2-3-1001"
    bool StartProgram(const std::string& application, const std::string& commandLine,
                      const std::string& currentDir, unsigned showMode) override;

    // --- Removal of an installation
    void SetModuleFileName(const std::string& path);
    std::vector<std::string> DeletedAtRestart();   // paths, in the order asked
    std::string ModuleFileName() override;
    std::unique_ptr<RegistryKey> OpenExistingKey(RegRoot root, const std::string& path) override;
    bool DeleteRegistryKey(RegRoot root, const std::string& path, bool onlyIfEmpty) override;
    bool DeleteRegistryValue(RegRoot root, const std::string& path, const std::string& name) override;
    // Recorded among StartedPrograms as "\"program\" arguments" with show mode 5; the file stays.
    // The program's code is the one set (SetStartProgramResult(false): it cannot start).
    // The file is written first, as CreateNewFile does.
    bool RunProgramDeletedOnExit(const std::string& program, const std::string& bytes, const std::string& arguments,
                                 uint32_t& code) override;
    bool CreatePrivateDir(const std::string& path) override;
    void SetCopyCode(uint32_t code);
    void ReleaseStarter(uint32_t code) override;
    std::optional<uint32_t> StarterReleasedWith();
    bool MoveOwnFile(const std::string& to) override;   // the module's file, as MoveReplacing
    // Recorded among StartedPrograms with show mode 1; false when SetElevationRefused.
    bool RunElevated(const std::string& program, const std::string& arguments, uint32_t& code) override;
    void SetElevationRefused(bool refused);
    bool DeleteAtRestart(const std::string& path) override;

    // --- Safe file writing: links (junctions and symbolic links), and the calls that avoid them.
    // Paths through a link lead to its target; enumeration shows the link with kAttrReparsePoint.
    void MakeLink(const std::string& path, const std::string& target, bool folder);
    bool IsLink(const std::string& path);
    void DenyReading(const std::string& path, bool deny = true);   // ReadWholeFile fails (locked, denied)
    // A second name for the file; both then count two links (the bytes are not shared).
    void MakeHardLink(const std::string& path, const std::string& existing);
    // What a hold's write sharing allows: an empty folder, held or not, becomes a mount point.
    void TurnIntoMountPoint(const std::string& folder, const std::string& target);
    // Flushed writes and written-through swaps are remembered: IsFlushed tells whether a file's
    // bytes would survive a power loss.
    bool CreateNewFile(const std::string& path, const void* data, size_t size, FileShare share,
                       uint32_t dosDateTime, Durability durability = Durability::Cached) override;
    bool MoveReplacing(const std::string& from, const std::string& to,
                       Durability durability = Durability::Cached) override;
    bool IsFlushed(const std::string& path);

    // --- Links planted by another user: a held folder can be neither removed nor made a link.
    std::unique_ptr<HeldFolder> HoldFolder(const std::string& path) override;
    DeleteOutcome DeleteEntryNoLink(const std::string& path, bool folder) override;
    // Relative to a held folder: its entries by the folder itself, even once it is a link.
    std::unique_ptr<HeldFolder> HoldFolderIn(HeldFolder& parent, const std::string& name) override;
    std::unique_ptr<HeldFolder> MakeFolderIn(HeldFolder& parent, const std::string& name) override;
    bool CreateNewFileIn(HeldFolder& parent, const std::string& name, const void* data, size_t size, FileShare share,
                         uint32_t dosDateTime, Durability durability) override;
    DeleteOutcome DeleteEntryIn(HeldFolder& parent, const std::string& name, EntryKind kind) override;
    ReadOutcome ReadPlainFile(const std::string& path, std::string& bytes) override;
    std::unique_ptr<OpenedFile> OpenLogFile(const std::string& path) override;
    std::string PathOf(HeldFolder& folder);   // as it was held
    // Another user's move, made once the entry has been deleted.
    void WhenDeleted(const std::string& path, std::function<void()> action);
    bool IsHeld(const std::string& path);
    void SetRandomNumber(uint32_t next);   // RandomNumber counts up from here
    uint32_t RandomNumber() override;
    void SetElevated(bool elevated);
    bool IsElevated() override;

private:
    struct Node {
        std::string name;   // stored case; for a root, "C:" or "\\server\share"
        bool folder = false;
        std::string bytes;
        uint32_t attributes = 0;
        uint32_t lastWrite = 0;
        std::string linkTarget;   // a link: the full path it leads to
        unsigned links = 1;       // hard links
    };
    struct FullPath {
        bool valid = false;
        std::string root;                 // "C:" or "\\server\share", as written
        std::vector<std::string> parts;   // components below the root, as written
        std::string Text() const;         // root, "\", parts joined by "\" (no trailing "\" but the root's)
        std::string Key() const;          // upper-cased Text without the root's "\"
    };
    struct RegKey {
        std::map<std::string, std::pair<std::string, RegValue>> values;   // upper name -> (name, value)
    };
    class FakeKey;
    class FakeLink;
    class FakeHeldFolder;
    class FakeOpenedFile;

    FullPath Lexical(const std::string& path) const;                            // links not followed
    FullPath Resolve(const std::string& path, bool followLast = true) const;   // links followed
    FullPath FileAt(const std::string& path, bool followLast) const;
    Node* Find(const FullPath& p);
    Node* Find(const std::string& path);
    Drive* DriveOf(const std::string& root);   // root in key form ("C:" / "\\SERVER\SHARE")
    bool Readable(const FullPath& p);
    std::string ParentKey(const std::string& key) const;
    void MakeFolderLocked(const FullPath& p);
    bool CreateNewFileAt(const FullPath& p, const void* data, size_t size, uint32_t dosDateTime, Durability durability);
    std::unique_ptr<HeldFolder> HoldAt(const FullPath& p);
    DeleteOutcome DeleteAt(const FullPath& p, EntryKind kind);
    void AfterDelete(const std::string& key);
    std::vector<std::pair<std::string, Node*>> ChildrenOf(const std::string& key);
    uint32_t NowDos();
    std::string RegKeyName(RegRoot root, const std::string& key) const;
    void MakeRegKey(const std::string& full);

    std::recursive_mutex mutex_;
    std::thread::id mainThread_;
    std::map<std::string, Drive> drives_;   // key: "C:" or "\\SERVER\SHARE"
    std::map<std::string, Node> tree_;      // key: upper-cased full path, roots as "C:"
    std::string currentDir_ = "C:\\";
    std::set<std::string> locked_;          // keys
    LocalTime clock_{2005, 6, 15, 14, 30, 20, 0};
    unsigned platformId_ = 2, major_ = 5;
    std::string tempPath_;
    std::map<int, std::string> specialFolders_;
    bool dbcs_ = false;
    std::map<std::string, std::string> resources_;   // "TYPE\nNAME" -> bytes
    int messageBoxAnswer_ = 1;
    std::vector<MessageBoxCall> messageBoxes_;
    bool sleepsSkipped_ = false;
    unsigned sleepCalls_ = 0;
    unsigned errorMode_ = 0;
    bool shellLinks_ = true;
    std::vector<std::string> openedDevices_;
    std::set<RegRoot> deniedRoots_;
    std::map<std::string, RegKey> registry_;   // "HKCU\KEY\PATH" upper-cased
    std::map<uintptr_t, std::vector<std::string>> windows_;
    uintptr_t nextWindow_ = 0x100;
    std::vector<StartedProgram> started_;
    bool startResult_ = true;
    bool desktopShell_ = true;
    std::optional<std::string> guardOwner_;
    bool guardOurs_ = false;
    // Removal of an installation
    std::string modulePath_ = "C:\\Program Files\\Velmorra\\vlm.exe";
    std::vector<std::string> deletedAtRestart_;
    bool hasLinks_ = false;
    std::set<std::string> unreadable_;   // keys
    std::set<std::string> flushed_;      // keys
    std::map<std::string, std::string> owners_;   // keys -> SIDs other than the Administrators
    std::vector<std::string> takenBack_;
    std::vector<std::string> protected_;
    bool privileges_ = false;
    std::map<std::string, std::function<void()>> afterDelete_;   // keys
    std::multiset<std::string> held_;    // keys of held folders
    uint32_t nextRandom_ = 0x5EED0001;
    bool elevated_ = false;
    bool elevationRefused_ = false;
    uint32_t copyCode_ = 0;
    std::optional<uint32_t> starterReleasedWith_;
};

// Installs a fake machine as the program's platform for the life of the object.
class UseFakeMachine {
public:
    explicit UseFakeMachine(FakeMachine& machine);
    ~UseFakeMachine();
    UseFakeMachine(const UseFakeMachine&) = delete;
    UseFakeMachine& operator=(const UseFakeMachine&) = delete;
};
