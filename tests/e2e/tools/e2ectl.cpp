// e2ectl: drives and inspects the setup program from outside, as the end-to-end scripts need.
// Runs under Wine beside the program under test; prints UTF-8 and exits 0 on success,
// 1 when the window, control or state asked for is not there (in time; why on stderr),
// 2 on bad usage.
//
//   wait <title> [seconds]             a visible top-level window with exactly this title
//   gone <title> [seconds]             no visible top-level window with this title any more
//   state <title>                      the window's visible controls, one per line:
//                                      where<TAB>class<TAB>visible<TAB>enabled<TAB>checked<TAB>text
//   waitlabel <title> <text> [seconds] a visible label of the window shows exactly this text
//   gettext <title> <class>            the whole text of the first visible control of that class
//   post <title> <caption> [<title> <caption>]...
//                                      presses each button (BM_CLICK, posted) in order, without
//                                      waiting in between: they queue up on the program's thread
//   check <title> <caption> 0|1        clicks a check box until it shows the state asked for
//   row <title> <n>                    clicks the check box of row n of the visible owner-drawn list
//   dialog [seconds]                   waits for a message dialog and prints caption=, button=, text=
//   answer <caption> [seconds]         presses that button of the message dialog; waits until it closes
//                                      ("[close]": its close box, as Alt+F4 does)
//   prop <name> 0|1 [seconds]          waits until a top-level window carrying that window property
//                                      is there (1) or no longer there (0)
//   close <title>                      asks every top-level window with this title to close
//   hold <path> <flag>                 opens the file without sharing, prints "held", and keeps it
//                                      open until the file <flag> exists
//   lnk <path>                         a shell link's target=, dir=, desc=, args=
//   reg HKCU|HKLM <key> [64]           the key's values, name=type:value (exit 1: no such key)
//   folder <csidl>                     a special folder's path
//   drive <root>                       the drive type number of a root such as E:\ (2: removable)
//   focus <title>                      the control with the keyboard focus in that window's thread:
//                                      class<TAB>text (a list: its selected row's text)
//   rows <title>                       every row text of the visible lists and drop-down lists,
//                                      class<TAB>text, as LB_GETTEXT / CB_GETLBTEXT give them
//   modal <caption> <title>            the message dialog's owner (owner=<its title>) and whether the
//                                      window <title> takes input (enabled=0|1)
//   front <title> <flag>               shows a window of its own in front and keeps it until the
//                                      file <flag> exists; prints "front" once it is up
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t* const kDialogCaptions[] = {L"Avertissement", L"Erreur", L"Information", L"Confirmation"};
const DWORD kPollMs = 50;

void Write(const std::wstring& text, DWORD stream = STD_OUTPUT_HANDLE)
{
    if (text.empty())
        return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    DWORD written;
    WriteFile(GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Line(const std::wstring& text) { Write(text + L"\n"); }

int Fail(const std::wstring& why)
{
    Write(L"e2ectl: " + why + L"\n", STD_ERROR_HANDLE);
    return 1;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// WM_GETTEXT reaches the control's own text in another process (edit controls included).
std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        2000, &got);
    text.resize(wcslen(text.c_str()));
    return text;
}

// A top-level window's caption, without sending it a message (some may not answer).
std::wstring CaptionOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring OneLine(std::wstring text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
            continue;
        out += text[i] == L'\r' || text[i] == L'\n' ? std::wstring(L"\\n") : std::wstring(1, text[i]);
    }
    return out;
}

bool IsCheckBox(HWND window)
{
    if (ClassOf(window) != L"Button")
        return false;
    const LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}

int CheckState(HWND window)
{
    DWORD_PTR state = 0;
    SendMessageTimeoutW(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state);
    return static_cast<int>(state);
}

