// The demo payload's stand-in for the word processor "vlm.exe": it does just what the
// setup program relies on, and logs every start so tests can see what setup started.
//   vlm.exe                      a window "Velmorra" that marks itself as a running copy
//   vlm.exe "<document>"         the same, naming the document
//   vlm.exe -assoc adpr_rtf...   registers the chosen document types for the current user
//   vlm.exe -ui                  removes the installation its folder's Install.log describes
#include <windows.h>

#include <cstring>

#include "Remover.h"
#include "platform/Win32Platform.h"

namespace {

const char kRunningProp[] = "1.x Tessalvorn";
const char kProgId[] = "Velmorra.Document";
const char kWindowClass[] = "VelmorraStandIn";

char g_exePath[MAX_PATH];
const char* g_document = "";

// "vlm-cwd.log" beside the program: the folder each start was made in, one line per start.
void AppendCwdLog() {
    char logPath[MAX_PATH + 16];
    lstrcpynA(logPath, g_exePath, MAX_PATH);
    char* slash = std::strrchr(logPath, '\\');
    lstrcpyA(slash ? slash + 1 : logPath, "vlm-cwd.log");
    char line[MAX_PATH + 2];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, line);
    if (length == 0 || length >= MAX_PATH)
        return;
    HANDLE file = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    lstrcpyA(line + length, "\r\n");
    DWORD written;
    WriteFile(file, line, length + 2, &written, nullptr);
    CloseHandle(file);
}

void AppendStartLog() {
    AppendCwdLog();   // first: whoever sees the start in vlm-starts.log finds its folder too
    char logPath[MAX_PATH + 16];
    lstrcpynA(logPath, g_exePath, MAX_PATH);
    char* slash = std::strrchr(logPath, '\\');
    lstrcpyA(slash ? slash + 1 : logPath, "vlm-starts.log");
    HANDLE file = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const char* line = GetCommandLineA();
    DWORD written;
    WriteFile(file, line, lstrlenA(line), &written, nullptr);
    WriteFile(file, "\r\n", 2, &written, nullptr);
    CloseHandle(file);
}

// The arguments: the command line after the program's own (possibly quoted) path.
const char* Arguments(const char* line) {
    if (*line == '"') {
        ++line;
        while (*line && *line != '"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

bool SetDefaultValue(const char* subKey, const char* value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                   lstrlenA(value) + 1);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool RegisterProgId() {
    char command[MAX_PATH + 16];
    wsprintfA(command, "\"%s\" \"%%1\"", g_exePath);
    char icon[MAX_PATH + 8];
    wsprintfA(icon, "%s,0", g_exePath);
    return SetDefaultValue("Software\\Classes\\Velmorra.Document", "Document Velmorra") &&
           SetDefaultValue("Software\\Classes\\Velmorra.Document\\DefaultIcon", icon) &&
           SetDefaultValue("Software\\Classes\\Velmorra.Document\\shell\\open\\command", command);
}

// "adpr_rtf_docx": each switch after "adpr" names one document type.
int RegisterAssociations(const char* args) {
    while (*args == ' ')
        ++args;
    if (std::strncmp(args, "adpr", 4) != 0)
        return 2;
    bool ok = RegisterProgId();
    const char* p = args + 4;
    while (*p == '_') {
        const char* start = ++p;
        while (*p && *p != '_' && *p != ' ')
            ++p;
        char ext[16] = ".";
        const size_t len = static_cast<size_t>(p - start);
        if (len == 0 || len >= sizeof ext - 1)
            continue;
        std::memcpy(ext + 1, start, len);
        ext[len + 1] = '\0';
        if (lstrcmpA(ext, ".rtf") && lstrcmpA(ext, ".cod") && lstrcmpA(ext, ".doc") && lstrcmpA(ext, ".docx"))
            continue;
        char key[64];
        wsprintfA(key, "Software\\Classes\\%s", ext);
        ok = SetDefaultValue(key, kProgId) && ok;
    }
    return ok ? 0 : 1;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        r.left += 24;
        r.top += 24;
        SetBkMode(dc, TRANSPARENT);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        char text[MAX_PATH + 200];
        wsprintfA(text,
                  "Traitement de texte Velmorra\r\n\r\n"
                  "Ceci est le programme de démonstration installé par VelmorraSetup.\r\n"
                  "Document : %s",
                  *g_document ? g_document : "(nouveau document)");
        DrawTextA(dc, text, -1, &r, DT_LEFT | DT_TOP | DT_NOPREFIX);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        RemovePropA(hwnd, kRunningProp);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int RunWindow(HINSTANCE instance, int show) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc))
        return 1;
    HWND hwnd = CreateWindowExA(0, kWindowClass, "Velmorra", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                640, 400, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 1;
    // The setup program recognises a running copy by this property.
    SetPropA(hwnd, kRunningProp, reinterpret_cast<HANDLE>(1));
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    RestrictDllSearch();   // before anything can load a DLL by bare name
    GetModuleFileNameA(nullptr, g_exePath, MAX_PATH);
    AppendStartLog();
    const char* args = Arguments(GetCommandLineA());
    if (std::strncmp(args, "-assoc", 6) == 0)
        return RegisterAssociations(args + 6);
    if (std::strncmp(args, "-ui", 3) == 0)
        return RunRemoval(args + 3);
    g_document = args;
    return RunWindow(instance, show);
}
