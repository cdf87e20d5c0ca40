#include "platform/Win32Platform.h"

#include "platform/Win32PlatformInternal.h"
#include "platform/Win32PlatformPaths.h"

#include <commctrl.h>

#include <memory>

using namespace win32;

namespace win32 {

// Ended by a NUL, for the few calls that take only wide text.
std::vector<wchar_t> AnsiToWide(const std::string& text) {
    int count = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(count > 0 ? static_cast<size_t>(count) : 1, L'\0');
    if (count > 0) ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), count);
    return wide;
}

// advapi32 is a known DLL, loaded already by every program that reads the registry.
HMODULE Advapi() {
    static const HMODULE module = [] {
        const HMODULE loaded = ::GetModuleHandleA("advapi32.dll");
        return loaded ? loaded : LoadSystemLibrary("advapi32.dll").Detach();
    }();
    return module;
}

}  // namespace win32

// ---- threads -------------------------------------------------------------

namespace {

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

ModuleHandle LoadSystemLibrary(const char* fileName) {
    char folder[MAX_PATH];
    UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ModuleHandle();
    std::string path(folder, length);
    path += '\\';
    path += fileName;
    return ModuleHandle(::LoadLibraryA(path.c_str()));
}

Win32Platform::Win32Platform() : mainThreadId_(::GetCurrentThreadId()) {}

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

unsigned Win32Platform::SetErrorMode(unsigned mode) { return ::SetErrorMode(mode); }

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

uint32_t Win32Platform::RandomNumber() {
    uint32_t number = 0;
    if (CryptoRandom(number)) return number;
    // No generator: counters nobody else reads at this instant, mixed.
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    number = counter.LowPart ^ (::GetTickCount() << 11) ^ (::GetCurrentProcessId() << 16) ^
             ::GetCurrentThreadId() ^ (++randomCalls_ * 0x9E3779B9u);
    number ^= number >> 16;
    number *= 0x45D9F3Bu;
    return number ^ (number >> 16);
}

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
    // Loaded once, by the wizard's thread, the only one that makes windows.
    static const HMODULE module = LoadCommonControls();
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = module ? ProcAddress<InitFn>(module, "InitCommonControlsEx") : nullptr;
    INITCOMMONCONTROLSEX controls{sizeof controls, classes};
    if (init && init(&controls)) return;
    // A comctl32 older than 4.70 has only the call that registers every class.
    using InitAllFn = void(WINAPI*)();
    if (auto initAll = module ? ProcAddress<InitAllFn>(module, "InitCommonControls") : nullptr) initAll();
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