struct TitleSearch {
    std::wstring title;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TitleSearch*>(param);
    if (IsWindowVisible(window) && CaptionOf(window) == search->title)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelNamed(const std::wstring& title)
{
    TitleSearch search{title, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND TopLevel(const std::wstring& title)
{
    const std::vector<HWND> found = TopLevelNamed(title);
    return found.empty() ? nullptr : found.front();
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param)
{
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> Descendants(HWND window)
{
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND VisibleControl(HWND top, const std::wstring& cls, const std::wstring& caption = std::wstring())
{
    for (HWND child : Descendants(top)) {
        if (!IsWindowVisible(child) || _wcsicmp(ClassOf(child).c_str(), cls.c_str()) != 0)
            continue;
        if (caption.empty() || TextOf(child) == caption)
            return child;
    }
    return nullptr;
}

double Seconds(int argc, wchar_t** argv, int index, double otherwise)
{
    return index < argc ? _wtof(argv[index]) : otherwise;
}

template <typename Condition>
bool WaitFor(double seconds, Condition condition)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= static_cast<DWORD>(seconds * 1000))
            return false;
        Sleep(kPollMs);
    }
}

bool IsMessageDialog(HWND window)
{
    if (!IsWindowVisible(window) || ClassOf(window) != L"#32770")
        return false;
    const std::wstring caption = CaptionOf(window);
    for (const wchar_t* known : kDialogCaptions)
        if (caption == known)
            return true;
    return false;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM param)
{
    if (!IsMessageDialog(window))
        return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

HWND MessageDialog()
{
    HWND found = nullptr;
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND RequireTop(const std::wstring& title)
{
    HWND top = TopLevel(title);
    if (!top)
        Fail(L"no window \"" + title + L"\"");
    return top;
}

int Wait(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const std::wstring title = argv[2];
    return WaitFor(Seconds(argc, argv, 3, 30), [&] { return TopLevel(title) != nullptr; })
               ? 0
               : Fail(L"no window \"" + title + L"\" in time");
}

int Gone(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const std::wstring title = argv[2];
    return WaitFor(Seconds(argc, argv, 3, 30), [&] { return TopLevel(title) == nullptr; })
               ? 0
               : Fail(L"window \"" + title + L"\" still there");
}

int State(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    HWND top = RequireTop(argv[2]);
    if (!top)
        return 1;
    for (HWND child : Descendants(top)) {
        if (!IsWindowVisible(child))
            continue;
        const std::wstring cls = ClassOf(child);
        std::wstring text = TextOf(child);
        if (cls == PROGRESS_CLASSW) {
            DWORD_PTR pos = 0, max = 0;
            SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &pos);
            SendMessageTimeoutW(child, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 2000, &max);
            text = std::to_wstring(pos) + L"/" + std::to_wstring(max);
        }
        const std::wstring where = GetParent(child) == top ? L"top" : L"page";
        const int checked = IsCheckBox(child) ? CheckState(child) : -1;
        Line(where + L"\t" + cls + L"\t1\t" + (IsWindowEnabled(child) ? L"1" : L"0") + L"\t" +
             std::to_wstring(checked) + L"\t" + OneLine(text.substr(0, 300)));
    }
    return 0;
}

int WaitLabel(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    const std::wstring title = argv[2], text = argv[3];
    const bool shown = WaitFor(Seconds(argc, argv, 4, 30), [&] {
        HWND top = TopLevel(title);
        return top && VisibleControl(top, L"Static", text) != nullptr;
    });
    return shown ? 0 : Fail(L"no label \"" + text + L"\" in \"" + title + L"\" in time");
}

int GetText(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    HWND top = RequireTop(argv[2]);
    if (!top)
        return 1;
    HWND control = VisibleControl(top, argv[3]);
    if (!control)
        return Fail(L"no visible control of class " + std::wstring(argv[3]));
    Write(TextOf(control));
    return 0;
}

HWND UsableButton(const std::wstring& title, const std::wstring& caption)
{
    HWND top = RequireTop(title);
    if (!top)
        return nullptr;
    HWND button = VisibleControl(top, L"Button", caption);
    if (!button) {
        Fail(L"no visible button \"" + caption + L"\" in \"" + title + L"\"");
        return nullptr;
    }
    if (!IsWindowEnabled(button)) {
        Fail(L"button \"" + caption + L"\" is disabled");
        return nullptr;
    }
    return button;
}

int Post(int argc, wchar_t** argv)
{
    if (argc < 4 || argc % 2 != 0)
        return 2;
    std::vector<HWND> buttons;
    for (int i = 2; i + 1 < argc; i += 2) {
        HWND button = UsableButton(argv[i], argv[i + 1]);
        if (!button)
            return 1;
        buttons.push_back(button);
    }
    for (HWND button : buttons)
        PostMessageW(button, BM_CLICK, 0, 0);
    return 0;
}

int Check(int argc, wchar_t** argv)
{
    if (argc < 5)
        return 2;
    const std::wstring title = argv[2], caption = argv[3];
    const int wanted = _wtoi(argv[4]) ? BST_CHECKED : BST_UNCHECKED;
    HWND box = UsableButton(title, caption);
    if (!box)
        return 1;
    if (!IsCheckBox(box))
        return Fail(L"\"" + caption + L"\" is not a check box");
    if (CheckState(box) != wanted)
        PostMessageW(box, BM_CLICK, 0, 0);
    return WaitFor(5, [&] { return CheckState(box) == wanted; }) ? 0 : Fail(L"\"" + caption + L"\" did not change");
}

// A press in the margin left of a row's text toggles its check box.
int Row(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    HWND top = RequireTop(argv[2]);
    if (!top)
        return 1;
    HWND list = nullptr;
    for (HWND child : Descendants(top))
        if (IsWindowVisible(child) && ClassOf(child) == L"ListBox" &&
            (GetWindowLongW(child, GWL_STYLE) & LBS_OWNERDRAWFIXED)) {
            list = child;
            break;
        }
    if (!list)
        return Fail(L"no visible owner-drawn list");
    const int row = _wtoi(argv[3]);
    DWORD_PTR height = 0, topIndex = 0, count = 0;
    SendMessageTimeoutW(list, LB_GETITEMHEIGHT, 0, 0, SMTO_ABORTIFHUNG, 2000, &height);
    SendMessageTimeoutW(list, LB_GETTOPINDEX, 0, 0, SMTO_ABORTIFHUNG, 2000, &topIndex);
    SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    if (row < static_cast<int>(topIndex) || row >= static_cast<int>(count) || height == 0)
        return Fail(L"row " + std::to_wstring(row) + L" is not shown (top " + std::to_wstring(topIndex) +
                    L", count " + std::to_wstring(count) + L", height " + std::to_wstring(height) + L")");
    const int y = (row - static_cast<int>(topIndex)) * static_cast<int>(height) + static_cast<int>(height) / 2;
    const LPARAM point = MAKELPARAM(5, y);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(list, WM_LBUTTONUP, 0, point);
    // Both are handled once a message sent after them comes back.
    DWORD_PTR ignored;
    SendMessageTimeoutW(list, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    return 0;
}

void SplitLines(const std::wstring& text, std::vector<std::wstring>& lines)
{
    std::wstring line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' || text[i] == L'\n') {
            if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
            lines.push_back(line);
            line.clear();
        } else {
            line += text[i];
        }
    }
    lines.push_back(line);
}

int Dialog(int argc, wchar_t** argv)
{
    HWND dialog = nullptr;
    if (!WaitFor(Seconds(argc, argv, 2, 30), [&] { return (dialog = MessageDialog()) != nullptr; }))
        return Fail(L"no message dialog in time");
    Line(L"caption=" + CaptionOf(dialog));
    std::vector<std::wstring> lines;
    for (HWND child : Descendants(dialog)) {
        const std::wstring cls = ClassOf(child);
        if (cls == L"Button")
            Line(L"button=" + TextOf(child));
        else if (cls == L"Static" && !TextOf(child).empty())
            SplitLines(TextOf(child), lines);
    }
    for (const std::wstring& line : lines)
        Line(L"text=" + line);
    return 0;
}

int Answer(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const double seconds = Seconds(argc, argv, 3, 30);
    HWND dialog = nullptr;
    if (!WaitFor(seconds, [&] { return (dialog = MessageDialog()) != nullptr; }))
        return Fail(L"no message dialog in time");
    const bool closeBox = std::wstring(argv[2]) == L"[close]";
    HWND button = closeBox ? dialog : VisibleControl(dialog, L"Button", argv[2]);
    if (!button)
        return Fail(L"the dialog has no button \"" + std::wstring(argv[2]) + L"\"");
    PostMessageW(button, closeBox ? WM_SYSCOMMAND : BM_CLICK, closeBox ? SC_CLOSE : 0, 0);
    return WaitFor(seconds, [&] { return !IsWindow(dialog); }) ? 0 : Fail(L"the dialog stayed open");
}

struct PropertySearch {
    const wchar_t* name;
    bool found;
};

BOOL CALLBACK FindProperty(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<PropertySearch*>(param);
    if (!GetPropW(window, search->name))
        return TRUE;
    search->found = true;
    return FALSE;
}

int Property(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    const bool wanted = _wtoi(argv[3]) != 0;
    const bool reached = WaitFor(Seconds(argc, argv, 4, 30), [&] {
        PropertySearch search{argv[2], false};
        EnumWindows(FindProperty, reinterpret_cast<LPARAM>(&search));
        return search.found == wanted;
    });
    return reached ? 0 : Fail(std::wstring(L"a window with the property \"") + argv[2] + (wanted ? L"\" is missing" : L"\" remains"));
}

int Close(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const std::vector<HWND> windows = TopLevelNamed(argv[2]);
    if (windows.empty())
        return Fail(L"no window \"" + std::wstring(argv[2]) + L"\"");
    for (HWND window : windows)
        PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}

int Hold(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    HANDLE file = CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Fail(L"cannot open " + std::wstring(argv[2]));
    Line(L"held");
    // Never longer than a test may last.
    WaitFor(600, [&] { return GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES; });
    CloseHandle(file);
    return 0;
}

int Link(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    if (FAILED(CoInitialize(nullptr)))
        return Fail(L"no COM");
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    int result = 1;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(argv[2], STGM_READ))) {
        wchar_t text[1024];
        text[0] = 0;
        link->GetPath(text, 1024, nullptr, SLGP_RAWPATH);
        Line(L"target=" + std::wstring(text));
        text[0] = 0;
        link->GetWorkingDirectory(text, 1024);
        Line(L"dir=" + std::wstring(text));
        text[0] = 0;
        link->GetDescription(text, 1024);
        Line(L"desc=" + std::wstring(text));
        text[0] = 0;
        link->GetArguments(text, 1024);
        Line(L"args=" + std::wstring(text));
        result = 0;
    } else {
        Fail(L"cannot read the link " + std::wstring(argv[2]));
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    CoUninitialize();
    return result;
}

std::wstring ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size)
{
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        text.resize(wcslen(text.c_str()));
        return L"sz:" + text;
    }
    if (type == REG_DWORD && size == 4)
        return L"dword:" + std::to_wstring(*reinterpret_cast<const DWORD*>(data.data()));
    std::wstring hex = L"bin:";
    const wchar_t* digits = L"0123456789abcdef";
    for (DWORD i = 0; i < size; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

int Registry(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    const std::wstring root = argv[2];
    HKEY base = root == L"HKCU" ? HKEY_CURRENT_USER : root == L"HKLM" ? HKEY_LOCAL_MACHINE : nullptr;
    if (!base)
        return 2;
    const REGSAM view = argc > 4 && std::wstring(argv[4]) == L"64" ? KEY_WOW64_64KEY : 0;
    HKEY key;
    if (RegOpenKeyExW(base, argv[3], 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return Fail(L"no key " + root + L"\\" + argv[3]);
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD nameLength = 512, type = 0, size = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size + 2);
        nameLength = 512;
        RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
        Line((nameLength ? std::wstring(name) : std::wstring(L"@")) + L"=" + ValueText(type, data, size));
    }
    RegCloseKey(key);
    return 0;
}

int SpecialFolderPath(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, _wtoi(argv[2]), nullptr, 0, path)))
        return Fail(L"no folder " + std::wstring(argv[2]));
    Line(path);
    return 0;
}

