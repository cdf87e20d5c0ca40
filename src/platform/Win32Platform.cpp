#include "platform/Win32Platform.h"

#include "platform/Win32PlatformPaths.h"

#include <commctrl.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

namespace {

// GetProcAddress answers a generic FARPROC; going through void* keeps the cast explicit.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

std::string UpToNul(const char* text, size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

// A local DOS date-time as a file time; a zero date (a year the packed form cannot hold) makes none.
bool DosToFileTime(uint32_t dosDateTime, FILETIME& universal) {
    FILETIME local;
    const WORD date = HIWORD(dosDateTime);
    return date != 0 && ::DosDateTimeToFileTime(date, LOWORD(dosDateTime), &local) &&
           ::LocalFileTimeToFileTime(&local, &universal);
}

// Ended by a NUL, for the few calls that take only wide text.
std::vector<wchar_t> AnsiToWide(const std::string& text) {
    int count = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(count > 0 ? static_cast<size_t>(count) : 1, L'\0');
    if (count > 0) ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), count);
    return wide;
}

// ---- threads -------------------------------------------------------------

class Win32Lock : public Lock {
public:
    void Acquire() override { section_.Enter(); }
    void Release() override { section_.Leave(); }

private:
    CriticalSection section_;
};

class Win32Thread : public Thread {
public:
    explicit Win32Thread(HANDLE handle) : handle_(handle) {}
    void Join() override { ::WaitForSingleObject(handle_.Get(), INFINITE); }
    bool Finished() override { return ::WaitForSingleObject(handle_.Get(), 0) == WAIT_OBJECT_0; }

private:
    FileHandle handle_;
};

DWORD WINAPI ThreadEntry(LPVOID parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    // An exception must not unwind into the system's thread start: it ends its thread alone.
    try {
        (*body)();
    } catch (...) {
        return 1;
    }
    return 0;
}

// ---- shell links ---------------------------------------------------------

class Win32ShellLink : public ShellLink {
public:
    explicit Win32ShellLink(ComPtr<IShellLinkA> link) : link_(std::move(link)) {}
    void SetPath(const std::string& target) override { link_->SetPath(target.c_str()); }
    void SetWorkingDirectory(const std::string& folder) override { link_->SetWorkingDirectory(folder.c_str()); }
    void SetDescription(const std::string& text) override { link_->SetDescription(text.c_str()); }
    bool Save(const std::string& linkFile) override {
        ComPtr<IPersistFile> file;
        if (FAILED(link_->QueryInterface(IID_IPersistFile, file.Receive()))) return false;
        return SUCCEEDED(file->Save(AnsiToWide(linkFile).data(), TRUE));
    }

private:
    ComPtr<IShellLinkA> link_;
};

// ---- registry ------------------------------------------------------------

RegType TypeOf(DWORD kind) {
    switch (kind) {
    case REG_NONE: return RegType::None;
    case REG_SZ: return RegType::String;
    case REG_DWORD: return RegType::Dword;
    default: return RegType::Other;
    }
}

class Win32RegistryKey : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}

    bool Query(const std::string& name, RegType& type, std::string& bytes) override {
        DWORD kind = REG_NONE;
        DWORD size = 0;
        if (::RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &kind, nullptr, &size) != ERROR_SUCCESS)
            return false;
        bytes.assign(size, '\0');
        // The value may grow between the two questions; ask again with the new size.
        while (size != 0) {
            LONG result = ::RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &kind,
                                             reinterpret_cast<BYTE*>(bytes.data()), &size);
            if (result == ERROR_MORE_DATA) {
                bytes.assign(size, '\0');
                continue;
            }
            bytes.resize(result == ERROR_SUCCESS ? size : 0);
            break;
        }
        type = TypeOf(kind);
        return true;
    }

    void SetString(const std::string& name, const std::string& value) override {
        ::RegSetValueExA(key_.Get(), name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
    }

    void SetDword(const std::string& name, uint32_t value) override {
        DWORD number = value;
        ::RegSetValueExA(key_.Get(), name.c_str(), 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&number), sizeof number);
    }

private:
    RegKeyHandle key_;
};

// ---- windows -------------------------------------------------------------

struct WindowList {
    std::vector<HWND> windows;
    bool incomplete = false;
};

BOOL CALLBACK ListWindow(HWND window, LPARAM parameter) {
    auto* list = reinterpret_cast<WindowList*>(parameter);
    try {   // nothing may cross the system's frames
        list->windows.push_back(window);
        return TRUE;
    } catch (...) {
        list->incomplete = true;
        return FALSE;
    }
}

}  // namespace

ModuleHandle LoadSystemLibrary(const char* fileName) {
    char folder[MAX_PATH];
    UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ModuleHandle();
    std::string path(folder, length);
    path += '\\';
    path += fileName;
    return ModuleHandle(::LoadLibraryA(path.c_str()));
}

Win32Platform::Win32Platform() : mainThreadId_(::GetCurrentThreadId()) { LocateWideCalls(); }

Win32Platform::~Win32Platform() {
    guard_.Close();
    using CloseNamespaceFn = BOOLEAN(WINAPI*)(HANDLE, ULONG);
    auto close = ProcAddress<CloseNamespaceFn>(::GetModuleHandleA("kernel32.dll"), "ClosePrivateNamespace");
    if (guardNamespace_ && close) close(guardNamespace_, 0);
}

bool Win32Platform::LocateFolderService() {
    for (const char* library : {"shell32.dll", "shfolder.dll"}) {
        ModuleHandle module = LoadSystemLibrary(library);
        if (!module) continue;
        auto entry = ProcAddress<FolderPathFn>(module.Get(), "SHGetFolderPathW");
        if (entry) {
            folderModule_ = std::move(module);
            folderPath_ = entry;
            return true;
        }
    }
    return false;
}

// ---- system --------------------------------------------------------------

bool Win32Platform::GetVersion(unsigned& platformId, unsigned& major) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExA(&info)) return false;
    platformId = info.dwPlatformId;
    major = info.dwMajorVersion;
    return true;
}

LocalTime Win32Platform::Now() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

void Win32Platform::SleepMs(unsigned ms) { ::Sleep(ms); }

