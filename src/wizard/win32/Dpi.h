// The DPI a window is shown at, and the system's numbers for it. Windows 10 gives them per
// monitor; older systems have one DPI for the whole session, which is then the answer.
#pragma once
#include <windows.h>

#include "wizard/DisplayScale.h"

// Sent to a top-level window moved to a monitor of another scaling: LOWORD(wParam) is the new
// DPI, lParam the suggested window rectangle.
const UINT kDpiChangedMsg = 0x02E0;

int SystemDpi();
int WindowDpi(HWND window);
// A system metric (SM_CXMENUCHECK, SM_CXVSCROLL...) at that DPI.
int MetricForDpi(int index, int dpi);
// The window rectangle around a client rectangle, its frame and caption drawn at that DPI.
void AdjustFrameForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);
// The message-box font of the user's settings, at that DPI; null when it cannot be had.
HFONT CreateMessageFontForDpi(int dpi);
// Per-monitor awareness of the first kind scales the caption only when asked, while the window
// is being made (WM_NCCREATE).
void EnableNonClientScaling(HWND window);
// A dialog the program lays out itself: Windows must not rescale it behind the program's back.
void KeepDialogLayoutOwn(HWND dialog);