int DriveType(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    Line(std::to_wstring(GetDriveTypeW(argv[2])));
    return 0;
}

// --- Focus, rows and modality, read from outside as a keyboard user or a screen reader would

std::wstring RowText(HWND control, bool combo, int row)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, row, 0, SMTO_ABORTIFHUNG, 2000,
                             &length) ||
        static_cast<LRESULT>(length) < 0)
        return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(control, combo ? CB_GETLBTEXT : LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &got);
    text.resize(wcslen(text.c_str()));
    return text;
}

bool IsList(HWND control, bool& combo)
{
    const std::wstring cls = ClassOf(control);
    combo = cls == L"ComboBox";
    return combo || cls == L"ListBox";
}

int Focus(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    HWND top = RequireTop(argv[2]);
    if (!top)
        return 1;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info) || !info.hwndFocus)
        return Fail(L"no control has the focus");
    bool combo = false;
    std::wstring text = TextOf(info.hwndFocus);
    if (IsList(info.hwndFocus, combo)) {
        DWORD_PTR row = 0;
        SendMessageTimeoutW(info.hwndFocus, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &row);
        text = RowText(info.hwndFocus, combo, static_cast<int>(row));
    }
    Line(ClassOf(info.hwndFocus) + L"\t" + OneLine(text.substr(0, 80)));
    return 0;
}

