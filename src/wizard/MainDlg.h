// The setup wizard's rules: pages, navigation, buttons, closing, and the hand-over to the
// install worker. The rules act on the window through MainDlgView; the window code
// (win32/MainDlgWindow) routes the user's actions and the window's messages to the event
// methods below.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "engine/InstallPlan.h"
#include "engine/InstallThread.h"
#include "install/Installation.h"
#include "wizard/MainDlgView.h"
#include "install/Switches.h"
#include "wizard/CompPage.h"
#include "wizard/FileCtrl.h"

extern const char* const kWelcomeText;
extern const char* const kFinishText;
extern const char* const kSelCompText;

class TMainDlgForm {
public:
    // questions: where the wizard and its installation ask; it outlives the form.
    TMainDlgForm(MainDlgView& view, const QuestionService& questions);
    ~TMainDlgForm();
    TMainDlgForm(const TMainDlgForm&) = delete;
    TMainDlgForm& operator=(const TMainDlgForm&) = delete;

    // Reads the saved settings and the switches that preset the pages (args: command line
    // without the program name), fills the pages, starts the timers and shows page 0. The
    // view's controls exist.
    void Init(const std::vector<std::string>& args);

    // Controls whose rows and rules live outside the window.
    CheckListModel SelCompLstBx;
    TDirectoryListBox DestDirLstBx;
    TDriveComboBox DestDirCmbBx;

    // Events as the window delivers them. None of them throws: an error is shown in the
    // message dialog and the wizard stays where it was. A modal result set by the event is
    // then carried out as the modal loop would (FormCloseQuery decides).
    void BackClick();
    void NextClick();
    void CancelClick();        // the Cancel button and Esc
    void CloseRequest();       // the close box and Alt+F4
    void TimerTick(int id);
    void ActivateApp(bool active);
    void ToggleComponent(int row);   // the user's toggle in the component list

    bool Closed() const { return closed_; }
    bool QuestionOpen() const;
    int ModalResult() const { return modalResult_; }
    int ShownPage() const { return shownPage_; }

    // The form's operations.
    void GoToPage(uint8_t fromPage, uint8_t toPage);
    void BNClick(bool back);
    void CancelBtnClick();
    bool FormCloseQuery();
    bool IsPortable() const;
    void UpdateDiskSpace();
    void DestDirLstBxChange();
    void SelCompLstBxClickCheck();
    PlanChoices Choices() const;
    // The settings as the pages hold them (the saved component bits brought up to date).
    SavedSettings CurrentSettings();
    // After the wizard has closed: a worker still going is stopped and waited for.
    void WaitForWorker() { Install.Worker.StopAndWait(); }

    // The end of the Windows session: refused while files are being copied. When it comes
    // anyway, the worker stops after its file and what an abandoned installation keeps is saved.
    bool QueryEndSession() const;
    void EndSession();
    bool SessionEnded() const { return sessionEnded_; }

    bool CloseAllowed = false;
    bool Ready = false;
    std::vector<int> CompIds;
    uint8_t ChosenComps = 0;
    int32_t LastRunVer = 0x7FFFFFFF;
    Installation Install;
    std::string MainDir;
    uint32_t SavedComps = 0x7FFFFFFF;
    std::string Extensions;

private:
    template <class Action> void Handle(Action action);
    void ShowCaughtError();
    void EndHandler();
    void ApplyModalResult();
    void Close(int modalResult);
    bool EnterPage(uint8_t fromPage, uint8_t toPage, Ctl& focus);
    bool AppRunningShown();
    bool DataFoldersKnown();
    bool EnterLicencePage(uint8_t fromPage);
    bool EnterDestinationPage(uint8_t fromPage);
    bool EnterComponentPage(uint8_t fromPage);
    bool TakeDestination();
    void EnterAssociationsPage();
    void Finish();
    void LoadLicence();
    void StartInstallation();
    void ApplySwitches(const Switches& switches);
    void FinishingActions();
    void SetButtons(uint8_t toPage);
    void ShowInstallTick(const InstallTick& tick);

    int Ask(const std::string& text, int type, uint16_t buttons) const { return questions_.Ask(text, type, buttons); }

    MainDlgView& view_;
    const QuestionService& questions_;
    int shownPage_ = -1;
    int modalResult_ = 0;
    bool closed_ = false;
    int handlerDepth_ = 0;
    bool diskSpaceEnough_ = false;
    int32_t progressMax_ = 0;
    std::vector<std::string> licenceLines_;
    std::optional<bool> portable_;   // decided when the copy starts, whatever drives do later
    bool sessionEnded_ = false;
};

// Start-up's steps after the wizard has closed: wait for the worker, then, when the
// installation was started, the settings, the uninstall entry and "Install.log". Returns the
// program's exit code: 0 when the wizard finished, 1603 when an error escaped the worker, 1602
// when it was abandoned.
int PersistAfterWizard(TMainDlgForm& form);

