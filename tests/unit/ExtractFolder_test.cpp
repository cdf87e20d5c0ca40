// The folder of the file before: held between the two, or made again when it could not be held.
#include <gtest/gtest.h>

#include <algorithm>

#include "ArchiveBuilder.h"
#include "engine/AttachFiles.h"
#include "engine/InstallThread.h"
#include "instutils/InstallLog.h"
#include "support/FakeMachine.h"

namespace {

class ExtractFolder : public ::testing::Test {
protected:
    ExtractFolder()
    {
        machine.StandardSetup();
    }

    FakeMachine machine;
    UseFakeMachine use{machine};
    InstallLog log;
};

TEST_F(ExtractFolder, AFolderRemovedBetweenTwoFilesIsMadeAgainWithoutAQuestion)
{
    auto files = ArchiveBuilder().Add("a.txt", "1").Add("b.txt", "2").Open(&log);
    ASSERT_TRUE(files->ExtractFile(files->Entries[0].get(), "", "C:\\Dest\\Sub\\a.txt"));
    ASSERT_TRUE(machine.DeleteFileAt("C:\\Dest\\Sub\\a.txt"));
    EXPECT_FALSE(machine.RemoveDir("C:\\Dest\\Sub"));   // held until the next folder

    // A junction cannot be held: written through as it is, then gone before the next file.
    machine.MakeFolder("C:\\Real");
    machine.MakeLink("C:\\Dest\\Link", "C:\\Real", true);
    ASSERT_TRUE(files->ExtractFile(files->Entries[0].get(), "", "C:\\Dest\\Link\\a.txt"));
    EXPECT_TRUE(machine.RemoveDir("C:\\Dest\\Sub"));
    ASSERT_TRUE(machine.RemoveDir("C:\\Dest\\Link"));

    EXPECT_TRUE(files->ExtractFile(files->Entries[1].get(), "", "C:\\Dest\\Link\\b.txt"));
    EXPECT_EQ(machine.FileBytes("C:\\Dest\\Link\\b.txt"), "2");
    EXPECT_FALSE(machine.IsLink("C:\\Dest\\Link"));
    EXPECT_EQ(log.Lines().back(), "File Copy: C:\\Dest\\Link\\b.txt");
    EXPECT_NE(std::find(log.Lines().begin(), log.Lines().end(), "Made Dir: C:\\Dest\\Link\\"), log.Lines().end());
}

}  // namespace
