#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <new>
#include <map>
#include <thread>
#include <utility>

#include "ArchiveBuilder.h"
#include "engine/InstallThread.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "support/FakeMachine.h"
#include "support/ScriptedDialog.h"
#include "wizard/DestPage.h"
#include "wizard/MainDlg.h"
#include "wizard/MessageTexts.h"

namespace {

const RegRoot HKCU = RegRoot::CurrentUser;
const RegRoot HKLM = RegRoot::LocalMachine;
const std::string kInstallKey = "Software\\Velmorra Word Processor\\Install";
const std::string kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmorra Word Processor";
const std::string kProduct = "C:\\Program Files\\Velmorra";
const std::string kUpdateLog = "C:\\Documents and Settings\\All Users\\Application Data\\Velmorra\\Update.log";
const std::string kTempFolder = "C:\\Documents and Settings\\Jean\\Local Settings\\Temp";

// Records what the rules ask of the window, and answers as the controls would.
class FakeView : public MainDlgView {
public:
    FakeView() { checked[Ctl::LicenseChkBx] = true; }   // as laid out

    void ShowPage(int p) override
    {
        if (onShowPage) onShowPage(p);
        page = p;
    }
    void SetText(Ctl c, const std::string& t) override { text[c] = t; }
    std::string Text(Ctl c) override { return text[c]; }
    void SetVisible(Ctl c, bool v) override { visible[c] = v; }
    void SetEnabled(Ctl c, bool e) override { enabled[c] = e; }
    bool Checked(Ctl c) override { return checked[c]; }
    void SetChecked(Ctl c, bool v) override { checked[c] = v; }
    void SetMemoLines(const std::vector<std::string>& lines) override { memo = lines; }
    void SetProgressRange(int32_t maximum) override { progressMax = maximum; }
    void SetProgressPosition(int32_t position) override { progress = position; }
    void Focus(Ctl c) override { focus = c; }
    void SetWaitCursor(bool w) override { waitCursor = w; }
    void StartTimers() override { timersStarted = true; }

    bool Visible(Ctl c) const { auto it = visible.find(c); return it == visible.end() || it->second; }
    bool Enabled(Ctl c) const { auto it = enabled.find(c); return it == enabled.end() || it->second; }

    int page = -1;
    std::map<Ctl, std::string> text;
    std::map<Ctl, bool> visible, enabled, checked;
    std::vector<std::string> memo;
    int32_t progressMax = -1, progress = -1;
    Ctl focus = Ctl::None;
    bool waitCursor = false;
    bool timersStarted = false;
    std::function<void(int)> onShowPage;
};

// The product with a program of 5 000 bytes, a licence of two lines and empty dictionaries.
std::unique_ptr<TAttachedFiles> WizardArchive(const std::string& licence = "Ligne 1\r\nLigne 2\r\n")
{
    return ProductArchive({{"vlm.exe", std::string(5000, 'x')}, {"Licence.txt", licence},
                           {"persodicfr.tlx", ""}, {"userdicen.tlx", ""}})
        .Open();
}

class WizardTest : public ::testing::Test {
protected:
    WizardTest()
    {
        machine.StandardSetup();
        archive = WizardArchive();
        AttachedFiles = archive.get();
    }
    ~WizardTest() override
    {
        if (form) form->WaitForWorker();
        form.reset();
        AttachedFiles = nullptr;
    }