bool Win32Platform::IsMainThread() { return ::GetCurrentThreadId() == mainThreadId_; }

std::unique_ptr<Lock> Win32Platform::NewLock() { return std::make_unique<Win32Lock>(); }

std::unique_ptr<Thread> Win32Platform::StartThread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    DWORD id = 0;
    HANDLE handle = ::CreateThread(nullptr, 0, ThreadEntry, owned.get(), 0, &id);
    if (!handle) return nullptr;
    owned.release();  // the thread frees it
    return std::make_unique<Win32Thread>(handle);
}

bool Win32Platform::FindResourceData(const std::string& type, const std::string& name,
                                     const uint8_t*& data, size_t& size) {
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC info = ::FindResourceA(module, name.c_str(), type.c_str());
    if (!info) return false;
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) return false;
    data = static_cast<const uint8_t*>(bytes);
    size = ::SizeofResource(module, info);
    return true;
}

int Win32Platform::ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    // An empty caption leaves the system's own ("Error").
    return ::MessageBoxA(nullptr, text.c_str(), caption.empty() ? nullptr : caption.c_str(), flags);
}

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

// ---- drives and volumes --------------------------------------------------

uint32_t Win32Platform::LogicalDrives() { return ::GetLogicalDrives(); }

unsigned Win32Platform::DriveType(const std::string& root) { return ::GetDriveTypeA(root.c_str()); }

bool Win32Platform::VolumeInfo(const std::string& root, std::string& label, uint32_t& fsFlags) {
    char name[261] = {};
    DWORD flags = 0;
    if (!::GetVolumeInformationA(root.c_str(), name, sizeof name, nullptr, nullptr, &flags, nullptr, 0))
        return false;
    label = UpToNul(name, sizeof name);
    fsFlags = flags;
    return true;
}

bool Win32Platform::DiskGeometry(const std::string& root, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector) {
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    if (!::GetDiskFreeSpaceA(root.empty() ? nullptr : root.c_str(), &sectors, &bytes, &freeClusters, &clusters))
        return false;
    sectorsPerCluster = sectors;
    bytesPerSector = bytes;
    return true;
}

bool Win32Platform::FreeBytesForUser(const std::string& root, uint64_t& bytes) {
    ULARGE_INTEGER available, total, totalFree;
    if (!::GetDiskFreeSpaceExA(root.empty() ? nullptr : root.c_str(), &available, &total, &totalFree))
        return false;
    bytes = available.QuadPart;
    return true;
}

StorageAnswer Win32Platform::QueryStorageDevice(const std::string& devicePath) {
    StorageAnswer answer;
    FileHandle device(::CreateFileA(devicePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device) return answer;
    answer.opened = true;

    // STORAGE_PROPERTY_QUERY: StorageDeviceProperty, PropertyStandardQuery, no parameters.
    uint8_t query[12] = {};
    // STORAGE_DEVICE_DESCRIPTOR with room for its strings; its Size field says how much.
    uint8_t descriptor[548] = {};
    const uint32_t declared = sizeof descriptor;
    std::memcpy(descriptor + 4, &declared, sizeof declared);
    const DWORD kQueryProperty = 0x2D1400;  // IOCTL_STORAGE_QUERY_PROPERTY
    DWORD returned = 0;
    if (::DeviceIoControl(device.Get(), kQueryProperty, query, sizeof query, descriptor, sizeof descriptor,
                          &returned, nullptr)) {
        answer.answered = true;
        answer.removableMedia = descriptor[10];
        std::memcpy(&answer.busType, descriptor + 28, sizeof answer.busType);
    }
    return answer;
}

bool Win32Platform::NetworkConnection(const std::string& drive, std::string& remote) {
    // mpr.dll is not one of the system's known DLLs, so it is loaded by full path, once.
    // Only the wizard's thread asks.
    if (!mprTried_) {
        mprTried_ = true;
        mprModule_ = LoadSystemLibrary("mpr.dll");
        if (mprModule_) getConnection_ = ProcAddress<GetConnectionFn>(mprModule_.Get(), "WNetGetConnectionA");
    }
    if (!getConnection_) return false;
    char name[261] = {};
    DWORD length = sizeof name;
    if (getConnection_(drive.c_str(), name, &length) != NO_ERROR) return false;
    remote = UpToNul(name, sizeof name);
    return true;
}

unsigned Win32Platform::SetErrorMode(unsigned mode) { return ::SetErrorMode(mode); }

// ---- text ----------------------------------------------------------------

void Win32Platform::UpperCase(std::string& text) {
    if (!text.empty()) ::CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
}

void Win32Platform::LowerCase(std::string& text) {
    if (!text.empty()) ::CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
}

// A failed comparison (0) orders the first text before the second, as unequal.
int Win32Platform::CompareIgnoreCase(const std::string& a, const std::string& b) {
    return ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a.data(),
                            static_cast<int>(a.size()), b.data(), static_cast<int>(b.size())) - CSTR_EQUAL;
}

int Win32Platform::CompareLocale(const std::string& a, const std::string& b) {
    return ::CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) - CSTR_EQUAL;
}

bool Win32Platform::IsDbcsSystem() { return ::GetSystemMetrics(SM_DBCSENABLED) != 0; }
bool Win32Platform::IsLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != 0; }

// ---- shell ---------------------------------------------------------------

PathAnswer Win32Platform::SpecialFolderPath(int csidl, std::string& path) {
    path.clear();
    wchar_t folder[MAX_PATH] = {};
    if (!folderPath_ || folderPath_(nullptr, csidl, nullptr, 0, folder) != S_OK) return PathAnswer::Missing;
    return NarrowPath(folder, path);
}

std::unique_ptr<ShellLink> Win32Platform::NewShellLink() {
    ComPtr<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Receive())))
        return nullptr;
    return std::make_unique<Win32ShellLink>(std::move(link));
}

// ---- registry ------------------------------------------------------------

