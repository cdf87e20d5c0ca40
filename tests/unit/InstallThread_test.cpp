#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "ArchiveBuilder.h"
#include "engine/InstallPlan.h"
#include "engine/InstallThread.h"
#include "engine/ResConst.h"
#include "instutils/InstallLog.h"
#include "support/FakeMachineTest.h"
#include "support/ScriptedDialog.h"

namespace {

using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

const std::string kDest = "C:\\Program Files\\Velmorra";
const std::string kPublic = "C:\\Documents and Settings\\All Users\\Application Data\\Velmorra\\Public\\";

// A fake machine that records every write and can hold the worker inside one.
class RecordingMachine : public FakeMachine {
public:
    bool CreateNewFile(const std::string& path, const void* data, size_t size, FileShare share,
                       uint32_t dosDateTime, Durability durability) override
    {
        Record(path);
        return FakeMachine::CreateNewFile(path, data, size, share, dosDateTime, durability);
    }
    bool CreateNewFileIn(HeldFolder& parent, const std::string& name, const void* data, size_t size,
                         FileShare share, uint32_t dosDateTime, Durability durability) override
    {
        Record(PathOf(parent) + "\\" + name);
        return FakeMachine::CreateNewFileIn(parent, name, data, size, share, dosDateTime, durability);
    }
    void Record(const std::string& path)
    {
        std::unique_lock lock(mutex_);
        if (path == outOfMemoryPath_) throw std::bad_alloc();
        writes_.push_back(path);
        if (path == gatePath_) {
            atGate_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return gateOpen_; });
        }
    }
    void SleepMs(unsigned ms) override
    {
        if (throwOffMainThread_ && !FakeMachine::IsMainThread()) throw std::runtime_error("no wait on the worker");
        FakeMachine::SleepMs(ms);
    }

    void HoldWritesTo(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        gatePath_ = path;
        gateOpen_ = false;
    }
    bool WaitAtGate()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return atGate_; });
    }
    void OpenGate()
    {
        std::lock_guard lock(mutex_);
        gateOpen_ = true;
        changed_.notify_all();
    }
    Lines Writes()
    {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    void ThrowOffMainThread() { throwOffMainThread_ = true; }
    void RunOutOfMemoryWriting(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        outOfMemoryPath_ = path;
    }
    void ForgetWrites()
    {
        std::lock_guard lock(mutex_);
        writes_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    Lines writes_;
    std::string gatePath_;
    bool atGate_ = false, gateOpen_ = true;
    std::string outOfMemoryPath_;
    std::atomic<bool> throwOffMainThread_{false};
};

// What the wizard's timer makes of the ticks.
struct FakeView {
    void Take(const InstallTick& tick)
    {
        if (tick.kind == InstallTick::Copying) {
            position = tick.position;
            label = tick.caption;
            captions.push_back(tick.caption);
        }
        done += tick.kind == InstallTick::Done;
        failed += tick.kind == InstallTick::Failed;
    }

    int32_t position = -1;
    std::string label;
    Lines captions;
    int done = 0, failed = 0;
};

template <class Condition>
bool WaitUntil(Condition condition)
{
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class InstallThreadTest : public ::testing::Test {
protected:
    InstallThreadTest()
    {
        machine.StandardSetup();
    }
    ~InstallThreadTest() override
    {
        // Never leave a worker behind on a failed expectation.
        machine.OpenGate();
        session.StopAndWait();
    }

    void Start(uint8_t components = 0xFF)
    {
        PlanChoices choices;
        choices.MainDir = kDest;
        choices.ChosenComps = components;
        BuildInstallPlan(*files, choices);
        machine.ForgetWrites();   // the plan's own settings file and stamp
        session.Start(*files);
    }
    // The wizard's timer, ticking until the condition holds.
    bool RunWizardUntil(const std::function<bool()>& condition)
    {
        return WaitUntil([&] {
            view.Take(session.Poll());
            return condition();
        });
    }
    Lines PlannedTargets() const
    {
        Lines targets;
        for (const auto& list : files->ComponentFiles)
            for (const auto& file : list) targets.push_back(file->TargetPath);
        return targets;
    }

    RecordingMachine machine;
    UseFakeMachine use{machine};
    InstallLog log;
    std::unique_ptr<TAttachedFiles> files = ProductArchive().Open(&log);
    QuestionService service;
    InstallSession session{service};
    TInstallThreadStatus& status = session.Status();
    FakeView view;
    ScriptedDialog dialog{service, mrAbort};
    Lines& questions = dialog.texts;
    int& answer = dialog.fallback;
    std::function<void()>& onQuestion = dialog.onDialog;
};

using InstallThreadRun = InstallThreadTest;
using InstallThreadQuestion = InstallThreadTest;
using InstallThreadClose = InstallThreadTest;

}  // namespace

TEST_F(InstallThreadRun, ExtractsEveryListInOrderAndEndsAtThePlannedBytes)
{
    // Held in the English spelling files, the page shows that component and what came before.
    machine.HoldWritesTo(kPublic + "Orthographe\\English (American).asc");
    Start();
    ASSERT_TRUE(machine.WaitAtGate());
    ASSERT_TRUE(RunWizardUntil([&] { return view.label == ComponentNames[3]; }));
    int32_t before = 0;
    for (int component = 0; component < 3; ++component)
        for (const auto& file : files->ComponentFiles[size_t(component)]) before += file->Entry->Size;
    EXPECT_EQ(view.position, before);
    machine.OpenGate();
    ASSERT_TRUE(RunWizardUntil([&] { return view.done == 1; }));

    EXPECT_EQ(machine.Writes(), PlannedTargets());
    EXPECT_EQ(status.Position.load(), files->PlannedBytes());
    EXPECT_EQ(status.State.load(), Idle);
    EXPECT_EQ(status.CurrentComponent.load(), 7);
    EXPECT_EQ(machine.FileBytes(kPublic + "Basic.asn"), "Basic.asn contents");
    // Whatever the ticks caught, captions only move forward through the components.
    size_t next = 0;
    for (const std::string& caption : view.captions) {
        while (next < 8 && caption != ComponentNames[next]) ++next;
        EXPECT_LT(next, 8u) << caption;
    }
    EXPECT_EQ(view.failed, 0);
}

TEST_F(InstallThreadRun, LogsTheFoldersAndTheLoggedFilesOfAWholeRun)
{
    Start();
    ASSERT_TRUE(RunWizardUntil([&] { return view.done == 1; }));
    const std::string shared = "C:\\Documents and Settings\\All Users\\Application Data\\Velmorra\\";
    EXPECT_EQ(log.Lines(), (Lines{
                               "Made Dir: " + shared + "Hidden\\",
                               "Made Dir: " + kDest + "\\",
                               "File Copy: " + kDest + "\\vlm.exe",
                               "File Copy: " + kDest + "\\Licence.txt",
                               "File Copy: " + kDest + "\\Velmorra.chm",
                               "File Copy: " + kDest + "\\Coupe de mots.dat",
                               "File Copy: " + kPublic + "Basic.asn",
                           }));
    EXPECT_FALSE(log.Suspended());
}

TEST_F(InstallThreadRun, EmptyListsLeaveTheLastComponentShown)
{
    Start(0);
    ASSERT_TRUE(RunWizardUntil([&] { return view.done == 1; }));
    EXPECT_EQ(status.CurrentComponent.load(), 0);
    EXPECT_EQ(machine.Writes(), (Lines{kDest + "\\vlm.exe", kDest + "\\Licence.txt"}));
}

// Memory running out while writing, or an error while waiting for an answer: the installation
// fails, by error, and no question is asked about a file in use.
TEST_F(InstallThreadRun, AnEscapedErrorFailsTheInstallation)
{
    machine.RunOutOfMemoryWriting(kDest + "\\vlm.exe");
    Start(0);
    ASSERT_TRUE(RunWizardUntil([&] { return session.Finished(); }));
    EXPECT_TRUE(session.FailedByError());
    EXPECT_TRUE(questions.empty());

    machine.RunOutOfMemoryWriting("");
    machine.HoldFile(kDest + "\\vlm.exe");
    machine.ThrowOffMainThread();
    Start(0);
    ASSERT_TRUE(RunWizardUntil([&] { return session.Finished(); }));
    EXPECT_EQ(status.State.load(), Failed);
    EXPECT_FALSE(log.Suspended());
}

// The wizard is woken once per run, when a tick would already see the end.
std::atomic<int> wakes{0};
TInstallThreadStatus* wakeStatus = nullptr;
std::atomic<uint8_t> stateAtWake{Idle};

TEST_F(InstallThreadRun, TheWorkerWakesTheWizardOnceItsEndIsVisible)
{
    wakeStatus = &status;
    session.SetWake([] {
        ++wakes;
        stateAtWake = wakeStatus->State.load();
    });
    for (bool fail : {false, true}) {
        SCOPED_TRACE(fail ? "failed" : "finished");
        wakes = 0;
        if (fail) {
            machine.HoldFile(kDest + "\\vlm.exe");
        }
        Start(0);
        // Answers the failure's question, and no more: a poll of the end would take it first.
        ASSERT_TRUE(WaitUntil([&] {
            if (status.State.load() == Asking) session.Poll();
            return session.Finished();
        }));
        EXPECT_EQ(wakes.load(), 1);
        EXPECT_EQ(stateAtWake.load(), fail ? Failed : Stopped);
    }
    session.SetWake(nullptr);
}

TEST_F(InstallThreadQuestion, RetryAfterTheFileIsFreedGoesOn)
{
    const std::string licence = kDest + "\\Licence.txt";
    machine.HoldFile(licence);
    answer = mrRetry;
    onQuestion = [&] { machine.ReleaseFile(licence); };
    Start(0);
    ASSERT_TRUE(RunWizardUntil([&] { return view.done == 1; }));

    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Impossible de créer le fichier \"" + licence +
                                "\".\rCe fichier est peut-être actuellement utilisé par une autre application.");
    EXPECT_EQ(machine.FileBytes(licence), "Licence.txt contents");
    EXPECT_EQ(std::count(log.Lines().begin(), log.Lines().end(), "File Copy: " + licence), 1);
}