    void Start(const std::vector<std::string>& args = {})
    {
        form = std::make_unique<TMainDlgForm>(view, questions);
        form->Init(args);
    }
    void StartPortable() { machine.AddDrive('E', kDriveRemovable); Start({"-dE:\\Velmorra"}); }
    void Next() { form->NextClick(); }
    void Back() { form->BackClick(); }
    // Next until the page is reached; stops early when the wizard stays or closes.
    void NextTo(int page)
    {
        while (form->ShownPage() < page && !form->Closed()) {
            const int before = form->ShownPage();
            Next();
            if (form->ShownPage() == before) return;
        }
    }
    // Ticks timer 1 while the worker copies, as the window would every 100 ms.
    void TickWhileInstalling()
    {
        for (int i = 0; i < 5000 && form->ShownPage() == 5 && !form->Closed(); ++i) {
            form->TimerTick(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void Install()   // from the start when the wizard is not started yet
    {
        if (!form) Start();
        NextTo(5);
        TickWhileInstalling();
    }
    // The worker's state, waited for (5 s at most).
    bool WaitForState(uint8_t state)
    {
        for (int i = 0; i < 5000 && Status().State != state; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Status().State == state;
    }
    TInstallThreadStatus& Status() { return form->Install.Worker.Status(); }
    bool Asked(const char* text) const { return dialog.Asked(text); }

    FakeMachine machine;
    UseFakeMachine use{machine};
    std::unique_ptr<TAttachedFiles> archive;
    FakeView view;
    QuestionService questions;
    std::unique_ptr<TMainDlgForm> form;
    ScriptedDialog dialog{questions};
    std::vector<DialogCall>& calls = dialog.calls;
    std::deque<int>& answers = dialog.answers;
    std::function<void()>& onDialog = dialog.onDialog;
};

using WizardStart = WizardTest;
using WizardLicence = WizardTest;
using WizardDestination = WizardTest;
using WizardComponents = WizardTest;
using WizardButtons = WizardTest;
using WizardInstall = WizardTest;
using WizardFinish = WizardTest;
using WizardClose = WizardTest;
using WizardPersist = WizardTest;

}  // namespace

// --- Start

TEST_F(WizardStart, ShowsTheWelcomePageWithItsTextsAndTimers)
{
    Start();
    EXPECT_EQ(view.page, 0);
    EXPECT_EQ(view.text[Ctl::TopLbl], "Merci de faire confiance à Velmorra");
    EXPECT_NE(view.text[Ctl::WelcomeLbl].find("(version 2.0.6.0) sur votre ordinateur.\r\r\r\r\rCliquez"),
              std::string::npos);
    EXPECT_NE(view.text[Ctl::FinishLbl].find("Velmorra 2.0.6.0 a été installé"), std::string::npos);
    EXPECT_EQ(view.text[Ctl::SelCompLbl].substr(0, 30), "Désactivez les cases des &comp");
    EXPECT_TRUE(view.timersStarted);
    EXPECT_TRUE(form->Ready);
    EXPECT_EQ(view.focus, Ctl::None);
}

TEST_F(WizardStart, FirstRunChecksEveryComponentWithTheFirstGrayed)
{
    Start();
    EXPECT_EQ(form->SelCompLstBx.State(0), cbGrayed);
    for (int i = 1; i < 8; ++i) EXPECT_EQ(form->SelCompLstBx.State(i), cbChecked) << i;
    EXPECT_EQ(form->SelCompLstBx.Text(2), "Vérificateur d'orthographe française");
    EXPECT_EQ(form->SelCompLstBx.Selected(), 1);
    EXPECT_EQ(form->CompIds, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(view.checked[Ctl::InstallToAllChkBx]);
    EXPECT_TRUE(view.checked[Ctl::FinishChkBx]);
    EXPECT_EQ(view.text[Ctl::DestDirEdt], kProduct);
    EXPECT_EQ(form->MainDir, kProduct);
    EXPECT_EQ(form->Extensions, "B");
}

TEST_F(WizardStart, SavedMaskChecksItsRowsAndKeepsTheFirstGrayed)
{
    machine.WriteDword(HKCU, kInstallKey, "COMPS_FR (1.6.5.8)", 10);   // bits 1 and 3
    Start();
    const TCheckBoxState expected[8] = {cbGrayed, cbChecked, cbUnchecked, cbChecked,
                                        cbUnchecked, cbUnchecked, cbUnchecked, cbUnchecked};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(form->SelCompLstBx.State(i), expected[i]) << i;
}

TEST_F(WizardStart, FolderListChangesRewriteTheDestinationOnlyOnceReady)
{
    machine.MakeFolder("C:\\Apps\\Outils");
    Start();
    form->DestDirLstBx.OpenFolder("C:\\Apps\\Outils");
    EXPECT_EQ(view.text[Ctl::DestDirEdt], "C:\\Apps\\Outils");
    form->DestDirLstBx.OpenFolder("C:\\");
    EXPECT_EQ(view.text[Ctl::DestDirEdt], "C:\\Velmorra");
}

// --- Licence

TEST_F(WizardLicence, NextLoadsTheLicenceOutOfTheLogAndRemovesTheTemporaryFile)
{
    Start();
    Next();
    EXPECT_EQ(view.page, 1);
    EXPECT_EQ(view.text[Ctl::TopLbl], "Accord de Licence");
    EXPECT_EQ(view.memo, (std::vector<std::string>{"Ligne 1", "Ligne 2"}));
    EXPECT_EQ(view.focus, Ctl::LicenseMemo);
    EXPECT_TRUE(machine.Children(kTempFolder).empty());
    EXPECT_FALSE(form->Install.Record.Log.Suspended());
    EXPECT_FALSE(view.waitCursor);
    EXPECT_TRUE(view.Enabled(Ctl::NextBtn));
    EXPECT_TRUE(view.Enabled(Ctl::CancelBtn));
    EXPECT_TRUE(calls.empty());
}

TEST_F(WizardLicence, BackAndNextAgainNeitherReloadNorCheckAgain)
{
    Start();
    Next();
    Back();
    EXPECT_EQ(view.page, 0);
    machine.AddWindow({"1.x Tessalvorn"});
    view.memo.clear();
    Next();
    EXPECT_EQ(view.page, 1);
    EXPECT_TRUE(view.memo.empty());   // not loaded again
    EXPECT_TRUE(calls.empty());
}

TEST_F(WizardLicence, EmptyLicenceRepeatsTheCheckOnEveryMove)
{
    archive = WizardArchive("");
    AttachedFiles = archive.get();
    Start();
    Next();
    EXPECT_EQ(view.page, 1);
    Back();
    machine.AddWindow({"1.x Tessalvorn"});
    Next();
    EXPECT_EQ(view.page, 0);
    EXPECT_TRUE(Asked(kMsgAppRunning));
}

TEST_F(WizardLicence, RunningWordProcessorShowsTheNoticeAndStays)
{
    machine.AddWindow({"1.x Tessalvorn"});
    Start();
    Next();
    EXPECT_EQ(view.page, 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, kMsgAppRunning);
    EXPECT_EQ(calls[0].type, mtInformation);
    EXPECT_EQ(calls[0].buttons, mbOK);
    EXPECT_TRUE(machine.Children(kTempFolder).empty());
}

// The write question's close box asks again; only "Abandonner" closes, without the cancel question.
TEST_F(WizardLicence, ExtractionAbandonedClosesAtOnceWithoutTheCancelQuestion)
{
    machine.AddDrive('D').full = true;
    machine.MakeFolder("D:\\Temp");
    machine.SetTempPath("D:\\Temp\\");
    answers = {mrCancel, mrAbort};
    Start();
    Next();
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(form->ModalResult(), mrCancel);
    ASSERT_EQ(calls.size(), 2u);   // the file error only, asked again
    EXPECT_EQ(calls[1].type, mtError);
    EXPECT_FALSE(form->Install.Record.Started);
}

TEST_F(WizardLicence, OutOfMemoryInAnEventIsToldInFrench)
{
    Start();
    view.onShowPage = [](int) { throw std::bad_alloc(); };
    Next();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, kMsgOutOfMemory);
    EXPECT_EQ(calls[0].type, mtError);
}

// Neither a temporary folder nor the documents: the licence is not written into the current folder.
TEST_F(WizardLicence, NoTemporaryFolderIsShownAndClosesHavingWrittenNothing)
{
    machine.SetTempPath("");
    machine.RemoveSpecialFolder(CSIDL_PERSONAL);
    Start();
    const std::vector<std::string> disk = machine.AllPaths();
    Next();
    EXPECT_TRUE(form->Closed());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, kMsgNoTempFolder);
    EXPECT_EQ(calls[0].type, mtError);
    EXPECT_EQ(machine.AllPaths(), disk);
    EXPECT_FALSE(form->Install.Record.Started);
}

TEST_F(WizardLicence, ExtractionIgnoredShowsAnEmptyLicence)
{
    archive = ArchiveBuilder().Add("vlm.exe", "x").Open();   // no licence at all
    AttachedFiles = archive.get();
    answers = {mrIgnore};
    Start();
    Next();
    EXPECT_FALSE(form->Closed());
    EXPECT_EQ(view.page, 1);
    EXPECT_TRUE(view.memo.empty());
}

TEST_F(WizardLicence, RefusedLicenceAnsweredNoStaysAndYesClosesWithoutTheCancelQuestion)
{
    Start();
    Next();
    view.checked[Ctl::LicenseChkBx] = false;
    answers = {mrNo};
    Next();
    EXPECT_EQ(view.page, 1);
    EXPECT_FALSE(form->Closed());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, kMsgLicenceRefused);
    EXPECT_EQ(calls[0].type, mtInformation);
    EXPECT_EQ(calls[0].buttons, mbYes | mbNo);

    answers = {mrYes};
    Next();
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(form->ModalResult(), mrCancel);
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(WizardLicence, AcceptedLicenceGoesToTheDestination)
{
    Start();
    NextTo(2);
    EXPECT_EQ(view.page, 2);
    EXPECT_EQ(view.focus, Ctl::DestDirEdt);
    EXPECT_TRUE(calls.empty());
}

// --- Destination and components

TEST_F(WizardDestination, NextNormalisesTheTextIntoMainDir)
{
    Start();
    NextTo(2);
    view.text[Ctl::DestDirEdt] = "  C:\\Apps\\Traitement\\ ";
    Next();
    EXPECT_EQ(view.page, 3);
    EXPECT_EQ(form->MainDir, "C:\\Apps\\Traitement");
    EXPECT_EQ(view.text[Ctl::DestDirEdt], "C:\\Apps\\Traitement");
    EXPECT_EQ(view.focus, Ctl::SelCompLstBx);
}

TEST_F(WizardDestination, RefusedTextStaysOnThePageAndSaysWhy)
{
    std::string deep = "C:";
    for (int i = 0; i < 20000; ++i) deep += "\\x";
    const std::string refused[] = {"C:Velmorra", "C:\\Apps\\..\\Velmorra", "C:\\Vel\x01morra", "C:\\Vel?morra",
                                   "C:\\Apps\\CON", "C:\\Velmorra.", "C:\\" + std::string(250, 'v'), deep};
    Start();
    NextTo(2);
    for (const std::string& text : refused) {
        calls.clear();
        view.text[Ctl::DestDirEdt] = text;
        Next();
        EXPECT_EQ(view.page, 2) << text.substr(0, 40);
        EXPECT_EQ(view.focus, Ctl::DestDirEdt);
        EXPECT_EQ(form->MainDir, kProduct);
        ASSERT_EQ(calls.size(), 1u) << text.substr(0, 40);
        EXPECT_EQ(calls[0].type, mtWarning);
        EXPECT_EQ(calls[0].buttons, mbOK);
        EXPECT_EQ(calls[0].text, DestinationProblemText(ValidateDestination(view.text[Ctl::DestDirEdt], *archive)));
    }
}

TEST_F(WizardDestination, AcceptedTextsGiveTheFolderTheyAlwaysGave)
{
    machine.AddDrive('D');
    machine.AddShare("\\\\Serveur\\Partage");
    const std::pair<std::string, std::string> accepted[] = {
        {"D:\\", "D:\\Velmorra"},
        {"C:\\\\Program Files\\\\", kProduct},
        {"\\\\Serveur\\Partage\\", "\\\\Serveur\\Partage"},
        {"C:\\\\Apps\\.\\\\Traitement", "C:\\Apps\\Traitement"},
    };
    Start();
    for (const auto& [typed, folder] : accepted) {
        NextTo(2);
        view.text[Ctl::DestDirEdt] = typed;
        Next();
        EXPECT_EQ(view.page, 3) << typed;
        EXPECT_EQ(form->MainDir, folder);
        Back();
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(WizardDestination, BackFromReadyRecomputesSizesWithoutTakingTheText)
{
    Start();
    NextTo(4);
    EXPECT_EQ(form->SelCompLstBx.Value(0), 3 * 4096);   // 5 000 and 18 bytes on 4 096-byte clusters
    for (int i = 0; i < 8; ++i) form->SelCompLstBx.SetValue(i, 0);
    view.text[Ctl::DestDirEdt] = "D:\\Ailleurs";
    Back();
    EXPECT_EQ(view.page, 3);
    EXPECT_EQ(form->MainDir, kProduct);
    EXPECT_EQ(form->SelCompLstBx.Value(0), 3 * 4096);
    EXPECT_EQ(form->SelCompLstBx.Value(3), 6 * 4096);   // the empty dictionary takes no cluster
}

TEST_F(WizardComponents, TooLittleSpaceDisablesNextUntilTheAppComesBackWithMore)
{
    machine.DriveAt("C").freeBytes = 2048;
    Start();
    NextTo(3);
    EXPECT_EQ(view.page, 3);
    EXPECT_FALSE(view.Enabled(Ctl::NextBtn));
    EXPECT_EQ(view.text[Ctl::SelCompDiskSpaceAvailLbl2], "2 Ko");

    machine.DriveAt("C").freeBytes = 10ull << 30;
    form->ActivateApp(false);
    EXPECT_FALSE(view.Enabled(Ctl::NextBtn));
    form->ActivateApp(true);
    EXPECT_TRUE(view.Enabled(Ctl::NextBtn));
}

TEST_F(WizardComponents, FirstRowStaysGrayedAndOtherTogglesUpdateTheNeed)
{
    Start();
    NextTo(3);
    const std::string need = view.text[Ctl::SelCompDiskSpaceReqLbl2];
    form->ToggleComponent(0);
    EXPECT_EQ(form->SelCompLstBx.State(0), cbGrayed);
    EXPECT_EQ(view.text[Ctl::SelCompDiskSpaceReqLbl2], need);
    form->ToggleComponent(1);
    EXPECT_EQ(form->SelCompLstBx.State(1), cbUnchecked);
    EXPECT_NE(view.text[Ctl::SelCompDiskSpaceReqLbl2], need);
}

// --- Buttons

TEST_F(WizardButtons, EveryPageShowsItsButtonStates)
{
    struct Row { bool backVisible, backEnabled, nextEnabled; const char* next; bool cancelEnabled; };
    const Row table[8] = {
        {false, true, true, "&Suite >", true},  {true, true, true, "&Suite >", true},
        {true, true, true, "&Suite >", true},   {true, true, true, "&Suite >", true},
        {true, true, true, "&Suite >", true},   {true, false, false, "&Suite >", true},
        {true, false, true, "&Suite >", true},  {true, false, true, "&Terminer", false},
    };
    auto check = [&](int page) {
        const Row& r = table[page];
        EXPECT_EQ(view.page, page);
        EXPECT_EQ(view.Visible(Ctl::BackBtn), r.backVisible) << page;
        if (r.backVisible) {
            EXPECT_EQ(view.Enabled(Ctl::BackBtn), r.backEnabled) << page;
        }
        EXPECT_EQ(view.text[Ctl::BackBtn], "< &Retour");
        EXPECT_EQ(view.Enabled(Ctl::NextBtn), r.nextEnabled) << page;
        EXPECT_EQ(view.text[Ctl::NextBtn], r.next) << page;
        EXPECT_EQ(view.Enabled(Ctl::CancelBtn), r.cancelEnabled) << page;
        EXPECT_EQ(view.text[Ctl::CancelBtn], "Annuler");
    };
    // Hold the worker at its first file so that page 5 can be looked at.
    machine.HoldFile(kProduct + "\\vlm.exe", "old");
    Start();
    for (int page = 0; page < 5; ++page) {
        check(page);
        Next();
    }
    check(5);
    ASSERT_TRUE(WaitForState(Asking));
    machine.ReleaseFile(kProduct + "\\vlm.exe");
    answers = {mrRetry};
    TickWhileInstalling();
    check(6);
    Next();
    check(7);
}

// --- Installation

TEST_F(WizardInstall, CopyRunsToTheAssociationsPage)
{
    Start();
    NextTo(4);
    EXPECT_TRUE(view.Visible(Ctl::InstallToAllChkBx));
    EXPECT_EQ(view.focus, Ctl::NextBtn);
    Install();
    EXPECT_EQ(view.page, 6);
    EXPECT_EQ(Status().State, Idle);
    EXPECT_TRUE(form->Install.Record.Started);
    EXPECT_EQ(form->ChosenComps, 0xFF);
    EXPECT_EQ(form->Install.Record.FileName, kProduct + "\\Install.log");
    EXPECT_GT(view.progressMax, 0);
    EXPECT_EQ(view.progress, view.progressMax);
    EXPECT_TRUE(machine.IsFile(kProduct + "\\vlm.exe"));
    EXPECT_EQ(view.text[Ctl::TopLbl], "Types de document à associer à Velmorra");
    EXPECT_FALSE(view.checked[Ctl::AssocChkBx1]);
    EXPECT_TRUE(view.checked[Ctl::AssocChkBx2]);
    EXPECT_FALSE(view.checked[Ctl::AssocChkBx3]);
    EXPECT_FALSE(view.checked[Ctl::AssocChkBx4]);
    EXPECT_EQ(view.focus, Ctl::AssocChkBx1);
}

TEST_F(WizardInstall, UncheckedRowsAreLeftOutAndTheEarlierLogIsKept)
{
    machine.PutFile(kProduct + "\\Install.log", "File Copy: C:\\Ancien.txt\r\n");
    Start();
    NextTo(3);
    form->ToggleComponent(1);
    form->ToggleComponent(7);
    Install();
    EXPECT_EQ(form->ChosenComps, 0x7D);
    EXPECT_FALSE(machine.Exists(kProduct + "\\Velmorra.chm"));
    ASSERT_FALSE(form->Install.Record.Log.Lines().empty());
    EXPECT_EQ(form->Install.Record.Log.Lines().front(), "File Copy: C:\\Ancien.txt");
}

TEST_F(WizardInstall, RunningWordProcessorOnTheReadyPageShowsTheNoticeAndStays)
{
    Start();
    NextTo(4);
    machine.AddWindow({"1.x Tessalvorn"});
    Next();
    EXPECT_EQ(view.page, 4);
    EXPECT_TRUE(Asked(kMsgAppRunning));
    EXPECT_FALSE(form->Install.Record.Started);
}

// No shared data folder: said on the ready page, nothing installed; a portable destination needs none.
TEST_F(WizardInstall, NoSharedDataFolderIsShownOnTheReadyPageAndNothingIsInstalled)
{
    machine.RemoveSpecialFolder(CSIDL_COMMON_APPDATA);
    machine.RemoveSpecialFolder(CSIDL_PERSONAL);
    Start();
    NextTo(4);
    const std::vector<std::string> disk = machine.AllPaths();
    Next();
    EXPECT_EQ(view.page, 4);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, kNoDataFolderText);
    EXPECT_EQ(calls[0].type, mtError);
    EXPECT_FALSE(form->Install.Record.Started);
    EXPECT_EQ(machine.AllPaths(), disk);
}

TEST_F(WizardInstall, FailedCopyClosesWithoutQuestion)
{
    machine.HoldFile(kProduct + "\\vlm.exe", "old");
    answers = {mrCancel, mrAbort};   // the close box, then "Abandonner"
    Install();
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(form->ModalResult(), mrCancel);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].type, mtError);
    EXPECT_EQ(calls[1].buttons, mbAbort | mbRetry | mbIgnore);
    EXPECT_EQ(PersistAfterWizard(*form), 1602);   // abandoned by the user
}

TEST_F(WizardInstall, AnErrorEscapingTheWorkerEndsWith1603)
{
    Start();
    NextTo(4);
    Status().ErrorEscaped = true;   // as a worker that threw
    Status().State = Failed;
    form->TimerTick(1);
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(PersistAfterWizard(*form), 1603);
}

TEST_F(WizardInstall, NextOnAssociationsRunsTheCommandAndMakesTheShortcuts)
{
    Install();
    view.checked[Ctl::AssocChkBx1] = true;
    view.checked[Ctl::AssocChkBx2] = false;
    view.checked[Ctl::AssocChkBx4] = true;
    view.checked[Ctl::InstallToAllChkBx] = false;
    Next();
    EXPECT_EQ(view.page, 7);
    EXPECT_EQ(form->Extensions, "AD");
    const auto started = machine.StartedPrograms();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].commandLine, "\"" + kProduct + "\\vlm.exe\" -assoc adpr_rtf_docx");
    EXPECT_TRUE(machine.ReadLink("C:\\Documents and Settings\\Jean\\Bureau\\Traitement de texte Velmorra.lnk"));
    EXPECT_TRUE(machine.ReadLink(
        "C:\\Documents and Settings\\Jean\\Menu Démarrer\\Programmes\\Traitement de texte Velmorra.lnk"));
}

