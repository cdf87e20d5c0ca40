#include <gtest/gtest.h>

#include "support/FakeMachineTest.h"
#include "instutils/FileHelpers.h"
#include "wizard/FileCtrl.h"

namespace {

// A standard machine: drive C: labelled SYSTEME, Program Files in C:\Program Files.
class FileCtrlTest : public StandardMachineTest {
protected:
    FileCtrlTest() {
        list.OnChange = [this](TDirectoryListBox&) { ++changes; };
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const TFolderRow& row : list.Rows) texts.push_back(row.Text);
        return texts;
    }
    std::vector<int> Indents() const {
        std::vector<int> indents;
        for (size_t i = 0; i < list.Rows.size(); ++i) indents.push_back(list.RowIndent(static_cast<int>(i)));
        return indents;
    }
    std::vector<std::string> DriveTexts() const {
        std::vector<std::string> texts;
        for (const TDriveRow& row : drives.Rows) texts.push_back(row.Text);
        return texts;
    }

    TDirectoryListBox list;
    TDriveComboBox drives;
    int changes = 0;
};

using FolderListRows = FileCtrlTest;

TEST_F(FolderListRows, DriveRootHasOneRowAndItsVisibleSubfoldersOneStepIn) {
    machine.AddDrive('D');
    machine.MakeFolder("D:\\Zeta");
    machine.MakeFolder("D:\\beta");
    machine.MakeFolder("D:\\Alpha");
    machine.MakeFolder("D:\\Cachee");
    machine.SetAttributes("D:\\Cachee", kAttrDirectory | kAttrHidden);
    machine.MakeFolder("D:\\Systeme");
    machine.SetAttributes("D:\\Systeme", kAttrDirectory | kAttrSystem);
    machine.PutFile("D:\\fichier.txt");
    list.HasWindow = true;
    list.OpenFolder("D:\\");

    // Sorted without regard to case; hidden and system folders and files left out.
    EXPECT_EQ(Texts(), (std::vector<std::string>{"D:\\", "D:\\Alpha", "D:\\beta", "D:\\Zeta"}));
    EXPECT_EQ(Indents(), (std::vector<int>{3, 15, 15, 15}));
    EXPECT_EQ(list.Rows[0].Glyph, TFolderGlyph::Open);
    EXPECT_EQ(list.Rows[1].Glyph, TFolderGlyph::Closed);
    EXPECT_EQ(list.RowLabel(0), "D:");
    EXPECT_EQ(list.RowLabel(2), "beta");
    EXPECT_EQ(list.Selected, 0);
    EXPECT_EQ(FolderLevel(list.CurrentFolder), 0);
}

TEST_F(FolderListRows, ProductFolderInProgramFilesShowsTheChainAndItsSubfolders) {
    machine.MakeFolder("C:\\Program Files\\Velmorra\\Modeles");
    machine.MakeFolder("C:\\Program Files\\Velmorra\\Aide");
    list.HasWindow = true;
    list.OpenFolder("C:\\Program Files\\Velmorra");

    EXPECT_EQ(Texts(), (std::vector<std::string>{"C:\\", "C:\\Program Files", "C:\\Program Files\\Velmorra",
                                                 "C:\\Program Files\\Velmorra\\Aide",
                                                 "C:\\Program Files\\Velmorra\\Modeles"}));
    EXPECT_EQ(Indents(), (std::vector<int>{3, 15, 27, 39, 39}));
    EXPECT_EQ(list.RowLabel(1), "Program Files");   // the volume preserves case
    EXPECT_EQ(list.RowLabel(3), "Aide");
    EXPECT_EQ(list.Selected, 2);
    EXPECT_EQ(list.CurrentRow(), 2);
}

TEST_F(FolderListRows, VolumeThatDoesNotPreserveCaseShowsNamesInLowerCase) {
    machine.AddDrive('D').fsFlags = 0;
    machine.MakeFolder("D:\\Donnees\\Lettres");
    list.OpenFolder("D:\\Donnees");

    EXPECT_EQ(list.RowLabel(0), "d:");
    EXPECT_EQ(list.RowLabel(1), "donnees");
    EXPECT_EQ(list.RowLabel(2), "lettres");
}

