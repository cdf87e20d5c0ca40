// The wizard and its message dialog at the screen's DPI, and moved to a screen of another one.
#include <string>

#include "../unit/ArchiveBuilder.h"
#include "../unit/support/ScriptedDialog.h"
#include "RealMachine.h"
#include "engine/ResConst.h"
#include "wizard/DisplayScale.h"
#include "wizard/MessageTexts.h"
#include "wizard/win32/Dpi.h"
#include "wizard/win32/MainDlgWindow.h"
#include "wizard/win32/MessageDialogWindow.h"

namespace {

RECT ClientIn(HWND control, HWND window)
{
    RECT r;
    GetClientRect(control, &r);
    MapWindowPoints(control, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int FontHeight(HWND control)
{
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// Every label, check box and button under the window shows its whole text: a label's text
// wrapped at its width fits its height, a caption fits beside its box or inside its button.
void ExpectEveryTextWhole(HWND window, int dpi)
{
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        ExpectEveryTextWhole(c, dpi);
        char cls[16] = {}, text[1024] = {};
        GetClassNameA(c, cls, sizeof cls);
        GetWindowTextA(c, text, sizeof text);
        const LONG style = GetWindowLongA(c, GWL_STYLE);
        const bool label = lstrcmpiA(cls, "Static") == 0 && ((style & SS_TYPEMASK) == SS_LEFT ||
                                                            (style & SS_TYPEMASK) == SS_RIGHT);
        const bool check = lstrcmpiA(cls, "Button") == 0 && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
        const bool button = lstrcmpiA(cls, "Button") == 0 && (style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
        if (!*text || (!label && !check && !button))
            continue;
        RECT box, need{};
        GetClientRect(c, &box);
        const int room = check ? box.right - MetricForDpi(SM_CXMENUCHECK, dpi) - 3 : box.right;
        need.right = label ? room : 0;
        HDC dc = GetDC(c);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(c, WM_GETFONT, 0, 0)));
        DrawTextA(dc, text, -1, &need,
                  DT_CALCRECT | (label ? DT_WORDBREAK : DT_SINGLELINE) | (style & SS_NOPREFIX ? DT_NOPREFIX : 0));
        SelectObject(dc, old);
        ReleaseDC(c, dc);
        EXPECT_LE(need.bottom, box.bottom) << dpi << " DPI: " << text;
        EXPECT_LE(need.right, room) << dpi << " DPI: " << text;
    }
}

class WizardDpi : public RealMachineTest {
protected:
    void SetUp() override
    {
        RealMachineTest::SetUp();
        ArchiveBuilder builder;
        builder.Add("vlm.exe", "MZ").Add("Licence.txt", "Contrat de licence\r\n");
        archive = builder.Open();
        AttachedFiles = archive.get();
    }
    void TearDown() override
    {
        window.reset();
        AttachedFiles = nullptr;
        RealMachineTest::TearDown();
    }
    // Windows' message, with its suggested rectangle at the given place.
    void MoveToDpi(int dpi, int x, int y)
    {
        RECT r{x, y, x + 100, y + 100};
        SendMessageA(window->Handle(), kDpiChangedMsg, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
    }
    void ExpectLaidOutAt(int dpi)
    {
        RECT client;
        GetClientRect(window->Handle(), &client);
        EXPECT_EQ(client.right, ScaleToDpi(492, dpi));
        EXPECT_EQ(client.bottom, ScaleToDpi(351, dpi));
        const RECT next = ClientIn(window->Control(Ctl::NextBtn), window->Handle());
        const ScaledBox want = ScaleBoxToDpi(295, 319, 85, 22, dpi);
        EXPECT_EQ(next.left, want.x);
        EXPECT_EQ(next.top, want.y);
        EXPECT_EQ(next.right - next.left, want.width);
        EXPECT_EQ(ClientIn(window->Control(Ctl::BackBtn), window->Handle()).right, next.left);
        EXPECT_EQ(ClientIn(window->Page(2), window->Handle()).left, ScaleToDpi(124, dpi));
        EXPECT_EQ(FontHeight(window->Control(Ctl::NextBtn)), ScaleToDpi(-11, dpi));
        EXPECT_EQ(FontHeight(window->Control(Ctl::TopLbl)), ScaleToDpi(-15, dpi));
        // The lists' rows hold their glyphs, drawn for the DPI, and their font.
        HWND folders = GetDlgItem(window->Page(2), 201), components = window->Control(Ctl::SelCompLstBx);
        EXPECT_GE(SendMessageA(folders, LB_GETITEMHEIGHT, 0, 0), ScaleToDpi(17, dpi));
        EXPECT_GE(SendMessageA(components, LB_GETITEMHEIGHT, 0, 0), ScaleToDpi(16, dpi));
        ExpectEveryTextWhole(window->Handle(), dpi);
    }

    std::unique_ptr<TAttachedFiles> archive;
    QuestionService questions;
    std::unique_ptr<MainDlgWindow> window = std::make_unique<MainDlgWindow>(questions);
    ScriptedDialog dialog{questions, mrNo};
};

int buttonBefore, buttonAfter, buttonFont;
UINT_PTR probe;

// From inside the dialog's own loop: its "&Non" button at the system's DPI, then on a 200 % screen.
void CALLBACK MoveDialogTo192(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = FindWindowA("#32770", "Confirmation");
    if (!dialog || !IsWindowVisible(dialog))
        return;
    KillTimer(nullptr, probe);
    const int no = 100 + 1;
    RECT r = ClientIn(GetDlgItem(dialog, no), dialog);
    buttonBefore = r.bottom - r.top;
    RECT suggested{10, 20, 300, 200};
    SendMessageA(dialog, kDpiChangedMsg, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    r = ClientIn(GetDlgItem(dialog, no), dialog);
    buttonAfter = r.bottom - r.top;
    buttonFont = FontHeight(GetDlgItem(dialog, no));
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

// At the system's DPI (run the tier with Wine's LogPixels at 144 to see 150 %), then on a
// screen of 150 %, then 200 %, and back: each time the table scaled afresh, nothing piling up.
TEST_F(WizardDpi, LayoutFontsListsAndTextsFollowTheWindowsDpi)
{
    ASSERT_TRUE(window->Create({"-d" + scratch + "Velmorra"}));
    for (int page = 0; page < 4; ++page)
        SendMessageA(window->Handle(), WM_COMMAND, MAKEWPARAM(MainDlgWindow::kNextId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(window->Control(Ctl::NextBtn)));
    ExpectLaidOutAt(SystemDpi());
    for (int dpi : {144, 192, SystemDpi()}) {
        MoveToDpi(dpi, 40, 30);
        RECT frame;
        GetWindowRect(window->Handle(), &frame);
        EXPECT_EQ(frame.left, 40);
        EXPECT_EQ(frame.top, 30);
        ExpectLaidOutAt(dpi);
    }
}

TEST(MessageDialogDpi, LaidOutAgainForTheNewDpiWhenMovedToAnotherScreen)
{
    probe = SetTimer(nullptr, 0, 20, MoveDialogTo192);
    EXPECT_EQ(ShowMessageDialog(kMsgConfirmCancel, mtConfirmation, mbNo | mbAbort), mrNo);
    EXPECT_EQ(buttonBefore, ScaleToDpi(23, SystemDpi()));
    EXPECT_EQ(buttonAfter, 46);
    HFONT expected = CreateMessageFontForDpi(192);
    LOGFONTA wanted{};
    GetObjectA(expected, sizeof wanted, &wanted);
    DeleteObject(expected);
    EXPECT_EQ(buttonFont, wanted.lfHeight);
    EXPECT_LE(buttonFont, -20);   // the metrics' font at 200 %, not the system's
}