TEST_F(WizardInstall, PortableDestinationSkipsAssociationsShortcutsAndUpdateLog)
{
    StartPortable();
    NextTo(4);
    EXPECT_EQ(form->MainDir, "E:\\Velmorra");
    EXPECT_FALSE(view.Visible(Ctl::InstallToAllChkBx));
    Install();
    EXPECT_EQ(view.page, 7);
    EXPECT_TRUE(machine.StartedPrograms().empty());
    Next();
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(form->ModalResult(), mrOk);
    const auto started = machine.StartedPrograms();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].commandLine, "\"E:\\Velmorra\\vlm.exe\"");
    EXPECT_FALSE(machine.Exists(kUpdateLog));
    for (const std::string& path : machine.AllPaths())
        EXPECT_EQ(path.find(".lnk"), std::string::npos) << path;
}

// --- Finish

TEST_F(WizardFinish, FinishWritesUpdateLogLaunchesAndClosesWithOk)
{
    Install();
    Next();
    Next();
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(form->ModalResult(), mrOk);
    const std::string log = machine.FileBytes(kUpdateLog);
    EXPECT_EQ(log.substr(0, 1), "*");
    EXPECT_NE(log.find("Public\\Modèles de document\\Lettre.vlt\t!\r\n"), std::string::npos);
    const auto started = machine.StartedPrograms();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1].commandLine, "\"" + kProduct + "\\vlm.exe\"");
    EXPECT_TRUE(calls.empty());
}

