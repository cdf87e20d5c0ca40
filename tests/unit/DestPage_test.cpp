#include <gtest/gtest.h>

#include "ArchiveBuilder.h"
#include "support/FakeMachineTest.h"
#include "instutils/FileHelpers.h"
#include "wizard/DestPage.h"
#include "wizard/FileCtrl.h"

namespace {

class NormaliseDestination : public StandardMachineTest {
protected:
    std::string Normalised(const std::string& text, char drive = 'd') {
        std::string t = text;
        ::NormaliseDestination(t, drive);
        return t;
    }
};

TEST_F(NormaliseDestination, TrimsSpacesAtBothEndsAndOneTrailingBackslash) {
    EXPECT_EQ(Normalised("   C:\\Apps\\Velmorra\\  "), "C:\\Apps\\Velmorra");
    EXPECT_EQ(Normalised("C:\\Apps\\\t"), "C:\\Apps\\\t");   // only spaces are trimmed
}

TEST_F(NormaliseDestination, DriveRootGetsTheProductFolder) {
    EXPECT_EQ(Normalised("E:"), "E:\\Velmorra");
    EXPECT_EQ(Normalised("e:\\"), "e:\\Velmorra");
}

TEST_F(NormaliseDestination, ProgramFilesGetsTheProductFolderButNotWhatIsInside) {
    EXPECT_EQ(Normalised("c:\\PROGRAM FILES\\"), "c:\\PROGRAM FILES\\Velmorra");
    EXPECT_EQ(Normalised("C:\\Program Files\\Velmorra"), "C:\\Program Files\\Velmorra");
    EXPECT_EQ(Normalised("C:\\Program Files\\Autre"), "C:\\Program Files\\Autre");
}

TEST_F(NormaliseDestination, TextWithoutDriveBecomesTheProductFolderOnTheShownDrive) {
    EXPECT_EQ(Normalised("Velmorra\\Perso"), "d:\\Velmorra");
    EXPECT_EQ(Normalised("   "), "d:\\Velmorra");
    EXPECT_EQ(Normalised("\\\\serveur"), "d:\\Velmorra");   // a server without a share
}

TEST_F(NormaliseDestination, NetworkPathIsKeptWithoutItsTrailingBackslash) {
    EXPECT_EQ(Normalised("\\\\Serveur\\Partage\\Logiciels\\"), "\\\\Serveur\\Partage\\Logiciels");
    EXPECT_EQ(Normalised("\\\\Serveur\\Partage\\"), "\\\\Serveur\\Partage");
}

TEST_F(NormaliseDestination, WithoutProgramFilesFolderNothingMatchesIt) {
    machine.RemoveSpecialFolder(CSIDL_PROGRAM_FILES);
    EXPECT_EQ(Normalised("C:\\Program Files"), "C:\\Program Files");
}

TEST_F(NormaliseDestination, WithoutShownDriveABareNameGoesToTheProgramFilesDrive) {
    EXPECT_EQ(Normalised("Perso", ' '), "c:\\Velmorra");
    machine.RemoveSpecialFolder(CSIDL_PROGRAM_FILES);
    EXPECT_EQ(Normalised(" Perso ", '\0'), "Perso");
}

TEST_F(NormaliseDestination, DoubledBackslashesAndDotPartsGoFirst) {
    EXPECT_EQ(Normalised("C:\\\\Apps\\\\.\\Velmorra\\\\"), "C:\\Apps\\Velmorra");
    EXPECT_EQ(Normalised("C:\\\\"), "C:\\Velmorra");
    EXPECT_EQ(Normalised("C:\\Program Files\\\\.\\"), "C:\\Program Files\\Velmorra");
    EXPECT_EQ(Normalised("\\\\\\Serveur\\\\Partage\\.\\Logiciels"), "\\\\Serveur\\Partage\\Logiciels");
    EXPECT_EQ(Normalised("\\\\.\\pipe\\x"), "\\\\.\\pipe\\x");   // left for the check to refuse
}

class CheckDestinationTest : public StandardMachineTest {};

TEST_F(CheckDestinationTest, RefusesWhatWindowsCannotMakeAndSaysWhichName) {
    struct Case { const char* folder; DestProblem problem; const char* part; };
    const Case cases[] = {
        {"Velmorra", DestProblem::NotFullPath, "Velmorra"},
        {"C:Velmorra", DestProblem::DriveRelative, "C:Velmorra"},
        {"C:\\Apps\\..\\Velmorra", DestProblem::ParentPart, ".."},
        {"C:\\Vel\tmorra", DestProblem::ControlChar, "Vel\tmorra"},
        {"C:\\Velmorra\\a|b", DestProblem::ForbiddenChar, "|"},
        {"C:\\Velmorra:flux", DestProblem::ForbiddenChar, ":"},
        {"C:\\Apps/Velmorra", DestProblem::ForbiddenChar, "/"},
        {"\\\\?\\C:\\Velmorra", DestProblem::ForbiddenChar, "?"},
        {"C:\\con\\Velmorra", DestProblem::ReservedName, "con"},
        {"C:\\Apps\\NUL.txt", DestProblem::ReservedName, "NUL.txt"},
        {"C:\\Apps\\LPT9 ", DestProblem::ReservedName, "LPT9 "},
        {"\\\\.\\pipe\\x", DestProblem::EndsWithDotOrSpace, "."},
        {"C:\\Velmorra.", DestProblem::EndsWithDotOrSpace, "Velmorra."},
        {"C:\\Apps \\Velmorra", DestProblem::EndsWithDotOrSpace, "Apps "},
    };
    for (const Case& c : cases) {
        const DestCheck check = CheckDestination(c.folder, 11);
        EXPECT_EQ(check.problem, c.problem) << c.folder;
        EXPECT_EQ(check.part, c.part) << c.folder;
    }
}

TEST_F(CheckDestinationTest, AcceptsRootsSharesAndNamesThatOnlyLookOdd) {
    for (const char* folder : {"C:\\Velmorra", "c:\\Program Files\\Velmorra", "\\\\Serveur\\Partage",
                               "\\\\Serveur\\Partage\\Logiciels", "D:\\Apps\\.Velmorra 2.0\\COM10\\CONSOLE",
                               "E:\\Modèles (français)"})
        EXPECT_EQ(CheckDestination(folder, 11).problem, DestProblem::None) << folder;
}

TEST_F(CheckDestinationTest, LeavesRoomUnderMaxPathForTheLongestName) {
    const std::string fits = "C:\\" + std::string(244, 'x');   // 247 + "\" + 11 + NUL = 260
    EXPECT_EQ(CheckDestination(fits, 11).problem, DestProblem::None);
    const DestCheck check = CheckDestination(fits + "y", 11);
    EXPECT_EQ(check.problem, DestProblem::TooLong);
    EXPECT_EQ(check.maxLength, 247u);
    std::string deep = "C:";
    for (int i = 0; i < 20000; ++i) deep += "\\x";
    EXPECT_EQ(CheckDestination(deep, 11).problem, DestProblem::TooLong);
}

TEST_F(CheckDestinationTest, LongestNameFollowsWhatThePlanPutsInTheDestination) {
    auto files = ArchiveBuilder()
                     .Add("vlm.exe", "x")
                     .Add("Coupe de mots.dat", "c")
                     .Add("English (American).cache", "e")
                     .Add("Modèles de document\\a.vlt", "m")
                     .Open();
    EXPECT_EQ(LongestPlannedName(*files, false), 17u);   // "Coupe de mots.dat"
    // Portable: the shared data come along, the spelling files inside "Orthographe".
    EXPECT_EQ(LongestPlannedName(*files, true), 36u);
    files = ArchiveBuilder().Add("vlm.exe", "x").Add("Modèles de document\\a.vlt", "m").Open();
    EXPECT_EQ(LongestPlannedName(*files, true), 19u + 12u);   // the folder, with CreateDirectory's room
}

// The page as the form wires it: the folder list's changes rewrite the destination text.
class DriveWatch : public StandardMachineTest {
protected:
    DriveWatch() {
        drives.SetDirList(&list);
        list.WindowCreated();
        drives.WindowCreated();
        list.OpenFolder("C:\\Program Files\\Velmorra");
        list.OnChange = [this](TDirectoryListBox& sender) {
            ++changes;
            edit = sender.CurrentFolder;
            ::NormaliseDestination(edit, drives.CurrentDrive);
        };
    }

