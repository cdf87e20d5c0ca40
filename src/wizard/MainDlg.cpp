// The wizard's pages: what each page shows on entry, the navigation between them, their rules.
#include "wizard/MainDlg.h"

#include <exception>
#include <new>
#include "engine/AttachFiles.h"
#include "engine/ResConst.h"
#include "instutils/DiskSpace.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"
#include "wizard/DestPage.h"
#include "install/Finish.h"
#include "wizard/MessageTexts.h"
#include "install/Settings.h"

const char* const kWelcomeText =
    "Ce programme va installer Traitement de texte Velmorra (version 2.0.6.0%s) sur votre ordinateur.\r\r\r\r\r"
    "Cliquez sur \"Suite\" pour continuer. Cliquez sur \"Annuler\" si vous voulez renoncer à l'installation.";
const char* const kFinishText =
    "Traitement de texte Velmorra 2.0.6.0%s a été installé avec succès sur votre ordinateur.\r\r"
    "Cliquez sur Terminer pour quitter ce programme d'installation.";
const char* const kSelCompText =
    "Désactivez les cases des &composants que vous ne voulez pas installer ou mettre à jour "
    "(l'espace disque requis est affiché sur la droite) :";

namespace {

const uint8_t kFinishPage = 8;
const Ctl kAssocBoxes[4] = {Ctl::AssocChkBx1, Ctl::AssocChkBx2, Ctl::AssocChkBx3, Ctl::AssocChkBx4};

std::string WithoutPlaceholder(const char* text)
{
    std::string s = text;
    const size_t at = s.find("%s");
    if (at != std::string::npos)
        s.erase(at, 2);
    return s;
}

// Disables Next and Cancel and shows the wait pointer while the licence is extracted;
// the buttons come back even when the extraction throws.
class BusyButtons {
public:
    explicit BusyButtons(MainDlgView& view) : view_(view)
    {
        view_.SetEnabled(Ctl::NextBtn, false);
        view_.SetEnabled(Ctl::CancelBtn, false);
        view_.SetWaitCursor(true);
    }
    ~BusyButtons()
    {
        view_.SetWaitCursor(false);
        if (std::uncaught_exceptions() > 0) {
            view_.SetEnabled(Ctl::NextBtn, true);
            view_.SetEnabled(Ctl::CancelBtn, true);
        }
    }
    BusyButtons(const BusyButtons&) = delete;
    BusyButtons& operator=(const BusyButtons&) = delete;

private:
    MainDlgView& view_;
};

}  // namespace

void TMainDlgForm::Init(const std::vector<std::string>& args)
{
    view_.SetText(Ctl::WelcomeLbl, WithoutPlaceholder(kWelcomeText));
    view_.SetText(Ctl::FinishLbl, WithoutPlaceholder(kFinishText));

    const SavedSettings saved = ReadSettings(args);
    MainDir = saved.MainDir;
    SavedComps = saved.SavedComps;
    for (int row = 0; row < SelCompLstBx.Count(); ++row)
        if ((SavedComps >> CompIds[row]) & 1)
            SelCompLstBx.SetState(row, cbChecked);
    SelCompLstBx.Select(1);
    SelCompLstBx.SetState(0, cbGrayed);

    view_.SetChecked(Ctl::InstallToAllChkBx, saved.InstallToAll);
    Extensions = saved.Extensions;
    view_.SetChecked(Ctl::FinishChkBx, saved.Launch);
    LastRunVer = saved.LastRunVer;

    ApplySwitches(ParseSwitches(args));

    view_.SetText(Ctl::DestDirEdt, MainDir);
    DestDirLstBx.OpenFolder(MainDir);
    view_.SetText(Ctl::SelCompLbl, kSelCompText);
    view_.StartTimers();
    Install.Worker.SetWake(view_.WorkerWake());
    GoToPage(255, 0);
    Ready = true;
}

// The switches preset what the pages show; the user may still change it.
void TMainDlgForm::ApplySwitches(const Switches& switches)
{
    if (switches.Destination)
        MainDir = *switches.Destination;
    if (switches.Components)
        for (int row = 1; row < SelCompLstBx.Count(); ++row)
            SelCompLstBx.SetState(row, (*switches.Components >> CompIds[row]) & 1 ? cbChecked : cbUnchecked);
    if (switches.Associations)
        Extensions = ExtensionsFromBoxes(*switches.Associations);
    if (switches.CurrentUser)
        view_.SetChecked(Ctl::InstallToAllChkBx, false);
    if (switches.Launch)
        view_.SetChecked(Ctl::FinishChkBx, true);
}

