// The wizard's real window walked through its first pages, its message dialog, its packed
// pictures, and the settings in Wine's registry.
#include <deque>
#include <string>
#include <vector>

#include <oleacc.h>

#include "../unit/ArchiveBuilder.h"
#include "../unit/support/ScriptedDialog.h"
#include "RealMachine.h"
#include "platform/Win32Handles.h"
#include "engine/InstallThread.h"
#include "engine/ResConst.h"
#include "wizard/MessageTexts.h"
#include "install/Settings.h"
#include "wizard/win32/MainDlgWindow.h"
#include "wizard/win32/MessageDialogWindow.h"
#include "wizard/win32/Pictures.h"

namespace {

std::string WindowText(HWND window)
{
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool Shown(HWND window) { return (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0; }

HICON ProgramIcon() { return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1)); }

class WizardWindowTest : public RealMachineTest {
protected:
    void SetUp() override
    {
        RealMachineTest::SetUp();
        ArchiveBuilder builder;
        builder.Add("vlm.exe", "MZ").Add("Licence.txt", "Contrat de licence\r\nDeuxième ligne\r\n");
        archive = builder.Open();
        AttachedFiles = archive.get();
        ASSERT_TRUE(window->Create({"-d" + scratch + "Velmorra"}));
    }
    void TearDown() override
    {
        window.reset();
        AttachedFiles = nullptr;
        RealMachineTest::TearDown();
    }

    void Press(int id)
    {
        HWND button = GetDlgItem(window->Handle(), id);
        SendMessageA(window->Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    int ShownPage() const
    {
        int shown = -1;
        for (int page = 0; page < 8; ++page)
            if (Shown(window->Page(page))) {
                EXPECT_EQ(shown, -1) << "two pages shown";
                shown = page;
            }
        return shown;
    }
    void ExpectPage(int page, const char* title)
    {
        EXPECT_EQ(ShownPage(), page);
        EXPECT_EQ(WindowText(window->Control(Ctl::TopLbl)), title);
        EXPECT_EQ(Shown(window->Control(Ctl::BackBtn)), page != 0);
        EXPECT_TRUE(IsWindowEnabled(window->Control(Ctl::NextBtn)));
        EXPECT_TRUE(IsWindowEnabled(window->Control(Ctl::CancelBtn)));
    }

    // Every label's wrapped text fits its height, every check box's caption its width.
    void ExpectNoTextCutShort(int page)
    {
        for (HWND c = GetWindow(window->Page(page), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            char cls[16] = {};
            GetClassNameA(c, cls, sizeof cls);
            const LONG style = GetWindowLongA(c, GWL_STYLE);
            const bool label = lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_LEFT;
            const bool check = lstrcmpiA(cls, "Button") == 0 && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
            const std::string text = WindowText(c);
            if (text.empty() || (!label && !check))
                continue;
            RECT box, need{};
            GetClientRect(c, &box);
            need.right = label ? box.right : 0;
            HDC dc = GetDC(c);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(c, WM_GETFONT, 0, 0)));
            DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | (label ? DT_WORDBREAK : DT_SINGLELINE));
            SelectObject(dc, old);
            ReleaseDC(c, dc);
            if (label)
                EXPECT_LE(need.bottom, box.bottom) << "page " << page << ": " << text;
            else
                EXPECT_LE(need.right + GetSystemMetrics(SM_CXMENUCHECK) + 3, box.right) << "page " << page << ": " << text;
        }
    }

    std::unique_ptr<TAttachedFiles> archive;
    QuestionService questions;
    std::unique_ptr<MainDlgWindow> window = std::make_unique<MainDlgWindow>(questions);
    ScriptedDialog dialog{questions, mrNo};
    std::vector<std::string>& dialogs = dialog.texts;
};

using WizardWindow = WizardWindowTest;
using WizardAccessibility = WizardWindowTest;
using WizardRegistry = RealMachineTest;

// Finds the message dialog of this thread and hands it to a check, from inside its own loop.
class DialogProbe {
public:
    using Check = void (*)(HWND dialog);
    explicit DialogProbe(Check check)
    {
        current = check;
        timer = SetTimer(nullptr, 0, 20, Tick);
    }
    ~DialogProbe() { KillTimer(nullptr, timer); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        HWND dialog = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog && current) {
            Check check = current;
            current = nullptr;
            check(dialog);
        }
    }
    static BOOL CALLBACK FindDialog(HWND window, LPARAM found)
    {
        char cls[16] = {};
        GetClassNameA(window, cls, sizeof cls);
        if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window))
            return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    static inline Check current = nullptr;
    UINT_PTR timer;
};

