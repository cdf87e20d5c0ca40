#include "wizard/win32/MessageDialogWindow.h"

#include <windows.h>

#include <algorithm>
#include <vector>
#include "wizard/MessageTexts.h"
#include "wizard/win32/TextFit.h"

namespace {

const int kButtonId = 100;   // + bit number; clear of IDOK and IDCANCEL
const int kTextId = 90;
const int kDialogMargin = 12;
const int kIconSize = 32;
const int kIconGap = 12;
const int kButtonWidth = 75;
const int kButtonHeight = 23;
const int kButtonGap = 8;
const int kTextToButtons = 16;

struct DialogData {
    std::string text;
    int type;
    uint16_t buttons;
    HFONT font = nullptr;
};

LPCSTR IconOf(int type)
{
    switch (type) {
    case 1: return IDI_HAND;
    case 2: return IDI_ASTERISK;
    case 3: return IDI_QUESTION;
    default: return IDI_EXCLAMATION;
    }
}

HFONT MessageFont()
{
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return CreateFontIndirectA(&metrics.lfMessageFont);
    return nullptr;
}

HWND AddControl(HWND dialog, const char* cls, const std::string& text, DWORD style, int id, int x, int y, int w, int h,
                HFONT font)
{
    HWND control = CreateWindowExA(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                   nullptr);
    if (font)
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void Layout(HWND dialog, DialogData& data)
{
    SetWindowTextA(dialog, DialogCaption(data.type));
    data.font = MessageFont();
    const std::string text = DisplayText(data.text);
    const int maxText = GetSystemMetrics(SM_CXSCREEN) / 2;
    const SIZE textSize = MeasureText(dialog, data.font, text, maxText, DT_NOPREFIX | DT_EXPANDTABS);

    std::vector<int> bits;
    int buttonWidth = kButtonWidth;
    for (int bit = 0; bit < 8; ++bit) {
        if (!((data.buttons >> bit) & 1))
            continue;
        bits.push_back(bit);
        buttonWidth = std::max<int>(buttonWidth, MeasureText(dialog, data.font, ButtonCaption(bit), 0).cx + 16);
    }
    const int count = static_cast<int>(bits.size());
    const int buttonsWidth = count * buttonWidth + std::max(0, count - 1) * kButtonGap;
    const int bodyWidth = kIconSize + kIconGap + textSize.cx;
    const int clientWidth = std::max(bodyWidth, buttonsWidth) + 2 * kDialogMargin;
    const int bodyHeight = std::max<int>(kIconSize, textSize.cy);
    const int clientHeight = kDialogMargin + bodyHeight + kTextToButtons + kButtonHeight + kDialogMargin;

    HWND icon = AddControl(dialog, "STATIC", "", SS_ICON, -1, kDialogMargin, kDialogMargin, kIconSize, kIconSize, nullptr);
    SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IconOf(data.type))), 0);
    AddControl(dialog, "STATIC", text, SS_LEFT | SS_NOPREFIX, kTextId, kDialogMargin + kIconSize + kIconGap,
               kDialogMargin + (bodyHeight - textSize.cy) / 2, textSize.cx, textSize.cy, data.font);

    const int defaultBit = DefaultButtonBit(data.buttons);
    int x = (clientWidth - buttonsWidth) / 2;
    const int y = kDialogMargin + bodyHeight + kTextToButtons;
    HWND focus = nullptr;
    for (int bit : bits) {
        const DWORD style = WS_TABSTOP | (bit == defaultBit ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        HWND button = AddControl(dialog, "BUTTON", ButtonCaption(bit), style, kButtonId + bit, x, y, buttonWidth,
                                 kButtonHeight, data.font);
        if (!focus || bit == defaultBit)
            focus = button;
        x += buttonWidth + kButtonGap;
    }
    if (defaultBit >= 0)
        SendMessageA(dialog, DM_SETDEFID, kButtonId + defaultBit, 0);

    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, GetWindowLongA(dialog, GWL_STYLE), FALSE, GetWindowLongA(dialog, GWL_EXSTYLE));
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    SetWindowPos(dialog, HWND_TOP, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w,
                 h, SWP_NOZORDER);
    if (focus)
        SetFocus(focus);
}

INT_PTR DialogMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* data = reinterpret_cast<DialogData*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        SendMessageA(dialog, WM_SETICON, ICON_BIG,
                     reinterpret_cast<LPARAM>(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1))));
        Layout(dialog, *reinterpret_cast<DialogData*>(lParam));
        return FALSE;   // the focus is set
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        int bit = -1;
        if (id >= kButtonId && id < kButtonId + 8)
            bit = id - kButtonId;
        else if (id == IDOK && data)
            bit = DefaultButtonBit(data->buttons);    // Enter
        else if (id == IDCANCEL && data)
            bit = CancelButtonBit(data->buttons);     // Esc
        if (bit >= 0)
            EndDialog(dialog, ButtonResult(bit));
        return TRUE;
    }
    case WM_CLOSE:
        EndDialog(dialog, 2);
        return TRUE;
    case WM_DESTROY:
        if (data && data->font) {
            DeleteObject(data->font);
            data->font = nullptr;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    try {
        return DialogMessage(dialog, msg, wParam, lParam);
    } catch (...) {
        // Nothing may cross the window procedure; a dialog that cannot go on ends as one
        // that could not be made.
        if (msg == WM_INITDIALOG || msg == WM_COMMAND)
            EndDialog(dialog, 0);
        return FALSE;
    }
}

// An empty dialog template; the controls are made once the text has been measured.
struct alignas(4) EmptyTemplate {
    DLGTEMPLATE header;
    WORD menu = 0, windowClass = 0, title = 0;
};

}  // namespace

int ShowMessageDialog(const std::string& text, int type, uint16_t buttons)
{
    return ShowOwnedMessageDialog(GetActiveWindow(), text, type, buttons);
}

int ShowOwnedMessageDialog(HWND owner, const std::string& text, int type, uint16_t buttons)
{
    EmptyTemplate t{};
    t.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.header.dwExtendedStyle = WS_EX_DLGMODALFRAME;
    DialogData data{text, type, buttons};
    const INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &t.header, owner, DialogProc,
                                                   reinterpret_cast<LPARAM>(&data));
    if (result > 0)
        return static_cast<int>(result);
    // No dialog could be made: a retry loop must not ask again and again.
    return (buttons & (1 << 4)) ? 3 : 2;
}
