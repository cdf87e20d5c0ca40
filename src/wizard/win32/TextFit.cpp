#include "wizard/win32/TextFit.h"

SIZE MeasureText(HWND window, HFONT font, const std::string& text, int wrapWidth, UINT flags)
{
    HDC dc = GetDC(window);
    if (!dc)
        return SIZE{0, 0};
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, wrapWidth, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              flags | DT_CALCRECT | (wrapWidth ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE MeasureControlText(HWND control, int wrapWidth)
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    char cls[16] = {};
    GetClassNameA(control, cls, sizeof cls);
    const bool noPrefix = lstrcmpiA(cls, "Static") == 0 && (GetWindowLongA(control, GWL_STYLE) & SS_NOPREFIX);
    return MeasureText(control, font, text, wrapWidth, noPrefix ? DT_NOPREFIX : 0);
}