std::string ButtonCaptions(HWND dialog)
{
    std::string captions;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[16] = {};
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Button") == 0)
            captions += WindowText(child) + "|";
    }
    return captions;
}

}  // namespace

TEST_F(WizardWindow, NextAndBackWalkTheFirstPagesInTheRealControls)
{
    ExpectPage(0, "Merci de faire confiance à Velmorra");
    for (int page = 0; page < 8; ++page)
        ExpectNoTextCutShort(page);
    EXPECT_EQ(WindowText(window->Handle()), "Installation du traitement de texte Velmorra");
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(window->Handle(), WM_GETICON, ICON_BIG, 0)), ProgramIcon());
    // The page area leaves the title strip's bottom row (y 45) alone.
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(window->Page(0), shape), ERROR);
    RECT box;
    GetRgnBox(shape, &box);
    DeleteObject(shape);
    MapWindowPoints(window->Page(0), window->Handle(), reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.top, 46);
    EXPECT_EQ(WindowText(window->Control(Ctl::NextBtn)), "&Suite >");

    Press(MainDlgWindow::kBackId);   // hidden on page 0: nothing happens
    EXPECT_EQ(ShownPage(), 0);

    Press(MainDlgWindow::kNextId);
    ExpectPage(1, "Accord de Licence");
    EXPECT_EQ(WindowText(window->Control(Ctl::LicenseMemo)), "Contrat de licence\r\nDeuxième ligne");
    EXPECT_EQ(SendMessageA(window->Control(Ctl::LicenseChkBx), BM_GETCHECK, 0, 0), BST_CHECKED);

    Press(MainDlgWindow::kNextId);
    ExpectPage(2, "Choix du dossier d'installation");
    EXPECT_EQ(WindowText(window->Control(Ctl::DestDirEdt)), scratch + "Velmorra");

    Press(MainDlgWindow::kNextId);
    ExpectPage(3, "Choix des composants à installer");
    EXPECT_NE(WindowText(window->Control(Ctl::SelCompDiskSpaceAvailLbl2)), "");
    ExpectNoTextCutShort(3);   // its label's text comes with the page

    Press(MainDlgWindow::kNextId);
    ExpectPage(4, "L'installation peut commencer");
    EXPECT_TRUE(Shown(window->Control(Ctl::InstallToAllChkBx)));
    EXPECT_EQ(SendMessageA(window->Control(Ctl::InstallToAllChkBx), BM_GETCHECK, 0, 0), BST_CHECKED);

    for (int page = 3; page >= 0; --page) {
        Press(MainDlgWindow::kBackId);
        EXPECT_EQ(ShownPage(), page);
    }
    EXPECT_FALSE(Shown(window->Control(Ctl::BackBtn)));
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(WizardWindow, UncheckedLicenceAsksAndStays)
{
    Press(MainDlgWindow::kNextId);
    SendMessageA(window->Control(Ctl::LicenseChkBx), BM_SETCHECK, BST_UNCHECKED, 0);
    Press(MainDlgWindow::kNextId);
    EXPECT_EQ(ShownPage(), 1);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], kMsgLicenceRefused);
}

TEST_F(WizardWindow, CloseBoxAsksTheConfirmationAndNoKeepsTheWizard)
{
    SendMessageA(window->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window->Handle()));
    EXPECT_FALSE(window->Form().Closed());
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], kMsgConfirmCancel);
}