std::unique_ptr<RegistryKey> Win32Platform::OpenOrCreateKey(RegRoot root, const std::string& path) {
    HKEY rootKey = root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(rootKey, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &key, &disposition) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

// ---- windows and processes -----------------------------------------------

// Listed first and visited after the system's walk, so that what a visit throws never has to
// cross the system's frames. A window closed in between only fails its visit's calls.
void Win32Platform::EnumTopLevelWindows(FunctionRef<bool(uintptr_t window)> visit) {
    WindowList list;
    ::EnumWindows(ListWindow, reinterpret_cast<LPARAM>(&list));
    if (list.incomplete) throw std::bad_alloc();   // a partial list could miss the window sought
    for (HWND window : list.windows)
        if (!visit(reinterpret_cast<uintptr_t>(window))) return;
}

bool Win32Platform::WindowHasProperty(uintptr_t window, const std::string& property) {
    return ::GetPropA(reinterpret_cast<HWND>(window), property.c_str()) != nullptr;
}

// The full application path keeps the system from searching for the program (the downloads
// folder first); the child starts in currentDir rather than in ours.
bool Win32Platform::StartProgram(const std::string& application, const std::string& commandLine,
                                 const std::string& currentDir, unsigned showMode) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showMode);
    std::string line = commandLine;   // CreateProcessA may write into it
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &process))
        return false;
    FileHandle thread(process.hThread);
    FileHandle child(process.hProcess);
    return true;
}

// ---- the one-copy guard ---------------------------------------------------

namespace {

const char* const kAdministratorsSid = "S-1-5-32-544";

// Security calls that NT 4.0 or Windows 98 lack; advapi32 is loaded already (the registry).
template <typename Fn>
Fn Advapi32Function(const char* name) {
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
    return advapi ? ProcAddress<Fn>(advapi, name) : nullptr;
}

template <typename Fn>
Fn Kernel32Function(const char* name) {
    return ProcAddress<Fn>(::GetModuleHandleA("kernel32.dll"), name);
}

// Memory the security calls hand out with LocalAlloc.
struct LocalMemory {
    void* p = nullptr;
    LocalMemory() = default;
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() { if (p) ::LocalFree(p); }
};

std::string SidText(PSID sid) {
    using ToTextFn = BOOL(WINAPI*)(PSID, LPSTR*);
    auto toText = Advapi32Function<ToTextFn>("ConvertSidToStringSidA");
    LocalMemory text;
    if (!sid || !toText || !toText(sid, reinterpret_cast<LPSTR*>(&text.p))) return "";
    return static_cast<const char*>(text.p);
}

// A security descriptor from its text form; null (default security) where the system lacks it.
void* DescriptorFromText(const std::string& sddl, LocalMemory& descriptor) {
    using FromTextFn = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
    auto fromText = Advapi32Function<FromTextFn>("ConvertStringSecurityDescriptorToSecurityDescriptorA");
    if (!fromText || !fromText(sddl.c_str(), 1 /* SDDL_REVISION_1 */, &descriptor.p, nullptr)) return nullptr;
    return descriptor.p;
}

std::string KernelObjectOwner(HANDLE object) {
    using GetInfoFn = DWORD(WINAPI*)(HANDLE, int, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                     PSECURITY_DESCRIPTOR*);
    auto getInfo = Advapi32Function<GetInfoFn>("GetSecurityInfo");
    PSID owner = nullptr;
    LocalMemory descriptor;
    if (!object || !getInfo ||
        getInfo(object, 6 /* SE_KERNEL_OBJECT */, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                &descriptor.p) != ERROR_SUCCESS)
        return "";
    return SidText(owner);
}

// Vista and later: a namespace only a token holding the Administrators group may open, so that
// nobody else can make the guard first. False where that cannot be had; claim is then untouched.
bool ClaimInPrivateNamespace(const std::string& name, HANDLE& space, FileHandle& guard, GuardClaim& claim) {
    using CreateBoundaryFn = HANDLE(WINAPI*)(LPCWSTR, ULONG);
    using AddSidFn = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundaryFn = VOID(WINAPI*)(HANDLE);
    using CreateSpaceFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    using OpenSpaceFn = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
    using SidFromTextFn = BOOL(WINAPI*)(LPCSTR, PSID*);
    auto createBoundary = Kernel32Function<CreateBoundaryFn>("CreateBoundaryDescriptorW");
    auto addSid = Kernel32Function<AddSidFn>("AddSIDToBoundaryDescriptor");
    auto deleteBoundary = Kernel32Function<DeleteBoundaryFn>("DeleteBoundaryDescriptor");
    auto createSpace = Kernel32Function<CreateSpaceFn>("CreatePrivateNamespaceW");
    auto openSpace = Kernel32Function<OpenSpaceFn>("OpenPrivateNamespaceW");
    auto sidFromText = Advapi32Function<SidFromTextFn>("ConvertStringSidToSidA");
    LocalMemory administrators;
    if (!createBoundary || !addSid || !deleteBoundary || !createSpace || !openSpace || !sidFromText ||
        !sidFromText(kAdministratorsSid, &administrators.p))
        return false;
    HANDLE boundary = createBoundary(L"Velmorra", 0);
    if (!boundary) return false;
    LocalMemory descriptor;
    SECURITY_ATTRIBUTES onlyAdministrators{sizeof onlyAdministrators,
                                           DescriptorFromText("D:P(A;;GA;;;BA)(A;;GA;;;SY)", descriptor), FALSE};
    if (addSid(&boundary, administrators.p)) {
        space = createSpace(&onlyAdministrators, boundary, AnsiToWide(name).data());
        if (!space && ::GetLastError() == ERROR_ALREADY_EXISTS) space = openSpace(boundary, AnsiToWide(name).data());
    }
    deleteBoundary(boundary);
    if (!space) return false;
    guard = FileHandle(::CreateMutexA(&onlyAdministrators, FALSE, (name + "\\Guard").c_str()));
    if (!guard) return false;
    claim.held = ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (!claim.held) claim.ownerSid = kAdministratorsSid;   // nobody else reaches the namespace
    return true;
}

}  // namespace

