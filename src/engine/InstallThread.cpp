#include "engine/InstallThread.h"

#include "engine/ResConst.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"

namespace {

constexpr unsigned kWaitStepMs = 5;

}  // namespace

std::string CannotCreateText(const std::string& target)
{
    return "Impossible de créer le fichier \"" + target +
           "\".\rCe fichier est peut-être actuellement utilisé par une autre application.";
}

bool ExtractAsking(TAttachedFiles& files, const TAttachedFile* entry, const std::string& name,
                   const std::string& target, AskFn ask)
{
    for (;;) {
        if (files.ExtractFile(entry, name, target)) return true;
        // Only "Abandonner" gives up and only "Ignorer" skips: the close box asks again.
        const int answer = ask(CannotCreateText(target), mtError, mbAbort | mbRetry | mbIgnore);
        if (answer == mrIgnore) return true;
        if (answer == mrAbort) return false;
    }
}

// --- The worker's side

class InstallSession::Worker {
public:
    Worker(TAttachedFiles& files, TInstallThreadStatus& status, InstallWakeFn wake)
        : files_(files), status_(status), wake_(std::move(wake))
    {
        thread_ = Sys().StartThread([this] { Execute(); });
    }
    ~Worker() { Join(); }
    void Join()
    {
        if (joined_) return;
        thread_->Join();
        joined_ = true;
    }
    bool Finished() const { return joined_ || thread_->Finished(); }

private:
    void Execute();
    bool ExtractComponent(int component);
    int Ask(const std::string& text, int type, uint16_t buttons);
    bool MayGoOn();
    void MarkStopped();
    void WaitWhilePaused()
    {
        while (status_.State.load() == Paused) Sys().SleepMs(kWaitStepMs);
    }

    TAttachedFiles& files_;
    TInstallThreadStatus& status_;
    const InstallWakeFn wake_;
    std::unique_ptr<Thread> thread_;
    bool joined_ = false;
};

void InstallSession::Worker::Execute()
{
    struct WakeOnExit {
        const InstallWakeFn& wake;
        ~WakeOnExit() { if (wake) wake(); }
    } wakeOnExit{wake_};
    try {
        for (int component = 0; component < 8; ++component) {
            if (!ExtractComponent(component)) {
                status_.State.store(Failed);
                return;
            }
            if (!MayGoOn()) break;
        }
        MarkStopped();
    } catch (...) {
        status_.ErrorEscaped.store(true);
        status_.State.store(Failed);
    }
}

// False when the answer to a question gave the installation up.
bool InstallSession::Worker::ExtractComponent(int component)
{
    const auto& list = files_.ComponentFiles[size_t(component)];
    for (const auto& planned : list) {
        if (!MayGoOn()) return true;
        const TFileToInstall& file = *planned;
        LogSuspension quiet(files_.Log, !file.Logged);
        status_.CurrentComponent.store(uint8_t(component));
        auto ask = [this](const std::string& text, int type, uint16_t buttons) { return Ask(text, type, buttons); };
        if (!ExtractAsking(files_, file.Entry, std::string(), file.TargetPath, ask)) return false;
        status_.Position.fetch_add(file.Entry->Size);
    }
    return true;
}

// Hands the question to the main thread's poll and waits for the answer.
int InstallSession::Worker::Ask(const std::string& text, int type, uint16_t buttons)
{
    for (;;) {
        uint8_t state = status_.State.load();
        if (state == Paused) {
            Sys().SleepMs(kWaitStepMs);
            continue;
        }
        // Stopping or stopped: nobody will answer any more.
        if (state != Running) return mrAbort;
        status_.Message = text;
        status_.DialogType = static_cast<uint8_t>(type);
        status_.DialogButtons = buttons;
        if (status_.State.compare_exchange_strong(state, Asking)) break;
    }
    for (;;) {
        const uint8_t state = status_.State.load();
        if (state == Answered) break;
        if (state != Asking && state != Paused) return mrAbort;
        Sys().SleepMs(kWaitStepMs);
    }
    const int result = status_.DialogResult.load();
    uint8_t answered = Answered;
    status_.State.compare_exchange_strong(answered, Running);
    return result;
}