int Rows(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    HWND top = RequireTop(argv[2]);
    if (!top)
        return 1;
    for (HWND child : Descendants(top)) {
        bool combo = false;
        if (!IsWindowVisible(child) || !IsList(child, combo))
            continue;
        DWORD_PTR count = 0;
        SendMessageTimeoutW(child, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
        for (int row = 0; row < static_cast<int>(count); ++row)
            Line(ClassOf(child) + L"\t" + RowText(child, combo, row));
    }
    return 0;
}

int Modal(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    HWND dialog = nullptr;
    const std::wstring caption = argv[2];
    if (!WaitFor(30, [&] { return (dialog = MessageDialog()) != nullptr && CaptionOf(dialog) == caption; }))
        return Fail(L"no message dialog \"" + caption + L"\" in time");
    HWND top = RequireTop(argv[3]);
    if (!top)
        return 1;
    HWND owner = GetWindow(dialog, GW_OWNER);
    Line(L"owner=" + (owner ? CaptionOf(owner) : std::wstring()));
    Line(std::wstring(L"enabled=") + (IsWindowEnabled(top) ? L"1" : L"0"));
    return 0;
}

LRESULT CALLBACK FrontProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, msg, wParam, lParam);
}

int Front(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    WNDCLASSW cls{};
    cls.lpfnWndProc = FrontProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    cls.lpszClassName = L"E2eFront";
    RegisterClassW(&cls);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, L"E2eFront", argv[2], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                                  300, 200, nullptr, nullptr, cls.hInstance, nullptr);
    if (!window)
        return Fail(L"no window of its own");
    SetForegroundWindow(window);
    SetActiveWindow(window);
    SetFocus(window);
    Line(L"front");
    const DWORD start = GetTickCount();
    while (GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 600000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    }
    DestroyWindow(window);
    return 0;
}

