// The wizard's controls as the rules see them: the real windows behind MainDlgView. The window
// code makes them and hands them over; this side knows nothing of the rules.
#pragma once
#include <windows.h>

#include <string>
#include <vector>
#include "wizard/MainDlgView.h"

// Posted by the worker once it has finished or failed: the window runs timer 1's handler at
// once instead of up to 100 ms later.
const UINT kWorkerDoneMsg = WM_APP + 21;

class WizardControls : public MainDlgView {
public:
    WizardControls() = default;
    ~WizardControls() override = default;
    WizardControls(const WizardControls&) = delete;
    WizardControls& operator=(const WizardControls&) = delete;

    // The window code's hand-over, as it makes the windows.
    void SetWindow(HWND form) { window_ = form; }
    void SetPage(int page, HWND window) { pages_[page] = window; }
    void Adopt(Ctl control, HWND window) { controls_[static_cast<int>(control)] = window; }
    // The DPI the window is laid out for: the fitting below measures in its pixels.
    void SetDpi(int dpi) { dpi_ = dpi; }

    HWND Window() const { return window_; }
    HWND Page(int page) const { return page >= 0 && page < 8 ? pages_[page] : nullptr; }
    HWND Control(Ctl control) const { return controls_[static_cast<int>(control)]; }
    bool WaitCursor() const { return waitCursor_; }
    // The control to focus once the window is shown (null: the window itself); asked once.
    HWND TakePendingFocus();

    // A label or check box grows to hold its text in a font wider than the one the pages were
    // drawn for, or one that rounds up at some scaling; FitToText sizes a label to its text.
    void FitWrappedText(HWND control);
    static void FitToText(HWND control);

    // MainDlgView
    void ShowPage(int page) override;
    void SetText(Ctl control, const std::string& text) override;
    std::string Text(Ctl control) override;
    void SetVisible(Ctl control, bool visible) override;
    void SetEnabled(Ctl control, bool enabled) override;
    bool Checked(Ctl control) override;
    void SetChecked(Ctl control, bool checked) override;
    void SetMemoLines(const std::vector<std::string>& lines) override;
    void SetProgressRange(int32_t maximum) override;
    void SetProgressPosition(int32_t position) override;
    void Focus(Ctl control) override;
    void SetWaitCursor(bool wait) override;
    void StartTimers() override;
    std::function<void()> WorkerWake() override;

private:
    void MoveFocusOutOf(HWND page);

    HWND window_ = nullptr;
    HWND pages_[8] = {};
    int shownPage_ = -1;
    HWND controls_[static_cast<int>(Ctl::FinishChkBx) + 1] = {};   // by Ctl; a plain array spares a map
    bool waitCursor_ = false;
    HWND pendingFocus_ = nullptr;
    int dpi_ = 96;
};
