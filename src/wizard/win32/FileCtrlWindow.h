// The folder list and the drive box as owner-drawn Win32 controls over their models.
// The parent forwards WM_DRAWITEM, WM_MEASUREITEM and WM_COMMAND to
// HandleBrowseControlMessage, which serves these two and the check list alike (row heights
// are set once each window exists, so WM_MEASUREITEM is left to the parent's default).
// Link the models (TDriveComboBox::SetDirList) before creating the windows.
// Each model must outlive its window: the window drops its hooks into the model when it goes.
#pragma once
#include <windows.h>
#include "wizard/FileCtrl.h"

// Rows as high as the larger of the font and the open-folder glyph + 1, the glyphs drawn for dpi.
HWND CreateDirectoryListWindow(HWND parent, int id, int x, int y, int w, int h,
                               TDirectoryListBox& model, HFONT font, int dpi = 96);
// h is the height of the closed box; the drop-down shows eight rows.
HWND CreateDriveComboWindow(HWND parent, int id, int x, int y, int w, int h,
                            TDriveComboBox& model, HFONT font, int dpi = 96);
// Any of the three lists, once its window's DPI has changed: the font made for the new DPI.
void RescaleBrowseControl(HWND control, HFONT font, int dpi);

// True when the message was for one of these controls; result is then what to return.
bool HandleBrowseControlMessage(HWND parent, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
