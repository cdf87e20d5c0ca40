// The install worker, the status record it shares with the wizard, and questions to the user.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "engine/AttachFiles.h"

class Thread;

enum TInstallState : uint8_t { Idle = 0, Running, Paused, Stopped, Failed, Asking, Answered };

// Message dialog kinds, buttons (bit i = button i) and results.
enum TMsgDlgType : uint8_t { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3 };
enum : uint16_t {
    mbYes = 1 << 0, mbNo = 1 << 1, mbOK = 1 << 2, mbCancel = 1 << 3,
    mbAbort = 1 << 4, mbRetry = 1 << 5, mbIgnore = 1 << 6, mbAll = 1 << 7,
};
enum : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7, mrAll = 8 };

// Shared by the wizard's thread and the worker. The question's plain fields are written
// before State becomes Asking and read after it is seen, so State orders them.
struct TInstallThreadStatus {
    std::atomic<uint8_t> State{Idle};
    std::atomic<uint8_t> CurrentComponent{255};
    std::atomic<int32_t> Position{0};
    std::string Message;
    uint8_t DialogType = 0;
    uint16_t DialogButtons = 0;
    std::atomic<int32_t> DialogResult{0};
};
extern TInstallThreadStatus InstallStatus;

// The one message dialog of the program; the wizard installs the real one.
using MessageDialogFn = std::function<int(const std::string& text, int type, uint16_t buttons)>;
void SetMessageDialog(MessageDialogFn dialog);
int MessageDialog(const std::string& text, int type, uint16_t buttons);

// Asks the user from either thread; the worker's question is shown on the wizard's thread.
int AskUser(const std::string& text, int type, uint16_t buttons);

class TInstallThread {
public:
    explicit TInstallThread(TAttachedFiles& files);   // starts running at once
    ~TInstallThread();                                // waits for the end
    void WaitFor();
    bool Finished() const;
private:
    void Execute();
    TAttachedFiles& files_;
    std::unique_ptr<Thread> thread_;
    bool joined_ = false;
};

// What the timer-1 poll needs of the wizard.
class InstallPollView {
public:
    virtual ~InstallPollView() = default;
    virtual void SetProgressPosition(int32_t position) = 0;
    virtual std::string ComponentLabel() = 0;
    virtual void SetComponentLabel(const std::string& caption) = 0;
    virtual void InstallDone() = 0;      // GoToPage(5, 6)
    virtual void InstallFailed() = 0;    // CloseAllowed, close as cancelled
};
// One tick of timer 1.
void PollInstallStatus(InstallPollView& view);

// The worker calls wake on its own thread once it has finished or failed, so that the wizard
// need not wait for timer 1's next tick; null for none. Set on the wizard's thread.
using InstallWakeFn = void (*)();
void SetInstallWake(InstallWakeFn wake);

// Before the thread starts: nothing done yet, no component, Running.
void ResetInstallStatus();

// The close handler's side. Hold before the cancel question (true when a running worker was
// held); release after it: closing stops the worker after its file (a pending question is
// answered Abort), otherwise the worker goes on. Timer 1 does nothing between the two.
bool HoldWorkerForClose();
void ReleaseWorkerAfterClose(bool closing);