TEST_F(InstallThreadQuestion, IgnoreSkipsTheFileButCountsIt)
{
    machine.HoldFile(kDest + "\\vlm.exe");
    answer = mrIgnore;
    Start(0);
    ASSERT_TRUE(RunWizardUntil([&] { return view.done == 1; }));
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(machine.FileBytes(kDest + "\\vlm.exe"), "held");
    EXPECT_EQ(status.Position.load(), files->PlannedBytes());
    EXPECT_TRUE(machine.IsFile(kDest + "\\Licence.txt"));
}

// "Abandonner", or a dialog that fails (its error goes on to the main thread's boundary): the
// worker gives up, not by error, and extracts nothing more.
TEST_F(InstallThreadQuestion, AbortOrAFailingDialogGivesUpAndExtractsNothingMore)
{
    machine.HoldFile(kDest + "\\vlm.exe");
    for (const bool dialogFails : {false, true}) {
        if (dialogFails) onQuestion = [] { throw std::runtime_error("no dialog"); };
        Start(0);
        ASSERT_TRUE(WaitUntil([&] { return status.State == Asking; }));
        if (dialogFails) {
            EXPECT_THROW(session.Poll(), std::runtime_error);
        }
        ASSERT_TRUE(RunWizardUntil([&] { return session.Finished(); }));
        EXPECT_EQ(status.State.load(), Failed);
        EXPECT_FALSE(session.FailedByError());
        EXPECT_FALSE(machine.Exists(kDest + "\\Licence.txt"));
        EXPECT_EQ(status.Position.load(), 0);
        EXPECT_FALSE(log.Suspended());
    }
}