TEST_F(FolderListRows, FailedVolumeQueryLeavesBothCaseFlagsFalse) {
    machine.AddDrive('E', kDriveRemovable).fsFlags = kFsCaseSensitive | kFsCaseIsPreserved;
    list.OpenFolder("E:\\");
    ASSERT_TRUE(list.VolumeCaseSensitive);

    machine.DriveAt("E").unreadable = true;
    list.RebuildRows();

    EXPECT_FALSE(list.VolumePreservesCase);
    EXPECT_FALSE(list.VolumeCaseSensitive);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"E:\\"}));
    EXPECT_EQ(machine.ErrorMode(), 0u);   // restored after the query
}

TEST_F(FolderListRows, NoRowsBeforeAFolderIsOpened) {
    list.WindowCreated();
    EXPECT_TRUE(list.Rows.empty());
    EXPECT_EQ(list.Selected, -1);
}

using OpenFolder = FileCtrlTest;

TEST_F(OpenFolder, MissingFolderOpensItsNearestExistingAncestor) {
    list.OpenFolder("C:\\Program Files\\Velmorra\\Modeles");

    EXPECT_EQ(list.CurrentFolder, "C:\\Program Files\\");
    EXPECT_EQ(Texts()[1], "C:\\Program Files");
    EXPECT_EQ(changes, 1);
}

TEST_F(OpenFolder, MissingDriveKeepsItsRootAlone) {
    list.OpenFolder("Q:\\A\\B");

    EXPECT_EQ(list.CurrentFolder, "Q:\\");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Q:\\"}));
}

TEST_F(OpenFolder, SameFolderInOtherCaseChangesNothing) {
    list.OpenFolder("C:\\Program Files");
    list.OpenFolder("c:\\PROGRAM FILES");

    EXPECT_EQ(list.CurrentFolder, "C:\\Program Files");
    EXPECT_EQ(changes, 1);
}

TEST_F(OpenFolder, DriveChangeMovesTheDriveBoxButKeepsTheFolder) {
    machine.AddDrive('D').label = "DONNEES";
    machine.MakeFolder("D:\\Travail\\2005");
    drives.SetDirList(&list);
    drives.WindowCreated();
    list.OpenFolder("C:\\Program Files");
    changes = 0;

    list.OpenFolder("D:\\Travail\\2005");

    EXPECT_EQ(drives.CurrentDrive, 'd');
    EXPECT_EQ(drives.SelectedText(), "d: [donnees]");
    EXPECT_EQ(list.CurrentFolder, "D:\\Travail\\2005");
    EXPECT_FALSE(list.ChangingFolder);
    EXPECT_EQ(changes, 1);
}

TEST_F(OpenFolder, PickingRowsOpensThemAndTheCurrentRowChangesNothing) {
    machine.MakeFolder("C:\\Program Files\\Velmorra\\Aide");
    list.HasWindow = true;
    list.OpenFolder("C:\\Program Files\\Velmorra");
    changes = 0;

    list.RowPicked(2);   // the current folder
    EXPECT_EQ(changes, 0);

    list.RowPicked(3);   // down to its first subfolder
    EXPECT_EQ(list.CurrentFolder, "C:\\Program Files\\Velmorra\\Aide");
    EXPECT_EQ(list.Selected, 3);

    list.RowPicked(0);   // the root
    EXPECT_EQ(list.CurrentFolder, "C:\\");
    EXPECT_EQ(changes, 2);
}

