// Questions to the user: kinds, buttons, answers, and the one place they are asked. Whoever runs
// the installation owns that place: the wizard puts its message dialog there, the unattended
// road a fixed policy.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Message dialog kinds, buttons (bit i = button i) and results.
enum TMsgDlgType : uint8_t { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3 };
enum : uint16_t {
    mbYes = 1 << 0, mbNo = 1 << 1, mbOK = 1 << 2, mbCancel = 1 << 3,
    mbAbort = 1 << 4, mbRetry = 1 << 5, mbIgnore = 1 << 6, mbAll = 1 << 7,
};
enum : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7, mrAll = 8 };

using MessageDialogFn = std::function<int(const std::string& text, int type, uint16_t buttons)>;

class QuestionService {
public:
    // Set on the main thread before any question; null for none.
    void SetDialog(MessageDialogFn dialog) { dialog_ = std::move(dialog); }
    // Asks on the main thread. With nothing set the answer gives up: Abort where offered, else
    // Cancel.
    int Ask(const std::string& text, int type, uint16_t buttons) const;

private:
    MessageDialogFn dialog_;
};
