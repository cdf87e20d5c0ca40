#include "wizard/win32/AccessibleList.h"

#include <ole2.h>
#include <oleacc.h>

#include "platform/Win32Platform.h"

namespace {

// Windows 98 and NT 4.0 lack oleacc.dll (and NT 4.0 NotifyWinEvent) unless an update brought
// them: looked up once, by the wizard's thread.
struct OleAccEntries {
    using LresultFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using StandardFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    using NotifyFn = void(WINAPI*)(DWORD, HWND, LONG, LONG);
    LresultFn lresultFromObject = nullptr;
    StandardFn createStandard = nullptr;
    NotifyFn notify = nullptr;
};

template <typename Fn>
Fn AccEntry(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

const OleAccEntries& OleAcc()
{
    static const OleAccEntries entries = [] {
        OleAccEntries e;
        HMODULE oleacc = LoadSystemLibrary("oleacc.dll").Detach();   // kept for the whole run
        e.lresultFromObject = AccEntry<OleAccEntries::LresultFn>(oleacc, "LresultFromObject");
        e.createStandard = AccEntry<OleAccEntries::StandardFn>(oleacc, "CreateStdAccessibleObject");
        e.notify = AccEntry<OleAccEntries::NotifyFn>(GetModuleHandleA("user32.dll"), "NotifyWinEvent");
        return e;
    }();
    return entries;
}

HRESULT Bstr(const std::string& text, BSTR* out)
{
    *out = nullptr;
    if (text.empty())
        return S_FALSE;
    const int length = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    *out = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (!*out)
        return E_OUTOFMEMORY;
    MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), *out, length);
    return S_OK;
}

HRESULT ChildVariant(LONG child, VARIANT* out)
{
    out->vt = VT_I4;
    out->lVal = child;
    return S_OK;
}

bool IsClass(HWND window, const char* name)
{
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    return lstrcmpiA(cls, name) == 0;
}

std::string WindowTextOf(HWND window)
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The nearest text label before the control in the tab order.
HWND LabelOf(HWND control)
{
    for (HWND h = GetWindow(control, GW_HWNDPREV); h; h = GetWindow(h, GW_HWNDPREV)) {
        const DWORD type = GetWindowLongA(h, GWL_STYLE) & SS_TYPEMASK;
        if (IsClass(h, "Static") && type <= SS_RIGHT && GetWindowTextLengthA(h) > 0)
            return h;
    }
    return nullptr;
}

// The name a label gives the control after it: its text without the accelerator's "&" and
// with its line breaks as spaces.
std::string LabelName(const std::string& text)
{
    std::string name;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '&' && i + 1 < text.size())
            c = text[++i];   // "&&" stands for one "&"
        if (c == '\r' || c == '\n') {
            if (!name.empty() && name.back() != ' ')
                name += ' ';
            continue;
        }
        name += c;
    }
    return name;
}

// The label's accelerator as "Alt+C", or empty.
std::string LabelShortcut(const std::string& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] != '&') {
            char letter[2] = {text[i + 1], '\0'};
            CharUpperBuffA(letter, 1);
            return std::string("Alt+") + letter;
        }
        ++i;
    }
    return std::string();
}

}  // namespace

