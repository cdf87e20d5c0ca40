// The wizard's side of the installation: the worker session started, polled and held for the
// close question, and what is kept after the wizard.
#include "wizard/MainDlg.h"

#include "engine/AttachFiles.h"
#include "engine/ResConst.h"
#include "instutils/DiskSpace.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "wizard/MessageTexts.h"
#include "wizard/Settings.h"

void TMainDlgForm::StartInstallation()
{
    // A drive pulled later must not turn a portable installation into a per-machine one.
    portable_ = IsRemovableDrive(MainDir);
    OpenInstallLog(Record, *AttachedFiles, MainDir, IsPortable());
    ChosenComps = 0;
    for (int n = SelCompLstBx.Count() - 1; n >= 0; --n)
        if (SelCompLstBx.State(n) != cbUnchecked)
            ChosenComps |= static_cast<uint8_t>(1u << CompIds[n]);
    InstallStamp = BuildInstallPlan(*AttachedFiles, Choices());
    progressMax_ = AttachedFiles->PlannedBytes();
    view_.SetProgressRange(progressMax_);
    Worker.Start(*AttachedFiles);
}

bool TMainDlgForm::FormCloseQuery()
{
    Worker.HoldForClose();
    try {
        if (!CloseAllowed)
            CloseAllowed = MessageDialog(kMsgConfirmCancel, mtConfirmation, mbNo | mbAbort) == mrAbort;
    } catch (...) {
        Worker.ReleaseAfterClose(false);
        throw;
    }
    Worker.ReleaseAfterClose(CloseAllowed);
    return CloseAllowed;
}

bool TMainDlgForm::QueryEndSession() const
{
    return Worker.Finished();
}

void TMainDlgForm::SaveSettings()
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
    WriteSettings(s, IsPortable());
}

void TMainDlgForm::SetProgressPosition(int32_t position) { view_.SetProgressPosition(position); }

std::string TMainDlgForm::ComponentLabel() { return view_.Text(Ctl::InstallingLbl2); }

void TMainDlgForm::SetComponentLabel(const std::string& caption) { view_.SetText(Ctl::InstallingLbl2, caption); }

void TMainDlgForm::InstallDone() { GoToPage(5, 6); }

void TMainDlgForm::InstallFailed()
{
    CloseAllowed = true;
    Close(mrCancel);
}

int PersistAfterWizard(TMainDlgForm& form)
{
    form.WaitForWorker();
    // An error that escaped the worker is a failure, not the user's choice.
    const int exitCode = form.ModalResult() == mrOk ? 0 : form.Worker.FailedByError() ? 1603 : 1602;
    if (!form.Record.Started || form.SessionEnded())
        return exitCode;
    form.SaveSettings();
    SaveInstallLogQuietly(form.Record, form.IsPortable());
    return exitCode;
}

void OpenInstallLog(InstallRecord& record, TAttachedFiles& files, const std::string& mainDir, bool portable)
{
    record.Log = InstallLog();
    record.FileName.clear();
    record.HandTo(files);
    if (!portable) {
        record.FileName = JoinPath(mainDir, "Install.log");
        if (FileExists(record.FileName)) {
            try {
                record.Log.Load(record.FileName);
            } catch (...) {
                // What could be read stays; an unreadable old log does not stop the installation.
            }
        }
    }
    record.Started = true;
}

void SaveInstallLogQuietly(const InstallRecord& record, bool portable)
{
    if (portable)
        return;
    try {
        record.Log.Save(record.FileName);
    } catch (...) {
        // A log that cannot be written must not stop the program's end.
    }
}

uint32_t SavedComponentBits(uint32_t saved, uint8_t chosen)
{
    std::vector<bool> checked(8);
    for (int i = 1; i < 8; ++i)
        checked[size_t(i)] = (chosen >> i) & 1;
    return ComponentMask(saved, checked);
}

uint32_t InstalledKb(const TAttachedFiles& files, uint8_t chosen, const std::string& mainDir)
{
    uint64_t bytes = 0;
    for (int i = 0; i < 8; ++i)
        if ((chosen >> i) & 1)
            bytes += uint32_t(files.ComponentBytes(ComponentFileLists[i], mainDir));
    return uint32_t((bytes + 1023) / 1024);
}
