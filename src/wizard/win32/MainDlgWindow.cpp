#include "wizard/win32/MainDlgWindow.h"
#include <algorithm>

#include <commctrl.h>
#include <stdlib.h>

#include "engine/ResConst.h"
#include "platform/Win32Platform.h"
#include "wizard/MessageTexts.h"
#include "wizard/win32/CheckListWindow.h"
#include "wizard/win32/Dpi.h"
#include "wizard/win32/FileCtrlWindow.h"
#include "wizard/win32/MessageDialogWindow.h"
#include "wizard/win32/Pictures.h"
#include "wizard/win32/TextFit.h"
#include "wizard/win32/WizardControls.h"

namespace {

const char* const kFormClass = "VelmorraSetupForm";
const char* const kPageClass = "VelmorraSetupPage";
const char* const kCaption = "Installation du traitement de texte Velmorra";

// Layout at 96 dots per inch, scaled to the window's DPI where a window is made or moved.
const int kClientWidth = 492, kClientHeight = 351;
const int kTopHeight = 46;
const int kPageLeft = 124, kPageTop = 45, kPageWidth = 367, kPageHeight = 260;   // inside the frame at 120, 41
const int kSeparatorTop = 306;
const int kBottomTop = 307;
const int kLeftColumnWidth = 123;
const int kCheckHeight = 17, kEditHeight = 21;
const int kDirListId = 201, kDriveBoxId = 202, kCompListId = 203;
const COLORREF kNavy = RGB(0, 0, 128);
const DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
const DWORD kFormExStyle = WS_EX_CONTROLPARENT;

int IdOf(Ctl control) { return 1000 + static_cast<int>(control); }

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

HFONT MakeFont(const char* face, int height, int weight)
{
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y)
{
    if (!bitmap)
        return;
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

// The form's procedure until the window is made and its own takes over.
LRESULT CALLBACK FormCreationProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE)
        EnableNonClientScaling(window);
    return DefWindowProcA(window, msg, wParam, lParam);
}

// Registered once per process; a second wizard finds them already there.
bool RegisterClasses()
{
    WNDCLASSA known{};
    if (GetClassInfoA(Instance(), kFormClass, &known))
        return true;
    WNDCLASSA page{};
    page.lpfnWndProc = DefWindowProcA;
    page.hInstance = Instance();
    page.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    page.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    page.lpszClassName = kPageClass;
    RegisterClassA(&page);

    WNDCLASSA form{};
    form.lpfnWndProc = FormCreationProc;
    form.hInstance = Instance();
    form.hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(1));
    form.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    form.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    form.lpszClassName = kFormClass;
    return RegisterClassA(&form) != 0;
}

}  // namespace

MainDlgWindow::MainDlgWindow(const QuestionService& questions) : questions_(questions) {}

MainDlgWindow::~MainDlgWindow()
{
    if (window_)
        DestroyWindow(window_);   // the timers and the controls go with it
    form_.reset();
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(formFont_), static_cast<HGDIOBJ>(boldFont_),
                           static_cast<HGDIOBJ>(titleFont_), static_cast<HGDIOBJ>(logo_),
                           static_cast<HGDIOBJ>(logoSmall_), static_cast<HGDIOBJ>(white_)})
        if (object)
            DeleteObject(object);
}

bool MainDlgWindow::Create(const std::vector<std::string>& args)
{
    // Windows are made on the wizard's thread only: no other thread registers alongside.
    if (!RegisterClasses())
        return false;
    InitCommonControlClasses(ICC_PROGRESS_CLASS);

    // Made at the system's DPI, then at its monitor's, which only per-monitor Windows tells apart.
    dpi_ = SystemDpi();
    SIZE size = FrameSize();
    const int left = (GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2, top = (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2;
    window_ = CreateWindowExA(kFormExStyle, kFormClass, kCaption, kFormStyle, left, top, size.cx, size.cy, nullptr,
                              nullptr, Instance(), nullptr);
    if (!window_)
        return false;
    if (WindowDpi(window_) != dpi_) {
        dpi_ = WindowDpi(window_);
        size = FrameSize();
        SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    controls_.SetDpi(dpi_);
    white_ = CreateSolidBrush(RGB(255, 255, 255));
    MakeFontsAndPictures();
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FormProc));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadIconA(Instance(), MAKEINTRESOURCEA(1))));
    SendMessageA(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageA(Instance(), MAKEINTRESOURCEA(1), IMAGE_ICON, 16, 16, 0)));

    controls_.SetWindow(window_);
    form_ = std::make_unique<TMainDlgForm>(controls_, questions_);
    CreatePages();
    CreateControls();
    form_->Init(args);
    return true;
}

