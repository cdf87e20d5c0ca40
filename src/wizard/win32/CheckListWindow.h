// The component page's three-state check list as an owner-drawn Win32 list box.
// The parent forwards WM_DRAWITEM, WM_MEASUREITEM and WM_COMMAND to
// HandleBrowseControlMessage (FileCtrlWindow.h).
// Each model must outlive its window: the window drops its hooks into the model when it goes.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include "wizard/CompPage.h"

// The check boxes are drawn for dpi and the rows follow the font (see RescaleBrowseControl).
// sizeText gives the text drawn right-aligned on a row; grayText tells whether the row's
// texts are drawn in the gray-text colour, also when selected. Rows may be added to the
// model before or after the window is made.
HWND CreateCheckListWindow(HWND parent, int id, int x, int y, int w, int h, CheckListModel& model, HFONT font,
                           std::function<std::string(int row)> sizeText, std::function<bool(int row)> grayText,
                           int dpi = 96);
