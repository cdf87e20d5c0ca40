// The wizard's side of the installation once it runs: the timer's ticks, the close question
// held against the worker, and what is kept after the wizard.
#include "wizard/MainDlg.h"

#include "engine/AttachFiles.h"
#include "engine/ResConst.h"
#include "instutils/DiskSpace.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "wizard/MessageTexts.h"
#include "install/Settings.h"

bool TMainDlgForm::FormCloseQuery()
{
    Install.Worker.HoldForClose();
    try {
        if (!CloseAllowed)
            CloseAllowed = Ask(kMsgConfirmCancel, mtConfirmation, mbNo | mbAbort) == mrAbort;
    } catch (...) {
        Install.Worker.ReleaseAfterClose(false);
        throw;
    }
    Install.Worker.ReleaseAfterClose(CloseAllowed);
    return CloseAllowed;
}

bool TMainDlgForm::QueryEndSession() const
{
    return Install.Worker.Finished();
}

SavedSettings TMainDlgForm::CurrentSettings()
{
    uint8_t checked = 0;
    for (int i = 0; i < SelCompLstBx.Count(); ++i)
        if (SelCompLstBx.State(i) == cbChecked)
            checked |= uint8_t(1u << CompIds[i]);
    SavedComps = SavedComponentBits(SavedComps, checked);
    SavedSettings s;
    s.MainDir = MainDir;
    s.SavedComps = SavedComps;
    s.InstallToAll = view_.Checked(Ctl::InstallToAllChkBx);
    s.Extensions = Extensions;
    s.Launch = view_.Checked(Ctl::FinishChkBx);
    s.InstalledKb = InstalledKb(*AttachedFiles, ChosenComps, MainDir);
    return s;
}

// The installing page as the timer's tick finds it.
void TMainDlgForm::ShowInstallTick(const InstallTick& tick)
{
    switch (tick.kind) {
    case InstallTick::Copying:
        view_.SetProgressPosition(tick.position);
        // Set only when it changes: a label set ten times a second flickers.
        if (view_.Text(Ctl::InstallingLbl2) != tick.caption)
            view_.SetText(Ctl::InstallingLbl2, tick.caption);
        return;
    case InstallTick::Done:
        GoToPage(5, 6);
        return;
    case InstallTick::Failed:
        CloseAllowed = true;
        Close(mrCancel);
        return;
    default:
        return;
    }
}

int PersistAfterWizard(TMainDlgForm& form)
{
    form.WaitForWorker();
    // An error that escaped the worker is a failure, not the user's choice.
    const int exitCode = form.ModalResult() == mrOk ? 0 : form.Install.Worker.FailedByError() ? 1603 : 1602;
    if (!form.Install.Record.Started || form.SessionEnded())
        return exitCode;
    form.Install.Save(form.CurrentSettings());
    return exitCode;
}
