// The program's entry on Windows: the real platform and the real start-up steps.
#include <windows.h>
#include <ole2.h>

#include <cstdlib>
#include <memory>

#include "platform/Win32Platform.h"
#include "setup/Startup.h"
#include "wizard/MainDlg.h"
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

    std::vector<std::string> Arguments() override
    {
        std::vector<std::string> args;
        for (int i = 1; i < __argc; ++i)
            args.emplace_back(__argv[i]);
        return args;
    }

    void ShowUsage(const std::string& text) override { ShowMessageDialog(text, mtInformation, mbOK); }

    void RunWizard() override
    {
        // Every question is modal to the wizard, also when another program is in front.
        questions_.SetDialog([this](const std::string& text, int type, uint16_t buttons) {
            HWND owner = wizard_ ? wizard_->Handle() : nullptr;
            return ShowOwnedMessageDialog(owner ? owner : GetActiveWindow(), text, type, buttons);
        });
        wizard_ = std::make_unique<MainDlgWindow>(questions_);
        if (!wizard_->Create(Arguments())) {
            wizard_.reset();
            return;
        }
        wizard_->RunModal();
    }

    int FinishAfterWizard() override
    {
        // The window goes (with the form and its worker) also when saving throws.
        const std::unique_ptr<MainDlgWindow> window = std::move(wizard_);
        return window ? PersistAfterWizard(window->Form()) : kExitFailure;
    }

private:
    Win32Platform& platform_;
    bool comReady_ = false;
    QuestionService questions_;   // the wizard asks here; it outlives the wizard
    std::unique_ptr<MainDlgWindow> wizard_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
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
