#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "engine/InstallPlan.h"
#include "instutils/InstallLog.h"
#include "instutils/TextError.h"
#include "support/FakeMachineTest.h"
#include "install/Finish.h"
#include "support/ScriptedDialog.h"

namespace {

const std::string kUserPrograms = "C:\\Documents and Settings\\Jean\\Menu Démarrer\\Programmes\\";
const std::string kUserDesktop = "C:\\Documents and Settings\\Jean\\Bureau\\";
const std::string kCommonPrograms = "C:\\Documents and Settings\\All Users\\Menu Démarrer\\Programmes\\";
const std::string kCommonDesktop = "C:\\Documents and Settings\\All Users\\Bureau\\";
const std::string kLink = "Traitement de texte Velmorra.lnk";
const std::string kUpdateLog = "C:\\Documents and Settings\\All Users\\Application Data\\Velmorra\\Update.log";

class FinishTest : public StandardMachineTest {
protected:
    InstallLog log;
    QuestionService questions;
    PlanChoices Normal() const
    {
        PlanChoices c;
        c.MainDir = "C:\\Program Files\\Velmorra";
        return c;
    }
};

using FinishRunningCheck = FinishTest;
using FinishShortcuts = FinishTest;
using FinishUpdateLog = FinishTest;
using FinishCommands = FinishTest;

}  // namespace

TEST_F(FinishRunningCheck, FindsOnlyAWindowWithTheProgramsProperty)
{
    machine.AddWindow({"Autre"});
    EXPECT_FALSE(IsAppRunning());
    const uintptr_t app = machine.AddWindow({"1.x Tessalvorn"});
    machine.AddWindow({});
    EXPECT_TRUE(IsAppRunning());
    machine.RemoveWindow(app);
    EXPECT_FALSE(IsAppRunning());
}

TEST_F(FinishRunningCheck, EnumerationStopsAtTheFirstWindowFound)
{
    const uintptr_t app = machine.AddWindow({"1.x Tessalvorn"});
    bool found = false;
    EXPECT_FALSE(FindAppWindowProc(app, &found));
    EXPECT_TRUE(found);
}

TEST_F(FinishCommands, AssociationCommandNamesTheCheckedTypesInOrder)
{
    EXPECT_EQ(AssociationCommand("D:\\Apps\\Velmorra", {true, false, false, true}),
              "\"D:\\Apps\\Velmorra\\vlm.exe\" -assoc adpr_rtf_docx");
    EXPECT_EQ(AssociationCommand("D:\\Apps\\Velmorra\\", {false, false, false, false}),
              "\"D:\\Apps\\Velmorra\\vlm.exe\" -assoc adpr");
    EXPECT_EQ(AssociationCommand("D:\\V", {true, true, true, true}), "\"D:\\V\\vlm.exe\" -assoc adpr_rtf_cod_doc_docx");
}

TEST_F(FinishCommands, ExtensionsAndBoxesConvertBothWays)
{
    EXPECT_EQ(ExtensionsFromBoxes({true, true, false, true}), "ABD");
    EXPECT_EQ(ExtensionsFromBoxes({false, false, false, false}), "");
    EXPECT_EQ(BoxesFromExtensions("xDbB"), (AssocBoxes{false, true, false, true}));   // case-sensitive, anywhere
    EXPECT_EQ(BoxesFromExtensions(""), (AssocBoxes{false, false, false, false}));
}

// Named by full path and started in the destination, never searched for nor started in the
// folder the setup program was run from.
TEST_F(FinishCommands, CommandsStartTheInstalledProgramInTheDestination)
{
    RunAssociationCommand("D:\\V", {false, true, false, false});
    EXPECT_TRUE(LaunchProgram("D:\\V", log));
    const auto started = machine.StartedPrograms();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].commandLine, "\"D:\\V\\vlm.exe\" -assoc adpr_cod");
    EXPECT_EQ(started[1].commandLine, "\"D:\\V\\vlm.exe\"");
    for (const auto& program : started) {
        EXPECT_EQ(program.application, "D:\\V\\vlm.exe");
        EXPECT_EQ(program.currentDir, "D:\\V");
        EXPECT_EQ(program.showMode, 5u);
    }
}

