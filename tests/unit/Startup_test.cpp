#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "ArchiveBuilder.h"
#include "engine/AttachFiles.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "setup/Silent.h"
#include "setup/Startup.h"
#include "install/Finish.h"
#include "install/Switches.h"
#include "support/FakeMachineTest.h"

namespace {

const unsigned kIconExclamation = 0x30;
const unsigned kIconError = 0x10;

// Records the steps start-up takes and what the archive reader was at each.
class RecordingHost : public StartupHost {
public:
    std::vector<std::string> steps;
    std::function<void()> duringWizard;
    TAttachedFiles* readerInWizard = nullptr;
    TAttachedFiles* readerAtFinish = nullptr;
    std::vector<std::string> args;
    std::vector<std::string> usages;
    int wizardExit = 0;

    void PrepareSystem() override { steps.push_back("prepare"); }
    void SetApplicationIcon() override { steps.push_back("icon"); }
    void SetApplicationTitle(const std::string& title) override { steps.push_back("title " + title); }
    std::vector<std::string> Arguments() override { return args; }
    void ShowUsage(const std::string& text) override { usages.push_back(text); }
    void RunWizard() override
    {
        steps.push_back("wizard");
        readerInWizard = AttachedFiles;
        if (duringWizard) duringWizard();
    }
    int FinishAfterWizard() override
    {
        steps.push_back("finish");
        readerAtFinish = AttachedFiles;
        return wizardExit;
    }
};

void PutArchive(FakeMachine& machine, const std::string& packed) { machine.SetResource("FILES", "FILES", packed); }

std::string GoodArchive() { return ArchiveBuilder().Add("Licence.txt", "Licence").Compressed(); }

bool VelmorraKeysExist(FakeMachine& machine)
{
    return machine.KeyExists(RegRoot::CurrentUser, "Software\\Velmorra Word Processor") ||
           machine.KeyExists(RegRoot::LocalMachine,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmorra Word Processor");
}

}  // namespace

TEST(StartupSystemRule, Windows2000AndLaterNtReleasesAreSupported)
{
    EXPECT_TRUE(IsSupportedSystem(2, 5));    // 2000, XP
    EXPECT_TRUE(IsSupportedSystem(2, 6));    // Vista to 8.1
    EXPECT_TRUE(IsSupportedSystem(2, 10));
    EXPECT_FALSE(IsSupportedSystem(2, 4));   // NT 4.0
    EXPECT_FALSE(IsSupportedSystem(2, 3));
    EXPECT_FALSE(IsSupportedSystem(1, 4));   // 95, 98, ME
    EXPECT_FALSE(IsSupportedSystem(0, 5));   // Win32s
}

TEST(StartupRefusal, OlderSystemsSeeOnlyTheMessageAndNothingIsWritten)
{
    struct Case {
        const char* name;
        unsigned platformId, major;
    };
    for (Case system : {Case{"NT 4.0", 2, 4}, Case{"98", 1, 4}}) {
        SCOPED_TRACE(system.name);
        FakeMachine machine;
        UseFakeMachine use(machine);
        machine.StandardSetup();
        machine.SetVersion(system.platformId, system.major);
        PutArchive(machine, GoodArchive());
        const std::vector<std::string> disk = machine.AllPaths();
        RecordingHost host;

        EXPECT_EQ(1150, RunSetup(host));

        const auto boxes = machine.MessageBoxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("Ce programme n\xE9" "cessite Windows 2000 ou un syst\xE8me Windows plus r\xE9" "cent.", boxes[0].text);
        EXPECT_EQ("", boxes[0].caption);   // the system's own caption
        EXPECT_EQ(kIconExclamation, boxes[0].flags);
        EXPECT_EQ(std::vector<std::string>{"prepare"}, host.steps);
        EXPECT_EQ(disk, machine.AllPaths());
        EXPECT_FALSE(VelmorraKeysExist(machine));
    }
}

using StartupRefusals = StandardMachineTest;

TEST_F(StartupRefusals, ASecondCopySeesOnlyTheMessageAndNothingIsWritten)
{
    PutArchive(machine, GoodArchive());
    const std::vector<std::string> disk = machine.AllPaths();
    RecordingHost host;
    machine.HoldGuard(machine.UserSid());

    EXPECT_EQ(1618, RunSetup(host));

    const auto boxes = machine.MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kAlreadyRunningText, boxes[0].text);
    EXPECT_EQ("Installation du traitement de texte Velmorra", boxes[0].caption);
    EXPECT_EQ(std::vector<std::string>{"prepare"}, host.steps);
    EXPECT_EQ(disk, machine.AllPaths());
    EXPECT_FALSE(VelmorraKeysExist(machine));
}

