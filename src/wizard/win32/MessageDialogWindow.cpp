#include "wizard/win32/MessageDialogWindow.h"

#include <windows.h>

#include <algorithm>
#include <vector>
#include "wizard/MessageTexts.h"
#include "wizard/win32/Dpi.h"
#include "wizard/win32/TextFit.h"

namespace {

const int kButtonId = 100;   // + bit number; clear of IDOK and IDCANCEL
const int kTextId = 90;
// At 96 DPI.
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
    HICON icon = nullptr;   // drawn at the dialog's DPI
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

// The font and icon of the dialog's DPI, in place of those it had.
void MakeFontAndIcon(DialogData& data, int dpi)
{
    if (data.font)
        DeleteObject(data.font);
    if (data.icon)
        DestroyIcon(data.icon);
    data.font = CreateMessageFontForDpi(dpi);
    // Windows' own icons by number, which LoadImage draws at any size.
    const int size = ScaleToDpi(kIconSize, dpi);
    data.icon = static_cast<HICON>(LoadImageA(nullptr, IconOf(data.type), IMAGE_ICON, size, size, 0));
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

// Lays the dialog out at its DPI: centred on the screen, or at the given place once moved to a
// monitor of another scaling. Controls made before are replaced.
void Layout(HWND dialog, DialogData& data, int dpi, const POINT* place = nullptr)
{
    const int focusId = GetDlgCtrlID(GetFocus());
    for (HWND child; (child = GetWindow(dialog, GW_CHILD)) != nullptr;)
        DestroyWindow(child);
    MakeFontAndIcon(data, dpi);
    auto at = [dpi](int value) { return ScaleToDpi(value, dpi); };
    const int margin = at(kDialogMargin), iconSize = at(kIconSize), iconGap = at(kIconGap);
    const int buttonHeight = at(kButtonHeight), buttonGap = at(kButtonGap);
    const std::string text = DisplayText(data.text);
    const int maxText = GetSystemMetrics(SM_CXSCREEN) / 2;
    const SIZE textSize = MeasureText(dialog, data.font, text, maxText, DT_NOPREFIX | DT_EXPANDTABS);

    std::vector<int> bits;
    int buttonWidth = at(kButtonWidth);
    for (int bit = 0; bit < 8; ++bit) {
        if (!((data.buttons >> bit) & 1))
            continue;
        bits.push_back(bit);
        buttonWidth = std::max<int>(buttonWidth, MeasureText(dialog, data.font, ButtonCaption(bit), 0).cx + at(16));
    }
    const int count = static_cast<int>(bits.size());
    const int buttonsWidth = count * buttonWidth + std::max(0, count - 1) * buttonGap;
    const int bodyWidth = iconSize + iconGap + textSize.cx;
    const int clientWidth = std::max(bodyWidth, buttonsWidth) + 2 * margin;
    const int bodyHeight = std::max<int>(iconSize, textSize.cy);
    const int clientHeight = margin + bodyHeight + at(kTextToButtons) + buttonHeight + margin;

    HWND icon = AddControl(dialog, "STATIC", "", SS_ICON, -1, margin, margin, iconSize, iconSize, nullptr);
    SendMessageA(icon, STM_SETICON,
                 reinterpret_cast<WPARAM>(data.icon ? data.icon : LoadIconA(nullptr, IconOf(data.type))), 0);
    AddControl(dialog, "STATIC", text, SS_LEFT | SS_NOPREFIX, kTextId, margin + iconSize + iconGap,
               margin + (bodyHeight - textSize.cy) / 2, textSize.cx, textSize.cy, data.font);

    const int defaultBit = DefaultButtonBit(data.buttons);
    int x = (clientWidth - buttonsWidth) / 2;
    const int y = margin + bodyHeight + at(kTextToButtons);
    HWND focus = nullptr;
    for (int bit : bits) {
        const DWORD style = WS_TABSTOP | (bit == defaultBit ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        HWND button = AddControl(dialog, "BUTTON", ButtonCaption(bit), style, kButtonId + bit, x, y, buttonWidth,
                                 buttonHeight, data.font);
        if (!focus || bit == defaultBit)
            focus = button;
        if (place && kButtonId + bit == focusId)
            focus = button;   // the focus stays on the button that had it
        x += buttonWidth + buttonGap;
    }
    if (defaultBit >= 0)
        SendMessageA(dialog, DM_SETDEFID, kButtonId + defaultBit, 0);

    // The frame as Windows draws it at the dialog's DPI, around the client laid out above.
    RECT frame, client;
    GetWindowRect(dialog, &frame);
    GetClientRect(dialog, &client);
    const int w = clientWidth + (frame.right - frame.left) - client.right;
    const int h = clientHeight + (frame.bottom - frame.top) - client.bottom;
    const POINT centred{(GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2};
    const POINT& where = place ? *place : centred;
    SetWindowPos(dialog, HWND_TOP, where.x, where.y, w, h, SWP_NOZORDER);
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
        SetWindowTextA(dialog, DialogCaption(reinterpret_cast<DialogData*>(lParam)->type));
        KeepDialogLayoutOwn(dialog);
        Layout(dialog, *reinterpret_cast<DialogData*>(lParam), WindowDpi(dialog));
        return FALSE;   // the focus is set
    case kDpiChangedMsg:
        if (data) {
            const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                         suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
            const POINT place{suggested.left, suggested.top};
            Layout(dialog, *data, LOWORD(wParam), &place);
        }
        return TRUE;
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
        if (data && data->icon) {
            DestroyIcon(data->icon);
            data->icon = nullptr;
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
