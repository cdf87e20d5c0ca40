#include "wizard/win32/Dpi.h"

namespace {

// Windows 10's per-monitor functions, looked up once by the wizard's thread: importing them
// would keep the program from starting on older Windows.
struct DpiEntries {
    UINT(WINAPI* dpiForWindow)(HWND) = nullptr;
    int(WINAPI* metricForDpi)(int, UINT) = nullptr;
    BOOL(WINAPI* adjustForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* parametersForDpi)(UINT, UINT, void*, UINT, UINT) = nullptr;
    BOOL(WINAPI* enableNonClient)(HWND) = nullptr;
    BOOL(WINAPI* dialogBehaviour)(HWND, int, int) = nullptr;
};

template <typename Fn>
void Find(HMODULE module, const char* name, Fn& entry)
{
    entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const DpiEntries& Entries()
{
    static const DpiEntries entries = [] {
        DpiEntries e;
        HMODULE user = GetModuleHandleA("user32.dll");
        if (!user)
            return e;
        Find(user, "GetDpiForWindow", e.dpiForWindow);
        Find(user, "GetSystemMetricsForDpi", e.metricForDpi);
        Find(user, "AdjustWindowRectExForDpi", e.adjustForDpi);
        Find(user, "SystemParametersInfoForDpi", e.parametersForDpi);
        Find(user, "EnableNonClientDpiScaling", e.enableNonClient);
        Find(user, "SetDialogDpiChangeBehavior", e.dialogBehaviour);
        return e;
    }();
    return entries;
}

// The version of the metrics every Windows since 2000 accepts (no iPaddedBorderWidth).
template <typename Metrics>
Metrics NonClientMetrics()
{
    Metrics metrics{};
    metrics.cbSize = sizeof metrics;
    return metrics;
}

}  // namespace

int SystemDpi()
{
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen)
            ReleaseDC(nullptr, screen);
        return value > 0 ? value : kBaseDpi;
    }();
    return dpi;
}

int WindowDpi(HWND window)
{
    const UINT dpi = window && Entries().dpiForWindow ? Entries().dpiForWindow(window) : 0;
    return dpi ? static_cast<int>(dpi) : SystemDpi();
}

int MetricForDpi(int index, int dpi)
{
    if (Entries().metricForDpi)
        return Entries().metricForDpi(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

void AdjustFrameForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi)
{
    if (!Entries().adjustForDpi || !Entries().adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

HFONT CreateMessageFontForDpi(int dpi)
{
    if (Entries().parametersForDpi) {
        // Only the wide form exists; the face name is plain ASCII on every Windows.
        auto wide = NonClientMetrics<NONCLIENTMETRICSW>();
        if (Entries().parametersForDpi(SPI_GETNONCLIENTMETRICS, wide.cbSize, &wide, 0, static_cast<UINT>(dpi))) {
            const LOGFONTW& w = wide.lfMessageFont;
            LOGFONTA font{w.lfHeight,  w.lfWidth,          w.lfEscapement,   w.lfOrientation, w.lfWeight,
                          w.lfItalic,  w.lfUnderline,      w.lfStrikeOut,    w.lfCharSet,     w.lfOutPrecision,
                          w.lfClipPrecision, w.lfQuality, w.lfPitchAndFamily, {}};
            WideCharToMultiByte(CP_ACP, 0, w.lfFaceName, -1, font.lfFaceName, LF_FACESIZE, nullptr, nullptr);
            font.lfFaceName[LF_FACESIZE - 1] = '\0';
            if (HFONT made = CreateFontIndirectA(&font))
                return made;
        }
    }
    auto metrics = NonClientMetrics<NONCLIENTMETRICSA>();
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        return nullptr;
    // The system's metrics are for the system's DPI.
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
    return CreateFontIndirectA(&metrics.lfMessageFont);
}

void EnableNonClientScaling(HWND window)
{
    if (Entries().enableNonClient)
        Entries().enableNonClient(window);
}

void KeepDialogLayoutOwn(HWND dialog)
{
    const int disableAll = 1;   // DDC_DISABLE_ALL
    if (Entries().dialogBehaviour)
        Entries().dialogBehaviour(dialog, disableAll, disableAll);
}