TEST_F(WizardWindow, SessionEndBeforeTheCopyIsAllowedAndClosesWithoutQuestion)
{
    EXPECT_EQ(SendMessageA(window->Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    SendMessageA(window->Handle(), WM_ENDSESSION, FALSE, 0);   // another program refused it
    EXPECT_FALSE(window->Form().Closed());
    SendMessageA(window->Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(window->Form().Closed());
    EXPECT_TRUE(dialogs.empty());
}

// Memory running out on the worker while it waits for the answer about a held file: the error
// ends the worker, not the program, nor is it taken for the user's choice. The wizard closes
// without a question and the run ends 1603, having kept what it recorded.
TEST_F(WizardWindow, AnErrorEscapingTheWorkerClosesTheWizardAndEnds1603)
{
    struct WorkerOutOfMemory : Win32Platform {
        void SleepMs(unsigned ms) override
        {
            if (::GetCurrentThreadId() != mainThread) throw std::bad_alloc();
            Win32Platform::SleepMs(ms);
        }
        DWORD mainThread = ::GetCurrentThreadId();
    };
    static WorkerOutOfMemory platform;   // outlives the window, whatever fails
    ASSERT_TRUE(platform.LocateFolderService());
    SetPlatform(&platform);
    const std::string dest = scratch + "Velmorra\\";
    CreateDirectoryA(dest.c_str(), nullptr);
    FileHandle held(CreateFileA((dest + "vlm.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(held);

    for (int page = 0; page < 5; ++page) Press(MainDlgWindow::kNextId);
    EXPECT_EQ(ShownPage(), 5);
    const DWORD end = GetTickCount() + 10000;
    while (!window->Form().Closed() && GetTickCount() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
    }
    ASSERT_TRUE(window->Form().Closed());
    EXPECT_FALSE(dialog.Asked(kMsgConfirmCancel));
    EXPECT_EQ(PersistAfterWizard(window->Form()), 1603);
    EXPECT_NE(GetFileAttributesA((dest + "Install.log").c_str()), INVALID_FILE_ATTRIBUTES);
    window.reset();
    SetPlatform(&RealPlatform());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Velmorra Word Processor\\Install");
}

TEST(MessageDialogWindow, ShowsCaptionAndButtonsInBitOrderAndEscPressesNon)
{
    static std::string caption, buttons;
    DialogProbe probe([](HWND dialog) {
        caption = WindowText(dialog);
        buttons = ButtonCaptions(dialog);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);   // what Esc sends
    });
    EXPECT_EQ(ShowMessageDialog(kMsgConfirmCancel, mtConfirmation, mbNo | mbAbort), mrNo);
    EXPECT_EQ(caption, "Confirmation");
    EXPECT_EQ(buttons, "&Non|A&bandonner|");
}

TEST(MessageDialogWindow, EnterPressesOkAndTheCloseBoxGivesTwo)
{
    DialogProbe enter([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(ShowMessageDialog("Texte", mtInformation, mbYes | mbOK), mrOk);

    static std::string caption;
    DialogProbe close([](HWND dialog) {
        caption = WindowText(dialog);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(ShowMessageDialog("Texte", mtError, mbAbort | mbRetry | mbIgnore), 2);
    EXPECT_EQ(caption, "Erreur");
}

TEST(MessageDialogWindow, OwnedDialogKeepsItsOwnerDisabledUntilAnswered)
{
    HWND owner = CreateWindowExA(0, "STATIC", "Propriétaire", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    static HWND seenOwner;
    static bool ownerEnabled;
    static HICON icon;
    DialogProbe probe([](HWND dialog) {
        seenOwner = GetWindow(dialog, GW_OWNER);
        ownerEnabled = IsWindowEnabled(seenOwner) != FALSE;
        icon = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(ShowOwnedMessageDialog(owner, kMsgConfirmCancel, mtConfirmation, mbNo | mbAbort), mrNo);
    EXPECT_EQ(seenOwner, owner);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(icon, ProgramIcon());
    DestroyWindow(owner);
}

TEST_F(WizardRegistry, SettingsRoundTripAndTheUninstallEntry)
{
    SavedSettings saved;
    saved.MainDir = scratch + "Velmorra";
    CreateDirectoryA(saved.MainDir.c_str(), nullptr);
    saved.SavedComps = 0x7FFFFF0A;
    saved.InstallToAll = false;
    saved.Extensions = "AD";
    saved.Launch = false;
    WriteSettings(saved, false);

    const SavedSettings read = ReadSettings({});
    EXPECT_EQ(read.MainDir, saved.MainDir);
    EXPECT_EQ(read.SavedComps, 0x7FFFFF0Au);
    EXPECT_FALSE(read.InstallToAll);
    EXPECT_EQ(read.Extensions, "AD");
    EXPECT_FALSE(read.Launch);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmorra Word Processor", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    char value[MAX_PATH * 2] = {};
    DWORD size = sizeof value, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(value), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(value), "\"" + scratch + "Velmorra\\vlm.exe\" -ui");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Velmorra Word Processor\\Install");
}

TEST(Pictures, TheLogosUnpackAtTheirSizesAndAMissingPictureIsNull)
{
    const struct {
        const char* name;
        int width, height;
    } logos[] = {{"LOGO", 120, 260}, {"LOGOSMALL", 34, 34}};
    for (const auto& logo : logos) {
        HBITMAP bitmap = LoadPackedPicture(logo.name);
        ASSERT_NE(bitmap, nullptr) << logo.name;
        BITMAP info{};
        GetObjectA(bitmap, sizeof info, &info);
        EXPECT_EQ(info.bmWidth, logo.width) << logo.name;
        EXPECT_EQ(info.bmHeight, logo.height) << logo.name;
        DeleteObject(bitmap);
    }
    EXPECT_EQ(LoadPackedPicture("NOSUCHPICTURE"), nullptr);
}

namespace {

// A control read as a screen reader reads it.
class Accessible {
public:
    explicit Accessible(HWND window)
    {
        EXPECT_EQ(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             object_.Receive()), S_OK);
    }
    IAccessible* operator->() const { return object_.Get(); }
    explicit operator bool() const { return static_cast<bool>(object_); }
    LONG Children() const
    {
        LONG count = -1;
        object_->get_accChildCount(&count);
        return count;
    }
    std::string Name(LONG child = CHILDID_SELF) const { return Text(&IAccessible::get_accName, child); }
    std::string Value(LONG child = CHILDID_SELF) const { return Text(&IAccessible::get_accValue, child); }
    std::string Description(LONG child) const { return Text(&IAccessible::get_accDescription, child); }
    std::string Action(LONG child) const { return Text(&IAccessible::get_accDefaultAction, child); }
    std::string Shortcut() const { return Text(&IAccessible::get_accKeyboardShortcut, CHILDID_SELF); }
    LONG Role(LONG child = CHILDID_SELF) const { return Number(&IAccessible::get_accRole, child); }
    LONG State(LONG child = CHILDID_SELF) const { return Number(&IAccessible::get_accState, child); }
    static VARIANT Child(LONG child)
    {
        VARIANT v{};
        v.vt = VT_I4;
        v.lVal = child;
        return v;
    }

private:
    // Back to Windows-1252, as the program's own texts are.
    std::string Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), LONG child) const
    {
        BSTR text = nullptr;
        if ((object_.Get()->*get)(Child(child), &text) != S_OK || !text)
            return "<none>";
        char bytes[1024] = {};
        WideCharToMultiByte(1252, 0, text, -1, bytes, sizeof bytes - 1, nullptr, nullptr);
        SysFreeString(text);
        return bytes;
    }
    LONG Number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), LONG child) const
    {
        VARIANT v{};
        return (object_.Get()->*get)(Child(child), &v) == S_OK && v.vt == VT_I4 ? v.lVal : -1;
    }
    ComPtr<IAccessible> object_;
};

std::string RowText(HWND control, bool combo, int row)
{
    char text[512] = {};
    SendMessageA(control, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<LONG> stateChanges;   // rows whose state changed, as a screen reader hears it

void CALLBACK NoteStateChange(HWINEVENTHOOK, DWORD, HWND, LONG object, LONG child, DWORD, DWORD)
{
    if (object == OBJID_CLIENT)
        stateChanges.push_back(child);
}

// Every row named by the text the control keeps, with the list's selection.
void ExpectRowsAsListed(const Accessible& list, HWND control, bool combo)
{
    const LRESULT count = SendMessageA(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    const LRESULT selected = SendMessageA(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    ASSERT_GT(count, 0);
    EXPECT_EQ(list.Role(), combo ? ROLE_SYSTEM_COMBOBOX : ROLE_SYSTEM_LIST);
    EXPECT_EQ(list.Children(), count);
    for (int row = 0; row < count; ++row) {
        EXPECT_EQ(list.Name(row + 1), RowText(control, combo, row)) << row;
        EXPECT_EQ(list.Role(row + 1), ROLE_SYSTEM_LISTITEM) << row;
        EXPECT_EQ((list.State(row + 1) & STATE_SYSTEM_SELECTED) != 0, row == selected) << row;
    }
    if (combo) {
        EXPECT_EQ(list.Value(), RowText(control, combo, static_cast<int>(selected)));
    }
}

}  // namespace

TEST_F(WizardAccessibility, ListsNameTheirRowsAndATogglePassesThroughTheList)
{
    for (int page = 0; page < 8; ++page)
        EXPECT_EQ(Accessible(window->Page(page)).Name(), PageTitles[page]) << page;
    Press(MainDlgWindow::kNextId);
    Press(MainDlgWindow::kNextId);

    const std::string destination =
        "Veuillez indiquer dans quel dossier vous voulez installer Traitement de texte Velmorra :";
    Accessible folders(GetDlgItem(window->Page(2), 201)), drives(GetDlgItem(window->Page(2), 202));
    ASSERT_TRUE(folders && drives);
    EXPECT_EQ(folders.Name(), destination);
    EXPECT_EQ(drives.Name(), destination);
    EXPECT_EQ(folders.Shortcut(), "<none>");   // Alt+D focuses the edit, not the list
    ExpectRowsAsListed(folders, GetDlgItem(window->Page(2), 201), false);
    ExpectRowsAsListed(drives, GetDlgItem(window->Page(2), 202), true);

    Press(MainDlgWindow::kNextId);
    Accessible list(GetDlgItem(window->Page(3), 203));
    ASSERT_TRUE(list);
    CheckListModel& rows = window->Form().SelCompLstBx;
    EXPECT_EQ(list.Name(), "Désactivez les cases des composants que vous ne voulez pas installer ou mettre à jour "
                           "(l'espace disque requis est affiché sur la droite) :");
    EXPECT_EQ(list.Shortcut(), "Alt+C");
    EXPECT_EQ(list.Role(), ROLE_SYSTEM_LIST);
    ASSERT_EQ(list.Children(), rows.Count());
    for (int row = 0; row < rows.Count(); ++row) {
        EXPECT_EQ(list.Name(row + 1), rows.Text(row));
        EXPECT_EQ(list.Role(row + 1), ROLE_SYSTEM_CHECKBUTTON);
        EXPECT_EQ(list.Description(row + 1), RowSizeText(rows.Value(row), window->Form().MainDir));
        const LONG want = rows.State(row) == cbGrayed ? STATE_SYSTEM_MIXED | STATE_SYSTEM_UNAVAILABLE
                          : rows.State(row) == cbChecked ? STATE_SYSTEM_CHECKED : 0;
        EXPECT_EQ(list.State(row + 1) & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_MIXED | STATE_SYSTEM_UNAVAILABLE), want)
            << row;
        EXPECT_EQ((list.State(row + 1) & STATE_SYSTEM_SELECTED) != 0, row == 1) << row;
    }
    EXPECT_EQ(rows.State(0), cbGrayed);

    // The default action is Space's toggle: the list, the rules and the object agree, and the
    // screen reader hears of it.
    ASSERT_EQ(rows.State(2), cbChecked);
    EXPECT_EQ(list.Action(3), "Décocher");
    stateChanges.clear();
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, nullptr, NoteStateChange,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    EXPECT_EQ(list->accDoDefaultAction(Accessible::Child(3)), S_OK);
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
        DispatchMessageA(&msg);
    UnhookWinEvent(hook);
    EXPECT_EQ(stateChanges, std::vector<LONG>{3});
    EXPECT_EQ(rows.State(2), cbUnchecked);
    EXPECT_EQ(list.State(3) & STATE_SYSTEM_CHECKED, 0);
    EXPECT_EQ(list.Action(3), "Cocher");
    EXPECT_EQ(list->accDoDefaultAction(Accessible::Child(1)), S_OK);   // the word processor stays
    EXPECT_EQ(rows.State(0), cbGrayed);
    EXPECT_EQ(list->accDoDefaultAction(Accessible::Child(rows.Count() + 1)), E_INVALIDARG);

    // A client holding the object past the window's end gets an answer, not a crash.
    window.reset();
    LONG count = 0;
    EXPECT_EQ(list->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(list.Name(), "<none>");
}
