// What the wizard's rules see of the window: its controls by name and a few operations on
// them. Implemented by the window's controls (win32/WizardControls) and by the tests' fakes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The form's controls that the rules talk to.
enum class Ctl {
    None,
    TopLbl,
    BackBtn, NextBtn, CancelBtn,
    WelcomeLbl,
    LicenseMemo, LicenseChkBx,
    DestDirEdt,
    SelCompLbl, SelCompLstBx, SelCompDiskSpaceReqLbl2, SelCompDiskSpaceAvailLbl2,
    InstallToAllChkBx,
    InstallingLbl2, InstallingProgressBar,
    AssocChkBx1, AssocChkBx2, AssocChkBx3, AssocChkBx4,
    FinishLbl, FinishChkBx,
};

class MainDlgView {
public:
    virtual ~MainDlgView() = default;
    virtual void ShowPage(int page) = 0;                     // hides the page shown before
    virtual void SetText(Ctl control, const std::string& text) = 0;   // caption or edit text
    virtual std::string Text(Ctl control) = 0;
    virtual void SetVisible(Ctl control, bool visible) = 0;
    virtual void SetEnabled(Ctl control, bool enabled) = 0;
    virtual bool Checked(Ctl control) = 0;
    virtual void SetChecked(Ctl control, bool checked) = 0;
    virtual void SetMemoLines(const std::vector<std::string>& lines) = 0;
    virtual void SetProgressRange(int32_t maximum) = 0;      // 0 .. maximum
    virtual void SetProgressPosition(int32_t position) = 0;
    virtual void Focus(Ctl control) = 0;
    virtual void SetWaitCursor(bool wait) = 0;
    virtual void StartTimers() = 0;                          // 1: 100 ms, 2: 1000 ms
    // What the worker calls, on its thread, once it has ended; empty when nothing need wake.
    virtual std::function<void()> WorkerWake() { return {}; }
};
