#include "support/FakeMachineTest.h"
#include "instutils/DateTime.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "instutils/TextError.h"

namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

const std::string kTemp = "C:\\Documents and Settings\\Jean\\Local Settings\\Temp\\";

class TempItemsTest : public StandardMachineTest {};

TEST_F(TempItemsTest, PrefixComesFromTheTitle) {
    EXPECT_EQ(TempPrefixFromTitle("Installation du traitement de texte Velmorra"), kTempPrefix);
}

TEST_F(TempItemsTest, NewTempFileNameSkipsTakenNames) {
    EXPECT_EQ(NewTempFileName(), kTemp + kTempPrefix + "0.tmp");
    machine.PutFile(kTemp + kTempPrefix + "0.tmp");
    machine.PutFile(kTemp + kTempPrefix + "1.tmp");
    EXPECT_EQ(NewTempFileName(), kTemp + kTempPrefix + "2.tmp");
}

// The name is taken by creating the file, so nothing planted under it is ever written through.
TEST_F(TempItemsTest, NewTempFileNameCreatesItsFileAndSkipsFoldersAndLinks) {
    machine.MakeFolder(kTemp + kTempPrefix + "0.tmp");
    machine.MakeLink(kTemp + kTempPrefix + "1.tmp", "C:\\WINNT\\win.ini", false);
    EXPECT_EQ(NewTempFileName(), kTemp + kTempPrefix + "2.tmp");
    EXPECT_TRUE(machine.IsFile(kTemp + kTempPrefix + "2.tmp"));
    EXPECT_FALSE(machine.Exists("C:\\WINNT\\win.ini"));
}

TEST_F(TempItemsTest, TempFolderFallsBackToDocumentsButNeverToTheCurrentFolder) {
    machine.SetTempPath("C:\\Gone\\");
    EXPECT_EQ(TempFolder(), "C:\\Documents and Settings\\Jean\\Mes documents\\");
    machine.RemoveSpecialFolder(CSIDL_PERSONAL);
    EXPECT_EQ(TempFolder(), "");
    // The current folder's items that look like ours are not ours.
    machine.PutFile("C:\\" + std::string(kTempPrefix) + "0.tmp");
    DeleteTempItems();
    EXPECT_TRUE(machine.Exists("C:\\" + std::string(kTempPrefix) + "0.tmp"));
}

TEST_F(TempItemsTest, DeleteTempItemsRemovesOnlyOurPrefixInOurCase) {
    std::string ours = kTemp + kTempPrefix;
    std::string otherCase = kTemp + "~installationdutraitementdetextevelmorra7.tmp";
    machine.PutFile(ours + "0.tmp");
    machine.PutFile(ours + "Dir\\Sub\\f.txt");
    machine.PutFile(otherCase);
    machine.PutFile(kTemp + "autre.tmp");
    machine.PutFile("C:\\Mine\\lettre.txt");
    machine.MakeLink(ours + "Link", "C:\\Mine", true);
    machine.MakeLink(ours + "Dir\\Inner", "C:\\Mine", true);
    DeleteTempItems();
    EXPECT_EQ(machine.Children(kTemp), (Lines{"autre.tmp", "~installationdutraitementdetextevelmorra7.tmp"}));
    EXPECT_TRUE(machine.IsFile("C:\\Mine\\lettre.txt"));   // a link goes, never what it leads to
}

// A user's two entries in a shared TEMP: the second becomes a junction while the first goes.
TEST_F(TempItemsTest, AnEntryRelinkedAfterTheListingGoesAsALinkAndItsTargetStays) {
    const std::string first = kTemp + kTempPrefix + "A", second = kTemp + kTempPrefix + "B";
    machine.PutFile(first + "\\1.dat");
    machine.PutFile(first + "\\2.dat");
    machine.PutFile(second + "\\x.dat");
    machine.PutFile("C:\\Config.msi\\a.rbf", "system");
    machine.WhenDeleted(first + "\\1.dat", [&] {
        machine.DeleteFileAt(second + "\\x.dat");
        machine.RemoveDir(second);
        machine.MakeLink(second, "C:\\Config.msi", true);
    });
    DeleteTempItems();
    EXPECT_TRUE(machine.Children(kTemp).empty());
    EXPECT_EQ(machine.FileBytes("C:\\Config.msi\\a.rbf"), "system");
}

class FileHelpersTest : public StandardMachineTest {
protected:
    FolderHold hold{sharedData};
};