std::vector<HGDIOBJ> MainDlgWindow::MakeFontsAndPictures()
{
    std::vector<HGDIOBJ> old{formFont_, boldFont_, titleFont_, logo_, logoSmall_};
    formFont_ = MakeFont("MS Shell Dlg 2", ScaleToDpi(-11, dpi_), FW_NORMAL);
    boldFont_ = MakeFont("MS Shell Dlg 2", ScaleToDpi(-11, dpi_), FW_BOLD);
    titleFont_ = MakeFont("Arial", ScaleToDpi(-15, dpi_), FW_BOLD);
    logo_ = LoadPictureForDpi("LOGO", true, false, dpi_);
    logoSmall_ = LoadPictureForDpi("LOGOSMALL", true, false, dpi_);
    return old;
}

SIZE MainDlgWindow::FrameSize() const
{
    RECT frame{0, 0, ScaleToDpi(kClientWidth, dpi_), ScaleToDpi(kClientHeight, dpi_)};
    AdjustFrameForDpi(frame, kFormStyle, kFormExStyle, dpi_);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void MainDlgWindow::CreatePages()
{
    for (int page = 0; page < 8; ++page) {
        // Named by its title, which a screen reader announces as the focus moves into the page;
        // a page draws no text of its own.
        pages_[page] = CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, PageTitles[page], WS_CHILD | WS_CLIPSIBLINGS,
                                       0, 0, 0, 0, window_, nullptr, Instance(), nullptr);
        controls_.SetPage(page, pages_[page]);
        SetWindowLongPtrA(pages_[page], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PageProc));
    }
    PlacePages();
}

