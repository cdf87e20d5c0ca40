// The program's one message dialog as a real window: caption and icon by dialog type,
// the buttons of the mask in bit order, Enter and Esc as the rules say.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// Modal over the thread's active window; returns the pressed button's result, 2 when the
// dialog's own window is closed.
int ShowMessageDialog(const std::string& text, int type, uint16_t buttons);
// The same, modal over the given window: it is disabled until the dialog is answered.
int ShowOwnedMessageDialog(HWND owner, const std::string& text, int type, uint16_t buttons);
