#include "wizard/win32/FileCtrlWindow.h"

#include <algorithm>
#include "wizard/DisplayScale.h"
#include "wizard/win32/BrowseControl.h"

using browse::BrowseControl;
using browse::Glyph;

namespace {

const int kDropDownRows = 8;

// Colours chosen for a row, put back when the row is drawn.
class RowColours {
public:
    RowColours(HDC dc, int text) : dc_(dc) {
        oldText_ = SetTextColor(dc, GetSysColor(text));
        oldMode_ = SetBkMode(dc, TRANSPARENT);
    }
    ~RowColours() {
        SetTextColor(dc_, oldText_);
        SetBkMode(dc_, oldMode_);
    }
    RowColours(const RowColours&) = delete;
    RowColours& operator=(const RowColours&) = delete;
private:
    HDC dc_;
    COLORREF oldText_;
    int oldMode_;
};

class DirectoryListWindow : public BrowseControl {
public:
    DirectoryListWindow(HWND window, TDirectoryListBox& model, HFONT font, int dpi)
        : model_(model), open_("OPENFOLDER", dpi), closed_("CLOSEDFOLDER", dpi), font_(font), dpi_(dpi) {
        Attach(window);
        SetRowHeight();
        model_.OnRowsChanged = [this] { Refill(); };
    }

    void Rescale(HFONT font, int dpi) override {
        font_ = font;
        dpi_ = dpi;
        open_.Load(dpi);
        closed_.Load(dpi);
        SetRowHeight();
        InvalidateRect(Handle(), nullptr, TRUE);
    }

    void DrawItem(const DRAWITEMSTRUCT& item) override {
        HDC dc = item.hDC;
        bool selected = (item.itemState & ODS_SELECTED) != 0;
        FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        int row = static_cast<int>(item.itemID);
        if (row >= 0 && row < static_cast<int>(model_.Rows.size())) {
            const RECT& r = item.rcItem;
            const Glyph& glyph = model_.Rows[row].Glyph == TFolderGlyph::Open ? open_ : closed_;
            int indent = ScaleToDpi(model_.RowIndent(row), dpi_);
            glyph.Draw(dc, r.left + indent, r.top + (r.bottom - r.top - glyph.Height()) / 2);
            int glyphWidth = glyph.Loaded() ? glyph.Width() : ScaleToDpi(16, dpi_);

            RowColours colours(dc, selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
            HGDIOBJ oldFont = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
            SIZE a{};
            GetTextExtentPoint32A(dc, "A", 1, &a);
            std::string label = model_.RowLabel(row);
            TextOutA(dc, r.left + indent + glyphWidth + ScaleToDpi(4, dpi_), r.top + (r.bottom - r.top - a.cy) / 2,
                     label.c_str(), static_cast<int>(label.size()));
            SelectObject(dc, oldFont);
        }
        if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &item.rcItem);
    }

    void Command(int notification) override {
        if (notification != LBN_SELCHANGE) return;
        int row = static_cast<int>(SendMessageA(Handle(), LB_GETCURSEL, 0, 0));
        model_.RowPicked(row);
        SelectionMoved();
    }

protected:
    void Detach() noexcept override {
        model_.OnRowsChanged = nullptr;
        model_.HasWindow = false;
    }

private:
    // As high as the font or the open folder with a line under it, whichever is higher.
    void SetRowHeight() {
        SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        int height = std::max(browse::FontHeight(Handle(), font_), open_.Height() + ScaleToDpi(1, dpi_));
        SendMessageA(Handle(), LB_SETITEMHEIGHT, 0, MAKELPARAM(height, 0));
    }

    // One repaint for the whole refill.
    void Refill() {
        RefillRows({LB_RESETCONTENT, LB_ADDSTRING, LB_SETCURSEL}, model_.Rows.size(), model_.Selected,
                   [this](size_t row) { return model_.RowLabel(static_cast<int>(row)); });
    }

    TDirectoryListBox& model_;
    Glyph open_, closed_;
    HFONT font_;
    int dpi_;
};

class DriveComboWindow : public BrowseControl {
public:
    DriveComboWindow(HWND window, TDriveComboBox& model, HFONT font, int dpi)
        : model_(model), fixed_("FIXEDDRIVE", dpi), removable_("REMOVABLEDRIVE", dpi), font_(font), dpi_(dpi) {
        Attach(window);
        SetRowHeight();
        model_.OnRowsChanged = [this] { Refill(); };
        model_.OnSelectionChanged = [this] {
            SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(model_.Selected), 0);
            SelectionMoved();
        };
    }

