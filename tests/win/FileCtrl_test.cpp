// The folder list, the drive box and the check list as real controls in a plain window.
#include <algorithm>
#include <string>
#include <vector>

#include "RealMachine.h"
#include "wizard/CompPage.h"
#include "wizard/FileCtrl.h"
#include "wizard/win32/CheckListWindow.h"
#include "wizard/win32/FileCtrlWindow.h"

namespace {

const int kListId = 101, kDrivesId = 102, kChecksId = 103;

LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleBrowseControlMessage(window, msg, wParam, lParam, result)) return result;
    return DefWindowProcA(window, msg, wParam, lParam);
}

// A plain top-level window that forwards its controls' messages, as the wizard does.
HWND NewHostWindow() {
    static ATOM atom = [] {
        WNDCLASSA c{};
        c.lpfnWndProc = HostProc;
        c.hInstance = GetModuleHandleA(nullptr);
        c.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        c.lpszClassName = "BrowseTestHost";
        return RegisterClassA(&c);
    }();
    EXPECT_NE(atom, 0);
    return CreateWindowExA(0, "BrowseTestHost", "Test", WS_OVERLAPPEDWINDOW, 0, 0, 420, 360, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

HFONT DialogFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

class BrowseWindowTest : public RealMachineTest {
protected:
    void SetUp() override {
        RealMachineTest::SetUp();
        host = NewHostWindow();
        ASSERT_NE(host, nullptr);
    }
    void TearDown() override {
        DestroyWindow(host);
        RealMachineTest::TearDown();
    }

    void MakeFolders(const std::vector<std::string>& relative) {
        for (const std::string& r : relative) ASSERT_TRUE(CreateDirectoryA((scratch + r).c_str(), nullptr)) << r;
    }

    // The control painted into a bitmap, as the screen would show it.
    COLORREF PixelAfterPaint(HWND control, int x, int y) {
        RECT client;
        GetClientRect(control, &client);
        HDC screen = GetDC(control);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
        HGDIOBJ old = SelectObject(dc, bitmap);
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SendMessageA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
        COLORREF pixel = GetPixel(dc, x, y);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(control, screen);
        return pixel;
    }

    HWND host = nullptr;
};

using FolderListWindow = BrowseWindowTest;

TEST_F(FolderListWindow, ShowsTheModelsRowsWithTheCurrentFolderSelected) {
    MakeFolders({"Velmorra", "Velmorra\\Modeles", "Velmorra\\Aide"});
    TDirectoryListBox model;
    HWND list = CreateDirectoryListWindow(host, kListId, 10, 10, 345, 157, model, DialogFont());
    ASSERT_NE(list, nullptr);

    model.OpenFolder(scratch + "Velmorra");

    int chain = FolderLevel(scratch + "Velmorra") + 1;
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), chain + 2);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), chain - 1);
    EXPECT_EQ(model.Rows[chain].Text, scratch + "Velmorra\\Aide");
    char text[MAX_PATH] = {};   // kept for screen readers, as shown
    SendMessageA(list, LB_GETTEXT, chain, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(text, model.RowLabel(chain));
    // The open-folder picture (16 high) + 1 beats the font's height.
    EXPECT_EQ(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), 17);
}

TEST_F(FolderListWindow, ArrowKeysOpenTheNextRowAndUpOpensTheParent) {
    MakeFolders({"Velmorra", "Velmorra\\Aide", "Velmorra\\Aide\\Images", "Velmorra\\Modeles"});
    TDirectoryListBox model;
    int changes = 0;
    model.OnChange = [&](TDirectoryListBox&) { ++changes; };
    HWND list = CreateDirectoryListWindow(host, kListId, 10, 10, 345, 157, model, DialogFont());
    model.OpenFolder(scratch + "Velmorra");
    SetFocus(list);

    SendMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(model.CurrentFolder, scratch + "Velmorra\\Aide");
    SendMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(model.CurrentFolder, scratch + "Velmorra\\Aide\\Images");
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), model.CurrentRow());
    SendMessageA(list, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(model.CurrentFolder, scratch + "Velmorra\\Aide");
    EXPECT_EQ(changes, 4);
}