// Anyone may make a named object first: only a guard of the administrators or of this user
// tells of another copy.
TEST(StartupGuard, OnlyAGuardOfTheAdministratorsSystemOrThisUserRefuses)
{
    const std::string user = "S-1-5-21-1-2-3-1001";
    EXPECT_FALSE(AnotherCopyRuns(GuardClaim{true, ""}, user));
    for (const char* owner : {"S-1-5-32-544", "S-1-5-18", "S-1-5-21-1-2-3-1001"})
        EXPECT_TRUE(AnotherCopyRuns(GuardClaim{false, owner}, user)) << owner;
    for (const char* owner : {"S-1-5-21-1-2-3-1002", "S-1-5-32-545", "S-1-1-0", ""})
        EXPECT_FALSE(AnotherCopyRuns(GuardClaim{false, owner}, user)) << owner;
    EXPECT_FALSE(AnotherCopyRuns(GuardClaim{false, ""}, ""));
}

TEST_F(StartupRefusals, AGuardAnotherUserMadeFirstDoesNotStopTheSetup)
{
    PutArchive(machine, GoodArchive());
    machine.HoldGuard("S-1-5-21-1-2-3-1002");
    RecordingHost host;

    EXPECT_EQ(0, RunSetup(host));

    EXPECT_TRUE(machine.MessageBoxes().empty());
    EXPECT_EQ((std::vector<std::string>{"prepare", "icon", "title Installation du traitement de texte Velmorra",
                                        "wizard", "finish"}),
              host.steps);
}

using StartupArchive = StandardMachineTest;

TEST_F(StartupArchive, AMissingOrBrokenArchiveIsShownWithTheTitleAndNothingIsWritten)
{
    const std::string truncated = GoodArchive().substr(0, 8);
    for (const std::string* packed : {static_cast<const std::string*>(nullptr), &truncated}) {
        SCOPED_TRACE(packed ? "truncated" : "missing");
        if (packed) PutArchive(machine, *packed);
        const std::vector<std::string> disk = machine.AllPaths();
        std::string expected;
        try {
            TAttachedFiles reader;
        } catch (const ArchiveError& error) {
            expected = error.what();
        }
        ASSERT_FALSE(expected.empty());
        const size_t shownBefore = machine.MessageBoxes().size();
        RecordingHost host;

        EXPECT_EQ(1603, RunSetup(host));

        const auto boxes = machine.MessageBoxes();
        ASSERT_EQ(shownBefore + 1, boxes.size());
        EXPECT_EQ(expected, boxes.back().text);
        EXPECT_EQ("Installation du traitement de texte Velmorra", boxes.back().caption);
        EXPECT_EQ(kIconError, boxes.back().flags);
        EXPECT_EQ((std::vector<std::string>{"prepare", "icon", "title Installation du traitement de texte Velmorra"}),
                  host.steps);
        EXPECT_EQ(disk, machine.AllPaths());
        EXPECT_FALSE(VelmorraKeysExist(machine));
        EXPECT_EQ(nullptr, AttachedFiles);
    }
}

using StartupRun = StandardMachineTest;