TEST_F(WizardFinish, UncheckedLaunchBoxStartsNothing)
{
    Install();
    Next();
    view.checked[Ctl::FinishChkBx] = false;
    Next();
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(machine.StartedPrograms().size(), 1u);   // the association command only
}

TEST_F(WizardFinish, UpdateLogThatCannotBeWrittenIsShownAndTheWizardStays)
{
    Install();
    Next();
    machine.HoldFile(kUpdateLog, "");
    Next();
    EXPECT_FALSE(form->Closed());
    EXPECT_EQ(form->ModalResult(), 0);
    EXPECT_EQ(view.page, 7);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].type, mtError);
    EXPECT_EQ(calls[0].buttons, mbOK);
    EXPECT_NE(calls[0].text.find("Update.log"), std::string::npos);
    EXPECT_EQ(machine.StartedPrograms().size(), 1u);   // no launch

    machine.ReleaseFile(kUpdateLog);
    Next();
    EXPECT_TRUE(form->Closed());
}

// --- Closing

TEST_F(WizardClose, CancelAsksTheCancelQuestionAndAbandonCloses)
{
    Start();
    answers = {mrAbort};
    form->CancelClick();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, kMsgConfirmCancel);
    EXPECT_EQ(calls[0].type, mtConfirmation);
    EXPECT_EQ(calls[0].buttons, mbNo | mbAbort);
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(form->ModalResult(), mrCancel);
}

