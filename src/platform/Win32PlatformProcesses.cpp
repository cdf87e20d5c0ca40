#include "platform/Win32Platform.h"

#include "platform/Win32PlatformInternal.h"

#include <shellapi.h>

#include <cstring>
#include <new>

using namespace win32;

// ---- windows and processes -----------------------------------------------

namespace {

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