// Runs a program with the other arguments (each quoted), waits for its end and prints its
// whole exit code: Wine's own exit status keeps only the low byte.
int Run(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    std::wstring line = L"\"" + std::wstring(argv[2]) + L"\"";
    for (int i = 3; i < argc; ++i)
        line += L" \"" + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return Fail(L"cannot start " + std::wstring(argv[2]));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Line(std::to_wstring(code));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    const std::wstring command = argv[1];
    struct {
        const wchar_t* name;
        int (*run)(int, wchar_t**);
    } const commands[] = {
        {L"wait", Wait},     {L"gone", Gone},     {L"state", State},     {L"gettext", GetText},
        {L"post", Post},     {L"check", Check},   {L"row", Row},
        {L"dialog", Dialog}, {L"answer", Answer}, {L"close", Close},     {L"hold", Hold},
        {L"lnk", Link},      {L"reg", Registry},  {L"folder", SpecialFolderPath}, {L"drive", DriveType},
        {L"waitlabel", WaitLabel}, {L"prop", Property},
        {L"focus", Focus}, {L"rows", Rows}, {L"modal", Modal}, {L"front", Front},
        {L"run", Run},
    };
    for (const auto& known : commands)
        if (command == known.name)
            return known.run(argc, argv);
    Write(L"e2ectl: unknown command " + command + L"\n", STD_ERROR_HANDLE);
    return 2;
}