// The client object of one list window. Children are the rows, numbered from 1 as Windows'
// own list proxies number them; what is not the list's own is left to the standard object.
class AccessibleListObject final : public IAccessible {
public:
    AccessibleListObject(HWND window, AccessibleRows& rows) : window_(window), rows_(&rows)
    {
        combo_ = IsClass(window, "ComboBox");
        if (OleAcc().createStandard)
            OleAcc().createStandard(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&standard_));
    }

    void Disconnect()
    {
        rows_ = nullptr;
        if (standard_)
            standard_->Release();
        standard_ = nullptr;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, __uuidof(IUnknown)) && !IsEqualIID(iid, __uuidof(IDispatch)) &&
            !IsEqualIID(iid, __uuidof(IAccessible)))
            return E_NOINTERFACE;
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: clients call IAccessible directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        *parent = nullptr;
        if (!rows_)
            return CO_E_OBJNOTCONNECTED;
        return standard_ ? standard_->get_accParent(parent) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override
    {
        *count = rows_ ? RowCount() : 0;
        return rows_ ? S_OK : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override
    {
        *out = nullptr;
        int row;
        const HRESULT reached = Reach(child, row);
        return reached != S_OK ? reached : row >= 0 ? S_FALSE : E_INVALIDARG;   // rows are simple elements
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override { return Text(Say::Name, child, out); }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override { return Text(Say::Value, child, out); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override
    {
        return Text(Say::Description, child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override
    {
        return Number(child, out, [](AccessibleListObject& self, int row) { return self.Role(row); });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override
    {
        return Number(child, out, [](AccessibleListObject& self, int row) { return self.State(row); });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override { return Text(Say::Nothing, child, out); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override
    {
        *topic = 0;
        return Text(Say::Nothing, child, file);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override
    {
        return Text(Say::Shortcut, child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override
    {
        out->vt = VT_EMPTY;
        if (!rows_)
            return CO_E_OBJNOTCONNECTED;
        if (GetFocus() != window_)
            return S_FALSE;
        return ChildVariant(Selected() >= 0 ? Selected() + 1 : CHILDID_SELF, out);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override
    {
        out->vt = VT_EMPTY;
        if (!rows_)
            return CO_E_OBJNOTCONNECTED;
        return Selected() >= 0 ? ChildVariant(Selected() + 1, out) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override
    {
        return Text(Say::Action, child, out);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* w, LONG* h, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* out) override;
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    enum class Say { Nothing, Name, Value, Description, Action, Shortcut };

    ~AccessibleListObject() { Disconnect(); }

    // The row a child id names, -1 for the list itself.
    HRESULT Reach(const VARIANT& child, int& row) const
    {
        row = -1;
        if (!rows_)
            return CO_E_OBJNOTCONNECTED;
        if (child.vt != VT_I4 || child.lVal < 0 || child.lVal > RowCount())
            return E_INVALIDARG;
        row = static_cast<int>(child.lVal) - 1;
        return S_OK;
    }

    // Every text goes through here: nothing may cross into the client, a failed allocation
    // is an answer too.
    HRESULT Text(Say what, const VARIANT& child, BSTR* out)
    {
        *out = nullptr;
        int row;
        const HRESULT reached = Reach(child, row);
        if (reached != S_OK)
            return reached;
        try {
            return Bstr(TextOf(what, row), out);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    std::string TextOf(Say what, int row)
    {
        switch (what) {
        case Say::Name: return row < 0 ? ListName() : RowText(row);
        // A drop-down list shows its selected row, as Windows' own proxy says.
        case Say::Value: return row < 0 && combo_ && Selected() >= 0 ? RowText(Selected()) : std::string();
        case Say::Description: return row < 0 ? std::string() : rows_->RowDescription(row);
        case Say::Action: return row < 0 ? std::string() : RowAction(row);
        case Say::Shortcut: return row < 0 ? ListShortcut() : std::string();
        default: return std::string();
        }
    }

    HRESULT Number(const VARIANT& child, VARIANT* out, LONG (*of)(AccessibleListObject&, int))
    {
        out->vt = VT_EMPTY;
        int row;
        const HRESULT reached = Reach(child, row);
        return reached != S_OK ? reached : ChildVariant(of(*this, row), out);
    }

    LRESULT Send(UINT listMsg, UINT comboMsg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return SendMessageA(window_, combo_ ? comboMsg : listMsg, wParam, lParam);
    }
    int RowCount() const
    {
        const LRESULT count = Send(LB_GETCOUNT, CB_GETCOUNT);
        return count > 0 ? static_cast<int>(count) : 0;
    }
    int Selected() const { return static_cast<int>(Send(LB_GETCURSEL, CB_GETCURSEL)); }   // -1: none

    std::string RowText(int row) const
    {
        const LRESULT length = Send(LB_GETTEXTLEN, CB_GETLBTEXTLEN, static_cast<WPARAM>(row));
        if (length <= 0)
            return std::string();
        std::string text(static_cast<size_t>(length) + 1, '\0');
        const LRESULT got = Send(LB_GETTEXT, CB_GETLBTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return text;
    }

    std::string ListName() const
    {
        HWND label = LabelOf(window_);
        return label ? LabelName(WindowTextOf(label)) : std::string();
    }
    // Only the label just before the list focuses it with its accelerator.
    std::string ListShortcut() const
    {
        HWND label = LabelOf(window_);
        if (!label || GetWindow(window_, GW_HWNDPREV) != label || (GetWindowLongA(label, GWL_STYLE) & SS_NOPREFIX))
            return std::string();
        return LabelShortcut(WindowTextOf(label));
    }

    LONG Role(int row) const
    {
        if (row < 0)
            return combo_ ? ROLE_SYSTEM_COMBOBOX : ROLE_SYSTEM_LIST;
        return rows_->RowCheck(row) == AccessibleRows::Check::None ? ROLE_SYSTEM_LISTITEM : ROLE_SYSTEM_CHECKBUTTON;
    }

    LONG State(int row) const
    {
        const bool focused = GetFocus() == window_;
        if (row < 0) {
            return STATE_SYSTEM_FOCUSABLE | (focused ? STATE_SYSTEM_FOCUSED : 0) |
                   (IsWindowVisible(window_) ? 0 : STATE_SYSTEM_INVISIBLE) |
                   (IsWindowEnabled(window_) ? 0 : STATE_SYSTEM_UNAVAILABLE);
        }
        LONG state = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
        const AccessibleRows::Check check = rows_->RowCheck(row);
        if (check == AccessibleRows::Check::Checked)
            state |= STATE_SYSTEM_CHECKED;
        if (check == AccessibleRows::Check::Mixed)
            state |= STATE_SYSTEM_MIXED;
        if (rows_->RowUnavailable(row))
            state |= STATE_SYSTEM_UNAVAILABLE;
        if (row == Selected())
            state |= STATE_SYSTEM_SELECTED | (focused ? STATE_SYSTEM_FOCUSED : 0);
        RECT r;
        if (!Rect(row, r))
            state |= STATE_SYSTEM_INVISIBLE;
        return state;
    }

    const char* RowAction(int row) const
    {
        switch (rows_->RowCheck(row)) {
        case AccessibleRows::Check::None: return "";
        case AccessibleRows::Check::Unchecked: return "Cocher";
        default: return "Décocher";   // a grayed row's toggle unchecks it too
        }
    }

    bool Rect(int row, RECT& r) const;

    LONG refs_ = 1;
    HWND window_;
    AccessibleRows* rows_;   // none once the window has gone
    IAccessible* standard_ = nullptr;
    bool combo_ = false;
};

// Screen coordinates. A drop-down list's rows are inside its closed box only when selected.
bool AccessibleListObject::Rect(int row, RECT& r) const
{
    if (row < 0 || (combo_ && row == Selected()))
        return GetWindowRect(window_, &r) != FALSE;
    if (combo_ || SendMessageA(window_, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)) == LB_ERR)
        return false;
    RECT client;
    GetClientRect(window_, &client);
    if (r.bottom <= client.top || r.top >= client.bottom)
        return false;   // scrolled out of view
    MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return true;
}

HRESULT AccessibleListObject::accLocation(LONG* x, LONG* y, LONG* w, LONG* h, VARIANT child)
{
    *x = *y = *w = *h = 0;
    int row;
    RECT r;
    const HRESULT reached = Reach(child, row);
    if (reached != S_OK || !Rect(row, r))
        return reached != S_OK ? reached : S_FALSE;
    *x = r.left;
    *y = r.top;
    *w = r.right - r.left;
    *h = r.bottom - r.top;
    return S_OK;
}

// The user's own pick: the control tells its parent, which tells the rules.
HRESULT AccessibleListObject::accSelect(LONG flags, VARIANT child)
{
    int row;
    const HRESULT reached = Reach(child, row);
    if (reached != S_OK)
        return reached;
    if (flags & SELFLAG_TAKEFOCUS)
        SetFocus(window_);
    if (row < 0 || !(flags & (SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION)))
        return (flags & SELFLAG_TAKEFOCUS) ? S_OK : E_INVALIDARG;
    Send(LB_SETCURSEL, CB_SETCURSEL, static_cast<WPARAM>(row));
    const WORD notification = combo_ ? CBN_SELCHANGE : LBN_SELCHANGE;
    const WORD id = static_cast<WORD>(GetDlgCtrlID(window_));
    SendMessageA(GetParent(window_), WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(window_));
    return S_OK;
}

HRESULT AccessibleListObject::accNavigate(LONG direction, VARIANT start, VARIANT* out)
{
    out->vt = VT_EMPTY;
    int row;
    const HRESULT reached = Reach(start, row);
    if (reached != S_OK)
        return reached;
    int to = -1;
    const bool firstOrLast = direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD;
    if (row < 0 && firstOrLast)
        to = direction == NAVDIR_FIRSTCHILD ? 0 : RowCount() - 1;
    else if (row < 0)
        return standard_ ? standard_->accNavigate(direction, start, out) : S_FALSE;
    else if (firstOrLast)
        return E_INVALIDARG;
    else if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN)
        to = row + 1;
    else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)
        to = row - 1;
    return to >= 0 && to < RowCount() ? ChildVariant(to + 1, out) : S_FALSE;
}

HRESULT AccessibleListObject::accHitTest(LONG x, LONG y, VARIANT* out)
{
    out->vt = VT_EMPTY;
    if (!rows_)
        return CO_E_OBJNOTCONNECTED;
    const POINT point{x, y};
    RECT r;
    for (int row = 0; row < RowCount(); ++row)
        if (!(combo_ && row == Selected()) && Rect(row, r) && PtInRect(&r, point))
            return ChildVariant(row + 1, out);
    return GetWindowRect(window_, &r) && PtInRect(&r, point) ? ChildVariant(CHILDID_SELF, out) : S_FALSE;
}

HRESULT AccessibleListObject::accDoDefaultAction(VARIANT child)
{
    int row;
    const HRESULT reached = Reach(child, row);
    if (reached != S_OK)
        return reached;
    if (row < 0 || !*RowAction(row))
        return DISP_E_MEMBERNOTFOUND;
    try {
        rows_->ToggleRow(row);   // as Space does
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

AccessibleList::AccessibleList(HWND window, AccessibleRows& rows) : window_(window), rows_(rows) {}

AccessibleList::~AccessibleList()
{
    if (object_) {
        object_->Disconnect();
        object_->Release();
    }
}

bool AccessibleList::Answer(WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT) || !OleAcc().lresultFromObject)
        return false;
    if (!object_)
        object_ = new AccessibleListObject(window_, rows_);
    result = OleAcc().lresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(object_));
    return result >= 0;   // else the standard proxy answers
}

void AccessibleList::RowStateChanged(int row)
{
    if (OleAcc().notify && row >= 0)
        OleAcc().notify(EVENT_OBJECT_STATECHANGE, window_, OBJID_CLIENT, row + 1);
}

void AccessibleList::SelectionMoved()
{
    const UINT msg = IsClass(window_, "ComboBox") ? CB_GETCURSEL : LB_GETCURSEL;
    const int row = static_cast<int>(SendMessageA(window_, msg, 0, 0));
    if (!OleAcc().notify || row < 0)
        return;
    if (GetFocus() == window_)
        OleAcc().notify(EVENT_OBJECT_FOCUS, window_, OBJID_CLIENT, row + 1);
    OleAcc().notify(EVENT_OBJECT_SELECTION, window_, OBJID_CLIENT, row + 1);
}
