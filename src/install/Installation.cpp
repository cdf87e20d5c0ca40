#include "install/Installation.h"

#include "engine/AttachFiles.h"

void Installation::Start(TAttachedFiles& files, const PlanChoices& choices)
{
    plan_ = choices;
    files_ = &files;
    OpenInstallLog(Record, files, plan_.MainDir, plan_.IsPortable);
    stamp_ = BuildInstallPlan(files, plan_, questions_);
    Worker.Start(files);
}

bool Installation::Associate(const AssocBoxes& boxes, bool allUsers)
{
    RunAssociationCommand(plan_.MainDir, boxes);
    return CreateProductShortcuts(plan_.MainDir, allUsers, files_->Shared, Record.Log, questions_);
}

void Installation::WriteUpdate()
{
    WriteUpdateLog(plan_, files_->PublicFiles, stamp_, files_->Shared, Record.Log);
}

void Installation::Save(const SavedSettings& settings)
{
    if (!Record.Started)   // nothing was done: nothing to keep
        return;
    WriteSettings(settings, plan_.IsPortable);
    SaveInstallLogQuietly(Record, files_->Shared, plan_.IsPortable);
}
