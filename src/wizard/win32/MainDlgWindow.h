// The wizard form as a real window: its layout, its drawing, and the routing of the user's
// actions and the window's messages to the rules of TMainDlgForm, which act on its controls.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>
#include "wizard/MainDlg.h"
#include "wizard/win32/WizardControls.h"

struct LayoutRow;   // one control of the layout table

class MainDlgWindow {
public:
    // questions: where the form asks; it outlives the window.
    explicit MainDlgWindow(const QuestionService& questions);
    ~MainDlgWindow();
    MainDlgWindow(const MainDlgWindow&) = delete;
    MainDlgWindow& operator=(const MainDlgWindow&) = delete;

    // Makes the hidden window with every control, then the form's start: the saved
    // settings (args: the command line without the program name) and page 0.
    bool Create(const std::vector<std::string>& args);
    // Shows the window and runs its message loop until the form has closed; hides it then.
    void RunModal();

    HWND Handle() const { return window_; }
    HWND Control(Ctl control) const { return controls_.Control(control); }
    HWND Page(int page) const { return page >= 0 && page < 8 ? pages_[page] : nullptr; }
    TMainDlgForm& Form() { return *form_; }

    // Control ids of the three buttons (children of the form window).
    static const int kBackId = 10, kNextId = 11, kCancelId = 12;

private:
    static LRESULT CALLBACK FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Message(UINT msg, WPARAM wParam, LPARAM lParam);
    // Fonts and logos for dpi_; those they replace are handed back to be deleted once unused.
    std::vector<HGDIOBJ> MakeFontsAndPictures();
    SIZE FrameSize() const;
    void CreatePages();
    void PlacePages();
    void CreateControls();
    HWND Add(const LayoutRow& row);
    HWND AddList(const LayoutRow& row, HWND parent, HFONT font);
    HFONT FontOf(const LayoutRow& row) const;
    void FitControls();
    // The window moved to a monitor of another scaling: the suggested rectangle, then the
    // layout, fonts and pictures again for the new DPI.
    void ChangeDpi(int dpi, const RECT& suggested);
    void Click(int id);
    void NextControl(WPARAM which, bool given);
    void Paint();

    HWND window_ = nullptr;
    int dpi_ = 96;   // the layout table's numbers are at 96 DPI and scaled to this
    HWND pages_[8] = {};
    std::vector<HWND> rows_;   // each row of the layout table's window
    HFONT formFont_ = nullptr, boldFont_ = nullptr, titleFont_ = nullptr;
    HBITMAP logo_ = nullptr, logoSmall_ = nullptr;
    HBRUSH white_ = nullptr;
    HWND lastFocus_ = nullptr;   // kept while the wizard is inactive
    const QuestionService& questions_;
    WizardControls controls_;   // made before the form, which acts on them, and gone after it
    std::unique_ptr<TMainDlgForm> form_;
};
