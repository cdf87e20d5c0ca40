#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "ArchiveBuilder.h"
#include "engine/InstallPlan.h"
#include "engine/Questions.h"
#include "instutils/TextError.h"
#include "engine/ResConst.h"
#include "instutils/DateTime.h"
#include "instutils/InstallLog.h"
#include "support/FakeMachine.h"
#include "support/ScriptedDialog.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kAppData = "C:\\Documents and Settings\\All Users\\Application Data";
const std::string kShared = kAppData + "\\Velmorra\\";
const std::string kPublic = kShared + "Public\\";
const std::string kSpelling = kPublic + "Orthographe\\";
const std::string kDest = "C:\\Program Files\\Velmorra";
const std::string kPortable = "E:\\Velmorra\\";
const std::string kSettings =
    "[\\Software\\Velmorra Word Processor\\Sounds\\General Settings]\r\nSoundScheme=Basic.asn";

class PlanTest : public ::testing::Test {
protected:
    PlanTest()
    {
        machine.StandardSetup();
        machine.SetSpecialFolder(35, kAppData);
        machine.AddDrive('E', kDriveRemovable, 4096);
        normal.MainDir = kDest;
        normal.ChosenComps = 0xFF;
        portable.MainDir = kPortable;
        portable.ChosenComps = 0xFF;
        portable.IsPortable = true;
    }

    Lines Targets(int component) const
    {
        Lines targets;
        for (const auto& file : files->ComponentFiles[size_t(component)]) targets.push_back(file->TargetPath);
        return targets;
    }
    Lines EntryNames(int component) const
    {
        Lines names;
        for (const auto& file : files->ComponentFiles[size_t(component)]) names.push_back(file->Entry->Name);
        return names;
    }
    // Lays every file of a finished plan on the disk, as an earlier installation left it.
    void InstallEverything()
    {
        BuildInstallPlan(*files, normal);
        for (const auto& list : files->ComponentFiles)
            for (const auto& file : list) machine.PutFile(file->TargetPath, "installed earlier", Dos(2003, 1, 1));
    }

    FakeMachine machine;
    UseFakeMachine use{machine};
    InstallLog log;
    std::unique_ptr<TAttachedFiles> files = ProductArchive().Open(&log);
    PlanChoices normal, portable;
};

using InstallPlan = PlanTest;
using ComponentSizes = PlanTest;

}  // namespace

TEST_F(InstallPlan, NormalInstallOverAnExistingOneReplacesEveryChosenFile)
{
    InstallEverything();
    machine.PutFile(kDest + "\\Velmorra.exe", "obsolete");
    files->PublicFiles.clear();

    BuildInstallPlan(*files, normal);

    EXPECT_EQ(Targets(0), (Lines{kDest + "\\vlm.exe", kDest + "\\Licence.txt"}));
    EXPECT_EQ(Targets(1), Lines{kDest + "\\Velmorra.chm"});
    EXPECT_EQ(Targets(2), (Lines{kSpelling + "French.asc", kSpelling + "français.zlx", kSpelling + "persodicfr.tlx"}));
    EXPECT_EQ(Targets(3).size(), 8u);
    EXPECT_EQ(Targets(4), Lines{kDest + "\\Coupe de mots.dat"});
    EXPECT_EQ(Targets(5), (Lines{kPublic + "Modèles de document\\Lettre.vlt", kPublic + "Modèles de document\\Fax\\Fax.vlt"}));
    EXPECT_EQ(Targets(6), (Lines{kPublic + "Collections d'inserts\\Cartes.vci", kPublic + "Collections d'inserts\\Noël\\Sapin.vci"}));
    EXPECT_EQ(Targets(7), Lines{kPublic + "Basic.asn"});
    EXPECT_FALSE(machine.Exists(kDest + "\\Velmorra.exe"));
    EXPECT_EQ(files->PublicFiles, (Lines{
                                      kSpelling + "French.asc\t!",
                                      kSpelling + "français.zlx",
                                      kSpelling + "persodicfr.tlx\t!",
                                      kSpelling + "English (American).asc\t!",
                                      kSpelling + "English (American).cache\t!",
                                      kSpelling + "English (British).asc\t!",
                                      kSpelling + "English (British).cache\t!",
                                      kSpelling + "english.zlx",
                                      kSpelling + "us.zlx",
                                      kSpelling + "uk.zlx",
                                      kSpelling + "userdicen.tlx\t!",
                                      kPublic + "Modèles de document\\Lettre.vlt\t!",
                                      kPublic + "Modèles de document\\Fax\\Fax.vlt\t!",
                                      kPublic + "Collections d'inserts\\Cartes.vci\t!",
                                      kPublic + "Collections d'inserts\\Noël\\Sapin.vci\t!",
                                      kPublic + "Basic.asn",
                                  }));
}

