// The program's entry on Windows: the real platform and the real start-up steps.
#include <windows.h>
#include <ole2.h>

#include "platform/Win32Platform.h"
#include "setup/Startup.h"
#include "wizard/Wizard.h"
#include "wizard/win32/MainDlgWindow.h"
#include "wizard/win32/MessageDialogWindow.h"

namespace {

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