std::string Win32Platform::UserSid() {
    using OpenTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using TokenInfoFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    auto openToken = Advapi32Function<OpenTokenFn>("OpenProcessToken");
    auto tokenInfo = Advapi32Function<TokenInfoFn>("GetTokenInformation");
    HANDLE raw = nullptr;
    if (!openToken || !tokenInfo || !openToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return "";
    FileHandle token(raw);
    DWORD size = 0;
    tokenInfo(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : 1);
    if (!tokenInfo(token.Get(), TokenUser, user.data(), size, &size)) return "";
    return SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

// Elsewhere a named mutex that only the Administrators, SYSTEM and this user may use, and whose
// owner anybody may read: a guard found that another user made first proves nothing. Its owner
// is named: the Administrators where this token may, otherwise this user.
GuardClaim Win32Platform::ClaimGuard(const std::string& name) {
    GuardClaim claim;
    if (ClaimInPrivateNamespace(name, guardNamespace_, guard_, claim)) return claim;
    const std::string user = UserSid();
    const std::string access = "D:P(A;;GA;;;SY)(A;;GA;;;BA)" + (user.empty() ? "" : "(A;;GA;;;" + user + ")") +
                               "(A;;RC;;;WD)";
    const std::string global = "Global\\" + name;
    FileHandle mutex;
    DWORD error = 0;
    for (const std::string& owner : {std::string("BA"), user}) {
        LocalMemory descriptor;
        SECURITY_ATTRIBUTES security{sizeof security, DescriptorFromText("O:" + owner + access, descriptor), FALSE};
        mutex = FileHandle(::CreateMutexA(&security, FALSE, global.c_str()));
        error = ::GetLastError();
        if (mutex || error != ERROR_INVALID_OWNER) break;
    }
    if (mutex && error != ERROR_ALREADY_EXISTS) {
        guard_ = std::move(mutex);
        claim.held = true;
        return claim;
    }
    if (!mutex) mutex = FileHandle(::OpenMutexA(READ_CONTROL, FALSE, global.c_str()));
    claim.ownerSid = KernelObjectOwner(mutex.Get());
    return claim;
}

// ---- the desktop user's programs ------------------------------------------

namespace {

template <typename T>
T** Out(ComPtr<T>& pointer) {
    return reinterpret_cast<T**>(pointer.Receive());
}

// A text for the shell's automation calls, owned for the length of the call.
class Bstr {
public:
    explicit Bstr(const std::string& text) : text_(::SysAllocString(AnsiToWide(text).data())) {}
    ~Bstr() { ::SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return text_; }
    VARIANT Variant() const {
        VARIANT value;
        ::VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = text_;
        return value;
    }

private:
    BSTR text_;
};

// The desktop's folder view: its Application object is the shell of the user who runs Explorer.
ComPtr<IShellDispatch2> DesktopShell() {
    ComPtr<IShellWindows> windows;
    ComPtr<IDispatch> desktop, background, application;
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IShellDispatch2> shell;
    VARIANT location, root;
    ::VariantInit(&location);
    ::VariantInit(&root);
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    LONG window = 0;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  windows.Receive())) ||
        windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, Out(desktop)) != S_OK ||
        !desktop || FAILED(desktop->QueryInterface(IID_IServiceProvider, provider.Receive())) ||
        FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.Receive())) ||
        FAILED(browser->QueryActiveShellView(Out(view))) || !view ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.Receive())) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.Receive())) ||
        FAILED(folderView->get_Application(Out(application))) || !application ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.Receive())))
        return ComPtr<IShellDispatch2>();
    return shell;
}

}  // namespace

namespace {

// How long the desktop's shell may take to answer. Where none serves the window list (no
// Explorer, a kiosk shell, a session whose Explorer died, some Wine desktops) COM may wait for a
// server that never registers, far longer than a user waits on "Terminer".
const DWORD kDesktopShellWaitMs = 2000;

// One start through the shell, shared by the caller and the thread that asks the shell; whoever
// leaves last frees it. The caller gives up by moving Asking to GivenUp, the thread starts the
// program only by moving Asking to Starting: never both.
struct ShellStart {
    enum State { Asking, GivenUp, Starting, Started, Failed };
    std::string application, arguments, currentDir;
    unsigned showMode = 0;
    std::atomic<int> state{Asking};
    FileHandle done{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

void AskDesktopShell(ShellStart& job) {
    const bool com = SUCCEEDED(::CoInitialize(nullptr));
    bool started = false;
    {
        ComPtr<IShellDispatch2> shell = DesktopShell();
        int asking = ShellStart::Asking;
        if (shell && job.state.compare_exchange_strong(asking, ShellStart::Starting)) {
            const Bstr file(job.application), parameters(job.arguments), folder(job.currentDir), verb("open");
            VARIANT show;
            ::VariantInit(&show);
            show.vt = VT_I4;
            show.lVal = static_cast<LONG>(job.showMode);
            started = SUCCEEDED(
                shell->ShellExecute(file.Get(), parameters.Variant(), folder.Variant(), verb.Variant(), show));
        }
    }
    int state = ShellStart::Asking;
    if (!job.state.compare_exchange_strong(state, ShellStart::Failed) && state == ShellStart::Starting)
        job.state.store(started ? ShellStart::Started : ShellStart::Failed);
    ::SetEvent(job.done.Get());
    if (com) ::CoUninitialize();
}

// Waits for the event, answering sent messages and repainting meanwhile, so that the caller's
// windows do not freeze; input stays queued for after the wait.
bool WaitAnswering(HANDLE event, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= timeoutMs) return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &event, FALSE, timeoutMs - spent, QS_SENDMESSAGE | QS_PAINT);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        while (::PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) ::DispatchMessageA(&message);
    }
}

}  // namespace

// Explorer runs with the user's own token; CreateProcessWithTokenW with a copy of it would need
// the secondary logon service and a hand-made environment, and Explorer gives both as they are.
// The shell is asked on a thread of its own and waited for a bounded time.
bool Win32Platform::StartProgramAsDesktopUser(const std::string& application, const std::string& arguments,
                                              const std::string& currentDir, unsigned showMode) {
    auto job = std::make_shared<ShellStart>();
    job->application = application;
    job->arguments = arguments;
    job->currentDir = currentDir;
    job->showMode = showMode;
    if (!job->done || !StartThread([job] { AskDesktopShell(*job); })) return false;
    if (!WaitAnswering(job->done.Get(), kDesktopShellWaitMs)) {
        int asking = ShellStart::Asking;
        if (job->state.compare_exchange_strong(asking, ShellStart::GivenUp)) return false;
        // The shell was already starting it: its answer is worth the same wait once more.
        WaitAnswering(job->done.Get(), kDesktopShellWaitMs);
    }
    return job->state.load() == ShellStart::Started;
}

