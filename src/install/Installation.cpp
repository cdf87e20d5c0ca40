#include "install/Installation.h"

#include "engine/AttachFiles.h"

void Installation::Start(TAttachedFiles& files, const PlanChoices& choices)
{
    plan_ = choices;
    OpenInstallLog(Record, files, plan_.MainDir, plan_.IsPortable);
    stamp_ = BuildInstallPlan(files, plan_, questions_);
    Worker.Start(files);
}

bool Installation::Associate(const AssocBoxes& boxes, bool allUsers)
{
    RunAssociationCommand(plan_.MainDir, boxes);
    return CreateProductShortcuts(plan_.MainDir, allUsers, Record.Log, questions_);
}

void Installation::WriteUpdate(const TAttachedFiles& files)
{
    WriteUpdateLog(plan_, files.PublicFiles, stamp_, Record.Log);
}

void Installation::Save(const SavedSettings& settings)
{
    if (!Record.Started)   // nothing was done: nothing to keep
        return;
    WriteSettings(settings, plan_.IsPortable);
    SaveInstallLogQuietly(Record, plan_.IsPortable);
}