// An elevated setup on Vista or later has the shell start them with the desktop user's token;
// before Vista or unelevated, the setup starts them itself. Elevated without a shell to ask, the
// association command still runs, but the word processor is not launched with the setup's
// rights: the launch is left out and the log says so.
TEST_F(FinishCommands, TheWordProcessorRunsAsTheDesktopUserWhenTheSetupIsElevated)
{
    struct Case {
        unsigned major;
        bool elevated, shell, asDesktopUser, launched;
    };
    for (Case c : {Case{6, true, true, true, true}, Case{10, true, true, true, true}, Case{5, true, true, false, true},
                   Case{6, false, true, false, true}, Case{6, true, false, false, false},
                   Case{5, true, false, false, true}}) {
        SCOPED_TRACE(testing::Message() << c.major << c.elevated << c.shell);
        FakeMachine fresh;
        UseFakeMachine use(fresh);
        fresh.SetVersion(2, c.major);
        fresh.SetElevated(c.elevated);
        fresh.SetDesktopShellAvailable(c.shell);
        InstallLog record;
        RunAssociationCommand("D:\\V", {true, false, false, true});
        EXPECT_EQ(LaunchProgram("D:\\V", record), c.launched);
        const auto started = fresh.StartedPrograms();
        ASSERT_EQ(started.size(), c.launched ? 2u : 1u);
        EXPECT_EQ(started[0].commandLine, "\"D:\\V\\vlm.exe\" -assoc adpr_rtf_docx");
        if (c.launched) {
            EXPECT_EQ(started[1].commandLine, "\"D:\\V\\vlm.exe\"");
        }
        for (const auto& program : started) {
            EXPECT_EQ(program.asDesktopUser, c.asDesktopUser);
            EXPECT_EQ(program.currentDir, "D:\\V");
        }
        EXPECT_EQ(record.Lines(), c.launched ? std::vector<std::string>{} : std::vector<std::string>{kLaunchSkippedText});
    }
}

TEST_F(FinishShortcuts, AllUsersReplacesTheCurrentUsersShortcuts)
{
    machine.PutFile(kUserPrograms + kLink, "old");
    machine.PutFile(kUserDesktop + kLink, "old");

    CreateProductShortcuts("C:\\Program Files\\Velmorra", true, sharedData, log, questions);

    EXPECT_FALSE(machine.Exists(kUserPrograms + kLink));
    EXPECT_FALSE(machine.Exists(kUserDesktop + kLink));
    const auto link = machine.ReadLink(kCommonPrograms + kLink);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->target, "C:\\Program Files\\Velmorra\\vlm.exe");
    EXPECT_EQ(link->workingFolder, "C:\\Program Files\\Velmorra");
    EXPECT_EQ(link->description, "Traitement de texte compact, rapide, puissant, et par dessus tout pratique.");
    EXPECT_TRUE(machine.ReadLink(kCommonDesktop + kLink));
    EXPECT_EQ(log.Lines().back(), "File Copy: " + kCommonDesktop + kLink);
}

TEST_F(FinishShortcuts, CurrentUserReplacesTheAllUsersShortcuts)
{
    machine.PutFile(kCommonPrograms + kLink, "old");
    machine.PutFile(kCommonDesktop + kLink, "old");

    CreateProductShortcuts("C:\\Program Files\\Velmorra", false, sharedData, log, questions);

    EXPECT_FALSE(machine.Exists(kCommonPrograms + kLink));
    EXPECT_FALSE(machine.Exists(kCommonDesktop + kLink));
    EXPECT_TRUE(machine.ReadLink(kUserPrograms + kLink));
    EXPECT_TRUE(machine.ReadLink(kUserDesktop + kLink));
}