TEST_F(OpenFolder, NetworkFolderLeavesTheDriveBoxOnItsDrive) {
    machine.AddShare("\\\\Serveur\\Partage");
    machine.MakeFolder("\\\\Serveur\\Partage\\Logiciels");
    drives.SetDirList(&list);
    drives.WindowCreated();
    list.OpenFolder("C:\\Program Files");

    list.OpenFolder("\\\\Serveur\\Partage\\Logiciels");

    EXPECT_EQ(list.CurrentFolder, "\\\\Serveur\\Partage\\Logiciels");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\\\\Serveur\\Partage\\", "\\\\Serveur\\Partage\\Logiciels"}));
    EXPECT_EQ(list.RowLabel(0), "\\\\Serveur\\Partage");
    EXPECT_EQ(drives.CurrentDrive, 'c');
    EXPECT_EQ(drives.SelectedText().substr(0, 2), "c:");
}

using SwitchDrive = FileCtrlTest;

TEST_F(SwitchDrive, ToTheProgramFilesDriveOpensTheProductFolderWhenItExists) {
    machine.AddDrive('D');
    machine.MakeFolder("C:\\Program Files\\Velmorra");
    list.OpenFolder("D:\\");

    list.SwitchDrive('c');

    EXPECT_EQ(list.CurrentFolder, "C:\\Program Files\\Velmorra");
    EXPECT_EQ(changes, 2);
}

TEST_F(SwitchDrive, ToTheProgramFilesDriveOpensProgramFilesWithoutTheProductFolder) {
    machine.AddDrive('D');
    list.OpenFolder("D:\\");

    list.SwitchDrive('c');

    EXPECT_EQ(list.CurrentFolder, "C:\\Program Files\\");
}

TEST_F(SwitchDrive, ToAnotherDriveKeepsTheSamePathWhenItExistsThere) {
    machine.AddDrive('D');
    machine.MakeFolder("C:\\Travail\\2005");
    machine.MakeFolder("D:\\Travail\\2005");
    list.OpenFolder("C:\\Travail\\2005");

    list.SwitchDrive('d');

    EXPECT_EQ(list.CurrentFolder, "d:\\Travail\\2005");
}

TEST_F(SwitchDrive, ToAnotherDriveGoesToItsRootWithoutTheSamePath) {
    machine.AddDrive('D');
    machine.MakeFolder("C:\\Travail\\2005");
    machine.MakeFolder("D:\\Travail");   // the parent alone does not count
    list.OpenFolder("C:\\Travail\\2005");

    list.SwitchDrive('d');

    EXPECT_EQ(list.CurrentFolder, "d:\\");
}

TEST_F(SwitchDrive, ToTheShownDriveOrToNoDriveChangesNothing) {
    list.OpenFolder("C:\\Program Files");
    list.SwitchDrive('C');
    list.SwitchDrive('\0');
    list.SwitchDrive(' ');

    EXPECT_EQ(list.CurrentFolder, "C:\\Program Files");
    EXPECT_EQ(changes, 1);
}

TEST_F(SwitchDrive, WithoutProgramFilesFolderTheDriveIsLikeAnyOther) {
    machine.RemoveSpecialFolder(CSIDL_PROGRAM_FILES);
    machine.AddDrive('D');
    machine.MakeFolder("D:\\Travail");
    machine.MakeFolder("C:\\Travail");
    list.OpenFolder("D:\\Travail");

    list.SwitchDrive('c');

    EXPECT_EQ(list.CurrentFolder, "c:\\Travail");
}

TEST_F(SwitchDrive, FromTheDriveBoxMovesTheLinkedFolderList) {
    machine.AddDrive('D');
    drives.SetDirList(&list);
    drives.WindowCreated();
    list.OpenFolder("C:\\Program Files");
    int picked = static_cast<int>(std::find_if(drives.Rows.begin(), drives.Rows.end(),
                                               [](const TDriveRow& r) { return r.Text[0] == 'd'; }) -
                                  drives.Rows.begin());

    drives.RowPicked(picked);

    EXPECT_EQ(drives.CurrentDrive, 'd');
    EXPECT_EQ(list.CurrentFolder, "d:\\");
    drives.RowPicked(picked);   // the same drive again
    EXPECT_EQ(changes, 2);
}

using DriveBox = FileCtrlTest;