    int RowHeight() { return std::max(browse::FontHeight(Handle(), font_) + ScaleToDpi(4, dpi_), fixed_.Height()); }

    void Rescale(HFONT font, int dpi) override {
        font_ = font;
        dpi_ = dpi;
        fixed_.Load(dpi);
        removable_.Load(dpi);
        SetRowHeight();
        InvalidateRect(Handle(), nullptr, TRUE);
    }

    // Every row in the window colours, selected or not.
    void DrawItem(const DRAWITEMSTRUCT& item) override {
        HDC dc = item.hDC;
        FillRect(dc, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
        int row = static_cast<int>(item.itemID);
        if (row >= 0 && row < static_cast<int>(model_.Rows.size())) {
            RECT r = item.rcItem;
            const Glyph& glyph = model_.Rows[row].Removable ? removable_ : fixed_;
            glyph.Draw(dc, r.left + ScaleToDpi(2, dpi_), r.top + (r.bottom - r.top - glyph.Height()) / 2);
            r.left += (glyph.Loaded() ? glyph.Width() : ScaleToDpi(16, dpi_)) + ScaleToDpi(6, dpi_);
            RowColours colours(dc, COLOR_WINDOWTEXT);
            HGDIOBJ oldFont = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
            const std::string& text = model_.Rows[row].Text;
            DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
            SelectObject(dc, oldFont);
        }
        if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &item.rcItem);
    }

    void Command(int notification) override {
        if (notification != CBN_SELCHANGE) return;
        int row = static_cast<int>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
        model_.RowPicked(row);
        SelectionMoved();
    }

protected:
    void Detach() noexcept override {
        model_.OnRowsChanged = nullptr;
        model_.OnSelectionChanged = nullptr;
    }

private:
    void SetRowHeight() {
        SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        int height = RowHeight();
        SendMessageA(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height);
        SendMessageA(Handle(), CB_SETITEMHEIGHT, 0, height);
        // The height given to a combo box includes its drop-down list.
        RECT box{};
        GetWindowRect(Handle(), &box);
        SetWindowPos(Handle(), nullptr, 0, 0, box.right - box.left,
                     height + ScaleToDpi(6, dpi_) + kDropDownRows * height + ScaleToDpi(2, dpi_),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void Refill() {
        RefillRows({CB_RESETCONTENT, CB_ADDSTRING, CB_SETCURSEL}, model_.Rows.size(), model_.Selected,
                   [this](size_t row) { return model_.Rows[row].Text; });
    }

    TDriveComboBox& model_;
    Glyph fixed_, removable_;
    HFONT font_;
    int dpi_;
};

}  // namespace

HWND CreateDirectoryListWindow(HWND parent, int id, int x, int y, int w, int h, TDirectoryListBox& model,
                               HFONT font, int dpi) {
    HWND window = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_OWNERDRAWFIXED |
                                      LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                                  x, y, w, h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  GetModuleHandleA(nullptr), nullptr);
    // The rows are filled once the window is tied to its model; a failure goes to the caller.
    if (window) {
        new DirectoryListWindow(window, model, font, dpi);
        model.WindowCreated();
    }
    return window;
}

HWND CreateDriveComboWindow(HWND parent, int id, int x, int y, int w, int h, TDriveComboBox& model,
                            HFONT font, int dpi) {
    // The closed height follows the row height; h only seeds the drop-down's.
    int dropped = h + kDropDownRows * h;
    HWND window = CreateWindowExA(0, "COMBOBOX", "",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST |
                                      CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                                  x, y, w, dropped, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  GetModuleHandleA(nullptr), nullptr);
    if (window) {
        new DriveComboWindow(window, model, font, dpi);
        model.WindowCreated();
    }
    return window;
}

void RescaleBrowseControl(HWND control, HFONT font, int dpi) {
    if (BrowseControl* browse = BrowseControl::Of(control)) browse->Rescale(font, dpi);
}

bool HandleBrowseControlMessage(HWND, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    try {
        switch (msg) {
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            BrowseControl* control = item ? BrowseControl::Of(item->hwndItem) : nullptr;
            if (!control) return false;
            control->DrawItem(*item);
            result = TRUE;
            return true;
        }
        case WM_COMMAND: {
            BrowseControl* control = BrowseControl::Of(reinterpret_cast<HWND>(lParam));
            if (!control) return false;
            control->Command(HIWORD(wParam));
            result = 0;
            return true;
        }
        default:
            return false;
        }
    } catch (...) {
        // Nothing may cross the parent's window procedure.
        result = 0;
        return true;
    }
}