TEST_F(WizardClose, AnyOtherAnswerStaysOnThePage)
{
    Start();
    NextTo(2);
    answers = {mrNo, mrCancel};   // "Non" or Esc, then the dialog's close box
    form->CancelClick();
    form->CloseRequest();
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_FALSE(form->Closed());
    EXPECT_EQ(form->ModalResult(), 0);
    EXPECT_EQ(view.page, 2);
    EXPECT_FALSE(form->CloseAllowed);
}

TEST_F(WizardClose, AnUnknownErrorInTheCloseQuestionIsShownNotSwallowed)
{
    Start();
    onDialog = [&] {
        if (calls.size() == 1) throw 42;
    };
    form->CancelClick();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].text, "Erreur inattendue.");
    EXPECT_FALSE(form->Closed());
}

TEST_F(WizardClose, CloseAllowedAlreadySetClosesWithoutQuestion)
{
    Start();
    form->CloseAllowed = true;
    form->CloseRequest();
    EXPECT_TRUE(form->Closed());
    EXPECT_TRUE(calls.empty());
}

TEST_F(WizardClose, CloseBoxOnTheFinishedPageAsksAndSkipsTheFinish)
{
    Install();
    Next();
    answers = {mrAbort};
    form->CloseRequest();
    EXPECT_TRUE(Asked(kMsgConfirmCancel));
    EXPECT_TRUE(form->Closed());
    EXPECT_EQ(form->ModalResult(), mrCancel);
    EXPECT_FALSE(machine.Exists(kUpdateLog));
    EXPECT_EQ(machine.StartedPrograms().size(), 1u);
}