TEST_F(InstallPlan, OnlyTheLoggedRequestsAreMarkedLogged)
{
    normal.LastRunVer = 20003000;
    BuildInstallPlan(*files, normal);
    for (int component = 0; component < 8; ++component) {
        const bool logged = component == 0 || component == 1 || component == 4 || component == 7;
        ASSERT_FALSE(files->ComponentFiles[size_t(component)].empty()) << component;
        for (const auto& file : files->ComponentFiles[size_t(component)])
            EXPECT_EQ(file->Logged, logged) << file->TargetPath;
    }
    EXPECT_FALSE(log.Suspended());
    // The data folders were made while the log was suspended; only the stamp's folder shows.
    EXPECT_EQ(log.Lines(), Lines{"Made Dir: " + kShared + "Hidden\\"});
}

TEST_F(InstallPlan, PortableInstallKeepsPresentDictionariesAndUnchangedFiles)
{
    const TAttachedFile* zlx = files->FindEntry("français.zlx");
    machine.PutFile(kPortable + "Orthographe\\French.asc", "user's own");
    machine.PutFile(kPortable + "Orthographe\\français.zlx", "same", Dos(2004, 3, 10, 12));
    portable.ChosenComps = 1 << 2;

    BuildInstallPlan(*files, portable);
    EXPECT_EQ(Targets(2), Lines{kPortable + "Orthographe\\persodicfr.tlx"});

    machine.PutFile(kPortable + "Orthographe\\français.zlx", "older", Dos(2003, 3, 10, 12));
    BuildInstallPlan(*files, portable);
    EXPECT_EQ(Targets(2), (Lines{kPortable + "Orthographe\\français.zlx", kPortable + "Orthographe\\persodicfr.tlx"}));
    EXPECT_EQ(files->ComponentFiles[2][0]->Entry, zlx);
}

TEST_F(InstallPlan, OldVersionsGetTheInsertCollectionsWithTheProgramAlone)
{
    normal.ChosenComps = 0;
    normal.LastRunVer = 20003999;
    BuildInstallPlan(*files, normal);
    EXPECT_EQ(EntryNames(0), (Lines{"vlm.exe", "Licence.txt"}));
    EXPECT_EQ(EntryNames(6), (Lines{"Collections d'inserts\\Cartes.vci", "Collections d'inserts\\Noël\\Sapin.vci"}));
    for (int component : {1, 2, 3, 4, 5, 7}) EXPECT_TRUE(Targets(component).empty()) << component;
    EXPECT_FALSE(machine.Exists(kShared + "Velmorra.ini"));

    normal.LastRunVer = 20004000;
    BuildInstallPlan(*files, normal);
    EXPECT_EQ(Targets(0).size(), 2u);
    EXPECT_TRUE(Targets(6).empty());
}

TEST_F(InstallPlan, EnglishSpellingPlansEightFilesWithTheBritishCacheFourth)
{
    normal.ChosenComps = 1 << 3;
    BuildInstallPlan(*files, normal);
    EXPECT_EQ(EntryNames(3), (Lines{"English (American).asc", "English (American).cache", "English (British).asc",
                                    "English (American).cache", "english.zlx", "us.zlx", "uk.zlx", "userdicen.tlx"}));
    EXPECT_EQ(Targets(3)[3], kSpelling + "English (British).cache");
    EXPECT_EQ(Targets(3)[4], kSpelling + "english.zlx");
    EXPECT_FALSE(files->FullTarget);
}

TEST_F(InstallPlan, PortableDataFoldersAreTheDestinationFolder)
{
    const double stamp = BuildInstallPlan(*files, portable);

    EXPECT_EQ(Targets(2)[0], kPortable + "Orthographe\\French.asc");
    EXPECT_EQ(Targets(5), (Lines{kPortable + "Modèles de document\\Lettre.vlt", kPortable + "Modèles de document\\Fax\\Fax.vlt"}));
    EXPECT_EQ(Targets(7), Lines{kPortable + "Basic.asn"});
    EXPECT_EQ(machine.FileBytes(kPortable + "Velmorra.ini"), kSettings);
    EXPECT_TRUE(files->PublicFiles.empty());
    EXPECT_EQ(stamp, 0);
    EXPECT_FALSE(machine.Exists(kShared));
    for (const std::string& path : machine.AllPaths()) EXPECT_EQ(path.find("install_stamp"), std::string::npos);
}

// Without the all-users folder the data go to the user's documents; without either, nowhere:
// a relative "Velmorra" would land in whatever the current folder is.
TEST_F(InstallPlan, DataFoldersFallBackToDocumentsButNeverToTheCurrentFolder)
{
    machine.RemoveSpecialFolder(35);
    EXPECT_EQ(DataFolder(normal, SharedDataFolder, files->Shared, log),
              "C:\\Documents and Settings\\Jean\\Mes documents\\Velmorra\\");
    machine.RemoveSpecialFolder(5);
    EXPECT_EQ(SharedDataRoot(), "");
    const Lines disk = machine.AllPaths();
    EXPECT_THROW(BuildInstallPlan(*files, normal), TextError);
    EXPECT_EQ(machine.AllPaths(), disk);
    EXPECT_EQ(DataFolder(portable, HiddenDataFolder, files->Shared, log), kPortable);   // a portable one needs neither
}