// ---- DLL planting -------------------------------------------------------

namespace {

// DLLs that system code (themes, the common controls, the shell, COM) loads later by bare name.
const char* const kLateSystemDlls[] = {
    "uxtheme.dll", "dwmapi.dll", "msimg32.dll", "version.dll", "userenv.dll",
    "oleacc.dll", "propsys.dll", "cryptbase.dll", "apphelp.dll", "setupapi.dll",
};

template <typename Fn>
Fn KernelEntry(const char* name) {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    return kernel ? ProcAddress<Fn>(kernel, name) : nullptr;
}

}  // namespace

// A program started from a downloads folder must not pick up a DLL planted beside it, nor one
// in the current folder, which moves into the destination and data folders during the copy.
// Windows 2000 to 7 without its update lack SetDefaultDllDirectories; Wine's own DLLs load some
// of the list by name whatever the program asked. What is already loaded is never searched
// for again, so the list is loaded now from the system folder, before any window exists.
void RestrictDllSearch() {
    using SetDefaultFn = BOOL(WINAPI*)(DWORD);
    using SetDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    const DWORD kSearchSystem32 = 0x00000800;   // LOAD_LIBRARY_SEARCH_SYSTEM32
    auto setDefault = KernelEntry<SetDefaultFn>("SetDefaultDllDirectories");
    if (!setDefault || !setDefault(kSearchSystem32)) {
        // An empty string takes the current folder out of the search (XP SP1 and later).
        if (auto setDirectory = KernelEntry<SetDirectoryFn>("SetDllDirectoryA")) setDirectory("");
    }
    // Older systems lack some of the list: a missing one is skipped without a system message.
    const UINT errorMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (const char* name : kLateSystemDlls)
        LoadSystemLibrary(name).Detach();   // kept for the whole run
    ::SetErrorMode(errorMode);
}

namespace {
// Loaded once, by the wizard's thread, the only one that makes windows.
HMODULE commonControls = nullptr;

HMODULE LoadCommonControls() {
    // Where the system has activation contexts (XP and later) the manifest names version 6 and
    // the bare name is redirected to it before any folder is searched; Windows 2000 has no such
    // redirection and would search the program's folder first.
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel && ::GetProcAddress(kernel, "CreateActCtxA")) return ::LoadLibraryA("comctl32.dll");
    return LoadSystemLibrary("comctl32.dll").Detach();
}
}  // namespace

void InitCommonControlClasses(DWORD classes) {
    if (!commonControls) commonControls = LoadCommonControls();
    const HMODULE module = commonControls;
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = module ? ProcAddress<InitFn>(module, "InitCommonControlsEx") : nullptr;
    INITCOMMONCONTROLSEX controls{sizeof controls, classes};
    if (init && init(&controls)) return;
    // A comctl32 older than 4.70 has only the call that registers every class.
    using InitAllFn = void(WINAPI*)();
    if (auto initAll = module ? ProcAddress<InitAllFn>(module, "InitCommonControls") : nullptr) initAll();
}

// ---- removal of an installation ------------------------------------------

