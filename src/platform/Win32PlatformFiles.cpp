#include "platform/Win32Platform.h"

#include "platform/Win32PlatformInternal.h"
#include "platform/Win32PlatformPaths.h"

#include <memory>

using namespace win32;

namespace {

// A local DOS date-time as a file time; a zero date (a year the packed form cannot hold) makes none.
bool DosToFileTime(uint32_t dosDateTime, FILETIME& universal) {
    FILETIME local;
    const WORD date = HIWORD(dosDateTime);
    return date != 0 && ::DosDateTimeToFileTime(date, LOWORD(dosDateTime), &local) &&
           ::LocalFileTimeToFileTime(&local, &universal);
}

}  // namespace

// ---- current directory and folders ---------------------------------------

std::string Win32Platform::GetCurrentDir() {
    std::string folder;
    WideCurrentDirectory(folder);
    return folder;
}

bool Win32Platform::SetCurrentDir(const std::string& path) { return ::SetCurrentDirectoryA(path.c_str()) != 0; }

bool Win32Platform::CreateDir(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool Win32Platform::RemoveDir(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != 0; }

PathAnswer Win32Platform::TempPath(std::string& path) { return WideTempPath(path); }

std::string Win32Platform::ModuleFileName() {
    std::string path;
    WideModuleFileName(path);
    return path;
}

// ---- files ---------------------------------------------------------------

bool Win32Platform::WriteNewFile(const std::string& path, const void* data, size_t size, FileShare share) {
    // Shared for reading is how text files are written; the sequential hint goes with it.
    DWORD shareMode = share == FileShare::Read ? FILE_SHARE_READ : 0;
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (share == FileShare::Read ? FILE_FLAG_SEQUENTIAL_SCAN : 0);
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, shareMode, nullptr,
                                  CREATE_ALWAYS, flags, nullptr));
    if (!file) return false;
    if (size == 0) return true;
    if (size > MAXDWORD) return false;
    DWORD written = 0;
    return ::WriteFile(file.Get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

bool Win32Platform::ReadWholeFile(const std::string& path, std::string& bytes) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    DWORD high = 0;
    DWORD low = ::GetFileSize(file.Get(), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return false;
    if (high != 0 || low > 0x7FFFFFFF) return false;
    bytes.assign(low, '\0');
    DWORD total = 0;
    while (total < low) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), bytes.data() + total, low - total, &got, nullptr)) return false;
        if (got == 0) break;  // the file shrank meanwhile
        total += got;
    }
    bytes.resize(total);
    return true;
}

bool Win32Platform::DeleteFileAt(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

std::vector<FoundFile> Win32Platform::FindFiles(const std::string& pattern) { return WideFindFiles(pattern); }

bool Win32Platform::GetLastWriteDos(const std::string& path, uint32_t& dosDateTime) {
    WIN32_FIND_DATAA entry;
    FindHandle search(::FindFirstFileA(path.c_str(), &entry));
    if (!search) return false;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!::FileTimeToLocalFileTime(&entry.ftLastWriteTime, &local) ||
        !::FileTimeToDosDateTime(&local, &date, &time))
        return false;
    dosDateTime = (static_cast<uint32_t>(date) << 16) | time;
    return true;
}

bool Win32Platform::SetLastWriteDos(const std::string& path, uint32_t dosDateTime) {
    FILETIME universal;
    if (!DosToFileTime(dosDateTime, universal)) return false;
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file && ::SetFileTime(file.Get(), nullptr, nullptr, &universal);
}

bool Win32Platform::DeleteAtRestart(const std::string& path) {
    return ::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

// ---- safe file writing ---------------------------------------------------

namespace win32 {

bool WriteAll(HANDLE file, const void* data, size_t size) {
    DWORD done = 0;
    return size <= MAXDWORD &&
           (size == 0 || (::WriteFile(file, data, static_cast<DWORD>(size), &done, nullptr) && done == size));
}

}  // namespace win32

namespace {

// Writes a file just created through its handle. Stamped through the handle: reopening by name
// could meet a link put there meanwhile. A half-written file must not stand for the whole, and
// by name another entry could be met: it goes through the handle too.
bool FillNewFile(HANDLE file, const void* data, size_t size, uint32_t dosDateTime, Durability durability) {
    bool written = WriteAll(file, data, size);
    FILETIME universal;
    if (written && dosDateTime && DosToFileTime(dosDateTime, universal))
        ::SetFileTime(file, nullptr, nullptr, &universal);
    if (written && durability == Durability::Flushed) written = ::FlushFileBuffers(file) != 0;
    if (!written) MarkForDeletion(file);
    return written;
}

}  // namespace

bool Win32Platform::CreateNewFile(const std::string& path, const void* data, size_t size, FileShare share,
                                  uint32_t dosDateTime, Durability durability) {
    DWORD shareMode = share == FileShare::Read ? FILE_SHARE_READ : 0;
    // CREATE_NEW fails on any existing name; the flag keeps a dangling link from being followed.
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                  (share == FileShare::Read ? FILE_FLAG_SEQUENTIAL_SCAN : 0);
    // What CREATE_NEW opens is always a plain file of its own making.
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, shareMode, nullptr,
                                  CREATE_NEW, flags, nullptr));
    if (!file) return false;
    return FillNewFile(file.Get(), data, size, dosDateTime, durability);
}