TEST_F(DriveBox, ListsDrivesCToZWithoutCdRomWithLabelsShareNamesAndGlyphs) {
    machine.AddDrive('A', kDriveRemovable);
    machine.AddDrive('B', kDriveRemovable);
    machine.AddDrive('D', kDriveCdRom);
    machine.AddDrive('E', kDriveRemovable).label = "CLE USB";
    FakeMachine::Drive& usbDisk = machine.AddDrive('F');
    usbDisk.label = "";
    usbDisk.storage.busType = 7;
    machine.AddDrive('N', kDriveRemote).remote = "\\\\Serveur\\Partage";

    drives.RebuildRows();

    EXPECT_EQ(DriveTexts(), (std::vector<std::string>{"c: [systeme]", "e: [cle usb]", "f: ",
                                                      "n: \\\\serveur\\partage"}));
    EXPECT_FALSE(drives.Rows[0].Removable);
    EXPECT_TRUE(drives.Rows[1].Removable);
    EXPECT_TRUE(drives.Rows[2].Removable);   // a fixed disk on USB
    EXPECT_FALSE(drives.Rows[3].Removable);
    EXPECT_EQ(drives.DriveMask, machine.LogicalDrives());
    EXPECT_EQ(drives.Selected, -1);
}

TEST_F(DriveBox, NetworkDriveWithoutConnectionShowsItsVolumeLabel) {
    machine.AddDrive('N', kDriveRemote).label = "Archives";   // no remote name to give

    EXPECT_EQ(DriveNetworkText('n'), "[archives]");
}

TEST_F(DriveBox, EmptyRemovableDriveIsListedWithoutLabelAndTheErrorModeIsPutBack) {
    machine.AddDrive('E', kDriveRemovable).unreadable = true;
    Sys().SetErrorMode(0x8000);

    EXPECT_EQ(DriveVolumeText('e'), "");
    EXPECT_EQ(machine.ErrorMode(), 0x8000u);
}

TEST_F(DriveBox, DoubleByteLabelsKeepTheirSecondBytes) {
    machine.SetDbcs(true);
    // 0x82 0x60 is one double-byte character whose second byte reads as "`"; 0x83 0x41 as "A".
    machine.AddDrive('E', kDriveRemovable).label = "DISK\x82\x60\x83\x41";

    EXPECT_EQ(DriveVolumeText('e'), "[disk\x82\x60\x83\x41]");
    EXPECT_EQ(DriveVolumeText('E'), "[DISK\x82\x60\x83\x41]");
}

TEST_F(DriveBox, SingleByteKanaIsNoLeadByte) {
    machine.SetDbcs(true);
    // 0xA1 is a character of its own in the double-byte code page: the "B" after it is a letter.
    machine.AddDrive('E', kDriveRemovable).label = "A\xA1" "B";

    EXPECT_EQ(DriveVolumeText('e'), "[a\xA1" "b]");
}

TEST_F(DriveBox, SelectDriveSelectsItsRowAndASecondCallChangesNothing) {
    machine.AddDrive('D');
    drives.SetDirList(&list);
    drives.WindowCreated();
    int notified = 0;
    drives.OnChange = [&](TDriveComboBox&) { ++notified; };

    drives.SelectDrive('D');
    drives.SelectDrive('d');

    EXPECT_EQ(drives.CurrentDrive, 'd');
    EXPECT_EQ(drives.SelectedText().substr(0, 2), "d:");
    EXPECT_EQ(list.CurrentFolder, "d:\\");
    EXPECT_EQ(notified, 1);
}

TEST_F(DriveBox, WindowCreationWithoutDriveSelectsNoRowAndLeavesTheListAlone) {
    drives.SetDirList(&list);
    drives.WindowCreated();

    EXPECT_EQ(drives.CurrentDrive, ' ');
    EXPECT_EQ(drives.Selected, -1);
    EXPECT_EQ(list.CurrentFolder, std::string(1, '\0'));
}

}  // namespace
