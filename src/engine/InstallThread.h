// The install worker and the session that runs it: the status record shared with the
// wizard's thread, the hand-over of the worker's questions, and stopping and waiting.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "engine/AttachFiles.h"
#include "engine/Questions.h"
#include "platform/FunctionRef.h"

class Thread;

enum TInstallState : uint8_t { Idle = 0, Running, Paused, Stopped, Failed, Asking, Answered };

// Shared by the main thread and the worker. The question's plain fields are written before
// State becomes Asking and read after it is seen, so State orders them.
struct TInstallThreadStatus {
    std::atomic<uint8_t> State{Idle};
    std::atomic<uint8_t> CurrentComponent{255};
    std::atomic<int32_t> Position{0};
    std::string Message;
    uint8_t DialogType = 0;
    uint16_t DialogButtons = 0;
    std::atomic<int32_t> DialogResult{0};
    std::atomic<bool> ErrorEscaped{false};   // written before State becomes Failed
};

using AskFn = FunctionRef<int(const std::string& text, int type, uint16_t buttons)>;

// The question asked when a file cannot be written.
std::string CannotCreateText(const std::string& target);
// Writes one archive entry (see TAttachedFiles::ExtractFile), asking through ask after each
// failure: true once written or ignored, false on Abort; any other answer tries again.
bool ExtractAsking(TAttachedFiles& files, const TAttachedFile* entry, const std::string& name,
                   const std::string& target, AskFn ask);

// What one tick of the main thread's timer found.
struct InstallTick {
    enum Kind : uint8_t { Nothing, Copying, Done, Failed };
    Kind kind = Nothing;
    int32_t position = 0;    // bytes written, while Copying
    std::string caption;     // the component being copied, as a label shows it, while Copying
};

// Called by the worker on its own thread once it has finished or failed, so that the main
// thread need not wait for its next poll.
using InstallWakeFn = std::function<void()>;

// One run of the worker over the planned lists. Only the session writes the status; the main
// thread asks it (Poll, the close hold, StopAndWait). Questions the worker asks are shown by
// Poll on the main thread, through the question service it was given.
class InstallSession {
public:
    explicit InstallSession(const QuestionService& questions);
    ~InstallSession();   // stops and waits, as StopAndWait
    InstallSession(const InstallSession&) = delete;
    InstallSession& operator=(const InstallSession&) = delete;

    // Nothing done yet, no component, Running; then the worker starts, with the wake set last.
    void Start(TAttachedFiles& files);
    // On the main thread; the next start takes it (empty for none).
    void SetWake(InstallWakeFn wake) { wake_ = std::move(wake); }
    bool Started() const { return worker_ != nullptr; }
    bool Finished() const;   // never started, or ended
    // Failed because an error escaped the worker, not because an answer gave the copy up.
    bool FailedByError() const { return status_.State.load() == Failed && status_.ErrorEscaped.load(); }
    // One tick of the main thread's timer: a question of the worker's is shown here. Done
    // (every list written) is told once; Failed (given up, or an error escaped the worker)
    // at every tick until the session stops.
    InstallTick Poll();

    // The close question. Hold before it (true when a running worker was held); release after
    // it: closing stops the worker after its file (a pending question is answered Abort),
    // otherwise the worker goes on. Poll does nothing between the two.
    bool HoldForClose();
    void ReleaseAfterClose(bool closing);

    // Nobody will turn the page or answer any more: the worker stops after its file, a pending
    // question is answered Abort, and the call returns once the worker has ended.
    void StopAndWait();

    // Read by views and tests; tests may also set it to stand for a worker.
    TInstallThreadStatus& Status() { return status_; }
    const TInstallThreadStatus& Status() const { return status_; }

private:
    class Worker;
    void AnswerWorker();
    const QuestionService& questions_;
    TInstallThreadStatus status_;
    InstallWakeFn wake_;
    std::unique_ptr<Worker> worker_;
    bool closeQuestionOpen_ = false;
    bool heldForClose_ = false;
};