TEST_F(StartupRun, StepsRunInOrderWithTheReaderFromBeforeTheWizardToAfterTheFinish)
{
    PutArchive(machine, GoodArchive());
    RecordingHost host;

    EXPECT_EQ(0, RunSetup(host));

    EXPECT_EQ((std::vector<std::string>{"prepare", "icon", "title Installation du traitement de texte Velmorra",
                                        "wizard", "finish"}),
              host.steps);
    ASSERT_NE(nullptr, host.readerInWizard);
    EXPECT_EQ(host.readerInWizard, host.readerAtFinish);
    EXPECT_EQ(nullptr, AttachedFiles);
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST_F(StartupRun, TheRunsTemporaryFilesAreGoneAtTheEnd)
{
    PutArchive(machine, GoodArchive());
    RecordingHost host;
    std::string licence;
    host.duringWizard = [&] {
        licence = NewTempFileName();
        LogSuspension quiet(AttachedFiles->Log);
        EXPECT_TRUE(AttachedFiles->ExtractFile(nullptr, "Licence.txt", licence));
        EXPECT_TRUE(machine.IsFile(licence));
    };

    RunSetup(host);

    ASSERT_FALSE(licence.empty());
    EXPECT_FALSE(machine.Exists(licence));
}

TEST_F(StartupRun, AnErrorEscapingTheWizardIsShownInsteadOfEndingTheProgramAbruptly)
{
    PutArchive(machine, GoodArchive());
    RecordingHost host;
    host.duringWizard = [] { throw std::runtime_error("Erreur inattendue"); };

    EXPECT_EQ(1603, RunSetup(host));

    const auto boxes = machine.MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Erreur inattendue", boxes[0].text);
    EXPECT_EQ(kIconError, boxes[0].flags);
    // A worker might still read the archive, so the program leaves the reader to the process's end.
    ASSERT_NE(nullptr, AttachedFiles);
    delete AttachedFiles;
    AttachedFiles = nullptr;
}

TEST_F(StartupRun, ExhaustedMemoryIsShownInFrenchNotAsTheRuntimesName)
{
    PutArchive(machine, GoodArchive());
    RecordingHost host;
    host.duringWizard = [] { throw std::bad_alloc(); };

    EXPECT_EQ(8, RunSetup(host));

    const auto boxes = machine.MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kOutOfMemoryText, boxes[0].text);
    EXPECT_EQ("Installation du traitement de texte Velmorra", boxes[0].caption);
    EXPECT_EQ(kIconError, boxes[0].flags);
    delete AttachedFiles;
    AttachedFiles = nullptr;
}

// --- The command line and the unattended road

using StartupSwitches = StandardMachineTest;