bool Win32Platform::MoveReplacing(const std::string& from, const std::string& to, Durability durability) {
    const DWORD through = durability == Durability::Flushed ? MOVEFILE_WRITE_THROUGH : 0;
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | through) != 0;
}

// ---- links planted by another user ---------------------------------------

namespace {

class Win32HeldFolder : public HeldFolder {
public:
    explicit Win32HeldFolder(FileHandle folder) : folder_(std::move(folder)) {}
    HANDLE Handle() const { return folder_.Get(); }

private:
    FileHandle folder_;
};

}  // namespace

namespace win32 {

// The entry itself, never a link's target; its attributes read through the same handle.
FileHandle OpenNoLink(const std::string& path, DWORD access, DWORD share, BY_HANDLE_FILE_INFORMATION& info) {
    FileHandle entry(::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (entry && !::GetFileInformationByHandle(entry.Get(), &info)) return FileHandle();
    return entry;
}

bool IsKind(const BY_HANDLE_FILE_INFORMATION& info, bool folder) {
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    return ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

// A plain file with one name: another name could be another user's file.
bool IsSoleFile(const BY_HANDLE_FILE_INFORMATION& info) { return IsKind(info, false) && info.nNumberOfLinks <= 1; }

// The deletion is asked through the handle that was checked, and only once it was checked:
// FILE_FLAG_DELETE_ON_CLOSE would delete a refused entry too and cannot be taken back.
// SetFileInformationByHandle exists from Vista on, NtSetInformationFile on every NT.
bool MarkForDeletion(HANDLE entry) {
    using SetInfoFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    BOOLEAN remove = TRUE;
    if (HMODULE kernel = ::GetModuleHandleA("kernel32.dll"))
        if (auto set = ProcAddress<SetInfoFn>(kernel, "SetFileInformationByHandle"))
            return set(entry, 4 /* FileDispositionInfo */, &remove, sizeof remove) != 0;
    struct IoStatus {
        ULONG_PTR status, information;
    } io{};
    using NtSetInfoFn = LONG(WINAPI*)(HANDLE, IoStatus*, PVOID, ULONG, int);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    auto set = ntdll ? ProcAddress<NtSetInfoFn>(ntdll, "NtSetInformationFile") : nullptr;
    return set && set(entry, &io, &remove, sizeof remove, 13 /* FileDispositionInformation */) >= 0;
}

}  // namespace win32

namespace {

// ---- relative to a held folder (NtCreateFile with a root directory, every NT) ----

struct IoStatusBlock {
    ULONG_PTR status, information;
};
struct CountedWide {
    USHORT length, maximumLength;
    PWSTR buffer;
};
struct ObjectAttributes {
    ULONG length;
    HANDLE rootDirectory;
    CountedWide* objectName;
    ULONG attributes;
    PVOID securityDescriptor, securityQualityOfService;
};

enum : ULONG {
    kFileOpen = 1,
    kFileCreate = 2,
    kDirectoryFile = 0x1,
    kSynchronousIo = 0x20,
    kNonDirectoryFile = 0x40,
    kOpenForBackup = 0x4000,
    kOpenReparsePoint = 0x200000,
    kObjCaseInsensitive = 0x40,
};
const LONG kStatusNameNotFound = static_cast<LONG>(0xC0000034), kStatusPathNotFound = static_cast<LONG>(0xC000003A);
const LONG kStatusNoEntryPoint = static_cast<LONG>(0xC0000139);

// The entry name in the folder of root, never following a link at the name itself (the folder
// is already open, so none before it is met). Answers the NT status.
LONG OpenRelative(HANDLE root, const std::string& name, DWORD access, DWORD share, ULONG disposition,
                  ULONG options, FileHandle& opened) {
    using CreateFn = LONG(WINAPI*)(PHANDLE, ACCESS_MASK, ObjectAttributes*, IoStatusBlock*, PLARGE_INTEGER, ULONG,
                                   ULONG, ULONG, ULONG, PVOID, ULONG);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    auto create = ntdll ? ProcAddress<CreateFn>(ntdll, "NtCreateFile") : nullptr;
    if (!create) return kStatusNoEntryPoint;
    std::vector<wchar_t> wide = AnsiToWide(name);
    const size_t bytes = (wide.size() - 1) * sizeof(wchar_t);
    if (bytes == 0 || bytes > 0xFFF0 || name.find_first_of("\\/") != std::string::npos) return kStatusNameNotFound;
    CountedWide text{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes), wide.data()};
    ObjectAttributes object{sizeof object, root, &text, kObjCaseInsensitive, nullptr, nullptr};
    IoStatusBlock io{};
    HANDLE handle = nullptr;
    const LONG status = create(&handle, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                               disposition, options | kSynchronousIo | kOpenReparsePoint | kOpenForBackup, nullptr, 0);
    if (status >= 0) opened = FileHandle(handle);
    return status;
}

HANDLE HandleOf(HeldFolder& folder) { return static_cast<Win32HeldFolder&>(folder).Handle(); }

}  // namespace

std::unique_ptr<HeldFolder> Win32Platform::HoldFolder(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    // Read access takes part in the sharing check, so the missing delete sharing holds.
    FileHandle folder = OpenNoLink(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, info);
    if (!folder || !IsKind(info, true)) return nullptr;
    return std::make_unique<Win32HeldFolder>(std::move(folder));
}

DeleteOutcome Win32Platform::DeleteEntryNoLink(const std::string& path, bool folder) {
    BY_HANDLE_FILE_INFORMATION info{};
    FileHandle entry = OpenNoLink(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, info);
    if (!entry) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? DeleteOutcome::Missing
                                                                                : DeleteOutcome::Failed;
    }
    if (!IsKind(info, folder)) return DeleteOutcome::Refused;
    return MarkForDeletion(entry.Get()) ? DeleteOutcome::Deleted : DeleteOutcome::Failed;
}

