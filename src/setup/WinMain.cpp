// The program's entry on Windows: the real platform and the real start-up steps.
#include <windows.h>
#include <ole2.h>

#include "platform/Win32Platform.h"
#include "setup/Startup.h"
#include "wizard/Wizard.h"
#include "wizard/win32/MainDlgWindow.h"
#include "wizard/win32/MessageDialogWindow.h"

namespace {

// Global: copies run by two users at once would also share the data folder and its logs.
const char* const kOnlyCopyMutex = "Global\\VelmorraSetup";

// DLLs that system code (themes, the common controls, the shell, COM) loads later by bare name.
const char* const kLateSystemDlls[] = {
    "uxtheme.dll", "dwmapi.dll", "msimg32.dll", "version.dll", "userenv.dll",
    "oleacc.dll", "propsys.dll", "cryptbase.dll", "apphelp.dll", "setupapi.dll",
};

template <typename Fn>
Fn KernelEntry(const char* name)
{
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name))) : nullptr;
}

// A program started from a downloads folder must not pick up a DLL planted beside it, nor one
// in the current folder, which moves into the destination and data folders during the copy.
// Windows 2000 to 7 without its update lack SetDefaultDllDirectories; Wine's own DLLs load some
// of the list by name whatever the program asked. What is already loaded is never searched
// for again, so the list is loaded now from the system folder, before any window exists.
void RestrictDllSearch()
{
    using SetDefaultFn = BOOL(WINAPI*)(DWORD);
    using SetDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    const DWORD kSearchSystem32 = 0x00000800;   // LOAD_LIBRARY_SEARCH_SYSTEM32
    auto setDefault = KernelEntry<SetDefaultFn>("SetDefaultDllDirectories");
    if (!setDefault || !setDefault(kSearchSystem32)) {
        // An empty string takes the current folder out of the search (XP SP1 and later).
        if (auto setDirectory = KernelEntry<SetDirectoryFn>("SetDllDirectoryA"))
            setDirectory("");
    }
    // Older systems lack some of the list: a missing one is skipped without a system message.
    const UINT errorMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (const char* name : kLateSystemDlls)
        LoadSystemLibrary(name).Detach();   // kept for the whole run
    ::SetErrorMode(errorMode);
}

class Win32StartupHost : public StartupHost {
public:
    explicit Win32StartupHost(Win32Platform& platform) : platform_(platform) {}
    ~Win32StartupHost() override
    {
        if (comReady_) ::OleUninitialize();
    }

    void PrepareSystem() override
    {
        comReady_ = SUCCEEDED(::OleInitialize(nullptr));
        platform_.LocateFolderService();
    }

    bool ClaimOnlyCopy() override
    {
        mutex_ = FileHandle(::CreateMutexA(nullptr, FALSE, kOnlyCopyMutex));
        // Null when access is denied: another user's copy made it.
        return mutex_.Valid() && ::GetLastError() != ERROR_ALREADY_EXISTS;
    }

    // There is no hidden application window here: the wizard's window is the program's
    // only one, and it takes icon 1 and the same title itself.
    void SetApplicationIcon() override {}
    void SetApplicationTitle(const std::string&) override {}

    std::vector<std::string> Arguments() override { return CommandLineArguments(); }
    void ShowUsage(const std::string& text) override { ShowMessageDialog(text, mtInformation, mbOK); }
    void RunWizard() override { RunWizardModal(); }
    int FinishAfterWizard() override { return ::FinishAfterWizard(); }

private:
    Win32Platform& platform_;
    bool comReady_ = false;
    FileHandle mutex_;
};

}  // namespace

// The program is compiled as one unit that is the whole program: the start-up code calls this
// from outside it.
__attribute__((externally_visible)) int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    Win32Platform platform;
    SetPlatform(&platform);
    int exitCode;
    {
        Win32StartupHost host(platform);
        exitCode = RunSetup(host);
    }
    SetPlatform(nullptr);
    return exitCode;
}