    void PlugIn(char letter, const std::string& label) {
        machine.AddDrive(letter, kDriveRemovable).label = label;
    }

    TDirectoryListBox list;
    TDriveComboBox drives;
    std::string edit;
    int changes = 0;
};

TEST_F(DriveWatch, UnchangedDrivesChangeNothing) {
    DriveWatchTick(drives);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(drives.SelectedText(), "c: [systeme]");
}

TEST_F(DriveWatch, NewDriveMovesTheDestinationToItsRoot) {
    PlugIn('F', "CLE");

    DriveWatchTick(drives);

    EXPECT_EQ(drives.SelectedText(), "f: [cle]");
    EXPECT_EQ(list.CurrentFolder, "f:\\");
    EXPECT_EQ(edit, "f:\\Velmorra");
    EXPECT_EQ(changes, 1);
}

TEST_F(DriveWatch, NewDriveHoldingTheSamePathKeepsThePath) {
    machine.MakeFolder("C:\\Program Files\\Velmorra");
    list.OpenFolder("C:\\Program Files\\Velmorra");
    PlugIn('F', "CLE");
    machine.MakeFolder("F:\\Program Files\\Velmorra");

    DriveWatchTick(drives);

    EXPECT_EQ(edit, "f:\\Program Files\\Velmorra");
}

TEST_F(DriveWatch, RemovingTheShownDriveFallsBackToTheProgramFilesDrive) {
    PlugIn('F', "CLE");
    DriveWatchTick(drives);
    machine.RemoveDrive('F');

    DriveWatchTick(drives);

    EXPECT_EQ(drives.CurrentDrive, 'c');
    EXPECT_EQ(drives.SelectedText(), "c: [systeme]");
    EXPECT_EQ(list.CurrentFolder, "C:\\Program Files\\");
    EXPECT_EQ(edit, "C:\\Program Files\\Velmorra");
}

TEST_F(DriveWatch, RemovingAnotherDriveKeepsTheShownOne) {
    PlugIn('F', "CLE");
    PlugIn('G', "PHOTOS");
    DriveWatchTick(drives);   // shows f
    changes = 0;
    machine.RemoveDrive('G');

    DriveWatchTick(drives);

    EXPECT_EQ(drives.SelectedText(), "f: [cle]");
    EXPECT_EQ(drives.Rows.size(), 2u);
    EXPECT_EQ(changes, 0);
}

TEST_F(DriveWatch, RemovingTheShownDriveWithoutProgramFilesLeavesNoDriveSelected) {
    PlugIn('F', "CLE");
    DriveWatchTick(drives);
    machine.RemoveSpecialFolder(CSIDL_PROGRAM_FILES);
    machine.RemoveDrive('F');
    changes = 0;

    DriveWatchTick(drives);

    EXPECT_EQ(drives.Selected, -1);
    EXPECT_EQ(changes, 0);
}

TEST_F(DriveWatch, FloppyDrivesComingSelectNoRow) {
    machine.AddDrive('A', kDriveRemovable);

    DriveWatchTick(drives);

    EXPECT_EQ(drives.Selected, -1);
    EXPECT_EQ(drives.DriveMask, machine.LogicalDrives());
    EXPECT_EQ(changes, 0);
}

}  // namespace
