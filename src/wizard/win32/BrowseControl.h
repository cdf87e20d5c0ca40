// What the folder list, the drive box and the check list share: a subclassed owner-drawn
// control found from its window, and the glyphs drawn through a transparent colour.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <windows.h>

#include "platform/FunctionRef.h"
#include "wizard/win32/AccessibleList.h"

namespace browse {

// One owner-drawn control; lives as long as its window and is deleted with it. Screen readers
// learn its rows from the texts the control keeps and from what the subclass tells of them.
class BrowseControl : public AccessibleRows {
public:
    virtual ~BrowseControl();
    BrowseControl(const BrowseControl&) = delete;
    BrowseControl& operator=(const BrowseControl&) = delete;

    static BrowseControl* Of(HWND window);
    HWND Handle() const { return window_; }

    // Owner-draw and notifications, forwarded by the parent.
    virtual void DrawItem(const DRAWITEMSTRUCT& item) = 0;
    virtual void Command(int notification) = 0;
    // The window's DPI changed: a font made for it, row heights and glyphs to follow.
    virtual void Rescale(HFONT font, int dpi) = 0;

protected:
    BrowseControl() = default;
    // Subclasses the window and ties this object to it.
    void Attach(HWND window);
    // The control's own messages; false lets the original window procedure have them.
    virtual bool Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The window is going: drop every hook into the model.
    virtual void Detach() noexcept = 0;
    LRESULT CallOriginal(UINT msg, WPARAM wParam, LPARAM lParam);
    // Refills a list or combo box with count owner-drawn rows, repainting once. The rows keep
    // their texts (a screen reader reads them, a typed letter finds them); drawing goes by index.
    struct RowMessages { UINT reset, add, select; };
    void RefillRows(const RowMessages& messages, size_t count, int selected,
                    FunctionRef<std::string(size_t row)> text);
    // Tell screen readers, once the control shows the change.
    void RowStateChanged(int row) { accessible_->RowStateChanged(row); }
    void SelectionMoved() { accessible_->SelectionMoved(); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    WNDPROC original_ = nullptr;
    std::unique_ptr<AccessibleList> accessible_;
};

// A bitmap resource drawn with its bottom-left pixel's colour left out, in the density
// drawn for the DPI (see LoadPictureForDpi).
class Glyph {
public:
    Glyph(const char* resourceName, int dpi);
    ~Glyph();
    Glyph(const Glyph&) = delete;
    Glyph& operator=(const Glyph&) = delete;

    void Load(int dpi);

    bool Loaded() const { return bitmap_ != nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void Draw(HDC dc, int x, int y) const;

private:
    const char* name_;
    HBITMAP bitmap_ = nullptr;
    int width_ = 0, height_ = 0;
};

// Text-metric height of a font, as the control would draw with it.
int FontHeight(HWND window, HFONT font);

}  // namespace browse