TEST_F(FileHelpersTest, WriteTextFileWritesExactlyTheBytes) {
    machine.PutFile("C:\\stamp", "old and longer");
    WriteTextFile("C:\\stamp", "\0\x01\0\xFF"s, sharedData);
    EXPECT_EQ(machine.FileBytes("C:\\stamp"), "\0\x01\0\xFF"s);
    EXPECT_TRUE(machine.IsFlushed("C:\\stamp"));   // settings survive a power loss
    WriteTextFile("C:\\empty.ini", "", sharedData);
    EXPECT_TRUE(machine.IsFile("C:\\empty.ini"));
    EXPECT_EQ(machine.FileBytes("C:\\empty.ini"), "");
}

// The folder's owner may plant entries under every name he can guess; what a crash left goes.
TEST_F(FileHelpersTest, TakenReplacementNamesAreSkippedAndLeftoversRemoved) {
    machine.PutFile("C:\\V\\Velmorra.ini", "old");
    machine.PutFile("C:\\V\\~vlm0badf00d.tmp", "left by a crash");
    machine.PutFile("C:\\V\\~vlmnothex.tmp", "not ours");
    machine.SetRandomNumber(0x100);
    for (uint32_t n = 0x100; n < 0x140; ++n) {
        static const char kHex[] = "0123456789ABCDEF";
        std::string name = "C:\\V\\~vlm00000";
        for (int shift = 8; shift >= 0; shift -= 4) name += kHex[(n >> shift) & 15];
        machine.MakeFolder(name + ".tmp");
    }
    EXPECT_EQ(WriteWholeFile(hold, "C:\\V\\Velmorra.ini", "newer", 5, FileShare::Read), WriteOutcome::Written);
    EXPECT_EQ(machine.FileBytes("C:\\V\\Velmorra.ini"), "newer");
    EXPECT_FALSE(machine.Exists("C:\\V\\~vlm0badf00d.tmp"));
    EXPECT_TRUE(machine.Exists("C:\\V\\~vlmnothex.tmp"));
    EXPECT_EQ(machine.Children("C:\\V").size(), 0x40u + 2);
    EXPECT_TRUE(IsReplacementName("~VLM0123abcd.TMP"));
    EXPECT_FALSE(IsReplacementName("~vlm0123abcd.tmp.lnk"));
}

TEST_F(FileHelpersTest, AFailedReplacementKeepsTheOldFileAndLeavesNoTemporary) {
    machine.PutFile("C:\\V\\Velmorra.ini", "old", Dos(2001, 1, 1));
    machine.DriveAt("C").full = true;
    EXPECT_EQ(WriteWholeFile(hold, "C:\\V\\Velmorra.ini", "newer", 5, FileShare::Read), WriteOutcome::Failed);
    EXPECT_EQ(machine.FileBytes("C:\\V\\Velmorra.ini"), "old");
    machine.DriveAt("C").full = false;
    machine.LockFile("C:\\V\\Velmorra.ini");
    EXPECT_EQ(WriteWholeFile(hold, "C:\\V\\Velmorra.ini", "newer", 5, FileShare::Read), WriteOutcome::Failed);
    EXPECT_EQ(machine.Children("C:\\V"), Lines{"Velmorra.ini"});
    machine.ReleaseFile("C:\\V\\Velmorra.ini");
    EXPECT_EQ(WriteWholeFile(hold, "C:\\V\\Velmorra.ini", "newer", 5, FileShare::Read, Dos(2004, 3, 10)),
              WriteOutcome::Written);
    EXPECT_EQ(machine.FileBytes("C:\\V\\Velmorra.ini"), "newer");
    EXPECT_EQ(machine.LastWrite("C:\\V\\Velmorra.ini"), Dos(2004, 3, 10));
    EXPECT_EQ(machine.Children("C:\\V"), Lines{"Velmorra.ini"});
}

// Any user may plant links in the shared data folder before an administrator installs.
class SharedDataLinksTest : public StandardMachineTest {
protected:
    InstallLog log;
    const std::string appData = "C:\\Documents and Settings\\All Users\\Application Data\\";
    const std::string shared = appData + "Velmorra\\";
    const std::string evil = "C:\\Documents and Settings\\Jean\\Piege\\";
};

