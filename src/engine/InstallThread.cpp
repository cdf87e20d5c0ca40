#include "engine/InstallThread.h"

#include "engine/ResConst.h"
#include "instutils/InstallLog.h"
#include "instutils/Paths.h"
#include "platform/Platform.h"

TInstallThreadStatus InstallStatus;

namespace {

constexpr unsigned kWaitStepMs = 5;

// Main thread only: the close question is open, or the close handler holds the worker.
bool closeQuestionOpen = false;
bool heldForClose = false;

std::atomic<InstallWakeFn> installWake{nullptr};

void WakeWizard()
{
    if (const InstallWakeFn wake = installWake.load()) wake();
}

MessageDialogFn installedDialog;   // set before any thread asks

// Message box styles and answers (winuser.h), for the fallback dialog.
enum : unsigned {
    kMbOk = 0, kMbOkCancel = 1, kMbAbortRetryIgnore = 2, kMbYesNoCancel = 3, kMbYesNo = 4, kMbRetryCancel = 5,
    kMbIconHand = 0x10, kMbIconQuestion = 0x20, kMbIconExclamation = 0x30, kMbIconAsterisk = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7 };

const int kButtonResults[8] = {mrYes, mrNo, mrOk, mrCancel, mrAbort, mrRetry, mrIgnore, mrAll};

// The button sets a message box has.
struct NativeButtons { uint16_t buttons; unsigned style; };
const NativeButtons kNativeButtons[] = {
    {mbOK, kMbOk}, {mbOK | mbCancel, kMbOkCancel}, {mbAbort | mbRetry | mbIgnore, kMbAbortRetryIgnore},
    {mbYes | mbNo | mbCancel, kMbYesNoCancel}, {mbYes | mbNo, kMbYesNo}, {mbRetry | mbCancel, kMbRetryCancel},
};

// A message box when the wizard has not installed its own dialog. Button sets a box has map
// one to one; any other set is laid on OK, Yes/No or Yes/No/Cancel and read back by position.
int MessageBoxDialog(const std::string& text, int type, uint16_t buttons)
{
    static const char* const captions[4] = {"Avertissement", "Erreur", "Information", "Confirmation"};
    static const unsigned icons[4] = {kMbIconExclamation, kMbIconHand, kMbIconAsterisk, kMbIconQuestion};
    const int kind = (type >= 0 && type < 4) ? type : 0;

    for (const NativeButtons& n : kNativeButtons) {
        if (n.buttons != buttons) continue;
        const int id = Sys().ShowMessageBox(text, captions[kind], n.style | icons[kind]);
        return (id >= kIdOk && id <= kIdNo) ? id : mrCancel;
    }

    int shown[3];
    int count = 0;
    for (int bit = 0; bit < 8 && count < 3; ++bit)
        if (buttons & (1u << bit)) shown[count++] = kButtonResults[bit];
    if (count == 0) shown[count++] = mrOk;
    const unsigned style = count == 1 ? kMbOk : count == 2 ? kMbYesNo : kMbYesNoCancel;
    switch (Sys().ShowMessageBox(text, captions[kind], style | icons[kind])) {
    case kIdOk:
    case kIdYes: return shown[0];
    case kIdNo: return shown[1];
    case kIdCancel: return count == 3 ? shown[2] : mrCancel;
    default: return mrCancel;
    }
}

void WaitWhilePaused()
{
    while (InstallStatus.State.load() == Paused) Sys().SleepMs(kWaitStepMs);
}

// The worker's side of a question: hand it to the wizard's timer and wait for the answer.
int AskFromWorker(const std::string& text, int type, uint16_t buttons)
{
    auto& status = InstallStatus;
    for (;;) {
        uint8_t state = status.State.load();
        if (state == Paused) {
            Sys().SleepMs(kWaitStepMs);
            continue;
        }
        // Stopping or stopped: nobody will answer any more.
        if (state != Running) return mrAbort;
        status.Message = text;
        status.DialogType = static_cast<uint8_t>(type);
        status.DialogButtons = buttons;
        if (status.State.compare_exchange_strong(state, Asking)) break;
    }
    for (;;) {
        const uint8_t state = status.State.load();
        if (state == Answered) break;
        if (state != Asking && state != Paused) return mrAbort;
        Sys().SleepMs(kWaitStepMs);
    }
    const int result = status.DialogResult.load();
    uint8_t answered = Answered;
    status.State.compare_exchange_strong(answered, Running);
    return result;
}

// False once the installation is to stop; waits while the wizard holds the worker.
bool MayGoOn()
{
    WaitWhilePaused();
    return InstallStatus.State.load() != Stopped;
}

void MarkStopped()
{
    auto& state = InstallStatus.State;
    for (;;) {
        uint8_t current = state.load();
        if (current == Paused) {
            Sys().SleepMs(kWaitStepMs);
            continue;
        }
        if (state.compare_exchange_strong(current, Stopped)) return;
    }
}

// False when the user chose to abort.
bool ExtractComponent(TAttachedFiles& files, int component)
{
    const auto& list = files.ComponentFiles[size_t(component)];
    const size_t count = list.size();
    for (size_t i = 0; i < count; ++i) {
        if (!MayGoOn()) return true;
        const TFileToInstall& file = *list[i];
        LogSuspension quiet(!file.Logged);
        InstallStatus.CurrentComponent.store(uint8_t(component));
        if (!files.ExtractFile(file.Entry, std::string(), file.TargetPath)) return false;
        InstallStatus.Position.fetch_add(file.Entry->Size);
    }
    return true;
}

void AnswerWorker()
{
    auto& status = InstallStatus;
    uint8_t asking = Asking;
    if (!status.State.compare_exchange_strong(asking, Paused)) return;
    int result = mrAbort;
    try {
        result = MessageDialog(status.Message, status.DialogType, status.DialogButtons);
    } catch (...) {
        // A dialog that cannot be shown gives the installation up rather than leave the worker waiting.
    }
    status.DialogResult.store(result);
    uint8_t paused = Paused;
    status.State.compare_exchange_strong(paused, Answered);
}

}  // namespace