std::unique_ptr<HeldFolder> Win32Platform::HoldFolderIn(HeldFolder& parent, const std::string& name) {
    FileHandle folder;
    BY_HANDLE_FILE_INFORMATION info{};
    if (OpenRelative(HandleOf(parent), name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, kFileOpen,
                     kDirectoryFile, folder) < 0 ||
        !::GetFileInformationByHandle(folder.Get(), &info) || !IsKind(info, true))
        return nullptr;
    return std::make_unique<Win32HeldFolder>(std::move(folder));
}

std::unique_ptr<HeldFolder> Win32Platform::MakeFolderIn(HeldFolder& parent, const std::string& name) {
    FileHandle folder;
    if (OpenRelative(HandleOf(parent), name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, kFileCreate,
                     kDirectoryFile, folder) < 0)
        return nullptr;
    return std::make_unique<Win32HeldFolder>(std::move(folder));
}

bool Win32Platform::CreateNewFileIn(HeldFolder& parent, const std::string& name, const void* data, size_t size,
                                    FileShare share, uint32_t dosDateTime, Durability durability) {
    FileHandle file;
    if (OpenRelative(HandleOf(parent), name, GENERIC_READ | GENERIC_WRITE | DELETE,
                     share == FileShare::Read ? FILE_SHARE_READ : 0, kFileCreate, kNonDirectoryFile, file) < 0)
        return false;
    return FillNewFile(file.Get(), data, size, dosDateTime, durability);
}

DeleteOutcome Win32Platform::DeleteEntryIn(HeldFolder& parent, const std::string& name, EntryKind kind) {
    FileHandle entry;
    const LONG status = OpenRelative(HandleOf(parent), name, DELETE | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kFileOpen, 0, entry);
    if (status == kStatusNameNotFound || status == kStatusPathNotFound) return DeleteOutcome::Missing;
    BY_HANDLE_FILE_INFORMATION info{};
    if (status < 0 || !::GetFileInformationByHandle(entry.Get(), &info)) return DeleteOutcome::Failed;
    const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (kind == EntryKind::Link ? !link : !IsKind(info, kind == EntryKind::Folder)) return DeleteOutcome::Refused;
    return MarkForDeletion(entry.Get()) ? DeleteOutcome::Deleted : DeleteOutcome::Failed;
}

ReadOutcome Win32Platform::ReadPlainFile(const std::string& path, std::string& bytes) {
    BY_HANDLE_FILE_INFORMATION info{};
    const FileHandle file = OpenNoLink(path, GENERIC_READ, FILE_SHARE_READ, info);
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadOutcome::Missing
                                                                                : ReadOutcome::Failed;
    }
    if (!IsSoleFile(info)) return ReadOutcome::Refused;
    if (info.nFileSizeHigh != 0 || info.nFileSizeLow > 0x7FFFFFFF) return ReadOutcome::Failed;
    bytes.assign(info.nFileSizeLow, '\0');
    DWORD total = 0;
    while (total < info.nFileSizeLow) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), bytes.data() + total, info.nFileSizeLow - total, &got, nullptr))
            return ReadOutcome::Failed;
        if (got == 0) break;
        total += got;
    }
    bytes.resize(total);
    return ReadOutcome::Read;
}

namespace {

class Win32OpenedFile : public OpenedFile {
public:
    explicit Win32OpenedFile(FileHandle file) : file_(std::move(file)) {}
    bool Append(const std::string& bytes) override { return WriteAll(file_.Get(), bytes.data(), bytes.size()); }
    bool Flush() override { return ::FlushFileBuffers(file_.Get()) != 0; }

private:
    FileHandle file_;
};

}  // namespace

// Emptied only once the handle shows a plain file with a single name.
std::unique_ptr<OpenedFile> Win32Platform::OpenLogFile(const std::string& path) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.Get(), &info) || !IsSoleFile(info) ||
        ::SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !::SetEndOfFile(file.Get()))
        return nullptr;
    return std::make_unique<Win32OpenedFile>(std::move(file));
}