TEST_F(FinishShortcuts, UnsavedShortcutIsNotLoggedAndTheOtherScopeKeepsItsOwn)
{
    machine.PutFile(kUserPrograms + kLink, "old");
    machine.PutFile(kUserDesktop + kLink, "old");
    machine.PutFile(kCommonPrograms + kLink, "");
    machine.LockFile(kCommonPrograms + kLink);   // as without rights for the all-users folder

    CreateProductShortcuts("C:\\V", true, sharedData, log, questions);

    EXPECT_EQ(machine.FileBytes(kUserPrograms + kLink), "old");
    EXPECT_FALSE(machine.Exists(kUserDesktop + kLink));
    EXPECT_EQ(std::count(log.Lines().begin(), log.Lines().end(), "File Copy: " + kCommonPrograms + kLink), 0);
    EXPECT_EQ(log.Lines().back(), "File Copy: " + kCommonDesktop + kLink);
}

TEST_F(FinishShortcuts, MissingScopeFallsBackToTheOther)
{
    machine.RemoveSpecialFolder(23);   // no all-users programs folder
    CreateProductShortcuts("C:\\V", true, sharedData, log, questions);
    EXPECT_TRUE(machine.ReadLink(kUserPrograms + kLink));
    EXPECT_TRUE(machine.ReadLink(kCommonDesktop + kLink));
}

TEST_F(FinishShortcuts, NeitherScopeSkipsThatShortcutSilently)
{
    machine.RemoveSpecialFolder(16);
    machine.RemoveSpecialFolder(25);

    CreateProductShortcuts("C:\\V", false, sharedData, log, questions);

    EXPECT_TRUE(machine.ReadLink(kUserPrograms + kLink));
    for (const std::string& path : machine.AllPaths()) {
        if (path.find(".lnk") != std::string::npos) {
            EXPECT_EQ(path, kUserPrograms + kLink);
        }
    }
}

// A profile named outside the code page ("Łukasz") is reached by its short form, the same folder;
// one without a short form is reported, and nothing is made in its place nor in the other scope.
TEST_F(FinishShortcuts, AFolderIsUsedByItsShortFormOrReportedButNeverReplaced)
{
    const std::string programs = "C:\\DOCUME~1\\UKASZ~1\\MENUDM~1\\PROGRA~1\\";
    machine.SetSpecialFolder(2, programs.substr(0, programs.size() - 1));
    machine.MakeFolder(programs);
    machine.SetSpecialFolder(16, "?");
    const size_t before = machine.AllPaths().size();
    ScriptedDialog dialog(questions);
    EXPECT_FALSE(CreateProductShortcuts("C:\\V", false, sharedData, log, questions));
    EXPECT_EQ(log.Lines().back(), "File Copy: " + programs + kLink);
    EXPECT_EQ(dialog.texts, std::vector<std::string>{UnnameableFolderText("le Bureau")});
    EXPECT_EQ(machine.AllPaths().size(), before + 1);   // the link alone
}

TEST_F(FinishUpdateLog, StampLineIsTheDoublesBytesInMemoryOrder)
{
    EXPECT_EQ(StampLine(40344.5), "*0000000010B3E340");   // 15 June 2010, 12:00
    EXPECT_EQ(StampLine(0), "*0000000000000000");
}

TEST_F(FinishUpdateLog, MergeMovesFilesToTheNewGroupAndDropsEmptyGroups)
{
    const std::string s1 = StampLine(1), s2 = StampLine(2), s3 = StampLine(3);
    const auto merged = MergeUpdateLog({s1, "x", s2, s3, "Y", ""}, {"y", "z"}, 4);
    EXPECT_EQ(merged, (std::vector<std::string>{s1, "x", StampLine(4), "y", "z"}));
}