TEST_F(FolderListWindow, GlyphsAreDrawnThroughTheirBottomLeftColour) {
    MakeFolders({"Velmorra", "Velmorra\\Aide"});
    TDirectoryListBox model;
    HWND list = CreateDirectoryListWindow(host, kListId, 10, 10, 345, 157, model, DialogFont());
    model.OpenFolder(scratch + "Velmorra");
    int row = model.CurrentRow();   // selected: the pictures' white key must not show
    RECT r;
    SendMessageA(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
    int x = r.left + model.RowIndent(row);
    int top = r.top + (r.bottom - r.top - 16) / 2;

    COLORREF background = GetSysColor(COLOR_HIGHLIGHT);
    EXPECT_EQ(PixelAfterPaint(list, x, top + 15), background);   // the key colour
    bool drawn = false;
    for (int dy = 0; dy < 16 && !drawn; ++dy)
        for (int dx = 0; dx < 16 && !drawn; ++dx)
            drawn = PixelAfterPaint(list, x + dx, top + dy) != background;
    EXPECT_TRUE(drawn);
}

// The real machine seen with a floppy pair and a CD-ROM drive at D:.
class DrivesWithFloppiesAndCdRom : public Win32Platform {
public:
    uint32_t LogicalDrives() override { return Win32Platform::LogicalDrives() | 0x1 | 0x2 | 0x8; }
    unsigned DriveType(const std::string& root) override {
        char letter = static_cast<char>(tolower(static_cast<unsigned char>(root[0])));
        if (letter == 'a' || letter == 'b') return kDriveRemovable;
        if (letter == 'd') return kDriveCdRom;
        return Win32Platform::DriveType(root);
    }
};

using DriveComboWindow = BrowseWindowTest;

TEST_F(DriveComboWindow, ListsNeitherFloppiesNorCdRomDrives) {
    DrivesWithFloppiesAndCdRom machine;
    machine.LocateFolderService();
    SetPlatform(&machine);
    TDriveComboBox model;
    HWND drives = CreateDriveComboWindow(host, kDrivesId, 10, 230, 345, 19, model, DialogFont());
    ASSERT_NE(drives, nullptr);

    ASSERT_EQ(SendMessageA(drives, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(model.Rows.size()));
    std::string letters;
    for (const TDriveRow& row : model.Rows) letters += row.Text.substr(0, 2);
    EXPECT_EQ(letters.find_first_of("abd"), std::string::npos) << letters;
    EXPECT_NE(letters.find("c:"), std::string::npos) << letters;
    DestroyWindow(drives);
    SetPlatform(&RealPlatform());
}

TEST_F(DriveComboWindow, PickingADriveMovesTheFolderList) {
    MakeFolders({"Velmorra"});
    TDirectoryListBox folders;
    TDriveComboBox model;
    model.SetDirList(&folders);
    HWND list = CreateDirectoryListWindow(host, kListId, 10, 10, 345, 157, folders, DialogFont());
    HWND drives = CreateDriveComboWindow(host, kDrivesId, 10, 230, 345, 19, model, DialogFont());
    folders.OpenFolder(scratch + "Velmorra");
    ASSERT_EQ(SendMessageA(drives, CB_GETCURSEL, 0, 0), model.Selected);
    auto other = std::find_if(model.Rows.begin(), model.Rows.end(), [&](const TDriveRow& r) {
        return tolower(static_cast<unsigned char>(r.Text[0])) != tolower(static_cast<unsigned char>(scratch[0]));
    });
    if (other == model.Rows.end()) GTEST_SKIP() << "one drive only";
    int row = static_cast<int>(other - model.Rows.begin());

    SendMessageA(drives, CB_SETCURSEL, row, 0);
    SendMessageA(host, WM_COMMAND, MAKEWPARAM(kDrivesId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(drives));

    EXPECT_EQ(model.CurrentDrive, other->Text[0]);
    EXPECT_EQ(tolower(static_cast<unsigned char>(folders.CurrentFolder[0])), other->Text[0]);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), folders.CurrentRow());

    // A typed drive letter picks that drive, as in any drive box.
    SetFocus(drives);
    SendMessageA(drives, WM_CHAR, static_cast<WPARAM>(scratch[0]), 0);
    EXPECT_EQ(model.CurrentDrive, tolower(static_cast<unsigned char>(scratch[0])));
    char text[MAX_PATH] = {};
    SendMessageA(drives, CB_GETLBTEXT, model.Selected, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(text, model.Rows[model.Selected].Text);
}

// The component list as the form wires it: row 0 kept grayed.
class CheckListWindow : public BrowseWindowTest {
protected:
    void SetUp() override {
        BrowseWindowTest::SetUp();
        // The form makes the window first and fills the rows afterwards.
        checks = CreateCheckListWindow(
            host, kChecksId, 10, 10, 345, 148, model, DialogFont(), [](int) { return std::string("4 Ko"); },
            [](int row) { return row == 0; });
        ASSERT_NE(checks, nullptr);
        for (int i = 0; i < 3; ++i) model.SetState(model.Add("Composant " + std::to_string(i)), cbChecked);
        model.SetState(0, cbGrayed);
        model.Select(1);
        model.OnClickCheck = [this] { KeepFirstComponent(model, {0, 1, 2}, [this] { ++updates; }); };
    }

    void Click(int x, int row) {
        RECT r;
        SendMessageA(checks, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
        LPARAM at = MAKELPARAM(x, (r.top + r.bottom) / 2);
        SendMessageA(checks, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(checks, WM_LBUTTONUP, 0, at);
    }

    CheckListModel model;
    HWND checks = nullptr;
    int updates = 0;
};

TEST_F(CheckListWindow, PressInTheMarginTogglesAndOnTheTextOnlySelects) {
    ASSERT_EQ(SendMessageA(checks, LB_GETCOUNT, 0, 0), 3);
    char text[64] = {};
    SendMessageA(checks, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Composant 2");
    EXPECT_EQ(SendMessageA(checks, LB_GETCURSEL, 0, 0), 1);

    Click(5, 2);
    EXPECT_EQ(model.State(2), cbUnchecked);
    EXPECT_EQ(model.Selected(), 2);
    EXPECT_EQ(updates, 1);

    Click(100, 1);
    EXPECT_EQ(model.State(1), cbChecked);
    EXPECT_EQ(model.Selected(), 1);
    EXPECT_EQ(updates, 1);
}

TEST_F(CheckListWindow, SpaceTogglesTheSelectedRowAndRowZeroStaysGrayed) {
    SetFocus(checks);
    SendMessageA(checks, WM_CHAR, ' ', 0);
    EXPECT_EQ(model.State(1), cbUnchecked);

    Click(5, 0);
    EXPECT_EQ(model.State(0), cbGrayed);
    SendMessageA(checks, WM_CHAR, ' ', 0);
    EXPECT_EQ(model.State(0), cbGrayed);
    EXPECT_EQ(updates, 1);
}

}  // namespace
