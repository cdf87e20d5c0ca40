#include "support/FakeMachineTest.h"
#include "instutils/DiskSpace.h"

namespace {

TEST(FormatSize, EveryRowOfTheTable) {
    const std::pair<int64_t, const char*> rows[] = {
        {0, "0 Ko"},
        {1023, "0 Ko"},
        {1536, "1 Ko"},
        {123456, "120 Ko"},
        {1048575, "1 023 Ko"},
        {1048576, "1 Mo"},
        {1048577, "1 024 Ko"},
        {5242880, "5 Mo"},
        {16777214, "16 383 Ko"},
        {16777215, "16 Mo"},
        {17301504, "16 Mo"},   // 16.5 Mo: the half goes to the even 16
        {18350080, "18 Mo"},   // 17.5 Mo: to the even 18
        {104857600, "100 Mo"},
        {1234567890123, "1 177 376 Mo"},
    };
    for (const auto& [bytes, text] : rows) EXPECT_EQ(FormatSize(bytes), text) << bytes;
}

TEST(GroupThousands, GroupsFromTheRight) {
    EXPECT_EQ(GroupThousands(0), "0");
    EXPECT_EQ(GroupThousands(123), "123");
    EXPECT_EQ(GroupThousands(1234), "1 234");
    EXPECT_EQ(GroupThousands(2147483647), "2 147 483 647");
}

class ClusterTest : public StandardMachineTest {};

TEST_F(ClusterTest, RoundUpToWholeClusters) {
    EXPECT_EQ(RoundUpToCluster("C:\\", 0), 0);
    EXPECT_EQ(RoundUpToCluster("C:\\", 1), 4096);
    EXPECT_EQ(RoundUpToCluster("C:\\", 4096), 4096);
    EXPECT_EQ(RoundUpToCluster("C:\\", 4097), 8192);
}

TEST_F(ClusterTest, NoClusterSizeLeavesSizesAsTheyAre) {
    machine.DriveAt("C").geometryFails = true;
    EXPECT_EQ(ClusterSize("C:\\"), 0);
    EXPECT_EQ(RoundUpToCluster("C:\\", 4097), 4097);
    EXPECT_EQ(RoundUpToCluster("Q:\\Nowhere", 10), 10);
}

TEST_F(ClusterTest, MissingFolderTakesItsDrivesClusters) {
    machine.AddDrive('D', kDriveFixed, 32768);
    machine.MakeFolder("D:\\Apps");
    EXPECT_EQ(ClusterSize("D:\\Apps\\Velmorra\\"), 32768);
    EXPECT_EQ(ClusterSize("D:\\Apps"), 32768);
    EXPECT_EQ(ClusterSize("C:\\Program Files\\Velmorra"), 4096);
    EXPECT_EQ(machine.GetCurrentDir(), "C:\\");
}

class RemovableDriveTest : public StandardMachineTest {};

TEST_F(RemovableDriveTest, FloppyIsRemovableWithoutOpeningADevice) {
    machine.AddDrive('A', kDriveRemovable, 512);
    EXPECT_TRUE(IsRemovableDrive("A:\\Velmorra"));
    EXPECT_TRUE(machine.OpenedDevices().empty());
}

TEST_F(RemovableDriveTest, NetworkAndCdRomAreNot) {
    machine.AddShare("\\\\serveur\\logiciels");
    machine.AddDrive('D', kDriveCdRom);
    EXPECT_FALSE(IsRemovableDrive("\\\\serveur\\logiciels\\Velmorra"));
    EXPECT_FALSE(IsRemovableDrive("D:\\"));
    EXPECT_FALSE(IsRemovableDrive("Velmorra"));
}

TEST_F(RemovableDriveTest, FixedDiskIsAskedForItsBus) {
    machine.AddDrive('E').storage.busType = 7;   // USB
    machine.AddDrive('F').storage.busType = 4;   // IEEE 1394
    machine.AddDrive('G').storage.removableMedia = 1;
    EXPECT_TRUE(IsRemovableDrive("E:\\Velmorra"));
    EXPECT_TRUE(IsRemovableDrive("F:\\"));
    EXPECT_TRUE(IsRemovableDrive("G:\\"));
    EXPECT_FALSE(IsRemovableDrive("C:\\Program Files"));
    EXPECT_EQ(machine.OpenedDevices().front(), "\\\\.\\E:");
}

TEST_F(RemovableDriveTest, UnansweredDeviceCountsAsFixed) {
    FakeMachine::Drive& closed = machine.AddDrive('E');
    closed.storage.busType = 7;
    closed.storage.opened = false;
    FakeMachine::Drive& silent = machine.AddDrive('F');
    silent.storage.busType = 7;
    silent.storage.answered = false;
    EXPECT_FALSE(IsRemovableDrive("E:\\"));
    EXPECT_FALSE(IsRemovableDrive("F:\\"));
}

}  // namespace
