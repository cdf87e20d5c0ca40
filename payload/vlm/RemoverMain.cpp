// "vlm.exe -ui" on the real machine: the platform, and message boxes that speak French.
#include <windows.h>

#include <string>

#include "Remover.h"
#include "platform/Win32Platform.h"

namespace {

HHOOK g_hook = nullptr;

// MessageBoxA names its buttons in the system's language; this program's questions are French.
LRESULT CALLBACK FrenchButtons(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextA(box, IDYES, "&Oui");
        SetDlgItemTextA(box, IDNO, "&Non");
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

int RunRemoval(const char* arguments) {
    Win32Platform platform;
    platform.LocateFolderService();
    SetPlatform(&platform);
    g_hook = SetWindowsHookExA(WH_CBT, FrenchButtons, nullptr, GetCurrentThreadId());
    int code = kRemovalFailed;
    try {
        code = RemoveAsAsked(arguments);
    } catch (...) {
        // Nothing may unwind into the system's start-up code.
    }
    if (g_hook) UnhookWindowsHookEx(g_hook);
    SetPlatform(nullptr);
    return code;
}
