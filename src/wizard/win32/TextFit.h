// The room a text needs in a font, as DrawText will draw it: what the wizard's labels and check
// boxes and the message dialog are sized to.
#pragma once
#include <windows.h>

#include <string>

// Width and height of the text on one line (wrapWidth 0) or wrapped at wrapWidth; flags are
// DrawText's (DT_NOPREFIX, DT_EXPANDTABS). No font: the default GUI font.
SIZE MeasureText(HWND window, HFONT font, const std::string& text, int wrapWidth, UINT flags = 0);
// The same for a control's own text, font and "&" handling.
SIZE MeasureControlText(HWND control, int wrapWidth);