void MainDlgWindow::PlacePages()
{
    const ScaledBox box = ScaleBoxToDpi(kPageLeft, kPageTop, kPageWidth, kPageHeight, dpi_);
    // The title strip lies above the page's first row, as the panel lies above the frame.
    const int hidden = ScaleToDpi(kTopHeight, dpi_) - box.y;
    for (HWND page : pages_) {
        SetWindowPos(page, nullptr, box.x, box.y, box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowRgn(page, CreateRectRgn(0, hidden, box.width, box.height), FALSE);
    }
}

// --- The layout

enum class LayoutFont { Form, Bold, Title };
enum class LayoutSize { Given, ToText };   // a label sized to its text

// One control, in creation order, which is the tab order and the order in which a label comes
// before the control it names. Page -1: the form itself.
struct LayoutRow {
    int page;
    Ctl control;           // Ctl::None: a label or frame the rules never touch
    const char* cls;       // a window class, or one of the owner-drawn lists below
    const char* text;
    DWORD style;
    int x, y, w, h;
    DWORD exStyle = 0;
    LayoutFont font = LayoutFont::Form;
    LayoutSize size = LayoutSize::Given;
    int id = 0;            // 0: from the control
};

namespace {
const char kFolderList[] = "folder list", kDriveBox[] = "drive box", kCheckList[] = "check list";
const DWORD kLabel = SS_LEFT;
const DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
const DWORD kMemo = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP;
const int kSpaceLeft = 11, kSpaceTop = 200;   // the disk-space frame of page 3
const int kButtonTop = kBottomTop + 12;
const int kNameLeft = 73;                     // the component being installed, page 5

const LayoutRow kLayout[] = {
    // The two labels whose text changes keep one width: white on white and face colour on
    // face colour, the extra width does not show, and nothing is left of a longer text.
    {-1, Ctl::TopLbl, "STATIC", "", SS_LEFT | SS_NOPREFIX, 20, 14, 415, 18, 0, LayoutFont::Title},
    // 0: welcome
    {0, Ctl::WelcomeLbl, "STATIC", "", kLabel, 12, 27, 349, 115},
    // 1: licence
    {1, Ctl::None, "STATIC", "Veuillez lire l'Accord de licence ci-dessous :", kLabel, 12, 7, 10, 10, 0,
     LayoutFont::Form, LayoutSize::ToText},
    {1, Ctl::LicenseMemo, "EDIT", "", kMemo, 12, 25, 345, 207, WS_EX_CLIENTEDGE},
    {1, Ctl::LicenseChkBx, "BUTTON", "J'&accepte l'Accord de licence ci-dessus dans son intégralité.", kCheck, 12,
     237, 310, kCheckHeight},
    // 2: destination (the label comes just before the edit: its accelerator focuses it)
    {2, Ctl::None, "STATIC",
     "Veuillez indiquer dans quel &dossier vous voulez installer\rTraitement de texte Velmorra :", kLabel, 11, 7,
     345, 30},
    {2, Ctl::DestDirEdt, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 11, 43, 345, kEditHeight, WS_EX_CLIENTEDGE},
    {2, Ctl::None, kFolderList, "", 0, 11, 65, 345, 157, 0, LayoutFont::Form, LayoutSize::Given, kDirListId},
    {2, Ctl::None, kDriveBox, "", 0, 11, 225, 345, 19, 0, LayoutFont::Form, LayoutSize::Given, kDriveBoxId},
    // 3: components
    {3, Ctl::SelCompLbl, "STATIC", "", kLabel, 11, 7, 345, 30},
    {3, Ctl::SelCompLstBx, kCheckList, "", 0, 11, 43, 345, 148, 0, LayoutFont::Form, LayoutSize::Given, kCompListId},
    {3, Ctl::None, "STATIC", "", SS_ETCHEDFRAME, kSpaceLeft, kSpaceTop, 345, 49},
    {3, Ctl::None, "STATIC", "Espace disque requis :", kLabel, kSpaceLeft + 8, kSpaceTop + 8, 10, 10, 0,
     LayoutFont::Form, LayoutSize::ToText},
    {3, Ctl::SelCompDiskSpaceReqLbl2, "STATIC", "", SS_RIGHT, kSpaceLeft + 185, kSpaceTop + 8, 150, 13},
    {3, Ctl::None, "STATIC", "Espace disque libre :", kLabel, kSpaceLeft + 8, kSpaceTop + 25, 10, 10, 0,
     LayoutFont::Form, LayoutSize::ToText},
    {3, Ctl::SelCompDiskSpaceAvailLbl2, "STATIC", "", SS_RIGHT, kSpaceLeft + 185, kSpaceTop + 25, 150, 13},
    // 4: ready
    {4, Ctl::None, "STATIC",
     "Traitement de texte Velmorra est maintenant prêt à être installé.\r\rCliquez sur \"Suite\" pour commencer "
     "l'installation. Cliquez sur \"Retour\" pour revoir ou modifier les options de l'installation.",
     kLabel, 11, 7, 345, 58},
    {4, Ctl::InstallToAllChkBx, "BUTTON", "Installer pour &tous les utilisateurs de cet ordinateur", kCheck, 11, 209,
     275, kCheckHeight},
    // 5: installing
    {5, Ctl::None, "STATIC", "Installation :", kLabel, 11, 170, 10, 10, 0, LayoutFont::Form, LayoutSize::ToText},
    {5, Ctl::InstallingLbl2, "STATIC", "", kLabel, kNameLeft, 170, 345 + 11 - kNameLeft, 13, 0, LayoutFont::Bold},
    {5, Ctl::InstallingProgressBar, PROGRESS_CLASSA, "", 0, 11, 190, 345, 16},
    // 6: associations
    {6, Ctl::None, "STATIC",
     "Veuillez cocher les cases correspondant aux types de document que vous voulez associer à Traitement de "
     "texte Velmorra :",
     kLabel, 11, 7, 320, 32},
    {6, Ctl::AssocChkBx1, "BUTTON", "Documents RTF", kCheck, 40, 76, 203, kCheckHeight},
    {6, Ctl::AssocChkBx2, "BUTTON", "Documents COD cryptés", kCheck, 40, 103, 169, kCheckHeight},
    {6, Ctl::AssocChkBx3, "BUTTON", "Documents MS Word DOC", kCheck, 40, 130, 173, kCheckHeight},
    {6, Ctl::AssocChkBx4, "BUTTON", "Documents MS Word DOCX", kCheck, 40, 157, 180, kCheckHeight},
    // 7: finished
    {7, Ctl::FinishLbl, "STATIC", "", kLabel, 11, 7, 345, 160},
    {7, Ctl::FinishChkBx, "BUTTON", "&Lancer Traitement de texte Velmorra tout de suite", kCheck, 40, 190, 300,
     kCheckHeight},
    // The buttons, on the bottom panel at 0, 307; Cancel's caption is the message dialog's.
    {-1, Ctl::BackBtn, "BUTTON", "< &Retour", kButton, 210, kButtonTop, 85, 22, 0, LayoutFont::Form,
     LayoutSize::Given, MainDlgWindow::kBackId},
    {-1, Ctl::NextBtn, "BUTTON", "&Suite >", BS_DEFPUSHBUTTON | WS_TABSTOP, 295, kButtonTop, 85, 22, 0,
     LayoutFont::Form, LayoutSize::Given, MainDlgWindow::kNextId},
    {-1, Ctl::CancelBtn, "BUTTON", "", kButton, 392, kButtonTop, 85, 22, 0, LayoutFont::Form, LayoutSize::Given,
     MainDlgWindow::kCancelId},
};
}  // namespace

void MainDlgWindow::CreateControls()
{
    for (const LayoutRow& row : kLayout)
        rows_.push_back(Add(row));
    SendMessageA(Control(Ctl::LicenseMemo), EM_SETLIMITTEXT, 0, 0);
    SendMessageA(Control(Ctl::LicenseChkBx), BM_SETCHECK, BST_CHECKED, 0);
    SetWindowTextA(Control(Ctl::CancelBtn), ButtonCaption(3));
    FitControls();
}

HFONT MainDlgWindow::FontOf(const LayoutRow& row) const
{
    return row.font == LayoutFont::Bold ? boldFont_ : row.font == LayoutFont::Title ? titleFont_ : formFont_;
}

HWND MainDlgWindow::Add(const LayoutRow& row)
{
    HWND parent = row.page >= 0 ? pages_[row.page] : window_;
    const HFONT font = FontOf(row);
    if (HWND list = AddList(row, parent, font)) {
        controls_.Adopt(row.control, list);
        return list;
    }
    const int id = row.id ? row.id : row.control == Ctl::None ? -1 : IdOf(row.control);
    const bool label = lstrcmpiA(row.cls, "STATIC") == 0;
    const ScaledBox box = ScaleBoxToDpi(row.x, row.y, row.w, row.h, dpi_);
    HWND child = CreateWindowExA(row.exStyle, row.cls, label ? DisplayText(row.text).c_str() : row.text,
                                 WS_CHILD | WS_VISIBLE | row.style, box.x, box.y, box.width, box.height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (row.control != Ctl::None)
        controls_.Adopt(row.control, child);
    return child;
}

// Labels and check boxes sized to their texts in the fonts of the window's DPI, once the
// controls are where the table puts them.
void MainDlgWindow::FitControls()
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        controls_.FitWrappedText(rows_[i]);
        if (kLayout[i].size == LayoutSize::ToText)
            WizardControls::FitToText(rows_[i]);
    }
    // The component name moves right of its label where the font is wider than Tahoma's.
    HWND name = Control(Ctl::InstallingLbl2);
    RECT label;
    GetWindowRect(GetWindow(name, GW_HWNDPREV), &label);
    MapWindowPoints(nullptr, pages_[5], reinterpret_cast<POINT*>(&label), 2);
    const ScaledBox box = ScaleBoxToDpi(kNameLeft, 170, 345 + 11 - kNameLeft, 13, dpi_);
    const int left = std::max<int>(box.x, label.right + ScaleToDpi(4, dpi_));
    SetWindowPos(name, nullptr, left, box.y, box.x + box.width - left, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
    controls_.FitWrappedText(name);
}

void MainDlgWindow::ChangeDpi(int dpi, const RECT& suggested)
{
    dpi_ = dpi;
    controls_.SetDpi(dpi);
    const std::vector<HGDIOBJ> old = MakeFontsAndPictures();
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // Windows' rectangle is the old one scaled, rounded its own way: the client must be the
    // layout's size exactly, inside the frame as Windows now draws it.
    RECT frame, client;
    GetWindowRect(window_, &frame);
    GetClientRect(window_, &client);
    SetWindowPos(window_, nullptr, 0, 0, ScaleToDpi(kClientWidth, dpi_) + (frame.right - frame.left) - client.right,
                 ScaleToDpi(kClientHeight, dpi_) + (frame.bottom - frame.top) - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlacePages();
    for (size_t i = 0; i < rows_.size(); ++i) {
        const LayoutRow& row = kLayout[i];
        const ScaledBox box = ScaleBoxToDpi(row.x, row.y, row.w, row.h, dpi_);
        SetWindowPos(rows_[i], nullptr, box.x, box.y, box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(rows_[i], WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(row)), FALSE);
        RescaleBrowseControl(rows_[i], FontOf(row), dpi_);
    }
    FitControls();
    for (HGDIOBJ object : old)
        if (object)
            DeleteObject(object);
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The owner-drawn lists over the form's models; none for any other row.
HWND MainDlgWindow::AddList(const LayoutRow& row, HWND parent, HFONT font)
{
    TMainDlgForm& form = *form_;
    const ScaledBox box = ScaleBoxToDpi(row.x, row.y, row.w, row.h, dpi_);
    if (row.cls == kFolderList)
        return CreateDirectoryListWindow(parent, row.id, box.x, box.y, box.width, box.height, form.DestDirLstBx, font,
                                         dpi_);
    if (row.cls == kDriveBox)
        return CreateDriveComboWindow(parent, row.id, box.x, box.y, box.width, box.height, form.DestDirCmbBx, font,
                                      dpi_);
    if (row.cls != kCheckList)
        return nullptr;
    return CreateCheckListWindow(
        parent, row.id, box.x, box.y, box.width, box.height, form.SelCompLstBx, font,
        [&form](int r) { return RowSizeText(form.SelCompLstBx.Value(r), form.MainDir); },
        [&form](int r) { return r >= 0 && r < static_cast<int>(form.CompIds.size()) && form.CompIds[r] == 0; }, dpi_);
}

// --- Drawing

void MainDlgWindow::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    auto at = [this](int value) { return ScaleToDpi(value, dpi_); };
    // Title strip: white, raised inner and lowered outer bevel.
    RECT top{0, 0, at(kClientWidth), at(kTopHeight)};
    FillRect(dc, &top, white_);
    DrawEdge(dc, &top, EDGE_ETCHED, BF_RECT);
    DrawBitmap(dc, logoSmall_, at(440), at(6));
    // Logo column with its etched line on the right edge (the etched lines stay two pixels).
    DrawBitmap(dc, logo_, at(1), at(kTopHeight));
    RECT column{at(kLeftColumnWidth) - 2, at(kTopHeight), at(kLeftColumnWidth), at(kSeparatorTop)};
    DrawEdge(dc, &column, EDGE_ETCHED, BF_LEFT);
    // The line above the buttons.
    RECT separator{at(1), at(kSeparatorTop), at(kClientWidth), at(kSeparatorTop) + 2};
    DrawEdge(dc, &separator, EDGE_ETCHED, BF_TOP);
    EndPaint(window_, &ps);
}

// --- Messages

// What a dialog does with WM_NEXTDLGCTL: a label's accelerator and Tab in the licence text
// ask for it. A control to focus (given), or the next or previous one from the focus.
void MainDlgWindow::NextControl(WPARAM which, bool given)
{
    HWND focus = GetFocus();
    HWND target = given ? reinterpret_cast<HWND>(which)
                        : GetNextDlgTabItem(window_, focus && IsChild(window_, focus) ? focus : nullptr, which != 0);
    if (!target || !IsChild(window_, target))
        return;
    if (SendMessageA(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        SendMessageA(target, EM_SETSEL, 0, -1);   // as Tab into an edit selects its text
    SetFocus(target);
}

void MainDlgWindow::Click(int id)
{
    HWND button = GetDlgItem(window_, id);
    // The button's own state: a hidden Back button is not pressed by a stray message.
    // Nor while a question has the wizard disabled.
    if (!form_ || !button || !IsWindowEnabled(button) || !(GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE) ||
        !IsWindowEnabled(window_))
        return;
    if (id == kBackId)
        form_->BackClick();
    else if (id == kNextId)
        form_->NextClick();
    else if (id == kCancelId)
        form_->CancelClick();
}

LRESULT MainDlgWindow::Message(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kBackId:
        case kNextId:
        case kCancelId:
            if (HIWORD(wParam) == BN_CLICKED)
                Click(LOWORD(wParam));
            return 0;
        case IDOK:      // Enter, where no button has the focus
            Click(kNextId);
            return 0;
        case IDCANCEL:  // Esc
            Click(kCancelId);
            return 0;
        }
        break;
    case DM_GETDEFID:
        return MAKELONG(kNextId, DC_HASDEFID);
    case WM_NEXTDLGCTL:
        NextControl(wParam, LOWORD(lParam) != 0);
        return 0;
    case WM_CLOSE:
        if (form_)
            form_->CloseRequest();
        return 0;
    case WM_TIMER:
        if (form_)
            form_->TimerTick(static_cast<int>(wParam));
        return 0;
    case kWorkerDoneMsg:
        if (form_)
            form_->TimerTick(1);
        return 0;
    case WM_ACTIVATE:
        // As a dialog does: the control that had the focus gets it back after a question.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            lastFocus_ = focus && IsChild(window_, focus) ? focus : nullptr;
        } else if (lastFocus_ && IsChild(window_, lastFocus_) && IsWindowVisible(lastFocus_) &&
                   IsWindowEnabled(lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_ACTIVATEAPP:
        if (form_)
            form_->ActivateApp(wParam != 0);
        return 0;
    case WM_QUERYENDSESSION:
        if (form_ && !form_->QueryEndSession()) {
            SetShutdownBlockReason(window_, kMsgSessionEndRefused);
            return FALSE;
        }
        return TRUE;
    case WM_ENDSESSION:
        if (!wParam)
            ClearShutdownBlockReason(window_);   // the session goes on
        else if (form_)
            form_->EndSession();   // the process may end as soon as this returns
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case kDpiChangedMsg:
        ChangeDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == Control(Ctl::TopLbl)) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, kNavy);
            SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(white_);
        }
        break;
    case WM_SETCURSOR:
        if (controls_.WaitCursor()) {
            SetCursor(LoadCursorA(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    }
    return DefWindowProcA(window_, msg, wParam, lParam);
}

LRESULT CALLBACK MainDlgWindow::FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<MainDlgWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self || self->window_ != window)
        return DefWindowProcA(window, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        self->window_ = nullptr;
        return DefWindowProcA(window, msg, wParam, lParam);
    }
    return self->Message(msg, wParam, lParam);
}

// A page forwards its list controls' messages to them and the rest to the form.
LRESULT CALLBACK MainDlgWindow::PageProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    switch (msg) {
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_COMMAND:
        if (HandleBrowseControlMessage(window, msg, wParam, lParam, result))
            return result;
        if (msg == WM_COMMAND)
            return SendMessageA(GetParent(window), msg, wParam, lParam);
        break;
    case WM_CLOSE:
        // A multi-line edit sends Esc to its parent as a close: that is the form's to decide.
    case WM_NEXTDLGCTL:
        // And Tab as a move to the next control.
        return SendMessageA(GetParent(window), msg, wParam, lParam);
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

void MainDlgWindow::RunModal()
{
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
    HWND focus = controls_.TakePendingFocus();
    SetFocus(focus ? focus : window_);
    MSG msg;
    while (window_ && !form_->Closed()) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));   // for whoever runs the next loop
            break;
        }
        if (got == -1)
            break;
        // The licence text is read-only: Enter there means Next, as everywhere else.
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd == Control(Ctl::LicenseMemo)) {
            Click(kNextId);
            continue;
        }
        if (!IsDialogMessageA(window_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    if (window_)
        ShowWindow(window_, SW_HIDE);
}
