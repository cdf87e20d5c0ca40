// An extracted file whose folder went missing after the file before it was written there.
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
        CreateInstallLog();
    }

    FakeMachine machine;
    UseFakeMachine use{machine};
};

TEST_F(ExtractFolder, AFolderRemovedBetweenTwoFilesIsMadeAgainWithoutAQuestion)
{
    auto files = ArchiveBuilder().Add("a.txt", "1").Add("b.txt", "2").Open();
    ASSERT_TRUE(files->ExtractFile(files->Entries[0].get(), "", "C:\\Dest\\Sub\\a.txt"));
    ASSERT_TRUE(machine.DeleteFileAt("C:\\Dest\\Sub\\a.txt"));
    ASSERT_TRUE(machine.RemoveDir("C:\\Dest\\Sub"));

    EXPECT_TRUE(files->ExtractFile(files->Entries[1].get(), "", "C:\\Dest\\Sub\\b.txt"));
    EXPECT_EQ(machine.FileBytes("C:\\Dest\\Sub\\b.txt"), "2");
    EXPECT_EQ(InstallLog->back(), "File Copy: C:\\Dest\\Sub\\b.txt");
    EXPECT_NE(std::find(InstallLog->begin(), InstallLog->end(), "Made Dir: C:\\Dest\\Sub\\"), InstallLog->end());
}

}  // namespace