TEST_F(SharedDataLinksTest, AJunctionAtTheFolderOrBelowIsNeverWrittenThrough) {
    machine.MakeFolder(evil);
    machine.MakeLink(shared, evil, true);
    MakeFolderPath(shared + "Hidden\\", sharedData, log);
    EXPECT_EQ(WriteTextFile(shared + "Velmorra.ini", "x", sharedData), WriteOutcome::Refused);
    EXPECT_TRUE(machine.Children(evil).empty());
    EXPECT_TRUE(log.Lines().empty());

    machine.RemoveDir(shared);
    machine.MakeLink(shared + "Hidden", evil, true);
    EXPECT_EQ(WriteTextFile(shared + "Hidden\\install_stamp", "x", sharedData), WriteOutcome::Refused);
    MakeFolderPath(shared + "Hidden\\Sub\\", sharedData, log);
    EXPECT_TRUE(machine.Children(evil).empty());
    EXPECT_EQ(WriteTextFile(shared + "Velmorra.ini", "x", sharedData), WriteOutcome::Written);
}

TEST_F(SharedDataLinksTest, ALinkAtTheFileIsNotFollowedNorReplaced) {
    machine.PutFile(evil + "cible.dat", "theirs");
    machine.MakeLink(shared + "Hidden\\install_stamp", evil + "cible.dat", false);
    EXPECT_EQ(WriteTextFile(shared + "Hidden\\install_stamp", "stamp", sharedData), WriteOutcome::Refused);
    EXPECT_EQ(machine.FileBytes(evil + "cible.dat"), "theirs");
    EXPECT_TRUE(machine.IsLink(shared + "Hidden\\install_stamp"));
}

// Held between two files, the folders on the way cannot be swapped; let go, they are checked again.
TEST_F(SharedDataLinksTest, AFolderSwappedForAJunctionBetweenTwoFilesReceivesNothingThroughIt) {
    machine.MakeFolder(evil);
    machine.MakeFolder(shared + "Public\\Modeles");
    const std::string folder = shared + "Public\\Modeles\\";
    FolderHold hold(sharedData);
    EXPECT_EQ(WriteWholeFile(hold, folder + "a.dot", "a", 1, FileShare::None),
              WriteOutcome::Written);
    machine.MakeLink(shared + "Public", evil, true);
    machine.MakeLink(shared + "Public\\Modeles", evil, true);
    EXPECT_FALSE(machine.IsLink(shared + "Public") || machine.IsLink(shared + "Public\\Modeles"));
    EXPECT_EQ(WriteWholeFile(hold, folder + "b.dot", "b", 1, FileShare::None),
              WriteOutcome::Written);

    hold.LetGo();
    machine.MakeLink(shared + "Public", evil, true);
    EXPECT_EQ(WriteWholeFile(hold, folder + "c.dot", "c", 1, FileShare::None),
              WriteOutcome::Refused);
    EXPECT_TRUE(machine.Children(evil).empty());
}

// The hold shares writing, so an empty held folder can still become a mount point.
TEST_F(SharedDataLinksTest, AHeldEmptyFolderTurnedIntoAMountPointReceivesNothing) {
    machine.MakeFolder(evil);
    machine.MakeFolder(shared + "Public\\Modeles");
    const std::string folder = shared + "Public\\Modeles\\";
    FolderHold hold(sharedData);
    ASSERT_EQ(hold.Hold(folder), FolderHold::Held);
    machine.TurnIntoMountPoint(folder, evil);
    ASSERT_TRUE(machine.IsLink(folder));
    WriteWholeFile(hold, folder + "b.dot", "b", 1, FileShare::None);
    hold.LetGo();
    MakeFolderPath(folder + "Sub\\", sharedData, log);
    EXPECT_TRUE(machine.Children(evil).empty());
}

// A hard link is no reparse point: taking it back would give Users another user's file.
TEST_F(SharedDataLinksTest, AHardLinkIsNeitherTakenBackNorReadButReplaced) {
    const std::string user = "S-1-5-21-1-2-3-1002";
    machine.PutFile(evil + "prive.txt", "theirs");
    machine.SetOwner(evil + "prive.txt", user);
    machine.MakeFolder(shared);
    machine.MakeHardLink(shared + "Velmorra.ini", evil + "prive.txt");
    machine.SetOwner(shared + "Velmorra.ini", user);
    machine.SetElevated(true);
    EXPECT_EQ(WriteTextFile(shared + "Velmorra.ini", "x", sharedData), WriteOutcome::Written);
    EXPECT_TRUE(machine.TakenBack().empty());
    EXPECT_EQ(machine.FileBytes(shared + "Velmorra.ini"), "x");
    EXPECT_EQ(machine.FileBytes(evil + "prive.txt"), "theirs");
}