TEST_F(InstallThreadClose, TheWorkerWaitsWhileTheCloseQuestionIsOpenThenGoesOn)
{
    machine.HoldWritesTo(kDest + "\\vlm.exe");
    Start(0);
    ASSERT_TRUE(machine.WaitAtGate());
    EXPECT_TRUE(session.HoldForClose());
    machine.OpenGate();
    // The worker finishes the file under way, then waits at its own check.
    const unsigned sleeps = machine.SleepCalls();
    ASSERT_TRUE(WaitUntil([&] { return machine.SleepCalls() > sleeps + 3; }));
    EXPECT_EQ(machine.Writes(), Lines{kDest + "\\vlm.exe"});
    view.Take(session.Poll());
    EXPECT_EQ(view.position, -1);   // the timer leaves the page alone meanwhile

    session.ReleaseAfterClose(false);
    ASSERT_TRUE(RunWizardUntil([&] { return view.done == 1; }));
    EXPECT_EQ(machine.Writes(), (Lines{kDest + "\\vlm.exe", kDest + "\\Licence.txt"}));
}

TEST_F(InstallThreadClose, ConfirmedCloseStopsAfterTheCurrentFile)
{
    machine.HoldWritesTo(kDest + "\\vlm.exe");
    Start();
    ASSERT_TRUE(machine.WaitAtGate());
    EXPECT_TRUE(session.HoldForClose());
    machine.OpenGate();
    session.ReleaseAfterClose(true);
    ASSERT_TRUE(WaitUntil([&] { return session.Finished(); }));
    EXPECT_EQ(status.State.load(), Stopped);
    EXPECT_EQ(machine.Writes(), Lines{kDest + "\\vlm.exe"});
    EXPECT_TRUE(machine.IsFile(kDest + "\\vlm.exe"));
}

