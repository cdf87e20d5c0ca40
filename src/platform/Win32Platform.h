// The real machine: every primitive of the seam as the ANSI Win32 call it stands for; the paths
// the system gives come through the UTF-16 calls (Win32PlatformPaths.h).
#pragma once
#include <atomic>

#include "platform/Platform.h"
#include "platform/Win32Handles.h"

class Win32Platform : public Platform {
public:
    // The thread that constructs the platform counts as the main thread.
    Win32Platform();
    ~Win32Platform() override;

    // Finds SHGetFolderPathW, in shell32.dll and otherwise in shfolder.dll, both loaded
    // by full path from the system folder. False when neither has it.
    bool LocateFolderService();

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

    std::string OwnerOf(const std::string& path) override;
    bool TakeBack(const std::string& path) override;
    bool ProtectFolder(const std::string& path) override;
    void EnableOwnershipPrivileges();
    void DropOwnershipPrivileges() override;

    std::unique_ptr<RegistryKey> OpenOrCreateKey(RegRoot root, const std::string& path) override;

    GuardClaim ClaimGuard(const std::string& name) override;
    std::string UserSid() override;
    void EnumTopLevelWindows(FunctionRef<bool(uintptr_t window)> visit) override;
    bool WindowHasProperty(uintptr_t window, const std::string& property) override;
    bool StartProgram(const std::string& application, const std::string& commandLine,
                      const std::string& currentDir, unsigned showMode) override;
    bool StartProgramAsDesktopUser(const std::string& application, const std::string& arguments,
                                   const std::string& currentDir, unsigned showMode) override;

    // Removal of an installation
    std::string ModuleFileName() override;
    std::unique_ptr<RegistryKey> OpenExistingKey(RegRoot root, const std::string& path) override;
    bool DeleteRegistryKey(RegRoot root, const std::string& path, bool onlyIfEmpty) override;
    bool DeleteRegistryValue(RegRoot root, const std::string& path, const std::string& name) override;
    bool RunProgramDeletedOnExit(const std::string& program, const std::string& bytes, const std::string& arguments,
                                 uint32_t& code) override;
    bool CreatePrivateDir(const std::string& path) override;
    void ReleaseStarter(uint32_t code) override;
    bool MoveOwnFile(const std::string& to) override;
    bool RunElevated(const std::string& program, const std::string& arguments, uint32_t& code) override;
    bool DeleteAtRestart(const std::string& path) override;

    // Safe file writing
    bool CreateNewFile(const std::string& path, const void* data, size_t size, FileShare share,
                       uint32_t dosDateTime, Durability durability = Durability::Cached) override;
    bool MoveReplacing(const std::string& from, const std::string& to,
                       Durability durability = Durability::Cached) override;

    std::unique_ptr<HeldFolder> HoldFolder(const std::string& path) override;
    DeleteOutcome DeleteEntryNoLink(const std::string& path, bool folder) override;
    std::unique_ptr<HeldFolder> HoldFolderIn(HeldFolder& parent, const std::string& name) override;
    std::unique_ptr<HeldFolder> MakeFolderIn(HeldFolder& parent, const std::string& name) override;
    bool CreateNewFileIn(HeldFolder& parent, const std::string& name, const void* data, size_t size, FileShare share,
                         uint32_t dosDateTime, Durability durability) override;
    DeleteOutcome DeleteEntryIn(HeldFolder& parent, const std::string& name, EntryKind kind) override;
    ReadOutcome ReadPlainFile(const std::string& path, std::string& bytes) override;
    std::unique_ptr<OpenedFile> OpenLogFile(const std::string& path) override;
    uint32_t RandomNumber() override;
    bool IsElevated() override;

private:
    using FolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    void SetOwnershipPrivileges(DWORD attributes);
    using GetConnectionFn = DWORD(APIENTRY*)(LPCSTR, LPSTR, LPDWORD);

    DWORD mainThreadId_;
    ModuleHandle folderModule_;
    FolderPathFn folderPath_ = nullptr;
    ModuleHandle mprModule_;
    GetConnectionFn getConnection_ = nullptr;
    bool mprTried_ = false;
    bool privilegesEnabled_ = false;
    std::atomic<uint32_t> randomCalls_{0};   // the worker and the wizard both ask for names
    FileHandle guard_;
    HANDLE guardNamespace_ = nullptr;   // held with the guard; closed with the platform
};

// A system DLL loaded from the system folder by its full path, never by a bare name
// (a DLL planted beside the program would otherwise be found first).
ModuleHandle LoadSystemLibrary(const char* fileName);

// DLL planting: called first thing by each program. Takes the current folder (and, where the
// system allows, the program's own) out of the DLL search, and loads from the system folder the
// DLLs that system code loads later by bare name.
void RestrictDllSearch();

// DLL planting: InitCommonControlsEx from a comctl32 loaded once start-up has narrowed the DLL
// search, rather than imported (an imported comctl32 starts before the program's first
// instruction, and its start-up loads further DLLs by bare name). Kept loaded for the whole run.
void InitCommonControlClasses(DWORD classes);

// End of the Windows session: the reason Windows shows while the program refuses it. Windows
// before Vista has no such list; there these do nothing and the refusal alone counts.
bool SetShutdownBlockReason(HWND window, const std::string& reason);
void ClearShutdownBlockReason(HWND window);
