// a11yctl: reads the setup program's lists from outside as a screen reader does, through
// Active Accessibility (AccessibleObjectFromWindow). Runs under Wine beside the program; prints
// UTF-8; exits 0, 1 when the list is not there (why on stderr), 2 on bad usage.
//
//   rows <title>   the visible owner-drawn list box of that window: a first line for the list,
//                  list<TAB>role<TAB>states<TAB>name, then one line per row,
//                  <child id><TAB>role<TAB>states<TAB>name
//                  (roles list, checkbutton or a number; states among
//                  checked, mixed, unavailable, selected, focused, comma-separated)
#include <windows.h>
#include <objbase.h>
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

void Write(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(size - 1), &written, nullptr);
}

int Fail(const wchar_t* why)
{
    fwprintf(stderr, L"a11yctl: %ls\n", why);
    return 1;
}

BOOL CALLBACK FindList(HWND window, LPARAM found)
{
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (_wcsicmp(cls, L"ListBox") != 0 || !IsWindowVisible(window) ||
        !(GetWindowLongW(window, GWL_STYLE) & LBS_OWNERDRAWFIXED))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

std::wstring RoleWord(LONG role)
{
    return role == ROLE_SYSTEM_LIST ? L"list" : role == ROLE_SYSTEM_CHECKBUTTON ? L"checkbutton" : std::to_wstring(role);
}

std::wstring StateWords(LONG state)
{
    const struct {
        LONG bit;
        const wchar_t* word;
    } words[] = {{STATE_SYSTEM_CHECKED, L"checked"},   {STATE_SYSTEM_MIXED, L"mixed"},
                 {STATE_SYSTEM_UNAVAILABLE, L"unavailable"}, {STATE_SYSTEM_SELECTED, L"selected"},
                 {STATE_SYSTEM_FOCUSED, L"focused"}};
    std::wstring out;
    for (const auto& w : words)
        if (state & w.bit)
            out += (out.empty() ? L"" : L",") + std::wstring(w.word);
    return out;
}

std::wstring Line(IAccessible* list, LONG child)
{
    VARIANT id;
    id.vt = VT_I4;
    id.lVal = child;
    VARIANT role, state;
    role.vt = state.vt = VT_EMPTY;
    BSTR name = nullptr;
    list->get_accRole(id, &role);
    list->get_accState(id, &state);
    list->get_accName(id, &name);
    std::wstring line = (child == CHILDID_SELF ? std::wstring(L"list") : std::to_wstring(child)) + L"\t" +
                        (role.vt == VT_I4 ? RoleWord(role.lVal) : L"?") + L"\t" +
                        (state.vt == VT_I4 ? StateWords(state.lVal) : L"?") + L"\t" + (name ? name : L"") + L"\n";
    SysFreeString(name);
    return line;
}

int Rows(const wchar_t* title)
{
    HWND top = FindWindowW(nullptr, title);
    HWND found = nullptr;
    if (top)
        EnumChildWindows(top, FindList, reinterpret_cast<LPARAM>(&found));
    if (!found)
        return Fail(L"no visible owner-drawn list");
    IAccessible* list = nullptr;
    if (AccessibleObjectFromWindow(found, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&list)) != S_OK || !list)
        return Fail(L"the list gives no accessible object");
    LONG count = 0;
    list->get_accChildCount(&count);
    std::wstring out = Line(list, CHILDID_SELF);
    for (LONG child = 1; child <= count; ++child)
        out += Line(list, child);
    list->Release();
    Write(out);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3 || wcscmp(argv[1], L"rows") != 0)
        return 2;
    CoInitialize(nullptr);
    const int result = Rows(argv[2]);
    CoUninitialize();
    return result;
}