TEST_F(InstallThreadClose, ClosingWhileAQuestionWaitsEndsTheWorker)
{
    machine.HoldFile(kDest + "\\vlm.exe");
    Start(0);
    ASSERT_TRUE(WaitUntil([&] { return status.State == Asking; }));
    EXPECT_FALSE(session.HoldForClose());
    session.ReleaseAfterClose(true);
    ASSERT_TRUE(WaitUntil([&] { return session.Finished(); }));
    EXPECT_EQ(status.State.load(), Failed);
    EXPECT_TRUE(questions.empty());
    EXPECT_FALSE(machine.Exists(kDest + "\\Licence.txt"));
}

TEST_F(InstallThreadClose, GoingOnAfterTheCloseQuestionStillAsksThePendingQuestion)
{
    machine.HoldFile(kDest + "\\vlm.exe");
    answer = mrIgnore;
    Start(0);
    ASSERT_TRUE(WaitUntil([&] { return status.State == Asking; }));
    session.HoldForClose();
    view.Take(session.Poll());
    EXPECT_TRUE(questions.empty());   // not on top of the close question
    session.ReleaseAfterClose(false);
    ASSERT_TRUE(RunWizardUntil([&] { return view.done == 1; }));
    EXPECT_EQ(questions.size(), 1u);
}

// The timer on its own, with the status set by hand.
TEST(InstallPoll, TellsNothingBeforeTheFirstFileThenTheComponentAndDoneOnce)
{
    const QuestionService questions;
    InstallSession session{questions};
    TInstallThreadStatus& status = session.Status();
    status.State = Running;   // started, no file yet
    EXPECT_EQ(session.Poll().kind, InstallTick::Nothing);

    status.CurrentComponent = 1;
    status.Position = 1234;
    const InstallTick copying = session.Poll();
    EXPECT_EQ(copying.kind, InstallTick::Copying);
    EXPECT_EQ(copying.position, 1234);
    EXPECT_EQ(copying.caption, "Aide d'Velmorra");

    status.State = Stopped;
    EXPECT_EQ(session.Poll().kind, InstallTick::Done);
    EXPECT_EQ(status.State.load(), Idle);
    EXPECT_EQ(session.Poll().kind, InstallTick::Nothing);
}

// Only Abort gives up and only Ignore skips: the close box (Cancel) asks again, as Retry does.
using Questions = StandardMachineTest;

TEST_F(Questions, OnlyAbortGivesUpAndWithNoDialogTheCopyIsGivenUp)
{
    const QuestionService nobody;
    EXPECT_EQ(nobody.Ask("Interrompre ?", mtConfirmation, mbNo | mbAbort), mrAbort);
    EXPECT_EQ(nobody.Ask("Information", mtInformation, mbOK), mrCancel);
    auto files = ProductArchive().Open();
    for (const int last : {int(mrAbort), int(mrIgnore)}) {
        const int script[] = {mrCancel, mrRetry, mrCancel, last};
        int asked = 0;
        auto ask = [&](const std::string&, int, uint16_t) { return script[asked++]; };
        EXPECT_EQ(ExtractAsking(*files, nullptr, "absent.txt", "C:\\Dest\\absent.txt", ask), last == mrIgnore);
        EXPECT_EQ(asked, 4);
    }
    auto none = [&](const std::string& text, int type, uint16_t buttons) { return nobody.Ask(text, type, buttons); };
    EXPECT_FALSE(ExtractAsking(*files, nullptr, "absent.txt", "C:\\Dest\\absent.txt", none));
    EXPECT_TRUE(machine.MessageBoxes().empty());
}
