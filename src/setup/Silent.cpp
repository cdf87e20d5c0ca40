#include "setup/Silent.h"

#include <algorithm>
#include <exception>
#include <new>

#include "engine/AttachFiles.h"
#include "engine/InstallPlan.h"
#include "engine/InstallThread.h"
#include "engine/ResConst.h"
#include "instutils/DiskSpace.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"
#include "setup/ExitCodes.h"
#include "install/Destination.h"
#include "install/DiskNeed.h"
#include "install/InstallTexts.h"
#include "install/Installation.h"
#include "install/Switches.h"

namespace {

// At least two digits, as the time stamp wants them.
std::string TwoDigits(int value)
{
    const std::string text = DecimalText(value);
    return text.size() < 2 ? "0" + text : text;
}

}  // namespace

std::string FullPathFromCurrent(const std::string& path)
{
    auto slash = [&](size_t i) { return i < path.size() && (path[i] == '\\' || path[i] == '/'); };
    const bool drive = path.size() >= 2 && path[1] == ':';
    if ((slash(0) && slash(1)) || (drive && slash(2)))
        return path;
    const std::string current = CurrentDirectory();
    if (slash(0))
        return DrivePart(current) + path;
    if (!drive)
        return current + path;
    // "D:name": on the current drive, from the current folder; elsewhere from that drive's root.
    return EqualNoCase(DrivePart(current), path.substr(0, 2)) ? current + path.substr(2)
                                                               : path.substr(0, 2) + "\\" + path.substr(2);
}

RunLog::RunLog(const std::string& path)
{
    if (!path.empty())
        file_ = Sys().OpenLogFile(FullPathFromCurrent(path));
}

RunLog::~RunLog()
{
    if (file_)
        file_->Flush();
}

void RunLog::Add(const std::string& text)
{
    if (!file_)
        return;
    const LocalTime t = Sys().Now();
    file_->Append(DecimalText(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " + TwoDigits(t.hour) +
                  ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second) + " " + text + "\r\n");
}

