// What screen readers learn of an owner-drawn list box or drop-down list (Active
// Accessibility): the list named by the label before it, one child per row named by the text
// the row keeps in the control, and for check lists the row's check state and its toggle.
// The drawing knows nothing of it. Without oleacc.dll's entries there is no object, silently.
#pragma once
#include <windows.h>

#include <string>

// What the rows hold beyond their texts, which the control itself keeps. Rows are list items
// unless they say they carry a check box.
class AccessibleRows {
public:
    enum class Check { None, Unchecked, Checked, Mixed };
    virtual Check RowCheck(int) { return Check::None; }
    virtual bool RowUnavailable(int) { return false; }
    virtual std::string RowDescription(int) { return std::string(); }
    virtual void ToggleRow(int) {}

protected:
    ~AccessibleRows() = default;
};

class AccessibleListObject;

// One per control window, owned by the control and gone with it. Clients that still hold the
// object afterwards get CO_E_OBJNOTCONNECTED from every call.
class AccessibleList {
public:
    AccessibleList(HWND window, AccessibleRows& rows);
    ~AccessibleList();
    AccessibleList(const AccessibleList&) = delete;
    AccessibleList& operator=(const AccessibleList&) = delete;

    // WM_GETOBJECT: true, with what to return, when the client object was asked for and given.
    bool Answer(WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Events for the screen reader: a row's check changed; the selection moved (also the focus
    // when the list has it).
    void RowStateChanged(int row);
    void SelectionMoved();

private:
    HWND window_;
    AccessibleRows& rows_;
    AccessibleListObject* object_ = nullptr;
};
