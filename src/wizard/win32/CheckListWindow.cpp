#include "wizard/win32/CheckListWindow.h"

#include <algorithm>
#include <utility>
#include "wizard/DisplayScale.h"
#include "wizard/win32/BrowseControl.h"

namespace {

// At 96 DPI; the box and its margin follow the DPI.
const int kCheckSize = 13;
const int kMargin = kCheckSize + 2;   // the rows' own drawing starts right of the box

UINT CheckFlags(TCheckBoxState state) {
    switch (state) {
    case cbChecked: return DFCS_BUTTONCHECK | DFCS_CHECKED;
    case cbGrayed: return DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE;
    default: return DFCS_BUTTONCHECK;
    }
}

class CheckListWindow : public browse::BrowseControl {
public:
    CheckListWindow(HWND window, CheckListModel& model, HFONT font, int dpi,
                    std::function<std::string(int)> sizeText, std::function<bool(int)> grayText)
        : model_(model), font_(font), sizeText_(std::move(sizeText)), grayText_(std::move(grayText)) {
        Attach(window);
        Rescale(font, dpi);
        for (int i = 0; i < model_.Count(); ++i) AddRow(i);
        SendMessageA(window, LB_SETCURSEL, static_cast<WPARAM>(model_.Selected()), 0);
        model_.OnRowAdded = [this](int row) { AddRow(row); };
        model_.OnRowChanged = [this](int row) { InvalidateRow(row); };
        model_.OnStateChanged = [this](int row) { RowStateChanged(row); };
        model_.OnSelect = [this](int row) {
            if (SendMessageA(Handle(), LB_GETCURSEL, 0, 0) != row)
                SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
            SelectionMoved();
        };
    }

    void Rescale(HFONT font, int dpi) override {
        font_ = font;
        checkSize_ = ScaleToDpi(kCheckSize, dpi);
        margin_ = ScaleToDpi(kMargin, dpi);
        SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        const int space = ScaleToDpi(3, dpi);
        int height = std::max(browse::FontHeight(Handle(), font) + space, checkSize_ + space);
        SendMessageA(Handle(), LB_SETITEMHEIGHT, 0, MAKELPARAM(height, 0));
        InvalidateRect(Handle(), nullptr, TRUE);
    }

    void DrawItem(const DRAWITEMSTRUCT& item) override {
        HDC dc = item.hDC;
        int row = static_cast<int>(item.itemID);
        RECT box = item.rcItem;
        box.right = box.left + margin_;
        RECT r = item.rcItem;
        r.left = box.right;
        bool selected = (item.itemState & ODS_SELECTED) != 0;
        FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
        FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        if (row >= 0 && row < model_.Count()) {
            RECT check{box.left + (margin_ - checkSize_) / 2, box.top + (box.bottom - box.top - checkSize_) / 2,
                       0, 0};
            check.right = check.left + checkSize_;
            check.bottom = check.top + checkSize_;
            DrawFrameControl(dc, &check, DFC_BUTTON, CheckFlags(model_.State(row)));
            DrawTexts(dc, row, r, selected);
        }
        if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
    }

    void Command(int notification) override {
        if (notification == LBN_SELCHANGE)
            model_.Select(static_cast<int>(SendMessageA(Handle(), LB_GETCURSEL, 0, 0)));
    }

protected:
    bool Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            // The list selects the row first, as for any click; a press in the margin also toggles.
            result = CallOriginal(msg, wParam, lParam);
            int x = static_cast<short>(LOWORD(lParam));
            LRESULT hit = SendMessageA(Handle(), LB_ITEMFROMPOINT, 0, lParam);
            int row = LOWORD(hit);
            if (HIWORD(hit) == 0 && x >= 0 && x < margin_) model_.Toggle(row);
            return true;
        }
        case WM_CHAR:
            if (wParam != ' ') return false;
            model_.Toggle(static_cast<int>(SendMessageA(Handle(), LB_GETCURSEL, 0, 0)));
            result = 0;
            return true;
        default:
            return false;
        }
    }

    void Detach() noexcept override {
        model_.OnRowAdded = nullptr;
        model_.OnRowChanged = nullptr;
        model_.OnStateChanged = nullptr;
        model_.OnSelect = nullptr;
    }

    // What screen readers learn of a row beyond its text: what is drawn on it.
    Check RowCheck(int row) override {
        switch (model_.State(row)) {
        case cbChecked: return Check::Checked;
        case cbGrayed: return Check::Mixed;
        default: return Check::Unchecked;
        }
    }
    bool RowUnavailable(int row) override { return grayText_ && grayText_(row); }
    std::string RowDescription(int row) override { return sizeText_ ? sizeText_(row) : std::string(); }
    void ToggleRow(int row) override { model_.Toggle(row); }

private:
    void DrawTexts(HDC dc, int row, const RECT& r, bool selected) {
        int colour = selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT;
        if (grayText_ && grayText_(row)) colour = COLOR_GRAYTEXT;
        COLORREF oldText = SetTextColor(dc, GetSysColor(colour));
        int oldMode = SetBkMode(dc, TRANSPARENT);
        HGDIOBJ oldFont = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));

        const std::string& name = model_.Text(row);
        SIZE extent{};
        GetTextExtentPoint32A(dc, name.c_str(), static_cast<int>(name.size()), &extent);
        TextOutA(dc, r.left + 2, r.top + (r.bottom - r.top - extent.cy) / 2, name.c_str(),
                 static_cast<int>(name.size()));
        std::string size = sizeText_ ? sizeText_(row) : std::string();
        GetTextExtentPoint32A(dc, size.c_str(), static_cast<int>(size.size()), &extent);
        TextOutA(dc, r.right - extent.cx - 2, r.top + (r.bottom - r.top - extent.cy) / 2, size.c_str(),
                 static_cast<int>(size.size()));

        SelectObject(dc, oldFont);
        SetBkMode(dc, oldMode);
        SetTextColor(dc, oldText);
    }

    // The row keeps its name for screen readers; the drawing goes by index.
    void AddRow(int row) {
        SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(model_.Text(row).c_str()));
    }

    void InvalidateRow(int row) {
        RECT r;
        if (SendMessageA(Handle(), LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)) != LB_ERR)
            InvalidateRect(Handle(), &r, TRUE);
    }

    CheckListModel& model_;
    HFONT font_;
    int checkSize_ = kCheckSize, margin_ = kMargin;
    std::function<std::string(int)> sizeText_;
    std::function<bool(int)> grayText_;
};

}  // namespace

HWND CreateCheckListWindow(HWND parent, int id, int x, int y, int w, int h, CheckListModel& model, HFONT font,
                           std::function<std::string(int row)> sizeText, std::function<bool(int row)> grayText,
                           int dpi) {
    HWND window = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_OWNERDRAWFIXED |
                                      LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                                  x, y, w, h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  GetModuleHandleA(nullptr), nullptr);
    if (window) new CheckListWindow(window, model, font, dpi, std::move(sizeText), std::move(grayText));
    return window;
}