TEST_F(InstallPlan, SoundSettingsAreRewrittenUnlessAPortableCopyHasThem)
{
    machine.PutFile(kShared + "Velmorra.ini", "SoundScheme=Mine.asn");
    machine.PutFile(kPortable + "Velmorra.ini", "SoundScheme=Mine.asn");
    BuildInstallPlan(*files, normal);
    BuildInstallPlan(*files, portable);
    EXPECT_EQ(machine.FileBytes(kShared + "Velmorra.ini"), kSettings);
    EXPECT_EQ(kSettings.size(), 82u);
    EXPECT_EQ(machine.FileBytes(kPortable + "Velmorra.ini"), "SoundScheme=Mine.asn");
}

TEST_F(InstallPlan, AFullDiskKeepsTheOldSettingsFile)
{
    machine.PutFile(kShared + "Velmorra.ini", "SoundScheme=Mine.asn");
    machine.DriveAt("C").full = true;
    BuildInstallPlan(*files, normal);
    EXPECT_EQ(machine.FileBytes(kShared + "Velmorra.ini"), "SoundScheme=Mine.asn");
    EXPECT_TRUE(machine.MessageBoxes().empty());   // a failed write stays quiet, as before
}

TEST_F(InstallPlan, AJunctionAtTheSharedDataFolderIsReportedAndNothingIsWrittenThrough)
{
    machine.MakeFolder("C:\\Piege");
    machine.MakeLink(kShared, "C:\\Piege", true);
    QuestionService questions;
    ScriptedDialog dialog{questions};
    BuildInstallPlan(*files, normal, questions);
    EXPECT_TRUE(machine.Children("C:\\Piege").empty());
    ASSERT_EQ(dialog.calls.size(), 2u);
    EXPECT_EQ(dialog.calls[0].text, LinkRefusedText(kShared + "Velmorra.ini"));
    EXPECT_EQ(dialog.calls[1].text, LinkRefusedText(kShared + "Hidden\\install_stamp"));
    for (const DialogCall& call : dialog.calls)
        EXPECT_EQ(call.type, mtError);
}

TEST_F(InstallPlan, TheStampIsTheInstallTimeInEightLittleEndianBytes)
{
    machine.SetClock(2005, 6, 15, 14, 30, 20);
    const double stamp = BuildInstallPlan(*files, normal);
    EXPECT_NEAR(stamp, 38518.60439814815, 1e-9);
    const std::string bytes = machine.FileBytes(kShared + "Hidden\\install_stamp");
    ASSERT_EQ(bytes.size(), 8u);
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | uint8_t(bytes[size_t(i)]);
    double stored;
    std::memcpy(&stored, &bits, 8);
    EXPECT_EQ(stored, stamp);
}

TEST_F(InstallPlan, PlannedBytesSumsTheEntriesOfEveryList)
{
    normal.LastRunVer = 0;
    BuildInstallPlan(*files, normal);
    int32_t expected = 0;
    for (const auto& entry : files->Entries) expected += entry->Size;
    expected += files->FindEntry("English (American).cache")->Size;   // planned twice
    EXPECT_EQ(files->PlannedBytes(), expected);
}

TEST_F(ComponentSizes, FolderLinesRoundEveryEntryToTheCluster)
{
    auto sized = ArchiveBuilder()
                     .Add("Modèles de document\\un.vlt", "x")
                     .Add("modèles de document\\plein.vlt", std::string(4096, 'p'))
                     .Add("Modèles de document\\vide.vlt", "")
                     .Add("Modèles de documents.txt", "not in the folder")
                     .Open(&log);
    machine.MakeFolder("C:\\Velmorra");
    EXPECT_EQ(sized->ComponentBytes(ComponentFileLists[5], "C:\\Velmorra\\"), 8192);
}

TEST_F(ComponentSizes, NameLinesCountTheLastEqualEntryOnce)
{
    machine.AddDrive('D', kDriveFixed, 512);
    machine.MakeFolder("D:\\Velmorra");
    auto sized = ArchiveBuilder()
                     .Add("us.zlx", std::string(10, 'a'))
                     .Add("US.ZLX", std::string(700, 'b'))
                     .Add("uk.zlx", std::string(513, 'c'))
                     .Open(&log);
    // Any line end counts; a line naming nothing adds nothing.
    EXPECT_EQ(sized->ComponentBytes("us.zlx\r\nuk.zlx\nabsent.zlx\r", "D:\\Velmorra\\"), 1024 + 1024);
    EXPECT_EQ(sized->ComponentBytes(ComponentFileLists[3], "D:\\Velmorra\\"), 2048);
}