namespace {

// The road ends early with this code; the text goes to the run log.
struct EndRun {
    int code;
    std::string text;
};

// Every question's fixed answer. A file that cannot be written is retried for a while, then
// given up as "Abandonner" would; anything else is declined.
class SilentAnswers {
public:
    explicit SilentAnswers(RunLog& log) : log_(log) {}
    int Ask(const std::string& text, int type, uint16_t buttons);
    bool GaveUpOnFile() const { return gaveUp_; }

private:
    RunLog& log_;
    std::string last_;
    unsigned waitedMs_ = 0;
    bool gaveUp_ = false;
};

int SilentAnswers::Ask(const std::string& text, int, uint16_t buttons)
{
    if (buttons & mbRetry) {
        if (text != last_) {
            last_ = text;
            waitedMs_ = 0;
            log_.Add("Erreur : " + text + " Nouvel essai pendant 30 secondes.");
        }
        if (waitedMs_ < kHeldFileRetryMs) {
            Sys().SleepMs(kHeldFileRetryStepMs);
            waitedMs_ += kHeldFileRetryStepMs;
            return mrRetry;
        }
        gaveUp_ = true;
        log_.Add("Abandon : " + text);
        return mrAbort;
    }
    log_.Add("Message : " + text);
    return (buttons & mbAbort) ? mrAbort : (buttons & mbNo) ? mrNo : mrCancel;
}

// The choices the wizard's pages would hold, with the switches applied.
struct SilentChoices {
    SavedSettings settings;
    uint8_t chosen = 1;
    AssocBoxes boxes{};
    bool portable = false;
};

SilentChoices DecideChoices(const Switches& switches)
{
    SilentChoices c;
    c.settings = ReadSettings({});
    SavedSettings& s = c.settings;
    if (switches.Destination)
        s.MainDir = *switches.Destination;
    NormaliseDestination(s.MainDir, 'C');
    const DestCheck check = ValidateDestination(s.MainDir, *AttachedFiles);
    if (check.problem != DestProblem::None)
        throw EndRun{kExitBadParameter, DestinationProblemText(check)};
    c.chosen = switches.Components ? *switches.Components : uint8_t((s.SavedComps & 0xFE) | 1);
    c.boxes = switches.Associations ? *switches.Associations : BoxesFromExtensions(s.Extensions);
    if (switches.CurrentUser)
        s.InstallToAll = false;
    s.Launch = switches.Launch;
    c.portable = IsRemovableDrive(s.MainDir);
    return c;
}

// The checks the wizard makes before its installing page.
void CheckBeforeCopy(const SilentChoices& c)
{
    if (!c.portable && SharedDataRoot().empty())
        throw EndRun{kExitFailure, kNoDataFolderText};
    const DiskSpaceView space = DiskSpaceFor(ChosenBytes(*AttachedFiles, c.chosen, c.settings.MainDir), c.settings.MainDir);
    if (!space.Enough)
        throw EndRun{kExitDiskFull, "Espace disque insuffisant : " + space.Required + " requis, " + space.Available +
                                        " disponibles."};
}

// How the copy ended.
enum class CopyEnd { Done, GaveUp, DiskFull, Error };

// A write refused for want of room is asked as a held file is; the drive tells them apart.
bool DriveLacks(const std::string& mainDir, int64_t bytes)
{
    std::string root = DrivePart(mainDir);
    WithTrailingBackslash(root);
    uint64_t free = 0;
    return !root.empty() && Sys().FreeBytesForUser(root, free) && int64_t(free) < bytes;
}

// The worker over the plan, polled as the wizard's timer would.
CopyEnd CopyFiles(InstallSession& session, RunLog& log, const std::string& mainDir)
{
    std::string label;   // what the installing page would show, for the run log
    InstallTick tick;
    for (;;) {
        tick = session.Poll();
        if (tick.kind == InstallTick::Done || tick.kind == InstallTick::Failed)
            break;
        if (tick.kind == InstallTick::Copying && tick.caption != label) {
            label = tick.caption;
            log.Add("Copie : " + label);
        }
        Sys().SleepMs(20);
    }
    session.StopAndWait();
    if (tick.kind == InstallTick::Done)
        return CopyEnd::Done;
    if (session.FailedByError())
        return CopyEnd::Error;
    const int64_t left = int64_t(AttachedFiles->PlannedBytes()) - session.Status().Position.load();
    return DriveLacks(mainDir, left) ? CopyEnd::DiskFull : CopyEnd::GaveUp;
}

// Pages 7 and 8 and the end of the wizard, in their order. False when a shortcut could not be
// made where it belongs: the rest is done, but the run did not do all it was asked.
bool FinishInstallation(SilentChoices& c, Installation& install, RunLog& log)
{
    SavedSettings& s = c.settings;
    bool complete = true;
    if (!c.portable) {
        log.Add("Associations et raccourcis");
        s.Extensions = ExtensionsFromBoxes(c.boxes);
        complete = install.Associate(c.boxes, s.InstallToAll);
        install.WriteUpdate();
    }
    if (s.Launch && !LaunchProgram(s.MainDir, install.Record.Log))
        log.Add(kLaunchSkippedText);
    return complete;
}

void SaveAfterCopy(SilentChoices& c, RunLog& log, Installation& install)
{
    log.Add("Enregistrement des réglages et du journal d'installation");
    SavedSettings& s = c.settings;
    s.SavedComps = SavedComponentBits(s.SavedComps, c.chosen);
    s.InstalledKb = InstalledKb(*AttachedFiles, c.chosen, s.MainDir);
    install.Save(s);
}

int Install(const Switches& switches, RunLog& log, SilentAnswers& answers, const QuestionService& questions)
{
    // Before anything is read (reading the settings makes their key).
    if (IsAppRunning())
        throw EndRun{kExitAppRunning, kMsgAppRunning};
    SilentChoices c = DecideChoices(switches);
    log.Add("Dossier d'installation : " + c.settings.MainDir);
    CheckBeforeCopy(c);
    Installation install(questions);
    PlanChoices plan;
    plan.MainDir = c.settings.MainDir;
    plan.ChosenComps = c.chosen;
    plan.IsPortable = c.portable;
    plan.LastRunVer = c.settings.LastRunVer;
    CopyEnd end = CopyEnd::Error;
    bool complete = true;
    try {
        install.Start(*AttachedFiles, plan);
        log.Add("Copie des fichiers");
        end = CopyFiles(install.Worker, log, c.settings.MainDir);
        if (end == CopyEnd::Done)
            complete = FinishInstallation(c, install, log);
    } catch (...) {
        SaveAfterCopy(c, log, install);
        throw;
    }
    // As the wizard keeps what an abandoned installation did.
    SaveAfterCopy(c, log, install);
    switch (end) {
    case CopyEnd::Done:
        return complete ? kExitFinished : kExitFailure;
    case CopyEnd::DiskFull:
        log.Add("Disque plein.");
        return kExitDiskFull;
    case CopyEnd::GaveUp:
        return answers.GaveUpOnFile() ? kExitFileInUse : kExitFailure;
    default:
        return kExitFailure;
    }
}

}  // namespace

void LogUsage(const std::string& logFile, const std::string& usage, int exitCode)
{
    RunLog log(logFile);
    for (size_t start = 0, end = 0; start < usage.size(); start = end + 1) {
        end = std::min(usage.find('\r', start), usage.size());
        if (end > start) log.Add(usage.substr(start, end - start));
    }
    EndRunLog(log, {}, exitCode);
}

int RunSilentInstall(const Switches& switches, RunLog& log)
{
    log.Add("Installation silencieuse de Traitement de texte Velmorra " + std::string(kProductVersion));
    SilentAnswers answers(log);
    QuestionService questions;
    questions.SetDialog([&answers](const std::string& text, int type, uint16_t buttons) {
        return answers.Ask(text, type, buttons);
    });
    int code;
    try {
        code = Install(switches, log, answers, questions);
    } catch (const EndRun& end) {
        log.Add(end.text);
        code = end.code;
    } catch (const std::bad_alloc&) {
        log.Add("Mémoire insuffisante.");
        code = kExitOutOfMemory;
    } catch (const std::exception& error) {
        log.Add(std::string("Erreur : ") + error.what());
        code = kExitFailure;
    }
    return code;
}

void EndRunLog(RunLog& log, const std::vector<std::string>& staying, int exitCode)
{
    for (const std::string& item : staying)
        log.Add("Élément temporaire laissé en place : " + item);
    log.Add("Fin, code de sortie " + DecimalText(exitCode));
}