// Outside the program files folder, a folder Users can write to would be loaded from elevated.
TEST_F(SharedDataLinksTest, AnElevatedInstallFolderIsProtectedTakenBackOrRefusedWhenALink) {
    const std::string user = "S-1-5-21-1-2-3-1002";
    machine.SetElevated(true);
    ProtectInstallFolder("C:\\Apps\\Velmorra\\", sharedData, log);
    machine.PutFile("C:\\Mine\\Velmorra\\planted.dll");
    for (const char* path : {"C:\\Mine\\Velmorra", "C:\\Mine\\Velmorra\\planted.dll", "C:\\Mine"})
        machine.SetOwner(path, user);
    ProtectInstallFolder("C:\\Mine\\Velmorra", sharedData, log);
    machine.MakeFolder("C:\\Admin\\Velmorra");
    ProtectInstallFolder("C:\\Admin\\Velmorra", sharedData, log);
    ProtectInstallFolder("C:\\Program Files\\Velmorra", sharedData, log);
    EXPECT_EQ(machine.Protected(), (Lines{"C:\\Apps", "C:\\Mine\\Velmorra"}));
    EXPECT_EQ(machine.TakenBack(), Lines{"C:\\Mine\\Velmorra\\planted.dll"});
    EXPECT_EQ(log.Lines(), (Lines{"Made Dir: C:\\Apps\\", "Made Dir: C:\\Apps\\Velmorra\\"}));
    EXPECT_FALSE(machine.OwnershipPrivilegesEnabled());

    machine.MakeLink("C:\\Lien", "C:\\Mine", true);
    EXPECT_THROW(ProtectInstallFolder("C:\\Lien", sharedData, log), TextError);
    EXPECT_NE(InstallFolderLinkText("C:\\Lien").find("C:\\Lien"), std::string::npos);
}

// Refusing would let any user block every installation: the elevated setup takes it back.
TEST_F(SharedDataLinksTest, AnElevatedSetupTakesBackWhatAnotherUserOwnsInTheSharedDataFolder) {
    const std::string user = "S-1-5-21-1-2-3-1002";
    machine.MakeFolder(shared + "Public\\Modeles");
    machine.PutFile(shared + "Update.log", "*0000000000000000\r\nC:\\Windows\\system.ini\r\n");
    machine.MakeFolder(evil);
    machine.MakeLink(shared + "Public\\Piege", evil, true);
    for (const std::string& path : {shared, shared + "Public", shared + "Update.log", evil})
        machine.SetOwner(path, user);
    EXPECT_EQ(WriteTextFile(shared + "Velmorra.ini", "x", sharedData), WriteOutcome::Written);
    EXPECT_TRUE(machine.TakenBack().empty());   // not elevated: nothing to take back with

    SharedData nextInstallation;   // looks at the owners again
    machine.SetElevated(true);
    EXPECT_EQ(WriteTextFile(shared + "Velmorra.ini", "x", nextInstallation), WriteOutcome::Written);
    EXPECT_EQ(machine.TakenBack(), (Lines{"C:\\Documents and Settings\\All Users\\Application Data\\Velmorra",
                                          "C:\\Documents and Settings\\All Users\\Application Data\\Velmorra\\Public",
                                          "C:\\Documents and Settings\\All Users\\Application Data\\Velmorra\\Update.log"}));
    EXPECT_FALSE(machine.OwnershipPrivilegesEnabled());   // no longer than the taking back
    EXPECT_EQ(machine.OwnerOf(evil), user);
    EXPECT_TRUE(IsTrustedOwner("S-1-5-18"));
    EXPECT_FALSE(IsTrustedOwner(user));
}

// The system's own folders and the user's chosen destination may be junctions on purpose.
TEST_F(SharedDataLinksTest, JunctionsOutsideTheProductsDataFolderAreFollowed) {
    machine.MakeFolder("C:\\Real\\Velmorra");
    machine.RemoveDir("C:\\Documents and Settings\\All Users\\Application Data");
    machine.MakeLink(appData, "C:\\Real", true);
    machine.MakeLink("C:\\Dest", "C:\\Real", true);
    EXPECT_EQ(WriteTextFile(shared + "Velmorra.ini", "x", sharedData), WriteOutcome::Written);
    EXPECT_EQ(WriteTextFile("C:\\Dest\\Install.log", "y", sharedData), WriteOutcome::Written);
    EXPECT_EQ(machine.Children("C:\\Real"), (Lines{"Install.log", "Velmorra"}));
}