namespace {
HKEY RootKey(RegRoot root) { return root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
}  // namespace

std::string Win32Platform::ModuleFileName() {
    std::string path;
    WideModuleFileName(path);
    return path;
}

std::unique_ptr<RegistryKey> Win32Platform::OpenExistingKey(RegRoot root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

bool Win32Platform::DeleteRegistryKey(RegRoot root, const std::string& path, bool onlyIfEmpty) {
    if (path.empty()) return false;
    RegKeyHandle key;
    {
        HKEY opened = nullptr;
        if (::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
            return false;
        key = RegKeyHandle(opened);
    }
    DWORD subKeys = 0, values = 0;
    if (::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    // RegDeleteKeyA would take a whole tree on Windows 9x; never more than this one key.
    if (subKeys != 0 || (onlyIfEmpty && values != 0)) return false;
    key.Close();
    return ::RegDeleteKeyA(RootKey(root), path.c_str()) == ERROR_SUCCESS;
}

bool Win32Platform::DeleteRegistryValue(RegRoot root, const std::string& path, const std::string& name) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return false;
    RegKeyHandle key(opened);
    return ::RegDeleteValueA(key.Get(), name.empty() ? nullptr : name.c_str()) == ERROR_SUCCESS;
}

bool Win32Platform::DeleteAtRestart(const std::string& path) {
    return ::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

// ---- end of the Windows session --------------------------------------------

namespace {

using BlockReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
using BlockReasonDestroyFn = BOOL(WINAPI*)(HWND);

// user32 is loaded already (the program imports it); these two exist from Vista on.
template <typename Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = ::GetModuleHandleA("user32.dll");
    return user32 ? ProcAddress<Fn>(user32, name) : nullptr;
}

}  // namespace

bool SetShutdownBlockReason(HWND window, const std::string& reason) {
    auto create = User32Function<BlockReasonCreateFn>("ShutdownBlockReasonCreate");
    return create && create(window, AnsiToWide(reason).data());
}

void ClearShutdownBlockReason(HWND window) {
    if (auto destroy = User32Function<BlockReasonDestroyFn>("ShutdownBlockReasonDestroy")) destroy(window);
}

// ---- safe file writing ---------------------------------------------------

namespace {

bool MarkForDeletion(HANDLE entry);   // below, with the other link-safe calls

bool WriteAll(HANDLE file, const void* data, size_t size) {
    DWORD done = 0;
    return size <= MAXDWORD &&
           (size == 0 || (::WriteFile(file, data, static_cast<DWORD>(size), &done, nullptr) && done == size));
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
    bool written = WriteAll(file.Get(), data, size);
    // Stamped through this handle: reopening by name could meet a link put there meanwhile.
    FILETIME universal;
    if (written && dosDateTime && DosToFileTime(dosDateTime, universal))
        ::SetFileTime(file.Get(), nullptr, nullptr, &universal);
    if (written && durability == Durability::Flushed) written = ::FlushFileBuffers(file.Get()) != 0;
    // A half-written file must not stand for the whole; by name, another entry could be met.
    if (!written) MarkForDeletion(file.Get());
    return written;
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

// advapi32 is a known DLL, loaded already by every program that reads the registry.
HMODULE Advapi() {
    static HMODULE module = nullptr;
    if (!module) module = ::GetModuleHandleA("advapi32.dll");
    if (!module) module = LoadSystemLibrary("advapi32.dll").Detach();
    return module;
}

bool CryptoRandom(uint32_t& number) {
    HMODULE advapi = Advapi();
    if (!advapi) return false;
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);   // RtlGenRandom, XP and later
    if (auto gen = ProcAddress<GenRandomFn>(advapi, "SystemFunction036"))
        if (gen(&number, sizeof number)) return true;
    using AcquireFn = BOOL(WINAPI*)(ULONG_PTR*, LPCSTR, LPCSTR, DWORD, DWORD);
    using GenFn = BOOL(WINAPI*)(ULONG_PTR, DWORD, BYTE*);
    using ReleaseFn = BOOL(WINAPI*)(ULONG_PTR, DWORD);
    auto acquire = ProcAddress<AcquireFn>(advapi, "CryptAcquireContextA");
    auto gen = ProcAddress<GenFn>(advapi, "CryptGenRandom");
    auto release = ProcAddress<ReleaseFn>(advapi, "CryptReleaseContext");
    ULONG_PTR provider = 0;
    if (!acquire || !gen || !release ||
        !acquire(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    const bool made = gen(provider, sizeof number, reinterpret_cast<BYTE*>(&number)) != 0;
    release(provider, 0);
    return made;
}

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
    bool written = WriteAll(file.Get(), data, size);
    FILETIME universal;
    if (written && dosDateTime && DosToFileTime(dosDateTime, universal))
        ::SetFileTime(file.Get(), nullptr, nullptr, &universal);
    if (written && durability == Durability::Flushed) written = ::FlushFileBuffers(file.Get()) != 0;
    if (!written) MarkForDeletion(file.Get());
    return written;
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

uint32_t Win32Platform::RandomNumber() {
    uint32_t number = 0;
    if (CryptoRandom(number)) return number;
    // No generator: counters nobody else reads at this instant, mixed.
    static uint32_t calls = 0;
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    number = counter.LowPart ^ (::GetTickCount() << 11) ^ (::GetCurrentProcessId() << 16) ^
             ::GetCurrentThreadId() ^ (++calls * 0x9E3779B9u);
    number ^= number >> 16;
    number *= 0x45D9F3Bu;
    return number ^ (number >> 16);
}

bool Win32Platform::IsElevated() {
    HMODULE advapi = Advapi();
    using OpenTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using TokenInfoFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD, PDWORD);
    auto open = advapi ? ProcAddress<OpenTokenFn>(advapi, "OpenProcessToken") : nullptr;
    auto query = advapi ? ProcAddress<TokenInfoFn>(advapi, "GetTokenInformation") : nullptr;
    HANDLE raw = nullptr;
    if (!open || !query || !open(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    FileHandle token(raw);
    DWORD elevated = 0, size = 0;
    // TokenElevation (20) is unknown before Vista: the question fails there.
    return query(token.Get(), 20, &elevated, sizeof elevated, &size) && elevated != 0;
}

// ---- the removal's copy and the administrator's rights ----------------------

namespace {

// Where the copy finds the handles its starter gave it: "<pipe>,<starter process>,<own file>".
const char kStarterVariable[] = "VELMORRA_STARTER";

bool StarterHandles(HANDLE (&handles)[3]) {
    char text[64] = {};
    const DWORD length = ::GetEnvironmentVariableA(kStarterVariable, text, sizeof text);
    if (length == 0 || length >= sizeof text) return false;
    // Three decimal numbers between commas: no stdio, whose scanf would weigh more than the program.
    const char* next = text;
    for (int i = 0; i < 3; ++i) {
        ULONG_PTR value = 0;
        if (*next < '0' || *next > '9') return false;
        while (*next >= '0' && *next <= '9') value = value * 10 + static_cast<ULONG_PTR>(*next++ - '0');
        if (*next != (i < 2 ? ',' : '\0')) return false;
        ++next;
        handles[i] = reinterpret_cast<HANDLE>(value);
    }
    return true;
}

unsigned long HandleNumber(HANDLE handle) { return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handle)); }

FileHandle InheritableCopy(HANDLE handle, DWORD access, DWORD options) {
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, access, TRUE, options))
        return FileHandle();
    return FileHandle(copy);
}

uint32_t ExitCodeOf(HANDLE process) {
    ::WaitForSingleObject(process, INFINITE);
    DWORD code = 1603;
    ::GetExitCodeProcess(process, &code);
    return code;
}

}  // namespace

// ---- ownership in the shared data folder -----------------------------------

namespace {

FileHandle ProcessToken(DWORD access) {
    using OpenTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    auto openToken = Advapi32Function<OpenTokenFn>("OpenProcessToken");
    HANDLE token = nullptr;
    if (!openToken || !openToken(::GetCurrentProcess(), access, &token)) return FileHandle();
    return FileHandle(token);
}

// What the file system gives a fresh entry of that kind in parent, owned by the Administrators.
bool SetInheritedSecurity(HANDLE entry, HANDLE parent, bool folder) {
    using GetInfoFn = DWORD(WINAPI*)(HANDLE, int, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                     PSECURITY_DESCRIPTOR*);
    using CreateFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR*, GUID*, BOOL,
                                   ULONG, HANDLE, PGENERIC_MAPPING);
    using DestroyFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR*);
    using SetFn = BOOL(WINAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
    auto getInfo = Advapi32Function<GetInfoFn>("GetSecurityInfo");
    auto create = Advapi32Function<CreateFn>("CreatePrivateObjectSecurityEx");
    auto destroy = Advapi32Function<DestroyFn>("DestroyPrivateObjectSecurity");
    auto set = Advapi32Function<SetFn>("SetKernelObjectSecurity");
    LocalMemory parentSecurity, creator;
    if (!getInfo || !create || !destroy || !set || !DescriptorFromText("O:BAG:BA", creator) ||
        getInfo(parent, 1 /* SE_FILE_OBJECT */, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &parentSecurity.p) != ERROR_SUCCESS)
        return false;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    const FileHandle token = ProcessToken(TOKEN_QUERY);
    const ULONG flags = 0x1 | 0x8 | 0x10;   // SEF_DACL_AUTO_INHERIT, SEF_AVOID_PRIVILEGE_CHECK, SEF_AVOID_OWNER_CHECK
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!create(parentSecurity.p, creator.p, &made, nullptr, folder, flags, token.Get(), &mapping)) return false;
    // On this one object: the advapi32 calls that apply inheritance also walk the entries below
    // by name, and those are another user's.
    const bool done = set(entry, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, made) != 0;
    destroy(&made);
    return done;
}

}  // namespace

namespace {

// The file made where nothing had the name, written, then opened again as the handle that
// deletes it on close: no writer or deleter may share that handle, so the file that the
// program starts from is the one written (the same file number proves it was not swapped).
FileHandle WrittenProgramFile(const std::string& program, const std::string& bytes, SECURITY_ATTRIBUTES& inherit) {
    BY_HANDLE_FILE_INFORMATION written{}, reopened{};
    {
        FileHandle file(::CreateFileA(program.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) return FileHandle();
        if (!WriteAll(file.Get(), bytes.data(), bytes.size()) || !::GetFileInformationByHandle(file.Get(), &written)) {
            MarkForDeletion(file.Get());
            return FileHandle();
        }
    }
    FileHandle self(::CreateFileA(program.c_str(), DELETE | GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING,
                                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!self || !::GetFileInformationByHandle(self.Get(), &reopened) ||
        reopened.nFileIndexLow != written.nFileIndexLow || reopened.nFileIndexHigh != written.nFileIndexHigh ||
        reopened.dwVolumeSerialNumber != written.dwVolumeSerialNumber || !IsSoleFile(reopened))
        return FileHandle();
    return self;
}

// Vista and later: the child inherits these handles and no other inheritable one of this
// process. Elsewhere every inheritable handle goes, as CreateProcess always did.
class InheritedHandles {
public:
    InheritedHandles(HANDLE* handles, size_t count) {
        using InitFn = BOOL(WINAPI*)(void*, DWORD, DWORD, SIZE_T*);
        using UpdateFn = BOOL(WINAPI*)(void*, DWORD, DWORD_PTR, PVOID, SIZE_T, PVOID, SIZE_T*);
        auto init = Kernel32Function<InitFn>("InitializeProcThreadAttributeList");
        auto update = Kernel32Function<UpdateFn>("UpdateProcThreadAttribute");
        SIZE_T size = 0;
        if (!init || !update) return;
        init(nullptr, 1, 0, &size);
        list_.assign(size, 0);
        if (size == 0 || !init(list_.data(), 1, 0, &size)) {
            list_.clear();
            return;
        }
        const DWORD_PTR kHandleList = 0x20002;   // PROC_THREAD_ATTRIBUTE_HANDLE_LIST
        if (!update(list_.data(), 0, kHandleList, handles, count * sizeof(HANDLE), nullptr, nullptr)) {
            Delete();
            list_.clear();
        }
    }
    ~InheritedHandles() { Delete(); }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    void* List() { return list_.empty() ? nullptr : list_.data(); }

private:
    void Delete() {
        using DeleteFn = VOID(WINAPI*)(void*);
        if (auto remove = Kernel32Function<DeleteFn>("DeleteProcThreadAttributeList"); remove && !list_.empty())
            remove(list_.data());
    }
    std::vector<unsigned char> list_;
};

// STARTUPINFOEXA, which the headers of Windows 2000 do not declare.
struct StartupWithHandles {
    STARTUPINFOA startup;
    void* attributes;
};

}  // namespace

// The child inherits a delete-on-close handle to its own file: the file goes when the last
// handle closes, that is when the child has ended (or at once when it cannot be started).
// It also inherits the writing end of a pipe, on which it passes its code, and a handle to
// this process, to wait for its end before deleting this program's file.
bool Win32Platform::RunProgramDeletedOnExit(const std::string& program, const std::string& bytes,
                                            const std::string& arguments, uint32_t& code) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    FileHandle self = WrittenProgramFile(program, bytes, inherit);
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!self || !::CreatePipe(&readEnd, &writeEnd, nullptr, sizeof(DWORD))) return false;
    FileHandle reader(readEnd);
    FileHandle writer = InheritableCopy(writeEnd, 0, DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE);
    FileHandle starter = InheritableCopy(::GetCurrentProcess(), SYNCHRONIZE, 0);
    if (!writer || !starter) return false;
    char handles[64];
    ::wsprintfA(handles, "%lu,%lu,%lu", HandleNumber(writer.Get()), HandleNumber(starter.Get()), HandleNumber(self.Get()));
    std::string folder = program.substr(0, program.find_last_of('\\') + 1);
    std::string commandLine = "\"" + program + "\" " + arguments;
    HANDLE given[] = {writer.Get(), starter.Get(), self.Get()};
    InheritedHandles only(given, 3);
    StartupWithHandles startup{};
    startup.startup.cb = only.List() ? sizeof startup : sizeof startup.startup;
    startup.attributes = only.List();
    const DWORD flags = only.List() ? 0x80000 /* EXTENDED_STARTUPINFO_PRESENT */ : 0;
    PROCESS_INFORMATION process{};
    ::SetEnvironmentVariableA(kStarterVariable, handles);
    const BOOL started = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                         folder.empty() ? nullptr : folder.c_str(), &startup.startup, &process);
    ::SetEnvironmentVariableA(kStarterVariable, nullptr);
    if (!started) return false;   // the file goes with the handle
    FileHandle thread(process.hThread);
    FileHandle child(process.hProcess);
    writer.Close();   // the child's copy alone keeps the pipe open
    DWORD passed = 0, read = 0;
    if (::ReadFile(reader.Get(), &passed, sizeof passed, &read, nullptr) && read == sizeof passed)
        code = passed;
    else
        code = ExitCodeOf(child.Get());   // it ended without passing a code
    return true;
}