// --- Navigation

void TMainDlgForm::BNClick(bool back)
{
    const uint8_t from = static_cast<uint8_t>(shownPage_);
    const uint8_t to = static_cast<uint8_t>(back ? from - 1 : from + 1);
    GoToPage(from, to);
}

void TMainDlgForm::CancelBtnClick()
{
    Close(mrCancel);
}

// Carried out once the event that set it has ended (FormCloseQuery decides).
void TMainDlgForm::Close(int modalResult)
{
    modalResult_ = modalResult;
}

void TMainDlgForm::GoToPage(uint8_t fromPage, uint8_t toPage)
{
    if (toPage == 6 && IsPortable())
        toPage = 7;
    Ctl focus = Ctl::None;
    if (!EnterPage(fromPage, toPage, focus))
        return;
    SetButtons(toPage);
    view_.SetText(Ctl::TopLbl, PageTitles[toPage]);
    view_.ShowPage(toPage);
    shownPage_ = toPage;
    if (focus != Ctl::None)
        view_.Focus(focus);
    if (toPage == 5)
        StartInstallation();
}

// The entry action of a page; false to stay where the wizard is.
bool TMainDlgForm::EnterPage(uint8_t fromPage, uint8_t toPage, Ctl& focus)
{
    switch (toPage) {
    case 0:
        return true;
    case 1:
        focus = Ctl::LicenseMemo;
        return EnterLicencePage(fromPage);
    case 2:
        focus = Ctl::DestDirEdt;
        return EnterDestinationPage(fromPage);
    case 3:
        focus = Ctl::SelCompLstBx;
        return EnterComponentPage(fromPage);
    case 4:
        view_.SetVisible(Ctl::InstallToAllChkBx, !IsPortable());
        focus = Ctl::NextBtn;
        return true;
    case 5:
        return !AppRunningShown() && DataFoldersKnown();
    case 6:
        focus = Ctl::AssocChkBx1;
        EnterAssociationsPage();
        return true;
    case 7:
        if (!IsPortable())
            FinishingActions();
        return true;
    case kFinishPage:
        Finish();
        return false;
    default:
        return false;
    }
}

// The running-program notice when the word processor runs.
bool TMainDlgForm::AppRunningShown()
{
    if (!IsAppRunning())
        return false;
    Ask(kMsgAppRunning, mtInformation, mbOK);
    return true;
}

bool TMainDlgForm::EnterLicencePage(uint8_t fromPage)
{
    if (fromPage != 0 || !licenceLines_.empty())
        return true;
    if (AppRunningShown())
        return false;
    if (TempFolder().empty()) {
        // The licence would land in whatever the current folder is.
        Ask(TempPathUnnameable() ? kMsgTempUnnameable : kMsgNoTempFolder, mtError, mbOK);
        CloseAllowed = true;
        Close(mrCancel);
        return false;
    }
    LoadLicence();
    return true;
}

// A normal installation needs the shared data folder; the user may still pick a removable drive.
bool TMainDlgForm::DataFoldersKnown()
{
    if (IsPortable() || !SharedDataRoot().empty())
        return true;
    Ask(kNoDataFolderText, mtError, mbOK);
    return false;
}

bool TMainDlgForm::EnterDestinationPage(uint8_t fromPage)
{
    if (fromPage != 1 || view_.Checked(Ctl::LicenseChkBx))
        return true;
    if (Ask(kMsgLicenceRefused, mtInformation, mbYes | mbNo) == mrYes) {
        CloseAllowed = true;
        Close(mrCancel);
    }
    return false;
}

bool TMainDlgForm::EnterComponentPage(uint8_t fromPage)
{
    if (fromPage == 2 && !TakeDestination())
        return false;
    for (int i = 0; i < SelCompLstBx.Count(); ++i)
        SelCompLstBx.SetValue(i, AttachedFiles->ComponentBytes(ComponentFileLists[CompIds[i]], MainDir));
    UpdateDiskSpace();
    return true;
}

// The normalised text becomes MainDir only when files can be written there.
bool TMainDlgForm::TakeDestination()
{
    std::string text = view_.Text(Ctl::DestDirEdt);
    NormaliseDestination(text, DestDirCmbBx.CurrentDrive);
    view_.SetText(Ctl::DestDirEdt, text);
    const DestCheck check = ValidateDestination(text, *AttachedFiles);
    if (check.problem != DestProblem::None) {
        Ask(DestinationProblemText(check), mtWarning, mbOK);
        view_.Focus(Ctl::DestDirEdt);
        return false;
    }
    MainDir = text;
    return true;
}