// In /S the usage goes to the run log; an unknown switch stops only the silent road.
TEST_F(StartupSwitches, UsageIsShownForQuestionMarkAndBadSwitchesAndLoggedInSilent)
{
    PutArchive(machine, GoodArchive());
    RecordingHost help, bad, silentBad, unknown;
    help.args = {"/?", "/X"};
    bad.args = {"/D=relatif"};
    silentBad.args = {"/S", "/X", "/LOG=C:\\run.log"};
    unknown.args = {"/X", "/D", "C:\\Apps"};

    EXPECT_EQ(0, RunSetup(help));
    EXPECT_EQ(87, RunSetup(bad));
    EXPECT_EQ(87, RunSetup(silentBad));
    EXPECT_EQ(0, RunSetup(unknown));

    ASSERT_EQ(1u, help.usages.size());
    EXPECT_EQ(UsageText(""), help.usages[0]);
    ASSERT_EQ(1u, bad.usages.size());
    EXPECT_EQ(UsageText("/D=relatif"), bad.usages[0]);
    EXPECT_TRUE(silentBad.usages.empty());
    const std::string log = machine.FileBytes("C:\\run.log");
    EXPECT_NE(log.find(" Option ou valeur incorrecte : /X\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" /? : cette aide\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Fin, code de sortie 87\r\n"), std::string::npos);
    for (const RecordingHost* host : {&help, &bad, &silentBad})
        EXPECT_EQ(std::vector<std::string>{"prepare"}, host->steps);
    EXPECT_TRUE(unknown.usages.empty());
    EXPECT_EQ("wizard", unknown.steps.at(3));
}

TEST_F(StartupSwitches, TheWizardsCodeIsThePrograms)
{
    PutArchive(machine, GoodArchive());
    RecordingHost abandoned;
    abandoned.wizardExit = 1602;
    EXPECT_EQ(1602, RunSetup(abandoned));
}

TEST_F(StartupSwitches, SilentRefusalsShowNothing)
{
    PutArchive(machine, GoodArchive());
    RecordingHost secondCopy;
    secondCopy.args = {"/S"};
    machine.HoldGuard(machine.UserSid());
    EXPECT_EQ(1618, RunSetup(secondCopy));
    machine.SetVersion(2, 4);
    EXPECT_EQ(1150, RunSetup(secondCopy));
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

class SilentRun : public StandardMachineTest {
protected:
    SilentRun()
    {
        PutArchive(machine, ProductArchive().Compressed());
        machine.SkipMainThreadSleeps();
    }
    int Run(std::vector<std::string> args)
    {
        host.args = std::move(args);
        return RunSetup(host);
    }
    RecordingHost host;
    const std::string dest = "C:\\Apps\\Velmorra";
};

TEST_F(SilentRun, InstallsTheChosenComponentsWithNoWindowAndLogsTheRun)
{
    // A temporary item held open by another program stays, and the run log says so.
    const std::string held = TempFolder() + kTempPrefix + "Ouvert";
    machine.PutFile(held + "\\lettre.vlt");
    machine.LockFile(held + "\\lettre.vlt");
    EXPECT_EQ(0, Run({"/S", "/COMPONENTS=help", "/ASSOC=rtf", "/D=" + dest, "/LOG=C:\\run.log", "/CURRENTUSER"}));

    EXPECT_TRUE(host.steps.end() == std::find(host.steps.begin(), host.steps.end(), "wizard"));
    EXPECT_TRUE(machine.MessageBoxes().empty());
    EXPECT_EQ("vlm.exe contents", machine.FileBytes(dest + "\\vlm.exe"));
    EXPECT_TRUE(machine.IsFile(dest + "\\Velmorra.chm"));
    EXPECT_FALSE(machine.Exists(dest + "\\Coupe de mots.dat"));
    EXPECT_NE(std::string::npos, machine.FileBytes(dest + "\\Install.log").find("Velmorra.chm"));
    const std::string install = "Software\\Velmorra Word Processor\\Install";
    EXPECT_EQ(dest, machine.ReadString(RegRoot::CurrentUser, install, "MAINDIR"));
    EXPECT_EQ("A", machine.ReadString(RegRoot::CurrentUser, install, "EXTENSIONS"));
    EXPECT_EQ(0u, machine.ReadDword(RegRoot::CurrentUser, install, "INSTALLTOALL"));
    EXPECT_EQ(0u, machine.ReadDword(RegRoot::CurrentUser, install, "LAUNCH"));
    EXPECT_EQ(0x7FFFFF02u, machine.ReadDword(RegRoot::CurrentUser, install, "COMPS_FR (1.6.5.8)"));
    EXPECT_TRUE(VelmorraKeysExist(machine));
    // The association command ran; the word processor itself was not started.
    ASSERT_EQ(1u, machine.StartedPrograms().size());
    const std::string log = machine.FileBytes("C:\\run.log");
    for (const char* line : {"Copie des fichiers", "Associations et raccourcis", "code de sortie 0"})
        EXPECT_NE(std::string::npos, log.find(line)) << line;
    EXPECT_LT(log.find("Élément temporaire laissé en place : " + held + "\r\n"), log.find("Fin, code de sortie 0"));
    EXPECT_EQ(nullptr, AttachedFiles);
}

// Named in full before the copy moves the current folder, opened once, never through a link.
TEST_F(SilentRun, TheRunLogIsOpenedOnceByItsFullNameAndNeverThroughALink)
{
    machine.MakeFolder("C:\\Work");
    machine.SetCurrentDir("C:\\Work");
    EXPECT_EQ(0, Run({"/S", "/D=" + dest, "/LOG=run.log"}));
    EXPECT_NE(std::string::npos, machine.FileBytes("C:\\Work\\run.log").find("code de sortie 0"));
    EXPECT_TRUE(machine.IsFlushed("C:\\Work\\run.log"));
    EXPECT_EQ("D:\\run.log", FullPathFromCurrent("D:run.log"));
    EXPECT_EQ("C:\\run.log", FullPathFromCurrent("\\run.log"));

    machine.PutFile("C:\\WINNT\\win.ini", "[windows]");
    machine.MakeLink("C:\\Work\\lien.log", "C:\\WINNT\\win.ini", false);
    machine.MakeHardLink("C:\\Work\\dur.log", "C:\\WINNT\\win.ini");
    EXPECT_EQ(0, Run({"/S", "/D=" + dest, "/LOG=C:\\Work\\lien.log"}));
    EXPECT_EQ(0, Run({"/S", "/D=" + dest, "/LOG=C:\\Work\\dur.log"}));
    EXPECT_EQ("[windows]", machine.FileBytes("C:\\WINNT\\win.ini"));
    EXPECT_EQ("[windows]", machine.FileBytes("C:\\Work\\dur.log"));
}

TEST_F(SilentRun, AnElevatedRunRefusesALinkedFolderAndProtectsAFreshOne)
{
    machine.SetElevated(true);
    machine.MakeFolder("C:\\Autre");
    machine.MakeLink(dest, "C:\\Autre", true);
    EXPECT_EQ(1603, Run({"/S", "/D=" + dest, "/LOG=C:\\run.log"}));
    EXPECT_NE(std::string::npos, machine.FileBytes("C:\\run.log").find(InstallFolderLinkText(dest)));
    EXPECT_EQ(machine.Children("C:\\Autre"), std::vector<std::string>{});
    machine.RemoveDir(dest);
    EXPECT_EQ(0, Run({"/S", "/D=" + dest}));
    EXPECT_EQ(machine.Protected(), std::vector<std::string>{dest});
}

// Elevated, with no desktop shell to start it as the user: /LAUNCH leaves the word processor
// out rather than start it with the setup's rights, and both logs say so.
TEST_F(SilentRun, AnElevatedRunWithoutADesktopShellDoesNotLaunch)
{
    machine.SetVersion(2, 6);
    machine.SetElevated(true);
    machine.SetDesktopShellAvailable(false);
    EXPECT_EQ(0, Run({"/S", "/LAUNCH", "/D=" + dest, "/LOG=C:\\run.log"}));
    ASSERT_EQ(1u, machine.StartedPrograms().size());   // the association command alone
    EXPECT_NE(std::string::npos, machine.FileBytes("C:\\run.log").find(kLaunchSkippedText));
    EXPECT_NE(std::string::npos, machine.FileBytes(dest + "\\Install.log").find(kLaunchSkippedText));
}

TEST_F(SilentRun, TheWordProcessorRunningOrABadFolderEndsBeforeAnythingIsWritten)
{
    const uintptr_t window = machine.AddWindow({"1.x Tessalvorn"});
    const std::vector<std::string> disk = machine.AllPaths();
    EXPECT_EQ(170, Run({"/S", "/D=" + dest}));
    EXPECT_FALSE(VelmorraKeysExist(machine));
    machine.RemoveWindow(window);
    EXPECT_EQ(87, Run({"/S", "/D=C:\\Apps\\CON"}));
    EXPECT_EQ(disk, machine.AllPaths());
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST_F(SilentRun, AShortcutFolderWithNoWritableNameEndsWith1603AndIsNamedInTheRunLog)
{
    machine.SetSpecialFolder(2, "?");
    EXPECT_EQ(1603, Run({"/S", "/D=" + dest, "/LOG=C:\\run.log", "/CURRENTUSER"}));
    const std::string log = machine.FileBytes("C:\\run.log");
    EXPECT_NE(std::string::npos, log.find("Message : " + UnnameableFolderText("le menu Démarrer")));
    EXPECT_TRUE(machine.IsFile(dest + "\\Install.log"));
}

TEST_F(SilentRun, AHeldFileEndsWith32AndADiskFillingUpWith112)
{
    machine.HoldFile(dest + "\\Licence.txt", "old");
    EXPECT_EQ(32, Run({"/S", "/D=" + dest, "/LOG=C:\\run.log"}));
    EXPECT_NE(std::string::npos, machine.FileBytes(dest + "\\Install.log").find("vlm.exe"));
    EXPECT_NE(std::string::npos, machine.FileBytes("C:\\run.log").find("code de sortie 32"));

    machine.ReleaseFile(dest + "\\Licence.txt");
    machine.DriveAt("C").full = true;
    EXPECT_EQ(112, Run({"/S", "/D=" + dest}));
    EXPECT_TRUE(machine.MessageBoxes().empty());
}
