// The fake machine's faults and what Wine cannot show (read-only files written by root, links);
// the rest of its likeness to Windows is the contract suite's.
#include "FakeMachineTest.h"

namespace {

class FakeMachineBehaviour : public StandardMachineTest {};

TEST_F(FakeMachineBehaviour, AReadOnlyFileAndAFullDiskRefuseWrites) {
    const std::string bytes = "0123456789";
    machine.PutFile("C:\\ro.txt", "old");
    machine.SetAttributes("C:\\ro.txt", kAttrReadOnly);
    EXPECT_FALSE(machine.WriteNewFile("C:\\ro.txt", bytes.data(), bytes.size(), FileShare::None));
    EXPECT_EQ(machine.FileBytes("C:\\ro.txt"), "old");
    machine.DriveAt("C").full = true;
    EXPECT_FALSE(machine.WriteNewFile("C:\\big.txt", bytes.data(), bytes.size(), FileShare::None));
    EXPECT_EQ(machine.FileBytes("C:\\big.txt").size(), 5u);
}

TEST_F(FakeMachineBehaviour, LinksAreFollowedExceptByTheCallsThatAvoidThem) {
    const std::string bytes = "new";
    machine.PutFile("C:\\Target\\kept.txt", "kept");
    machine.MakeLink("C:\\Junction", "C:\\Target", true);
    machine.MakeLink("C:\\Dangling.txt", "C:\\Target\\made.txt", false);
    ASSERT_TRUE(machine.WriteNewFile("C:\\Junction\\in.txt", bytes.data(), 3, FileShare::None));
    EXPECT_EQ(machine.FileBytes("C:\\Target\\in.txt"), "new");
    EXPECT_EQ(machine.FindFiles("C:\\Junction").front().attributes, kAttrReparsePoint | kAttrDirectory);
    EXPECT_TRUE(machine.SetCurrentDir("C:\\Junction"));
    EXPECT_EQ(machine.GetCurrentDir(), "C:\\Junction");
    machine.SetCurrentDir("C:\\");

    EXPECT_FALSE(machine.CreateNewFile("C:\\Dangling.txt", bytes.data(), 3, FileShare::None, 0));
    EXPECT_FALSE(machine.Exists("C:\\Target\\made.txt"));
    machine.PutFile("C:\\swap.tmp", "swapped");
    EXPECT_TRUE(machine.MoveReplacing("C:\\swap.tmp", "C:\\Dangling.txt"));
    EXPECT_FALSE(machine.IsLink("C:\\Dangling.txt"));
    EXPECT_FALSE(machine.Exists("C:\\Target\\made.txt"));
    EXPECT_TRUE(machine.RemoveDir("C:\\Junction"));
    EXPECT_EQ(machine.Children("C:\\Target"), (std::vector<std::string>{"in.txt", "kept.txt"}));

    machine.DriveAt("C").full = true;
    EXPECT_FALSE(machine.CreateNewFile("C:\\big.txt", bytes.data(), 3, FileShare::None, 0));
    EXPECT_FALSE(machine.Exists("C:\\big.txt"));
}

TEST_F(FakeMachineBehaviour, DeletionsThroughAHandleRefuseLinksAndAHeldFolderTakesNone) {
    machine.PutFile("C:\\Target\\kept.txt", "kept");
    machine.MakeFolder("C:\\Data\\Sub");
    machine.MakeLink("C:\\Data\\Junction", "C:\\Target", true);
    machine.MakeLink("C:\\Data\\link.txt", "C:\\Target\\kept.txt", false);
    EXPECT_EQ(nullptr, machine.HoldFolder("C:\\Data\\Junction"));
    EXPECT_EQ(DeleteOutcome::Refused, machine.DeleteEntryNoLink("C:\\Data\\Junction", true));
    EXPECT_EQ(DeleteOutcome::Refused, machine.DeleteEntryNoLink("C:\\Data\\link.txt", false));
    EXPECT_EQ(machine.FileBytes("C:\\Target\\kept.txt"), "kept");
    auto held = machine.HoldFolder("C:\\Data\\Sub");
    ASSERT_NE(nullptr, held);
    machine.MakeLink("C:\\Data\\Sub", "C:\\Target", true);
    EXPECT_FALSE(machine.IsLink("C:\\Data\\Sub"));
}

TEST_F(FakeMachineBehaviour, UnreadableVolumeRefusesEverything) {
    machine.AddDrive('D', kDriveCdRom).unreadable = true;
    uint32_t spc = 0, bps = 0;
    std::string label;
    uint32_t flags = 0;
    EXPECT_FALSE(machine.SetCurrentDir("D:\\"));
    EXPECT_FALSE(machine.DiskGeometry("D:\\", spc, bps));
    EXPECT_FALSE(machine.VolumeInfo("D:\\", label, flags));
    EXPECT_TRUE(machine.FindFiles("D:\\*.*").empty());
    EXPECT_EQ(machine.DriveType("D:\\"), kDriveCdRom);
}

TEST_F(FakeMachineBehaviour, ADeniedRegistryRootOpensNothing) {
    machine.DenyRegistry(RegRoot::LocalMachine);
    EXPECT_FALSE(machine.OpenOrCreateKey(RegRoot::LocalMachine, "Software\\X"));
}

}  // namespace