TEST_F(WizardClose, RunningWorkerIsHeldDuringTheCancelQuestionAndGoesOnOrStops)
{
    Start();
    uint8_t seen = 0;
    onDialog = [&] { seen = Status().State; };
    Status().State = Running;   // as if copying

    answers = {mrNo};
    form->CancelClick();
    EXPECT_EQ(seen, Paused);
    EXPECT_EQ(Status().State, Running);

    answers = {mrAbort};
    form->CancelClick();
    EXPECT_EQ(Status().State, Stopped);
    EXPECT_TRUE(form->Closed());
}

TEST_F(WizardClose, PendingQuestionOfTheWorkerIsAnsweredAbortOnClose)
{
    machine.HoldFile(kProduct + "\\vlm.exe", "old");
    Start();
    NextTo(5);
    ASSERT_TRUE(WaitForState(Asking));
    answers = {mrAbort};
    form->CancelClick();
    EXPECT_TRUE(form->Closed());
    form->WaitForWorker();   // returns: the worker got its answer and ended
    EXPECT_EQ(Status().State, Failed);
    EXPECT_EQ(calls.size(), 1u);   // the cancel question only; the file question was never shown
}

TEST_F(WizardClose, NothingMovesTheWizardUnderAnOpenQuestion)
{
    Start();
    NextTo(4);
    // What the question's own message loop may deliver while it is open.
    bool delivered = false;
    onDialog = [&] {
        if (std::exchange(delivered, true)) return;
        form->NextClick();
        form->BackClick();
        form->CloseRequest();
        form->CancelClick();
        form->ToggleComponent(1);
        form->TimerTick(1);
    };
    answers = {mrNo};
    form->CloseRequest();
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(form->ShownPage(), 4);
    EXPECT_FALSE(form->Install.Record.Started);
    EXPECT_FALSE(form->Closed());
    EXPECT_FALSE(form->QuestionOpen());

    Next();   // answered: the wizard moves again
    EXPECT_EQ(form->ShownPage(), 5);
}

