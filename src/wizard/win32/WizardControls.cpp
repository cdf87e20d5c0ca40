#include "wizard/win32/WizardControls.h"

#include <commctrl.h>

#include <algorithm>
#include "engine/InstallThread.h"
#include "wizard/MessageTexts.h"
#include "wizard/win32/Dpi.h"
#include "wizard/win32/TextFit.h"

namespace {

bool IsStatic(HWND control)
{
    char cls[16] = {};
    GetClassNameA(control, cls, sizeof cls);
    return lstrcmpiA(cls, "Static") == 0;
}

}  // namespace

HWND WizardControls::TakePendingFocus()
{
    HWND focus = pendingFocus_;
    pendingFocus_ = nullptr;
    return focus;
}

void WizardControls::ShowPage(int page)
{
    if (page == shownPage_ || !Page(page))
        return;
    if (HWND old = Page(shownPage_)) {
        MoveFocusOutOf(old);
        ShowWindow(old, SW_HIDE);
    }
    ShowWindow(pages_[page], SW_SHOW);
    shownPage_ = page;
}

void WizardControls::MoveFocusOutOf(HWND page)
{
    HWND focus = GetFocus();
    if (focus && IsChild(page, focus))
        SetFocus(window_);   // Enter still means Next, Esc Cancel
}

void WizardControls::SetText(Ctl control, const std::string& text)
{
    HWND h = Control(control);
    if (!h)
        return;
    SetWindowTextA(h, IsStatic(h) ? DisplayText(text).c_str() : text.c_str());
    FitWrappedText(h);
}

std::string WizardControls::Text(Ctl control)
{
    HWND h = Control(control);
    if (!h)
        return std::string();
    std::string text(static_cast<size_t>(GetWindowTextLengthA(h)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(h, text.data(), static_cast<int>(text.size()))));
    return text;
}

void WizardControls::SetVisible(Ctl control, bool visible)
{
    if (HWND h = Control(control)) {
        if (!visible && GetFocus() == h)
            SetFocus(window_);
        ShowWindow(h, visible ? SW_SHOW : SW_HIDE);
    }
}

void WizardControls::SetEnabled(Ctl control, bool enabled)
{
    if (HWND h = Control(control)) {
        if (!enabled && GetFocus() == h)
            SetFocus(window_);
        EnableWindow(h, enabled);
    }
}

bool WizardControls::Checked(Ctl control)
{
    HWND h = Control(control);
    return h && SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WizardControls::SetChecked(Ctl control, bool checked)
{
    if (HWND h = Control(control))
        SendMessageA(h, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void WizardControls::SetMemoLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += "\r\n";
        text += lines[i];
    }
    SetWindowTextA(Control(Ctl::LicenseMemo), text.c_str());
}

void WizardControls::SetProgressRange(int32_t maximum)
{
    SendMessageA(Control(Ctl::InstallingProgressBar), PBM_SETRANGE32, 0, maximum);
}

void WizardControls::SetProgressPosition(int32_t position)
{
    SendMessageA(Control(Ctl::InstallingProgressBar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void WizardControls::Focus(Ctl control)
{
    HWND h = Control(control);
    if (!h)
        return;
    if (IsWindowVisible(window_))
        SetFocus(h);
    else
        pendingFocus_ = h;   // given once the window is shown
}

void WizardControls::SetWaitCursor(bool wait)
{
    waitCursor_ = wait;
    SetCursor(LoadCursorA(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

void WizardControls::StartTimers()
{
    SetTimer(window_, 1, 100, nullptr);
    SetTimer(window_, 2, 1000, nullptr);
}

std::function<void()> WizardControls::WorkerWake()
{
    // The worker is stopped before the controls go; a message to a window already destroyed
    // is dropped.
    return [window = window_] { PostMessageA(window, kWorkerDoneMsg, 0, 0); };
}

void WizardControls::FitToText(HWND control)
{
    const SIZE size = MeasureControlText(control, 0);
    SetWindowPos(control, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A font wider than the one the pages were drawn for (Wine's Tahoma, large fonts)
// must not cut a text short. A label of several lines grows downwards to hold its wrapped text,
// pushing the components list below it; a check box widens up to the page's edge. A one-line
// label keeps its place and width, and grows only by the pixel or two its font's height may
// round up to at some scalings: what lies below it does not move.
void WizardControls::FitWrappedText(HWND control)
{
    RECT box;
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&box), 2);
    const int width = box.right - box.left, height = box.bottom - box.top;
    const DWORD style = GetWindowLongA(control, GWL_STYLE);
    char cls[16] = {};
    GetClassNameA(control, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") == 0 && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        RECT page;
        GetClientRect(GetParent(control), &page);
        const int wanted =
            MeasureControlText(control, 0).cx + MetricForDpi(SM_CXMENUCHECK, dpi_) + ScaleToDpi(6, dpi_);
        const int room = page.right - 1 - box.left;
        if (wanted > width)
            SetWindowPos(control, nullptr, 0, 0, std::min(wanted, room), height,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    const DWORD type = style & SS_TYPEMASK;
    if (!IsStatic(control) || (type != SS_LEFT && type != SS_RIGHT))
        return;
    if (height < ScaleToDpi(26, dpi_)) {
        const int line = MeasureControlText(control, 0).cy;
        if (line > height)
            SetWindowPos(control, nullptr, 0, 0, width, line, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    if (type != SS_LEFT)
        return;
    const int wanted = MeasureControlText(control, width).cy;
    if (wanted <= height)
        return;
    SetWindowPos(control, nullptr, 0, 0, width, wanted, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND list = Control(Ctl::SelCompLstBx);
    if (list && control == Control(Ctl::SelCompLbl)) {
        RECT l;
        GetWindowRect(list, &l);
        MapWindowPoints(nullptr, GetParent(list), reinterpret_cast<POINT*>(&l), 2);
        const int top = std::max<int>(l.top, box.top + wanted + ScaleToDpi(4, dpi_));
        SetWindowPos(list, nullptr, l.left, top, l.right - l.left, l.bottom - l.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}
