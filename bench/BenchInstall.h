// Drives the engine the way the installing page does, without a window, for the benchmarks.
#pragma once
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "BenchStats.h"
#include "engine/AttachFiles.h"
#include "engine/InstallPlan.h"
#include "engine/InstallThread.h"
#include "instutils/InstallLog.h"

namespace bench {

// Every component, into one fresh folder: the portable plan puts the shared data there too,
// so nothing of an earlier run is found and every file is planned.
// A fresh log for each plan, as an installation starts one.
inline void PlanEverything(TAttachedFiles& files, const std::string& mainDir, InstallLog& log)
{
    log = InstallLog();
    files.Log = &log;
    PlanChoices choices;
    choices.MainDir = mainDir;
    choices.ChosenComps = 0xFF;
    choices.IsPortable = true;
    BuildInstallPlan(files, choices);
}

struct PlannedFile {
    std::string target;
    const TAttachedFile* entry;
};

inline std::vector<PlannedFile> PlannedFiles(const TAttachedFiles& files)
{
    std::vector<PlannedFile> planned;
    for (const auto& list : files.ComponentFiles)
        for (const auto& file : list) planned.push_back({file.get()->TargetPath, file.get()->Entry});
    return planned;
}

// The worker from start to end; seconds, or a negative value when it did not end as it should.
inline double RunInstallThread(TAttachedFiles& files)
{
    QuestionService questions;
    questions.SetDialog([](const std::string& text, int, uint16_t) {
        std::fprintf(stderr, "bench: the install asked: %s\n", text.c_str());
        return int(mrAbort);
    });
    const auto start = Clock::now();
    InstallSession session{questions};
    session.Start(files);
    while (!session.Finished())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double seconds = Seconds(start);
    const auto& status = session.Status();
    return status.State.load() == Stopped && status.Position.load() == files.PlannedBytes() ? seconds : -1;
}

}  // namespace bench