void Win32Platform::ReleaseStarter(uint32_t code) {
    HANDLE handles[3];
    if (!StarterHandles(handles)) return;
    FileHandle writer(handles[0]);
    FileHandle process(handles[1]);
    DWORD written = 0;
    ::WriteFile(writer.Get(), &code, sizeof code, &written, nullptr);
    writer.Close();
    // Not forever: a starter that hangs keeps its file, which then goes at the next restart.
    ::WaitForSingleObject(process.Get(), 60000);
}

// Through the handle that deletes the file when this program ends, so that the deletion follows
// the new name (Wine deletes by the name a handle was opened with).
bool Win32Platform::MoveOwnFile(const std::string& to) {
    HANDLE handles[3];
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    struct IoStatus {
        ULONG_PTR status, information;
    } io{};
    using NtSetInfoFn = LONG(WINAPI*)(HANDLE, IoStatus*, PVOID, ULONG, int);
    auto set = ntdll ? ProcAddress<NtSetInfoFn>(ntdll, "NtSetInformationFile") : nullptr;
    if (!set || !StarterHandles(handles)) return false;
    const std::vector<wchar_t> name = AnsiToWide("\\??\\" + to);
    struct RenameInfo {
        BOOLEAN replace;
        HANDLE root;
        ULONG length;
        WCHAR name[2 * MAX_PATH];
    } info{};
    const size_t count = name.size() - 1;
    if (count >= sizeof info.name / sizeof info.name[0]) return false;
    std::memcpy(info.name, name.data(), count * sizeof(WCHAR));
    info.length = static_cast<ULONG>(count * sizeof(WCHAR));
    return set(handles[2], &io, &info, sizeof info, 10 /* FileRenameInformation */) >= 0;
}