TEST_F(WizardClose, SessionEndIsRefusedWhileCopyingAndEndsLikeAnAbandon)
{
    machine.HoldFile(kProduct + "\\Velmorra.chm", "old");
    Start();
    EXPECT_TRUE(form->QueryEndSession());
    NextTo(5);
    ASSERT_TRUE(WaitForState(Asking));
    EXPECT_FALSE(form->QueryEndSession());
    // The session ends while the file question is open: nobody will answer it.
    onDialog = [&] { form->EndSession(); };
    TickWhileInstalling();
    EXPECT_TRUE(form->Closed());
    EXPECT_TRUE(form->QueryEndSession());
    EXPECT_EQ(machine.ReadString(HKCU, kInstallKey, "MAINDIR"), kProduct);
    EXPECT_TRUE(machine.ReadString(HKLM, kUninstallKey, "UninstallString"));
    const std::string log = machine.FileBytes(kProduct + "\\Install.log");
    EXPECT_NE(log.find("File Copy: " + kProduct + "\\vlm.exe\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Velmorra.chm"), std::string::npos);
    machine.DeleteFileAt(kProduct + "\\Install.log");
    PersistAfterWizard(*form);   // start-up's own save has nothing left to do
    EXPECT_FALSE(machine.Exists(kProduct + "\\Install.log"));
}