void TMainDlgForm::EnterAssociationsPage()
{
    view_.SetProgressPosition(progressMax_);
    const AssocBoxes boxes = BoxesFromExtensions(Extensions);
    for (int i = 0; i < 4; ++i)
        view_.SetChecked(kAssocBoxes[i], boxes[i]);
}

// "&Terminer": the wizard closes with OK once Update.log is written and the program started.
void TMainDlgForm::Finish()
{
    if (!IsPortable())
        Install.WriteUpdate();
    if (view_.Checked(Ctl::FinishChkBx))
        LaunchProgram(MainDir, Install.Record.Log);
    CloseAllowed = true;
    Close(mrOk);
}

void TMainDlgForm::LoadLicence()
{
    BusyButtons busy(view_);
    const std::string temp = NewTempFileName();
    bool extracted;
    {
        LogSuspension quiet(AttachedFiles->Log);
        auto ask = [this](const std::string& text, int type, uint16_t buttons) { return Ask(text, type, buttons); };
        extracted = ExtractAsking(*AttachedFiles, nullptr, "Licence.txt", temp, ask);
    }
    if (extracted) {
        std::string bytes;
        if (Sys().ReadWholeFile(temp, bytes))
            licenceLines_ = SplitLines(bytes);
        view_.SetMemoLines(licenceLines_);
        Sys().DeleteFileAt(temp);
    } else {
        CloseAllowed = true;
        Close(mrCancel);
    }
}

void TMainDlgForm::SetButtons(uint8_t toPage)
{
    view_.SetVisible(Ctl::BackBtn, toPage != 0);
    view_.SetEnabled(Ctl::BackBtn, toPage < 5);
    view_.SetText(Ctl::BackBtn, "< &Retour");
    view_.SetEnabled(Ctl::NextBtn, toPage == 3 ? diskSpaceEnough_ : toPage != 5);
    view_.SetText(Ctl::NextBtn, toPage == 7 ? "&Terminer" : "&Suite >");
    view_.SetEnabled(Ctl::CancelBtn, toPage != 7);
    view_.SetText(Ctl::CancelBtn, ButtonCaption(3));
}

void TMainDlgForm::FinishingActions()
{
    AssocBoxes boxes{};
    for (int i = 0; i < 4; ++i)
        boxes[i] = view_.Checked(kAssocBoxes[i]);
    Extensions = ExtensionsFromBoxes(boxes);
    Install.Associate(boxes, view_.Checked(Ctl::InstallToAllChkBx));
}

void TMainDlgForm::StartInstallation()
{
    // A drive pulled later must not turn a portable installation into a per-machine one.
    portable_ = IsRemovableDrive(MainDir);
    ChosenComps = 0;
    for (int n = SelCompLstBx.Count() - 1; n >= 0; --n)
        if (SelCompLstBx.State(n) != cbUnchecked)
            ChosenComps |= static_cast<uint8_t>(1u << CompIds[n]);
    Install.Start(*AttachedFiles, Choices());
    progressMax_ = AttachedFiles->PlannedBytes();
    view_.SetProgressRange(progressMax_);
}

// --- Page rules

bool TMainDlgForm::IsPortable() const
{
    return portable_ ? *portable_ : IsRemovableDrive(MainDir);
}

void TMainDlgForm::UpdateDiskSpace()
{
    const DiskSpaceView space = ComputeDiskSpace(SelCompLstBx, MainDir);
    view_.SetText(Ctl::SelCompDiskSpaceReqLbl2, space.Required);
    view_.SetText(Ctl::SelCompDiskSpaceAvailLbl2, space.Available);
    diskSpaceEnough_ = space.Enough;
    view_.SetEnabled(Ctl::NextBtn, space.Enough);
}

void TMainDlgForm::DestDirLstBxChange()
{
    if (!Ready)
        return;
    std::string text = DestDirLstBx.CurrentFolder;
    NormaliseDestination(text, DestDirCmbBx.CurrentDrive);
    view_.SetText(Ctl::DestDirEdt, text);
}

void TMainDlgForm::SelCompLstBxClickCheck()
{
    KeepFirstComponent(SelCompLstBx, CompIds, [this] { UpdateDiskSpace(); });
}

PlanChoices TMainDlgForm::Choices() const
{
    PlanChoices c;
    c.MainDir = MainDir;
    c.ChosenComps = ChosenComps;
    c.IsPortable = IsPortable();
    c.LastRunVer = LastRunVer;
    return c;
}