// False once the installation is to stop; waits while the main thread holds the worker.
bool InstallSession::Worker::MayGoOn()
{
    WaitWhilePaused();
    return status_.State.load() != Stopped;
}

void InstallSession::Worker::MarkStopped()
{
    for (;;) {
        uint8_t current = status_.State.load();
        if (current == Paused) {
            Sys().SleepMs(kWaitStepMs);
            continue;
        }
        if (status_.State.compare_exchange_strong(current, Stopped)) return;
    }
}

// --- The main thread's side

InstallSession::InstallSession(const QuestionService& questions) : questions_(questions) {}

InstallSession::~InstallSession()
{
    try {
        StopAndWait();
    } catch (...) {
        // Whatever failed, the worker is told to stop, so that its end (joined as the worker
        // goes) does not outlive the status it writes.
        status_.State.store(Stopped);
    }
}

void InstallSession::Start(TAttachedFiles& files)
{
    StopAndWait();
    status_.Position.store(0);
    status_.CurrentComponent.store(255);
    status_.ErrorEscaped.store(false);
    status_.State.store(Running);
    worker_ = std::make_unique<Worker>(files, status_, wake_);
}

bool InstallSession::Finished() const { return !worker_ || worker_->Finished(); }

InstallTick InstallSession::Poll()
{
    InstallTick tick;
    if (closeQuestionOpen_) return tick;
    switch (status_.State.load()) {
    case Running: {
        const uint8_t component = status_.CurrentComponent.load();
        if (component >= 8) return tick;
        tick.kind = InstallTick::Copying;
        tick.position = status_.Position.load();
        tick.caption = EscapeCaption(ComponentNames[component]);
        return tick;
    }
    case Asking:
        AnswerWorker();
        return tick;
    case Stopped:
        status_.State.store(Idle);
        tick.kind = InstallTick::Done;
        return tick;
    case Failed:
        tick.kind = InstallTick::Failed;
        return tick;
    default:
        return tick;
    }
}

void InstallSession::AnswerWorker()
{
    uint8_t asking = Asking;
    if (!status_.State.compare_exchange_strong(asking, Paused)) return;
    auto answer = [this](int result) {
        status_.DialogResult.store(result);
        uint8_t paused = Paused;
        status_.State.compare_exchange_strong(paused, Answered);
    };
    try {
        answer(questions_.Ask(status_.Message, status_.DialogType, status_.DialogButtons));
    } catch (...) {
        // The error goes on to the main thread's boundary; the worker gives up rather than wait.
        answer(mrAbort);
        throw;
    }
}

bool InstallSession::HoldForClose()
{
    closeQuestionOpen_ = true;
    uint8_t running = Running;
    heldForClose_ = status_.State.compare_exchange_strong(running, Paused);
    return heldForClose_;
}

void InstallSession::ReleaseAfterClose(bool closing)
{
    closeQuestionOpen_ = false;
    if (heldForClose_) {
        heldForClose_ = false;
        uint8_t paused = Paused;
        if (status_.State.compare_exchange_strong(paused, closing ? Stopped : Running)) return;
    }
    if (!closing) return;
    // A question not shown yet: answer it so that the worker ends. The worker does not leave
    // Asking on its own, so the answer cannot be overtaken.
    if (status_.State.load() != Asking) return;
    status_.DialogResult.store(mrAbort);
    status_.State.store(Answered);
}

void InstallSession::StopAndWait()
{
    if (!worker_) return;
    // A dialog of ours may be open underneath (the end of the Windows session): whatever the
    // worker waits for, it is told to stop.
    while (!worker_->Finished()) {
        uint8_t state = status_.State.load();
        if (state == Asking) {
            status_.DialogResult.store(mrAbort);
            status_.State.compare_exchange_strong(state, Answered);
        } else if (state == Running || state == Paused) {
            status_.State.compare_exchange_strong(state, Stopped);
        }
        Sys().SleepMs(kWaitStepMs);
    }
    worker_->Join();
}