// --- After the wizard

TEST_F(WizardPersist, CancelBeforeInstallingWritesNothingButTheKeysExist)
{
    Start();
    NextTo(3);
    answers = {mrAbort};
    form->CancelClick();
    EXPECT_EQ(PersistAfterWizard(*form), 1602);
    EXPECT_TRUE(machine.KeyExists(HKCU, kInstallKey));
    EXPECT_TRUE(machine.KeyExists(HKCU, "Software\\Velmorra Word Processor\\Internal"));
    EXPECT_FALSE(machine.ReadValue(HKCU, kInstallKey, "MAINDIR"));
    EXPECT_FALSE(machine.KeyExists(HKLM, kUninstallKey));
}

TEST_F(WizardPersist, FinishedInstallationSavesSettingsEntryAndLog)
{
    machine.WriteDword(HKCU, kInstallKey, "COMPS_FR (1.6.5.8)", 0x12340A00 | 10);
    Install();
    view.checked[Ctl::AssocChkBx2] = false;
    Next();
    Next();
    PersistAfterWizard(*form);
    EXPECT_EQ(machine.ReadString(HKCU, kInstallKey, "MAINDIR"), kProduct);
    EXPECT_EQ(machine.ReadDword(HKCU, kInstallKey, "COMPS_FR (1.6.5.8)"), 0x12340A00u | 10);
    EXPECT_EQ(machine.ReadString(HKCU, kInstallKey, "EXTENSIONS"), "");
    EXPECT_EQ(machine.ReadDword(HKCU, kInstallKey, "INSTALLTOALL"), 1u);
    EXPECT_EQ(machine.ReadDword(HKCU, kInstallKey, "LAUNCH"), 1u);
    EXPECT_EQ(machine.ReadString(HKLM, kUninstallKey, "UninstallString"), "\"" + kProduct + "\\vlm.exe\" -ui");
    const std::string log = machine.FileBytes(kProduct + "\\Install.log");
    EXPECT_NE(log.find("File Copy: " + kProduct + "\\vlm.exe\r\n"), std::string::npos);
}

TEST_F(WizardPersist, PortableSavesTheInstallKeyOnly)
{
    StartPortable();
    Install();
    Next();
    PersistAfterWizard(*form);
    EXPECT_EQ(machine.ReadString(HKCU, kInstallKey, "MAINDIR"), "E:\\Velmorra");
    EXPECT_EQ(machine.ReadString(HKCU, kInstallKey, "EXTENSIONS"), "B");
    EXPECT_TRUE(machine.ReadDword(HKCU, kInstallKey, "INSTALLTOALL"));
    EXPECT_FALSE(machine.KeyExists(HKLM, kUninstallKey));
    EXPECT_FALSE(machine.Exists("E:\\Velmorra\\Install.log"));
}

TEST_F(WizardPersist, AbandonDuringCopyStillSavesWhatWasDone)
{
    machine.HoldFile(kProduct + "\\Velmorra.chm", "old");
    Start();
    NextTo(5);
    ASSERT_TRUE(WaitForState(Asking));
    answers = {mrAbort};
    form->CancelClick();
    PersistAfterWizard(*form);
    EXPECT_EQ(machine.ReadString(HKCU, kInstallKey, "MAINDIR"), kProduct);
    const std::string log = machine.FileBytes(kProduct + "\\Install.log");
    EXPECT_NE(log.find("File Copy: " + kProduct + "\\vlm.exe\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Velmorra.chm"), std::string::npos);
}

TEST_F(WizardPersist, DriveRemovedAfterAPortableCopyLeavesNoTraceOnTheMachine)
{
    StartPortable();
    Install();
    EXPECT_EQ(view.page, 7);
    machine.RemoveDrive('E');
    Next();
    EXPECT_TRUE(form->Closed());
    PersistAfterWizard(*form);
    EXPECT_EQ(machine.ReadString(HKCU, kInstallKey, "MAINDIR"), "E:\\Velmorra");
    EXPECT_FALSE(machine.KeyExists(HKLM, kUninstallKey));
    EXPECT_FALSE(machine.Exists(kUpdateLog));
    EXPECT_TRUE(calls.empty());
}