TEST_F(FinishUpdateLog, FirstWriteSortsTheFilesWithoutRegardToCase)
{
    WriteUpdateLog(Normal(), {"C:\\P\\b.dat", "C:\\P\\A.dat\t!", "C:\\P\\c.dat"}, 40344.5, sharedData, log);
    EXPECT_EQ(machine.FileBytes(kUpdateLog), "*0000000010B3E340\r\nC:\\P\\A.dat\t!\r\nC:\\P\\b.dat\r\nC:\\P\\c.dat\r\n");
}

TEST_F(FinishUpdateLog, ExistingFileIsMergedReadingAnyLineEnd)
{
    machine.PutFile(kUpdateLog, StampLine(1) + "\nx\r" + StampLine(2) + "\r\n" + StampLine(3) + "\r\ny\r\n");
    WriteUpdateLog(Normal(), {"z", "Y"}, 4, sharedData, log);
    EXPECT_EQ(machine.FileBytes(kUpdateLog),
              StampLine(1) + "\r\nx\r\n" + StampLine(4) + "\r\nY\r\nz\r\n");
}

TEST_F(FinishUpdateLog, NoPublicFilesLeavesTheFileUntouched)
{
    machine.PutFile(kUpdateLog, "old", Dos(2009, 1, 1));
    WriteUpdateLog(Normal(), {}, 4, sharedData, log);
    EXPECT_EQ(machine.FileBytes(kUpdateLog), "old");
    EXPECT_EQ(machine.LastWrite(kUpdateLog), Dos(2009, 1, 1));
}

TEST_F(FinishUpdateLog, FileThatCannotBeWrittenIsAnError)
{
    machine.HoldFile(kUpdateLog, StampLine(1) + "\r\nx\r\n");
    EXPECT_THROW(WriteUpdateLog(Normal(), {"z"}, 4, sharedData, log), TextError);
    EXPECT_EQ(machine.FileBytes(kUpdateLog), StampLine(1) + "\r\nx\r\n");
}

TEST_F(FinishUpdateLog, AFullDiskKeepsTheOldHistoryUntilSpaceIsFreed)
{
    machine.PutFile(kUpdateLog, StampLine(1) + "\r\nx\r\n");
    machine.DriveAt("C").full = true;
    EXPECT_THROW(WriteUpdateLog(Normal(), {"z"}, 4, sharedData, log), TextError);
    EXPECT_EQ(machine.FileBytes(kUpdateLog), StampLine(1) + "\r\nx\r\n");
    machine.DriveAt("C").full = false;
    WriteUpdateLog(Normal(), {"z"}, 4, sharedData, log);
    EXPECT_EQ(machine.FileBytes(kUpdateLog), StampLine(1) + "\r\nx\r\n" + StampLine(4) + "\r\nz\r\n");
}

// Read and written back, another user's file would be published to everyone.
TEST_F(FinishUpdateLog, AHardLinkedLogIsReplacedNotReadAndRepublished)
{
    machine.PutFile("C:\\Secret\\mots.txt", "C:\\Secret\\ligne privee\r\n");
    machine.MakeHardLink(kUpdateLog, "C:\\Secret\\mots.txt");
    WriteUpdateLog(Normal(), {"z"}, 4, sharedData, log);
    EXPECT_EQ(machine.FileBytes(kUpdateLog), StampLine(4) + "\r\nz\r\n");
    EXPECT_EQ(machine.FileBytes("C:\\Secret\\mots.txt"), "C:\\Secret\\ligne privee\r\n");
}

TEST_F(FinishUpdateLog, ALinkInTheSharedDataFolderIsRefusedWithItsReason)
{
    machine.PutFile("C:\\Piege\\cible.log", "theirs");
    machine.MakeLink(kUpdateLog, "C:\\Piege\\cible.log", false);
    try {
        WriteUpdateLog(Normal(), {"z"}, 4, sharedData, log);
        ADD_FAILURE() << "no error";
    } catch (const TextError& error) {
        EXPECT_EQ(error.what(), LinkRefusedText(kUpdateLog));
    }
    EXPECT_EQ(machine.FileBytes("C:\\Piege\\cible.log"), "theirs");
}