void SetMessageDialog(MessageDialogFn dialog) { installedDialog = std::move(dialog); }

int MessageDialog(const std::string& text, int type, uint16_t buttons)
{
    if (const MessageDialogFn& dialog = installedDialog) return dialog(text, type, buttons);
    return MessageBoxDialog(text, type, buttons);
}

int AskUser(const std::string& text, int type, uint16_t buttons)
{
    if (Sys().IsMainThread()) return MessageDialog(text, type, buttons);
    return AskFromWorker(text, type, buttons);
}

TInstallThread::TInstallThread(TAttachedFiles& files) : files_(files)
{
    thread_ = Sys().StartThread([this] { Execute(); });
}

TInstallThread::~TInstallThread() { WaitFor(); }

void TInstallThread::WaitFor()
{
    if (!thread_ || joined_) return;
    thread_->Join();
    joined_ = true;
}

bool TInstallThread::Finished() const { return !thread_ || joined_ || thread_->Finished(); }

void TInstallThread::Execute()
{
    struct WakeOnExit {
        ~WakeOnExit() { WakeWizard(); }
    } wakeOnExit;
    try {
        for (int component = 0; component < 8; ++component) {
            if (!ExtractComponent(files_, component)) {
                InstallStatus.State.store(Failed);
                return;
            }
            if (!MayGoOn()) break;
        }
        MarkStopped();
    } catch (...) {
        InstallStatus.State.store(Failed);
    }
}

void SetInstallWake(InstallWakeFn wake) { installWake.store(wake); }

void ResetInstallStatus()
{
    InstallStatus.Position.store(0);
    InstallStatus.CurrentComponent.store(255);
    InstallStatus.State.store(Running);
}

void PollInstallStatus(InstallPollView& view)
{
    if (closeQuestionOpen) return;
    auto& status = InstallStatus;
    switch (status.State.load()) {
    case Running: {
        const uint8_t component = status.CurrentComponent.load();
        if (component >= 8) return;
        view.SetProgressPosition(status.Position.load());
        const std::string caption = EscapeCaption(ComponentNames[component]);
        if (view.ComponentLabel() != caption) view.SetComponentLabel(caption);
        return;
    }
    case Asking:
        AnswerWorker();
        return;
    case Stopped:
        status.State.store(Idle);
        view.InstallDone();
        return;
    case Failed:
        view.InstallFailed();
        return;
    default:
        return;
    }
}

bool HoldWorkerForClose()
{
    closeQuestionOpen = true;
    uint8_t running = Running;
    heldForClose = InstallStatus.State.compare_exchange_strong(running, Paused);
    return heldForClose;
}

void ReleaseWorkerAfterClose(bool closing)
{
    closeQuestionOpen = false;
    auto& status = InstallStatus;
    if (heldForClose) {
        heldForClose = false;
        uint8_t paused = Paused;
        if (status.State.compare_exchange_strong(paused, closing ? Stopped : Running)) return;
    }
    if (!closing) return;
    // A question the timer has not shown yet: answer it so that the worker ends.
    // The worker does not leave Asking on its own, so the answer cannot be overtaken.
    if (status.State.load() != Asking) return;
    status.DialogResult.store(mrAbort);
    status.State.store(Answered);
}
