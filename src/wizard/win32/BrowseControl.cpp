#include "wizard/win32/BrowseControl.h"

#include "wizard/win32/Pictures.h"

namespace browse {

namespace {
const char kControlProperty[] = "VelmorraBrowseControl";

// Keeps GDI selections paired, also on early returns.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selection() { SelectObject(dc_, old_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
private:
    HDC dc_;
    HGDIOBJ old_;
};
}  // namespace

BrowseControl* BrowseControl::Of(HWND window) {
    if (!window) return nullptr;
    return static_cast<BrowseControl*>(GetPropA(window, kControlProperty));
}

BrowseControl::~BrowseControl() = default;

void BrowseControl::Attach(HWND window) {
    window_ = window;
    accessible_ = std::make_unique<AccessibleList>(window, *this);
    SetPropA(window, kControlProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BrowseControl::Proc)));
}

bool BrowseControl::Message(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT BrowseControl::CallOriginal(UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(original_, window_, msg, wParam, lParam);
}

LRESULT CALLBACK BrowseControl::Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    BrowseControl* self = Of(window);
    if (!self) return DefWindowProcA(window, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        WNDPROC original = self->original_;
        RemovePropA(window, kControlProperty);
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        self->Detach();
        delete self;
        return CallWindowProcA(original, window, msg, wParam, lParam);
    }
    try {
        LRESULT result = 0;
        if (msg == WM_GETOBJECT && self->accessible_->Answer(wParam, lParam, result)) return result;
        if (self->Message(msg, wParam, lParam, result)) return result;
    } catch (...) {
        return 0;   // nothing may cross the window procedure
    }
    return self->CallOriginal(msg, wParam, lParam);
}

Glyph::Glyph(const char* resourceName, int dpi) : name_(resourceName) { Load(dpi); }

void Glyph::Load(int dpi) {
    if (bitmap_) DeleteObject(bitmap_);
    width_ = height_ = 0;
    bitmap_ = LoadPictureForDpi(name_, false, true, dpi);
    BITMAP info;
    if (bitmap_ && GetObjectA(bitmap_, sizeof info, &info)) {
        width_ = info.bmWidth;
        height_ = info.bmHeight;
    }
}

Glyph::~Glyph() {
    if (bitmap_) DeleteObject(bitmap_);
}

// Mask where the key colour is, then AND the mask into the target and OR in the picture
// with its key colour turned black (no TransparentBlt: msimg32 is not imported).
void Glyph::Draw(HDC dc, int x, int y) const {
    if (!bitmap_) return;
    HDC picture = CreateCompatibleDC(dc);
    HDC maskDc = CreateCompatibleDC(dc);
    HDC workDc = CreateCompatibleDC(dc);
    HBITMAP mask = CreateBitmap(width_, height_, 1, 1, nullptr);
    HBITMAP work = CreateCompatibleBitmap(dc, width_, height_);
    if (picture && maskDc && workDc && mask && work) {
        Selection s1(picture, bitmap_);
        Selection s2(maskDc, mask);
        Selection s3(workDc, work);
        COLORREF key = GetPixel(picture, 0, height_ - 1);
        SetBkColor(picture, key);
        BitBlt(maskDc, 0, 0, width_, height_, picture, 0, 0, SRCCOPY);   // key -> 1, rest -> 0

        BitBlt(workDc, 0, 0, width_, height_, picture, 0, 0, SRCCOPY);
        SetBkColor(workDc, RGB(255, 255, 255));
        SetTextColor(workDc, RGB(0, 0, 0));
        BitBlt(workDc, 0, 0, width_, height_, maskDc, 0, 0, 0x00220326);   // DSna: key -> black

        COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
        COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
        BitBlt(dc, x, y, width_, height_, maskDc, 0, 0, SRCAND);
        BitBlt(dc, x, y, width_, height_, workDc, 0, 0, SRCPAINT);
        SetBkColor(dc, oldBk);
        SetTextColor(dc, oldText);
    }
    if (work) DeleteObject(work);
    if (mask) DeleteObject(mask);
    if (workDc) DeleteDC(workDc);
    if (maskDc) DeleteDC(maskDc);
    if (picture) DeleteDC(picture);
}

int FontHeight(HWND window, HFONT font) {
    HDC dc = GetDC(window);
    if (!dc) return 0;
    TEXTMETRICA metrics{};
    {
        Selection s(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
        GetTextMetricsA(dc, &metrics);
    }
    ReleaseDC(window, dc);
    return metrics.tmHeight;
}

void BrowseControl::RefillRows(const RowMessages& messages, size_t count, int selected,
                               FunctionRef<std::string(size_t row)> text)
{
    SendMessageA(window_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(window_, messages.reset, 0, 0);
    for (size_t i = 0; i < count; ++i)
        SendMessageA(window_, messages.add, 0, reinterpret_cast<LPARAM>(text(i).c_str()));
    SendMessageA(window_, messages.select, static_cast<WPARAM>(selected), 0);
    SendMessageA(window_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(window_, nullptr, TRUE);
    SelectionMoved();
}

}  // namespace browse