// shell32 by full path, as everywhere; ShellExecuteExA asks the user (UAC) for the rights.
bool Win32Platform::RunElevated(const std::string& program, const std::string& arguments, uint32_t& code) {
    ModuleHandle shell = LoadSystemLibrary("shell32.dll");
    using ExecuteFn = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
    auto execute = shell ? ProcAddress<ExecuteFn>(shell.Get(), "ShellExecuteExA") : nullptr;
    if (!execute) return false;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "runas";
    info.lpFile = program.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!execute(&info) || !info.hProcess) return false;   // refused (ERROR_CANCELLED) or failed
    FileHandle process(info.hProcess);
    code = ExitCodeOf(process.Get());
    return true;
}

// Backup and restore open what another user's permissions deny; take-ownership names the owner.
void Win32Platform::EnableOwnershipPrivileges() {
    if (privilegesEnabled_) return;
    privilegesEnabled_ = true;
    SetOwnershipPrivileges(SE_PRIVILEGE_ENABLED);
}

// Held no longer than the taking back needs them: with them, any file opens whatever its rights.
void Win32Platform::DropOwnershipPrivileges() {
    if (!privilegesEnabled_) return;
    privilegesEnabled_ = false;
    SetOwnershipPrivileges(0);
}

void Win32Platform::SetOwnershipPrivileges(DWORD attributes) {
    using LookupFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, PLUID);
    using AdjustFn = BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
    auto lookup = Advapi32Function<LookupFn>("LookupPrivilegeValueA");
    auto adjust = Advapi32Function<AdjustFn>("AdjustTokenPrivileges");
    const FileHandle token = ProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    if (!lookup || !adjust || !token) return;
    for (const char* name : {"SeBackupPrivilege", "SeRestorePrivilege", "SeTakeOwnershipPrivilege"}) {
        TOKEN_PRIVILEGES privilege{1, {{{0, 0}, attributes}}};
        if (lookup(nullptr, name, &privilege.Privileges[0].Luid))
            adjust(token.Get(), FALSE, &privilege, 0, nullptr, nullptr);
    }
}

std::string Win32Platform::OwnerOf(const std::string& path) {
    using GetInfoFn = DWORD(WINAPI*)(HANDLE, int, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                     PSECURITY_DESCRIPTOR*);
    auto getInfo = Advapi32Function<GetInfoFn>("GetSecurityInfo");
    EnableOwnershipPrivileges();
    BY_HANDLE_FILE_INFORMATION info{};
    const FileHandle entry = OpenNoLink(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, info);
    PSID owner = nullptr;
    LocalMemory security;
    if (!entry || !getInfo ||
        getInfo(entry.Get(), 1 /* SE_FILE_OBJECT */, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                &security.p) != ERROR_SUCCESS)
        return "";
    return SidText(owner);
}

bool Win32Platform::TakeBack(const std::string& path) {
    EnableOwnershipPrivileges();
    BY_HANDLE_FILE_INFORMATION info{};
    const FileHandle entry =
        OpenNoLink(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE, info);
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!entry || !IsKind(info, folder) || (!folder && !IsSoleFile(info))) return false;
    std::string parentPath = path.substr(0, path.find_last_of('\\') + 1);
    if (parentPath.size() > 3) parentPath.pop_back();
    const FileHandle parent(::CreateFileA(parentPath.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return parent && SetInheritedSecurity(entry.Get(), parent.Get(), folder);
}

// As the program files folder is: what Users may not change, a DLL planted there included.
bool Win32Platform::ProtectFolder(const std::string& path) {
    using SetFn = BOOL(WINAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
    auto set = Advapi32Function<SetFn>("SetKernelObjectSecurity");
    EnableOwnershipPrivileges();
    BY_HANDLE_FILE_INFORMATION info{};
    const FileHandle folder =
        OpenNoLink(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE, info);
    LocalMemory descriptor;
    if (!set || !folder || !IsKind(info, true) ||
        !DescriptorFromText("O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", descriptor))
        return false;
    // On this one object: the entries below are taken back one by one, through their handles.
    return set(folder.Get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor.p) != 0;
}

// Only this user: nobody else can put a program or a DLL beside the copy.
bool Win32Platform::CreatePrivateDir(const std::string& path) {
    const std::string user = UserSid();
    LocalMemory descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!user.empty())
        attributes.lpSecurityDescriptor = DescriptorFromText("D:P(A;OICI;FA;;;" + user + ")", descriptor);
    return ::CreateDirectoryA(path.c_str(), &attributes) != 0;
}