TEST_F(FileHelpersTest, DeleteFolderTreeRemovesEverything) {
    machine.PutFile("C:\\T\\a.txt");
    machine.PutFile("C:\\T\\Sub\\Deeper\\b.txt");
    machine.SetAttributes("C:\\T\\a.txt", kAttrHidden | kAttrArchive);
    DeleteFolderTree("C:\\T");
    EXPECT_FALSE(machine.Exists("C:\\T"));
}

TEST_F(FileHelpersTest, DeleteFolderTreeLeavesReadOnlyFilesAndTheirFolders) {
    machine.PutFile("C:\\T\\Keep\\ro.txt");
    machine.PutFile("C:\\T\\Keep\\other.txt");
    machine.PutFile("C:\\T\\Gone\\x.txt");
    machine.SetAttributes("C:\\T\\Keep\\ro.txt", kAttrReadOnly);
    DeleteFolderTree("C:\\T\\");
    EXPECT_EQ(machine.Children("C:\\T"), Lines{"Keep"});
    EXPECT_EQ(machine.Children("C:\\T\\Keep"), Lines{"ro.txt"});
}

TEST_F(FileHelpersTest, DeleteFolderTreeOfEmptyTextLeavesTheCurrentDirectory) {
    machine.PutFile("C:\\Work\\a.txt");
    machine.SetCurrentDir("C:\\Work");
    DeleteFolderTree("");
    EXPECT_TRUE(machine.IsFile("C:\\Work\\a.txt"));
}

TEST_F(FileHelpersTest, FileModifiedTimeHasTwoSecondSteps) {
    machine.PutFile("C:\\a.txt", "", Dos(2004, 5, 6, 7, 8, 9));
    EXPECT_EQ(FileModifiedTime("C:\\a.txt"), EncodeDateTime(LocalTime{2004, 5, 6, 7, 8, 8, 0}));
}

TEST_F(FileHelpersTest, FileModifiedTimeOfMissingFileIsNow) {
    machine.SetClock(2010, 1, 2, 3, 4, 5);
    EXPECT_EQ(FileModifiedTime("C:\\missing.txt"), EncodeDateTime(LocalTime{2010, 1, 2, 3, 4, 5, 0}));
}

TEST_F(FileHelpersTest, FileExistsOnlyForFiles) {
    machine.PutFile("C:\\Dir\\f.txt");
    EXPECT_TRUE(FileExists("c:\\dir\\F.TXT"));
    EXPECT_FALSE(FileExists("C:\\Dir"));
    EXPECT_FALSE(FileExists("C:\\Dir\\g.txt"));
}

TEST_F(FileHelpersTest, SpecialFolderHasNoTrailingBackslashOrIsEmpty) {
    EXPECT_EQ(SpecialFolder(CSIDL_PROGRAM_FILES), "C:\\Program Files");
    machine.RemoveSpecialFolder(CSIDL_PROGRAM_FILES);
    EXPECT_EQ(SpecialFolder(CSIDL_PROGRAM_FILES), "");
}

class ShortcutTest : public StandardMachineTest {
protected:
    InstallLog log;
    const std::string folder = "C:\\Documents and Settings\\All Users\\Menu Démarrer\\Programmes\\Velmorra\\";
    const std::string link = folder + "Traitement de texte Velmorra.lnk";
};

TEST_F(ShortcutTest, SavesTheLinkInANewFolderAndLogsBoth) {
    CreateShortcut(link, "C:\\V\\vlm.exe", "C:\\V\\", "Traitement de texte Velmorra", sharedData, log);
    auto saved = machine.ReadLink(link);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->target, "C:\\V\\vlm.exe");
    EXPECT_EQ(saved->workingFolder, "C:\\V\\");
    EXPECT_EQ(saved->description, "Traitement de texte Velmorra");
    EXPECT_EQ(log.Lines(), (Lines{"Made Dir: " + folder, "File Copy: " + link}));
}

TEST_F(ShortcutTest, NoLinkObjectMeansNoShortcutAndNoTrace) {
    machine.SetShellLinksAvailable(false);
    CreateShortcut(link, "C:\\V\\vlm.exe", "C:\\V\\", "Traitement de texte Velmorra", sharedData, log);
    EXPECT_FALSE(machine.Exists(folder));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

}  // namespace
