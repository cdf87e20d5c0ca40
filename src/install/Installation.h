// The installation both roads run: the log, the plan, the worker, the finishing actions and
// what is saved after. The wizard takes its steps from its pages; the unattended road takes
// them in one go with decided answers.
#pragma once
#include <cstdint>
#include <string>
#include "engine/InstallPlan.h"
#include "engine/InstallThread.h"
#include "install/Finish.h"
#include "install/InstallRecord.h"
#include "install/Settings.h"

class TAttachedFiles;

class Installation {
public:
    // questions: where the plan and the worker ask; it outlives the installation.
    explicit Installation(const QuestionService& questions) : Worker(questions), questions_(questions) {}

    // Opens the install log, builds the plan for choices and starts the worker. The steps
    // after it work on the same files (and their view of the shared data folder).
    void Start(TAttachedFiles& files, const PlanChoices& choices);
    // The associations asked for and the shortcuts, for everyone or the current user only;
    // false when a shortcut's folder could not be named.
    bool Associate(const AssocBoxes& boxes, bool allUsers);
    // Update.log, for the installed program to read what changed.
    void WriteUpdate();
    // After the copy, however it ended: the settings, then "Install.log" unless portable;
    // nothing when the installation never started.
    void Save(const SavedSettings& settings);

    const PlanChoices& Plan() const { return plan_; }

    // Declared first, gone last: the worker writes to the record's log until it stops.
    InstallRecord Record;
    InstallSession Worker;

private:
    const QuestionService& questions_;
    TAttachedFiles* files_ = nullptr;
    PlanChoices plan_;
    double stamp_ = 0;
};
